#include "transports/testing/transport_harness.h"

#include <cstring>

#include "platform/clock.h"

namespace wf::transports::testing {

namespace {
std::mutex liveMutex;
TransportHarness* live = nullptr;  // the one harness the plain callbacks reach

constexpr std::uint32_t kNetworkBits[] = {BCE_NET_NETWARE, BCE_NET_IP, BCE_NET_IPX, BCE_NET_CORLINK,
                                          BCE_NET_PEER};
}  // namespace

struct HarnessCallbacks {
  template <typename F>
  static void with(F f) {
    std::lock_guard g(liveMutex);
    if (live) f(*live);
  }
  static std::uint16_t enumProc(const NETPORTINFO* port) {
    std::uint16_t answer = 1;
    with([&](TransportHarness& h) { answer = h.onEnumerate(port); });
    return answer;
  }
  template <int Index>
  static std::int32_t dataProc(std::uint16_t portId, const std::uint8_t* data, std::uint32_t length) {
    with([&](TransportHarness& h) { h.onData(Index, portId, data, length); });
    return 0;
  }
  static std::int32_t eventProc(std::uint32_t kind, std::uint32_t portId, std::uint32_t code, void* data) {
    with([&](TransportHarness& h) { h.onEvent(false, kind, portId, code, data); });
    return 0;
  }
  static std::int32_t alternateEventProc(std::uint32_t kind, std::uint32_t portId, std::uint32_t code,
                                         void* data) {
    with([&](TransportHarness& h) { h.onEvent(true, kind, portId, code, data); });
    return 0;
  }
  static constexpr NETDATAPROC kDataProcs[] = {&dataProc<0>, &dataProc<1>, &dataProc<2>, &dataProc<3>,
                                               &dataProc<4>};
};

std::unique_ptr<TransportHarness> TransportHarness::load(std::string_view fileName, std::uint32_t networkBit,
                                                         std::string* error) {
  std::lock_guard g(liveMutex);
  if (live) {
    if (error) *error = "another transport harness is live";
    return nullptr;
  }
  ModuleHandle module = loadModule(fileName);
  if (!module) {
    if (error) *error = "cannot load " + std::string(fileName);
    return nullptr;
  }
  std::unique_ptr<TransportHarness> h(new TransportHarness(module, networkBit));
  live = h.get();
  return h;
}

TransportHarness::TransportHarness(ModuleHandle module, std::uint32_t networkBit)
    : module_(module), networkBit_(networkBit), entries_(bindNetEntryPoints(module)) {}

TransportHarness::~TransportHarness() {
  {
    std::lock_guard g(liveMutex);
    live = nullptr;
  }
  freeModule(module_);
}

int TransportHarness::transportIndex() const {
  for (int i = 0; i < 5; ++i)
    if (kNetworkBits[i] == networkBit_) return i;
  return -1;
}

void TransportHarness::scriptEnumAnswers(std::vector<std::uint16_t> answers) {
  std::lock_guard g(mutex_);
  enumAnswers_.assign(answers.begin(), answers.end());
}

std::int32_t TransportHarness::enumerate() {
  return entries_.NetEnumerate ? entries_.NetEnumerate(&HarnessCallbacks::enumProc) : NET_FAIL;
}

std::int32_t TransportHarness::enumSpecific(const NETADDRESS& address) {
  return entries_.NetEnumSpecific ? entries_.NetEnumSpecific(&address, &HarnessCallbacks::enumProc)
                                  : NET_FAIL;
}

std::int32_t TransportHarness::enumSpecificPort(const void* descriptor) {
  return entries_.NetEnumSpecificPort ? entries_.NetEnumSpecificPort(descriptor, &HarnessCallbacks::enumProc)
                                      : NET_FAIL;
}

std::uint16_t TransportHarness::onEnumerate(const NETPORTINFO* port) {
  std::lock_guard g(mutex_);
  if (!port) {
    ++nullReports_;
    return 1;
  }
  reports_.push_back(*port);
  if (!handles_.count(port->portId))
    handles_[port->portId] = static_cast<std::uint16_t>(kFirstHandle + handles_.size());
  changed_.notify_all();
  if (enumAnswers_.empty()) return 1;
  const std::uint16_t answer = enumAnswers_.front();
  enumAnswers_.pop_front();
  return answer;
}

std::vector<NETPORTINFO> TransportHarness::reports() const {
  std::lock_guard g(mutex_);
  return reports_;
}

std::size_t TransportHarness::nullReports() const {
  std::lock_guard g(mutex_);
  return nullReports_;
}

void TransportHarness::clearReports() {
  std::lock_guard g(mutex_);
  reports_.clear();
  nullReports_ = 0;
}

std::uint16_t TransportHarness::handleOf(std::uint16_t portId) const {
  std::lock_guard g(mutex_);
  auto it = handles_.find(portId);
  return it == handles_.end() ? 0 : it->second;
}

std::int32_t TransportHarness::open(std::uint16_t portId) {
  const int index = transportIndex();
  if (!entries_.NetOpen || index < 0) return NET_FAIL;
  return entries_.NetOpen(portId, HarnessCallbacks::kDataProcs[index]);
}

std::int32_t TransportHarness::close(std::uint16_t portId) {
  return entries_.NetClose ? entries_.NetClose(portId) : NET_FAIL;
}

void TransportHarness::onData(int index, std::uint16_t portId, const std::uint8_t* data,
                              std::uint32_t length) {
  std::lock_guard g(mutex_);
  DataPacket p{index, portId, {}};
  if (data) p.bytes.assign(data, data + length);
  packets_.push_back(std::move(p));
  changed_.notify_all();
}

std::vector<DataPacket> TransportHarness::packets() const {
  std::lock_guard g(mutex_);
  return packets_;
}

bool TransportHarness::waitForPackets(std::size_t count, std::uint32_t ms) const {
  std::unique_lock g(mutex_);
  return changed_.wait_until(g, deadlineAfter(ms), [&] { return packets_.size() >= count; });
}

std::int32_t TransportHarness::registerEvents(bool alternate) {
  if (!entries_.NetRegisterCallback) return NET_FAIL;
  return entries_.NetRegisterCallback(alternate ? &HarnessCallbacks::alternateEventProc
                                                : &HarnessCallbacks::eventProc);
}

void TransportHarness::unregisterEvents() {
  if (entries_.NetUnregisterCallback) entries_.NetUnregisterCallback();
}

void TransportHarness::onEvent(bool alternate, std::uint32_t kind, std::uint32_t portId, std::uint32_t code,
                               void* data) {
  TransportEvent e{kind, portId, code, {}, {}, alternate};
  if (data && code == NETEVENT_RENAMED) {
    const char* name = static_cast<const char*>(data);
    e.name.assign(name, ::strnlen(name, BCE_NAME_LENGTH));
  }
  if (data && code == NETEVENT_ADDRESS_CHANGED) std::memcpy(e.node.data(), data, e.node.size());
  std::lock_guard g(mutex_);
  events_.push_back(std::move(e));
  changed_.notify_all();
}

std::vector<TransportEvent> TransportHarness::events() const {
  std::lock_guard g(mutex_);
  return events_;
}

bool TransportHarness::waitForEvents(std::size_t count, std::uint32_t ms) const {
  std::unique_lock g(mutex_);
  return changed_.wait_until(g, deadlineAfter(ms), [&] { return events_.size() >= count; });
}

WriteOutcome TransportHarness::write(std::uint16_t portId, const std::vector<std::uint8_t>& data,
                                     std::uint32_t replyCapacity, std::uint16_t command) {
  WriteOutcome out;
  if (!entries_.NetWrite) {
    out.result = NET_FAIL;
    return out;
  }
  out.status = networkBit_ == BCE_NET_IP     ? 128
               : networkBit_ == BCE_NET_PEER ? static_cast<std::uint16_t>(data.size())
                                             : 0;
  std::vector<std::uint8_t> reply(replyCapacity);
  out.replyLength = replyCapacity;
  out.result = entries_.NetWrite(portId, data.data(), static_cast<std::uint32_t>(data.size()),
                                 replyCapacity ? reply.data() : nullptr,
                                 replyCapacity ? &out.replyLength : nullptr, command, &out.status);
  reply.resize(std::min(out.replyLength, replyCapacity));
  out.reply = std::move(reply);
  return out;
}

bool TransportHarness::portFor(std::uint16_t handle, std::uint16_t& port) const {
  if (handle == BCE_WORKSTATION_HANDLE) {
    port = NET_NO_PORT;
    return true;
  }
  std::lock_guard g(mutex_);
  for (const auto& [id, h] : handles_)
    if (h == handle) {
      port = id;
      return true;
    }
  return false;
}

std::int32_t TransportHarness::getInfo(std::uint16_t handle, std::uint16_t item, void* buffer,
                                       std::uint16_t* length, NETITEMPROC itemProc) {
  if (!entries_.NetGetInfo) return NET_FAIL;
  std::uint16_t port;
  if (!portFor(handle, port)) return 0xFFF8;
  return static_cast<std::uint16_t>(entries_.NetGetInfo(port, item, buffer, length, itemProc));
}

std::int32_t TransportHarness::setInfo(std::uint16_t handle, std::uint16_t item, const void* buffer,
                                       std::uint16_t length) {
  if (!entries_.NetSetInfo) return NET_FAIL;
  std::uint16_t port;
  if (!portFor(handle, port)) return 0xFFF8;
  return static_cast<std::uint16_t>(entries_.NetSetInfo(port, item, buffer, length));
}

bool TransportHarness::shutDown() {
  if (!entries_.NetShutDown) return false;
  entries_.NetShutDown();
  return true;
}

}  // namespace wf::transports::testing
