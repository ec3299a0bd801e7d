// The saved printer record: the address values and the binary "data" value
// of a printer's registry subkey.
#include <cstring>
#include <new>
#include <utility>

#include "common/printer_icon.h"

using wf::REG_BINARY;
using wf::REG_SZ;
using wf::RegSetValueExA;

namespace {

struct AddressValue {
  const char* name;
  DWORD type;
  std::size_t offset;
  std::size_t length;
  ULONG protocols;  // written when the printer has one of these
};
// In the order they are written.
constexpr AddressValue kAddressValues[] = {
    {"localport", REG_SZ, 340, 80, BCE_NET_LOCAL | BCE_NET_PEER},
    {"enump2p", REG_BINARY, 258, 82, BCE_NET_PEER},
    {"enumipx", REG_BINARY, 136, 30, BCE_NET_IPX},
    {"enumip", REG_BINARY, 24, 112, BCE_NET_IP},
    {"corlink", REG_BINARY, 166, 92, BCE_NET_CORLINK},
    {"netware", REG_BINARY, 0, 24, BCE_NET_NETWARE},
};
static_assert(sizeof(NETADDRESS) == 420);

}  // namespace

void CWFPrinterIcon::rememberAddress(WFPrtObj* object) {
  auto* address = new (std::nothrow) NETADDRESS{};
  if (!address) return;
  object->getBCENetAddress(address, 0);
  delete std::exchange(m_pLastAddress, address);
  m_lastProtocols = GetValidProtocols();
}

void CWFPrinterIcon::SaveEnumInfo(HKEY key) {
  NETADDRESS address{};
  ULONG protocols = 0;
  WFPrtObj* object = GetPrinterObj();
  if (object && !m_bGhost) {
    rememberAddress(object);
    ReleasePrinterObj();
    if (!m_pLastAddress) return;
    address = *m_pLastAddress;
    protocols = m_lastProtocols;
  } else {
    if (object) ReleasePrinterObj();
    // A live icon that cannot be borrowed keeps the address it last had:
    // the main program deleted the subkey's old values before this call.
    const NETADDRESS* known = m_bGhost ? m_pGhostAddress : m_pLastAddress;
    if (!known) return;
    address = *known;
    protocols = m_bGhost ? 0 : m_lastProtocols;
  }
  WriteBinaryEnumData(key);
  const auto* bytes = reinterpret_cast<const BYTE*>(&address);
  for (const auto& value : kAddressValues)
    if (m_bGhost || (protocols & value.protocols))
      RegSetValueExA(key, value.name, 0, value.type, bytes + value.offset, static_cast<DWORD>(value.length));
}

void CWFPrinterIcon::WriteBinaryEnumData(HKEY key) {
  ENUMBINARYDATA record{};
  CreateSpecificBinaryData(&record);
  RegSetValueExA(key, "data", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&record), sizeof record);
}

void CWFPrinterIcon::CreateSpecificBinaryData(void* out) {
  auto* record = static_cast<ENUMBINARYDATA*>(out);
  std::memset(record, 0, sizeof *record);
  record->userDefinedName = m_bUserDefinedName ? 1 : 0;
  wf::copyRecordName(record->name, GetName());
  record->familyKey = GetPrinterFamily();
  if (m_bGhost) {
    std::memcpy(record->node, m_node, sizeof m_node);
    record->portType = m_portType;
  } else if (WFPrtObj* object = GetPrinterObj()) {
    PRTINFO info{};
    WFPrtObj::BIDICAPABILITIES caps;
    if (object->getPrinterInfo(&info) == 0) {
      std::memcpy(record->node, info.node, sizeof record->node);
      if (object->getBidiCaps(&caps)) record->portType = caps.portType;
    }
    ReleasePrinterObj();
  }
  record->storedAlerts = CreateBaseStoredAlerts();
}

void* CWFPrinterIcon::CreateRefreshData() {
  auto* record = new (std::nothrow) BYTE[sizeof(ENUMBINARYDATA)];
  if (record) CreateSpecificBinaryData(record);
  return record;
}

void CWFPrinterIcon::RestoreAlerts(void* record) {
  if (record) RestoreBaseAlerts(static_cast<const ENUMBINARYDATA*>(record)->storedAlerts);
}

ULONG CWFPrinterIcon::CreateBaseStoredAlerts() {
  ULONG mask = 0;
  for (int i = 0; i < kBaseAlertCount; ++i)
    if (m_baseAlertFlags[i]) mask |= 1u << (kBaseAlertCount - 1 - i);
  return mask;
}

void CWFPrinterIcon::RestoreBaseAlerts(ULONG mask) {
  for (int i = 0; i < kBaseAlertCount; ++i) m_baseAlertFlags[i] = (mask >> (kBaseAlertCount - 1 - i)) & 1;
}
