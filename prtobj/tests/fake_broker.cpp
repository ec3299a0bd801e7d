#include "fake_broker.h"

#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>

namespace fakebce {
namespace {

struct Names {
  std::int32_t rc = -14;
  std::string name, second;
};

struct State {
  std::mutex mutex;
  std::deque<Reply> replies;
  std::function<Reply(std::uint32_t, const std::string&)> responder;
  PRTINFO info{};
  std::int32_t infoRc = 0;
  std::int32_t captureRc = 0;
  std::map<std::uint32_t, Names> names;
  std::map<std::uint16_t, std::string> alerts;
  std::vector<Call> calls;
  // Several handles, print data and enumerations.
  std::map<std::uint16_t, std::pair<PRTINFO, std::int32_t>> infoByHandle;
  std::map<std::uint16_t, NETADDRESS> addresses;
  std::int32_t startDocRc = 0, writeRc = 0;
  std::vector<PRTINFO> enumerated;
  std::int32_t enumRc = 0;
  std::map<std::string, PRTINFO> specific;
  // Network information, by (set?, handle, bit, item).
  std::map<std::tuple<bool, std::uint16_t, std::uint32_t, std::uint16_t>, std::deque<NetAnswer>> netAnswers;
  std::uint32_t nets = 0;
  std::int32_t netsRc = 0;
};

State& state() {
  static State s;
  return s;
}

void copyName(char* out, const std::string& in) {
  if (!out) return;
  const std::size_t n = std::min<std::size_t>(in.size(), BCE_NAME_LENGTH - 1);
  std::memcpy(out, in.data(), n);
  out[n] = '\0';
}

}  // namespace

void setCaptureResult(std::int32_t rc) {
  std::lock_guard lock(state().mutex);
  state().captureRc = rc;
}

void reset() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.replies.clear();
  s.responder = nullptr;
  s.info = PRTINFO{};
  s.infoRc = 0;
  s.captureRc = 0;
  s.names.clear();
  s.alerts.clear();
  s.calls.clear();
  s.infoByHandle.clear();
  s.addresses.clear();
  s.startDocRc = s.writeRc = 0;
  s.enumerated.clear();
  s.enumRc = 0;
  s.specific.clear();
  s.netAnswers.clear();
  s.nets = 0;
  s.netsRc = 0;
}

void pushReply(std::int32_t rc, std::string bytes) {
  std::lock_guard lock(state().mutex);
  state().replies.push_back({rc, std::move(bytes)});
}

void setResponder(std::function<Reply(std::uint32_t, const std::string&)> responder) {
  std::lock_guard lock(state().mutex);
  state().responder = std::move(responder);
}

void setPrtInfo(const PRTINFO& info, std::int32_t rc) {
  std::lock_guard lock(state().mutex);
  state().info = info;
  state().infoRc = rc;
}

void setPrinterName(std::uint32_t netBit, std::string name, std::string secondName, std::int32_t rc) {
  std::lock_guard lock(state().mutex);
  state().names[netBit] = {rc, std::move(name), std::move(secondName)};
}

void setAlert(std::uint16_t key, std::string data) {
  std::lock_guard lock(state().mutex);
  state().alerts[key] = std::move(data);
}

std::vector<Call> calls() {
  std::lock_guard lock(state().mutex);
  return state().calls;
}

std::vector<Call> callsOf(const std::string& function) {
  std::vector<Call> out;
  for (auto& c : calls())
    if (c.function == function) out.push_back(c);
  return out;
}

}  // namespace fakebce

using fakebce::state;

BCEAPI int32_t BceSendBidi(uint32_t appId, uint32_t handle, uint32_t netMask, uint32_t code, void* reply,
                           uint32_t* replyLength, const void* request, uint32_t requestLength) {
  std::unique_lock lock(state().mutex);
  const std::string data(static_cast<const char*>(request), request ? requestLength : 0);
  state().calls.push_back({"BceSendBidi", appId, handle, netMask, code, data});
  fakebce::Reply answer;
  if (!state().replies.empty()) {
    answer = state().replies.front();
    state().replies.pop_front();
  } else if (state().responder) {
    auto responder = state().responder;
    lock.unlock();
    answer = responder(code, data);
  } else {
    answer = {BCE_ERR_BAD_REQUEST, {}};
  }
  if (!reply) {
    *replyLength = 0;
    return answer.rc;
  }
  const std::size_t n = std::min<std::size_t>(answer.bytes.size(), *replyLength);
  std::memcpy(reply, answer.bytes.data(), n);
  *replyLength = static_cast<uint32_t>(answer.rc == 0 ? answer.bytes.size() : 0);
  return answer.rc;
}

BCEAPI int32_t BceQueryAlerts(uint32_t appId, uint32_t alertKey, uint32_t handle, uint32_t flag, void* buffer,
                              uint16_t* length) {
  std::lock_guard lock(state().mutex);
  const std::string key{static_cast<char>(alertKey >> 8), static_cast<char>(alertKey & 0xFF)};
  state().calls.push_back({"BceQueryAlerts", appId, handle, flag, 0, key});
  auto it = state().alerts.find(static_cast<std::uint16_t>(alertKey));
  if (it == state().alerts.end()) return 1;
  const std::size_t n = std::min<std::size_t>(it->second.size(), *length);
  std::memcpy(buffer, it->second.data(), n);
  *length = static_cast<uint16_t>(n);
  return 0;
}

