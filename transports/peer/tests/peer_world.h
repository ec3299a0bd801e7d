#pragma once
// A peer world for CORP2P32's tests: the neighbourhood in the scenario file,
// the peers simulated in process, the transport loaded by file name through
// the harness (it starts the NetDDE agent, which ends with the test).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/registry.h"
#include "platform/runtime_dir.h"
#include "sim/peer/simulator.h"
#include "transports/testing/transport_harness.h"

namespace wf::peer::testing {

using transports::testing::TransportHarness;

// WG1 holds the workstation MYPC (sharing a printer too), PEER1 and PEER10;
// WG2 holds PEER2; PEER3 is in no workgroup. LPT2 goes to PEER1's COLOR2.
inline std::string peerWorld(const std::string& workstationGroup = "WG1", const std::string& extra = "") {
  return "[network.workstation]\ncomputer = mypc\nworkgroup = " + workstationGroup +
         "\n[network.domains]\nWG1 = MYPC, PEER1, PEER10\nWG2 = PEER2\n"
         "[network.redirections]\nLPT2 = \\\\peer1\\color2\n"
         "[peers]\nprofiles = " WF_SIM_PROFILE_DIR "\n"
         "PEER1.printer = LASER | 7 | 0003 | meridian-vireo10.profile\n"
         "PEER1.printer = COLOR,COLOR2 | 9 | 0 | meridian-vireo10.profile\n"
         "PEER10.printer = INK | 3 | 0 | meridian-vireo10.profile\n"
         "PEER2.printer = WIDE | 4 | 0 | meridian-vireo10.profile\n"
         "PEER3.printer = MONO | 5 | 0 | meridian-vireo10.profile\n"
         "MYPC.printer = OWN | 1 | 0 | meridian-vireo10.profile\n" +
         extra;
}

inline void setCorPeerByte(const char* name, BYTE value) {
  HKEY key = nullptr;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Wrenfield\\CorPeer", 0, nullptr, REG_OPTION_NON_VOLATILE,
                  KEY_ALL_ACCESS, nullptr, &key, nullptr);
  RegSetValueExA(key, name, 0, REG_BINARY, &value, 1);
  RegCloseKey(key);
}

class PeerWorld : public ::testing::Test {
 protected:
  void SetUp() override { startWorld(peerWorld()); }
  void TearDown() override {
    harness.reset();
    peers.reset();
  }
  void startWorld(const std::string& text) {
    harness.reset();
    peers.reset();
    const auto file = *dataRoot() / "scenario";
    std::ofstream(file) << text;
    ::setenv("WRENFIELD_SCENARIO", file.c_str(), 1);
    peers = std::make_unique<sim::peer::PeerSimulator>();
    std::string error;
    ASSERT_TRUE(peers->loadScenario(file, &error)) << error;
    harness = TransportHarness::load("CORP2P32.DLL", 0x10, &error);
    ASSERT_TRUE(harness) << error;
  }
  std::string apply(const std::string& line) {
    std::string error;
    auto answer = peers->apply(line, std::filesystem::current_path(), &error);
    return answer ? "ok" + (answer->empty() ? "" : " " + *answer) : "err " + error;
  }
  std::size_t logCount(const std::string& text) const {
    std::size_t n = 0;
    for (const auto& line : peers->log()) n += line.find(text) != std::string::npos;
    return n;
  }
  // The report of the port whose name is `name` (the last one), or null.
  const NETPORTINFO* reportNamed(const std::vector<NETPORTINFO>& reports, const std::string& name) const {
    const NETPORTINFO* found = nullptr;
    for (const auto& r : reports) {
      if (name == r.portName) found = &r;
    }
    return found;
  }
  std::uint16_t portIdOf(const std::string& name) {
    const auto all = harness->reports();
    const NETPORTINFO* r = reportNamed(all, name);
    return r ? r->portId : 0;
  }

  std::unique_ptr<sim::peer::PeerSimulator> peers;
  std::unique_ptr<TransportHarness> harness;
};

}  // namespace wf::peer::testing
