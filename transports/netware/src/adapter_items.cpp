// Information items 129 to 137: an adapter's own settings, its firmware and
// its reset, carried as NPA variables (multi-port adapters) or text
// commands (single-port and 7390 adapters).
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "netware_transport.h"
#include "nw_log.h"
#include "platform/byte_codec.h"
#include "transports/common/ebcdic.h"
#include "transports/common/net_items.h"

namespace wf::netware {

namespace kestrel = ::wf::adapter::kestrel;
namespace wire = ::wf::adapter;
using wf::net::kAdvancedSupervisor;
using wf::net::kClass7390;
using wf::net::kClassMultiPort;
using wf::net::kClassMultiPortSerial;
using wf::net::kClassSinglePort;
using wf::net::kClassSinglePortRuVa1;
using wf::net::kControlChangeAddress;
using wf::net::kControlSupervisor;
using wf::net::kFlashSegment;
using wf::net::kItemAdapterInfo;
using wf::net::kItemAdapterParms;
using wf::net::kItemAddressCheck;
using wf::net::kItemAdvanced;
using wf::net::kItemFlashBegin;
using wf::net::kItemFlashBlock;
using wf::net::kItemFlashEnd;
using wf::net::kItemPassword;
using wf::net::kItemReset;
using wf::net::kMediaEthernet;
using wf::net::kMediaTokenRing;
using wf::net::kPortTypeParallel;
using wf::net::kPortTypeSerial;
using wf::net::kPortTypeSingle;
using wf::net::NETADAPTERINFO;
using wf::net::NETADAPTERPARMS;
using wf::net::NETADVANCEDSETTINGS;
using wf::net::NETFLASHBEGIN;
using wf::net::NETFLASHBLOCK;
using wf::net::NETPASSWORD;

namespace {

IpxAddress at(const AdapterView& a, std::uint16_t socket) {
  IpxAddress address;
  address.network = a.network;
  address.node = a.ipxNode;
  address.socket = socket;
  return address;
}

bool allZero(const Node& n) {
  return std::all_of(n.begin(), n.end(), [](std::uint8_t b) { return b == 0; });
}

std::uint8_t portGroup(const AdapterView::Port& p) {
  return p.number == 0 ? wire::var::kSerialGroup : static_cast<std::uint8_t>(128 + p.number);
}

bool isSerial(AdapterKind kind, const AdapterView::Port& p) {
  return kind == AdapterKind::MultiPort ? p.number == 0 : (p.kind & 0xF0) == kestrel::kKindSerial7390;
}

std::uint8_t portType(const AdapterView& a, const AdapterView::Port& p) {
  if (a.adapterKind == AdapterKind::SinglePort) return kPortTypeSingle;
  return isSerial(a.adapterKind, p) ? kPortTypeSerial : kPortTypeParallel;
}

std::uint8_t adapterClass(const AdapterView& a) {
  switch (a.adapterKind) {
    case AdapterKind::MultiPort:
      return a.serialPort ? kClassMultiPortSerial : kClassMultiPort;
    case AdapterKind::External7390:
      return kClass7390;
    case AdapterKind::SinglePort:
      break;
  }
  return a.ruVa1 ? kClassSinglePortRuVa1 : kClassSinglePort;
}

std::uint8_t callerMedia(const AdapterView& a) {
  return a.media == kMediaEthernet ? kMediaEthernet : kMediaTokenRing;
}

std::uint16_t be16At(const Bytes& b, std::size_t offset) {
  return offset + 2 <= b.size() ? loadBe16(b.data() + offset) : 0;
}

// A variable's value as read, zero-padded to `n` bytes.
Bytes valueOf(const wire::VariableReply& reply, std::uint8_t group, std::uint8_t variable, std::size_t n) {
  Bytes out(n, 0);
  wire::fetchValue(reply, group, variable, out);
  return out;
}

std::uint16_t wordOf(const wire::VariableReply& reply, std::uint8_t group, std::uint8_t variable) {
  return loadBe16(valueOf(reply, group, variable, 2).data());
}

void copyText(char* out, std::size_t size, const std::string& text) {
  std::snprintf(out, size, "%s", text.c_str());
}

void putWord(Bytes& b, std::size_t at, std::uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2, 0);
  storeBe16(b.data() + at, v);
}

std::uint8_t npapModeOf(std::uint8_t var11) {
  std::uint8_t mode = var11 & 0x20 ? 0x01 : var11 & 0x10 ? 0x02 : var11 & 0x08 ? 0x04 : 0;
  if (var11 & 0x40) mode |= 0x80;
  return mode;
}

// The var 11.<port> value for a caller's mode; none when no mode bit is set.
std::optional<std::uint8_t> var11Of(std::uint8_t npapMode) {
  if (npapMode & 0x02) return 0x10;
  if (npapMode & 0x01) return 0x20;
  if (npapMode & 0x04) return 0x08;
  return std::nullopt;
}

// The 7390 port block whose kind matches the asked port.
const wire::PortBlock* blockOfKind(const wire::KestrelParameters& k, std::uint8_t kind) {
  for (const wire::PortBlock& b : k.ports)
    if ((b.kind() & 0xF0) == (kind & 0xF0)) return &b;
  return nullptr;
}

}  // namespace

