#include "sim/corlink/simulator.h"

#include <sstream>

#include "platform/clock.h"
#include "platform/scenario.h"
#include "sim/printer/profile.h"
#include "sim/printer/simulator.h"

namespace wf::sim::corlink {
namespace fs = std::filesystem;

namespace {

bool failLine(std::string* error, std::string why) {
  if (error) *error = std::move(why);
  return false;
}

fs::path fromBase(const fs::path& base, const std::string& name) {
  const fs::path p(name);
  return p.is_absolute() ? p : base / p;
}

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// "key = value", or a bare key ("SRV1.down") with an empty value.
bool splitLine(std::string_view line, std::string& key, std::string& value) {
  if (line.find('=') != std::string_view::npos) return splitScenarioEntry(line, key, value);
  std::istringstream in{std::string(line)};
  if (!(in >> key)) return false;
  std::string extra;
  value.clear();
  return !(in >> extra);
}

std::vector<std::string> words(std::string_view value) {
  std::istringstream in{std::string(value)};
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

std::string nodeText(const Node& node) {
  char text[13];
  std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X", node[0], node[1], node[2], node[3], node[4], node[5]);
  return text;
}

}  // namespace

CorLinkSimulator::~CorLinkSimulator() {
  servers_.clear();
}

ServerHost* CorLinkSimulator::server(std::string_view name) {
  const auto it = servers_.find(upper(name));
  return it == servers_.end() ? nullptr : it->second.get();
}

fs::path CorLinkSimulator::adapterDir(const fs::path& base) const {
  return adapterDir_.empty() ? base : adapterDir_;
}

bool CorLinkSimulator::applyToServer(CorLinkServer& server, std::string_view key, std::string_view value,
                                     const fs::path& base, std::string* error) {
  if (key == "administrators") {
    server.administrators.clear();
    std::istringstream in{std::string(value)};
    for (std::string name; std::getline(in, name, ',');)
      if (auto w = words(name); !w.empty()) server.administrators.push_back(w[0]);
    return true;
  }
  if (key == "down-level") {
    if (value != "0" && value != "1") return failLine(error, "down-level is 0 or 1");
    server.downLevel = value == "1";
    return true;
  }
  bool known = false;
  const bool set = applyKnob(server.knobs, key, value, &known, error);
  if (known) return set;
  const auto dot = key.find('.');
  const std::string id(key.substr(0, dot));
  if (dot == std::string_view::npos) {
    // "SRV.<adapter> = <file>.adapter"
    auto config = adapter::loadAdapter(fromBase(adapterDir(base), std::string(value)), error);
    if (!config) return false;
    if (server.adapter(id)) return failLine(error, server.name + " has adapter " + id + " already");
    CorLinkAdapter a;
    a.id = id;
    a.config = std::move(*config);
    a.node = a.config.ipxNode.value_or(a.config.universal);
    server.adapters.push_back(std::move(a));
    return true;
  }
  CorLinkAdapter* a = server.adapter(id);
  if (!a) return failLine(error, server.name + " has no adapter " + id);
  const std::string_view sub = key.substr(dot + 1);
  if (sub.size() > 4 && sub.substr(0, 4) == "port" && sub.find('.') == std::string_view::npos) {
    CorLinkPort port;
    port.number = std::atoi(std::string(sub.substr(4)).c_str());
    if (!parsePort(value, port, error)) return false;
    std::erase_if(a->ports, [&](const CorLinkPort& p) { return p.number == port.number; });
    a->ports.push_back(std::move(port));
    return true;
  }
  if (!adapter::applyAdapterLine(a->config, sub, value, error)) return false;
  if (sub == "node" || sub == "universal") a->node = a->config.ipxNode.value_or(a->config.universal);
  return true;
}

bool CorLinkSimulator::runningLine(ServerHost& host, std::string_view key, std::string_view value, std::string* error,
                                   std::string* answer) {
  const auto w = words(value);
  if (key == "down") return host.down(), true;
  if (key == "up") return host.up(error);
  if (key == "raise-status") {
    if (w.size() != 2) return failLine(error, "raise-status is <nickname> <hex mask>");
    return host.raiseDeviceStatus(w[0], static_cast<std::uint32_t>(std::stoul(w[1], nullptr, 16)), error);
  }
  if (key == "notice") {
    if (w.size() < 2 || w.size() > 3) return failLine(error, "notice is <nickname> <code> [hex]");
    const int code = std::atoi(w[1].c_str());
    if (code < 128 || code > 255) return failLine(error, "a notice code is 128 (shutdown) to 255");
    Bytes data;
    if (w.size() == 3) {
      auto v = sim::parseValue(w[2]);
      if (!v) return failLine(error, "notice data is hex bytes");
      data.assign(v->begin(), v->end());
    }
    return host.notice(w[0], static_cast<std::uint8_t>(code), data, error);
  }
  if (key == "move") {
    adapter::AdapterConfig scratch;
    if (w.size() != 2 || !adapter::applyAdapterLine(scratch, "node", w[1], error))
      return failLine(error, "move is <adapter> <node>");
    return host.move(w[0], *scratch.ipxNode, error);
  }
  if (key == "show") {
    bool found = false;
    host.withServer([&](CorLinkServer& s) {
      CorLinkAdapter* a = s.adapter(value);
      if (!a) return;
      found = true;
      std::string nicknames, stopped;
      for (const auto& p : a->ports) {
        nicknames += (nicknames.empty() ? "" : ",") + p.nickname;
        if (p.stopped) stopped += (stopped.empty() ? "" : ",") + p.queue;
      }
      *answer = "address=" + nodeText(a->node) + " password=" + s.password + " nicknames=" + nicknames +
                " stopped=" + stopped + " flash=" + std::to_string(s.flashImage.size());
    });
    return found || failLine(error, host.name() + " has no adapter " + std::string(value));
  }
  // "<nickname>.<printer key>": the printer behind that port, as wf-printer-sim's port lines.
  if (const auto dot = key.find('.'); dot != std::string_view::npos) {
    bool isPort = false;
    host.withServer([&](CorLinkServer& s) {
      isPort = !s.adapter(key.substr(0, dot)) && s.findByNickname(key.substr(0, dot)).has_value();
    });
    if (isPort) {
      bool applied = false;
      const bool found = host.withPrinter(
          std::string(key.substr(0, dot)),
          [&](PrinterModel& p) { applied = sim::applyPrinterSetting(p, key.substr(dot + 1), value, error); }, error);
      return found && applied;
    }
  }
  bool ok = false;
  host.withServer([&](CorLinkServer& s) { ok = applyToServer(s, key, value, adapterDir_, error); });
  return ok;
}

bool CorLinkSimulator::apply(std::string_view line, const fs::path& base, std::string* error, std::string* answer) {
  std::string key, value, why, shown;
  if (!error) error = &why;
  error->clear();
  if (!answer) answer = &shown;
  if (!splitLine(line, key, value)) return failLine(error, "not key = value");
  if (key == "adapters") return adapterDir_ = fromBase(base, value), true;
  if (key == "jobs") return jobDir_ = fromBase(base, value), true;
  if (key == "log") {
    std::string why;
    return log_.openFile(fromBase(base, value), &why) || failLine(error, why);
  }
  const auto dot = key.find('.');
  if (dot == std::string::npos) return failLine(error, "a server line is <SERVER>.<key>");
  const std::string name = upper(key.substr(0, dot));
  if (ServerHost* host = server(name)) return runningLine(*host, key.substr(dot + 1), value, error, answer);
  // A new server starts with its first line.
  CorLinkServer fresh;
  fresh.name = name;
  if (!applyToServer(fresh, key.substr(dot + 1), value, base, error)) return false;
  auto host = ServerHost::start(std::move(fresh), adapterDir(base), jobDir_,
                                [this](const std::string& l) { log_.record(l); }, error);
  if (!host) return false;
  servers_.emplace(name, std::move(host));
  return true;
}

bool CorLinkSimulator::loadScenario(const fs::path& file, std::string* error) {
  std::string why;
  const auto text = readScenarioFile(file, &why);
  if (!text) return failLine(error, "cannot read " + why);
  const auto scenario = parseScenario(*text, &why);
  if (!scenario) return failLine(error, why);
  const fs::path base = file.parent_path();
  // Servers start once all their lines are read, so each comes up whole.
  std::map<std::string, CorLinkServer> pending;
  std::vector<std::string> order;
  int number = 0;
  for (const std::string& line : scenario->section("corlink.servers")) {
    ++number;
    auto lineError = [&](const std::string& what) {
      return failLine(error, "[corlink.servers] line " + std::to_string(number) + ": " + what);
    };
    std::string key, value;
    if (!splitScenarioEntry(line, key, value)) return lineError("not key = value");
    if (key == "adapters" || key == "log" || key == "jobs") {
      if (!apply(line, base, &why)) return lineError(why);
      continue;
    }
    const auto dot = key.find('.');
    if (dot == std::string::npos) return lineError("a server line is <SERVER>.<key>");
    const std::string name = upper(key.substr(0, dot));
    if (name.size() > 15) return lineError("server name " + name + " is longer than 15 characters");
    if (!pending.count(name)) {
      order.push_back(name);
      pending[name].name = name;
    }
    why.clear();
    if (!applyToServer(pending[name], key.substr(dot + 1), value, base, &why)) return lineError(why);
  }
  for (const std::string& name : order) {
    auto host = ServerHost::start(std::move(pending[name]), adapterDir(base), jobDir_,
                                  [this](const std::string& l) { log_.record(l); }, error);
    if (!host) return false;
    servers_.emplace(name, std::move(host));
  }
  return true;
}

}  // namespace wf::sim::corlink
