// What the windows show of a printer: names, ports, protocols, addresses,
// status and model, derived from the request object's capabilities.
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "common/printer_icon.h"
#include "common/wait_objects.h"
#include "framework/resources.h"
#include "icon_strings.h"
#include "platform/clock.h"
#include "prtobj/prtobj_util.h"

using wf::prtgui::loadString;
namespace ids = wf::prtgui;

namespace {

// The capabilities under a borrow; false without an object or caps.
bool readCaps(CWFPrinterIcon* icon, WFPrtObj::BIDICAPABILITIES* caps) {
  WFPrtObj* object = icon->GetPrinterObj();
  if (!object) return false;
  const bool ok = object->getBidiCaps(caps) != 0;
  icon->ReleasePrinterObj();
  return ok;
}

bool isLocalPortType(UINT type) {
  return type == WFPrtObj::PORT_LPT || type == WFPrtObj::PORT_COM || type == WFPrtObj::PORT_OTHER_LOCAL;
}

struct AdapterName {
  UINT portType;
  UINT stringId;
  const char* jobStatsName;
};
constexpr AdapterName kAdapterNames[] = {
    {4, 73, "Portbay XLe PAR1"}, {5, 74, "Portbay XLe PAR2"}, {6, 75, "Portbay XLe SER"}, {7, 69, "7390 PAR"},
    {8, 70, "7390 SER"},         {9, 71, "Portbay"},          {10, 72, "Portbay XL"},
};

const AdapterName* adapterOf(UINT portType) {
  for (const auto& a : kAdapterNames)
    if (a.portType == portType) return &a;
  return nullptr;
}

}  // namespace

ULONG CWFPrinterIcon::GetValidProtocols() {
  if (m_bGhost) return 0;
  WFPrtObj::BIDICAPABILITIES caps;
  if (!readCaps(this, &caps)) return 0;
  static constexpr struct {
    UINT capsBit;
    ULONG protocol;
  } kBits[] = {{0x1, 0x1}, {0x2, 0x2}, {0x10, 0x4}, {0x4, 0x8}, {0x8, 0x10}};
  ULONG protocols = 0;
  for (const auto& b : kBits)
    if (caps.transports & b.capsBit) protocols |= b.protocol;
  if (isLocalPortType(caps.portType)) protocols |= BCE_NET_LOCAL;
  return protocols;
}

BOOL CWFPrinterIcon::IsNetworkPrinter() {
  return (GetValidProtocols() & 0x1F) != 0;
}

BOOL CWFPrinterIcon::IsLocalPrinter() {
  if (m_bGhost) return isLocalPortType(m_portType);
  WFPrtObj::BIDICAPABILITIES caps;
  if (!readCaps(this, &caps)) return FALSE;
  return caps.nameCount != 0 || isLocalPortType(caps.portType);
}

BOOL CWFPrinterIcon::IsUserAdmin() {
  return !m_bGhost && (m_connections & 0x8000) != 0;
}

ULONG CWFPrinterIcon::GetConnection() {
  if (m_connections & BCE_NET_LOCAL) return 0;
  for (ULONG bit = 0x10000; bit <= 0x1000000; bit <<= 1)
    if (m_connections & bit) return bit;
  if (m_connections & 0x2000000) return BCE_NET_IP;
  if (m_connections & 0x4000000) return BCE_NET_IPX;
  return 0xFFFFFFFF;
}

BOOL CWFPrinterIcon::GetBidiActive() {
  if (IsUnknownPrinter()) return FALSE;
  WFPrtObj::BIDICAPABILITIES caps;
  return readCaps(this, &caps) && caps.bidiActive;
}

void CWFPrinterIcon::SetPortType() {
  if (m_bGhost) return;
  WFPrtObj::BIDICAPABILITIES caps;
  if (readCaps(this, &caps)) m_portType = static_cast<WFPrtObj::PORTTYPE>(caps.portType);
}

