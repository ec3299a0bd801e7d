#include "notices.h"

#include <memory>

#include "framework/controls.h"
#include "framework/ddx.h"

namespace wf::netui {
namespace {

constexpr DWORD kAdNotRemovedHelp[] = {1143, 8005, 1236, 8005, 0, 0};
constexpr DWORD kDupAddrHostHelp[] = {1144, 8103, 1237, 8103, 0, 0};
constexpr DWORD kPwdIncorrectHelp[] = {1159, 5503, 1243, 5503, 0, 0};
constexpr DWORD kPwdMismatchHelp[] = {1158, 5504, 1242, 5504, 0, 0};
constexpr DWORD kFlashReadHelp[] = {1154, 5902, 1239, 5902, 0, 0};
constexpr DWORD kFlashFormatHelp[] = {1153, 5901, 1238, 5901, 0, 0};
constexpr DWORD kFlashWriteHelp[] = {1156, 5903, 1240, 5903, 0, 0};
constexpr DWORD kPwdInvalidHelp[] = {1157, 5503, 1241, 5503, 0, 0};
constexpr DWORD kTooManyServersHelp[] = {1141, 6607, 2, 6607, 0, 0};
constexpr DWORD kFlashConfirmHelp[] = {1180, 5900, 1179, 5900, 1, 5900, 2, 5900, 3, 5900, 0, 0};
constexpr DWORD kLoginUserHelp[] = {1190, 0, 1191, 0, 0, 0};

constexpr NoticeField kText12a{1016, false, 12, false}, kText12b{1017, false, 12, false};

// template, class, CWFDialog base, help pairs, Help button and topic, fields
const NoticeSpec kNotices[] = {
    {2132, "NtcRemoveAdVerify", false, nullptr, 0, 0, {}},
    {2133, "NtcAdNotRemoved", true, kAdNotRemovedHelp, 1236, 8005, {}},
    {2135, "NtcDupAddrHost", true, kDupAddrHostHelp, 1237, 8103, {}},
    {2143, "NtcBadAdAddr", false, nullptr, 0, 0, {kText12a, kText12b}},
    {2144, "NtcMaxTimeout", false, nullptr, 0, 0, {NoticeField{1016, true, 0, false}}},
    {2150, "NtcBadSetting", false, nullptr, 0, 0, {}},
    {2151, "NtcPwdIncorrect", true, kPwdIncorrectHelp, 1243, 5503, {}},
    {2152, "NtcPwdMismatch", true, kPwdMismatchHelp, 1242, 5504, {}},
    {2153, "NtcFlashSent", false, nullptr, 0, 0, {}},
    {2154, "NtcFlashRead", true, kFlashReadHelp, 1239, 5902, {}},
    {2155, "NtcFlashFormat", true, kFlashFormatHelp, 1238, 5901, {}},
    {2156, "NtcFlashWrite", true, kFlashWriteHelp, 1240, 5903, {}},
    {2160, "WaitFlash", false, nullptr, 0, 0, {}},
    {2162, "NtcPwdInvalid", true, kPwdInvalidHelp, 1241, 5503, {}},
    {2163, "AdEnterPwd", false, nullptr, 0, 0, {NoticeField{1076, false, 8, true}}},
    {2175, "WaitReset", false, nullptr, 0, 0, {}},
    // Its Help button carries the Cancel id: Esc and the close box show the topic too.
    {2176, "NtcTooManyServers", true, kTooManyServersHelp, IDCANCEL, 6607, {}},
    {2177, "NtcCommErrSet", false, nullptr, 0, 0, {}},
    {2178, "WaitUpdate", false, nullptr, 0, 0, {}},
    {2179, "NtcDupQueue", false, nullptr, 0, 0, {}},
    {2180, "NtcCommErrGet", false, nullptr, 0, 0, {}},
    {2181, "NtcAddrWarning", false, nullptr, 0, 0, {}},
    {2182, "NtcBadCharNW", false, nullptr, 0, 0, {}},
    {2190, "NtcResetAd", false, nullptr, 0, 0, {}},
    {2191, "NtcFlashConfirm", true, kFlashConfirmHelp, 3, 5900, {}},
    {2195, "NtcLoginFailed", false, nullptr, 0, 0, {}},
    {2197, "NWSrvLoginUser", true, kLoginUserHelp, 0, 0, {}},
    {2198, "NtcRefreshAll", false, nullptr, 0, 0, {}},
    {2199, "NtcIPNotFound", false, nullptr, 0, 0, {NoticeField{1235, false, 15, false}}},
    {2200, "NtcBadNetNum", false, nullptr, 0, 0, {}},
    {2201, "NtcResetProto", false, nullptr, 0, 0, {}},
    {2202, "NtcApplyServers", false, nullptr, 0, 0, {NoticeField{1244, false, 0, false}}},
    {2203, "NtcAdPrinting", false, nullptr, 0, 0, {}},
    {2204, "NtcResetAllPorts", false, nullptr, 0, 0, {}},
    {2205, "NtcBadCharCL", false, nullptr, 0, 0, {}},
    {2206, "NtcDupAdAddr", false, nullptr, 0, 0, {}},
    {2207, "NtcDupNickname", false, nullptr, 0, 0, {}},
    {2208, "NtcDupHost", false, nullptr, 0, 0, {}},
    {2212, "NtcAdMemFull", false, nullptr, 0, 0, {}},
};

// NtcLoginFailed's Retry carries command id 4 and ends the box as OK.
constexpr UINT kLoginFailedTemplate = 2195;
constexpr int kLoginRetryId = 4;

const NoticeSpec& specOf(UINT templateId) {
  static const NoticeSpec none{};
  const NoticeSpec* spec = noticeSpec(templateId);
  return spec ? *spec : none;
}

void limitFields(CDialog& box, const NoticeSpec& spec) {
  for (const NoticeField& field : spec.fields) {
    if (field.controlId == 0 || field.maxChars == 0) continue;
    if (auto* edit = dynamic_cast<CEdit*>(box.GetDlgItem(field.controlId))) edit->LimitText(field.maxChars);
  }
}

void exchangeFields(CDataExchange* dx, const NoticeSpec& spec, NoticeValues& values) {
  std::size_t text = 0;
  for (const NoticeField& field : spec.fields) {
    if (field.controlId == 0) continue;
    if (field.number) {
      DDX_Text(dx, field.controlId, values.number);
    } else {
      DDX_Text(dx, field.controlId, values.text[text]);
      if (field.maxChars) DDV_MaxChars(dx, values.text[text], field.maxChars);
      ++text;
    }
  }
}

// A live field takes the control's text at every change; true when handled.
bool copyLiveField(CDialog& box, const NoticeSpec& spec, NoticeValues& values, WPARAM wParam) {
  if (HIWORD(wParam) != EN_CHANGE) return false;
  std::size_t text = 0;
  for (const NoticeField& field : spec.fields) {
    if (field.controlId == 0 || field.number) continue;
    if (field.live && field.controlId == LOWORD(wParam)) {
      box.GetDlgItemText(field.controlId, values.text[text]);
      return true;
    }
    ++text;
  }
  return false;
}

}  // namespace

const NoticeSpec* noticeSpec(UINT templateId) {
  for (const NoticeSpec& spec : kNotices)
    if (spec.templateId == templateId) return &spec;
  return nullptr;
}

PlainNotice::PlainNotice(UINT templateId, CWnd* parent) : CDialog(templateId, parent) {}

BOOL PlainNotice::OnInitDialog() {
  CDialog::OnInitDialog();
  limitFields(*this, specOf(m_nIDTemplate));
  return TRUE;
}

void PlainNotice::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  exchangeFields(dx, specOf(m_nIDTemplate), values_);
}

