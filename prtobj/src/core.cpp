// Construction, the cached connection facts and the two request primitives.
#include <strings.h>

#include <cstring>
#include <new>

#include "broker/corbce.h"
#include "framework/resources.h"
#include "platform/module.h"
#include "platform/net_connections.h"
#include "prtobj/prtobj_util.h"
#include "prtobj/wfprtobj.h"

namespace {

constexpr WFPrtObj::ULONG kWorkBufferSize = 2048;

// Results after which the printer is not asked again until re-initialised.
bool switchesBidiOff(WFPrtObj::LONG rc) {
  return rc == -2 || rc == BCE_ERR_PORT_OPEN || rc == BCE_ERR_NOT_CAPABLE || rc == NET_WRITEFAIL ||
         rc == NET_READFAIL;
}

struct WorkBuffer {
  explicit WorkBuffer(WFPrtObj::ULONG size) : bytes(wfPrtObjNew(size)) {}
  ~WorkBuffer() { wfPrtObjFree(bytes); }
  WorkBuffer(const WorkBuffer&) = delete;
  WorkBuffer& operator=(const WorkBuffer&) = delete;
  void* bytes;
};

WFPrtObj::UINT networkPortType(std::uint16_t adapterClass, std::uint16_t portKind) {
  switch (adapterClass) {
    case 0:
      return WFPrtObj::PORT_INTERNAL;
    case 1:
      return WFPrtObj::PORT_PORTBAY;
    case 2:
    case 4:
      if (portKind == 1) return WFPrtObj::PORT_ADAPTER_PARALLEL_1;
      if (portKind == 2) return WFPrtObj::PORT_ADAPTER_PARALLEL_2;
      if (portKind == 0x101) return WFPrtObj::PORT_ADAPTER_SERIAL;
      return WFPrtObj::PORT_UNKNOWN;
    case 8:
      if (portKind == 1 || portKind == 2) return WFPrtObj::PORT_ADAPTER8_PARALLEL;
      if (portKind == 0x101) return WFPrtObj::PORT_ADAPTER8_SERIAL;
      return WFPrtObj::PORT_UNKNOWN;
    case 16:
      return WFPrtObj::PORT_PORTBAY_XL;
    default:
      return WFPrtObj::PORT_UNKNOWN;
  }
}

// Transports field bits in the order of the connection bits they mirror.
constexpr struct {
  std::uint32_t connection;
  WFPrtObj::UINT field;
} kTransportBits[] = {
    {BCE_NET_NETWARE, 0x1}, {BCE_NET_IP, 0x2},   {BCE_NET_CORLINK, 0x4},
    {BCE_NET_PEER, 0x8},    {BCE_NET_IPX, 0x10},
};
constexpr WFPrtObj::UINT kFieldNetware = 0x1, kFieldIp = 0x2, kFieldCorlink = 0x4, kFieldIpx = 0x10;

constexpr std::uint32_t kConnIpSecondName = 0x02000000;
constexpr std::uint32_t kConnIpxSecondName = 0x04000000;
constexpr std::uint16_t kFlagHigh = 0x8000;

bool printerName(std::uint16_t handle, std::uint32_t net, std::string* name, std::string* second) {
  char first[BCE_NAME_LENGTH + 1] = {};
  char other[BCE_NAME_LENGTH + 1] = {};
  if (BceGetPrinterName(handle, net, first, other) != 0) return false;
  if (name) *name = first;
  if (second) *second = other;
  return true;
}

}  // namespace

WFPrtObj::WFPrtObj() {
  initToZero();
  retryCount_ = 1;
}

WFPrtObj::WFPrtObj(USHORT handle, BOOL initBidi) : WFPrtObj(handle, kUnknownType, initBidi) {}

WFPrtObj::WFPrtObj(USHORT handle, ULONG printerType, BOOL initBidi) {
  initToZero();
  handle_ = handle;
  if (initBidi) bidiInitialize(0);
  setPrinterType(printerType);
  panel_.columns = 20;
  panel_.lines = 4;
  retryCount_ = printerType_ == 0 ? 1 : 0;
}

