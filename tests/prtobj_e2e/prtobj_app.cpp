#include "prtobj_app.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace prtobje2e {

namespace {
unsigned long unsignedOf(const std::string& s) {
  return std::stoul(s, nullptr, 0);
}
}  // namespace

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    pieces.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return pieces;
    start = end + 1;
  }
}

wf::testing::ChildAnswer PrtObjApp::ask(const std::string& command) {
  auto answer = child_.ask(command);
  if (!answer.ok) throw std::runtime_error(command + ": " + answer.error);
  return answer;
}

// Answers "ok <rc>|a|b|..." whose fields may hold blanks.
std::vector<std::string> PrtObjApp::barFields(const std::string& command, long* rc) {
  const std::string line = child_.call(command);
  if (line.rfind("ok ", 0) != 0) throw std::runtime_error(command + ": " + line);
  auto fields = split(line.substr(3), '|');
  *rc = std::stol(fields.front());
  fields.erase(fields.begin());
  return fields;
}

long PrtObjApp::registerApp() {
  return ask("register").number();
}

std::pair<long, std::uint32_t> PrtObjApp::nets() {
  const auto a = ask("nets");
  return {static_cast<long>(a.number(0)), static_cast<std::uint32_t>(unsignedOf(a.fields.at(1)))};
}

std::pair<long, std::vector<std::pair<std::string, std::uint16_t>>> PrtObjApp::enumerate(std::uint32_t mask) {
  const auto a = ask(mask ? "enum " + std::to_string(mask) : std::string("enum"));
  std::vector<std::pair<std::string, std::uint16_t>> found;
  for (std::size_t i = 1; i < a.fields.size(); ++i) {
    const auto eq = a.fields[i].rfind('=');
    found.emplace_back(a.fields[i].substr(0, eq),
                       static_cast<std::uint16_t>(unsignedOf(a.fields[i].substr(eq + 1))));
  }
  return {static_cast<long>(a.number(0)), found};
}

bool PrtObjApp::object(std::uint16_t handle, std::uint32_t type) {
  return child_.ask("object " + std::to_string(handle) + " " + std::to_string(type)).ok;
}

bool PrtObjApp::bidiActive(std::uint16_t handle) {
  return ask("active " + std::to_string(handle)).number() != 0;
}

long PrtObjApp::capture(std::uint16_t handle, std::uint32_t mask) {
  return static_cast<long>(ask("capture " + std::to_string(handle) + " " + std::to_string(mask)).number());
}

long PrtObjApp::write(std::uint16_t handle, std::uint32_t mask, std::size_t count, bool raw) {
  return static_cast<long>(ask("write " + std::to_string(handle) + " " + std::to_string(mask) + " " +
                               std::to_string(count) + (raw ? " 1" : ""))
                               .number());
}

long PrtObjApp::startDoc(std::uint16_t handle, std::uint32_t mask) {
  return static_cast<long>(ask("startdoc " + std::to_string(handle) + " " + std::to_string(mask)).number());
}

long PrtObjApp::endDoc(std::uint16_t handle, std::uint32_t mask) {
  return static_cast<long>(ask("enddoc " + std::to_string(handle) + " " + std::to_string(mask)).number());
}

std::pair<long, std::vector<std::uint16_t>> PrtObjApp::findAgain(std::uint16_t handle, std::uint32_t mask) {
  const auto a = ask("again " + std::to_string(handle) + " " + std::to_string(mask));
  std::vector<std::uint16_t> found;
  for (std::size_t i = 1; i < a.fields.size(); ++i)
    found.push_back(static_cast<std::uint16_t>(unsignedOf(a.fields[i])));
  return {static_cast<long>(a.number(0)), found};
}

DeviceChars PrtObjApp::chars(std::uint16_t handle) {
  DeviceChars c;
  const auto f = barFields("chars " + std::to_string(handle), &c.rc);
  if (f.size() != 6) throw std::runtime_error("chars: " + std::to_string(f.size()) + " fields");
  c.model = f[0], c.revision = f[1], c.serial = f[2];
  c.memoryKb = unsignedOf(f[3]), c.speed = unsignedOf(f[4]), c.duplex = unsignedOf(f[5]);
  return c;
}