// ---- Exchanges ------------------------------------------------------------------------------

namespace {

// One request and its reply into `buffer`, cut to the bytes received.
int exchange(const IpxAddress& to, const Bytes& request, std::uint32_t timeoutMs, bool npa, Bytes& buffer) {
  std::uint32_t length = static_cast<std::uint32_t>(buffer.size());
  ExchangeRequest r;
  r.to = to;
  r.request = request;
  r.reply = buffer.data();
  r.replyLength = &length;
  r.timeoutMs = timeoutMs;
  r.npa = npa;
  const int rc = sendToTheBox(r);
  buffer.resize(rc == NET_OKAY ? length : 0);
  return rc;
}

}  // namespace

int NetWareTransport::variableExchange(const AdapterView& a, const Bytes& packet, std::uint32_t timeoutMs,
                                       std::size_t capacity, std::optional<wire::VariableReply>* out) {
  Bytes reply(capacity);
  if (const int rc = exchange(at(a, wire::kVariableSocket), packet, timeoutMs, true, reply)) return rc;
  *out = wire::readVariableReply(reply);
  if (!*out) return NET_READFAIL;
  return (*out)->result() ? NET_FAIL : NET_OKAY;
}

int NetWareTransport::textExchange(const AdapterView& a, const Bytes& command, std::uint32_t timeoutMs,
                                   Bytes* reply, std::size_t capacity) {
  Bytes buffer(capacity);
  const int rc = exchange(at(a, wire::kCommandSocket), command, timeoutMs, false, buffer);
  if (reply) *reply = std::move(buffer);
  return rc;
}

// "Query LPA Parameters" to a text-command adapter, its reply read.
int NetWareTransport::queryKestrel(const AdapterView& a, std::optional<wire::KestrelParameters>& out) {
  Bytes reply;
  if (const int rc =
          textExchange(a, wire::textCommand(wire::kTagQueryParameters), wire::kQueryTimeout, &reply))
    return rc;
  out = wire::readKestrelParameters(reply);
  return out && !out->ports.empty() ? NET_OKAY : NET_READFAIL;
}

int NetWareTransport::writeVariables(const AdapterView& a, const wire::VariableWrite& w) {
  std::optional<wire::VariableReply> reply;
  return variableExchange(a, w.packet(), wire::variableWriteTimeout(w.entries()), wire::kReplyBuffer, &reply);
}

void NetWareTransport::raiseForEveryPort(const AdapterView& a, std::uint32_t code, void* data) {
  const NETEVENTPROC events = events_.load();
  if (!events) return;
  for (const AdapterView::Port& p : a.ports) events(BCE_NET_NETWARE, p.id, code, data);
}

// ---- Item 129 -----------------------------------------------------------------------------

