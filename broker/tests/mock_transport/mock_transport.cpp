// A transport library for tests: reports the ports it is given, answers every
// entry point from that configuration and logs each call. Built under each
// transport's file name (WF_MOCK_NAME, WF_MOCK_BIT, WF_MOCK_VERSION, and the
// name its shutdown is exported under, WF_MOCK_SHUTDOWN).
#include "mock_transport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/module.h"

namespace {

std::mutex lock;
std::vector<NETPORTINFO> ports;
std::vector<std::uint8_t> writeReply;
std::uint16_t writeStatus = 0;
std::int32_t writeResult = -1;
std::vector<std::string> writes;
std::vector<std::string> calls;
NETEVENTPROC eventProc = nullptr;
std::vector<std::pair<std::uint16_t, NETDATAPROC>> dataProcs;
std::uint32_t reportPause = 0;

void log(std::string line) {
  std::lock_guard g(lock);
  calls.push_back(std::move(line));
}

// Where this transport's node sits in a NETADDRESS.
std::size_t nodeOffset() {
  switch (WF_MOCK_BIT) {
    case 0x1:
      return 4;
    case 0x2:
      return 120;
    case 0x4:
      return 136;
    case 0x8:
      return 246;
    default:
      return 258;  // peer: the computer name's first bytes
  }
}

const NETPORTINFO* portById(std::uint16_t id) {
  for (const NETPORTINFO& p : ports)
    if (p.portId == id) return &p;
  return nullptr;
}

// Reports the ports `pick` accepts; stops when the callback says so.
template <typename Pick>
int reportPorts(NETENUMPROC proc, Pick pick) {
  std::vector<NETPORTINFO> chosen;
  std::uint32_t pause;
  {
    std::lock_guard g(lock);
    for (const NETPORTINFO& p : ports)
      if (pick(p)) chosen.push_back(p);
    pause = reportPause;
  }
  for (const NETPORTINFO& p : chosen) {
    if (pause) std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    if (proc(&p) != 1) break;
  }
  return static_cast<int>(chosen.size());
}

bool attach() {
  const char* refused = std::getenv("WF_MOCK_TRANSPORT_REFUSE");
  return !(refused && std::strstr(refused, WF_MOCK_NAME));
}
void detach() {}

}  // namespace

WF_MODULE_ENTRY(attach, detach)

#define NET_API extern "C" __attribute__((visibility("default")))

NET_API int32_t NetEnumerate(NETENUMPROC proc) {
  log("NetEnumerate");
  reportPorts(proc, [](const NETPORTINFO&) { return true; });
  return NET_OKAY;
}

NET_API int32_t NetGetSpecificAddr(uint16_t portId, NETADDRESS* address) {
  log("NetGetSpecificAddr " + std::to_string(portId));
  std::lock_guard g(lock);
  const NETPORTINFO* p = portById(portId);
  if (!p) return NET_BADID;
  std::memcpy(reinterpret_cast<std::uint8_t*>(address) + nodeOffset(), p->node, 6);
  return NET_OKAY;
}

NET_API int32_t NetEnumSpecific(const NETADDRESS* address, NETENUMPROC proc) {
  log("NetEnumSpecific");
  const auto* node = reinterpret_cast<const std::uint8_t*>(address) + nodeOffset();
  return reportPorts(proc, [&](const NETPORTINFO& p) { return std::memcmp(p.node, node, 6) == 0; })
             ? NET_OKAY
             : NET_FAIL;
}

NET_API int32_t NetEnumSpecificPort(const void* descriptor, NETENUMPROC proc) {
  log("NetEnumSpecificPort");
  const std::string text(static_cast<const char*>(descriptor),
                         ::strnlen(static_cast<const char*>(descriptor), BCE_PORT_DESCRIPTOR_SIZE));
  return reportPorts(proc, [&](const NETPORTINFO& p) { return text == p.secondName; }) ? NET_OKAY : NET_FAIL;
}

NET_API int32_t NetEnumQueues(uint32_t, uint32_t, uint32_t) {
  return 1;
}

NET_API int32_t NetOpen(uint16_t portId, NETDATAPROC proc) {
  log("NetOpen " + std::to_string(portId));
  std::lock_guard g(lock);
  if (!portById(portId)) return NET_BADID;
  dataProcs.emplace_back(portId, proc);
  return NET_OKAY;
}

