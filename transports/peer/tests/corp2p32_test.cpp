#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "peer_world.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/window_messages.h"
#include "testing/eventually.h"
#include "transports/testing/contract_suite.h"

namespace wf::peer::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using transports::testing::ContractSubject;
using transports::testing::TransportContract;

std::string nameOf(const NETPORTINFO& r) {
  return r.portName;
}

std::vector<std::string> namesOf(const std::vector<NETPORTINFO>& reports) {
  std::vector<std::string> out;
  for (const auto& r : reports) out.push_back(nameOf(r));
  return out;
}

// The peer of a reported port, by its name "\\PEER\SHARE".
std::string peerOfPort(TransportHarness& h, std::uint16_t portId) {
  for (const auto& r : h.reports()) {
    if (r.portId != portId) continue;
    std::string name = r.portName;
    return name.substr(2, name.find('\\', 2) - 2);
  }
  return "";
}

// The contract, on a world where the walk finds PEER1's printer and PEER10's.
// The peers live from the subject's preparation to the next one's.
sim::peer::PeerSimulator* gContractPeers = nullptr;

ContractSubject peerSubject() {
  // Read by the transport's worker as it starts, so set before any load.
  ::setenv("WRENFIELD_SCENARIO", WF_PEER_CONTRACT_SCENARIO, 1);
  ContractSubject s;
  s.name = "Corp2p32";
  s.fileName = "CORP2P32.DLL";
  s.networkBit = 0x10;
  s.unknownAddressAnswer = NET_FAIL;
  s.unknownOpenAnswer = NET_FAIL;
  s.unknownWriteAnswer = 0;
  s.unknownInfoAnswer = NET_BADCMD;
  s.stoppedWalkAnswer = NET_FAIL;
  s.prepare = [](TransportHarness&) {
    delete gContractPeers;
    gContractPeers = new sim::peer::PeerSimulator;
    std::string error;
    ASSERT_TRUE(gContractPeers->loadScenario(WF_PEER_CONTRACT_SCENARIO, &error)) << error;
  };
  s.raiseEvent = [](TransportHarness& h, std::uint16_t portId) {
    // Reconnects first: a disconnect ends the conversation it comes on.
    h.enumerate();
    std::string error;
    gContractPeers->apply(peerOfPort(h, portId) + ".disconnect", ".", &error);
  };
  s.deliverData = [](TransportHarness& h, std::uint16_t portId) {
    const std::string peer = peerOfPort(h, portId);
    std::string error;
    gContractPeers->apply(peer + ".raise-status = " + (peer == "PEER10" ? "3" : "7") + " 0x4", ".", &error);
  };
  return s;
}

INSTANTIATE_TEST_SUITE_P(Peer, TransportContract, ::testing::Values(peerSubject()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace wf::peer::testing