std::int32_t NetWareTransport::getAdapterParms(const AdapterView& a, const AdapterView::Port& port,
                                               NETADAPTERPARMS& out) {
  NETADAPTERPARMS r{};
  r.Control = supervisor_.load() ? kControlSupervisor : 0;
  r.AdapterClass = adapterClass(a);
  r.PortType = portType(a, port);
  const bool serial = isSerial(a.adapterKind, port);
  if (a.adapterKind == AdapterKind::MultiPort) {
    const std::uint8_t group = portGroup(port);
    wire::VariableRead read;
    read.add(6, wire::var::kMedia)
        .add(wire::var::kNpaModeGroup, static_cast<std::uint8_t>(port.number))
        .add(6, wire::var::kFirmware)
        .add(6, wire::var::kProduct)
        .add(6, wire::var::kModel)
        .add(6, wire::var::kUniversalAddress);
    if (serial)
      read.add(group, wire::kWholeGroup);
    else
      read.add(group, 5).add(group, 6).add(group, 3).add(group, 4);
    std::optional<wire::VariableReply> v;
    if (const int rc = variableExchange(a, read.packet(), wire::kSettingsTimeout,
                                        serial ? wire::kLongReplyBuffer : wire::kReplyBuffer, &v))
      return rc;
    r.Media = valueOf(*v, 6, wire::var::kMedia, 1)[0];
    r.NpapMode =
        npapModeOf(valueOf(*v, wire::var::kNpaModeGroup, static_cast<std::uint8_t>(port.number), 1)[0]);
    r.Features = 6;
    const Node address = a.canonicalAddress();
    std::copy(address.begin(), address.end(), r.Address);
    Node universal{};
    wire::fetchValue(*v, 6, wire::var::kUniversalAddress, universal);
    universal = swapBitOrder(universal, r.Media);
    std::copy(universal.begin(), universal.end(), r.UniversalAddress);
    const Bytes firmware = valueOf(*v, 6, wire::var::kFirmware, 3);
    std::snprintf(r.Firmware, sizeof r.Firmware, "%hu.%hu.%hu", static_cast<unsigned short>(firmware[0]),
                  static_cast<unsigned short>(firmware[1]), static_cast<unsigned short>(firmware[2]));
    const Bytes product = valueOf(*v, 6, wire::var::kProduct, 7),
                model = valueOf(*v, 6, wire::var::kModel, 7);
    std::memcpy(r.ProductId, product.data(), 7);
    std::memcpy(r.ModelId, model.data(), 7);
    if (serial) {
      const std::uint8_t s = wire::var::kSerialGroup;
      r.SerialVar5 = wordOf(*v, s, 5);
      r.SerialVar6 = wordOf(*v, s, 6);
      std::uint8_t* bytes[] = {&r.SerialVar7,  &r.SerialVar8,  &r.SerialVar9,  &r.SerialVar10,
                               &r.SerialVar11, &r.SerialVar12, &r.SerialVar13, &r.SerialVar14};
      for (std::uint8_t i = 0; i < 8; ++i) *bytes[i] = valueOf(*v, s, static_cast<std::uint8_t>(7 + i), 1)[0];
      r.SerialVar3 = wordOf(*v, s, 3);
      r.SerialVar4 = wordOf(*v, s, 4);
    } else {
      r.ParallelVar5 = valueOf(*v, group, 5, 1)[0];
      r.ParallelVar6 = valueOf(*v, group, 6, 1)[0];
      r.ParallelVar3 = wordOf(*v, group, 3);
      r.ParallelVar4 = wordOf(*v, group, 4);
    }
    out = r;
    return NET_OKAY;
  }

  std::optional<wire::KestrelParameters> k;
  if (const int rc = queryKestrel(a, k)) return rc;
  const auto& b = k->block;
  r.Media = (b[kestrel::kMedia] & 0x0F) == kMediaEthernet ? kMediaEthernet : kMediaTokenRing;
  r.Features = static_cast<std::uint8_t>((b[kestrel::kMedia] & 0x80 ? 0 : 0x01) |
                                         (a.adapterKind == AdapterKind::SinglePort ? 0x02 : 0));
  Node address{};
  std::copy_n(b.begin() + kestrel::kAddress, 6, address.begin());
  if (a.adapterKind == AdapterKind::SinglePort) {
    // The reply must come from the adapter whose block this is.
    if (k->ports.empty() || !k->identity || k->identity->node != address) {
      out.Control = r.Control;
      out.AdapterClass = r.AdapterClass;
      out.PortType = r.PortType;
      out.Media = r.Media;
      return NET_BADCMD;
    }
    r.NpapMode = k->ports.front().byte(kestrel::kSingleFlags) & 0x80 ? 0x82 : 0x01;
    std::copy(a.ipxNode.begin(), a.ipxNode.end(), r.UniversalAddress);
    std::snprintf(r.Firmware, sizeof r.Firmware, "%02d.%02d.%02d", b[kestrel::kVersion],
                  b[kestrel::kVersion + 1], b[kestrel::kVersion + 2]);
    copyText(r.ProductId, sizeof r.ProductId, wire::ebcdicText(b.data() + kestrel::kProduct, 7));
    copyText(r.ModelId, sizeof r.ModelId, wire::ebcdicText(b.data() + kestrel::kModelTag, 7));
  } else {
    r.NpapMode = 0x01;
    std::string firmware = wire::ebcdicText(b.data() + kestrel::kLevel, 3);
    if (!(b[kestrel::kMedia] & 0x80)) firmware += b[kestrel::kFirmwareFlag] == 17 ? ".01" : ".03";
    copyText(r.Firmware, sizeof r.Firmware, firmware);
    copyText(r.ModelId, sizeof r.ModelId,
             wire::ebcdicText(b.data() + kestrel::kMachineType, 4) + "-" +
                 wire::ebcdicText(b.data() + kestrel::kModel, 3));
    if (const wire::PortBlock* pb = blockOfKind(*k, port.kind)) {
      if (serial) {
        r.SerialVar5 = pb->word(kestrel::kSerialVar5);
        r.SerialVar6 = pb->word(kestrel::kSerialVar6);
        std::uint8_t* bytes[] = {&r.SerialVar7,  &r.SerialVar8,  &r.SerialVar9,  &r.SerialVar10,
                                 &r.SerialVar11, &r.SerialVar12, &r.SerialVar13, &r.SerialVar14};
        for (std::size_t i = 0; i < 8; ++i) *bytes[i] = pb->byte(kestrel::kSerialVar7 + i);
        r.SerialVar3 = pb->word(kestrel::kSerialVar3);
        r.SerialVar4 = pb->word(kestrel::kSerialVar4);
      } else {
        r.ParallelVar5 = pb->byte(kestrel::kParallelVar5);
        r.ParallelVar6 = pb->byte(kestrel::kParallelVar6);
        r.ParallelVar3 = pb->word(kestrel::kParallelVar3);
        r.ParallelVar4 = pb->word(kestrel::kParallelVar4);
      }
    }
  }
  address = swapBitOrder(address, b[kestrel::kMedia] & 0x0F);
  std::copy(address.begin(), address.end(), r.Address);
  out = r;
  return NET_OKAY;
}