#ifndef WF_SCRIPTED_CORBCE_NO_PRTINFO
BCEAPI int32_t BceGetPrtInfo(uint32_t handle, PRTINFO* info, uint32_t refresh) {
  std::lock_guard lock(state().mutex);
  state().calls.push_back({"BceGetPrtInfo", 0, handle, 0, refresh, {}});
  if (auto it = state().infoByHandle.find(static_cast<std::uint16_t>(handle));
      it != state().infoByHandle.end()) {
    if (it->second.second == 0) *info = it->second.first;
    return it->second.second;
  }
  if (state().infoRc == 0) *info = state().info;
  return state().infoRc;
}
#endif

BCEAPI int32_t BceGetPrinterName(uint32_t handle, uint32_t netBit, char* name, char* secondName) {
  std::lock_guard lock(state().mutex);
  state().calls.push_back({"BceGetPrinterName", 0, handle, netBit, 0, {}});
  auto it = state().names.find(netBit);
  if (it == state().names.end()) return BCE_ERR_NOT_ON_NETWORK;
  if (it->second.rc == 0) {
    fakebce::copyName(name, it->second.name);
    fakebce::copyName(secondName, it->second.second);
  }
  return it->second.rc;
}

BCEAPI int32_t BceGetPrinterAddr(uint32_t handle, uint32_t netMask, NETADDRESS* address) {
  std::lock_guard lock(state().mutex);
  state().calls.push_back({"BceGetPrinterAddr", 0, handle, netMask, 0, {}});
  auto it = state().addresses.find(static_cast<std::uint16_t>(handle));
  *address = it == state().addresses.end() ? NETADDRESS{} : it->second;
  return 0;
}

BCEAPI int32_t BceIsUserAdmin(uint32_t) {
  return 1;
}

// ---- Printers of several handles, print data and enumerations ----

namespace fakebce {

void setPrtInfoFor(std::uint16_t handle, const PRTINFO& info, std::int32_t rc) {
  std::lock_guard lock(state().mutex);
  state().infoByHandle[handle] = {info, rc};
}

void setPrinterAddr(std::uint16_t handle, const NETADDRESS& address) {
  std::lock_guard lock(state().mutex);
  state().addresses[handle] = address;
}

void setDocResults(std::int32_t startDoc, std::int32_t write) {
  std::lock_guard lock(state().mutex);
  state().startDocRc = startDoc;
  state().writeRc = write;
}

void setEnumPrinters(std::vector<PRTINFO> printers, std::int32_t rc) {
  std::lock_guard lock(state().mutex);
  state().enumerated = std::move(printers);
  state().enumRc = rc;
}

void setSpecificPrinter(const std::string& localPort, const PRTINFO& info) {
  std::lock_guard lock(state().mutex);
  state().specific[localPort] = info;
}

}  // namespace fakebce

BCEAPI int32_t BceCaptureAlerts(uint32_t appId, uint32_t handle, const ALERTS* alerts, uint32_t,
                                uint32_t flag) {
  std::lock_guard lock(state().mutex);
  state().calls.push_back({"BceCaptureAlerts", appId, handle, alerts ? alerts->mask : 0, flag, {}});
  return state().captureRc;
}

BCEAPI int32_t BceReleaseAlerts(uint32_t appId, uint32_t handle, uint32_t flag) {
  std::lock_guard lock(state().mutex);
  state().calls.push_back({"BceReleaseAlerts", appId, handle, 0, flag, {}});
  return 0;
}

BCEAPI int32_t BceStartDoc(uint32_t handle, uint32_t netMask, uint32_t jobArgument) {
  std::lock_guard lock(state().mutex);
  state().calls.push_back({"BceStartDoc", 0, handle, netMask, jobArgument, {}});
  return state().startDocRc;
}

BCEAPI int32_t BceWrite(uint32_t appId, uint32_t handle, uint32_t netMask, void* data, uint32_t* length,
                        uint32_t raw) {
  std::lock_guard lock(state().mutex);
  std::string bytes(static_cast<const char*>(data), data && length ? *length : 0);
  state().calls.push_back({"BceWrite", appId, handle, netMask, raw, std::move(bytes)});
  return state().writeRc;
}

BCEAPI int32_t BceEndDoc(uint32_t handle, uint32_t netMask) {
  std::lock_guard lock(state().mutex);
  state().calls.push_back({"BceEndDoc", 0, handle, netMask, 0, {}});
  return 0;
}

BCEAPI int32_t BceEnumPrinters(uint32_t appId, uint32_t netMask, BCEENUMPROC proc) {
  std::vector<PRTINFO> printers;
  std::int32_t rc = 0;
  {
    std::lock_guard lock(state().mutex);
    state().calls.push_back({"BceEnumPrinters", appId, 0, netMask, 0, {}});
    printers = state().enumerated;
    rc = state().enumRc;
  }
  for (const PRTINFO& info : printers)
    if (proc && proc(&info) == 0) break;
  return rc;
}

