#include "adapter_advanced.h"

#include <cstdio>
#include <cstring>

#include "adapter_info.h"
#include "broker_binding.h"
#include "framework/controls.h"
#include "framework/ddx.h"
#include "notices.h"
#include "port_pages.h"

namespace wf::netui {
namespace {

constexpr DWORD kAdvancedHelp[] = {1043, 5601, 1044, 5602, 1045, 5603, 1046, 5605, 1047, 5606, 1048,
                                   5607, 1049, 5608, 1051, 5610, 1232, 5610, 1052, 5611, 1215, 5611,
                                   1050, 5609, 2,    5005, 1130, 5600, 1131, 5604, 1132, 5609, 0,    0};

constexpr uint8_t kAdvCorLink = 0x01, kAdvNetWare = 0x02, kAdvAppleTalk = 0x04, kAdvTcpIp = 0x08;

// Exactly four parts of one to three digits; the fourth at most `lastMax`.
bool parseDotted(const std::string& text, int lastMax, uint8_t* out) {
  int part = 0, digits = 0, value = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : '.';
    if (c >= '0' && c <= '9') {
      if (++digits > 3) return false;
      value = value * 10 + (c - '0');
      continue;
    }
    if (c != '.' || digits == 0 || part == 4) return false;
    if (value > (part == 3 ? lastMax : 255)) return false;
    out[part++] = static_cast<uint8_t>(value);
    digits = value = 0;
  }
  return part == 4;
}

CString dotted(const uint8_t (&octets)[4]) {
  CString text;
  text.Format("%d.%d.%d.%d", octets[0], octets[1], octets[2], octets[3]);
  return text;
}

template <std::size_t N>
void copyText(const CString& text, char (&field)[N]) {
  std::memset(field, 0, N);
  std::strncpy(field, text.str().c_str(), N - 1);
}

}  // namespace

BEGIN_MESSAGE_MAP(AdAdvSet, CWFDialog)
ON_EN_UPDATE(1043, OnIpAddressUpdate)
ON_EN_UPDATE(1044, OnNetmaskUpdate)
ON_EN_UPDATE(1045, OnGatewayUpdate)
ON_BN_CLICKED(1046, OnProtocolClicked)
ON_BN_CLICKED(1047, OnProtocolClicked)
ON_BN_CLICKED(1048, OnProtocolClicked)
ON_BN_CLICKED(1049, OnProtocolClicked)
ON_EN_UPDATE(1050, OnOtherUpdate)
ON_EN_UPDATE(1051, OnOtherUpdate)
ON_EN_UPDATE(1052, OnOtherUpdate)
END_MESSAGE_MAP()

AdAdvSet::AdAdvSet(CWnd* parent) : CWFDialog(2140, parent) {}

const DWORD* AdAdvSet::GetHelpIDs() {
  return kAdvancedHelp;
}

void AdAdvSet::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, 1051, m_strContact);
  DDV_MaxChars(dx, m_strContact, 63);
  DDX_Text(dx, 1050, m_nTimeout);
  DDX_Text(dx, 1052, m_strLocation);
  DDV_MaxChars(dx, m_strLocation, 63);
  DDX_Check(dx, 1049, m_bAppleTalk);
  DDX_Check(dx, 1046, m_bCorLink);
  DDX_Check(dx, 1047, m_bNetWare);
  DDX_Check(dx, 1048, m_bTcpIp);
  DDX_Text(dx, 1043, m_strAddress);
  DDV_MaxChars(dx, m_strAddress, 15);
  DDX_Text(dx, 1045, m_strGateway);
  DDV_MaxChars(dx, m_strGateway, 15);
  DDX_Text(dx, 1044, m_strNetmask);
  DDV_MaxChars(dx, m_strNetmask, 15);
}

BOOL AdAdvSet::OnInitDialog() {
  writing_ = true;
  CWFDialog::OnInitDialog();
  writing_ = false;
  auto disable = [this](int id) {
    if (CWnd* item = GetDlgItem(id)) item->EnableWindow(FALSE);
  };
  const bool pageMayChange = m_nPageControl & 0x10;
  if (!((m_nSettingsControl & 0x08) && pageMayChange))
    for (int id : {1043, 1044, 1045}) disable(id);
  if ((m_nSettingsControl & 0x04) && pageMayChange) {
    // The transport the page talks through cannot be switched off from here.
    if (!(m_nActive & kAdvAppleTalk)) disable(1049);
    if (!(m_nActive & kAdvCorLink) || m_nProtocol == 4 || m_nProtocol == 8) disable(1046);
    if (!(m_nActive & kAdvNetWare) || m_nProtocol == 1) disable(1047);
    if (!(m_nActive & kAdvTcpIp) || m_nProtocol == 2) disable(1048);
  } else {
    for (int id : {1046, 1047, 1048, 1049, 1050, 1051, 1052}) disable(id);
  }
  disable(IDOK);
  return TRUE;
}

void AdAdvSet::enableOk() {
  if (CWnd* ok = GetDlgItem(IDOK)) ok->EnableWindow(TRUE);
}

