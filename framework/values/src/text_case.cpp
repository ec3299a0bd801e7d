#include "text_case.h"

#include <locale.h>
#include <wctype.h>

#include <cstdint>

namespace wf::fw {
namespace {

// The C library's Unicode case tables, whatever locale the program set.
locale_t unicodeCase() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return locale;
}

constexpr char32_t kNotUtf8 = 0x110000;  // above every code point: a byte kept as it is

// The code point at `at`, advancing past it; a byte that starts no valid
// sequence comes back as kNotUtf8 + its value.
char32_t next(std::string_view s, std::size_t& at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(at);
  int more = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
  char32_t cp = more == 0 ? lead : more == 1 ? lead & 0x1F : more == 2 ? lead & 0x0F : lead & 0x07;
  if (more < 0 || at + static_cast<std::size_t>(more) >= s.size()) {
    ++at;
    return kNotUtf8 + lead;
  }
  for (int i = 1; i <= more; ++i) {
    if ((byte(at + static_cast<std::size_t>(i)) & 0xC0) != 0x80) {
      ++at;
      return kNotUtf8 + lead;
    }
    cp = (cp << 6) | (byte(at + static_cast<std::size_t>(i)) & 0x3F);
  }
  static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kLeast[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++at;
    return kNotUtf8 + lead;
  }
  at += static_cast<std::size_t>(more) + 1;
  return cp;
}

void append(std::string& out, char32_t cp) {
  if (cp >= kNotUtf8) {
    out += static_cast<char>(cp - kNotUtf8);
  } else if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char32_t mapped(char32_t cp, wint_t (*map)(wint_t, locale_t)) {
  if (cp >= kNotUtf8 || !unicodeCase()) return cp;
  return static_cast<char32_t>(map(static_cast<wint_t>(cp), unicodeCase()));
}

}  // namespace

std::string upperCaseUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const char32_t cp = next(text, at);
    if (cp == U'ß') {
      out += "SS";  // the one full mapping text of printers and people meets
    } else {
      append(out, mapped(cp, towupper_l));
    }
  }
  return out;
}

std::string lowerCaseUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) append(out, mapped(next(text, at), towlower_l));
  return out;
}

int compareNoCaseUtf8(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const char32_t x = mapped(next(a, i), towlower_l), y = mapped(next(b, j), towlower_l);
    if (x != y) return x < y ? -1 : 1;
  }
  return (i < a.size()) - (j < b.size());
}

}  // namespace wf::fw