namespace {
Bins binsOf(long rc, const std::vector<std::string>& fields) {
  Bins b{rc, {}};
  for (const auto& f : fields) {
    const auto parts = split(f, ':');
    if (parts.size() != 3) throw std::runtime_error("bin: " + f);
    b.bins.push_back({parts[0], unsignedOf(parts[1]), unsignedOf(parts[2])});
  }
  return b;
}
}  // namespace

Bins PrtObjApp::inputs(std::uint16_t handle) {
  long rc = 0;
  const auto f = barFields("inputs " + std::to_string(handle), &rc);
  return binsOf(rc, f);
}

Bins PrtObjApp::outputs(std::uint16_t handle) {
  long rc = 0;
  const auto f = barFields("outputs " + std::to_string(handle), &rc);
  return binsOf(rc, f);
}

Storage PrtObjApp::storage(std::uint16_t handle) {
  Storage s;
  const auto f = barFields("storage " + std::to_string(handle), &s.rc);
  if (f.size() != 7) throw std::runtime_error("storage: " + std::to_string(f.size()) + " fields");
  s.flashSize = unsignedOf(f[0]), s.flashFree = unsignedOf(f[1]), s.diskSize = unsignedOf(f[2]);
  s.diskFree = unsignedOf(f[3]), s.fontCartridge = unsignedOf(f[4]);
  s.cartridgeName = f[5], s.cartridgeDetail = f[6];
  return s;
}

CodeLevels PrtObjApp::levels(std::uint16_t handle) {
  CodeLevels l;
  l.levels = barFields("levels " + std::to_string(handle), &l.rc);
  return l;
}

PrinterType PrtObjApp::type(std::uint16_t handle) {
  const auto a = ask("type " + std::to_string(handle));
  return {static_cast<long>(a.number(0)), static_cast<long>(a.number(1)),
          static_cast<unsigned long>(a.number(2))};
}

Family PrtObjApp::family(std::uint16_t handle) {
  const auto a = ask("family " + std::to_string(handle));
  return {static_cast<long>(a.number(0)), static_cast<unsigned long>(a.number(1))};
}

PageCounts PrtObjApp::pages(std::uint16_t handle) {
  const auto a = ask("pages " + std::to_string(handle));
  PageCounts p{static_cast<long>(a.number(0)), {}};
  for (std::size_t i = 0; i < p.counters.size(); ++i)
    p.counters[i] = static_cast<unsigned long>(a.number(1 + i));
  return p;
}

Alerts PrtObjApp::jams(std::uint16_t handle) {
  const auto a = ask("jams " + std::to_string(handle));
  Alerts out{static_cast<long>(a.number(0)), {}};
  for (std::size_t i = 1; i < a.fields.size(); ++i) {
    const auto parts = split(a.fields[i], ':');
    out.alerts.push_back({unsignedOf(parts.at(0)), unsignedOf(parts.at(1))});
  }
  return out;
}

std::vector<Post> PrtObjApp::posts(std::size_t count, std::uint32_t message) {
  const auto a = ask("posts " + std::to_string(count) + " " + std::to_string(message));
  std::vector<Post> out;
  for (const auto& f : a.fields) {
    const auto parts = split(f, ':');
    out.push_back({static_cast<std::uint32_t>(std::stoul(parts.at(0))),
                   static_cast<std::uint32_t>(std::stoul(parts.at(1), nullptr, 16)),
                   static_cast<std::uint32_t>(std::stoul(parts.at(2), nullptr, 16))});
  }
  return out;
}

long PrtObjApp::moveAdapter(std::uint16_t handle, const std::string& node) {
  return static_cast<long>(ask("move " + std::to_string(handle) + " " + node).number(0));
}

long PrtObjApp::renameAdapter(std::uint16_t handle, const std::string& loginName) {
  return static_cast<long>(ask("rename " + std::to_string(handle) + " " + loginName).number(0));
}

std::string PrtObjApp::netWareName(std::uint16_t handle) {
  return nameOn(handle, 1);
}