BOOL PlainNotice::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (copyLiveField(*this, specOf(m_nIDTemplate), values_, wParam)) return TRUE;
  if (m_nIDTemplate == kLoginFailedTemplate && LOWORD(wParam) == kLoginRetryId && HIWORD(wParam) == BN_CLICKED) {
    EndDialog(IDOK);
    return TRUE;
  }
  return CDialog::OnCommand(wParam, lParam);
}

HelpNotice::HelpNotice(UINT templateId, CWnd* parent) : CWFDialog(static_cast<int>(templateId), parent) {}

const DWORD* HelpNotice::GetHelpIDs() {
  return specOf(m_nIDTemplate).helpIds;
}

BOOL HelpNotice::OnInitDialog() {
  CWFDialog::OnInitDialog();
  limitFields(*this, specOf(m_nIDTemplate));
  return TRUE;
}

void HelpNotice::DoDataExchange(CDataExchange* dx) {
  CWFDialog::DoDataExchange(dx);
  exchangeFields(dx, specOf(m_nIDTemplate), values_);
}

BOOL HelpNotice::OnCommand(WPARAM wParam, LPARAM lParam) {
  const NoticeSpec& spec = specOf(m_nIDTemplate);
  if (copyLiveField(*this, spec, values_, wParam)) return TRUE;
  if (spec.helpButton != 0 && LOWORD(wParam) == spec.helpButton && HIWORD(wParam) == BN_CLICKED) {
    HelpButton(spec.helpButton, spec.helpTopic);
    return TRUE;
  }
  return CWFDialog::OnCommand(wParam, lParam);
}

// ---- The shared please-wait box ----

namespace {
std::unique_ptr<WaitUpdate>& waitUpdateBox() {
  static std::unique_ptr<WaitUpdate> box;
  return box;
}
}  // namespace

void makeWaitUpdate() {
  if (!waitUpdateBox()) waitUpdateBox() = std::make_unique<WaitUpdate>();
}

void dropWaitUpdate() {
  waitUpdateBox().reset();
}

bool waitUpdateShown() {
  return waitUpdateBox() && waitUpdateBox()->GetSafeHwnd() != 0;
}

int ShowWaitUpdate(CWnd* parent) {
  makeWaitUpdate();
  WaitUpdate& box = *waitUpdateBox();
  if (box.GetSafeHwnd()) return 0;
  if (!box.Create(2178, parent)) return 0;
  box.ShowWindow(SW_SHOW);
  // The caller blocks the GUI thread next: paint now or never.
  box.UpdateWindow();
  return 1;
}

int HideWaitUpdate() {
  if (!waitUpdateShown()) return 0;
  waitUpdateBox()->DestroyWindow();
  return 1;
}

}  // namespace wf::netui
