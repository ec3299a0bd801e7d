#include "platform/spooler.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <vector>

#include "platform/trace.h"
#include "text_fold.h"

namespace wf::spool {
namespace {

struct Printer {
  std::string name, port, driver;
};
struct Driver {
  std::string name, path, monitor;
};
struct Failure {
  EnumFailure mode = EnumFailure::None;
  std::uint32_t error = kRpcServerUnavailable;
};

// Lays out records of text pointers followed by their texts, as the original did.
template <class Record, std::size_t N>
std::uint32_t pack(const std::vector<std::array<std::string, N>>& rows,
                   const std::array<char * Record::*, N>& fields, std::byte* buffer, std::uint32_t size,
                   std::uint32_t& needed, std::uint32_t& returned) {
  static_assert(sizeof(Record) == N * sizeof(char*));
  returned = 0;
  std::size_t total = rows.size() * sizeof(Record);
  for (const auto& row : rows)
    for (const auto& text : row) total += text.size() + 1;
  needed = static_cast<std::uint32_t>(total);
  if (size < total) return kInsufficientBuffer;
  if (total == 0) return kSuccess;
  if (!buffer || reinterpret_cast<std::uintptr_t>(buffer) % alignof(Record) != 0) return kInvalidParameter;
  char* texts = reinterpret_cast<char*>(buffer) + rows.size() * sizeof(Record);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    auto* record = new (buffer + i * sizeof(Record)) Record{};
    for (std::size_t f = 0; f < N; ++f) {
      std::memcpy(texts, rows[i][f].c_str(), rows[i][f].size() + 1);
      record->*fields[f] = texts;
      texts += rows[i][f].size() + 1;
    }
  }
  returned = static_cast<std::uint32_t>(rows.size());
  return kSuccess;
}

// Applies a failure mode to the answer `result` an enumeration would give.
std::uint32_t withFailure(const Failure& f, std::uint32_t result, std::uint32_t& needed,
                          std::uint32_t& returned) {
  if (f.mode == EnumFailure::NoSize) {
    needed = returned = 0;
    return kInsufficientBuffer;
  }
  if (f.mode == EnumFailure::Error && result == kSuccess) {
    returned = 0;
    return f.error;
  }
  return result;
}

std::optional<Failure> parseFailure(std::string_view text) {
  std::string t = foldCase(text);
  if (t == "no size") return Failure{EnumFailure::NoSize};
  if (t == "none") return Failure{};
  if (t.rfind("error", 0) != 0) return std::nullopt;
  std::string code(trimBlanks(std::string_view(t).substr(5)));
  if (code.empty()) return Failure{EnumFailure::Error};
  char* end = nullptr;
  unsigned long v = std::strtoul(code.c_str(), &end, 0);
  if (*end != '\0' || v == 0 || v > 0xFFFFFFFFul) return std::nullopt;
  return Failure{EnumFailure::Error, static_cast<std::uint32_t>(v)};
}

}  // namespace

struct Spooler::State {
  std::mutex m;
  std::vector<std::string> ports;
  std::vector<Printer> printers;                   // in scenario order
  std::map<std::string, Driver> drivers;           // by folded name
  std::map<std::string, MonitorHandler> monitors;  // by folded name
  Failure portFailure, printerFailure;
  std::set<std::string> unopenable;           // folded printer names
  std::map<PrinterHandle, std::string> open;  // handle -> folded printer name
  PrinterHandle nextHandle = 1;

  const Printer* printerOf(PrinterHandle h) const {
    auto it = open.find(h);
    if (it == open.end()) return nullptr;
    for (const auto& p : printers)
      if (foldCase(p.name) == it->second) return &p;
    return nullptr;
  }
};

Spooler::Spooler() : state_(std::make_unique<State>()) {}
Spooler::~Spooler() = default;

