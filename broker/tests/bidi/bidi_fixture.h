#pragma once
// The fixture of the broker's end-to-end tests: printers simulated in the
// test process, the broker in helper processes (wf-testchild bidi), the world
// outside (spooler, transports) set up before they start.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "broker/corbce.h"
#include "child_process.h"
#include "platform/clock.h"
#include "platform/module.h"
#include "platform/runtime_dir.h"
#include "sim/printer/port_server.h"
#include "test_dirs.h"

namespace bidi_testing {

using wf::testing::askUntil;
using wf::testing::ChildProcess;
using wf::testing::eventually;
namespace sim = wf::sim;

inline sim::Profile profile(const std::string& deviceId, sim::NpaMode npa = sim::NpaMode::On,
                            bool pjlSilent = false) {
  auto p = sim::parseProfile(
      "family = Meridian\nmodel = \"Vireo 10\"\nrevision = \"1\"\nserial = \"S1\"\n"
      "max-packet = 1024\nstatus = 00 00 00\n");
  p->deviceId = deviceId;
  p->npa = npa;
  p->pjlSilent = pjlSilent;
  return *p;
}

inline std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

inline std::string hex(std::string_view bytes) {
  std::string out;
  char b[4];
  for (unsigned char c : bytes) {
    std::snprintf(b, sizeof b, "%02X", c);
    out += b;
  }
  return out;
}

// A message posted to a helper's alert window: the alert's window message,
// its key and printer handle (wParam) and its class mask (lParam).
struct Posted {
  std::uint32_t message = 0;
  std::uint16_t key = 0;
  std::uint16_t handle = 0;
  std::uint32_t mask = 0;
  bool operator==(const Posted&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const Posted& p) {
    return out << p.message << " key " << p.key << " handle " << p.handle << " mask 0x" << std::hex << p.mask
               << std::dec;
  }
};

// What `app`'s alert window has been posted since the last asking.
inline std::vector<Posted> postsOf(ChildProcess& app) {
  const auto answer = app.ask("posts");
  if (!answer.ok) throw std::runtime_error("posts: " + answer.error);
  std::vector<Posted> out;
  for (const std::string& field : answer.fields) {
    unsigned message = 0, wParam = 0, lParam = 0;
    if (std::sscanf(field.c_str(), "%u:%x:%x", &message, &wParam, &lParam) != 3)
      throw std::runtime_error("posts: " + field);
    out.push_back(
        {message, static_cast<std::uint16_t>(wParam >> 16), static_cast<std::uint16_t>(wParam), lParam});
  }
  return out;
}

class BidiFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("WRENFIELD_TIME_SCALE", "0.01", 1);
    wf::setTimeScaleForTest(0.01);
    ::setenv("WRENFIELD_MODULE_PATH", (wf::moduleDirectory() / "mock-transports").c_str(), 1);
    ::setenv("WRENFIELD_SCENARIO", (wf::testing::testRuntimeDir() / "scenario").c_str(), 1);
  }

  // The world the helper processes see; before they start.
  static void scenario(const std::string& text) {
    ASSERT_TRUE(wf::runtimeDir());  // made owner-only before anything is put there
    std::ofstream(wf::testing::testRuntimeDir() / "scenario") << text;
  }

  void serve(int port, sim::Profile p) {
    models[port] = std::make_shared<sim::PrinterModel>(std::move(p));
    servers[port] = sim::PortServer::start(port, models[port]);
    ASSERT_TRUE(servers[port]);
  }
  void startPrimary() {
    primary = std::make_unique<ChildProcess>(ChildProcess::withCommands("bidi"));
    ASSERT_EQ(primary->call("primary"), "ok 1");
    ASSERT_EQ(primary->call("register"), "ok 0");
  }
  std::unique_ptr<ChildProcess> startSecondary(int expectId) {
    auto s = std::make_unique<ChildProcess>(ChildProcess::withCommands("bidi"));
    EXPECT_EQ(s->call("register"), "ok " + std::to_string(expectId));
    return s;
  }
  // What the printer received of one kind, hex; packets by default, sync packets left out.
  std::vector<std::string> packetsIn(int port, sim::LogKind kind = sim::LogKind::Packet) {
    std::vector<std::string> out;
    for (const auto& e : models[port]->log())
      if (e.direction == sim::Direction::Received && e.kind == kind) out.push_back(hex(e.bytes));
    return out;
  }

  std::shared_ptr<sim::PrinterModel> models[10];
  std::unique_ptr<sim::PortServer> servers[10];
  std::unique_ptr<ChildProcess> primary;
};

}  // namespace bidi_testing