NET_API int32_t NetClose(uint16_t portId) {
  log("NetClose " + std::to_string(portId));
  std::lock_guard g(lock);
  std::erase_if(dataProcs, [&](auto& d) { return d.first == portId; });
  return NET_OKAY;
}

NET_API int32_t NetWrite(uint16_t portId, const uint8_t* bytes, uint32_t length, uint8_t* reply,
                         uint32_t* replyLength, uint16_t command, uint16_t* status) {
  log("NetWrite " + std::to_string(portId) + " " + std::to_string(command) + " status " +
      std::to_string(status ? *status : 0));
  std::lock_guard g(lock);
  if (!portById(portId)) return NET_BADID;
  std::string written;
  for (uint32_t i = 0; bytes && i < length; ++i) {
    char b[3];
    std::snprintf(b, sizeof b, "%02X", bytes[i]);
    written += b;
  }
  writes.push_back(written);
  if (reply && replyLength) {
    const auto full = static_cast<std::uint32_t>(writeReply.size());
    if (full) std::memcpy(reply, writeReply.data(), std::min(full, *replyLength));
    if (status) *status = full > *replyLength ? NET_STATUS_TRUNCATED : NET_STATUS_COMPLETE;
    *replyLength = full;
  } else if (status) {
    *status = NET_STATUS_COMPLETE;
  }
  if (status && writeStatus) *status = writeStatus;
  return writeResult >= 0 ? writeResult : static_cast<int32_t>(length);
}

// CORCL32 exports its shutdown under another spelling.
// Also into WF_MOCK_SHUTDOWN_LOG, which outlives the process that called it.
extern "C" __attribute__((visibility("default"))) void WF_MOCK_SHUTDOWN(void) {
  log(WF_MOCK_SHUTDOWN_TEXT);
  if (const char* path = std::getenv("WF_MOCK_SHUTDOWN_LOG")) {
    if (FILE* f = std::fopen(path, "a")) {
      std::fprintf(f, "%s %s\n", WF_MOCK_NAME, WF_MOCK_SHUTDOWN_TEXT);
      std::fclose(f);
    }
  }
}

NET_API int32_t NetIsAdmin(void) {
  return 1;
}
NET_API int32_t NetIsQueueAdmin(uint32_t) {
  return 1;
}

NET_API uint16_t NetGetVersion(void) {
  log("NetGetVersion");
  return WF_MOCK_VERSION;
}

// Items and buffers name the port and code they answer, so a test sees both arrive.
NET_API int32_t NetGetInfo(uint16_t portId, uint16_t code, void* buffer, uint16_t* length,
                           NETITEMPROC itemProc) {
  log("NetGetInfo " + std::to_string(portId) + " " + std::to_string(code));
  {
    std::lock_guard g(lock);
    if (portId != NET_NO_PORT && !portById(portId)) return NET_BADID;
  }
  const std::string answer = "info-" + std::to_string(portId) + "-" + std::to_string(code);
  if (itemProc) {
    for (int n = 1; n <= 3; ++n) {
      const std::string item = answer + "-" + std::to_string(n);
      itemProc(item.data(), static_cast<uint16_t>(item.size()));
    }
    return NET_OKAY;
  }
  if (!buffer || !length) return NET_NULL_BUFFER;
  const auto n = static_cast<uint16_t>(std::min<std::size_t>(answer.size(), *length));
  std::memcpy(buffer, answer.data(), n);
  *length = n;
  return NET_OKAY;
}

NET_API int32_t NetSetInfo(uint16_t portId, uint16_t code, const void* buffer, uint32_t length) {
  log("NetSetInfo " + std::to_string(portId) + " " + std::to_string(code) + " " +
      std::string(static_cast<const char*>(buffer), buffer ? length : 0));
  std::lock_guard g(lock);
  if (portId != NET_NO_PORT && !portById(portId)) return NET_BADID;
  return NET_OKAY;
}

NET_API int32_t NetRegisterCallback(NETEVENTPROC proc) {
  log("NetRegisterCallback");
  std::lock_guard g(lock);
  eventProc = proc;
  return NET_OKAY;
}

NET_API void NetUnregisterCallback(void) {
  log("NetUnregisterCallback");
  std::lock_guard g(lock);
  eventProc = nullptr;
}

NET_API void NetStartDoc(uint16_t portId, uint32_t job) {
  log("NetStartDoc " + std::to_string(portId) + " " + std::to_string(job));
}
NET_API void NetEndDoc(uint16_t portId) {
  log("NetEndDoc " + std::to_string(portId));
}

