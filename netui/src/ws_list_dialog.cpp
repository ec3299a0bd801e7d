#include "ws_list_dialog.h"

#include <cstring>
#include <string>

#include "broker_binding.h"
#include "notices.h"

namespace wf::netui {
namespace {

constexpr USHORT kWsListHandle = 0xFFFF;
constexpr int kWsRemovePass = 255;

// The entries the list read hands to the callback, in arrival order.
std::vector<std::array<char, kWsEntryBytes>>* receivedEntries = nullptr;

int32_t receiveListEntry(const void* item, uint16_t length) {
  if (!receivedEntries || !item || length != kWsEntryBytes) return 0;
  std::array<char, kWsEntryBytes> entry{};
  std::memcpy(entry.data(), item, kWsEntryBytes);
  receivedEntries->push_back(entry);
  return 0;
}

}  // namespace

CString wsListName(const CString& typed) {
  std::string name = typed.str();
  if (name.find_first_not_of(' ') == std::string::npos) return CString();
  name.erase(0, name.find_first_not_of('\\'));
  const std::size_t last = name.find_last_not_of(' ');
  name.erase(last == std::string::npos ? 0 : last + 1);
  return CString(name.c_str());
}

WsListDialog::WsListDialog(const WsListLayout& layout, CWnd* parent)
    : CWFDialog(layout.templateId, parent), layout_(layout) {}

const DWORD* WsListDialog::GetHelpIDs() {
  return layout_.helpIds;
}

CListBox& WsListDialog::list(int kind) {
  return *static_cast<CListBox*>(GetDlgItem(layout_.lists[kind == 1 ? 0 : 1]));
}

BOOL WsListDialog::OnInitDialog() {
  CWFDialog::OnInitDialog();
  CenterWindow();
  changed_ = false;
  openFailed_ = false;
  if (!LoadBceFunctions()) return TRUE;

  ShowWaitUpdate(this);
  std::vector<std::array<char, kWsEntryBytes>> entries;
  receivedEntries = &entries;
  const BOOL listsRead = BceGetNetInfoRetry(kWsListHandle, layout_.bit, layout_.listItem, nullptr, nullptr,
                                            &receiveListEntry, this);
  receivedEntries = nullptr;
  for (const auto& entry : entries) {
    const int kind = static_cast<unsigned char>(entry[0]);
    // A name must end within its field; other kinds are no list's.
    if ((kind != 1 && kind != 2) || !std::memchr(entry.data() + 1, '\0', kWsEntryBytes - 1)) continue;
    list(kind).AddString(entry.data() + 1);
  }
  std::vector<char> flags(layout_.checks.size(), 0);
  USHORT length = static_cast<USHORT>(flags.size());
  const BOOL flagsRead = listsRead && BceGetNetInfoRetry(kWsListHandle, layout_.bit, layout_.flagsItem,
                                                         flags.data(), &length, nullptr, this);
  HideWaitUpdate();
  if (!flagsRead) {
    for (int id : layout_.addButtons) GetDlgItem(id)->EnableWindow(FALSE);
    GetDlgItem(kWsListRemove)->EnableWindow(FALSE);
    for (int id : layout_.checks) GetDlgItem(id)->EnableWindow(FALSE);
    openFailed_ = true;
    FreeBceFunctions();
    EndDialog(IDCANCEL);
    return TRUE;
  }
  for (std::size_t i = 0; i < flags.size(); ++i)
    CheckDlgButton(layout_.checks[i], flags[i] ? BST_CHECKED : BST_UNCHECKED);
  scanAtOpen_ = flags[0] != 0;
  enableRemoveByContents();
  return TRUE;
}

BOOL WsListDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
  const int id = LOWORD(wParam);
  if (HIWORD(wParam) == BN_CLICKED) {
    if (id == layout_.addButtons[0] || id == layout_.addButtons[1]) {
      add(id == layout_.addButtons[0] ? 1 : 2);
      return TRUE;
    }
    if (id == kWsListRemove) {
      removeSelected();
      return TRUE;
    }
    if (id == kWsListDone) {
      done();
      return TRUE;
    }
  }
  return CWFDialog::OnCommand(wParam, lParam);
}

void WsListDialog::enableRemoveByContents() {
  GetDlgItem(kWsListRemove)->EnableWindow(list(1).GetCount() > 0 || list(2).GetCount() > 0);
}

bool WsListDialog::sendEntry(USHORT item, int kind, const CString& name) {
  std::array<char, kWsEntryBytes> entry{};
  entry[0] = static_cast<char>(kind);
  std::strncpy(entry.data() + 1, name, kWsEntryBytes - 2);
  return BceSetNetInfoRetry(kWsListHandle, layout_.bit, item, entry.data(), static_cast<USHORT>(entry.size()),
                            this);
}

void WsListDialog::add(int kind) {
  CString typed;
  if (!askName(kind, typed)) return;
  changed_ = true;
  const CString name = wsListName(typed);
  if (name.IsEmpty()) return;
  CListBox& names = list(kind);
  for (int i = 0; i < names.GetCount(); ++i) {
    CString listed;
    names.GetText(i, listed);
    if (listed.str() == name.str()) return;
  }
  if (!sendEntry(layout_.addItem, kind, name)) return;
  names.AddString(name);
  GetDlgItem(kWsListRemove)->EnableWindow(TRUE);
}

void WsListDialog::removeSelected() {
  for (int kind : {2, 1}) {
    CListBox& names = list(kind);
    while (names.GetSelCount() > 0) {
      std::array<int, kWsRemovePass> selected{};
      const int count = names.GetSelItems(kWsRemovePass, selected.data());
      for (int i = count - 1; i >= 0; --i) {
        CString name;
        names.GetText(selected[static_cast<std::size_t>(i)], name);
        if (!sendEntry(layout_.removeItem, kind, name)) {
          enableRemoveByContents();
          return;
        }
        names.DeleteString(static_cast<UINT>(selected[static_cast<std::size_t>(i)]));
      }
    }
  }
  enableRemoveByContents();
}

void WsListDialog::done() {
  std::vector<char> flags;
  for (int id : layout_.checks) flags.push_back(IsDlgButtonChecked(id) ? 1 : 0);
  if (!scanAtOpen_ && flags[0]) changed_ = true;
  if (!openFailed_ &&
      BceSetNetInfoRetry(kWsListHandle, layout_.bit, layout_.flagsItem, flags.data(),
                         static_cast<USHORT>(flags.size()), this) &&
      changed_)
    NtcRefreshAll(this).DoModal();
  FreeBceFunctions();
  EndDialog(IDOK);
}

void WsListDialog::OnCancel() {
  FreeBceFunctions();
  EndDialog(IDCANCEL);
}

}  // namespace wf::netui
