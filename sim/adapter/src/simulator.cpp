#include "sim/adapter/simulator.h"

#include "platform/clock.h"
#include "platform/regular_file.h"
#include "platform/scenario.h"

#include <sstream>

namespace wf::sim::adapter {
namespace fs = std::filesystem;

namespace {

bool failScenario(std::string* error, std::string why) {
  if (error) *error = std::move(why);
  return false;
}

fs::path under(const fs::path& base, const std::string& name) {
  const fs::path p(name);
  return p.is_absolute() ? p : base / p;
}

}  // namespace

AdapterSimulator::~AdapterSimulator() {
  adapters_.clear();
}

bool AdapterSimulator::addAdapter(const std::string& id, AdapterConfig config, std::string* error) {
  if (adapters_.count(id)) return failScenario(error, id + " plays already");
  auto server = AdapterServer::start(
      id, std::move(config), [this](const std::string& line) { log_.record(line); }, error);
  if (!server) return false;
  server->setProfileDir(adapterDir_);
  adapters_.emplace(id, std::move(server));
  return true;
}

AdapterServer* AdapterSimulator::adapter(std::string_view id) {
  const auto it = adapters_.find(id);
  return it == adapters_.end() ? nullptr : it->second.get();
}

bool AdapterSimulator::apply(std::string_view line, const fs::path& base, std::string* error) {
  std::string key, value;
  if (!splitScenarioEntry(line, key, value)) return failScenario(error, "not key = value");
  if (key == "adapters") return adapterDir_ = under(base, value), true;
  if (key == "log") {
    std::string why;
    return log_.openFile(under(base, value), &why) || failScenario(error, why);
  }
  const auto dot = key.find('.');
  if (dot == std::string::npos) {
    auto config = loadAdapter(under(adapterDir_.empty() ? base : adapterDir_, value), error);
    return config && addAdapter(key, std::move(*config), error);
  }
  AdapterServer* server = adapter(std::string_view(key).substr(0, dot));
  if (!server) return failScenario(error, "no adapter " + key.substr(0, dot));
  if (key.substr(dot + 1) == "raise-status") {  // "<port> <mask>"
    std::istringstream words(value);
    int port = 0;
    std::uint32_t mask = 0;
    if (!(words >> port >> std::hex >> mask)) return failScenario(error, "raise-status is <port> <hex mask>");
    return server->raiseDeviceStatus(port, mask) ||
           failScenario(error, "port " + std::to_string(port) + " sent no alert");
  }
  bool ok = false;
  server->withModel(
      [&](AdapterModel& m) { ok = applyAdapterLine(m.config(), key.substr(dot + 1), value, error); });
  return ok;
}

bool AdapterSimulator::loadScenario(const fs::path& file, std::string* error) {
  std::string why;
  const auto text = readScenarioFile(file, &why);
  if (!text) return failScenario(error, "cannot read " + why);
  const auto scenario = parseScenario(*text, &why);
  if (!scenario) return failScenario(error, why);
  const fs::path base = file.parent_path();
  // Adapters start once all their lines are read, so each binds where its
  // lines place it.
  std::map<std::string, AdapterConfig> pending;
  std::vector<std::string> order;
  int number = 0;
  for (const std::string& line : scenario->section("ipx.adapters")) {
    ++number;
    auto lineError = [&](const std::string& what) {
      return failScenario(error, "[ipx.adapters] line " + std::to_string(number) + ": " + what);
    };
    std::string key, value;
    if (!splitScenarioEntry(line, key, value)) return lineError("not key = value");
    const auto dot = key.find('.');
    if (key == "adapters" || key == "log") {
      if (!apply(line, base, &why)) return lineError(why);
    } else if (dot == std::string::npos) {
      auto config = loadAdapter(under(adapterDir_.empty() ? base : adapterDir_, value), &why);
      if (!config) return lineError(why);
      if (!pending.count(key)) order.push_back(key);
      pending[key] = std::move(*config);
    } else {
      const auto it = pending.find(key.substr(0, dot));
      if (it == pending.end()) return lineError("no adapter " + key.substr(0, dot));
      if (!applyAdapterLine(it->second, key.substr(dot + 1), value, &why)) return lineError(why);
    }
  }
  for (const std::string& id : order)
    if (!addAdapter(id, std::move(pending[id]), error)) return false;
  return true;
}

}  // namespace wf::sim::adapter