std::string PrtObjApp::nameOn(std::uint16_t handle, std::uint32_t bit) {
  const auto a = ask("name " + std::to_string(handle) + " " + std::to_string(bit));
  return a.fields.size() > 1 ? a.fields.at(1) : std::string();
}

long PrtObjApp::peerEntry(unsigned item, unsigned kind, const std::string& name) {
  return static_cast<long>(
      ask("peer-entry " + std::to_string(item) + " " + std::to_string(kind) + " " + name).number(0));
}

std::pair<long, std::vector<std::string>> PrtObjApp::peerList() {
  const auto a = ask("peer-list");
  return {static_cast<long>(a.number(0)), std::vector<std::string>(a.fields.begin() + 1, a.fields.end())};
}

std::pair<long, std::vector<unsigned>> PrtObjApp::knownServers(std::uint16_t handle) {
  const auto a = ask("servers " + std::to_string(handle));
  std::vector<unsigned> counts;
  for (std::size_t i = 1; i < a.fields.size(); ++i)
    counts.push_back(static_cast<unsigned>(unsignedOf(a.fields[i])));
  return {static_cast<long>(a.number(0)), counts};
}

PrtObjApp::Info PrtObjApp::info(std::uint16_t handle) {
  const auto a = ask("prtinfo " + std::to_string(handle));
  Info i;
  i.rc = static_cast<long>(a.number(0));
  i.adapterClass = a.hex(1);
  i.portKind = a.hex(2);
  i.connections = a.hex(3);
  return i;
}

std::pair<std::string, std::string> PrtObjApp::names(std::uint16_t handle, std::uint32_t bit) {
  const auto a = ask("name " + std::to_string(handle) + " " + std::to_string(bit));
  return {a.fields.size() > 1 ? a.fields[1] : std::string(), a.fields.size() > 2 ? a.fields[2] : std::string()};
}

std::string PrtObjApp::ipxAddress(std::uint16_t handle) {
  const auto a = ask("ipxaddr " + std::to_string(handle));
  return a.fields.empty() ? std::string() : a.fields.at(0);
}

std::pair<long, std::vector<std::uint16_t>> PrtObjApp::enumSpecificPort(std::uint32_t bit, const std::string& name) {
  const auto a = ask("specport " + std::to_string(bit) + " " + name);
  std::vector<std::uint16_t> found;
  for (std::size_t i = 1; i < a.fields.size(); ++i)
    found.push_back(static_cast<std::uint16_t>(unsignedOf(a.fields[i])));
  return {static_cast<long>(a.number(0)), found};
}

std::string PrtObjApp::node(std::uint16_t handle) {
  const auto a = ask("node " + std::to_string(handle));
  return a.fields.size() > 1 ? a.fields.at(1) : std::string();
}

QuickSetup PrtObjApp::quickSetup(std::uint16_t handle, bool send, const std::string& file, unsigned step) {
  const auto a =
      ask("qs " + std::to_string(handle) + (send ? " send " : " recv ") + file + " " + std::to_string(step));
  QuickSetup q{static_cast<long>(a.number(0)), static_cast<unsigned long>(a.number(1)), {}};
  for (std::size_t i = 2; i < a.fields.size(); ++i) {
    const auto parts = split(a.fields[i], ':');
    q.posts.push_back({unsignedOf(parts.at(0)), std::stol(parts.at(1))});
  }
  return q;
}

Listing PrtObjApp::list(std::uint16_t handle, unsigned device) {
  Listing l;
  for (const auto& f : barFields("list " + std::to_string(handle) + " " + std::to_string(device), &l.rc)) {
    // kind,more,result[,entry] where the entry may hold commas of its own
    const auto parts = split(f, ',');
    if (parts.size() < 3) throw std::runtime_error("list: " + f);
    ListedEntry e{unsignedOf(parts[0]), unsignedOf(parts[1]), unsignedOf(parts[2]), {}};
    const std::size_t head = parts[0].size() + parts[1].size() + parts[2].size() + 3;
    if (f.size() > head) e.entry = f.substr(head);
    l.entries.push_back(e);
  }
  return l;
}

int PrtObjApp::quit() {
  child_.call("quit");
  return child_.waitExit();
}

}  // namespace prtobje2e
