#pragma once
// The entry-point contract every transport keeps, as one parameterised
// suite. A transport's tests instantiate TransportContract with a subject
// that can bring up two ports and make the transport raise an event and
// deliver data for one of them:
//
//   INSTANTIATE_TEST_SUITE_P(Mine, TransportContract, ::testing::Values(mySubject()),
//                            [](const auto& info) { return info.param.name; });
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "transports/testing/transport_harness.h"

namespace wf::transports::testing {

struct ContractSubject {
  std::string name;      // test-name suffix
  std::string fileName;  // loaded by file name
  std::uint32_t networkBit = 0;
  bool exportsShutDown = true;  // under exactly "NetShutDown"
  // What the transport answers where it answers otherwise than most: an
  // unknown port id, a walk the callback stopped, a second registration.
  std::int32_t unknownAddressAnswer = NET_BADID;  // NetGetSpecificAddr
  std::int32_t unknownOpenAnswer = NET_BADID;
  std::int32_t unknownWriteAnswer = NET_BADID;
  std::int32_t unknownInfoAnswer = NET_BADID;
  std::int32_t stoppedWalkAnswer = NET_OKAY;
  bool secondRegistrationRefused = false;  // a second NetRegisterCallback answers 1, keeps the first
  // Makes the transport find at least two ports (before NetEnumerate).
  std::function<void(TransportHarness&)> prepare;
  // Makes the transport raise an event for the port and returns once it has
  // been handed to whatever callback is registered (or would have been).
  // Empty when the transport raises none yet: the cases that need it skip.
  std::function<void(TransportHarness&, std::uint16_t portId)> raiseEvent;
  // Makes the transport deliver one unsolicited packet for the port; returns
  // once the data callback has been called (or would have been). Empty: as above.
  std::function<void(TransportHarness&, std::uint16_t portId)> deliverData;
};

inline void PrintTo(const ContractSubject& s, std::ostream* os) {
  *os << s.name;
}

class TransportContract : public ::testing::TestWithParam<ContractSubject> {
 protected:
  void SetUp() override;
  void TearDown() override { harness.reset(); }
  // Enumerates and returns the port ids reported (at least two, or the test fails).
  std::vector<std::uint16_t> enumeratePorts();
  std::unique_ptr<TransportHarness> harness;
};

}  // namespace wf::transports::testing
