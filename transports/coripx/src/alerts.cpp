// Unsolicited alerts from the adapters: gathered from their pieces and
// handed to the data callback of the port they came for; and the callbacks
// the broker registers.
#include <algorithm>
#include <cstring>

#include "coripx_transport.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "transports/common/adapter_layout.h"

namespace wf::coripx {
namespace {

namespace alertwire = ::wf::adapter::coripx;
constexpr std::uint32_t kAlertScanMs = 500;
constexpr std::size_t kAlertShortest = 30;

bool alertTagIs(const Received& d, const char* tag) {
  return tagIs(d.bytes.data() + alertwire::kTag, d.bytes.size() - alertwire::kTag, tag);
}

bool isAlertDatagram(const Received& d) {
  if (d.bytes.size() < kAlertShortest || !(d.bytes[alertwire::kFunction] & alertwire::kReplyAlert)) return false;
  return alertTagIs(d, alertwire::kTagDsa) || alertTagIs(d, alertwire::kTagIntervention) ||
         alertTagIs(d, alertwire::kTagProgramCheck);
}

}  // namespace

void CorIpx::alerts(std::stop_token stop) {
  while (!stop.stop_requested()) {
    const std::uint64_t seen = pool_.generation();
    const auto taken = pool_.takeAll(&isAlertDatagram);
    for (const Received& d : taken) onAlertDatagram(d);
    if (taken.empty()) pool_.waitNewer(seen, kAlertScanMs, stop);
  }
}

void CorIpx::onAlertDatagram(const Received& d) {
  const auto& b = d.bytes;
  if (alertTagIs(d, alertwire::kTagIntervention)) return;
  if (alertTagIs(d, alertwire::kTagProgramCheck)) {
    log_.write("prog check %02x%02x%02x%02x-%x", b[0], b[1], b[2], b[3], b[alertwire::kLength]);
    return;
  }
  const std::size_t size = b.size();
  const std::uint32_t L = size >= alertwire::kData ? loadBe16(b.data() + alertwire::kLength) : 0;
  if (size < alertwire::kData || L < 2 || L > size - alertwire::kLength) {
    log_.write("Alert of %d bytes with length %d dropped", static_cast<int>(size), static_cast<int>(L));
    return;
  }
  const std::uint8_t nibble = b[alertwire::kPort] & 0x0F;
  if (!findPortByAddress(d.from, nibble)) {
    log_.write("Alert from %x%x port %d: no such port, dropped", d.from.node[4], d.from.node[5], nibble);
    return;
  }
  Bytes piece(b.begin() + alertwire::kData, b.begin() + alertwire::kData + (L - 2));
  const bool more = size > alertwire::kMoreFlag && (b[alertwire::kMoreFlag] & ::wf::adapter::kNpaMore);
  Bytes whole;
  {
    std::lock_guard g(partialMutex_);
    auto it = std::find_if(partial_.begin(), partial_.end(), [&](const PartialAlert& p) {
      return p.node == d.from.node && p.port == nibble;
    });
    if (more) {
      if (it == partial_.end()) {
        partial_.push_front(PartialAlert{d.from.node, nibble, {}});
        it = partial_.begin();
      }
      if (it->pieces.size() == alertwire::kAlertPieces) {
        log_.write("Alert of more than %d pieces for port %d dropped", static_cast<int>(alertwire::kAlertPieces),
                   nibble);
        partial_.erase(it);
        return;
      }
      it->pieces.push_back(std::move(piece));
      return;
    }
    if (it != partial_.end()) {
      for (const Bytes& p : it->pieces) whole.insert(whole.end(), p.begin(), p.end());
      partial_.erase(it);
    }
  }
  whole.insert(whole.end(), piece.begin(), piece.end());
  deliverAlert(d.from, nibble, whole);
}

void CorIpx::deliverAlert(const IpxAddress& from, std::uint8_t nibble, const Bytes& data) {
  std::lock_guard g(alertRead_);
  IPXPORT* port = findPortByAddress(from, nibble);
  const NETDATAPROC proc = port ? port->DataCallback.load() : nullptr;
  if (proc) proc(port->PortId, data.data(), static_cast<std::uint32_t>(data.size()));
}

std::size_t CorIpx::pendingAlerts() const {
  std::lock_guard g(partialMutex_);
  return partial_.size();
}

IPXPORT* CorIpx::findPortByAddress(const IpxAddress& from, std::uint8_t nibble) {
  std::lock_guard g(portsMutex_);
  for (auto& p : ports_)
    if (p->PortNumber == nibble && p->Address.network == from.network && p->Address.node == from.node &&
        p->Address.socket == from.socket)
      return p.get();
  return nullptr;
}

int CorIpx::open(std::uint16_t id, NETDATAPROC proc) {
  std::lock_guard g(alertRead_);
  IPXPORT* port = FindPortById(id);
  if (!port) return NET_FAIL;
  port->DataCallback = proc;
  return NET_OKAY;
}

int CorIpx::close(std::uint16_t id) {
  // Waits for a delivery under way: no callback runs after this returns.
  std::lock_guard g(alertRead_);
  if (IPXPORT* port = FindPortById(id)) port->DataCallback = nullptr;
  return 1;
}

int CorIpx::registerCallback(NETEVENTPROC proc) {
  if (!ensureStarted()) return NET_FAIL;
  std::lock_guard g(eventMutex_);
  if (eventProc_) return NET_FAIL;
  eventProc_ = proc;
  return NET_OKAY;
}

void CorIpx::unregisterCallback() {
  std::lock_guard g(eventMutex_);
  eventProc_ = nullptr;
}

}  // namespace wf::coripx
