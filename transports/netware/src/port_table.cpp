#include "port_table.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "transports/common/ebcdic.h"
#include "transports/common/net_items.h"

namespace wf::netware {

namespace wire = ::wf::adapter;
namespace kestrel = ::wf::adapter::kestrel;

namespace {

std::uint8_t reverseBits(std::uint8_t b) {
  std::uint8_t r = 0;
  for (int i = 0; i < 8; ++i)
    if (b & (1u << i)) r |= static_cast<std::uint8_t>(0x80u >> i);
  return r;
}

std::string blockText(const std::uint8_t* at, std::size_t n) {
  const auto* end = static_cast<const std::uint8_t*>(std::memchr(at, 0, n));
  return std::string(reinterpret_cast<const char*>(at), end ? static_cast<std::size_t>(end - at) : n);
}

void copyPortText(char* out, std::size_t size, const std::string& text) {
  std::snprintf(out, size, "%s", text.c_str());
}

}  // namespace

Node swapBitOrder(const Node& node, std::uint8_t media) {
  if (media == net::kMediaTokenRing) return node;
  Node out{};
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = reverseBits(node[i]);
  return out;
}

bool AdapterView::anyBusy(std::optional<std::uint16_t> except) const {
  if (pserver()) return false;
  for (const Port& p : ports) {
    if (except && p.id == *except) continue;
    const auto byte = [&](std::size_t at) { return at < p.block.size() ? p.block[at] : std::uint8_t{0}; };
    switch (adapterKind) {
      case AdapterKind::MultiPort:
        if (p.busy) return true;
        break;
      case AdapterKind::SinglePort:
        if (byte(kestrel::kSingleFlags) & 0x01) return true;
        break;
      case AdapterKind::External7390:
        if ((p.kind & 0xF0) == kestrel::kKindParallel7390 ? byte(kestrel::kParallelBusy)
                                                          : byte(kestrel::kSerialBusy))
          return true;
        break;
    }
  }
  return false;
}

const AdapterView::Port* AdapterView::portById(std::uint16_t id) const {
  for (const Port& p : ports)
    if (p.id == id) return &p;
  return nullptr;
}

Node AdapterView::canonicalAddress() const {
  return swapBitOrder(reportedNode, media);
}

std::uint32_t CapturedPorts::maskFor(const Network& net, const Node& node, int key) const {
  const auto a = masks.find({net, node});
  if (a == masks.end()) return 0;
  const auto m = a->second.find(key);
  return m == a->second.end() ? 0 : m->second;
}

std::uint16_t PortView::dataChannel() const {
  switch (adapterKind) {
    case AdapterKind::MultiPort:
      return wire::dataChannelSocket(number);
    case AdapterKind::SinglePort:
      return wire::kDataChannelSocket;
    case AdapterKind::External7390:
      break;
  }
  return 0;
}

std::uint8_t PortView::selector() const {
  return adapterKind == AdapterKind::MultiPort ? static_cast<std::uint8_t>(number)
                                               : static_cast<std::uint8_t>(kind >> 4);
}

int PortView::captureKey() const {
  if (adapterKind == AdapterKind::MultiPort)
    return captureKeyOfPortCharacter(static_cast<char>('0' + number));
  if (adapterKind == AdapterKind::External7390 && (kind & 0xF0) == kestrel::kKindParallel7390)
    return kCaptureSecond;
  return kCaptureFirst;
}

NETPORTINFO buildPortInfo(const PortView& p, bool supervisor) {
  NETPORTINFO info{};
  copyPortText(info.portName, sizeof info.portName, p.name);
  info.portId = p.id;
  info.connections = p.captureMask | BCE_NET_NETWARE | (supervisor ? 0x8000u : 0u);
  for (std::size_t i = 0; i < 6; ++i)
    info.node[i] = p.media == net::kMediaTokenRing ? p.reportedNode[i] : reverseBits(p.reportedNode[i]);
  if (p.media != 0) info.flags |= 0x8000;
  switch (p.adapterKind) {
    case AdapterKind::External7390:
      info.adapterClass = net::kClass7390;
      info.portKind = (p.kind & 0xF0) == kestrel::kKindParallel7390 ? 0x0001 : 0x0101;
      break;
    case AdapterKind::SinglePort:
      info.adapterClass = p.ruVa1 ? net::kClassSinglePortRuVa1 : net::kClassSinglePort;
      info.portKind = 0;
      info.flags |= 1;
      break;
    case AdapterKind::MultiPort:
      info.adapterClass = p.serialPort ? net::kClassMultiPortSerial : net::kClassMultiPort;
      info.portKind = p.number == 0 ? 0x0101 : p.number == 1 ? 0x0001 : p.number;
      info.flags |= 1;
      break;
  }
  return info;
}

PortTable::Adapter* PortTable::adapterAt(const Network& net, const Node& node) const {
  for (const auto& a : adapters_)
    if (a->network == net && a->ipxNode == node) return a.get();
  return nullptr;
}

PortTable::Port& PortTable::portRecord(Adapter& a, std::uint8_t kind, std::uint16_t number) {
  const bool multi = a.kind == AdapterKind::MultiPort;
  for (auto& p : a.ports)
    if (multi ? p->number == number : (p->kind & 0xF0) == (kind & 0xF0)) return *p;
  auto p = std::make_unique<Port>();
  p->adapter = &a;
  p->id = nextId_++;
  p->number = number;
  p->kind = kind;
  // Multi-port ports by number; others by kind, higher kind first.
  const auto at = std::find_if(a.ports.begin(), a.ports.end(),
                               [&](const auto& q) { return multi ? q->number > number : q->kind < kind; });
  return **a.ports.insert(at, std::move(p));
}

void PortTable::mark(Port& p, bool supervisor, const CapturedPorts* captured) {
  if (supervisor) p.reported = true;
  if (captured) {
    p.captureMask = captured->maskFor(p.adapter->network, p.adapter->ipxNode, view(p).captureKey());
    if (p.captureMask) p.reported = true;
  }
}

bool PortTable::parseReply(const IpxAddress& source, View reply, bool supervisor,
                           const CapturedPorts* captured, std::vector<std::uint16_t>* touched) {
  const auto multi = wire::readLpaParameters(reply);
  const auto single = multi ? std::nullopt : wire::readKestrelParameters(reply);
  if ((!multi && !single) || (multi && multi->ignore())) return false;

  std::lock_guard g(mutex_);
  Adapter* a = adapterAt(source.network, source.node);
  if (!a) {
    auto fresh = std::make_unique<Adapter>();
    fresh->network = source.network;
    fresh->ipxNode = source.node;
    adapters_.insert(adapters_.begin(), std::move(fresh));
    a = adapters_.front().get();
  }
  if (multi) {
    a->kind = AdapterKind::MultiPort;
    a->name = multi->name;
    a->media = multi->media;
    a->reportedNode = multi->node;
    a->block = {};
    a->block[kestrel::kPrintMode] = multi->printMode;
    a->block[kestrel::kFlags] = multi->nvram() ? kestrel::kFlagNvram : 0;
    for (std::uint16_t n = 0; n < 8; ++n) {
      if (!(multi->portMask & (1u << n))) continue;
      if (n == 0) a->serialPort = true;
      Port& p = portRecord(*a, n == 0 ? 0x20 : 0x01, n);
      p.busy = multi->busyMask & (1u << n);
    }
  } else {
    a->block = single->block;
    a->keptWord = single->keptWord;
    a->name = blockText(a->block.data() + kestrel::kName, 44);
    a->media = a->block[kestrel::kMedia] & 0x0F;
    a->kind = AdapterKind::SinglePort;
    for (const wire::PortBlock& b : single->ports)
      if ((b.kind() & 0xF0) == kestrel::kKindSerial7390 || (b.kind() & 0xF0) == kestrel::kKindParallel7390)
        a->kind = AdapterKind::External7390;
    std::copy_n(a->block.begin() + kestrel::kAddress, 6, a->reportedNode.begin());
    if (single->identity) {
      a->identityName = single->identity->name;
      a->reportedNode = single->identity->node;
      if (single->identity->kind == kestrel::kKindIdentityWithSecondName)
        a->secondName = single->identity->secondName;
    }
    for (const wire::PortBlock& b : single->ports) {
      Port& p = portRecord(*a, b.kind(), 0);
      p.block = b.bytes;
      p.kind = b.kind();
    }
  }
  for (auto& p : a->ports) {
    mark(*p, supervisor, captured);
    if (touched) touched->push_back(p->id);
  }
  return true;
}

void PortTable::clearMarks() {
  std::lock_guard g(mutex_);
  for (auto& a : adapters_)
    for (auto& p : a->ports) {
      p->reported = false;
      p->captureMask = 0;
    }
}

void PortTable::applyCaptures(std::uint16_t id, const CapturedPorts& captured) {
  std::lock_guard g(mutex_);
  for (auto& a : adapters_)
    for (auto& p : a->ports)
      if (p->id == id) p->captureMask = captured.maskFor(a->network, a->ipxNode, view(*p).captureKey());
}

// What a port's view and an adapter's view both carry.
template <typename View>
void PortTable::copyAdapterFields(View& v, const Adapter& a) {
  v.adapterKind = a.kind;
  v.network = a.network;
  v.ipxNode = a.ipxNode;
  v.media = a.media;
  v.reportedNode = a.reportedNode;
  v.ruVa1 = a.kind == AdapterKind::SinglePort &&
            wire::ebcdicText(a.block.data() + kestrel::kModelTag, 7) == "RU_VA_1";
  v.serialPort = a.serialPort;
}

PortView PortTable::view(const Port& p) const {
  const Adapter& a = *p.adapter;
  PortView v;
  copyAdapterFields(v, a);
  v.id = p.id;
  v.number = p.number;
  v.kind = p.kind;
  v.portFlags = p.block.size() > kestrel::kSingleFlags ? p.block[kestrel::kSingleFlags] : 0;
  v.reported = p.reported;
  v.captureMask = p.captureMask;
  v.data = p.data;
  switch (a.kind) {
    case AdapterKind::MultiPort:
      v.name = a.name + "_P" + std::to_string(p.number);
      break;
    case AdapterKind::External7390:
      v.name = a.name + ((p.kind & 0xF0) == kestrel::kKindParallel7390 ? "_PAR" : "_SER");
      break;
    case AdapterKind::SinglePort:
      v.name = a.name;
      break;
  }
  return v;
}

std::optional<PortView> PortTable::port(std::uint16_t id) const {
  std::lock_guard g(mutex_);
  for (const auto& a : adapters_)
    for (const auto& p : a->ports)
      if (p->id == id) return view(*p);
  return std::nullopt;
}

std::optional<PortView> PortTable::portAtChannel(const IpxAddress& source) const {
  std::lock_guard g(mutex_);
  const Adapter* a = adapterAt(source.network, source.node);
  if (!a) return std::nullopt;
  for (const auto& p : a->ports) {
    const PortView v = view(*p);
    if (v.dataChannel() && v.dataChannel() == source.socket) return v;
  }
  return std::nullopt;
}

std::vector<PortView> PortTable::ports() const {
  std::lock_guard g(mutex_);
  std::vector<PortView> all;
  for (const auto& a : adapters_)
    for (const auto& p : a->ports) all.push_back(view(*p));
  return all;
}

bool PortTable::knowsAdapter(const Network& net, const Node& node) const {
  std::lock_guard g(mutex_);
  return adapterAt(net, node) != nullptr;
}

std::optional<PortView> PortTable::portAt(const Network& net, const Node& node, std::uint8_t selector) const {
  std::lock_guard g(mutex_);
  const Adapter* a = adapterAt(net, node);
  if (!a) return std::nullopt;
  for (const auto& p : a->ports) {
    const PortView v = view(*p);
    if (v.selector() == selector) return v;
  }
  return std::nullopt;
}

bool PortTable::setDataCallback(std::uint16_t id, NETDATAPROC proc) {
  std::lock_guard g(mutex_);
  for (auto& a : adapters_)
    for (auto& p : a->ports)
      if (p->id == id) {
        p->data = proc;
        return true;
      }
  return false;
}

AdapterView PortTable::adapterView(const Adapter& a) const {
  AdapterView v;
  copyAdapterFields(v, a);
  v.name = a.name;
  v.block = a.block;
  for (const auto& p : a.ports) v.ports.push_back({p->id, p->number, p->kind, p->block, p->busy});
  return v;
}

std::optional<AdapterView> PortTable::adapterOf(std::uint16_t portId) const {
  std::lock_guard g(mutex_);
  for (const auto& a : adapters_)
    for (const auto& p : a->ports)
      if (p->id == portId) return adapterView(*a);
  return std::nullopt;
}

std::vector<AdapterView> PortTable::adapters() const {
  std::lock_guard g(mutex_);
  std::vector<AdapterView> all;
  for (const auto& a : adapters_) all.push_back(adapterView(*a));
  return all;
}

void PortTable::moveAdapter(const Network& net, const Node& from, const Node& to) {
  std::lock_guard g(mutex_);
  if (from == to || adapterAt(net, to)) return;
  if (Adapter* a = adapterAt(net, from)) a->ipxNode = to;
}

void PortTable::clearBusy(const Network& net, const Node& node) {
  std::lock_guard g(mutex_);
  if (Adapter* a = adapterAt(net, node))
    for (auto& p : a->ports) p->busy = false;
}

}  // namespace wf::netware
