#include "fake_broker.h"

#include <cstring>
#include <deque>
#include <map>
#include <mutex>

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
  std::map<std::uint32_t, Names> names;
  std::map<std::uint16_t, std::string> alerts;
  std::vector<Call> calls;
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

void reset() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.replies.clear();
  s.responder = nullptr;
  s.info = PRTINFO{};
  s.infoRc = 0;
  s.names.clear();
  s.alerts.clear();
  s.calls.clear();
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

BCEAPI int32_t BceGetPrtInfo(uint32_t handle, PRTINFO* info, uint32_t refresh) {
  std::lock_guard lock(state().mutex);
  state().calls.push_back({"BceGetPrtInfo", 0, handle, 0, refresh, {}});
  if (state().infoRc == 0) *info = state().info;
  return state().infoRc;
}

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
  *address = NETADDRESS{};
  return 0;
}

BCEAPI int32_t BceIsUserAdmin(uint32_t) { return 1; }
