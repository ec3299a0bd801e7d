#pragma once
// The information items' tests: the three kinds of adapter on the segment,
// the transport enumerated, records got and set by port name, and the text
// commands each simulated adapter received read back from its log.
#include <cstring>
#include <sstream>

#include "netware_fixture.h"

namespace wf::netware::testing {

// Results come back from the harness as the broker gives them: 16 bits.
inline std::int32_t wide(std::int32_t rc) {
  return static_cast<std::uint16_t>(rc);
}

inline std::string textOf(const char* field, std::size_t n) {
  return std::string(field, strnlen(field, n));
}

inline Bytes fromHex(const std::string& text) {
  Bytes b;
  std::istringstream in(text);
  for (std::string h; in >> h;) b.push_back(static_cast<std::uint8_t>(std::stoul(h, nullptr, 16)));
  return b;
}

class ItemsTest : public NetWareTest {
 protected:
  void startWith(const std::string& world, AdapterConfig pb, AdapterConfig ks, AdapterConfig ex) {
    giveWorld(world);
    startAdapter("PB", std::move(pb));
    startAdapter("KS", std::move(ks));
    startAdapter("EX", std::move(ex));
    ASSERT_TRUE(loadTransport());
    ASSERT_EQ(harness->enumerate(), NET_OKAY);
    harness->registerEvents();
  }
  std::uint16_t handle(const std::string& port) {
    const auto byName = reportsByName();
    const auto it = byName.find(port);
    EXPECT_NE(it, byName.end()) << port;
    return it == byName.end() ? 0 : harness->handleOf(it->second.portId);
  }
  std::uint16_t portId(const std::string& port) { return reportsByName()[port].portId; }
  template <typename Record>
  std::int32_t get(const std::string& port, std::uint16_t item, Record& r) {
    std::uint16_t length = sizeof r;
    return harness->getInfo(handle(port), item, &r, &length);
  }
  template <typename Record>
  std::int32_t set(const std::string& port, std::uint16_t item, const Record& r) {
    return harness->setInfo(handle(port), item, &r, sizeof r);
  }
  // What reached adapter `id` on `socket`, in order: the bytes after the sender's address.
  std::vector<Bytes> received(const std::string& id, const char* socket) const {
    std::vector<Bytes> found;
    const std::string prefix = id + " in " + socket + " ";
    for (const std::string& line : sim.log())
      if (line.starts_with(prefix)) found.push_back(fromHex(line.substr(line.find(' ', prefix.size()) + 1)));
    return found;
  }
  // The text commands with `tag` that reached adapter `id`.
  std::vector<Bytes> commands(const std::string& id, std::string_view tag) const {
    std::vector<Bytes> found;
    for (Bytes& d : received(id, "83C1"))
      if (wire::tagIs(d, tag)) found.push_back(std::move(d));
    return found;
  }
  std::size_t inCount(const std::string& id) const {
    return received(id, "83C1").size() + received(id, "861C").size();
  }
  std::uint32_t restarts(const std::string& id) { return sim.adapter(id)->restarts(); }
};

}  // namespace wf::netware::testing
