#include "adapter_page.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "broker_binding.h"
#include "factories.h"
#include "framework/controls.h"
#include "framework/ddx.h"
#include "notices.h"

namespace wf::netui {
namespace {

constexpr const char* kHexDigits = "0123456789ABCDEF";
constexpr uint16_t kAddressKnown = 0xFB95;

// Control id to topic, shared by the five adapter page classes.
constexpr DWORD kAdapterPageHelp[] = {
    1065, 5000, 1222, 5000, 1,    5003, 1039, 5004, 1038, 5200, 2,    5005, 1058, 5001, 1054, 5001, 1037,
    5001, 1018, 5002, 1139, 5002, 1055, 5100, 1225, 5100, 1020, 5101, 1226, 5101, 1056, 5102, 1057, 5102,
    1228, 5102, 1021, 5103, 1121, 5103, 1022, 5104, 1227, 5104, 1023, 5300, 1024, 5300, 1025, 5300, 1223,
    5300, 1019, 5301, 1224, 5301, 1245, 5400, 1246, 5400, 1247, 5400, 1015, 5303, 1028, 5302, 1040, 5006,
    0,    0};

bool allHex(const std::string& s) {
  return s.find_first_not_of(kHexDigits) == std::string::npos;
}

struct AddressRange {
  const char* low;
  const char* high;
};

bool limitedRange(const wf::net::NETADAPTERPARMS& r) {
  return r.Features & 0x01;
}

// The range 2143 shows while typing (any address) and on Apply (the
// Ethernet range then starts at 1: its last digit must not be 0).
AddressRange addressRange(const wf::net::NETADAPTERPARMS& r, bool applying) {
  if (r.Media == wf::net::kMediaEthernet) return {applying ? "000000000001" : "000000000000", "7FFFFFFFFFFF"};
  return {"400000000000", limitedRange(r) ? "40007FFFFFFF" : "7FFFFFFFFFFF"};
}

void showBadAddress(const AddressRange& range, CWnd* parent) {
  NtcBadAdAddr notice(parent);
  notice.m_strLow = range.low;
  notice.m_strHigh = range.high;
  notice.DoModal();
}

bool addressInRange(const wf::net::NETADAPTERPARMS& r, const std::string& s) {
  if (r.Media == wf::net::kMediaEthernet) return s[0] >= '0' && s[0] <= '7' && s.back() != '0';
  if (limitedRange(r)) return s.compare(0, 4, "4000") == 0 && s[4] >= '0' && s[4] <= '7';
  return s[0] >= '4' && s[0] <= '7';
}

void addressBytes(const std::string& s, uint8_t (&out)[6]) {
  for (int i = 0; i < 6; ++i)
    out[i] = static_cast<uint8_t>(std::strchr(kHexDigits, s[2 * i]) - kHexDigits) << 4 |
             static_cast<uint8_t>(std::strchr(kHexDigits, s[2 * i + 1]) - kHexDigits);
}

int pageKindOf(const wf::net::NETADAPTERPARMS& r) {
  switch (r.AdapterClass) {
    case wf::net::kClassMultiPort:
    case wf::net::kClassMultiPortSerial:
      return r.PortType == wf::net::kPortTypeParallel ? 3 : r.PortType == wf::net::kPortTypeSerial ? 5 : 1;
    case wf::net::kClass7390:
      return r.PortType == wf::net::kPortTypeParallel ? 2 : r.PortType == wf::net::kPortTypeSerial ? 4 : 1;
    default:
      return 1;
  }
}

CObject* makeConAdIn(const MakerContext& context) {
  auto* page = new PConAdIn;
  page->SetAdapterValues(context.record, context.printer, context.protocol);
  return page;
}
const bool conAdInRegistered = (setFactoryMaker(Factory::ConAdIn, &makeConAdIn), true);

}  // namespace

CString adapterAddressText(const uint8_t (&address)[6]) {
  char text[13];
  for (int i = 0; i < 6; ++i) std::snprintf(text + 2 * i, 3, "%02X", address[i]);
  return CString(text);
}

IMPLEMENT_DYNCREATE(PConAdIn, CWFPropertyPage)
BEGIN_MESSAGE_MAP(PConAdIn, CWFPropertyPage)
ON_BN_CLICKED(1039, OnShowAdapterInfoCmd)
ON_BN_CLICKED(1040, OnResetAdapterCmd)
ON_BN_CLICKED(1038, OnFlashCmd)
ON_EN_UPDATE(1065, OnAddressUpdate)
END_MESSAGE_MAP()

PConAdIn::PConAdIn(int templateId) : CWFPropertyPage(templateId) {
  forgetVerifiedAdapters();
}

void PConAdIn::SetAdapterValues(wf::net::NETADAPTERPARMS record, USHORT printer, UINT protocol) {
  m_nPrinter = printer;
  m_nProtocol = protocol;
  m_record = record;
  if (printer == 0 && protocol == 0) {
    m_strAddress.Empty();
    m_nPageKind = 1;
    return;
  }
  m_strAddress = adapterAddressText(record.Address);
  m_strAppliedAddress = m_strAddress;
  m_nPageKind = pageKindOf(record);
  std::copy(std::begin(record.UniversalAddress), std::end(record.UniversalAddress), m_uaa.begin());
}

void PConAdIn::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, 1065, m_strAddress);
  DDV_MaxChars(dx, m_strAddress, 12);
}

