#pragma once
// Configure NetWare: how the NetWare transport searches for adapters (item
// 18 on the workstation handle), read at open and written by OK.
#include "framework/controls.h"
#include "framework/cstring.h"
#include "wf_dialog.h"

namespace wf::netui {

class NWSearch : public CWFDialog {
  DECLARE_DYNAMIC(NWSearch)
 public:
  explicit NWSearch(CWnd* parent = nullptr);

  const DWORD* GetHelpIDs() override;
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  void OnOK() override;
  void OnCancel() override;

  void OnMethodOff();
  void OnMethodSingle();
  void OnNumberChange();

  int m_method = -1;  // 0 bindery, 1 local, 2 single network; -1 none
  CString m_number;

  DECLARE_MESSAGE_MAP()

 private:
  void methodClicked(bool single);

  CEdit numberEdit_;
  CString previousNumber_;
  bool changed_ = false;
  bool restoring_ = false;
};

// The method byte of item 18 and the radio index it selects (-1: none).
BYTE nwSearchMethodByte(int index);
int nwSearchMethodIndex(BYTE method);
// True for text holding only the sixteen upper-case hexadecimal digits.
bool nwSearchNumberValid(const CString& text);

}  // namespace wf::netui
