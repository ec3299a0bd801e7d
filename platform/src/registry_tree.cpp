#include "registry_tree.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace wf::reg {
namespace {

constexpr std::string_view kHeader = "WRENFIELD REGISTRY 1";

char fold(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr char kHex[] = "0123456789abcdef";

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isControl(unsigned char c) {
  return c < 0x20 || c == 0x7f;
}

void appendHexByte(std::string& out, unsigned char c) {
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

// "..." with \\, \" and \xHH for control bytes; other bytes (UTF-8 included) as they are.
std::string quote(std::string_view s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (isControl(c)) {
      out += "\\x";
      appendHexByte(out, c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + '"';
}

// Reads a quoted string at the start of `in`, advancing past it.
bool unquote(std::string_view& in, std::string* out) {
  if (in.empty() || in[0] != '"') return false;
  out->clear();
  std::size_t i = 1;
  while (i < in.size()) {
    char c = in[i];
    if (c == '"') {
      in.remove_prefix(i + 1);
      return true;
    }
    if (c != '\\') {
      *out += c;
      ++i;
      continue;
    }
    if (i + 1 >= in.size()) return false;
    char e = in[i + 1];
    if (e == '\\' || e == '"') {
      *out += e;
      i += 2;
    } else if (e == 'x' && i + 3 < in.size() && hexDigit(in[i + 2]) >= 0 && hexDigit(in[i + 3]) >= 0) {
      *out += static_cast<char>(hexDigit(in[i + 2]) * 16 + hexDigit(in[i + 3]));
      i += 4;
    } else {
      return false;
    }
  }
  return false;
}

// Key names cannot hold a backslash; control bytes and '%' become %HH.
std::string escapeKeyName(std::string_view name) {
  std::string out;
  for (unsigned char c : name) {
    if (isControl(c) || c == '%') {
      out += '%';
      appendHexByte(out, c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool unescapeKeyName(std::string_view in, std::string* out) {
  out->clear();
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '%') {
      *out += in[i];
      continue;
    }
    if (i + 2 >= in.size()) return false;
    int hi = hexDigit(in[i + 1]), lo = hexDigit(in[i + 2]);
    if (hi < 0 || lo < 0) return false;
    *out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

bool parseHexBytes(std::string_view in, std::string* out) {
  out->clear();
  std::size_t i = 0;
  while (i < in.size()) {
    if (in[i] == ' ') {
      ++i;
      continue;
    }
    if (i + 1 >= in.size()) return false;
    int hi = hexDigit(in[i]), lo = hexDigit(in[i + 1]);
    if (hi < 0 || lo < 0) return false;
    *out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

std::string hexBytes(std::string_view data) {
  std::string out;
  for (unsigned char c : data) {
    if (!out.empty()) out += ' ';
    appendHexByte(out, c);
  }
  return out;
}

bool parseUnsigned(std::string_view in, std::uint64_t* value) {
  if (in.empty() || in.size() > 10) return false;
  *value = 0;
  for (char c : in) {
    if (c < '0' || c > '9') return false;
    *value = *value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return true;
}

bool parseValueText(std::string_view in, DWORD* type, std::string* data) {
  auto take = [&](std::string_view prefix) {
    if (in.substr(0, prefix.size()) != prefix) return false;
    in.remove_prefix(prefix.size());
    return true;
  };
  if (take("dword:0x")) {
    if (in.empty() || in.size() > 8) return false;
    DWORD v = 0;
    for (char c : in) {
      int d = hexDigit(c);
      if (d < 0) return false;
      v = v * 16 + static_cast<DWORD>(d);
    }
    *type = 4;
    data->assign(4, '\0');
    for (int i = 0; i < 4; ++i) (*data)[i] = static_cast<char>((v >> (8 * i)) & 0xff);
    return true;
  }
  if (take("binary:")) {
    *type = 3;
    return parseHexBytes(in, data) && data->size() <= kMaxValueSize;
  }
  if (take("hex(")) {
    auto close = in.find("):");
    std::uint64_t t = 0;
    if (close == std::string_view::npos || !parseUnsigned(in.substr(0, close), &t) || t > 0xFFFFFFFFu)
      return false;
    *type = static_cast<DWORD>(t);
    return parseHexBytes(in.substr(close + 2), data) && data->size() <= kMaxValueSize;
  }
  if (take("expand_sz")) {
    *type = 2;
  } else if (take("sz")) {
    *type = 1;
  } else {
    return false;
  }
  std::optional<std::uint64_t> size;
  if (take("[")) {
    auto close = in.find(']');
    std::uint64_t n = 0;
    if (close == std::string_view::npos || !parseUnsigned(in.substr(0, close), &n) || n > kMaxValueSize)
      return false;
    size = n;
    in.remove_prefix(close + 1);
  }
  if (!take(":") || !unquote(in, data) || !in.empty() || data->size() > kMaxValueSize) return false;
  if (!size) {
    *data += '\0';
  } else if (*size < data->size()) {
    return false;
  } else {
    data->resize(*size, '\0');
  }
  return true;
}

// Paths up to this long are written whole, as people read them best.
constexpr std::size_t kLongestAbsolutePath = 1024;

// Writes the sections of `key` (at `escapedPath`, `depth` levels below the
// root) and of its subtree, depth first. Depth is bounded, so the recursion is.
class SectionWriter {
 public:
  SectionWriter(bool withVolatile, std::string& out) : withVolatile_(withVolatile), out_(out) {}

  void write(const Key& key, const std::string& escapedPath, bool withSection) {
    if (withSection) section(key, '[' + escapedPath + "]\n");
    for (const auto& [name, child] : key.children) {
      if (child.isVolatile && !withVolatile_) continue;
      const std::string childPath =
          escapedPath.empty() ? escapeKeyName(name) : escapedPath + '\\' + escapeKeyName(name);
      // A long path right below the section just written: the child's own
      // name is enough.
      const bool relative =
          lastSection_ == &key && !escapedPath.empty() && childPath.size() > kLongestAbsolutePath;
      if (relative) {
        section(child, "[\\" + escapeKeyName(name) + "]\n");
        write(child, childPath, false);
      } else {
        write(child, childPath, true);
      }
    }
  }

 private:
  void section(const Key& key, const std::string& header) {
    out_ += header;
    for (const auto& v : key.values) out_ += quote(v.name) + '=' + formatValue(v.type, v.data) + '\n';
    lastSection_ = &key;
  }

  bool withVolatile_;
  std::string& out_;
  const Key* lastSection_ = nullptr;
};

}  // namespace

bool CaseLess::operator()(std::string_view a, std::string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(fold(x)) < static_cast<unsigned char>(fold(y));
  });
}

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return fold(x) == fold(y); });
}

Value* Key::findValue(std::string_view name) {
  for (auto& v : values)
    if (sameName(v.name, name)) return &v;
  return nullptr;
}

std::string formatValue(DWORD type, std::string_view data) {
  if (type == 4 && data.size() == 4) {
    DWORD v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(data[i]);
    char buf[24];
    std::snprintf(buf, sizeof buf, "dword:0x%08x", v);
    return buf;
  }
  if (type == 1 || type == 2) {
    std::string_view text = data;
    while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
    std::string out = type == 1 ? "sz" : "expand_sz";
    // The usual "text and its terminator" needs no size; anything else says its length.
    if (data.size() != text.size() + 1) out += '[' + std::to_string(data.size()) + ']';
    return out + ':' + quote(text);
  }
  if (type == 3) return "binary:" + hexBytes(data);
  return "hex(" + std::to_string(type) + "):" + hexBytes(data);
}

std::string serializeHive(const Key& root) {
  std::string out(kHeader);
  out += '\n';
  SectionWriter(false, out).write(root, "", !root.values.empty());
  return out;
}

std::string serializeSubtree(const Key& key, const std::vector<std::string>& path) {
  std::string escaped;
  for (const auto& p : path) escaped += (escaped.empty() ? "" : "\\") + escapeKeyName(p);
  std::string out;
  SectionWriter(true, out).write(key, escaped, true);
  return out;
}

bool parseHive(std::string_view text, Key* root, std::string* error) {
  *root = Key{};
  Key* current = nullptr;
  std::size_t depth = 0;  // of `current`
  std::size_t lineNo = 0;
  bool sawHeader = false;
  auto fail = [&](const std::string& why) {
    *error = "line " + std::to_string(lineNo) + ": " + why;
    return false;
  };
  while (!text.empty() || !sawHeader) {
    auto nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    ++lineNo;
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
      line.remove_suffix(1);
    if (!sawHeader) {
      if (line != kHeader) return fail("not a registry hive (header missing)");
      sawHeader = true;
      continue;
    }
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']') return fail("unterminated key line");
      std::string_view path = line.substr(1, line.size() - 2);
      if (!path.empty() && path[0] == '\\') {  // below the section before
        if (!current) return fail("relative key line without a key before it");
        path.remove_prefix(1);
        if (path.empty()) return fail("bad key name");
      } else {
        current = root;
        depth = 0;
      }
      while (!path.empty()) {
        auto sep = path.find('\\');
        std::string name;
        if (!unescapeKeyName(path.substr(0, sep), &name) || name.empty()) return fail("bad key name");
        if (name.size() > kMaxKeyNameLength)
          return fail("key name longer than " + std::to_string(kMaxKeyNameLength) + " characters");
        if (++depth > kMaxKeyDepth)
          return fail("key deeper than " + std::to_string(kMaxKeyDepth) + " levels");
        current = &current->children[name];
        path.remove_prefix(sep == std::string_view::npos ? path.size() : sep + 1);
        if (sep != std::string_view::npos && path.empty()) return fail("bad key name");
      }
      continue;
    }
    if (line[0] != '"') return fail("unrecognised line");
    if (!current) return fail("value outside any key");
    Value v;
    if (!unquote(line, &v.name) || line.empty() || line[0] != '=') return fail("bad value name");
    line.remove_prefix(1);
    if (!parseValueText(line, &v.type, &v.data)) return fail("bad value \"" + v.name + '"');
    if (current->findValue(v.name)) return fail("value \"" + v.name + "\" given twice");
    current->values.push_back(std::move(v));
  }
  return true;
}

}  // namespace wf::reg
