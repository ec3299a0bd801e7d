// The transport contract on libcorcl32.so, loaded by file name, against two
// ports of SRV1 played in process. Where CORCL32 answers otherwise than most
// transports the subject says so: NetOpen 1 and NetWrite 0 for an unknown id,
// a second registration refused, no NetShutDown.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>
#include <optional>

#include "corlink_fixture.h"
#include "eventually.h"
#include "platform/clock.h"
#include "transports/testing/contract_suite.h"

namespace wf::corlink::testing {
namespace {

using transports::testing::TransportHarness;

// SRV1 alone, two ports of one adapter, one of them behind LPT1.
std::filesystem::path contractWorldFile() {
  return std::filesystem::temp_directory_path() / ("corcl32-contract-" + std::to_string(::getpid()) + ".scenario");
}

void writeContractWorld() {
  const auto profiles = std::filesystem::path(WF_CORLINK_WORLD).parent_path() / ".." / "profiles";
  std::ofstream(contractWorldFile()) << "[corlink.servers]\nadapters = " << profiles.string()
                                     << "\nSRV1.administrators = ALICE\nSRV1.A = portbay-npa.adapter\n"
                                        "SRV1.A.node = 0000C0010203\n"
                                        "SRV1.A.port1 = VIREO1, Q_VIREO, 0, meridian-vireo10.profile\n"
                                        "SRV1.A.port2 = VIREO2, Q_VIREO2, 0, meridian-vireo10plus.profile\n"
                                        "[network.workstation]\ncomputer = WS1\nworkgroup = PRINTGRP\nuser = ALICE\n"
                                        "[network.redirections]\nLPT1 = \\\\SRV1\\Q_VIREO\n";
}

std::unique_ptr<sim::corlink::CorLinkSimulator>& contractSim() {
  static std::unique_ptr<sim::corlink::CorLinkSimulator> sim;
  return sim;
}

std::string nicknameOf(TransportHarness& h, std::uint16_t portId) {
  for (const NETPORTINFO& p : h.reports())
    if (p.portId == portId) return p.portName;
  ADD_FAILURE() << "port " << portId << " was never reported";
  return {};
}

// The server's end of the alert pipe is taken up after the client's connect returns.
void awaitAlertPipe() {
  EXPECT_TRUE(::wf::testing::eventually([] { return contractSim()->server("SRV1")->openAlertPipes() > 0; }));
}

void apply(const std::string& text) {
  std::string error;
  EXPECT_TRUE(contractSim()->apply(text, ::wf::testing::testDataRoot(), &error)) << text << ": " << error;
}

// A device-status alert: the class captured through the port, then raised.
void raiseStatus(TransportHarness& h, std::uint16_t port) {
  h.write(port, deviceStatusCapture(), 256, 1);
  awaitAlertPipe();
  apply("SRV1.raise-status = " + nicknameOf(h, port) + " 4");
}

transports::testing::ContractSubject corcl32Subject() {
  transports::testing::ContractSubject s;
  s.name = "Corcl32";
  s.fileName = "corcl32.dll";
  s.networkBit = BCE_NET_CORLINK;
  s.exportsShutDown = false;
  s.unknownOpenAnswer = NET_FAIL;
  s.unknownWriteAnswer = 0;
  s.secondRegistrationRefused = true;
  s.prepare = [](TransportHarness&) {
    setTimeScaleForTest(0.2);
    contractSim() = std::make_unique<sim::corlink::CorLinkSimulator>();
    std::string error;
    ASSERT_TRUE(contractSim()->loadScenario(contractWorldFile(), &error)) << error;
  };
  // Notice 130 for the port, then printer data on the same alert pipe: once
  // the data is in, the notice has been handled, even when its event was dropped.
  s.raiseEvent = [](TransportHarness& h, std::uint16_t port) {
    h.open(port);
    const std::size_t before = h.packets().size();
    awaitAlertPipe();
    apply("SRV1.notice = " + nicknameOf(h, port) + " 130");
    raiseStatus(h, port);
    EXPECT_TRUE(h.waitForPackets(before + 1, 10'000));
  };
  s.deliverData = raiseStatus;
  return s;
}

// CORCL32 reads its options at load, before the subject is prepared.
class ContractWorldEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    writeContractWorld();
    ::setenv("WRENFIELD_SCENARIO", contractWorldFile().c_str(), 1);
  }
  void TearDown() override {
    contractSim().reset();
    std::error_code ec;
    std::filesystem::remove(contractWorldFile(), ec);
  }
};
const auto* const contractEnvironment = ::testing::AddGlobalTestEnvironment(new ContractWorldEnvironment);

}  // namespace
}  // namespace wf::corlink::testing

namespace wf::transports::testing {
INSTANTIATE_TEST_SUITE_P(CorLink, TransportContract, ::testing::Values(corlink::testing::corcl32Subject()),
                         [](const auto& info) { return info.param.name; });
}  // namespace wf::transports::testing