BCEAPI int32_t BceEnumSpecific(uint32_t appId, const NETADDRESS* address, BCEENUMPROC proc, uint32_t tryAll) {
  PRTINFO found{};
  bool known = false;
  {
    std::lock_guard lock(state().mutex);
    const std::string port =
        address ? std::string(address->local, strnlen(address->local, sizeof address->local)) : "";
    state().calls.push_back({"BceEnumSpecific", appId, 0, 0, tryAll, port});
    auto it = state().specific.find(port);
    if (it != state().specific.end()) {
      found = it->second;
      known = true;
    }
  }
  if (known && proc) proc(&found);
  return known ? 0 : 1;
}

// ---- Network information ----

namespace fakebce {
namespace {

void pushNetAnswer(bool set, std::uint16_t handle, std::uint32_t bit, std::uint16_t item, NetAnswer answer) {
  std::lock_guard lock(state().mutex);
  state().netAnswers[{set, handle, bit, item}].push_back(std::move(answer));
}

NetAnswer takeNetAnswer(bool set, const Call& call) {
  std::lock_guard lock(state().mutex);
  state().calls.push_back(call);
  auto it = state().netAnswers.find(
      {set, static_cast<std::uint16_t>(call.handle), call.netMask, static_cast<std::uint16_t>(call.code)});
  if (it == state().netAnswers.end() || it->second.empty()) return NetAnswer{BCE_FAIL, {}, {}, 0, 0};
  NetAnswer answer = it->second.front();
  if (it->second.size() > 1) it->second.pop_front();
  return answer;
}

void waitOut(const NetAnswer& answer) {
  if (answer.delayMs) std::this_thread::sleep_for(std::chrono::milliseconds(answer.delayMs));
}

}  // namespace

void pushGetNetInfo(std::uint16_t handle, std::uint32_t bit, std::uint16_t item, NetAnswer answer) {
  pushNetAnswer(false, handle, bit, item, std::move(answer));
}

void pushSetNetInfo(std::uint16_t handle, std::uint32_t bit, std::uint16_t item, NetAnswer answer) {
  pushNetAnswer(true, handle, bit, item, std::move(answer));
}

void setNets(std::uint32_t mask, std::int32_t rc) {
  std::lock_guard lock(state().mutex);
  state().nets = mask;
  state().netsRc = rc;
}

}  // namespace fakebce

BCEAPI int32_t BceGetNets(uint32_t* netMask) {
  std::lock_guard lock(state().mutex);
  state().calls.push_back({"BceGetNets", 0, 0, 0, 0, {}});
  if (state().netsRc == 0 && netMask) *netMask = state().nets;
  return state().netsRc;
}

BCEAPI int32_t BceGetNetInfo(uint32_t handle, uint32_t netMask, uint32_t infoCode, void* buffer, uint16_t* length,
                             BCENETITEMPROC itemProc) {
  const std::size_t capacity = buffer && length ? *length : 0;
  const fakebce::NetAnswer answer = fakebce::takeNetAnswer(
      false, {"BceGetNetInfo", 0, handle & 0xFFFF, netMask, infoCode & 0xFFFF,
              std::string(static_cast<const char*>(buffer), capacity)});
  fakebce::waitOut(answer);
  if (itemProc)
    for (const std::string& item : answer.items) itemProc(item.data(), static_cast<uint16_t>(item.size()));
  if (answer.rc != 0) {
    if (length) *length = answer.lengthOnFailure;
    return answer.rc;
  }
  const std::size_t n = std::min(capacity, answer.bytes.size());
  if (n) std::memcpy(buffer, answer.bytes.data(), n);
  if (length) *length = static_cast<uint16_t>(n);
  return 0;
}

BCEAPI int32_t BceSetNetInfo(uint32_t handle, uint32_t netMask, uint32_t infoCode, const void* buffer,
                             uint16_t length) {
  const fakebce::NetAnswer answer = fakebce::takeNetAnswer(
      true, {"BceSetNetInfo", 0, handle & 0xFFFF, netMask, infoCode & 0xFFFF,
             std::string(static_cast<const char*>(buffer), buffer ? length : 0)});
  fakebce::waitOut(answer);
  return answer.rc;
}

#ifdef WF_SCRIPTED_CORBCE_MODULE
// Loaded by name as "CORBCE.DLL": the environment can make its attach refuse.
#include <cstdlib>

#include "platform/module.h"

namespace {
bool attachScriptedBroker() {
  if (const char* refuse = std::getenv("WF_SCRIPTED_CORBCE_REFUSE"); refuse && *refuse == '1') {
    wf::setAttachRefusal("scripted broker: told to refuse");
    return false;
  }
  return true;
}
void detachScriptedBroker() {}
}  // namespace

WF_MODULE_ENTRY(attachScriptedBroker, detachScriptedBroker)
#endif
