#pragma once
// Configure Peer To Peer (the peer transport's workgroups, computers and
// scan flag) and its two entry dialogs.
#include "wf_dialog.h"
#include "ws_list_dialog.h"
#include "ws_name_entry.h"

namespace wf::netui {

class P2PConf : public WsListDialog {
 public:
  explicit P2PConf(CWnd* parent = nullptr);

 protected:
  bool askName(int kind, CString& name) override;
};

// Add Workgroup (2158, edit 1072) and Add Computer (2159, edit 1073).
class P2PAddEntry : public CWFDialog {
 public:
  P2PAddEntry(int templateId, int editId, const DWORD* helpIds, CWnd* parent);
  const DWORD* GetHelpIDs() override;
  BOOL OnInitDialog() override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  CString m_name;

 private:
  WsNameEntry entry_;
  const DWORD* helpIds_;
};

class P2PAddWG : public P2PAddEntry {
 public:
  explicit P2PAddWG(CWnd* parent = nullptr);
};

class P2PAddPC : public P2PAddEntry {
 public:
  explicit P2PAddPC(CWnd* parent = nullptr);
};

}  // namespace wf::netui
