#include "adapter_password.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "adapter_password_tables.h"
#include "broker_binding.h"
#include "framework/controls.h"
#include "framework/ddx.h"
#include "framework/shell_calls.h"
#include "notices.h"
#include "transports/common/net_items.h"

namespace wf::netui {
namespace {

struct PasswordKey {
  const uint8_t* offsets;
  const uint8_t* permutation;
  uint8_t nibbles[8];
};

PasswordKey passwordKey(const UniversalAddress& uaa) {
  const uint8_t k4 = uaa[4], k5 = uaa[5];
  PasswordKey key{kPasswordOffsets[((k4 >> 4) + k5) & 7], kPasswordPermutations[((k5 >> 4) + k4) & 7], {}};
  const uint8_t four[4] = {static_cast<uint8_t>(k4 >> 4), static_cast<uint8_t>(k4 & 15),
                           static_cast<uint8_t>(k5 >> 4), static_cast<uint8_t>(k5 & 15)};
  for (int i = 0; i < 8; ++i) key.nibbles[i] = four[i % 4];
  return key;
}

std::set<UniversalAddress>& verifiedAdapters() {
  static std::set<UniversalAddress> verified;
  return verified;
}

bool isPasswordChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
}

// Item 131 as the adapter holds it; false unless exactly 8 bytes came.
bool readScrambledPassword(USHORT printer, UINT protocol, ScrambledPassword& out, CWnd* wnd) {
  wf::net::NETPASSWORD record{};
  USHORT length = sizeof record;
  if (!BceGetNetInfoRetry(printer, protocol, wf::net::kItemPassword, &record, &length, nullptr, wnd) ||
      length != sizeof record)
    return false;
  std::copy(std::begin(record.Password), std::end(record.Password), out.begin());
  return true;
}

constexpr DWORD kSetPwdHelp[] = {1040, 5500, 1229, 5500, 1041, 5501, 1230, 5501,
                                 1042, 5502, 1231, 5502, 2, 5005, 0, 0};

}  // namespace

ScrambledPassword EncodeAdapterPassword(const std::string& text, const UniversalAddress& uaa) {
  ScrambledPassword out{};
  if (text.empty()) return out;
  const PasswordKey key = passwordKey(uaa);
  uint8_t plain[8] = {};
  for (std::size_t i = 0; i < 8 && i < text.size(); ++i)
    plain[i] = static_cast<uint8_t>(std::toupper(static_cast<unsigned char>(text[i])));
  for (int i = 0; i < 8; ++i) {
    const auto b = static_cast<uint8_t>(plain[i] + key.offsets[i] + key.nibbles[i]);
    out[key.permutation[i] - 1] = b;
  }
  return out;
}

std::string DecodeAdapterPassword(const ScrambledPassword& in, const UniversalAddress& uaa) {
  if (in[0] == 0) return {};
  const PasswordKey key = passwordKey(uaa);
  std::string out;
  for (int i = 0; i < 8; ++i) {
    const auto c = static_cast<uint8_t>(in[key.permutation[i] - 1] - key.nibbles[i] - key.offsets[i]);
    if (c == 0) break;
    out.push_back(static_cast<char>(c));
  }
  return out;
}

void forgetVerifiedAdapters() {
  verifiedAdapters().clear();
}

BOOL CheckAdapterPassword(USHORT printer, UINT protocol, const UniversalAddress& uaa, CWnd* page) {
  if (verifiedAdapters().count(uaa)) return TRUE;
  ScrambledPassword scrambled{};
  {
    BrokerScope scope;
    if (!scope.bound() || !readScrambledPassword(printer, protocol, scrambled, page)) return FALSE;
  }
  const std::string password = DecodeAdapterPassword(scrambled, uaa);
  if (password.empty()) return TRUE;
  for (;;) {
    AdEnterPwd prompt(page);
    if (prompt.DoModal() != IDOK) return FALSE;
    if (prompt.m_strPassword.str() == password) {
      verifiedAdapters().insert(uaa);
      return TRUE;
    }
    NtcPwdInvalid(page).DoModal();
  }
}

