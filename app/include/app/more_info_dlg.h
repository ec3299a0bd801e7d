#pragma once
// The More Info box: one row per module of the system with its file
// version, read from the files without loading them, then the broker and
// the network transports it has loaded.
#include <cstdint>

#include "broker/corbce.h"
#include "framework/dialog.h"
#include "framework/list_ctrl.h"

class CMoreInfoDlg : public CDialog {
 public:
  explicit CMoreInfoDlg(CWnd* parent = nullptr);

  // The one way rows enter the list: a module's row, made at the top when
  // the list has none for `file` (matched without case), takes `version`.
  virtual void AddVersionItem(LPCSTR file, LPCSTR version);

  CListCtrl& GetList() { return m_list; }

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  // The broker's version record; 0 when it answered.
  virtual std::int32_t GetBrokerVersions(BCEVERSIONEX* record);

 private:
  void addModuleRow(const char* name, const std::string& query);
  void addBrokerRows();

  CListCtrl m_list;
};