void CWFPrinterIcon::SetPort() {
  CString text = " ";
  WFPrtObj::BIDICAPABILITIES caps;
  if (!m_bGhost && readCaps(this, &caps)) {
    if (!caps.redirected && caps.nameCount == 0) {
      text = caps.portName.c_str();
    } else {
      text = "";
      if (caps.redirected) text = caps.redirections.c_str();
      if (caps.nameCount != 0) {
        if (caps.redirected) text += ",";
        text += caps.displayName.c_str();
      }
    }
  }
  setText(m_port, text);
}

void CWFPrinterIcon::SetNetAddress() {
  CString text = " ";
  WFPrtObj::BIDICAPABILITIES caps;
  if (!m_bGhost) {
    if (readCaps(this, &caps)) text = caps.adapterAddress.c_str();
  } else if (!std::all_of(m_node, m_node + 6, [](BYTE b) { return b == 0; }) && !IsLocalPrinter()) {
    PRTINFO info{};
    std::memcpy(info.node, m_node, sizeof m_node);
    std::string parsed;
    parseAdapterAddress(&info, &parsed);
    text = parsed.c_str();
  }
  setText(m_netAddress, text);
}

void CWFPrinterIcon::SetNWLogin() {
  CString text = " ";
  WFPrtObj::BIDICAPABILITIES caps;
  if (!m_bGhost && readCaps(this, &caps) && (caps.transports & 0x1)) text = caps.netwareName.c_str();
  setText(m_nwLogin, text);
}

void CWFPrinterIcon::SetCLNickname() {
  CString text = " ";
  WFPrtObj::BIDICAPABILITIES caps;
  if (!m_bGhost && readCaps(this, &caps) && (caps.transports & (0x4 | 0x10))) text = caps.ipxName.c_str();
  setText(m_clNickname, text);
}

void CWFPrinterIcon::SetTCPHost() {
  CString text = " ";
  WFPrtObj::BIDICAPABILITIES caps;
  if (!m_bGhost && readCaps(this, &caps) && (caps.transports & 0x2)) text = caps.ipName.c_str();
  setText(m_tcpHost, text);
}

void CWFPrinterIcon::EstablishColumnData() {
  SetPort();
  SetPortType();
  SetNetAddress();
  SetCLNickname();
  SetTCPHost();
  SetNWLogin();
}

CString CWFPrinterIcon::GetPort() {
  return getText(m_port);
}
CString CWFPrinterIcon::GetNetAddress() {
  return getText(m_netAddress);
}
CString CWFPrinterIcon::GetNWLogin() {
  return getText(m_nwLogin);
}
CString CWFPrinterIcon::GetCLNickname() {
  return getText(m_clNickname);
}
CString CWFPrinterIcon::GetTCPHost() {
  return getText(m_tcpHost);
}
CString CWFPrinterIcon::GetName() {
  return getText(m_name);
}
CString CWFPrinterIcon::GetPhysicalName() {
  return getText(m_physicalName);
}
CString CWFPrinterIcon::GetStatus() {
  return getText(m_status);
}
CString CWFPrinterIcon::GetModel() {
  return getText(m_model);
}

void CWFPrinterIcon::SetName(const char* name) {
  if (name && *name) {
    setText(m_name, name);
    return;
  }
  if (!m_bGhost) {
    WFPrtObj* object = GetPrinterObj();
    if (!object) {
      setText(m_name, loadString(ids::kDefaultPrinterName));
      return;
    }
    WFPrtObj::BIDICAPABILITIES caps;
    if (object->getBidiCaps(&caps) && caps.bidiActive) {
      WFPrtObj::DEVICECHARS chars;
      if (object->bidiGetDeviceChars(&chars) == 0 && !chars.model.empty()) {
        setText(m_name, chars.model.c_str());
        m_bPrevBidiName = TRUE;
      } else {
        const bool stillBidi = object->getBidiCaps(&caps) && caps.bidiActive;
        setText(m_name, loadString(stillBidi ? ids::kUnknownBidiPrinter : ids::kDefaultPrinterName));
      }
    } else if (!m_bPrevBidiName) {
      setText(m_name, loadString(ids::kDefaultPrinterName));
    }
    ReleasePrinterObj();
    return;
  }
  if (GetName().IsEmpty()) setText(m_name, GetGhostName());
}