BEGIN_MESSAGE_MAP(AdSetPwd, CWFDialog)
ON_EN_UPDATE(1041, OnNewUpdate)
ON_EN_UPDATE(1042, OnVerifyUpdate)
ON_EN_UPDATE(1040, OnOldUpdate)
END_MESSAGE_MAP()

AdSetPwd::AdSetPwd(CWnd* parent) : CWFDialog(2141, parent) {}

const DWORD* AdSetPwd::GetHelpIDs() {
  return kSetPwdHelp;
}

BOOL AdSetPwd::OnInitDialog() {
  writing_ = true;
  CWFDialog::OnInitDialog();
  writing_ = false;
  for (int id : {1040, 1041, 1042})
    if (auto* edit = dynamic_cast<CEdit*>(GetDlgItem(id))) edit->LimitText(8);
  BOOL focusDefault = TRUE;
  if (m_strCurrent.IsEmpty()) {
    if (CWnd* old = GetDlgItem(1040)) old->EnableWindow(FALSE);
    if (CWnd* next = GetDlgItem(1041)) {
      GotoDlgCtrl(next);
      focusDefault = FALSE;
    }
  }
  if (CWnd* ok = GetDlgItem(IDOK)) ok->EnableWindow(FALSE);
  return focusDefault;
}

void AdSetPwd::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, 1041, m_strNew);
  DDV_MaxChars(dx, m_strNew, 8);
  DDX_Text(dx, 1040, m_strOld);
  DDV_MaxChars(dx, m_strOld, 8);
  DDX_Text(dx, 1042, m_strVerify);
  DDV_MaxChars(dx, m_strVerify, 8);
}

void AdSetPwd::filterPasswordEdit(int id, CString& text) {
  if (writing_) return;
  if (CWnd* ok = GetDlgItem(IDOK)) ok->EnableWindow(TRUE);
  const CString before = text;
  UpdateData(TRUE);
  const std::string& typed = text.str();
  if (std::all_of(typed.begin(), typed.end(), isPasswordChar)) return;
  Beep(1000, 1000);
  text = before;
  writing_ = true;
  SetDlgItemText(id, before);
  writing_ = false;
  if (auto* edit = dynamic_cast<CEdit*>(GetDlgItem(id))) edit->SetSel(0, -1);
}

void AdSetPwd::OnNewUpdate() {
  filterPasswordEdit(1041, m_strNew);
}

void AdSetPwd::OnVerifyUpdate() {
  filterPasswordEdit(1042, m_strVerify);
}

void AdSetPwd::OnOldUpdate() {
  if (writing_) return;
  if (CWnd* ok = GetDlgItem(IDOK)) ok->EnableWindow(TRUE);
  UpdateData(TRUE);
}

void AdSetPwd::OnOK() {
  CWnd* ok = GetDlgItem(IDOK);
  if (ok && ok->IsWindowEnabled()) CWFDialog::OnOK();
}

void SetAdapterPassword(USHORT printer, UINT protocol, const UniversalAddress& uaa, CWnd* page) {
  BrokerScope scope;
  if (!scope.bound()) return;
  ScrambledPassword scrambled{};
  if (!readScrambledPassword(printer, protocol, scrambled, page)) return;
  AdSetPwd dialog(page);
  dialog.m_strCurrent = DecodeAdapterPassword(scrambled, uaa).c_str();
  for (;;) {
    if (dialog.DoModal() != IDOK) break;
    if (dialog.m_strOld != dialog.m_strCurrent) {
      NtcPwdIncorrect(page).DoModal();
      continue;
    }
    if (dialog.m_strNew != dialog.m_strVerify) {
      NtcPwdMismatch(page).DoModal();
      continue;
    }
    const ScrambledPassword encoded = EncodeAdapterPassword(dialog.m_strNew.str(), uaa);
    BceSetNetInfoRetry(printer, protocol, wf::net::kItemPassword, encoded.data(), sizeof encoded, page);
    break;
  }
}

}  // namespace wf::netui