WFPrtObj::~WFPrtObj() = default;

WFPrtObj& WFPrtObj::operator=(const WFPrtObj& other) {
  if (this == &other) return *this;
  appId_ = other.appId_;
  handle_ = other.handle_;
  panel_ = other.panel_;
  caps_ = other.caps_;
  initialised_ = other.initialised_;
  printerType_ = other.printerType_;
  printerFamily_ = other.printerFamily_;
  userData_ = other.userData_;
  retryCount_ = other.retryCount_;
  psfType_ = other.psfType_;
  psfHeader_ = other.psfHeader_;
  revisionLevel_ = other.revisionLevel_;
  setNotificationWindow(other.notificationWindow_);
  return *this;
}

void WFPrtObj::initToZero() {
  caps_ = BIDICAPABILITIES{};
  panel_ = OPPANELDATA{};
  initialised_ = 0;
  retryCount_ = 0;
  psfType_ = PSF_NONE;
  psfHeader_.clear();
  revisionLevel_.clear();
  printerType_ = kUnknownType;
  printerFamily_ = kUnknownType;
}

void WFPrtObj::setPrinterType(ULONG type) {
  printerType_ = type;
  if (type == 0) {
    psfHeader_ = "BIDI";
    psfType_ = PSF_BIDI;
  } else if (type == 1) {
    psfHeader_ = "MERBIDI";
    psfType_ = PSF_MERBIDI;
  } else {
    psfHeader_.clear();
    psfType_ = PSF_NONE;
  }
}

void WFPrtObj::getPrinterType(ULONG* type, ULONG* family) {
  if (type) *type = printerType_;
  if (family) *family = printerFamily_;
}

WFPrtObj::LONG WFPrtObj::bidiInitialize(BOOL force) {
  bidiQueryCaps(&caps_, force);
  initialised_ = 1;
  return 0;
}

WFPrtObj::BOOL WFPrtObj::getBidiCaps(BIDICAPABILITIES* caps) {
  if (!initialised_ || !caps) return 0;
  bidiLock_.enter();
  *caps = caps_;
  bidiLock_.leave();
  return 1;
}

WFPrtObj::BOOL WFPrtObj::isBidiActive() {
  bidiLock_.enter();
  const BOOL active = caps_.bidiActive;
  bidiLock_.leave();
  return active;
}

void WFPrtObj::setBidiOff() {
  bidiLock_.enter();
  caps_.bidiActive = 0;
  bidiLock_.leave();
}

void WFPrtObj::setUserData(std::uintptr_t data) {
  userData_ = data;
}
std::uintptr_t WFPrtObj::getUserData() {
  return userData_;
}
void WFPrtObj::setNotificationWindow(HWND window) {
  notificationWindow_ = window;
}

WFPrtObj::UINT WFPrtObj::setBidiQueryNetType(UINT type) {
  queryNetType_ = type;
  return queryNetType_;
}

WFPrtObj::LONG WFPrtObj::getPrinterInfo(PRTINFO* info) {
  return BceGetPrtInfo(handle_, info, 0);
}
WFPrtObj::LONG WFPrtObj::bidiGetPrinterInfo(PRTINFO* info) {
  return BceGetPrtInfo(handle_, info, 1);
}

WFPrtObj::ULONG WFPrtObj::getBCENetAddress(NETADDRESS* address, UINT mask) {
  return static_cast<ULONG>(BceGetPrinterAddr(handle_, mask, address));
}

WFPrtObj::UINT WFPrtObj::getNetAccessLevel(UINT net) {
  return BceIsUserAdmin(net) != 0 ? WF_NET_ADMIN : WF_NET_USER;
}

