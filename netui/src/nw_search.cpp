#include "nw_search.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "broker_binding.h"
#include "factories.h"
#include "framework/ddx.h"
#include "notices.h"

namespace wf::netui {
namespace {

constexpr int kNWSearchTemplate = 2196;
constexpr int kNWBindery = 1185;
constexpr int kNWLocal = 1186;
constexpr int kNWSingle = 1187;
constexpr int kNWNumber = 1188;
constexpr USHORT kNWWorkstation = 0xFFFF;
constexpr UINT kNWProtocol = 1;
constexpr USHORT kNWSearchItem = 18;
constexpr int kNWNumberChars = 8;
constexpr int kNWSingleIndex = 2;
constexpr std::array<BYTE, 3> kNWMethodBytes = {1, 2, 4};

constexpr DWORD kNWSearchHelp[] = {1185, 6902, 1186, 6903, 1187, 6904, 1210, 6905,
                                   1188, 6906, 1,    5003, 2,    5005, 0,    0};

}  // namespace

BYTE nwSearchMethodByte(int index) {
  if (index < 0 || index >= static_cast<int>(kNWMethodBytes.size())) return 0;
  return kNWMethodBytes[static_cast<std::size_t>(index)];
}

int nwSearchMethodIndex(BYTE method) {
  for (std::size_t i = 0; i < kNWMethodBytes.size(); ++i)
    if (method & kNWMethodBytes[i]) return static_cast<int>(i);
  return -1;
}

bool nwSearchNumberValid(const CString& text) {
  return text.str().find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

IMPLEMENT_DYNAMIC(NWSearch, CWFDialog)

BEGIN_MESSAGE_MAP(NWSearch, CWFDialog)
ON_BN_CLICKED(kNWBindery, OnMethodOff)
ON_BN_CLICKED(kNWLocal, OnMethodOff)
ON_BN_CLICKED(kNWSingle, OnMethodSingle)
ON_EN_CHANGE(kNWNumber, OnNumberChange)
END_MESSAGE_MAP()

NWSearch::NWSearch(CWnd* parent) : CWFDialog(kNWSearchTemplate, parent) {}

const DWORD* NWSearch::GetHelpIDs() {
  return kNWSearchHelp;
}

void NWSearch::DoDataExchange(CDataExchange* dx) {
  CWFDialog::DoDataExchange(dx);
  DDX_Control(dx, kNWNumber, numberEdit_);
  DDX_Radio(dx, kNWBindery, m_method);
  DDX_Text(dx, kNWNumber, m_number);
}

BOOL NWSearch::OnInitDialog() {
  changed_ = false;
  // Filling the controls is no change of the user's.
  restoring_ = true;
  CWFDialog::OnInitDialog();
  restoring_ = false;
  if (!LoadBceFunctions()) return TRUE;
  numberEdit_.LimitText(kNWNumberChars);

  std::array<char, 1 + kNWNumberChars> record{};
  USHORT length = static_cast<USHORT>(record.size());
  if (!BceGetNetInfoRetry(kNWWorkstation, kNWProtocol, kNWSearchItem, record.data(), &length, nullptr,
                          this)) {
    EndDialog(IDCANCEL);
    return TRUE;
  }
  m_method = nwSearchMethodIndex(static_cast<BYTE>(record[0]));
  m_number = CString(std::string(record.data() + 1, strnlen(record.data() + 1, kNWNumberChars)).c_str());
  previousNumber_ = m_number;
  numberEdit_.EnableWindow(m_method == kNWSingleIndex);
  restoring_ = true;
  UpdateData(FALSE);
  restoring_ = false;
  GetDlgItem(IDOK)->EnableWindow(FALSE);
  return TRUE;
}

void NWSearch::methodClicked(bool single) {
  GetDlgItem(IDOK)->EnableWindow(TRUE);
  numberEdit_.EnableWindow(single);
  changed_ = true;
}

void NWSearch::OnMethodOff() {
  methodClicked(false);
}

void NWSearch::OnMethodSingle() {
  methodClicked(true);
}

void NWSearch::OnNumberChange() {
  if (restoring_) return;
  GetDlgItem(IDOK)->EnableWindow(TRUE);
  changed_ = true;
  CString typed;
  GetDlgItemText(kNWNumber, typed);
  if (nwSearchNumberValid(typed)) {
    previousNumber_ = typed;
    return;
  }
  NtcBadNetNum(this).DoModal();
  restoring_ = true;
  SetDlgItemText(kNWNumber, previousNumber_);
  restoring_ = false;
  numberEdit_.SetSel(previousNumber_.GetLength(), previousNumber_.GetLength());
}

void NWSearch::OnOK() {
  UpdateData(TRUE);
  if (m_method == kNWSingleIndex && (m_number.IsEmpty() || !nwSearchNumberValid(m_number))) {
    NtcBadNetNum(this).DoModal();
    return;
  }
  std::array<char, 1 + kNWNumberChars> record{};
  record[0] = static_cast<char>(nwSearchMethodByte(m_method));
  // Right-aligned in its eight characters, zero-padded; a longer text keeps its first eight.
  const std::string& number = m_number.str();
  const std::size_t used = std::min<std::size_t>(number.size(), kNWNumberChars);
  std::memset(record.data() + 1, '0', kNWNumberChars);
  std::memcpy(record.data() + 1 + (kNWNumberChars - used), number.data(), used);
  if (BceSetNetInfoRetry(kNWWorkstation, kNWProtocol, kNWSearchItem, record.data(),
                         static_cast<USHORT>(record.size()), this) &&
      changed_)
    NtcRefreshAll(this).DoModal();
  FreeBceFunctions();
  EndDialog(IDOK);
}

void NWSearch::OnCancel() {
  FreeBceFunctions();
  EndDialog(IDCANCEL);
}

namespace {
CObject* makeNWSearch(const MakerContext& context) {
  return new NWSearch(context.parent);
}
const bool nwSearchRegistered = (setFactoryMaker(Factory::NWSearch, &makeNWSearch), true);
}  // namespace

}  // namespace wf::netui
