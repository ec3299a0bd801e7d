#include "sim/printer/profile.h"

#include <charconv>
#include <sstream>

#include "platform/regular_file.h"

namespace wf::sim {

namespace {

// A profile is a page of settings; anything larger is not one.
constexpr std::size_t kMaxProfileBytes = 1024 * 1024;

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::uint32_t> parseNumber(std::string_view s, std::uint32_t max) {
  s = trim(s);
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  std::uint64_t v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
  if (ec != std::errc() || end != s.data() + s.size() || s.empty() || v > max) return std::nullopt;
  return static_cast<std::uint32_t>(v);
}

// Splits off the first blank-separated word.
std::string_view nextWord(std::string_view& rest) {
  rest = trim(rest);
  auto end = rest.find_first_of(" \t");
  auto word = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end);
  return word;
}

std::optional<std::uint16_t> parseVariable(std::string_view s) {
  s = trim(s);
  if (s.size() != 4) return std::nullopt;
  std::uint16_t v = 0;
  for (char c : s) {
    int d = hexDigit(c);
    if (d < 0) return std::nullopt;
    v = static_cast<std::uint16_t>(v << 4 | d);
  }
  return v;
}

class ProfileParser {
 public:
  explicit ProfileParser(Profile& p) : profile(p) {}
  bool line(std::string_view key, std::string_view value, std::string& why);
  Profile& profile;

 private:
  template <typename T>
  bool byteField(T& field, std::string_view value, std::uint32_t max, std::string& why) {
    auto n = parseNumber(value, max);
    if (!n) return why = "bad number", false;
    field = static_cast<T>(*n);
    return true;
  }
  bool record(std::vector<std::string>& list, std::string_view value, std::size_t size, std::string& why) {
    auto bytes = parseValue(value);
    if (!bytes || (size && bytes->size() != size)) return why = "bad record", false;
    list.push_back(*bytes);
    return true;
  }
};

bool ProfileParser::line(std::string_view key, std::string_view value, std::string& why) {
  Profile& p = profile;
  if (key == "family") return p.family = value, true;
  if (key == "device-id") return p.deviceId = value, true;
  if (key == "model") return p.model = value, true;
  if (key == "revision") return p.revision = value, true;
  if (key == "serial") return p.serial = value, true;
  if (key == "npa") {
    p.pjlSilent = false;
    if (value == "on")
      p.npa = NpaMode::On;
    else if (value == "off")
      p.npa = NpaMode::Off;
    else if (value == "auto")
      p.npa = NpaMode::Auto;
    else if (value == "auto-silent")
      p.npa = NpaMode::Auto, p.pjlSilent = true;
    else
      return why = "npa is on, off, auto or auto-silent", false;
    return true;
  }
  if (key == "summary-byte2") return byteField(p.summaryByte2, value, 0xFF, why);
  if (key == "duplex") return byteField(p.duplex, value, 0xFF, why);
  if (key == "speed") return byteField(p.speed, value, 0xFF, why);
  if (key == "memory") return byteField(p.memoryBytes, value, 0xFFFFFFFF, why);
  if (key == "max-packet") return byteField(p.maxPacket, value, 0xFFFF, why);
  if (key == "status") {
    auto bytes = parseValue(value);
    if (!bytes || bytes->size() != 3) return why = "status is 3 bytes", false;
    for (int i = 0; i < 3; ++i) p.status[i] = static_cast<std::uint8_t>((*bytes)[i]);
    return true;
  }
  if (key == "input") {  // id capacity paper-type form-size name
    InputSource in;
    std::string_view rest = value;
    if (!byteField(in.id, nextWord(rest), 0xFF, why) ||
        !byteField(in.capacity, nextWord(rest), 0xFFFFFFFF, why) ||
        !byteField(in.paperType, nextWord(rest), 0xFF, why) ||
        !byteField(in.formSize, nextWord(rest), 0xFF, why))
      return false;
    in.name = trim(rest);
    p.inputs.push_back(in);
    return true;
  }
  if (key == "output") {  // id type capacity flags1 flags2 name
    OutputBin out;
    std::string_view rest = value;
    if (!byteField(out.id, nextWord(rest), 0xFF, why) || !byteField(out.type, nextWord(rest), 0xFF, why) ||
        !byteField(out.capacity, nextWord(rest), 0xFFFFFFFF, why) ||
        !byteField(out.flags1, nextWord(rest), 0xFF, why) ||
        !byteField(out.flags2, nextWord(rest), 0xFF, why))
      return false;
    out.name = trim(rest);
    p.outputs.push_back(out);
    return true;
  }
  if (key == "storage") return p.storage.emplace_back(value), true;
  if (key == "page-count") {  // kind value
    std::string_view rest = value;
    std::uint8_t kind = 0;
    std::uint32_t count = 0;
    if (!byteField(kind, nextWord(rest), 0xFF, why) || !byteField(count, nextWord(rest), 0xFFFFFFFF, why))
      return false;
    p.pageCounts.emplace_back(kind, count);
    return true;
  }
  if (key == "disk" || key == "flash") {  // capacity; files already there stay
    return byteField(p.devices[key == "disk" ? 1 : 2].capacity, value, 0xFFFFFFFF, why);
  }
  if (key == "file") {  // disk|flash name id type size description
    std::string_view rest = value;
    const std::string_view device = nextWord(rest);
    if (device != "disk" && device != "flash") return why = "file is on disk or flash", false;
    auto it = p.devices.find(device == "disk" ? 1 : 2);
    if (it == p.devices.end()) return why = "no " + std::string(device) + " declared before its files", false;
    StoredFile file;
    // A name may carry the printer's own bytes as \xNN.
    const auto name = parseValue("\"" + std::string(nextWord(rest)) + "\"");
    if (!name) return why = "bad file name", false;
    file.name = *name;
    file.id = nextWord(rest);
    file.type = nextWord(rest);
    if (file.type.empty() || !byteField(file.size, nextWord(rest), 0xFFFFFFFF, why))
      return why = "expected file = disk|flash name id type size description", false;
    file.description = trim(rest);
    it->second.files.push_back(file);
    return true;
  }
  if (key == "jobbuf-partition") return byteField(p.bufferPartition, value, 0xFF, why);
  if (key == "jobbuf-port") {  // kind active set
    BufferedPort port;
    std::string_view rest = value;
    if (!byteField(port.kind, nextWord(rest), 0xFF, why) ||
        !byteField(port.active, nextWord(rest), 0xFF, why) || !byteField(port.set, nextWord(rest), 0xFF, why))
      return false;
    if (!trim(rest).empty()) return why = "expected jobbuf-port = kind active set", false;
    p.bufferedPorts.push_back(port);
    return true;
  }
  if (key == "input-status") return record(p.inputStatus, value, 3, why);
  if (key == "output-status") return record(p.outputStatus, value, 3, why);
  if (key == "supplies-status") return record(p.suppliesStatus, value, 4, why);
  if (key == "panel") {
    auto text = parseValue(value);
    if (!text) return why = "bad panel text", false;
    p.panelText = *text;
    return true;
  }
  // "alert N", "om HHHH", "misc HHHH", "misc-error HHHH": a word and an argument.
  std::string_view arg = key;
  std::string_view word = nextWord(arg);
  arg = trim(arg);
  if (word == "alert") {
    auto n = parseNumber(arg, kFirstAlertList + kAlertListCount - 1);
    if (!n || *n < kFirstAlertList) return why = "alert lists are 5 to 10", false;
    auto bytes = parseValue(value);
    if (!bytes || bytes->size() < 4 || bytes->size() != 4u + static_cast<std::uint8_t>((*bytes)[3]))
      return why = "alert record is a b c d and d bytes", false;
    p.alertLists[*n - kFirstAlertList].push_back(*bytes);
    return true;
  }
  if (word == "misc-error") {  // "misc-error HHHH = 1" answers reads with the error flag, "= 0" stops
    auto var = parseVariable(arg);
    if (!var || (value != "0" && value != "1")) return why = "expected misc-error HHHH = 0|1", false;
    if (value == "1")
      p.miscErrors.insert(*var);
    else
      p.miscErrors.erase(*var);
    return true;
  }
  if (word == "om" || word == "misc") {
    auto var = parseVariable(arg);
    auto bytes = parseValue(value);
    if (!var || !bytes) return why = "expected <om|misc> HHHH = value", false;
    (word == "om" ? p.omVars : p.miscVars)[*var] = *bytes;
    return true;
  }
  return why = "unknown key '" + std::string(key) + "'", false;
}

}  // namespace