NET_CHECK_ENTRY(NetEnumerate);
NET_CHECK_ENTRY(NetGetSpecificAddr);
NET_CHECK_ENTRY(NetEnumSpecific);
NET_CHECK_ENTRY(NetEnumSpecificPort);
NET_CHECK_ENTRY(NetEnumQueues);
NET_CHECK_ENTRY(NetOpen);
NET_CHECK_ENTRY(NetClose);
NET_CHECK_ENTRY(NetWrite);
NET_CHECK_ENTRY(NetIsAdmin);
NET_CHECK_ENTRY(NetIsQueueAdmin);
NET_CHECK_ENTRY(NetGetVersion);
NET_CHECK_ENTRY(NetGetInfo);
NET_CHECK_ENTRY(NetSetInfo);
NET_CHECK_ENTRY(NetRegisterCallback);
NET_CHECK_ENTRY(NetUnregisterCallback);
NET_CHECK_ENTRY(NetStartDoc);
NET_CHECK_ENTRY(NetEndDoc);
static_assert(std::is_same_v<decltype(&WF_MOCK_SHUTDOWN), NetShutDownFn>, "shutdown takes no arguments");

// ---- Control ---------------------------------------------------------------

MOCK_API void MockTransportReset(void) {
  std::lock_guard g(lock);
  ports.clear();
  writeReply.clear();
  writeStatus = 0;
  writeResult = -1;
  writes.clear();
  calls.clear();
  eventProc = nullptr;
  dataProcs.clear();
  reportPause = 0;
}

MOCK_API void MockTransportAddPort(const NETPORTINFO* port) {
  std::lock_guard g(lock);
  ports.push_back(*port);
  ports.back().connections |= WF_MOCK_BIT;
}

MOCK_API void MockTransportRemovePort(uint16_t portId) {
  std::lock_guard g(lock);
  std::erase_if(ports, [&](const NETPORTINFO& p) { return p.portId == portId; });
}

MOCK_API void MockTransportSetReportPause(uint32_t ms) {
  std::lock_guard g(lock);
  reportPause = ms;
}

MOCK_API void MockTransportSetWriteReply(const uint8_t* data, uint32_t length) {
  std::lock_guard g(lock);
  writeReply.assign(data, data + length);
}

MOCK_API void MockTransportSetWriteStatus(uint16_t status) {
  std::lock_guard g(lock);
  writeStatus = status;
}

MOCK_API void MockTransportSetWriteResult(int32_t result) {
  std::lock_guard g(lock);
  writeResult = result;
}

MOCK_API uint32_t MockTransportWrites(char* out, uint32_t size) {
  std::string all;
  {
    std::lock_guard g(lock);
    for (const std::string& w : writes) all += (all.empty() ? "" : "|") + w;
  }
  if (out && size) {
    const std::size_t n = std::min<std::size_t>(all.size(), size - 1);
    std::memcpy(out, all.data(), n);
    out[n] = '\0';
  }
  return static_cast<uint32_t>(all.size());
}

MOCK_API int32_t MockTransportRaiseEvent(uint16_t portId, uint32_t code, const void* data) {
  NETEVENTPROC proc;
  {
    std::lock_guard g(lock);
    proc = eventProc;
  }
  if (!proc) return 0;
  std::thread([&] { proc(WF_MOCK_BIT, portId, code, const_cast<void*>(data)); }).join();
  return 1;
}

MOCK_API int32_t MockTransportInjectData(uint16_t portId, const uint8_t* data, uint32_t length) {
  NETDATAPROC proc = nullptr;
  {
    std::lock_guard g(lock);
    for (auto& d : dataProcs)
      if (d.first == portId) proc = d.second;
  }
  if (!proc) return 0;
  std::thread([&] { proc(portId, data, length); }).join();
  return 1;
}

MOCK_API uint32_t MockTransportCallLog(char* out, uint32_t size) {
  std::string all;
  {
    std::lock_guard g(lock);
    for (const std::string& c : calls) all += (all.empty() ? "" : "|") + c;
  }
  if (out && size) {
    const std::size_t n = std::min<std::size_t>(all.size(), size - 1);
    std::memcpy(out, all.data(), n);
    out[n] = '\0';
  }
  return static_cast<uint32_t>(all.size());
}