// After an address change: the adapter back at `node` within the reset wait
// is recorded there, re-read, and every port told its new (canonical)
// address. One that does not come back answers 1, its record unchanged.
std::int32_t NetWareTransport::followMove(const AdapterView& a, const Node& node) {
  if (!waitForReset(a.network, node, wire::kResetLimit)) return NET_FAIL;
  table_.moveAdapter(a.network, a.ipxNode, node);
  queryAdapter(a.network, node, nullptr, nullptr);
  const auto moved = table_.adapterOf(a.ports.front().id);
  Node address = moved ? moved->canonicalAddress() : node;
  raiseForEveryPort(a, NETEVENT_ADDRESS_CHANGED, address.data());
  return NET_OKAY;
}

std::int32_t NetWareTransport::setAdapterParms(const AdapterView& a, const AdapterView::Port& port,
                                               const NETADAPTERPARMS& in) {
  if (a.anyBusy()) return NET_NW_ADAPTER_BUSY;
  const bool changeAddress = in.Control & kControlChangeAddress;
  Node wanted{};
  std::copy_n(in.Address, 6, wanted.begin());
  const bool serial = isSerial(a.adapterKind, port);

  if (a.adapterKind == AdapterKind::MultiPort) {
    Node newNode = wanted;
    if (changeAddress && allZero(wanted)) {
      // The adapter takes its universal address: that is where it comes back.
      std::optional<wire::VariableReply> v;
      if (const int rc =
              variableExchange(a, wire::VariableRead().add(6, wire::var::kUniversalAddress).packet(),
                               wire::kSettingsTimeout, wire::kReplyBuffer, &v))
        return rc;
      wire::fetchValue(*v, 6, wire::var::kUniversalAddress, newNode);
      newNode = swapBitOrder(newNode, a.media);
    }
    wire::VariableWrite w;
    const std::uint8_t one = 1;
    if (changeAddress) {
      const Node tokenRing = swapBitOrder(wanted, a.media);
      w.add(6, wire::var::kAddress, tokenRing);
      w.add(wire::var::kNetWareGroup, wire::var::kNwSave, View(&one, 1));
      w.add(6, wire::var::kReset, View(&one, 1));
    }
    if (const auto mode = var11Of(in.NpapMode))
      w.add(wire::var::kNpaModeGroup, static_cast<std::uint8_t>(port.number), View(&*mode, 1));
    std::uint8_t word[2];
    const std::uint8_t g = portGroup(port);
    if (serial) {
      storeBe16(word, in.SerialVar6);
      w.add(g, 6, word);
      w.add(g, 8, View(&in.SerialVar8, 1));
      w.add(g, 10, View(&in.SerialVar10, 1));
      w.add(g, 12, View(&in.SerialVar12, 1));
      w.add(g, 14, View(&in.SerialVar14, 1));
      storeBe16(word, in.SerialVar4);
      w.add(g, 4, word);
    } else {
      w.add(g, 6, View(&in.ParallelVar6, 1));
      storeBe16(word, in.ParallelVar4);
      w.add(g, 4, word);
    }
    if (const int rc = writeVariables(a, w)) return rc;
    return changeAddress ? followMove(a, newNode) : NET_OKAY;
  }

  if (a.adapterKind == AdapterKind::External7390) {
    const std::size_t polling = serial ? kestrel::kSerialPolling : kestrel::kParallelPolling;
    if (const int rc = sendPortParameters(a, port, in, be16At(port.block, polling))) return rc;
  }
  if (!changeAddress) return NET_OKAY;

  const std::uint8_t media = a.block[kestrel::kMedia] & 0x0F;
  const Node tokenRing = swapBitOrder(wanted, media);
  if (const int rc =
          textExchange(a, wire::ControlLpa().address(tokenRing).command(), wire::kSettingsTimeout, nullptr)) {
    nwLog().write("SendToTheBox() with address update failed, rc = 0x%X\n", static_cast<unsigned>(rc));
    return rc;
  }
  if (a.adapterKind == AdapterKind::SinglePort && a.nvram()) {
    if (const int rc =
            textExchange(a, wire::textCommand(wire::kTagUpdateNvram), wire::kSettingsTimeout, nullptr)) {
      nwLog().write("UpdateNVRam() with address update failed, rc = 0x%X\n", static_cast<unsigned>(rc));
      return rc;
    }
    if (const int rc =
            textExchange(a, wire::textCommand(wire::kTagResetLpa), wire::kSettingsTimeout, nullptr)) {
      nwLog().write("ResetAdapter() with address update failed, rc = 0x%X\n", static_cast<unsigned>(rc));
      return rc;
    }
  }
  // Back to the universal address: where that is the adapter does not say,
  // so it is looked for where it is now.
  return followMove(a, allZero(wanted) ? a.ipxNode : wanted);
}