void AdAdvSet::OnAddressUpdate(int id, CString& text) {
  if (writing_) return;
  m_nChanged = 1;
  enableOk();
  const CString before = text;
  if (!UpdateData(TRUE)) return;
  if (text.str().find_first_not_of("0123456789.") == std::string::npos) return;
  NtcBadSetting(this).DoModal();
  text = before;
  writing_ = true;
  SetDlgItemText(id, before);
  writing_ = false;
  if (auto* edit = dynamic_cast<CEdit*>(GetDlgItem(id))) edit->SetSel(0, -1);
}

void AdAdvSet::OnProtocolClicked() {
  enableOk();
  m_nChanged = 1;
}

void AdAdvSet::OnOtherUpdate() {
  if (!writing_) enableOk();
}

void AdAdvSet::OnOK() {
  CWnd* ok = GetDlgItem(IDOK);
  if (ok && ok->IsWindowEnabled()) CWFDialog::OnOK();
}

BOOL ParseTcpIpSettings(const AdAdvSet& dialog, TcpIpOctets& out, CWnd* parent) {
  const struct {
    const CString& text;
    int lastMax;
  } parts[] = {{dialog.m_strAddress, 254}, {dialog.m_strNetmask, 255}, {dialog.m_strGateway, 254}};
  for (int i = 0; i < 3; ++i) {
    if (!parseDotted(parts[i].text.str(), parts[i].lastMax, out.data() + 4 * i)) {
      NtcBadSetting(parent).DoModal();
      return FALSE;
    }
  }
  for (int i = 0; i < 4; ++i) {
    if ((out[i] & out[4 + i]) != (out[8 + i] & out[4 + i])) {
      return NtcAddrWarning(parent).DoModal() == IDOK;
    }
  }
  return TRUE;
}

void PConAdPR::EditAdvancedSettings() {
  BrokerScope scope;
  if (!scope.bound()) return;
  wf::net::NETADVANCEDSETTINGS settings{};
  USHORT length = sizeof settings;
  if (!BceGetNetInfoRetry(m_nPrinter, m_nProtocol, wf::net::kItemAdvanced, &settings, &length, nullptr, this)) return;

  AdAdvSet dialog(this);
  dialog.m_nSettingsControl = settings.Control;
  dialog.m_nPageControl = m_record.Control;
  dialog.m_nActive = settings.ProtocolsActive;
  dialog.m_nProtocol = m_nProtocol;
  dialog.m_strContact = recordText(settings.ContactName);
  dialog.m_strLocation = recordText(settings.Location);
  dialog.m_nTimeout = settings.EndOfJobTimeout;
  const uint8_t both = settings.ProtocolsActive & settings.ProtocolsEnabled;
  dialog.m_bAppleTalk = (both & kAdvAppleTalk) != 0;
  dialog.m_bCorLink = (both & kAdvCorLink) != 0;
  dialog.m_bNetWare = (both & kAdvNetWare) != 0;
  dialog.m_bTcpIp = (both & kAdvTcpIp) != 0;
  dialog.m_strAddress = dotted(settings.IpAddress);
  dialog.m_strNetmask = dotted(settings.IpNetmask);
  dialog.m_strGateway = dotted(settings.IpGateway);

  // A change made before a refused run still asks for the reset.
  dialog.m_nChanged = 0;
  for (;;) {
    if (dialog.DoModal() != IDOK) break;
    TcpIpOctets octets{};
    if (!ParseTcpIpSettings(dialog, octets, this)) continue;
    std::memcpy(settings.IpAddress, octets.data(), 4);
    std::memcpy(settings.IpNetmask, octets.data() + 4, 4);
    std::memcpy(settings.IpGateway, octets.data() + 8, 4);
    settings.ProtocolsEnabled = static_cast<uint8_t>((dialog.m_bAppleTalk ? kAdvAppleTalk : 0) |
                                                     (dialog.m_bCorLink ? kAdvCorLink : 0) |
                                                     (dialog.m_bNetWare ? kAdvNetWare : 0) |
                                                     (dialog.m_bTcpIp ? kAdvTcpIp : 0));
    settings.EndOfJobTimeout = dialog.m_nTimeout;
    copyText(dialog.m_strContact, settings.ContactName);
    copyText(dialog.m_strLocation, settings.Location);

    const bool shown = ShowWaitUpdate(this) == 1;
    if ((m_record.Control & 0x02) && !CheckAdapterPassword(m_nPrinter, m_nProtocol, m_uaa, this)) {
      if (shown) HideWaitUpdate();
      return;
    }
    const BOOL set =
        BceSetNetInfoRetry(m_nPrinter, m_nProtocol, wf::net::kItemAdvanced, &settings, sizeof settings, this);
    if (shown) HideWaitUpdate();
    const uint8_t cls = m_record.AdapterClass;
    if (set && dialog.m_nChanged &&
        (cls == wf::net::kClassMultiPort || cls == wf::net::kClassMultiPortSerial) &&
        NtcResetAllPorts(this).DoModal() == IDOK)
      BceSetNetInfoRetry(m_nPrinter, m_nProtocol, wf::net::kItemReset, nullptr, 0, this);
    break;
  }
  focusItem(1028);
}

}  // namespace wf::netui
