#include "ip_world.h"

#include <charconv>

namespace wf::corip {
namespace {

bool number(const std::string& text, unsigned max, std::uint8_t& out) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > max) return false;
  out = static_cast<std::uint8_t>(value);
  return true;
}

bool hexNode(const std::string& text, std::array<std::uint8_t, 6>& node) {
  if (text.size() != 12) return false;
  for (std::size_t i = 0; i < 6; ++i) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data() + 2 * i, text.data() + 2 * i + 2, value, 16);
    if (error != std::errc() || end != text.data() + 2 * i + 2) return false;
    node[i] = static_cast<std::uint8_t>(value);
  }
  return true;
}

std::string unquoted(const std::string& text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') return text.substr(1, text.size() - 2);
  return text;
}

class Reader {
 public:
  explicit Reader(std::string* error) : error_(error) {}

  bool network(const std::vector<std::string>& lines, IpWorld& world) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      std::string key, value;
      NetworkAdapter a;
      if (!wf::splitScenarioEntry(lines[i], key, value)) return fail("tcpip.network", i, "not address = fields");
      const auto address = wf::net::parseDottedAddress(key);
      const auto f = wf::splitScenarioFields(value);
      if (!address) return fail("tcpip.network", i, "bad address " + key);
      a.address = *address;
      if (f.size() != 6) return fail("tcpip.network", i, "wants node | class | port type | media | supervisor | firmware");
      if (!hexNode(f[0], a.node)) return fail("tcpip.network", i, "bad node " + f[0]);
      if (!number(f[1], 255, a.adapterClass) || !number(f[2], 255, a.portType) || !number(f[3], 255, a.media) ||
          !number(f[4], 1, a.supervisor))
        return fail("tcpip.network", i, "bad number");
      a.firmware = unquoted(f[5]);
      if (a.firmware.size() > 11) return fail("tcpip.network", i, "firmware longer than 11");
      for (const NetworkAdapter& other : world.network)
        if (other.address == a.address) return fail("tcpip.network", i, "address twice");
      world.network.push_back(a);
    }
    return true;
  }

  bool workstation(const std::vector<std::string>& lines, IpWorld& world) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      std::string key, value;
      if (!wf::splitScenarioEntry(lines[i], key, value)) return fail("tcpip.workstation", i, "not address = fields");
      const auto address = wf::net::parseDottedAddress(key);
      const auto f = wf::splitScenarioFields(value);
      if (!address) return fail("tcpip.workstation", i, "bad address " + key);
      if (f.size() != 3) return fail("tcpip.workstation", i, "wants community | host name | port name");
      wf::net::IpAdapterEntry entry{*address, f[2], f[1], f[0]};
      if (entry.community.size() > wf::net::kIpCommunityMax || entry.hostName.size() > 79 ||
          entry.portName.size() > wf::net::kIpPortNameMax)
        return fail("tcpip.workstation", i, "text too long");
      for (const auto& other : world.listed)
        if (other.address == entry.address) return fail("tcpip.workstation", i, "address twice");
      world.listed.push_back(std::move(entry));
    }
    return true;
  }

 private:
  bool fail(const char* section, std::size_t index, const std::string& why) {
    if (error_) *error_ = std::string("[") + section + "] entry " + std::to_string(index + 1) + ": " + why;
    return false;
  }
  std::string* error_;
};

}  // namespace

std::optional<IpWorld> readIpWorld(const wf::Scenario& scenario, std::string* error) {
  bool any = false;
  for (const auto& [name, lines] : scenario.sections) {
    if (name.rfind("tcpip.", 0) != 0) continue;
    any = true;
    if (name != "tcpip.network" && name != "tcpip.workstation") {
      if (error) *error = "unknown section [" + name + "]";
      return std::nullopt;
    }
  }
  if (!any) {
    if (error) *error = "no [tcpip.*] section";
    return std::nullopt;
  }
  IpWorld world;
  Reader reader(error);
  if (!reader.network(scenario.section("tcpip.network"), world) ||
      !reader.workstation(scenario.section("tcpip.workstation"), world))
    return std::nullopt;
  return world;
}

}  // namespace wf::corip