// "Set LPA Parameters" with a 7390 port's written settings and polling interval.
std::int32_t NetWareTransport::sendPortParameters(const AdapterView& a, const AdapterView::Port& port,
                                                  const NETADAPTERPARMS& in, std::uint16_t polling) {
  Bytes data;
  if (isSerial(a.adapterKind, port)) {
    data = {12, 0x40};
    putWord(data, 2, in.SerialVar6);
    data.insert(data.end(), {in.SerialVar8, in.SerialVar10, in.SerialVar12, in.SerialVar14});
    putWord(data, 8, in.SerialVar4);
    putWord(data, 10, polling);
  } else {
    data = {7, 0x81, in.ParallelVar6};
    putWord(data, 3, in.ParallelVar4);
    putWord(data, 5, polling);
  }
  const int rc =
      textExchange(a, wire::textCommand(wire::kTagSetParameters, data), wire::kSettingsTimeout, nullptr);
  if (rc) nwLog().write("SendToTheBox() with port update failed, rc = 0x%X\n", static_cast<unsigned>(rc));
  return rc;
}

// ---- Items 130, 131 -------------------------------------------------------------------------

std::int32_t NetWareTransport::getAdvanced(const AdapterView& a, NETADVANCEDSETTINGS& out) {
  if (a.adapterKind != AdapterKind::MultiPort) return NET_FAIL;
  wire::VariableRead read;
  for (std::uint8_t g = wire::var::kCorLinkGroup; g <= wire::var::kTcpIpGroup; ++g) read.add(g, 1).add(g, 0);
  read.add(6, wire::var::kEndOfJob).add(10, 2).add(10, 3).add(10, 4);
  read.add(6, wire::var::kContact).add(6, wire::var::kLocation);
  std::optional<wire::VariableReply> v;
  if (const int rc = variableExchange(a, read.packet(), wire::kSettingsTimeout, wire::kReplyBuffer, &v))
    return rc;
  NETADVANCEDSETTINGS r{};
  r.Control = supervisor_.load() ? kAdvancedSupervisor : 0;
  for (std::uint8_t g = wire::var::kCorLinkGroup; g <= wire::var::kTcpIpGroup; ++g) {
    const auto bit = static_cast<std::uint8_t>(1u << (g - wire::var::kCorLinkGroup));
    if (valueOf(*v, g, 1, 1)[0]) r.ProtocolsActive |= bit;
    if (valueOf(*v, g, 0, 1)[0]) r.ProtocolsEnabled |= bit;
  }
  r.EndOfJobTimeout = valueOf(*v, 6, wire::var::kEndOfJob, 1)[0];
  wire::fetchValue(*v, 10, 2, r.IpAddress);
  wire::fetchValue(*v, 10, 3, r.IpNetmask);
  wire::fetchValue(*v, 10, 4, r.IpGateway);
  // The adapter's texts may fill their field: the record keeps its last byte NUL.
  wire::fetchValue(*v, 6, wire::var::kContact,
                   std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(r.ContactName), 63));
  wire::fetchValue(*v, 6, wire::var::kLocation,
                   std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(r.Location), 63));
  out = r;
  return NET_OKAY;
}

