#include "sim/printer/simulator.h"

#include <charconv>
#include <sstream>

#include "platform/regular_file.h"
#include "platform/scenario.h"

namespace wf::sim {

namespace fs = std::filesystem;

namespace {

std::string_view trimScenarioText(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool fail(std::string* error, std::string why) {
  if (error) *error = std::move(why);
  return false;
}

std::optional<std::uint32_t> number(std::string_view s) {
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) base = 16, s.remove_prefix(2);
  std::uint32_t v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

// "LPT3" -> 3; 0 when not a port name.
int portNumber(std::string_view name) {
  if (name.size() != 4 || !name.starts_with("LPT") || name[3] < '1' || name[3] > '9') return 0;
  return name[3] - '0';
}

std::optional<portwire::WriteErrorClass> writeError(std::string_view name) {
  using E = portwire::WriteErrorClass;
  static const std::pair<std::string_view, E> kNames[] = {
      {"none", E::None},   {"out-of-paper", E::OutOfPaper}, {"not-selected", E::NotSelected},
      {"break", E::Break}, {"io-error", E::IoError},        {"timed-out", E::TimedOut},
      {"other", E::Other}};
  for (const auto& [n, e] : kNames)
    if (n == name) return e;
  return std::nullopt;
}

}  // namespace

Simulator::~Simulator() {
  ports_.clear();
}

bool Simulator::addPrinter(int number, Profile profile, std::string* error) {
  if (ports_.count(number)) return fail(error, "LPT" + std::to_string(number) + " has a printer already");
  auto server = PortServer::start(number, std::make_shared<PrinterModel>(std::move(profile)), error);
  if (!server) return false;
  if (log_) attachLog(*server);
  ports_[number] = std::move(server);
  return true;
}

PortServer* Simulator::port(int number) {
  auto it = ports_.find(number);
  return it == ports_.end() ? nullptr : it->second.get();
}

namespace {

bool startsWithSection(std::string_view text) {
  std::istringstream in{std::string(text)};
  for (std::string line; std::getline(in, line);) {
    const auto trimmed = trimScenarioText(line);
    if (trimmed.empty() || trimmed.front() == '#') continue;
    return trimmed.front() == '[';
  }
  return false;
}

}  // namespace

bool Simulator::loadScenario(const fs::path& file, std::string* error) {
  std::string why;
  const auto text = readScenarioFile(file, &why);
  if (!text) return fail(error, "cannot read " + why);
  const fs::path base = file.parent_path();
  if (profileDir_.empty()) profileDir_ = base;
  // A world of several simulators keeps the printers in their own section.
  if (startsWithSection(*text)) {
    const auto world = parseScenario(*text, &why);
    if (!world) return fail(error, file.string() + " " + why);
    int n = 0;
    for (const auto& entry : world->section("printers")) {
      ++n;
      if (!apply(entry, base, &why))
        return fail(error, file.string() + " [printers] entry " + std::to_string(n) + ": " + why);
    }
    return true;
  }
  std::istringstream in(*text);
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (!apply(line, base, &why))
      return fail(error, file.string() + " line " + std::to_string(n) + ": " + why);
  }
  return true;
}

bool Simulator::apply(std::string_view line, const fs::path& base, std::string* error) {
  line = trimScenarioText(line);
  if (line.empty() || line.front() == '#') return true;
  auto eq = line.find('=');
  if (eq == std::string_view::npos) return fail(error, "expected key = value");
  const auto key = trimScenarioText(line.substr(0, eq));
  const auto value = trimScenarioText(line.substr(eq + 1));
  if (key == "log") return logTo(base / fs::path(std::string(value)), error);
  if (key == "profiles") return profileDir_ = base / fs::path(std::string(value)), true;
  const auto dot = key.find('.');
  const int number = portNumber(key.substr(0, dot));
  if (!number) return fail(error, "unknown key '" + std::string(key) + "'");
  if (dot == std::string_view::npos) {
    const fs::path file = profileDir_.empty() ? base / std::string(value) : profileDir_ / std::string(value);
    auto profile = loadProfile(file, error);
    return profile && addPrinter(number, std::move(*profile), error);
  }
  PortServer* server = port(number);
  if (!server) return fail(error, "no printer on LPT" + std::to_string(number));
  return applySetting(*server, trimScenarioText(key.substr(dot + 1)), value, error);
}

bool applyPrinterSetting(PrinterModel& printer, std::string_view key, std::string_view value, std::string* error) {
  Knobs knobs = printer.knobs();
  auto flag = [&](bool& field) {
    if (value != "0" && value != "1") return fail(error, "expected 0 or 1");
    field = value == "1";
    printer.setKnobs(knobs);
    return true;
  };
  auto count = [&](auto& field) {
    auto n = number(value);
    if (!n) return fail(error, "expected a number");
    field = static_cast<std::remove_reference_t<decltype(field)>>(*n);
    printer.setKnobs(knobs);
    return true;
  };
  auto bytes = [&](auto&& use) {
    auto b = parseValue(value);
    if (!b) return fail(error, "expected \"text\" or hex bytes");
    return use(*b);
  };
  // Knobs.
  if (key == "silent") return flag(knobs.silent);
  if (key == "reply-delay") return count(knobs.replyDelayMs);
  if (key == "confirm-delay") return count(knobs.confirmDelayMs);
  if (key == "confirm-errors") return count(knobs.confirmErrors);
  if (key == "withhold-confirmations") return flag(knobs.withholdConfirmations);
  if (key == "reply-packet-data") return count(knobs.replyPacketData);
  if (key == "stall-replies") return flag(knobs.stallReplies);
  if (key == "error-replies") return count(knobs.errorReplies);
  if (key == "reply-padding") return count(knobs.replyPadding);
  if (key == "reply-cut") {
    auto n = number(value);
    if (!n) return fail(error, "expected a number");
    knobs.replyCut = static_cast<std::size_t>(*n);
    printer.setKnobs(knobs);
    return true;
  }
  if (key == "short-packet-first") return flag(knobs.shortPacketFirst);
  if (key == "late-replies") return count(knobs.lateReplies);
  if (key == "fail-captures") return count(knobs.failCaptures);
  if (key == "defer-alerts") return flag(knobs.deferAlerts);
  if (key == "job-source") {
    auto n = number(value);
    if (!n || *n > 0xFF) return fail(error, "expected an input source");
    return count(knobs.jobSource);
  }
  if (key == "job-seconds") {
    auto n = number(value);
    if (!n || *n > 0xFFFF) return fail(error, "expected seconds up to 65535");
    return count(knobs.jobSeconds);
  }
  const auto text = [&](std::string& field) {
    return bytes([&](const std::string& b) {
      field = b;
      printer.setKnobs(knobs);
      return true;
    });
  };
  if (key == "job-host") return text(knobs.jobHost);
  if (key == "job-user") return text(knobs.jobUser);
  if (key == "job-queue") return text(knobs.jobQueue);
  if (key == "resource-result") {
    auto n = number(value);
    if (!n || *n > 0xFFFFFFFF) return fail(error, "expected a result");
    knobs.resourceResult = static_cast<std::uint32_t>(*n);
    printer.setKnobs(knobs);
    return true;
  }
  if (key == "reply-command") {
    auto n = number(value);
    if (!n || *n > 0xFF) return fail(error, "expected a command byte");
    knobs.replyCommand = static_cast<std::uint8_t>(*n);
    printer.setKnobs(knobs);
    return true;
  }
  if (key == "noise")
    return bytes([&](const std::string& b) {
      knobs.noise = b;
      printer.setKnobs(knobs);
      return true;
    });
  if (key == "fail-variable") {
    auto n = number(value);
    if (!n || *n > 0xFFFF) return fail(error, "expected a variable number");
    knobs.failVariables.insert(static_cast<std::uint16_t>(*n));
    printer.setKnobs(knobs);
    return true;
  }
  // Anything else changes the printer's state, in profile syntax.
  if (key.starts_with("clear-alert ")) {
    auto n = number(trimScenarioText(key.substr(12)));
    if (!n || *n < kFirstAlertList || *n >= kFirstAlertList + kAlertListCount)
      return fail(error, "alert lists are 5 to 10");
    printer.update([&](Profile& p) { p.alertLists[*n - kFirstAlertList].clear(); });
    return true;
  }
  bool ok = false;
  printer.update([&](Profile& p) { ok = applyProfileLine(p, key, value, error); });
  return ok;
}

bool Simulator::applySetting(PortServer& server, std::string_view key, std::string_view value,
                             std::string* error) {
  auto bytes = [&](auto&& use) {
    auto b = parseValue(value);
    if (!b) return fail(error, "expected \"text\" or hex bytes");
    return use(*b);
  };
  if (key == "held") {
    if (value != "0" && value != "1") return fail(error, "expected 0 or 1");
    server.setHeld(value == "1");
    return true;
  }
  if (key == "device-id-answer") {
    using A = PortServer::DeviceIdAnswer;
    static const std::pair<std::string_view, A> kAnswers[] = {
        {"id", A::Id}, {"fail", A::Failure}, {"none", A::Nothing}};
    for (const auto& [n, a] : kAnswers)
      if (n == value) return server.setDeviceIdAnswer(a), true;
    return fail(error, "device-id-answer is id, fail or none");
  }
  if (key == "write-error") {
    auto e = writeError(value);
    if (!e) return fail(error, "unknown write error '" + std::string(value) + "'");
    server.setWriteError(*e);
    return true;
  }
  // Events: they need a host on the port.
  auto sent = [&](bool ok) { return ok || fail(error, "not sent: no host, or the class is not enabled"); };
  if (key == "raise-status") {
    auto n = number(value);
    return n ? sent(server.raiseDeviceStatus(*n)) : fail(error, "expected a mask");
  }
  if (key == "raise-alert")
    return bytes([&](const std::string& b) { return sent(server.raiseClassAlert(b)); });
  if (key == "raise-panel") return sent(server.raisePanelAlert());
  if (key == "send") return bytes([&](const std::string& b) { return sent(server.sendRaw(b)); });
  if (key == "disconnect") return server.disconnect(), true;
  return applyPrinterSetting(server.printer(), key, value, error);
}

bool Simulator::logTo(const fs::path& file, std::string* error) {
  std::lock_guard lock(logMutex_);
  log_.reset();
  std::string why;
  log_ = LogFile::openPath(file, LogFile::Mode::Replace, &why);
  if (!log_) return fail(error, why);
  for (auto& [n, server] : ports_) attachLog(*server);
  return true;
}

void Simulator::attachLog(PortServer& server) {
  const std::string prefix = "LPT" + std::to_string(server.port()) + " ";
  server.printer().setLogSink([this, prefix](const LogEntry& entry) {
    std::lock_guard lock(logMutex_);
    if (log_) log_->append(prefix + formatLogEntry(entry) + "\n");
  });
}

}  // namespace wf::sim