CString CWFPrinterIcon::GetGhostName() {
  return loadString(ids::kGhostName);
}

void CWFPrinterIcon::SetPhysicalName() {
  setText(m_physicalName, "");
  if (m_bGhost) return;
  WFPrtObj* object = GetPrinterObj();
  if (!object) return;
  WFPrtObj::BIDICAPABILITIES caps;
  WFPrtObj::DEVICECHARS chars;
  if (object->getBidiCaps(&caps) && caps.bidiActive && object->bidiGetDeviceChars(&chars) == 0 &&
      !chars.model.empty())
    setText(m_physicalName, chars.model.c_str());
  ReleasePrinterObj();
}

void CWFPrinterIcon::SetStatus(const char* status) {
  const CString old = GetStatus();
  CString text;
  if (status && *status) {
    text = status;
  } else if (m_bGhost) {
    text = loadString(ids::kGhostStatus);
  } else if (GetBidiActive() && !IsUnknownPrinter()) {
    if (GetAnyHardErrors())
      text = Get1stHardErrorStr();
    else if (GetAnyActiveAlerts())
      text = Get1stActiveAlertStr();
    else
      text = loadString(ids::kStatusReady);
  } else {
    text = loadString(ids::kStatusNoBidi);
  }
  setText(m_status, text);
  if (!old.IsEmpty()) OnSetStatus(old, text);
}

CString CWFPrinterIcon::GetLongName() {
  const CString port = GetPort();
  return GetName() + " - " + (port.IsEmpty() ? GetNetAddress() : port);
}

BOOL CWFPrinterIcon::IsOEMPrinter() {
  const CString name = GetPhysicalName();
  return name.Find("Quorra") < 0 && name.Find("Corvane") < 0;
}

CString CWFPrinterIcon::GetAdapterType() {
  const AdapterName* adapter = adapterOf(m_portType);
  return adapter ? loadString(adapter->stringId) : CString();
}

CString CWFPrinterIcon::GetJSAdapterType() {
  const AdapterName* adapter = adapterOf(m_portType);
  return adapter ? CString(adapter->jobStatsName) : CString();
}

long CWFPrinterIcon::readDeviceChars(WFPrtObj* object) {
  delete std::exchange(m_pDeviceChars, nullptr);
  m_pDeviceChars = new (std::nothrow) WFPrtObj::DEVICECHARS;
  return m_pDeviceChars ? object->bidiGetDeviceChars(m_pDeviceChars) : -18;
}

void CWFPrinterIcon::DetermineModel() {
  if (GetPrinterFamily() != 0 || !GetBidiActive() || IsUnknownPrinter() || IsOEMPrinter()) {
    setText(m_model, "");
    return;
  }
  wf::fw::ResourceHandleSwitch resources(GetResourceInstance(0));
  WFPrtObj* object = GetPrinterObj();
  if (!object) return;
  CMutex mutex(GetMutexName("DeviceChars"));
  mutex.Wait(wf::kInfinite);
  const long rc = readDeviceChars(object);
  BCEReturnCheck(rc);
  ReleasePrinterObj();
  if (rc != 0)
    delete std::exchange(m_pDeviceChars, nullptr);
  else
    UpdateOutputBins();

  CString size;
  if (m_pDeviceChars) {
    switch (m_pDeviceChars->speed) {
      case 10:
        size = loadString(ids::kSize10);
        break;
      case 12:
        size = loadString(GetOutputCapacity() == 500 ? ids::kSize12HighCapacity : ids::kSize12);
        break;
      case 16:
        size = loadString(ids::kSize16);
        break;
      default:
        break;
    }
  }
  if (m_pDeviceChars && m_pDeviceChars->model.find("Vx20") != std::string::npos)
    setText(m_model, m_pDeviceChars->model.c_str());
  else
    setText(m_model, loadString(ids::kModelMaker) + " " + size + " " + loadString(ids::kModelKind));
  mutex.Release();
}
