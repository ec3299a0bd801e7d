#include "sim/adapter/simulator.h"

#include "platform/clock.h"
#include "platform/regular_file.h"
#include "platform/scenario.h"

#include <cstdio>
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

std::uint32_t crc32Of(const Bytes& bytes) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (std::uint8_t b : bytes) {
    crc ^= b;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

std::string hexRun(const std::uint8_t* bytes, std::size_t n, const char* separator) {
  std::string out;
  char two[3];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(two, sizeof two, "%02X", bytes[i]);
    if (i) out += separator;
    out += two;
  }
  return out;
}

}  // namespace

bool AdapterSimulator::isShowLine(std::string_view line) {
  const auto show = line.find(".show ");
  return show != std::string_view::npos && show > 0 && line.find('=') == std::string_view::npos;
}

bool AdapterSimulator::show(std::string_view line, std::string* answer, std::string* error) {
  if (!isShowLine(line)) return failScenario(error, "show is ID.show <what>");
  const auto dot = line.find(".show ");
  AdapterServer* server = adapter(line.substr(0, dot));
  if (!server) return failScenario(error, "no adapter " + std::string(line.substr(0, dot)));
  std::string_view what = line.substr(dot + 6);
  while (!what.empty() && what.front() == ' ') what.remove_prefix(1);
  while (!what.empty() && (what.back() == ' ' || what.back() == '\r')) what.remove_suffix(1);
  if (what == "restarts") return *answer = std::to_string(server->restarts()), true;
  bool ok = false;
  server->withModel([&](AdapterModel& m) {
    if (what == "flash") {
      char crc[9];
      std::snprintf(crc, sizeof crc, "%08X", crc32Of(m.flashImage()));
      *answer = std::to_string(m.flashImage().size()) + " " + crc;
      ok = true;
    } else if (what == "node") {
      const Node node = m.node();
      *answer = hexRun(node.data(), node.size(), "");
      ok = true;
    } else if (what.starts_with("var ")) {
      unsigned g = 0, v = 0;
      char end = 0;
      if (std::sscanf(std::string(what.substr(4)).c_str(), "%u.%u%c", &g, &v, &end) != 2 || g > 255 || v > 255) {
        ok = failScenario(error, "var is var <group>.<variable>");
        return;
      }
      const Bytes value = m.variable(static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(v));
      if (value.empty()) {
        ok = failScenario(error, "no variable " + std::string(what.substr(4)));
        return;
      }
      *answer = hexRun(value.data(), value.size(), " ");
      ok = true;
    } else if (auto text = adapterKeyText(m.config(), what, error)) {
      *answer = std::move(*text);
      ok = true;
    }
  });
  return ok;
}

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
