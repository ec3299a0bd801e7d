#include "sim/adapter/adapter_config.h"

#include <charconv>
#include <sstream>

#include "platform/regular_file.h"
#include "platform/scenario.h"
#include "sim/printer/profile.h"

namespace wf::sim::adapter {
namespace {

// An adapter is a page of settings; anything larger is not one.
constexpr std::size_t kMaxAdapterBytes = 1024 * 1024;

bool fail(std::string* error, std::string why) {
  if (error) *error = std::move(why);
  return false;
}

std::optional<std::uint32_t> number(std::string_view s, std::uint32_t max) {
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) base = 16, s.remove_prefix(2);
  std::uint64_t v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size() || v > max) return std::nullopt;
  return static_cast<std::uint32_t>(v);
}

template <typename T>
bool numberInto(T& out, std::string_view value, std::uint32_t max, std::string* error) {
  auto n = number(value, max);
  if (!n) return fail(error, "not a number up to " + std::to_string(max));
  out = static_cast<T>(*n);
  return true;
}

bool flag(bool& out, std::string_view value, std::string* error) {
  std::uint8_t v = 0;
  if (!numberInto(v, value, 1, error)) return false;
  out = v;
  return true;
}

// "text" or hex bytes.
bool bytesInto(Bytes& out, std::string_view value, std::string* error) {
  auto v = sim::parseValue(value);
  if (!v) return fail(error, "not \"text\" or hex bytes");
  out.assign(v->begin(), v->end());
  return true;
}

bool textInto(std::string& out, std::string_view value, std::string* error) {
  Bytes b;
  if (!bytesInto(b, value, error)) return false;
  out.assign(b.begin(), b.end());
  return true;
}

template <std::size_t N>
bool fixedInto(std::array<std::uint8_t, N>& out, std::string_view value, std::string* error) {
  Bytes b;
  if (!bytesInto(b, value, error)) return false;
  if (b.size() != N) return fail(error, "needs " + std::to_string(N) + " bytes");
  std::copy(b.begin(), b.end(), out.begin());
  return true;
}

// A hex run without blanks, "0000C0112233", or blank-separated bytes.
template <std::size_t N>
bool addressInto(std::array<std::uint8_t, N>& out, std::string_view value, std::string* error) {
  std::string spaced;
  if (value.find(' ') == std::string_view::npos && value.size() == 2 * N) {
    for (std::size_t i = 0; i < value.size(); i += 2) spaced.append(value.substr(i, 2)).push_back(' ');
    value = spaced;
  }
  return fixedInto(out, value, error);
}

bool portLine(AdapterConfig& c, std::string_view key, std::string_view value, std::string* error) {
  // port<n>.<field>
  const auto dot = key.find('.');
  std::uint8_t n = 0;
  if (dot == std::string_view::npos || !numberInto(n, key.substr(4, dot - 4), 7, error))
    return fail(error, "port key is port<n>.<field>");
  PortConfig& p = c.ports[n];
  const std::string_view field = key.substr(dot + 1);
  if (field == "enabled") return flag(p.enabled, value, error);
  if (field == "busy") return flag(p.busy, value, error);
  if (field == "polling") return numberInto(p.polling, value, 0xFFFF, error);
  if (field == "print-server") return textInto(p.printServer, value, error);
  if (field == "print-server2") return textInto(p.printServer2, value, error);
  if (field == "printer") return p.printerProfile = value, true;
  if (field == "settings") return bytesInto(p.settings, value, error);
  return fail(error, "unknown port field " + std::string(field));
}

bool variableLine(AdapterConfig& c, std::string_view key, std::string_view value, std::string* error) {
  // "var G.V"
  const std::string_view gv = key.substr(4);
  const auto dot = gv.find('.');
  std::uint8_t g = 0, v = 0;
  if (dot == std::string_view::npos || !numberInto(g, gv.substr(0, dot), 255, error) ||
      !numberInto(v, gv.substr(dot + 1), 254, error))
    return fail(error, "variable key is var <group>.<variable>");
  return bytesInto(c.variables[{g, v}], value, error);
}