std::int32_t NetWareTransport::setAdvanced(const AdapterView& a, const NETADVANCEDSETTINGS& in) {
  if (a.anyBusy()) return NET_NW_ADAPTER_BUSY;
  if (a.adapterKind != AdapterKind::MultiPort) return NET_FAIL;
  wire::VariableWrite w;
  for (std::uint8_t g = wire::var::kCorLinkGroup; g <= wire::var::kTcpIpGroup; ++g) {
    const std::uint8_t on = in.ProtocolsEnabled & (1u << (g - wire::var::kCorLinkGroup)) ? 1 : 0;
    w.add(g, 0, View(&on, 1));
  }
  w.add(6, wire::var::kEndOfJob, View(&in.EndOfJobTimeout, 1));
  w.add(10, 2, in.IpAddress);
  w.add(10, 3, in.IpNetmask);
  w.add(10, 4, in.IpGateway);
  w.add(6, wire::var::kContact, View(reinterpret_cast<const std::uint8_t*>(in.ContactName), 64));
  w.add(6, wire::var::kLocation, View(reinterpret_cast<const std::uint8_t*>(in.Location), 64));
  return writeVariables(a, w);
}

// ---- Flash ------------------------------------------------------------------------------------

std::int32_t NetWareTransport::flashBegin(const AdapterView& a, const NETFLASHBEGIN& in) {
  if (a.anyBusy()) {
    nwLog().write("FlashBegin() while ports on the adapter were busy, returning NET_NW_ADAPTER_BUSY\n");
    return NET_NW_ADAPTER_BUSY;
  }
  if (a.adapterKind == AdapterKind::SinglePort &&
      textExchange(a, wire::ControlLpa().programMode(1).command(), wire::kProgramModeTimeout, nullptr)) {
    nwLog().write("Couldn't set INA control mode to PROGRAM, returning NET_WRITEFAIL from FlashBegin()\n");
    return NET_WRITEFAIL;
  }
  Bytes data(6);
  for (std::size_t i = 0; i < 3; ++i) std::memcpy(data.data() + 2 * i, &in.Values[i], 2);
  Bytes reply;
  const int rc =
      textExchange(a, wire::textCommand(wire::kTagFlashOpen, data), wire::kSettingsTimeout, &reply);
  const auto response = rc == NET_OKAY ? wire::readFlashResponse(reply) : std::nullopt;
  if (!response || response->status != 0) {
    nwLog().write("Adapter flash open failed, returning NET_WRITEFAIL from FlashBegin()\n");
    return NET_WRITEFAIL;
  }
  std::lock_guard g(flashMutex_);
  flashSequence_[{a.network, a.ipxNode}] = 16;
  return NET_OKAY;
}

