#include "bidi_child.h"

#include <iomanip>

namespace wf::testing {
namespace {

std::int32_t decimal(const std::string& text) {
  return static_cast<std::int32_t>(std::stol(text));
}

std::string roomText(std::optional<std::uint32_t> room) {
  return room ? std::to_string(*room) : "null";
}

// "handle:flags" words from field `from` on.
PrinterListing listing(const ChildAnswer& a, std::size_t from) {
  PrinterListing out;
  for (std::size_t i = from; i < a.fields.size(); ++i) {
    const auto parts = splitList(a.fields[i], ':');
    if (parts.size() != 2) throw ChildError("bad printer: " + a.fields[i]);
    out.push_back({decimal(parts[0]), decimal(parts[1])});
  }
  return out;
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const ListedPrinter& p) {
  return out << p.handle << ":" << p.flags;
}
std::ostream& operator<<(std::ostream& out, const SpecificListing& s) {
  out << "{found 0x" << std::hex << s.found << std::dec << ", printers ";
  return printList(out, s.printers) << "}";
}
std::ostream& operator<<(std::ostream& out, const PrinterState& s) {
  return out << "{result " << s.result << ", flags " << s.flags << ", packet size " << s.packetSize << "}";
}
std::ostream& operator<<(std::ostream& out, const PortState& s) {
  return out << "{open " << s.open << ", held " << s.held << "}";
}

bool BidiChild::isPrimary() {
  return expectNumber("primary") != 0;
}
std::int32_t BidiChild::registerApp() {
  return static_cast<std::int32_t>(expectNumber("register"));
}
void BidiChild::unregisterApp() {
  expectOk("unregister");
}
PrinterListing BidiChild::scan() {
  return listing(expectOk("scan"), 0);
}
BufferReply BidiChild::bidi(std::uint32_t handle, std::uint32_t code, std::optional<std::uint32_t> room,
                            const std::string& requestHex, std::optional<std::uint32_t> requestLength) {
  return BufferReply::parse(expectOk("bidi " + std::to_string(handle) + " " + std::to_string(code) + " " +
                                     roomText(room) + " " + (requestHex.empty() ? "-" : requestHex) +
                                     (requestLength ? " " + std::to_string(*requestLength) : "")));
}
BufferReply BidiChild::netBidi(std::uint32_t mask, std::uint32_t handle, std::uint32_t code,
                               std::optional<std::uint32_t> room, const std::string& requestHex) {
  return BufferReply::parse(expectOk("netbidi " + std::to_string(mask) + " " + std::to_string(handle) + " " +
                                     std::to_string(code) + " " + roomText(room) + " " +
                                     (requestHex.empty() ? "-" : requestHex)));
}
Written BidiChild::write(std::uint32_t handle, std::uint32_t bytes, bool raw) {
  return Written::parse(
      expectOk("write " + std::to_string(handle) + " " + std::to_string(bytes) + " " + (raw ? "1" : "0")));
}
Written BidiChild::netWrite(std::uint32_t mask, std::uint32_t handle, std::uint32_t bytes, bool raw) {
  return Written::parse(expectOk("netwrite " + std::to_string(mask) + " " + std::to_string(handle) + " " +
                                 std::to_string(bytes) + " " + (raw ? "1" : "0")));
}
std::int32_t BidiChild::open(std::uint32_t handle) {
  return static_cast<std::int32_t>(expectNumber("open " + std::to_string(handle)));
}
std::int32_t BidiChild::close(std::uint32_t handle) {
  return static_cast<std::int32_t>(expectNumber("close " + std::to_string(handle)));
}
std::int32_t BidiChild::startDoc(std::uint32_t handle) {
  return static_cast<std::int32_t>(expectNumber("startdoc " + std::to_string(handle)));
}
std::int32_t BidiChild::capture(std::uint32_t handle, std::uint32_t mask, std::uint32_t flag) {
  return static_cast<std::int32_t>(expectNumber("capture " + std::to_string(handle) + " " +
                                                std::to_string(mask) + " " + std::to_string(flag)));
}
std::int32_t BidiChild::release(std::uint32_t handle, std::uint32_t flag) {
  return static_cast<std::int32_t>(
      expectNumber("release " + std::to_string(handle) + " " + std::to_string(flag)));
}
BufferReply BidiChild::query(std::uint32_t key, std::optional<std::uint32_t> room, std::uint32_t flag) {
  return BufferReply::parse(
      expectOk("query " + std::to_string(key) + " " + roomText(room) + " " + std::to_string(flag)));
}
std::vector<Posted> BidiChild::posts() {
  std::vector<Posted> out;
  for (const std::string& field : expectOk("posts").fields) out.push_back(PostedAlert::parse(field));
  return out;
}

PrinterListing BidiChild::enumerate(std::uint32_t mask) {
  return listing(expectOk("enum " + std::to_string(mask)), 0);
}
SpecificListing BidiChild::enumerateLocal(const std::string& port) {
  const ChildAnswer a = expectOk("specific-local " + port);
  const std::string& r = a.field(0);
  if (!r.starts_with("r=")) throw ChildError("no result in answer: " + r);
  return {static_cast<std::uint32_t>(std::stoul(r.substr(2), nullptr, 16)), listing(a, 1)};
}
PrinterState BidiChild::printerInfo(std::uint32_t handle, std::uint32_t refresh) {
  const ChildAnswer a = expectOk("prtinfo " + std::to_string(handle) + " " + std::to_string(refresh));
  return {decimal(a.field(0)), decimal(a.field(1)), decimal(a.field(2))};
}
std::int32_t BidiChild::traceStart(std::optional<std::string> file) {
  return static_cast<std::int32_t>(expectNumber("trace-start " + file.value_or("-")));
}
std::int32_t BidiChild::traceStop() {
  return static_cast<std::int32_t>(expectNumber("trace-stop"));
}

void BidiChild::net(const std::string& file, const std::string& command) {
  expectOk("net " + file + " " + command);
}
std::string BidiChild::netWrites(const std::string& file) {
  return expectText("net " + file + " writes");
}
std::string BidiChild::netCalls(const std::string& file) {
  return expectText("net " + file + " calls");
}
int BidiChild::netInject(const std::string& file, int port, const std::string& hexData) {
  return static_cast<int>(expectNumber("net " + file + " inject " + std::to_string(port) + " " + hexData));
}

void BidiChild::monitor(const std::string& command) {
  expectOk("monitor " + command);
}
std::int32_t BidiChild::monitorTake(const std::string& port, const std::string& printer) {
  return static_cast<std::int32_t>(expectNumber("monitor take " + port + " " + printer));
}
MonitorState BidiChild::monitorState(const std::string& port) {
  const NamedValues v = namedValues(expectOk("monitor state " + port).fields);
  return {decimal(v.at("holds")), decimal(v.at("asks"))};
}
PortState BidiChild::portState(int lpt) {
  const NamedValues v = namedValues(expectOk("port-state " + std::to_string(lpt)).fields);
  return {v.at("open") == "1", v.at("held") == "1"};
}

}  // namespace wf::testing
