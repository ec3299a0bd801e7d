#pragma once
// The CorLink world for the transport's tests: the scenario the network
// neighbourhood reads, its servers played in process, a fake server for the
// bytes no well-behaved server sends, and the transport's log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "corlink_transport.h"
#include "platform/named_pipe.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/thread.h"
#include "sim/corlink/simulator.h"
#include "sim/printer/alerts.h"
#include "test_dirs.h"

namespace wf::corlink::testing {

inline void setStartUpDword(const char* name, std::uint32_t value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kStartUpKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const BYTE bytes[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
                         static_cast<BYTE>(value >> 24)};
  RegSetValueExA(key, name, 0, REG_DWORD, bytes, 4);
  RegCloseKey(key);
}

inline void setStartUpText(const char* name, const std::string& text) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kStartUpKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
}

// The value as stored: type and bytes; type 0 when missing.
inline std::pair<DWORD, std::string> startUpValue(const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kStartUpKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return {0, ""};
  DWORD type = 0, size = 4096;
  std::string bytes(size, '\0');
  const LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS) return {0, ""};
  bytes.resize(size);
  return {type, bytes};
}

// The list's text as stored, up to its terminator.
inline std::string startUpList(const char* name) {
  const std::string bytes = startUpValue(name).second;
  return bytes.substr(0, bytes.find('\0'));
}

inline std::string corcl32Log() {
  auto path = mapSystemPath("C:\\CORCL32.LOG");
  if (!path) return {};
  std::ifstream in(*path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A capture request for the device-status class, in the printer's own encoding.
inline std::vector<std::uint8_t> deviceStatusCapture() {
  std::uint8_t classes[3] = {};
  for (int byte = 0; byte < 3; ++byte)
    for (int bit = 0; bit < 8; ++bit) {
      std::uint8_t probe[3] = {};
      probe[byte] = static_cast<std::uint8_t>(1 << bit);
      if (::wf::sim::alerts::maskFromCapture(probe[0], probe[1], probe[2]) & 0x4) classes[byte] |= probe[byte];
    }
  return {0xA5, 0x00, 0x06, 0x50, 0x03, 0x03, classes[0], classes[1], classes[2]};
}

class CorLinkWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("WRENFIELD_SCENARIO", WF_CORLINK_WORLD, 1);
    sim_.emplace();
    std::string error;
    ASSERT_TRUE(sim_->loadScenario(WF_CORLINK_WORLD, &error)) << error;
    ASSERT_TRUE(line("jobs = " + (::wf::testing::testDataRoot() / "jobs").string()));
  }
  void TearDown() override {
    transport_.reset();
    sim_.reset();
  }

  // A transport started with "Logging Level" `level`.
  CorLinkTransport& start(std::uint32_t level = 0xFF) {
    setStartUpDword(kValueLoggingLevel, level);
    std::string error;
    transport_ = CorLinkTransport::start(&error);
    if (!transport_) throw std::runtime_error("start: " + error);
    return *transport_;
  }

  bool line(const std::string& text) {
    std::string error;
    const bool ok = sim_->apply(text, ::wf::testing::testDataRoot(), &error);
    if (!ok) ADD_FAILURE() << text << ": " << error;
    return ok;
  }

  // The simulator's frames of one server and pipe, hex, in order.
  std::vector<std::string> frames(const std::string& server, const std::string& pipe = "request") {
    std::vector<std::string> out;
    for (const auto& l : sim_->log()) {
      for (const char* direction : {" in ", " out "}) {
        const std::string prefix = server + direction + pipe + " ";
        if (l.rfind(prefix, 0) == 0) out.push_back(std::string(direction == std::string(" in ") ? "in " : "out ") + l.substr(prefix.size()));
      }
    }
    return out;
  }

  std::optional<sim::corlink::CorLinkSimulator> sim_;
  std::unique_ptr<CorLinkTransport> transport_;
};

// A server that answers by script: each accepted request pipe runs `script`.
class FakeServer {
 public:
  using Script = std::function<void(NamedPipe&)>;
  FakeServer(const std::string& name, Script script) {
    request_.emplace(*PipeListener::listen("\\\\" + name + "\\PIPE\\Corvane\\Wrenfi.eld", PipeMode::Byte));
    alert_.emplace(*PipeListener::listen("\\\\" + name + "\\PIPE\\Corvane\\DSAs", PipeMode::Byte));
    requestThread_ = Thread("fake-request", [this, script](std::stop_token stop) {
      while (auto pipe = request_->accept(nullptr, kInfinite, stop)) script(*pipe);
    });
    alertThread_ = Thread("fake-alert", [this](std::stop_token stop) {
      while (auto pipe = alert_->accept(nullptr, kInfinite, stop)) alerts_.push_back(std::move(*pipe));
    });
  }
  ~FakeServer() {
    request_->cancel();
    alert_->cancel();
  }

  // Reads one frame as sent; empty when none came in `ms`.
  static std::vector<std::uint8_t> readFrame(NamedPipe& pipe, std::uint32_t ms = 10'000) {
    std::vector<std::uint8_t> f(9);
    if (!readAll(pipe, f.data(), 9, ms)) return {};
    f.resize(std::max<std::size_t>(9, (std::size_t{f[0]} << 8) | f[1]));
    if (!readAll(pipe, f.data() + 9, f.size() - 9, ms)) return {};
    return f;
  }
  static bool readAll(NamedPipe& pipe, std::uint8_t* out, std::size_t size, std::uint32_t ms) {
    std::size_t done = 0;
    while (done < size) {
      std::size_t got = 0;
      if (pipe.read(out + done, size - done, &got, ms) != ERROR_SUCCESS) return false;
      done += got;
    }
    return true;
  }
  // Acknowledges a request frame as a well-behaved server does.
  static void acknowledge(NamedPipe& pipe, std::vector<std::uint8_t> frame) {
    const std::size_t block = (std::size_t{frame[7]} << 8) | frame[8];
    frame.resize(9 + block);
    frame[0] = 0;
    frame[1] = static_cast<std::uint8_t>(9 + block);
    frame[5] |= 0x20;
    frame[6] |= 0x80;
    pipe.write(frame.data(), frame.size());
  }

 private:
  std::optional<PipeListener> request_, alert_;
  std::vector<NamedPipe> alerts_;
  Thread requestThread_, alertThread_;
};

}  // namespace wf::corlink::testing