std::int32_t NetWareTransport::flashBlock(const AdapterView& a, View firmware) {
  std::uint16_t sequence;
  {
    std::lock_guard g(flashMutex_);
    sequence = flashSequence_[{a.network, a.ipxNode}];
  }
  for (std::size_t done = 0; done < firmware.size(); done += kFlashSegment, ++sequence) {
    const View segment = firmware.subspan(done, std::min(kFlashSegment, firmware.size() - done));
    Bytes data(2);
    std::memcpy(data.data(), &sequence, 2);
    data.insert(data.end(), segment.begin(), segment.end());
    Bytes reply;
    const int rc =
        textExchange(a, wire::textCommand(wire::kTagFlashWrite, data), wire::kSettingsTimeout, &reply);
    const auto response = rc == NET_OKAY ? wire::readFlashResponse(reply) : std::nullopt;
    const bool echoed = response && response->sequence == sequence;
    if (response && !echoed) nwLog().write("Sequence number error in SendMicroCodeSegment()\n");
    if (!response || response->status != 0 || !echoed) {
      nwLog().write("SendMicroCodeSegment() failed, returning NET_WRITEFAIL from FlashData()\n");
      std::lock_guard g(flashMutex_);
      flashSequence_[{a.network, a.ipxNode}] = sequence;
      return NET_WRITEFAIL;
    }
  }
  {
    std::lock_guard g(flashMutex_);
    flashSequence_[{a.network, a.ipxNode}] = sequence;
  }
  nwLog().write("%d bytes sent, returning NET_OKAY from FlashData()\n", static_cast<int>(firmware.size()));
  return NET_OKAY;
}

std::int32_t NetWareTransport::flashEnd(const AdapterView& a) {
  Bytes reply;
  const int rc = textExchange(a, wire::textCommand(wire::kTagFlashClose), wire::kFlashCloseTimeout, &reply);
  const auto response = rc == NET_OKAY ? wire::readFlashResponse(reply) : std::nullopt;
  if (!response || response->status != 0) return NET_WRITEFAIL;
  if (!waitForReset(a.network, a.ipxNode, wire::kFlashResetLimit)) {
    nwLog().write("KestrelWaitForReset() returned FALSE, returning NET_FAIL from FlashEnd()\n");
    return NET_FAIL;
  }
  return NET_OKAY;
}

// ---- Reset, address check ------------------------------------------------------------------

std::int32_t NetWareTransport::resetAdapter(const AdapterView& a) {
  if (a.adapterKind == AdapterKind::MultiPort) {
    const std::uint8_t one = 1;
    wire::VariableWrite w;
    w.add(6, wire::var::kReset, View(&one, 1));
    if (const int rc = writeVariables(a, w)) return rc;
    return waitForReset(a.network, a.ipxNode, wire::kResetLimit) ? NET_OKAY : NET_FAIL;
  }
  if (a.adapterKind == AdapterKind::SinglePort && a.nvram()) {
    if (!(a.block[kestrel::kFlags] & kestrel::kFlagPowerOnReset)) return NET_OKAY;
    return textExchange(a, wire::textCommand(wire::kTagPowerOnReset), wire::kSettingsTimeout, nullptr);
  }
  return NET_FAIL;
}

std::int32_t NetWareTransport::checkAddress(const Node& address) {
  for (const AdapterView& a : table_.adapters())
    if (a.canonicalAddress() == address) return NET_ADDRESS_KNOWN;
  return NET_ADDRESS_UNKNOWN;
}

// ---- Dispatch -----------------------------------------------------------------------------

namespace {

// Fills a record of the caller's only when its buffer holds all of it.
template <typename Record>
bool roomFor(void* buffer, const std::uint16_t* length) {
  return buffer && length && *length >= sizeof(Record);
}

// A copy of the caller's record: sets never change it (a retried set sends
// the same bytes). None when the length does not hold it.
template <typename Record>
std::optional<Record> recordIn(const void* buffer, std::uint32_t length) {
  if (!buffer || length < sizeof(Record)) return std::nullopt;
  Record r;
  std::memcpy(&r, buffer, sizeof r);
  return r;
}

}  // namespace

