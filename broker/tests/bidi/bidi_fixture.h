#pragma once
// The fixture of the broker's end-to-end tests: printers simulated in the
// test process, the broker in helper processes (wf-testchild bidi), the world
// outside (spooler, transports) set up before they start.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "broker/corbce.h"
#include "child/bidi_child.h"
#include "platform/clock.h"
#include "platform/module.h"
#include "platform/runtime_dir.h"
#include "sim/printer/port_server.h"
#include "test_dirs.h"

namespace bidi_testing {

using wf::testing::BidiChild;
using wf::testing::BufferReply;
using wf::testing::eventually;
using wf::testing::ListedPrinter;
using wf::testing::PortState;
using wf::testing::Posted;
using wf::testing::PrinterListing;
using wf::testing::valueUntil;
using wf::testing::Written;
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

inline std::string hex(std::string_view bytes) {
  std::string out;
  char b[4];
  for (unsigned char c : bytes) {
    std::snprintf(b, sizeof b, "%02X", c);
    out += b;
  }
  return out;
}

// What `app`'s alert window has been posted since the last asking.
inline std::vector<Posted> postsOf(BidiChild& app) {
  return app.posts();
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
    primary = std::make_unique<BidiChild>();
    ASSERT_TRUE(primary->isPrimary());
    ASSERT_EQ(primary->registerApp(), 0);
  }
  std::unique_ptr<BidiChild> startSecondary(int expectId) {
    auto s = std::make_unique<BidiChild>();
    EXPECT_EQ(s->registerApp(), expectId);
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
  std::unique_ptr<BidiChild> primary;
};

}  // namespace bidi_testing
