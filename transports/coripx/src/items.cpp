// NetGetInfo and NetSetInfo: the CorLink nicknames kept in the registry,
// the adapter's own name, its password and what the port record knows.
#include <algorithm>
#include <chrono>
#include <cctype>
#include <cstring>
#include <string>

#include "coripx_transport.h"
#include "npa_packets.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "platform/registry.h"
#include "platform/sync.h"
#include "transports/common/adapter_layout.h"
#include "transports/common/ebcdic.h"
#include "transports/common/net_items.h"

namespace wf::coripx {
namespace {

namespace itemwire = ::wf::adapter::coripx;
using ::wf::net::NETADAPTERINFO;
using ::wf::net::NETADAPTERPARMS;
using ::wf::net::NETADVANCEDSETTINGS;
using ::wf::net::NICKNAMEENTRY;

constexpr std::uint32_t kEventKindIpx = 4;
constexpr std::int32_t kNameInUse = -1135;  // 0xFB91
constexpr std::uint16_t kItemNicknames = 1, kItemAvailable = 2, kItemAddNickname = 3, kItemRemoveNickname = 4,
                        kItemName = 5, kItemParms = 129, kItemAdvanced = 130, kItemPassword = 131, kItemInfo = 135, kItemReset = 136,
                        kItemAddressCheck = 137;
constexpr std::uint32_t kRestartPauseMs = 15'000, kRestartLimitMs = 120'000, kSendMoreEveryMs = 1000;
constexpr std::uint8_t kControlReset = 0x5E, kControlName = 0x3C;
constexpr std::uint32_t kAdvancedSettleMs = 7500;
constexpr std::uint8_t kAdvancedControl = 12, kCorLinkAlwaysOn = 0x01, kProtocolBits = 0x0E;

constexpr std::uint8_t kParmsControlNpa = 0x17, kParmsControlLpa = 0x15, kParmsFeatures = 4, kFeatureFlash = 0x02;
constexpr std::size_t kParmsShortest = 114;
constexpr std::uint16_t kItemFlashBegin = 132, kItemFlashBlock = 133, kItemFlashEnd = 134;
constexpr std::uint8_t kControlProgramMode = 0x4D;
constexpr std::uint32_t kFlashSettleMs = 25'000;
constexpr std::uint8_t kParmsAddress = 0x80, kParmsPortSettings = 0x40, kControlAddress = 0x2B;

std::uint8_t npaModeValue(std::uint8_t npapMode) {
  return npapMode == 1 ? 0 : npapMode == 2 ? 1 : 2;
}  // of the "LPA Parameters2" reply, from its length field

std::uint8_t npapModeOf(std::uint8_t flags) {
  const std::uint8_t mode = (flags & 0x30) == 0 ? 0x01 : (flags & 0x30) == 0x10 ? 0x02 : 0x04;
  return static_cast<std::uint8_t>(mode | (flags & 0x40 ? 0x80 : 0));
}

// "%3d.%3d.%3d" with its spaces as zeros.
void firmwareText(char (&out)[12], const std::uint8_t* v) {
  std::snprintf(out, sizeof out, "%3d.%3d.%3d", v[0], v[1], v[2]);
  std::replace(out, out + std::strlen(out), ' ', '0');
}

// A "Control LPA" request of the port: length byte (counting itself and the
// sub-command), sub-command, data; padded to `size` when shorter.
Bytes controlLpa(const IPXPORT& port, std::uint8_t number, std::uint8_t sub, const std::uint8_t* data,
                 std::size_t n, std::size_t size = 0) {
  Bytes request = headerWith(itemwire::kFnRequest, portFormByte(port), number);
  request.resize(itemwire::kData, 0);
  putTag(request.data() + itemwire::kTag, itemwire::kTagControl);
  request[31] = static_cast<std::uint8_t>(n + 2);
  request[32] = sub;
  request.insert(request.end(), data, data + n);
  if (request.size() < size) request.resize(size, 0);
  return request;
}

void ipBytes(std::uint32_t value, std::uint8_t (&out)[4]) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}
constexpr std::uint32_t kNameWire = 25, kItemReplyRoom = 512;

// With a buffer and length, the length is lowered to the record and that
// much copied; else the callback gets the record.
void deliverRecord(const void* record, std::uint16_t size, void* buffer, std::uint16_t* length, NETITEMPROC proc) {
  if (buffer && length) {
    *length = std::min(*length, size);
    std::memcpy(buffer, record, *length);
  } else if (proc) {
    proc(record, size);
  }
}

// Port items: those that need a port id.
bool isPortItem(std::uint16_t code) {
  return code == kItemName || (code >= 129 && code <= 136);
}

bool sameNameIgnoringCase(const char* a, const std::string& b) {
  const std::size_t n = strnlen(a, 25);
  return n == b.size() && std::equal(b.begin(), b.end(), a, [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

void CorIpx::raiseEvent(std::uint32_t portId, std::uint32_t code, void* data) {
  std::lock_guard g(eventMutex_);
  if (eventProc_) eventProc_(kEventKindIpx, portId, code, data);
}

bool CorIpx::portBusy(IPXPORT& port) {
  waitForObject(port.JobLock, kInfinite);
  const bool busy = port.Captured || port.InJob;
  releaseSemaphore(port.JobLock, 1);
  return busy;
}

std::int32_t CorIpx::getInfo(std::uint16_t id, std::uint16_t code, void* buffer, std::uint16_t* length,
                             NETITEMPROC proc) {
  if (!ensureStarted()) return NET_FAIL;
  log_.write("NetGetinfo called parm = %d", code);
  std::lock_guard g(getInfoMutex_);
  if (code == kItemNicknames || code == kItemAvailable) {
    loadNicknames();
    std::vector<Nickname> names;
    {
      std::lock_guard n(nicknamesMutex_);
      names = nicknames_;
    }
    if (code == kItemNicknames) {
      for (const Nickname& n : names) {
        NICKNAMEENTRY e{};
        std::memcpy(e.Node, n.node.data(), 6);
        e.AdapterClass = n.adapterClass;
        e.PortKind = n.portKind;
        std::memcpy(e.Nickname, n.name.data(), std::min(n.name.size(), sizeof e.Nickname - 1));
        if (proc) proc(&e, sizeof e);
      }
      log_.write("NetGetinfo returning OKAY");
      return NET_OKAY;
    }
    int listed = 0;
    for (std::uint16_t portId = 1; IPXPORT* p = FindPortById(portId); ++portId) {
      NICKNAMEENTRY e{};
      {
        std::lock_guard record(p->recordLock);
        const bool named = std::any_of(names.begin(), names.end(), [&](const Nickname& n) {
          return n.node == p->Node && n.adapterClass == p->AdapterClass && n.portKind == p->PortKind;
        });
        if (named) continue;
        std::memcpy(e.Node, p->Node.data(), 6);
        e.AdapterClass = static_cast<std::uint8_t>(p->AdapterClass);
        e.PortKind = p->PortKind;
        std::memcpy(e.AdapterName, p->Name, sizeof p->Name);
      }
      log_.write("Ipx: Listed avail port of %s;%d\n", e.AdapterName, p->PortId);
      ++listed;
      if (proc) proc(&e, sizeof e);
    }
    log_.write("listed %d adapters", listed);
    return NET_OKAY;
  }
  if (!isPortItem(code)) {
    log_.write("NetGetinfo returning DEVERR_BADCMD");
    return NET_BADCMD;
  }
  IPXPORT* port = FindPortById(id);
  if (!port) {
    log_.write("NetGetinfo returning NET_BADID");
    return NET_BADID;
  }
  if (code == kItemParms) {
    std::optional<NETADAPTERPARMS> parms = port->LpaAdapter ? readLpaParms(*port) : readNpaParms(*port);
    if (!parms) return NET_FAIL;
    deliverRecord(&*parms, sizeof *parms, buffer, length, proc);
    return NET_OKAY;
  }
  if (code == kItemAdvanced) {
    if (port->LpaAdapter) return NET_BADCMD;
    if (buffer && (!length || *length < sizeof(NETADVANCEDSETTINGS))) return NET_FAIL;
    std::optional<NETADVANCEDSETTINGS> settings = readAdvanced(*port);
    if (!settings) return NET_FAIL;
    if (buffer)
      std::memcpy(buffer, &*settings, sizeof *settings);
    else if (proc)
      proc(&*settings, sizeof *settings);
    return NET_OKAY;
  }
  std::lock_guard record(port->recordLock);
  switch (code) {
    case kItemName:
      deliverRecord(port->Name, kNameWire, buffer, length, proc);
      return NET_OKAY;
    case kItemPassword:
      if (port->LpaAdapter) break;
      deliverRecord(port->Password.data(), 8, buffer, length, proc);
      return NET_OKAY;
    case kItemInfo: {
      NETADAPTERINFO info{};
      info.AdapterClass = static_cast<std::uint8_t>(port->AdapterClass);
      // Only the serial port (0x0101) is type 4: parallel port 1 shares a bit with it.
      info.PortType = port->PortKind == 0 ? 1 : port->PortKind == 0x0101 ? 4 : 2;
      info.Media = port->NodeAsIs ? 1 : 2;
      info.Supervisor = 1;
      std::memcpy(info.Node, port->OtherAddress.data(), 6);
      deliverRecord(&info, sizeof info, buffer, length, proc);
      return NET_OKAY;
    }
    default:
      break;
  }
  log_.write("NetGetinfo returning DEVERR_BADCMD");
  return NET_BADCMD;
}

std::int32_t CorIpx::setInfo(std::uint16_t id, std::uint16_t code, const void* buffer, std::uint32_t length) {
  if (!ensureStarted()) return NET_FAIL;
  log_.write("NetSetInfo Parm = %d", code);
  std::lock_guard g(setInfoMutex_);
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  if (code == kItemAddNickname || code == kItemRemoveNickname)
    return setNickname(bytes, length, code == kItemAddNickname);
  if (code == kItemAddressCheck) {
    if (!bytes || length < 6) return NET_FAIL;
    for (std::uint16_t portId = 1; IPXPORT* p = FindPortById(portId); ++portId)
      if (std::equal(p->Node.begin(), p->Node.end(), bytes)) return NET_ADDRESS_KNOWN;
    return NET_ADDRESS_UNKNOWN;
  }
  if (!isPortItem(code)) return NET_BADCMD;
  IPXPORT* port = FindPortById(id);
  if (!port) return NET_BADID;
  if (code == kItemName) return setName(*port, static_cast<const char*>(buffer), length);
  if (code == kItemReset) return resetAdapter(*port);
  if (code == kItemFlashBegin || code == kItemFlashBlock || code == kItemFlashEnd) {
    if (!port->ReplyFlag) return NET_BADID;
    if (code == kItemFlashBegin) return flashBegin(*port, bytes, length);
    if (code == kItemFlashBlock) return flashBlock(*port, bytes, length);
    return flashEnd(*port);
  }
  if (code == kItemParms) {
    if (!bytes || length < sizeof(NETADAPTERPARMS)) return NET_FAIL;
    NETADAPTERPARMS in;
    std::memcpy(&in, bytes, sizeof in);
    return writeParms(*port, in);
  }
  if (code == kItemAdvanced) {
    if (port->LpaAdapter) return NET_BADCMD;
    if (!bytes || length < sizeof(NETADVANCEDSETTINGS)) return NET_FAIL;
    NETADVANCEDSETTINGS in;
    std::memcpy(&in, bytes, sizeof in);
    return writeAdvanced(*port, in);
  }
  if (code == kItemPassword && !port->LpaAdapter) {
    if (!bytes || length < 8) return NET_FAIL;
    if (portBusy(*port)) return NET_FAIL;
    std::array<std::uint8_t, 8> password{};
    std::copy_n(bytes, 8, password.begin());
    const std::uint8_t number = nextPacketNumber(port->RequestNumber);
    Bytes request = headerWith(itemwire::kFnRequest, kindFormByte(*port), number);
    const Bytes npa = buildWrite8(password);
    request.insert(request.end(), npa.begin(), npa.end());
    port->Nibble6 = 1;
    const int sent = SendAcknowledged(*port, request.data(), request.size(), false);
    port->Nibble6 = 0;
    if (sent != 0) return NET_FAIL;
    std::uint8_t reply[kItemReplyRoom];
    std::uint32_t room = sizeof reply, tag = 0;
    if (WaitTaggedReply(*port, reply, room, itemwire::kTagNpa, itemwire::kTagNpa, tag, number) == kReplySilent)
      return NET_FAIL;
    std::lock_guard record(port->recordLock);
    port->Password = password;
    return NET_OKAY;
  }
  return NET_BADCMD;
}

// One NPA request of the port and its "LPA NPA" reply (its length field
// removed); nothing when either failed.
std::optional<Bytes> CorIpx::npaExchange(IPXPORT& port, const Bytes& npa, std::uint32_t settleMs) {
  const std::uint8_t number = nextPacketNumber(port.RequestNumber);
  Bytes request = headerWith(itemwire::kFnRequest, kindFormByte(port), number);
  request.insert(request.end(), npa.begin(), npa.end());
  port.Nibble6 = 1;
  const int sent = SendAcknowledged(port, request.data(), request.size(), false);
  port.Nibble6 = 0;
  if (sent != 0) return std::nullopt;
  if (settleMs) sleepFor(settleMs);
  Bytes reply(kItemReplyRoom);
  std::uint32_t room = static_cast<std::uint32_t>(reply.size()), tag = 0;
  const int r = WaitTaggedReply(port, reply.data(), room, itemwire::kTagNpa, itemwire::kTagNpa, tag, number);
  if (r == kReplySilent || room < 2) return std::nullopt;
  return Bytes(reply.begin() + 2, reply.begin() + room);
}

// NPA family: the enumeration query to the port; its reply's entry of this port.
std::optional<NETADAPTERPARMS> CorIpx::readNpaParms(IPXPORT& port) {
  const auto reply = npaExchange(port, buildEnumerationQuery(), 0);
  const auto items = reply ? readVariableReply(*reply) : std::nullopt;
  if (!items) {
    log_.write(reply ? "NetGet No Data" : "NetGetInfo - Config Adapter no Ack");
    return std::nullopt;
  }
  const EnumerationReply e = decodeEnumerationReply(*items);
  if (e.adapter.empty) return std::nullopt;
  const bool serialPort = port.PortKind == 0x0101;
  const PORTENTRY* mine = nullptr;
  bool anySerial = false;
  for (const PORTENTRY& p : e.ports) {
    const bool own = p.type == 0x40;
    anySerial = anySerial || (own && p.present);
    if (serialPort ? own : p.type == (0x80 | port.PortNumber)) mine = &p;
  }
  if (!mine) return std::nullopt;
  NETADAPTERPARMS r{};
  r.Control = kParmsControlNpa;
  r.AdapterClass = anySerial ? 4 : 2;
  r.PortType = serialPort ? 4 : 2;
  r.Media = e.adapter.typeNibble == 1 ? 1 : 2;
  r.Features = static_cast<std::uint8_t>(kParmsFeatures | (e.adapter.typeByte & 0x40 ? kFeatureFlash : 0));
  r.NpapMode = npapModeOf(mine->flags);
  std::copy(e.adapter.node.begin(), e.adapter.node.end(), r.Address);
  std::copy(e.adapter.otherAddress.begin(), e.adapter.otherAddress.end(), r.UniversalAddress);
  std::uint8_t firmware[3] = {};
  std::copy_n(e.adapter.firmware.begin(), std::min<std::size_t>(3, e.adapter.firmware.size()), firmware);
  firmwareText(r.Firmware, firmware);
  std::copy_n(e.adapter.product.begin(), std::min(e.adapter.product.size(), sizeof r.ProductId - 1), r.ProductId);
  std::copy_n(e.adapter.model.begin(), std::min(e.adapter.model.size(), sizeof r.ModelId - 1), r.ModelId);
  if (serialPort) {
    r.SerialVar3 = mine->words[0];
    r.SerialVar4 = mine->words[1];
    r.SerialVar5 = mine->words[2];
    r.SerialVar6 = mine->words[3];
    std::uint8_t* bytes[] = {&r.SerialVar7,  &r.SerialVar8,  &r.SerialVar9,  &r.SerialVar10,
                             &r.SerialVar11, &r.SerialVar12, &r.SerialVar13, &r.SerialVar14};
    for (std::size_t i = 0; i < 8; ++i) *bytes[i] = mine->bytes[i];
  } else {
    r.ParallelVar3 = mine->words[0];
    r.ParallelVar4 = mine->words[1];
    r.ParallelVar5 = mine->bytes[0];
    r.ParallelVar6 = mine->bytes[1];
  }
  std::lock_guard record(port.recordLock);
  port.OtherAddress = e.adapter.otherAddress;
  if (e.adapter.password.size() >= port.Password.size())
    std::copy_n(e.adapter.password.begin(), port.Password.size(), port.Password.begin());
  return r;
}

// LpaAdapter family: the short query to the port at socket 0x861E, whose
// reply comes from there too.
std::optional<NETADAPTERPARMS> CorIpx::readLpaParms(IPXPORT& port) {
  namespace p2 = itemwire::params2;
  const std::uint8_t number = nextPacketNumber(port.RequestNumber);
  Bytes query = shortQuery(number);
  query[itemwire::kPort] = portFormByte(port);
  Bytes reply(kItemReplyRoom);
  std::uint32_t room = 0, status = 0;
  int r = kReplySilent;
  {
    port.Address.socket = itemwire::kQuerySocket;
    if (SendAcknowledged(port, query.data(), query.size(), false) != 0) {
      log_.write("No ack on config adapter");
    } else {
      for (int attempt = 0; attempt < 2 && r != kReplyDone; ++attempt) {
        if (attempt) log_.write("Attempt #2 to read data");
        room = static_cast<std::uint32_t>(reply.size());
        r = WaitParametersReply(port, reply.data(), room, status, number);
      }
    }
    port.Address.socket = itemwire::kDataSocket;
  }
  if (r != kReplyDone || status != 1 || room < kParmsShortest) {
    log_.write("NetGet no Data in GetConfigAdapter");
    return std::nullopt;
  }
  // Offsets of the datagram, less the short form's length field offset.
  auto at = [&](std::size_t datagramOffset) { return reply.data() + datagramOffset - itemwire::kShortLength; };
  const std::string model =
      ::wf::adapter::ebcdicText(at(p2::kModelTag), p2::kModelTagSize, ::wf::adapter::EbcdicTable::IpxModelTag);
  NETADAPTERPARMS out{};
  out.Control = kParmsControlLpa;
  out.AdapterClass = model == p2::kClass16Tag ? 16 : 1;
  out.PortType = 1;
  const std::uint8_t media = *at(p2::kMedia);
  out.Media = media & p2::kMediaAsIs ? 1 : 2;
  out.Features = static_cast<std::uint8_t>(kParmsFeatures | (media & 0x40 ? kFeatureFlash : 0));
  out.NpapMode = npapModeOf(*at(p2::kReplySize - 1));
  std::memcpy(out.Address, at(p2::kNode), 6);
  std::memcpy(out.UniversalAddress, at(p2::kOtherAddress), 6);
  firmwareText(out.Firmware, at(p2::kFirmware));
  std::string product;
  for (std::size_t i = 0; i < 7; ++i) product += std::to_string(at(p2::kProduct)[i] % 16);
  std::memcpy(out.ProductId, product.data(), std::min(product.size(), sizeof out.ProductId - 1));
  std::memcpy(out.ModelId, model.data(), std::min(model.size(), sizeof out.ModelId - 1));
  return out;
}

std::optional<NETADVANCEDSETTINGS> CorIpx::readAdvanced(IPXPORT& port) {
  const auto reply = npaExchange(port, buildReadSettings(), 0);
  const auto items = reply ? readVariableReply(*reply) : std::nullopt;
  const auto settings = items ? decodeSettings(*items) : std::nullopt;
  if (!settings) return std::nullopt;
  NETADVANCEDSETTINGS out{};
  out.Control = kAdvancedControl;
  out.ProtocolsActive = static_cast<std::uint8_t>(settings->enabled | kCorLinkAlwaysOn);
  out.ProtocolsEnabled = static_cast<std::uint8_t>(settings->set | kCorLinkAlwaysOn);
  out.EndOfJobTimeout = settings->value0604;
  ipBytes(settings->w1, out.IpAddress);
  ipBytes(settings->w2, out.IpNetmask);
  ipBytes(settings->w3, out.IpGateway);
  std::memcpy(out.ContactName, settings->text1.data(), sizeof out.ContactName - 1);
  std::memcpy(out.Location, settings->text2.data(), sizeof out.Location - 1);
  return out;
}

std::int32_t CorIpx::writeAdvanced(IPXPORT& port, const NETADVANCEDSETTINGS& in) {
  if (portBusy(port)) return NET_FAIL;
  SettingsWrite w;
  w.w1 = loadBe32(in.IpAddress);
  w.w2 = loadBe32(in.IpNetmask);
  w.w3 = loadBe32(in.IpGateway);
  std::memcpy(w.text1.data(), in.ContactName, sizeof in.ContactName);
  std::memcpy(w.text2.data(), in.Location, sizeof in.Location);
  w.text1.back() = w.text2.back() = 0;
  w.value0604 = in.EndOfJobTimeout;
  w.flags = in.ProtocolsEnabled & kProtocolBits;
  return npaExchange(port, buildWriteSettings(w), kAdvancedSettleMs) ? NET_OKAY : NET_FAIL;
}

// "Control LPA" program mode (1) or print mode (0), numbered from DataNumber.
bool CorIpx::programMode(IPXPORT& port, bool on) {
  const std::uint8_t number = nextPacketNumber(port.DataNumber), mode = on ? 1 : 0;
  Bytes request = controlLpa(port, number, kControlProgramMode, &mode, 1);
  const int sent = SendAcknowledged(port, request.data(), request.size(), false);
  if (!on) log_.write("NetSet DoWatForAck(PrintMode) on Finish Flash  = %d", sent);
  if (sent != 0) return false;
  std::uint8_t reply[kItemReplyRoom];
  std::uint32_t room = sizeof reply, tag = 0;
  const int r = WaitTaggedReply(port, reply, room, itemwire::kTagControlAccept, itemwire::kTagControlReject, tag,
                                number);
  if (!on) log_.write("NetSet DoWatForData on Finish Flash  = %d", r);
  return r != kReplySilent && tag == 1;
}

std::int32_t CorIpx::flashBegin(IPXPORT& port, const std::uint8_t* record, std::uint32_t length) {
  if (!record || length < 6) return NET_FAIL;
  if (portBusy(port) || CapturePort(port, true) != 0) return NET_FAIL;
  Bytes begin = headerWith(itemwire::kFnOpenJob, portFormByte(port), 0);
  begin.insert(begin.end(), record, record + 6);
  if (programMode(port, true)) {
    begin[itemwire::kNumber] = nextPacketNumber(port.DataNumber);
    if (SendAcknowledged(port, begin.data(), begin.size(), true) == 0) return NET_OKAY;
  }
  CapturePort(port, false);
  return NET_FAIL;
}

std::int32_t CorIpx::flashBlock(IPXPORT& port, const std::uint8_t* block, std::uint32_t length) {
  if (!block || length < 2 || length + 8 > maxPacket()) return NET_FAIL;
  Bytes packet = headerWith(itemwire::kFnJobData, portFormByte(port), nextPacketNumber(port.DataNumber));
  packet.insert(packet.end(), block + 2, block + length);
  if (SendAcknowledged(port, packet.data(), packet.size(), true) == 0) return NET_OKAY;
  CapturePort(port, false);
  return NET_FAIL;
}

std::int32_t CorIpx::flashEnd(IPXPORT& port) {
  programMode(port, false);
  Bytes clear = headerWith(itemwire::kFnEndJob, portFormByte(port), nextPacketNumber(port.DataNumber));
  log_.write("NetSet DoWatForAck(ClearBuffer) on Finish Flash  = %d",
             SendAcknowledged(port, clear.data(), clear.size(), true));
  // The download capture ends with the flash, or the port stays busy.
  port.Captured = 0;
  const auto began = std::chrono::steady_clock::now();
  const bool back = waitForRestart(port, kFlashSettleMs);
  log_.write("After waiting for timeout/response:  bNoAnswer=%lx, GetTicCount()-dwt=%ld", back ? 0L : 1L,
             static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now() - began)
                                   .count()));
  if (!back) return NET_FAIL;
  raiseEvent(port.PortId, NETEVENT_RESYNC, nullptr);
  log_.write("Net Set Done with flash");
  return NET_OKAY;
}

// Another adapter already at `node`.
bool CorIpx::nodeTakenElsewhere(const IPXPORT& port, const Node& node) {
  for (std::uint16_t portId = 1; IPXPORT* p = FindPortById(portId); ++portId)
    if (p->Node != port.Node && p->Node == node) return true;
  return false;
}

std::int32_t CorIpx::writeParms(IPXPORT& port, const NETADAPTERPARMS& in) {
  const bool address = in.Control & kParmsAddress, settings = in.Control & kParmsPortSettings;
  Node node{};
  std::copy_n(in.Address, 6, node.begin());
  if (port.LpaAdapter) {
    if (!address) return NET_BADCMD;
    if (portBusy(port) || nodeTakenElsewhere(port, node)) return NET_FAIL;
    const std::uint8_t number = nextPacketNumber(port.RequestNumber);
    const std::uint8_t item[7] = {node[0], node[1], node[2], node[3], node[4], node[5], 1};
    Bytes request = controlLpa(port, number, kControlAddress, item, sizeof item);
    if (SendAcknowledged(port, request.data(), request.size(), false) != 0) return NET_FAIL;
    std::uint8_t reply[kItemReplyRoom];
    std::uint32_t room = sizeof reply, tag = 0;
    const bool accepted = WaitTaggedReply(port, reply, room, itemwire::kTagControlAccept,
                                          itemwire::kTagControlReject, tag, number) != kReplySilent &&
                          tag == 1;
    return moveAdapter(port, node) && accepted ? NET_OKAY : NET_FAIL;
  }
  if (settings) {
    if (portBusy(port)) return NET_FAIL;
    const std::uint8_t mode = npaModeValue(in.NpapMode);
    const Bytes npa = port.PortKind == 0x0101
                          ? buildWriteOwnPort(in.SerialVar6, in.SerialVar8, in.SerialVar10, in.SerialVar12,
                                              in.SerialVar14, in.SerialVar4, mode)
                          : buildWritePort(static_cast<std::uint8_t>(0x80 | port.PortNumber), in.ParallelVar6,
                                           in.ParallelVar4, mode);
    if (!npaExchange(port, npa, 0)) return NET_FAIL;
  }
  if (!address) return NET_OKAY;
  if (portBusy(port) || nodeTakenElsewhere(port, node)) return NET_FAIL;
  const std::uint32_t high = static_cast<std::uint32_t>(node[0]) << 24 | node[1] << 16 | node[2] << 8 | node[3];
  const auto low = static_cast<std::uint16_t>(node[4] << 8 | node[5]);
  if (!npaExchange(port, buildWriteAddress('1', high, low), 0)) return NET_FAIL;
  return moveAdapter(port, node) ? NET_OKAY : NET_FAIL;
}

// Every port of the adapter follows it to `node`: the records, a nickname's
// registry entry, then the wait for the adapter's return and 104 for each.
bool CorIpx::moveAdapter(IPXPORT& port, const Node& node) {
  const Node old = port.Node;
  std::vector<IPXPORT*> moved;
  for (std::uint16_t portId = 1; IPXPORT* p = FindPortById(portId); ++portId)
    if (p->Node == old) moved.push_back(p);
  for (IPXPORT* p : moved) {
    std::lock_guard record(p->recordLock);
    p->Node = node;
    p->Address.node = node;
  }
  loadNicknames();
  std::vector<Nickname> names;
  {
    std::lock_guard n(nicknamesMutex_);
    names = nicknames_;
  }
  for (IPXPORT* p : moved) {
    const auto named = std::find_if(names.begin(), names.end(), [&](const Nickname& n) {
      return n.node == old && n.adapterClass == p->AdapterClass && n.portKind == p->PortKind;
    });
    if (named == names.end()) continue;
    NETADDRESS address{};
    getSpecificAddr(p->PortId, &address);
    HKEY key = nullptr;
    const std::string path = std::string(kSettingsKey) + "\\" + named->name;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) continue;
    RegSetValueExA(key, "Address", 0, REG_BINARY, node.data(), 6);
    RegSetValueExA(key, "NetAddress", 0, REG_BINARY,
                   reinterpret_cast<const std::uint8_t*>(&address) + NETADDRESS_IPX_ADDRESS, 14);
    RegCloseKey(key);
    log_.write("Updated Logical Port information in registry");
  }
  loadNicknames();
  if (!waitForRestart(port, kRestartPauseMs)) return false;
  for (IPXPORT* p : moved) {
    Node event = node;
    raiseEvent(p->PortId, NETEVENT_ADDRESS_CHANGED, event.data());
  }
  return true;
}

// Waits for a restarting adapter: a pause, then the send-more request once a
// second until it is acknowledged; false after two minutes.
bool CorIpx::waitForRestart(IPXPORT& port, std::uint32_t pauseMs) {
  sleepFor(pauseMs);
  const auto limit = deadlineAfter(kRestartLimitMs);
  while (std::chrono::steady_clock::now() < limit) {
    Bytes request = sendMoreRequest(port, nextPacketNumber(port.RequestNumber));
    if (SendAcknowledged(port, request.data(), request.size(), false) == 0) return true;
    sleepFor(kSendMoreEveryMs);
  }
  return false;
}

std::int32_t CorIpx::resetAdapter(IPXPORT& port) {
  if (portBusy(port)) return NET_FAIL;
  const std::uint8_t number = nextPacketNumber(port.RequestNumber);
  Bytes request;
  if (!port.LpaAdapter) {
    request = headerWith(itemwire::kFnRequest, kindFormByte(port), number);
    const Bytes npa = buildWriteReset();
    request.insert(request.end(), npa.begin(), npa.end());
  } else {
    request = controlLpa(port, number, kControlReset, nullptr, 0, 40);
  }
  port.Nibble6 = port.LpaAdapter ? 0 : 1;
  const int sent = SendAcknowledged(port, request.data(), request.size(), false);
  port.Nibble6 = 0;
  if (sent != 0 || !waitForRestart(port, kRestartPauseMs)) return NET_FAIL;
  raiseEvent(port.PortId, NETEVENT_RESYNC, nullptr);
  return NET_OKAY;
}

std::int32_t CorIpx::setNickname(const std::uint8_t* record, std::uint32_t length, bool add) {
  if (!record || length < sizeof(NICKNAMEENTRY)) return NET_FAIL;
  NICKNAMEENTRY e;
  std::memcpy(&e, record, sizeof e);
  const void* end = std::memchr(e.Nickname, 0, sizeof e.Nickname);
  if (!end || e.Nickname[0] == 0 || std::strchr(e.Nickname, '\\')) return NET_FAIL;
  const std::string nickname = e.Nickname;
  IPXPORT* port = nullptr;
  for (std::uint16_t portId = 1; IPXPORT* p = FindPortById(portId); ++portId)
    if (std::equal(p->Node.begin(), p->Node.end(), e.Node) && p->AdapterClass == e.AdapterClass &&
        p->PortKind == e.PortKind)
      port = p;
  if (!port) return NET_FAIL;
  const std::string path = std::string(kSettingsKey) + "\\" + nickname;
  if (add) {
    NETADDRESS address{};
    if (getSpecificAddr(port->PortId, &address) != 0) return NET_FAIL;
    const auto* a = reinterpret_cast<const std::uint8_t*>(&address);
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
      return NET_FAIL;
    const std::uint8_t adapterType = e.AdapterClass;
    const std::uint16_t portType = e.PortKind;
    const bool written =
        RegSetValueExA(key, "Address", 0, REG_BINARY, e.Node, 6) == ERROR_SUCCESS &&
        RegSetValueExA(key, "AdapterType", 0, REG_BINARY, &adapterType, 1) == ERROR_SUCCESS &&
        RegSetValueExA(key, "PortType", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&portType), 2) ==
            ERROR_SUCCESS &&
        RegSetValueExA(key, "NetAddress", 0, REG_BINARY, a + NETADDRESS_IPX_ADDRESS, 14) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (!written) return NET_FAIL;
  } else if (RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str()) != ERROR_SUCCESS) {
    return NET_FAIL;
  }
  loadNicknames();
  std::lock_guard held(port->recordLock);
  findNickname(*port);
  return NET_OKAY;
}