std::optional<std::int32_t> NetWareTransport::getAdapterItem(std::uint16_t id, std::uint16_t code,
                                                             void* buffer, std::uint16_t* length) {
  if (code < kItemAdapterParms || code > kItemAddressCheck) return std::nullopt;
  const auto a = table_.adapterOf(id);
  if (!a) return NET_BADID;
  const AdapterView::Port& port = *a->portById(id);
  switch (code) {
    case kItemAdapterParms: {
      if (!roomFor<NETADAPTERPARMS>(buffer, length)) return NET_FAIL;
      // Filled in a copy: a failure leaves the caller's record as it was, but
      // for the fields a single-port node mismatch reports.
      NETADAPTERPARMS r;
      std::memcpy(&r, buffer, sizeof r);
      const std::int32_t rc = getAdapterParms(*a, port, r);
      if (rc == NET_OKAY || rc == NET_BADCMD) std::memcpy(buffer, &r, sizeof r);
      return rc;
    }
    case kItemAdvanced: {
      if (!roomFor<NETADVANCEDSETTINGS>(buffer, length)) return NET_FAIL;
      NETADVANCEDSETTINGS r;
      const std::int32_t rc = getAdvanced(*a, r);
      if (rc == NET_OKAY) std::memcpy(buffer, &r, sizeof r);
      return rc;
    }
    case kItemPassword: {
      if (!roomFor<NETPASSWORD>(buffer, length)) return NET_FAIL;
      if (a->adapterKind != AdapterKind::MultiPort) return NET_FAIL;
      std::optional<wire::VariableReply> v;
      if (const int rc = variableExchange(*a, wire::VariableRead().add(6, wire::var::kPassword).packet(),
                                          wire::kSettingsTimeout, wire::kReplyBuffer, &v))
        return rc;
      NETPASSWORD r{};
      wire::fetchValue(*v, 6, wire::var::kPassword, r.Password);
      std::memcpy(buffer, &r, sizeof r);
      return NET_OKAY;
    }
    case kItemAdapterInfo: {
      if (!roomFor<NETADAPTERINFO>(buffer, length)) return NET_FAIL;
      NETADAPTERINFO r{};
      r.AdapterClass = adapterClass(*a);
      r.PortType = portType(*a, port);
      r.Media = callerMedia(*a);
      r.Supervisor = supervisor_.load() ? 1 : 0;
      std::copy(a->ipxNode.begin(), a->ipxNode.end(), r.Node);
      std::memcpy(buffer, &r, sizeof r);
      return NET_OKAY;
    }
    default:
      return NET_BADID;
  }
}

std::optional<std::int32_t> NetWareTransport::setAdapterItem(std::uint16_t id, std::uint16_t code,
                                                             const void* buffer, std::uint32_t length) {
  if (code < kItemAdapterParms || code > kItemAddressCheck) return std::nullopt;
  const auto a = table_.adapterOf(id);
  if (!a) return NET_BADID;
  const AdapterView::Port& port = *a->portById(id);
  const auto fits = [&](std::size_t size) { return buffer && length >= size; };
  const bool is7390 = a->adapterKind == AdapterKind::External7390;
  const char* flashStep = code == kItemFlashBegin   ? "FlashBegin()"
                          : code == kItemFlashBlock ? "FlashData()"
                                                    : "FlashClose()";
  if (is7390 && code >= kItemFlashBegin && code <= kItemFlashEnd) {
    nwLog().write("%s called for a 7390, login name <%s>, returning DEVERR_BADCMD\n", flashStep,
                  a->name.c_str());
    return NET_BADCMD;
  }
  switch (code) {
    case kItemAdapterParms: {
      if (const auto r = recordIn<NETADAPTERPARMS>(buffer, length)) return setAdapterParms(*a, port, *r);
      return NET_FAIL;
    }
    case kItemAdvanced: {
      if (const auto r = recordIn<NETADVANCEDSETTINGS>(buffer, length)) return setAdvanced(*a, *r);
      return NET_FAIL;
    }
    case kItemPassword: {
      if (!fits(sizeof(NETPASSWORD))) return NET_FAIL;
      if (a->adapterKind != AdapterKind::MultiPort) return NET_FAIL;
      wire::VariableWrite w;
      w.add(6, wire::var::kPassword, View(static_cast<const std::uint8_t*>(buffer), sizeof(NETPASSWORD)));
      return writeVariables(*a, w);
    }
    case kItemFlashBegin: {
      if (const auto r = recordIn<NETFLASHBEGIN>(buffer, length)) return flashBegin(*a, *r);
      return NET_FAIL;
    }
    case kItemFlashBlock: {
      if (!fits(sizeof(NETFLASHBLOCK))) return NET_FAIL;
      std::uint16_t n;
      std::memcpy(&n, buffer, 2);
      if (length < 2u + n) return NET_FAIL;
      return flashBlock(*a, View(static_cast<const std::uint8_t*>(buffer) + 2, n));
    }
    case kItemFlashEnd:
      return flashEnd(*a);
    case kItemReset:
      return resetAdapter(*a);
    case kItemAddressCheck: {
      if (!fits(6)) return NET_FAIL;
      Node address;
      std::memcpy(address.data(), buffer, 6);
      return checkAddress(address);
    }
    default:
      return NET_BADID;
  }
}

}  // namespace wf::netware