WFPrtObj::BOOL WFPrtObj::isValidNetType(UINT type) {
  switch (type) {
    case BCE_NET_NETWARE:
      return (caps_.transports & kFieldNetware) != 0;
    case BCE_NET_IP:
      return (caps_.transports & kFieldIp) != 0;
    case BCE_NET_IPX:
      return (caps_.transports & kFieldIpx) != 0;
    case BCE_NET_CORLINK:
      return (caps_.transports & kFieldCorlink) != 0;
    default:
      break;
  }
  for (UINT bit = 0x10000; bit <= 0x1000000; bit <<= 1) {
    if (type != bit) continue;
    if (!caps_.redirected) return 0;
    PRTINFO info{};
    if (getPrinterInfo(&info) != 0) return 0;
    return (info.connections & bit) != 0;
  }
  return 1;
}

void WFPrtObj::scanRedirections(ULONG connections, BIDICAPABILITIES* caps) {
  for (int n = 1; n <= 9; ++n) {
    if ((connections & (0x10000u << (n - 1))) == 0) continue;
    char device[8];
    std::snprintf(device, sizeof device, "%s%1d:", "LPT", n);
    char remote[255] = {};
    std::uint32_t length = sizeof remote;
    if (wf::netconn::netConnections().getConnection(device, remote, length) != wf::netconn::kNoError)
      continue;
    ++caps->redirectionCount;
    std::string item = std::string(device) + "  (" + remote + ")";
    caps->redirections = caps->redirections.empty() ? item : caps->redirections + ", " + item;
  }
}

WFPrtObj::LONG WFPrtObj::bidiQueryCaps(BIDICAPABILITIES* caps, BOOL force) {
  bidiLock_.enter();
  *caps = BIDICAPABILITIES{};
  bidiLock_.leave();

  PRTINFO info{};
  const LONG rc = force ? bidiGetPrinterInfo(&info) : getPrinterInfo(&info);
  if (rc != 0) {
    // Zeroed above: no port type, bidi off, flags clear whatever the cause.
    return 0;
  }
  const std::string name(info.name, strnlen(info.name, sizeof info.name));
  if (!name.empty()) caps->portName = name;
  const BOOL npa = (info.flags & BCE_PRTINFO_FLAG_NPA) != 0;
  bidiLock_.enter();
  caps->bidiActive = npa;
  bidiLock_.leave();
  if (npa) caps->flags |= 1;

  if (info.connections & BCE_NET_LOCAL) {
    if (strncasecmp(name.c_str(), "COM", 3) == 0)
      caps->portType = PORT_COM;
    else if (strncasecmp(name.c_str(), "LPT", 3) == 0)
      caps->portType = PORT_LPT;
    else
      caps->portType = PORT_OTHER_LOCAL;
  } else {
    caps->portType = networkPortType(info.adapterClass, info.portKind);
    for (const auto& t : kTransportBits)
      if (info.connections & t.connection) caps->transports |= t.field;
    caps->highFlag = (info.flags & kFlagHigh) != 0;
    caps->redirected = (info.connections & BCE_NET_LOCAL_PORT_BITS) != 0;
    if (caps->redirected) scanRedirections(info.connections, caps);

    std::string first, second;
    bool ipRemembered = false;
    if ((info.connections & kConnIpSecondName) && printerName(handle_, BCE_NET_IP, &first, &second)) {
      caps->displayName = "[IP]  " + second;
      caps->ipName = first;
      ++caps->nameCount;
      ipRemembered = true;
    }
    if ((info.connections & kConnIpxSecondName) && printerName(handle_, BCE_NET_IPX, nullptr, &second)) {
      caps->displayName = ipRemembered ? caps->displayName + ", [IPX]  " + second : "[IPX]  " + second;
      ++caps->nameCount;
    }
    if (caps->transports & kFieldNetware) printerName(handle_, BCE_NET_NETWARE, &caps->netwareName, nullptr);
    if (caps->transports & kFieldIpx) printerName(handle_, BCE_NET_IPX, &caps->ipxName, nullptr);
    if (caps->transports & kFieldCorlink) printerName(handle_, BCE_NET_CORLINK, &caps->ipxName, nullptr);
    if ((caps->transports & kFieldIp) && !ipRemembered)
      printerName(handle_, BCE_NET_IP, &caps->ipName, nullptr);

    if (caps->transports & (kFieldNetware | kFieldIp | kFieldCorlink | kFieldIpx))
      parseAdapterAddress(&info, &caps->adapterAddress);
  }
  caps->flags &= ~0x6u;
  return 0;
}