const DWORD* PConAdIn::GetHelpIDs() {
  return kAdapterPageHelp;
}

void PConAdIn::refreshControls() {
  const bool was = writing_;
  writing_ = true;
  UpdateData(FALSE);
  writing_ = was;
}

void PConAdIn::enableItem(int id, BOOL enable) {
  if (CWnd* item = GetDlgItem(id)) item->EnableWindow(enable);
}

void PConAdIn::focusItem(int id) {
  if (CWnd* item = GetDlgItem(id)) GotoDlgCtrl(item);
}

void PConAdIn::enableApplyCancel(BOOL enable) {
  enableItem(IDOK, enable);
  enableItem(IDCANCEL, enable);
}

bool PConAdIn::applyEnabled() {
  CWnd* apply = GetDlgItem(IDOK);
  return apply && apply->IsWindowEnabled();
}

BOOL PConAdIn::OnInitDialog() {
  writing_ = true;
  const BOOL result = CWFPropertyPage::OnInitDialog();
  writing_ = false;
  if (!result) return result;
  if (auto* edit = dynamic_cast<CEdit*>(GetDlgItem(1065))) edit->LimitText(12);

  bool supervisor = false;
  if (m_nPrinter == 0 && m_nProtocol == 0) {
    m_record.Features = 0;
    enableItem(1039, FALSE);
  } else {
    BrokerScope scope;
    wf::net::NETADAPTERINFO info{};
    USHORT length = sizeof info;
    supervisor = scope.bound() &&
                 BceGetNetInfoRetry(m_nPrinter, m_nProtocol, wf::net::kItemAdapterInfo, &info, &length, nullptr,
                                    this) &&
                 length >= sizeof info && info.Supervisor != 0;
  }
  if (!supervisor) m_record.Control = 0;

  const uint8_t control = m_record.Control;
  const bool portPage7390 = m_nPageKind == 2 || m_nPageKind == 4;
  if (!(control & 0x01)) enableItem(1065, FALSE);
  if (!portPage7390 && !(m_record.Features & 0x02)) enableItem(1038, FALSE);
  if (!(m_record.Features & 0x04)) enableItem(1040, FALSE);
  if (!(control & 0x10)) {
    enableItem(1040, FALSE);
    if (!portPage7390) enableItem(1038, FALSE);
  }
  enableApplyCancel(FALSE);
  return result;
}

void PConAdIn::OnAddressUpdate() {
  if (writing_) return;
  enableApplyCancel(TRUE);
  const CString before = m_strAddress;
  UpdateData(TRUE);
  if (!m_strAddress.IsEmpty() && !allHex(m_strAddress.str())) {
    showBadAddress(addressRange(m_record, false), this);
    m_strAddress = before;
    writing_ = true;
    SetDlgItemText(1065, before);
    writing_ = false;
    if (auto* edit = dynamic_cast<CEdit*>(GetDlgItem(1065))) edit->SetSel(0, -1);
  }
  focusItem(1065);
}

BOOL PConAdIn::ValidateAdapterAddress(const CString& text) {
  const AddressRange range = addressRange(m_record, true);
  const std::string& s = text.str();
  bool valid = s.size() == 12 && allHex(s);
  if (valid && s == "000000000000") {
    if (m_record.AdapterClass != wf::net::kClass7390) return TRUE;
    valid = false;
  }
  if (valid) valid = addressInRange(m_record, s);
  if (!valid) {
    showBadAddress(range, this);
    return FALSE;
  }

  uint8_t bytes[6];
  addressBytes(s, bytes);
  const bool shown = ShowWaitUpdate(this) == 1;
  auto hide = [shown] {
    if (shown) HideWaitUpdate();
  };
  uint32_t nets = 0;
  if (broker().getNets) broker().getNets(&nets);
  for (uint32_t bit : {4u, 1u, 8u, 2u}) {
    if (!(nets & bit)) continue;
    if (!BceSetNetInfoRetry(m_nPrinter, bit, wf::net::kItemAddressCheck, bytes, sizeof bytes, this)) {
      hide();
      return FALSE;
    }
    if (broker().lastResult == kAddressKnown) {
      hide();
      NtcDupAdAddr(this).DoModal();
      return FALSE;
    }
  }
  hide();
  return TRUE;
}

