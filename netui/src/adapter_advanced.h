#pragma once
// "Adapter Advanced Settings": the adapter-wide item 130 (its own TCP/IP
// address, netmask and gateway, the active protocols, contact, location and
// end-of-job timeout), edited from the multi-port pages.
#include <array>
#include <cstdint>

#include "framework/cstring.h"
#include "wf_dialog.h"

namespace wf::netui {

class AdAdvSet : public CWFDialog {
 public:
  explicit AdAdvSet(CWnd* parent = nullptr);
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  const DWORD* GetHelpIDs() override;
  void OnOK() override;

  BYTE m_nSettingsControl = 0;  // item 130's Control
  BYTE m_nPageControl = 0;      // the page record's Control
  BYTE m_nActive = 0;           // item 130's ProtocolsActive
  UINT m_nProtocol = 0;         // the page's transport bit
  int m_nChanged = 0;           // a protocol box or an address field was edited
  CString m_strContact;         // 1051
  BYTE m_nTimeout = 0;          // 1050
  CString m_strLocation;        // 1052
  int m_bAppleTalk = 0;         // 1049
  int m_bCorLink = 0;           // 1046
  int m_bNetWare = 0;           // 1047
  int m_bTcpIp = 0;             // 1048
  CString m_strAddress;         // 1043
  CString m_strGateway;         // 1045
  CString m_strNetmask;         // 1044

 private:
  void OnAddressUpdate(int id, CString& text);
  void OnIpAddressUpdate() { OnAddressUpdate(1043, m_strAddress); }
  void OnNetmaskUpdate() { OnAddressUpdate(1044, m_strNetmask); }
  void OnGatewayUpdate() { OnAddressUpdate(1045, m_strGateway); }
  void OnProtocolClicked();
  void OnOtherUpdate();
  void enableOk();
  bool writing_ = false;
  DECLARE_MESSAGE_MAP()
};

// Address, netmask and gateway octets, in this order.
using TcpIpOctets = std::array<uint8_t, 12>;
// FALSE after notice 2150 for a malformed or out-of-range text, or when the
// user cancels warning 2181 about an inconsistent set; the boxes over `parent`.
BOOL ParseTcpIpSettings(const AdAdvSet& dialog, TcpIpOctets& out, CWnd* parent);

}  // namespace wf::netui