bool Spooler::load(const Scenario& scenario, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  std::vector<Printer> printers;
  std::map<std::string, Driver> drivers;
  Failure portFailure, printerFailure;
  std::set<std::string> unopenable;
  for (const auto& line : scenario.section("spooler.printers")) {
    std::string name, rest;
    auto fields =
        splitScenarioEntry(line, name, rest) ? splitScenarioFields(rest) : std::vector<std::string>{};
    if (fields.size() != 2) return fail("spooler.printers: \"" + line + "\" is not 'name = port | driver'");
    printers.push_back({name, fields[0], fields[1]});
  }
  for (const auto& line : scenario.section("spooler.drivers")) {
    std::string name, rest;
    auto fields =
        splitScenarioEntry(line, name, rest) ? splitScenarioFields(rest) : std::vector<std::string>{};
    if (fields.size() != 2) return fail("spooler.drivers: \"" + line + "\" is not 'name = path | monitor'");
    drivers[foldCase(name)] = {name, fields[0], fields[1]};
  }
  for (const auto& line : scenario.section("spooler.failures")) {
    std::string which, mode;
    std::optional<Failure> f;
    if (splitScenarioEntry(line, which, mode)) f = parseFailure(mode);
    which = foldCase(which);
    if (which == "open" && !mode.empty()) {
      unopenable.insert(foldCase(mode));
      continue;
    }
    if (!f || (which != "ports" && which != "printers"))
      return fail("spooler.failures: \"" + line +
                  "\" is not 'ports|printers = no size | error [code]' or 'open = printer'");
    (which == "ports" ? portFailure : printerFailure) = *f;
  }
  std::lock_guard lock(state_->m);
  state_->ports = scenario.section("spooler.ports");
  state_->printers = std::move(printers);
  state_->drivers = std::move(drivers);
  state_->portFailure = portFailure;
  state_->printerFailure = printerFailure;
  state_->unopenable = std::move(unopenable);
  return true;
}

void Spooler::clear() {
  std::lock_guard lock(state_->m);
  state_->ports.clear();
  state_->printers.clear();
  state_->drivers.clear();
  state_->portFailure = state_->printerFailure = Failure{};
  state_->unopenable.clear();
}

void Spooler::addPort(std::string name) {
  std::lock_guard lock(state_->m);
  state_->ports.push_back(std::move(name));
}

void Spooler::addPrinter(std::string name, std::string port, std::string driver) {
  std::lock_guard lock(state_->m);
  state_->printers.push_back({std::move(name), std::move(port), std::move(driver)});
}

void Spooler::addDriver(std::string name, std::string driverPath, std::string monitorName) {
  std::lock_guard lock(state_->m);
  auto key = foldCase(name);
  state_->drivers[key] = {std::move(name), std::move(driverPath), std::move(monitorName)};
}

void Spooler::setEnumFailure(Enumeration which, EnumFailure mode, std::uint32_t error) {
  std::lock_guard lock(state_->m);
  (which == Enumeration::Ports ? state_->portFailure : state_->printerFailure) = Failure{mode, error};
}

void Spooler::setOpenFailure(std::string printerName) {
  std::lock_guard lock(state_->m);
  state_->unopenable.insert(foldCase(printerName));
}

void Spooler::registerMonitor(std::string monitorName, MonitorHandler handler) {
  std::lock_guard lock(state_->m);
  if (handler)
    state_->monitors[foldCase(monitorName)] = std::move(handler);
  else
    state_->monitors.erase(foldCase(monitorName));
}

std::uint32_t Spooler::enumPorts(std::uint32_t level, std::byte* buffer, std::uint32_t size,
                                 std::uint32_t& needed, std::uint32_t& returned) {
  needed = returned = 0;
  if (level != 1) return kInvalidLevel;
  std::vector<std::array<std::string, 1>> rows;
  Failure f;
  {
    std::lock_guard lock(state_->m);
    for (const auto& p : state_->ports) rows.push_back({p});
    f = state_->portFailure;
  }
  std::uint32_t result = pack<PortInfo1, 1>(rows, {&PortInfo1::name}, buffer, size, needed, returned);
  return withFailure(f, result, needed, returned);
}

std::uint32_t Spooler::enumPrinters(std::uint32_t level, std::byte* buffer, std::uint32_t size,
                                    std::uint32_t& needed, std::uint32_t& returned) {
  needed = returned = 0;
  if (level != 2 && level != 5) return kInvalidLevel;
  std::vector<Printer> printers;
  Failure f;
  {
    std::lock_guard lock(state_->m);
    printers = state_->printers;
    f = state_->printerFailure;
  }
  std::uint32_t result;
  if (level == 2) {
    std::vector<std::array<std::string, 3>> rows;
    for (const auto& p : printers) rows.push_back({p.name, p.port, p.driver});
    result = pack<PrinterInfo2, 3>(
        rows, {&PrinterInfo2::printerName, &PrinterInfo2::portName, &PrinterInfo2::driverName}, buffer, size,
        needed, returned);
  } else {
    std::vector<std::array<std::string, 2>> rows;
    for (const auto& p : printers) rows.push_back({p.name, p.port});
    result = pack<PrinterInfo5, 2>(rows, {&PrinterInfo5::printerName, &PrinterInfo5::portName}, buffer, size,
                                   needed, returned);
  }
  return withFailure(f, result, needed, returned);
}