std::int32_t CorIpx::setName(IPXPORT& port, const char* name, std::uint32_t length) {
  if (!name || length < kNameWire) return NET_FAIL;
  const std::string wanted(name, strnlen(name, kNameWire - 1));
  for (std::uint16_t portId = 1; IPXPORT* p = FindPortById(portId); ++portId) {
    std::lock_guard record(p->recordLock);
    if (sameNameIgnoringCase(p->Name, wanted)) return kNameInUse;
  }
  if (portBusy(port)) return NET_FAIL;
  char wire[kNameWire] = {};
  std::memcpy(wire, wanted.data(), wanted.size());
  const std::uint8_t number = nextPacketNumber(port.RequestNumber);
  std::uint8_t reply[kItemReplyRoom];
  std::uint32_t room = sizeof reply, tag = 0;
  bool accepted = true;
  if (!port.LpaAdapter) {
    Bytes request = headerWith(itemwire::kFnRequest, kindFormByte(port), number);
    const Bytes npa = buildWriteName(std::string_view(wire, kNameWire));
    request.insert(request.end(), npa.begin(), npa.end());
    port.Nibble6 = 1;
    const int sent = SendAcknowledged(port, request.data(), request.size(), false);
    port.Nibble6 = 0;
    if (sent != 0) return NET_FAIL;
    WaitTaggedReply(port, reply, room, itemwire::kTagNpa, itemwire::kTagNpa, tag, number);
  } else {
    Bytes request = controlLpa(port, number, kControlName, reinterpret_cast<const std::uint8_t*>(wire), kNameWire);
    log_.write("Ipx:Nickname packet = %x\n", request[32]);
    if (SendAcknowledged(port, request.data(), request.size(), false) != 0) return NET_FAIL;
    accepted = WaitTaggedReply(port, reply, room, itemwire::kTagControlAccept, itemwire::kTagControlReject, tag,
                               number) != kReplySilent &&
               tag == 1;
  }
  std::string stored = wanted;
  if (stored.empty()) {
    static const char kHex[] = "0123456789abcdef";
    for (const std::uint8_t b : port.Node) stored += {kHex[b >> 4], kHex[b & 0x0F]};
  }
  // The name is the adapter's: every port of it takes it.
  std::vector<IPXPORT*> renamed = {&port};
  if (!port.LpaAdapter)
    for (std::uint16_t portId = 1; IPXPORT* p = FindPortById(portId); ++portId)
      if (p != &port && p->Node == port.Node) renamed.push_back(p);
  for (IPXPORT* p : renamed) {
    char event[80] = {};
    {
      std::lock_guard record(p->recordLock);
      std::memset(p->Name, 0, sizeof p->Name);
      std::memcpy(p->Name, stored.data(), std::min(stored.size(), sizeof p->Name - 1));
      std::memcpy(event, p->Name, sizeof p->Name);
    }
    raiseEvent(p->PortId, NETEVENT_RENAMED, event);
  }
  return accepted ? NET_OKAY : NET_FAIL;
}

}  // namespace wf::coripx
