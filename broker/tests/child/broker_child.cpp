#include "broker_child.h"

#include <iomanip>

namespace wf::testing {
namespace {

std::int32_t decimal(const std::string& text) {
  return static_cast<std::int32_t>(std::stol(text));
}
std::uint32_t hexNumber(const std::string& text) {
  return static_cast<std::uint32_t>(std::stoul(text, nullptr, 16));
}

// The words after the first, joined as the helper wrote them.
std::string rest(const ChildAnswer& a, std::size_t from = 1) {
  std::string s;
  for (std::size_t i = from; i < a.fields.size(); ++i) s += (i == from ? "" : " ") + a.fields[i];
  return s;
}

// "r=<result>" as the first word, decimal or hexadecimal.
std::int32_t result(const ChildAnswer& a, bool hex = false) {
  const std::string& w = a.field(0);
  if (!w.starts_with("r=")) throw ChildError("no result in answer: " + w);
  return hex ? static_cast<std::int32_t>(hexNumber(w.substr(2))) : decimal(w.substr(2));
}

// "r=<result> <free text>" as the helper wrote it.
std::pair<std::int32_t, std::string> resultAndText(const std::string& text) {
  const auto blank = text.find(' ');
  const std::string first = text.substr(0, blank);
  if (!first.starts_with("r=")) throw ChildError("no result in answer: " + text);
  return {decimal(first.substr(2)), blank == std::string::npos ? std::string() : text.substr(blank + 1)};
}

// "handle:connections:node,..." as the enumeration callbacks record them.
Enumeration enumeration(const ChildAnswer& a, bool hexResult) {
  Enumeration e{result(a, hexResult), {}};
  for (const auto& item : splitList(rest(a), ',')) {
    const auto parts = splitList(item, ':');
    if (parts.size() != 3) throw ChildError("bad printer item: " + item);
    e.printers.push_back({decimal(parts[0]), hexNumber(parts[1]), parts[2]});
  }
  return e;
}

Versions versions(const ChildAnswer& a) {
  Versions v{result(a), {}};
  std::vector<std::string> words(a.fields.begin() + 1, a.fields.end());
  v.files = orderedValues(words);
  return v;
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const ExportCall& c) {
  out << "{result " << c.result;
  for (const auto& [name, value] : c.out) out << ", " << name << "=" << std::quoted(value);
  return out << "}";
}
std::ostream& operator<<(std::ostream& out, const TraceCalls& t) {
  return out << "{start " << t.start << ", stop " << t.stop << "}";
}
std::ostream& operator<<(std::ostream& out, const ConcurrentCalls& c) {
  return out << "{wrong " << c.wrong << ", done " << c.done << "}";
}
std::ostream& operator<<(std::ostream& out, const BusyEnumeration& e) {
  return out << "{result " << e.result << ", items " << e.items << ", ordered " << e.ordered << ", wrong "
             << e.wrong << ", others called " << e.othersCalled << "}";
}
std::ostream& operator<<(std::ostream& out, const FoundPrinter& p) {
  return out << p.handle << ":" << std::hex << p.connections << std::dec << ":" << p.node;
}
std::ostream& operator<<(std::ostream& out, const Enumeration& e) {
  out << "{result " << e.result << ", printers ";
  return printList(out, e.printers) << "}";
}
std::ostream& operator<<(std::ostream& out, const Nets& n) {
  return out << "{result " << n.result << ", mask 0x" << std::hex << n.mask << std::dec << "}";
}
std::ostream& operator<<(std::ostream& out, const PrinterInfo& i) {
  return out << "{result " << i.result << ", handle " << i.handle << ", connections 0x" << std::hex
             << i.connections << std::dec << ", node " << i.node << ", name " << std::quoted(i.name)
             << ", packet size " << i.packetSize << "}";
}
std::ostream& operator<<(std::ostream& out, const PrinterNames& n) {
  return out << "{result " << n.result << ", name " << std::quoted(n.name) << ", second "
             << std::quoted(n.second) << "}";
}
std::ostream& operator<<(std::ostream& out, const PrinterAddress& a) {
  return out << "{result " << a.result << ", ipx " << a.ipx << ", corlink " << a.corlink << ", local "
             << std::quoted(a.local) << "}";
}
std::ostream& operator<<(std::ostream& out, const NetInfo& n) {
  out << "{result " << n.result << ", data " << std::quoted(n.data) << ", items ";
  return printList(out, n.items) << "}";
}
std::ostream& operator<<(std::ostream& out, const Versions& v) {
  out << "{result " << v.result;
  for (const auto& [file, version] : v.files) out << ", " << file << "=" << std::quoted(version);
  return out << "}";
}
std::ostream& operator<<(std::ostream& out, const PostedMessage& m) {
  return out << "{message " << m.message << ", key " << m.key << ", mask 0x" << std::hex << m.mask << std::dec
             << "}";
}

bool BrokerChild::isPrimary() {
  return expectNumber("primary") != 0;
}
std::int32_t BrokerChild::registerApp() {
  return static_cast<std::int32_t>(expectNumber("register"));
}
std::int32_t BrokerChild::registerApp(std::uint32_t window) {
  return static_cast<std::int32_t>(expectNumber("register " + std::to_string(window)));
}
void BrokerChild::unregisterApp() {
  expectOk("unregister");
}
void BrokerChild::unregisterApp(std::uint32_t id) {
  expectOk("unregister " + std::to_string(id));
}
std::uint32_t BrokerChild::slot(unsigned id) {
  return static_cast<std::uint32_t>(expectNumber("slot " + std::to_string(id)));
}
void BrokerChild::useEchoWorkers() {
  expectOk("echo-workers");
}
void BrokerChild::pacing(bool on) {
  expectOk(std::string("pacing ") + (on ? "on" : "off"));
}
int BrokerChild::dispatchers() {
  return static_cast<int>(expectNumber("dispatchers"));
}
int BrokerChild::outstanding() {
  return static_cast<int>(expectNumber("outstanding"));
}
TraceCalls BrokerChild::traceTo(const std::string& file) {
  const ChildAnswer a = expectOk("trace-to " + file);
  return {static_cast<std::int32_t>(a.number(0)), static_cast<std::int32_t>(a.number(1))};
}
int BrokerChild::heldReplies() {
  return static_cast<int>(expectNumber("held"));
}
ExportCall BrokerChild::call(const std::string& what, int realMs) {
  const ChildAnswer a = expectOk("call " + what, realMs);
  ExportCall c{result(a), namedValues({a.fields.begin() + 1, a.fields.end()})};
  return c;
}
std::vector<std::string> BrokerChild::primaryLog() {
  return splitList(expectText("primary-log"), '|');
}
void BrokerChild::captureTrace() {
  expectOk("trace-capture");
}
int BrokerChild::traceCount(const std::string& prefix) {
  return static_cast<int>(expectNumber("trace-count " + prefix));
}
ConcurrentCalls BrokerChild::concurrent(int threads, int calls) {
  const ChildAnswer a =
      expectOk("concurrent " + std::to_string(threads) + " " + std::to_string(calls), 60000);
  const NamedValues v = namedValues(a.fields);
  return {decimal(v.at("wrong")), decimal(v.at("done"))};
}
BusyEnumeration BrokerChild::enumerateBusy(int printers, int callers) {
  const ChildAnswer a =
      expectOk("enum-busy " + std::to_string(printers) + " " + std::to_string(callers), 120000);
  const NamedValues v = namedValues(a.fields);
  return {decimal(v.at("r")), decimal(v.at("items")), v.at("ordered") == "1", decimal(v.at("wrong")),
          v.at("calls") == "some"};
}
void BrokerChild::quit() {
  process().call("quit");
}

void BrokerChild::mock(const std::string& file, const std::string& command) {
  expectOk("mock " + file + " " + command);
}
std::string BrokerChild::mockLog(const std::string& file) {
  return expectText("mock " + file + " log");
}
bool BrokerChild::mockLoaded(const std::string& file) {
  return expectNumber("mock " + file + " loaded") != 0;
}
int BrokerChild::mockEvent(const std::string& file, const std::string& event) {
  return static_cast<int>(expectNumber("mock " + file + " event " + event));
}
Enumeration BrokerChild::enumerate(std::uint32_t mask, int stopAfter) {
  return enumeration(
      expectOk("enum " + std::to_string(mask) + (stopAfter >= 0 ? " " + std::to_string(stopAfter) : "")),
      false);
}
Enumeration BrokerChild::enumerateSpecific(const std::string& part, const std::string& node) {
  return enumeration(expectOk("specific " + part + " " + node), true);
}
Nets BrokerChild::nets() {
  const ChildAnswer a = expectOk("nets");
  return {result(a), hexNumber(a.field(1))};
}
PrinterInfo BrokerChild::printerInfo(std::uint32_t handle) {
  const ChildAnswer a = expectOk("prtinfo " + std::to_string(handle));
  const NamedValues v = namedValues(a.fields);
  return {decimal(v.at("r")), decimal(v.at("h")), hexNumber(v.at("c")),
          v.at("node"),       v.at("name"),       decimal(v.at("size"))};
}
PrinterNames BrokerChild::printerNames(std::uint32_t handle, std::uint32_t mask) {
  const auto [r, names] =
      resultAndText(expectText("pname " + std::to_string(handle) + " " + std::to_string(mask)));
  const auto slash = names.find('/');
  if (slash == std::string::npos) throw ChildError("bad names: " + names);
  return {r, names.substr(0, slash), names.substr(slash + 1)};
}
PrinterAddress BrokerChild::printerAddress(std::uint32_t handle, std::uint32_t mask) {
  const ChildAnswer a = expectOk("addr " + std::to_string(handle) + " " + std::to_string(mask));
  const NamedValues v = namedValues(a.fields);
  return {result(a, true), v.at("ipx"), v.at("corlink"), v.at("local")};
}
NetInfo BrokerChild::netInfo(std::uint32_t handle, std::uint32_t mask, std::uint32_t code) {
  auto [r, data] = resultAndText(expectText("netinfo " + std::to_string(handle) + " " + std::to_string(mask) +
                                            " " + std::to_string(code)));
  return {r, std::move(data), {}};
}
NetInfo BrokerChild::netInfoItems(std::uint32_t handle, std::uint32_t mask, std::uint32_t code) {
  const auto [r, items] =
      resultAndText(expectText("netinfo " + std::to_string(handle) + " " + std::to_string(mask) + " " +
                               std::to_string(code) + " items"));
  return {r, {}, splitList(items, ',')};
}
std::int32_t BrokerChild::setNetInfo(std::uint32_t handle, std::uint32_t mask, std::uint32_t code,
                                     const std::string& data) {
  return result(expectOk("setnetinfo " + std::to_string(handle) + " " + std::to_string(mask) + " " +
                         std::to_string(code) + " " + data));
}
Versions BrokerChild::version() {
  return versions(expectOk("version"));
}
Versions BrokerChild::versionEx() {
  return versions(expectOk("versionex"));
}
void BrokerChild::reportLocalPort(const std::string& port) {
  expectOk("local-report " + port);
}
std::vector<PostedMessage> BrokerChild::messages() {
  std::vector<PostedMessage> posted;
  for (const auto& item : splitList(expectText("messages"), ',')) {
    const auto parts = splitList(item, ':');
    if (parts.size() != 3) throw ChildError("bad message: " + item);
    posted.push_back({static_cast<std::uint32_t>(std::stoul(parts[0])),
                      static_cast<std::uint32_t>(std::stoul(parts[1])), hexNumber(parts[2])});
  }
  return posted;
}
std::uint32_t BrokerChild::loadTransports() {
  return expectOk("load-transports").hex();
}
int BrokerChild::stopFlag() {
  return static_cast<int>(expectNumber("stopflag"));
}
int BrokerChild::shutdownCalls() {
  return static_cast<int>(expectNumber("shutdown-calls"));
}
int BrokerChild::enumerationStorm(int threads, int rounds) {
  return static_cast<int>(
      expectNumber("enum-storm " + std::to_string(threads) + " " + std::to_string(rounds), 120000));
}

}  // namespace wf::testing