std::uint32_t Spooler::openPrinter(std::string_view name, PrinterHandle& handle) {
  handle = 0;
  std::lock_guard lock(state_->m);
  auto key = foldCase(name);
  for (const auto& p : state_->printers) {
    if (foldCase(p.name) != key) continue;
    if (state_->unopenable.count(key)) return kAccessDenied;
    handle = state_->nextHandle++;
    if (state_->nextHandle == 0) state_->nextHandle = 1;
    state_->open[handle] = key;
    return kSuccess;
  }
  return kInvalidPrinterName;
}

std::uint32_t Spooler::closePrinter(PrinterHandle handle) {
  std::lock_guard lock(state_->m);
  return state_->open.erase(handle) ? kSuccess : kInvalidHandle;
}

std::uint32_t Spooler::getPrinterDriver(PrinterHandle handle, std::uint32_t level, std::byte* buffer,
                                        std::uint32_t size, std::uint32_t& needed) {
  needed = 0;
  Driver driver;
  {
    std::lock_guard lock(state_->m);
    const Printer* p = state_->printerOf(handle);
    if (!p) return kInvalidHandle;
    if (level != 2 && level != 3) return kInvalidLevel;
    auto it = state_->drivers.find(foldCase(p->driver));
    if (it == state_->drivers.end()) return kUnknownPrinterDriver;
    driver = it->second;
  }
  std::uint32_t returned;
  if (level == 2)
    return pack<DriverInfo2, 2>({{driver.name, driver.path}}, {&DriverInfo2::name, &DriverInfo2::driverPath},
                                buffer, size, needed, returned);
  return pack<DriverInfo3, 3>({{driver.name, driver.path, driver.monitor}},
                              {&DriverInfo3::name, &DriverInfo3::driverPath, &DriverInfo3::monitorName},
                              buffer, size, needed, returned);
}

std::uint32_t Spooler::getPrinterIdentity(PrinterHandle handle, std::string& name, std::string& port,
                                          std::string& driver) {
  std::lock_guard lock(state_->m);
  const Printer* p = state_->printerOf(handle);
  if (!p) return kInvalidHandle;
  name = p->name;
  port = p->port;
  driver = p->driver;
  return kSuccess;
}

std::uint32_t Spooler::getPrinterData(PrinterHandle handle, std::string_view valueName, std::uint32_t& type,
                                      std::byte* data, std::uint32_t size, std::uint32_t& needed) {
  needed = 0;
  MonitorHandler handler;
  Printer printer;
  {
    std::lock_guard lock(state_->m);
    const Printer* p = state_->printerOf(handle);
    if (!p) return kInvalidHandle;
    printer = *p;
    auto d = state_->drivers.find(foldCase(p->driver));
    if (d == state_->drivers.end()) return kFileNotFound;
    auto m = state_->monitors.find(foldCase(d->second.monitor));
    if (m == state_->monitors.end()) return kFileNotFound;
    handler = m->second;
  }
  MonitorReply reply = handler(printer.name, printer.port, valueName);
  if (reply.error != kSuccess) return reply.error;
  type = reply.type;
  needed = static_cast<std::uint32_t>(reply.data.size());
  if (size < reply.data.size()) return kMoreData;
  if (!reply.data.empty()) {
    if (!data) return kInvalidParameter;
    std::memcpy(data, reply.data.data(), reply.data.size());
  }
  return kSuccess;
}

Spooler& spooler() {
  static Spooler* instance = [] {
    auto* s = new Spooler;  // never destroyed: an abandoned thread may still call it at exit
    std::string error;
    auto scenario = loadScenario(&error);
    if (!scenario || !s->load(*scenario, &error)) platformTrace("spooler: scenario not used: " + error);
    return s;
  }();
  return *instance;
}

}  // namespace wf::spool