std::optional<std::string> parseValue(std::string_view text) {
  text = trim(text);
  std::string out;
  if (!text.empty() && text.front() == '"') {
    if (text.size() < 2 || text.back() != '"') return std::nullopt;
    text = text.substr(1, text.size() - 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
      char c = text[i];
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (++i >= text.size()) return std::nullopt;
      switch (text[i]) {
        case '\\':
          out.push_back('\\');
          break;
        case '"':
          out.push_back('"');
          break;
        case 'n':
          out.push_back('\n');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 'x': {
          if (i + 2 >= text.size()) return std::nullopt;
          int hi = hexDigit(text[i + 1]), lo = hexDigit(text[i + 2]);
          if (hi < 0 || lo < 0) return std::nullopt;
          out.push_back(static_cast<char>(hi << 4 | lo));
          i += 2;
          break;
        }
        default:
          return std::nullopt;
      }
    }
    return out;
  }
  std::string_view rest = text;
  for (auto word = nextWord(rest); !word.empty(); word = nextWord(rest)) {
    if (word.size() != 2 || hexDigit(word[0]) < 0 || hexDigit(word[1]) < 0) return std::nullopt;
    out.push_back(static_cast<char>(hexDigit(word[0]) << 4 | hexDigit(word[1])));
  }
  return out;
}

bool applyProfileLine(Profile& profile, std::string_view key, std::string_view value, std::string* error) {
  ProfileParser parser(profile);
  std::string why;
  if (parser.line(trim(key), trim(value), why)) return true;
  if (error) *error = why;
  return false;
}

std::optional<Profile> parseProfile(std::string_view text, std::string* error) {
  Profile profile;
  ProfileParser parser(profile);
  int number = 0;
  while (!text.empty()) {
    auto end = text.find('\n');
    std::string_view line = trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    ++number;
    if (line.empty() || line.front() == '#') continue;
    auto eq = line.find('=');
    std::string why;
    if (eq == std::string_view::npos) {
      why = "expected key = value";
    } else if (parser.line(trim(line.substr(0, eq)), trim(line.substr(eq + 1)), why)) {
      continue;
    }
    if (error) *error = "line " + std::to_string(number) + ": " + why;
    return std::nullopt;
  }
  return profile;
}

std::optional<Profile> loadProfile(const std::filesystem::path& path, std::string* error) {
  std::string why;
  const auto text = readRegularFile(path, kMaxProfileBytes, &why);
  if (!text) {
    if (error) *error = "cannot read " + why;
    return std::nullopt;
  }
  auto profile = parseProfile(*text, &why);
  if (!profile && error) *error = path.string() + ": " + why;
  return profile;
}

}  // namespace wf::sim
