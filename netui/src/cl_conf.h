#pragma once
// Configure CorLink (the CorLink transport's domains, servers and its two
// flags) and its two entry dialogs, which refuse the characters a CorLink
// name cannot hold.
#include "framework/dialog.h"
#include "ws_list_dialog.h"
#include "ws_name_entry.h"

namespace wf::netui {

class CLConf : public WsListDialog {
 public:
  explicit CLConf(CWnd* parent = nullptr);

 protected:
  bool askName(int kind, CString& name) override;
};

// Add Domain (2188, edit 1175) and Add Server (2189, edit 1176).
class CLAddEntry : public CDialog {
 public:
  CLAddEntry(int templateId, int editId, CWnd* parent);
  BOOL OnInitDialog() override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  CString m_name;

 private:
  WsNameEntry entry_;
};

class CLAddDom : public CLAddEntry {
 public:
  explicit CLAddDom(CWnd* parent = nullptr);
};

class CLAddSrv : public CLAddEntry {
 public:
  explicit CLAddSrv(CWnd* parent = nullptr);
};

}  // namespace wf::netui
