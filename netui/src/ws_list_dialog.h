#pragma once
// The workstation's list dialogs (Configure Peer To Peer, Configure CorLink):
// two sorted lists of names of 17-byte entries by kind, each add and removal
// sent at once, and one byte per check box sent by Done. A class gives its
// template, controls, items and entry dialogs.
#include <array>
#include <vector>

#include "framework/controls.h"
#include "framework/cstring.h"
#include "wf_dialog.h"

namespace wf::netui {

struct WsListLayout {
  int templateId = 0;
  UINT bit = 0;
  USHORT listItem = 0, flagsItem = 0, addItem = 0, removeItem = 0;
  std::array<int, 2> lists{};       // list box of kind 1, of kind 2
  std::array<int, 2> addButtons{};  // Add of kind 1, of kind 2
  std::vector<int> checks;          // flags record order; the first is the scan flag
  const DWORD* helpIds = nullptr;
};

constexpr int kWsListRemove = 1070;
constexpr int kWsListDone = 1067;
constexpr std::size_t kWsEntryBytes = 17;  // kind, then a name of at most 15 characters and its NUL

class WsListDialog : public CWFDialog {
 public:
  WsListDialog(const WsListLayout& layout, CWnd* parent);

  const DWORD* GetHelpIDs() override;
  BOOL OnInitDialog() override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  void OnCancel() override;

 protected:
  // The entry dialog of `kind` (1 or 2): FALSE when cancelled.
  virtual bool askName(int kind, CString& name) = 0;

 private:
  void add(int kind);
  void removeSelected();
  void done();
  CListBox& list(int kind);
  bool sendEntry(USHORT item, int kind, const CString& name);
  void enableRemoveByContents();

  WsListLayout layout_;
  bool changed_ = false;
  bool openFailed_ = false;
  bool scanAtOpen_ = false;
};

// A typed name as the lists keep it: leading backslashes and trailing blanks
// gone; empty for a name of blanks only.
CString wsListName(const CString& typed);

}  // namespace wf::netui