bool knobLine(Knobs& k, std::string_view key, std::string_view value, std::string* error, bool& known) {
  known = true;
  if (key == "silent") return flag(k.silent, value, error);
  if (key == "delay") return numberInto(k.delayMs, value, 600'000, error);
  if (key == "command-status") return numberInto(k.commandStatus, value, 255, error);
  if (key == "ignore") return flag(k.ignoreFlag, value, error);
  if (key == "identity-node") {
    if (value.empty()) return k.identityNode.reset(), true;
    Node n{};
    if (!addressInto(n, value, error)) return false;
    return k.identityNode = n, true;
  }
  if (key == "error-flag") return flag(k.errorFlag, value, error);
  if (key == "fragments") {  // "2 0 1": three fragments sent in that order
    std::vector<std::uint16_t> order;
    std::istringstream words{std::string(value)};
    for (std::string w; words >> w;) {
      std::uint16_t n = 0;
      if (!numberInto(n, w, 31, error)) return false;
      order.push_back(n);
    }
    return k.fragmentOrder = std::move(order), true;
  }
  if (key == "answer-from") return numberInto(k.answerFrom, value, 1'000'000, error);
  if (key == "garbage") return flag(k.garbage, value, error);
  if (key == "length-beyond") return flag(k.lengthBeyond, value, error);
  if (key == "oversize") return flag(k.oversize, value, error);
  if (key == "port-block") {
    if (value == "ok") return k.portBlock = Knobs::PortBlockFault::None, true;
    if (value == "empty") return k.portBlock = Knobs::PortBlockFault::Empty, true;
    if (value == "past-end") return k.portBlock = Knobs::PortBlockFault::PastEnd, true;
    return fail(error, "port-block is ok, empty or past-end");
  }
  if (key == "data-delay") return numberInto(k.dataDelayMs, value, 600'000, error);
  if (key == "no-ack") return flag(k.noAck, value, error);
  if (key == "ack-delay") return numberInto(k.ackDelayMs, value, 600'000, error);
  if (key == "drop-ack") return numberInto(k.dropAck, value, 1'000'000, error);
  if (key == "pace-off") return numberInto(k.paceOff, value, 1'000'000, error);
  if (key == "pace-on-after") return numberInto(k.paceOnAfterMs, value, 600'000, error);
  if (key == "data-lost") return numberInto(k.dataLost, value, 1'000'000, error);
  if (key == "npa-error") return flag(k.npaError, value, error);
  if (key == "alert-pieces") {
    if (!numberInto(k.alertPieces, value, 64, error)) return false;
    return k.alertPieces ? true : fail(error, "alert-pieces is 1 or more");
  }
  if (key == "refuse-capture") return numberInto(k.refuseCapture, value, 1'000'000, error);
  if (key == "alert-tag") {
    if (value == "dsa") return k.alertTag = Knobs::AlertTag::Dsa, true;
    if (value == "intervention") return k.alertTag = Knobs::AlertTag::Intervention, true;
    if (value == "program-check") return k.alertTag = Knobs::AlertTag::ProgramCheck, true;
    return fail(error, "alert-tag is dsa, intervention or program-check");
  }
  if (key == "name-unterminated") return flag(k.nameUnterminated, value, error);
  if (key == "entry-length") {
    if (value == "ok") return k.entryLength = Knobs::EntryLength::Ok, true;
    if (value == "0") return k.entryLength = Knobs::EntryLength::Zero, true;
    if (value == "past-end") return k.entryLength = Knobs::EntryLength::PastEnd, true;
    return fail(error, "entry-length is ok, 0 or past-end");
  }
  if (key == "alert-as") {
    if (value == "whole") return k.alertShape = Knobs::AlertShape::Whole, true;
    if (value == "fragment") return k.alertShape = Knobs::AlertShape::Fragment, true;
    if (value == "numbered-1") return k.alertShape = Knobs::AlertShape::NumberedOne, true;
    return fail(error, "alert-as is whole, fragment or numbered-1");
  }
  if (key == "reply-from") return numberInto(k.replyFromPort, value, 16, error);
  if (key == "no-restart") return flag(k.noRestart, value, error);
  if (key == "listing-count") {
    std::uint8_t n = 0;
    if (!numberInto(n, value, 255, error)) return false;
    return k.listingCount = n, true;
  }
  if (key == "server-block") {
    std::uint8_t n = 0;
    if (!numberInto(n, value, 255, error)) return false;
    return k.serverBlock = n, true;
  }
  if (key == "flash-sequence-error") return flag(k.flashSequenceError, value, error);
  if (key == "status-for") {  // "LPA Flash Open | 1": that command's status byte
    const auto bar = value.rfind('|');
    if (bar == std::string_view::npos) return fail(error, "status-for is <tag> | <status>");
    std::string_view tag = value.substr(0, bar), number = value.substr(bar + 1);
    while (!tag.empty() && tag.back() == ' ') tag.remove_suffix(1);
    while (!number.empty() && number.front() == ' ') number.remove_prefix(1);
    std::uint8_t status = 0;
    if (!numberInto(status, number, 255, error)) return false;
    return k.statusFor[std::string(tag)] = status, true;
  }
  known = false;
  return false;
}

}  // namespace

Node tokenRingOrder(const Node& canonical, std::uint8_t media) {
  if (media == 1) return canonical;
  Node out{};
  for (std::size_t i = 0; i < out.size(); ++i) {
    std::uint8_t b = canonical[i], r = 0;
    for (int bit = 0; bit < 8; ++bit) r = static_cast<std::uint8_t>(r << 1 | ((b >> bit) & 1));
    out[i] = r;
  }
  return out;
}

bool applyAdapterLine(AdapterConfig& c, std::string_view key, std::string_view value, std::string* error) {
  bool known = false;
  const bool ok = knobLine(c.knobs, key, value, error, known);
  if (known) return ok;
  if (key == "kind") {
    if (value == "multiport") return c.kind = Kind::MultiPort, true;
    if (value == "single") return c.kind = Kind::SinglePort, true;
    if (value == "7390") return c.kind = Kind::External7390, true;
    return fail(error, "kind is multiport, single or 7390");
  }
  if (key == "corlink-ipx") {
    if (!flag(c.corlinkIpx, value, error)) return false;
    if (c.corlinkIpx && c.kind == Kind::External7390)
      return c.corlinkIpx = false, fail(error, "corlink-ipx: a 7390 does not speak the IPX datagrams");
    return true;
  }
  if (key == "flash-capable") return flag(c.flashCapable, value, error);
  if (key == "network") return addressInto(c.network, value, error);
  if (key == "node") {
    Node n{};
    if (!addressInto(n, value, error)) return false;
    return c.ipxNode = n, true;
  }
  if (key == "universal") return addressInto(c.universal, value, error);
  if (key == "media") return numberInto(c.media, value, 15, error);
  if (key == "name") {
    std::string name;
    if (!textInto(name, value, error)) return false;
    if (name.size() > 24) return fail(error, "a name has at most 24 characters");
    return c.name = name, true;
  }
  if (key == "print-mode") return numberInto(c.printMode, value, 255, error);
  if (key == "nvram") return flag(c.nvram, value, error);
  if (key == "por") return flag(c.powerOnReset, value, error);
  if (key == "npa") return flag(c.npa, value, error);
  if (key == "serial-port") return flag(c.serialPort, value, error);
  if (key == "model-tag") return textInto(c.modelTag, value, error);
  if (key == "product") return textInto(c.product, value, error);
  if (key == "model") return textInto(c.model, value, error);
  if (key == "machine-type") return textInto(c.machineType, value, error);
  if (key == "level") return textInto(c.level, value, error);
  if (key == "second-name") return textInto(c.secondName, value, error);
  if (key == "firmware") return fixedInto(c.firmware, value, error);
  if (key == "password") return textInto(c.password, value, error);
  if (key == "servers") {  // "FS1 FS2": the file servers serviced
    c.servers.clear();
    std::istringstream words{std::string(value)};
    for (std::string w; words >> w && c.servers.size() < 16;) c.servers.push_back(w);
    return true;
  }
  if (key == "advance") return fixedInto(c.advance, value, error);
  if (key == "restart-time") return numberInto(c.restartMs, value, 3'600'000, error);
  if (key.starts_with("port")) return portLine(c, key, value, error);
  if (key.starts_with("var ")) return variableLine(c, key, value, error);
  return fail(error, "unknown key " + std::string(key));
}

namespace {

template <class Range>
std::string hexBytes(const Range& bytes, const char* separator) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (std::uint8_t b : bytes) {
    if (!out.empty()) out += separator;
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::string quoted(const std::string& text) {
  return "\"" + text + "\"";
}

std::optional<std::string> portKeyText(const AdapterConfig& c, std::string_view key, std::string* error) {
  const auto dot = key.find('.');
  std::uint8_t n = 0;
  if (dot == std::string_view::npos || !numberInto(n, key.substr(4, dot - 4), 7, error)) return std::nullopt;
  const auto found = c.ports.find(n);
  if (found == c.ports.end()) {
    fail(error, "no port " + std::to_string(n));
    return std::nullopt;
  }
  const PortConfig& p = found->second;
  const std::string_view field = key.substr(dot + 1);
  if (field == "enabled") return std::to_string(p.enabled);
  if (field == "busy") return std::to_string(p.busy);
  if (field == "polling") return std::to_string(p.polling);
  if (field == "print-server") return quoted(p.printServer);
  if (field == "print-server2") return quoted(p.printServer2);
  if (field == "printer") return p.printerProfile;
  if (field == "settings") return hexBytes(p.settings, " ");
  fail(error, "unknown port field " + std::string(field));
  return std::nullopt;
}

}  // namespace

std::optional<std::string> adapterKeyText(const AdapterConfig& c, std::string_view key, std::string* error) {
  if (key == "network") return hexBytes(c.network, "");
  if (key == "node") return hexBytes(c.ipxNode.value_or(c.universal), "");
  if (key == "universal") return hexBytes(c.universal, "");
  if (key == "media") return std::to_string(c.media);
  if (key == "name") return quoted(c.name);
  if (key == "firmware") return hexBytes(c.firmware, " ");
  if (key == "password") return quoted(c.password);
  if (key == "restart-time") return std::to_string(c.restartMs);
  if (key.starts_with("port")) return portKeyText(c, key, error);
  fail(error, "cannot show " + std::string(key));
  return std::nullopt;
}

std::optional<AdapterConfig> parseAdapter(std::string_view text, std::string* error) {
  AdapterConfig c;
  int number = 0;
  std::istringstream lines{std::string(text)};
  for (std::string line; std::getline(lines, line);) {
    ++number;
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    std::string key, value, why;
    if (!splitScenarioEntry(line, key, value) || !applyAdapterLine(c, key, value, &why)) {
      fail(error, "line " + std::to_string(number) + ": " + (why.empty() ? "not key = value" : why));
      return std::nullopt;
    }
  }
  return c;
}

std::optional<AdapterConfig> loadAdapter(const std::filesystem::path& file, std::string* error) {
  std::string why;
  const auto text = readRegularFile(file, kMaxAdapterBytes, &why);
  if (!text) {
    fail(error, "cannot read " + why);
    return std::nullopt;
  }
  auto c = parseAdapter(*text, &why);
  if (!c) fail(error, file.filename().string() + ": " + why);
  return c;
}

}  // namespace wf::sim::adapter
