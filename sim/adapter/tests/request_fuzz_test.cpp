// Randomised requests against the adapter's parser, in process: no crash,
// no read past the request, and a malformed request gets no answer.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "sim/adapter/adapter_model.h"
#include "transports/common/adapter_wire.h"

namespace wf::sim::adapter {
namespace {

namespace wire = ::wf::adapter;

TEST(AdapterRequestFuzz, ParserStaysInsideTheRequest) {
  std::string error;
  auto config = loadAdapter(std::filesystem::path(WF_SIM_PROFILE_DIR) / "portbay-npa.adapter", &error);
  ASSERT_TRUE(config) << error;
  config->knobs = Knobs{};
  std::mt19937 rng(3401);
  const Bytes valid = wire::VariableRead().add(6, 2).add(144, 255).add(8, 2).packet();
  AdapterModel model(*config);  // writes that land change it; that is fine here
  for (int round = 0; round < 20000; ++round) {
    Bytes request;
    if (round % 2) {
      request = valid;
      for (int flips = 1 + static_cast<int>(rng() % 4); flips > 0; --flips)
        request[rng() % request.size()] = static_cast<std::uint8_t>(rng());
      request.resize(rng() % (request.size() + 4), static_cast<std::uint8_t>(rng()));
    } else {
      request.resize(rng() % 80);
      for (auto& b : request) b = static_cast<std::uint8_t>(rng() % 8 == 0 ? rng() : rng() % 12);
      if (!request.empty()) request[0] = wire::kNpaStart;
    }
    const auto exact = std::make_unique<std::uint8_t[]>(request.size() + 1);
    std::copy(request.begin(), request.end(), exact.get());
    const View v(exact.get(), request.size());
    const Response variables = model.onVariables(v);
    const Response command = model.onCommand(v);
    for (const Response* r : {&variables, &command}) {
      if (r->datagrams.empty()) {
        EXPECT_FALSE(r->note.empty()) << "round " << round << ": no answer and no reason";
      }
    }
    // Whatever the adapter answers, the transports can read.
    for (const Bytes& d : variables.datagrams) {
      ASSERT_GE(d.size(), 2u);
      EXPECT_TRUE(wire::readVariableReply(wire::View(d).subspan(2))) << "round " << round;
    }
    if (::testing::Test::HasFailure()) return;
  }
}

}  // namespace
}  // namespace wf::sim::adapter
