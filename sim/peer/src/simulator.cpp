#include "sim/peer/simulator.h"

#include <charconv>
#include <sstream>

#include "peer_server.h"
#include "platform/clock.h"
#include "platform/scenario.h"

namespace wf::sim::peer {
namespace fs = std::filesystem;

namespace {

bool peerSimFail(std::string* error, std::string why) {
  if (error) *error = std::move(why);
  return false;
}

fs::path underBase(const fs::path& base, const std::string& name) {
  const fs::path p(name);
  return p.is_absolute() ? p : base / p;
}

// "<id> <number>" with the number decimal or 0x-hexadecimal.
bool parseIdAndNumber(const std::string& value, std::uint16_t& id, std::uint32_t& number) {
  std::istringstream words(value);
  std::string idText, numberText, rest;
  if (!(words >> idText >> numberText) || (words >> rest)) return false;
  const int base = numberText.starts_with("0x") || numberText.starts_with("0X") ? 16 : 10;
  if (base == 16) numberText.erase(0, 2);
  auto [e1, c1] = std::from_chars(idText.data(), idText.data() + idText.size(), id);
  auto [e2, c2] = std::from_chars(numberText.data(), numberText.data() + numberText.size(), number, base);
  return c1 == std::errc() && c2 == std::errc() && e1 == idText.data() + idText.size() &&
         e2 == numberText.data() + numberText.size();
}

}  // namespace

PeerSimulator::PeerSimulator() = default;

PeerSimulator::~PeerSimulator() {
  peers_.clear();
}

PeerServer* PeerSimulator::server(std::string_view name) {
  const auto it = peers_.find(name);
  return it == peers_.end() ? nullptr : it->second.get();
}

bool PeerSimulator::start(const std::string& name, PeerConfig config, std::string* error) {
  if (peers_.count(name)) return peerSimFail(error, name + " plays already");
  auto server = PeerServer::start(name, std::move(config), profileDir_, [this](const std::string& line) { log_.record(line); },
                                  error);
  if (!server) return false;
  peers_.emplace(name, std::move(server));
  return true;
}

std::optional<std::string> PeerSimulator::apply(std::string_view line, const fs::path& base, std::string* error) {
  std::string key, value;
  if (!splitScenarioEntry(line, key, value)) {
    // An action without a value: "PEER1.disconnect".
    key = std::string(line);
    while (!key.empty() && key.back() == ' ') key.pop_back();
    if (!key.ends_with(".disconnect")) return peerSimFail(error, "not key = value"), std::nullopt;
  }
  if (key == "profiles") return profileDir_ = underBase(base, value), "";
  if (key == "log") {
    if (!log_.openFile(underBase(base, value))) return peerSimFail(error, "cannot write " + value), std::nullopt;
    return "";
  }
  const auto dot = key.find('.');
  if (dot == std::string::npos || dot == 0) return peerSimFail(error, "no peer in " + key), std::nullopt;
  const std::string name = key.substr(0, dot);
  const std::string what = key.substr(dot + 1);
  PeerServer* peer = server(name);
  if (!peer) {
    PeerConfig config;
    if (!applyPeerSetting(config, what, value, error) || !start(name, std::move(config), error)) return std::nullopt;
    return "";
  }
  std::uint16_t id = 0;
  std::uint32_t number = 0;
  if (what == "disconnect") return peer->disconnectAll(), "";
  if (what == "raise-status" || what == "raise-alert") {
    if (!parseIdAndNumber(value, id, number)) return peerSimFail(error, what + " is <id> <number>"), std::nullopt;
    const bool sent = what == "raise-status" ? peer->raiseStatus(id, number, error)
                                             : peer->raiseAlert(id, static_cast<std::uint8_t>(number), error);
    if (!sent) return std::nullopt;
    return "";
  }
  if (what == "jobs") {
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), id);
    if (ec != std::errc() || end != value.data() + value.size())
      return peerSimFail(error, "jobs is <id>"), std::nullopt;
    return peer->jobs(id, error);
  }
  if (!peer->applySetting(what, value, error)) return std::nullopt;
  return "";
}

bool PeerSimulator::withPrinter(std::string_view peer, std::uint16_t id,
                                const std::function<void(PrinterModel&)>& use) {
  PeerServer* s = server(peer);
  return s && s->withPrinter(id, use);
}

bool PeerSimulator::loadScenario(const fs::path& file, std::string* error) {
  std::string why;
  const auto text = readScenarioFile(file, &why);
  if (!text) return peerSimFail(error, "cannot read " + why);
  const auto scenario = parseScenario(*text, &why);
  if (!scenario) return peerSimFail(error, why);
  const fs::path base = file.parent_path();
  // Peers start once all their lines are read, with every printer and knob.
  std::map<std::string, PeerConfig> pending;
  std::vector<std::string> order;
  int number = 0;
  for (const std::string& line : scenario->section("peers")) {
    ++number;
    auto lineError = [&](const std::string& what) {
      return peerSimFail(error, "[peers] line " + std::to_string(number) + ": " + what);
    };
    std::string key, value;
    if (!splitScenarioEntry(line, key, value)) return lineError("not key = value");
    if (key == "profiles" || key == "log") {
      if (!apply(line, base, &why)) return lineError(why);
      continue;
    }
    const auto dot = key.find('.');
    if (dot == std::string::npos || dot == 0) return lineError("no peer in " + key);
    const std::string name = key.substr(0, dot);
    if (!pending.count(name)) order.push_back(name);
    if (!applyPeerSetting(pending[name], key.substr(dot + 1), value, &why)) return lineError(why);
  }
  for (const std::string& name : order)
    if (!start(name, std::move(pending[name]), error)) return false;
  return true;
}

}  // namespace wf::sim::peer