void PConAdIn::OnOK() {
  if (!applyEnabled()) return;
  if (!UpdateData(TRUE)) return;
  if (m_strAddress.IsEmpty()) m_strAddress = "000000000000";

  const uint8_t control = m_record.Control;
  const bool singlePort = m_record.AdapterClass == wf::net::kClassSinglePort ||
                          m_record.AdapterClass == wf::net::kClassSinglePortRuVa1;
  uint8_t mask = singlePort ? 0 : 0x40;
  bool allZero = false;
  auto refuse = [&] {
    m_record.Control = control;
    focusItem(IDOK);
  };

  BrokerScope scope;
  if (!scope.bound()) {
    m_record.Control = control;
    return;
  }
  if (m_strAddress != m_strAppliedAddress) {
    if (!ValidateAdapterAddress(m_strAddress)) return refuse();
    const uint8_t cls = m_record.AdapterClass;
    if ((cls == wf::net::kClassMultiPort || cls == wf::net::kClassMultiPortSerial || cls == wf::net::kClass7390) &&
        NtcResetAllPorts(this).DoModal() != IDOK)
      return refuse();
    mask |= 0x80;
    addressBytes(m_strAddress.str(), m_record.Address);
    allZero = std::all_of(std::begin(m_record.Address), std::end(m_record.Address), [](uint8_t b) { return b == 0; });
  }
  m_record.Control = mask;

  const bool shown = ShowWaitUpdate(this) == 1;
  auto hide = [shown] {
    if (shown) HideWaitUpdate();
  };
  if ((m_nPageKind == 3 || m_nPageKind == 5) && (control & 0x02) &&
      !CheckAdapterPassword(m_nPrinter, m_nProtocol, m_uaa, this)) {
    hide();
    return refuse();
  }
  if (mask != 0 &&
      BceSetNetInfoRetry(m_nPrinter, m_nProtocol, wf::net::kItemAdapterParms, &m_record, sizeof m_record, this)) {
    applied_ = true;
    m_strAppliedAddress = m_strAddress;
    if (allZero) {
      std::copy(std::begin(m_record.UniversalAddress), std::end(m_record.UniversalAddress), m_record.Address);
      m_strAddress = adapterAddressText(m_record.Address);
      m_strAppliedAddress = m_strAddress;
    }
    refreshControls();
    enableApplyCancel(FALSE);
  }
  hide();
  m_record.Control = control;
  focusItem(IDOK);
  CWFPropertyPage::OnOK();
}

void PConAdIn::applyPage() {
  const wf::net::NETADAPTERPARMS before = m_record;
  applied_ = false;
  OnOK();
  if (!applied_) m_record = before;
}

BOOL PConAdIn::OnApply() {
  applyPage();
  return TRUE;
}

void PConAdIn::OnCancel() {
  m_strAddress = m_strAppliedAddress;
  refreshControls();
  enableApplyCancel(FALSE);
  focusItem(1065);
  CWFPropertyPage::OnCancel();
}

LRESULT PConAdIn::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  // The page's own Apply and Cancel buttons are the page's, not the notebook's.
  if (message == WM_COMMAND && lParam != 0 && HIWORD(wParam) == BN_CLICKED &&
      (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    CWnd* button = GetDlgItem(LOWORD(wParam));
    if (button && static_cast<LPARAM>(button->GetSafeHwnd()) == lParam) {
      if (LOWORD(wParam) == IDOK)
        applyPage();
      else
        OnCancel();
      return 0;
    }
  }
  return CWFPropertyPage::WindowProc(message, wParam, lParam);
}

void PConAdIn::OnResetAdapter() {
  const uint8_t cls = m_record.AdapterClass;
  const bool protectedAdapter =
      (cls == wf::net::kClassMultiPort || cls == wf::net::kClassMultiPortSerial) && (m_record.Control & 0x02);
  if (!protectedAdapter || CheckAdapterPassword(m_nPrinter, m_nProtocol, m_uaa, this)) {
    if (NtcResetAd(this).DoModal() == IDOK) {
      BrokerScope scope;
      if (scope.bound()) BceSetNetInfoRetry(m_nPrinter, m_nProtocol, wf::net::kItemReset, nullptr, 0, this);
    }
  }
  focusItem(1040);
}

}  // namespace wf::netui