WFPrtObj::LONG WFPrtObj::bidiQuery(USHORT code, const void* data, ULONG dataLen, void** reply,
                                   ULONG* replyLen, BOOL wantReply, BOOL force) {
  if (!isBidiActive() && !force) return BCE_ERR_NOT_CAPABLE;
  WorkBuffer buffer(wantReply ? kWorkBufferSize : 0);
  std::uint32_t length = 0;
  if (wantReply) {
    if (!buffer.bytes) return BCE_ERR_REPLY_TOO_LONG;
    *reply = nullptr;
    *replyLen = kWorkBufferSize;
  }
  LONG rc = 0;
  for (int attempt = 0; attempt <= retryCount_; ++attempt) {
    length = wantReply ? kWorkBufferSize : 0;
    if (!isValidNetType(queryNetType_)) setBidiQueryNetType(0);
    rc = BceSendBidi(static_cast<std::uint16_t>(appId_), handle_, queryNetType_, code,
                     wantReply ? buffer.bytes : nullptr, &length, data, dataLen);
    if (rc == 0) break;
  }
  if (rc == 0 && wantReply) {
    if (length <= 1 || length > kWorkBufferSize) {
      rc = -2;
      *replyLen = 0;
    } else {
      const ULONG n = length - 1;
      void* copy = wfPrtObjNew(n);
      if (!copy) {
        rc = BCE_ERR_REPLY_TOO_LONG;
        *replyLen = 0;
      } else {
        std::memcpy(copy, static_cast<const BYTE*>(buffer.bytes) + 1, n);
        *reply = copy;
        *replyLen = n;
      }
    }
  } else if (wantReply) {
    *replyLen = 0;
  }
  if (switchesBidiOff(rc)) setBidiOff();
  return rc;
}

WFPrtObj::LONG WFPrtObj::bidiQueryAlert(USHORT key, ULONG, void** data, ULONG* len, int flag) {
  WorkBuffer buffer(kWorkBufferSize);
  if (!buffer.bytes) return BCE_ERR_REPLY_TOO_LONG;
  *data = nullptr;
  *len = 0;
  std::uint16_t length = kWorkBufferSize;
  const LONG rc = BceQueryAlerts(static_cast<std::uint16_t>(appId_), key, handle_,
                                 static_cast<std::uint32_t>(flag), buffer.bytes, &length);
  if (rc != 0 || length > kWorkBufferSize) return rc;
  void* copy = wfPrtObjNew(length);
  if (!copy) return BCE_ERR_REPLY_TOO_LONG;
  std::memcpy(copy, buffer.bytes, length);
  *data = copy;
  *len = length;
  return 0;
}

namespace {

WFPrtObj* CreatePrtObj(std::uint16_t handle, std::int16_t appId, std::uint32_t printerType) {
  if (printerType != 0 && printerType != 1 && printerType != WFPrtObj::kUnknownType) return nullptr;
  auto* obj = new (std::nothrow) WFPrtObj(handle, printerType, 1);
  if (obj) obj->setBceAppId(appId);
  return obj;
}

}  // namespace

WF_ORDINAL_EXPORTS(WF_ORDINAL(kCreatePrtObjOrdinal, CreatePrtObj));

void InitWFPrtObjDll() {
  wf::fw::joinResourceChain(wf::moduleContaining(reinterpret_cast<const void*>(&InitWFPrtObjDll)));
}
