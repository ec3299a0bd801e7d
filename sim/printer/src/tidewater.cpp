#include "sim/printer/tidewater.h"

#include <algorithm>
#include <cctype>
#include <span>
#include <string>

namespace wf::sim::tidewater {

namespace {

enum class Kind { Number, OneOf, SymbolSet };

struct Setting {
  std::string_view key;
  std::uint16_t variable;
  Kind kind;
  int low = 0, high = 0;
  std::span<const int> values{};
};

constexpr int kSizes[] = {1, 7, 9, 22, 23, 53, 83, 84, 88, 128, 129, 130, 255};
constexpr int kDpi[] = {300, 600};

constexpr Setting kSettings[] = {
    {"LPAPERSOURCE", 0x0400, Kind::Number, 1, 4},
    {"LTRAY1SIZE", 0x0401, Kind::OneOf, 0, 0, kSizes},
    {"LTRAY2SIZE", 0x0402, Kind::OneOf, 0, 0, kSizes},
    {"LMANUALPAPERSIZE", 0x0403, Kind::OneOf, 0, 0, kSizes},
    {"LMANUALENVELOPESIZE", 0x0404, Kind::OneOf, 0, 0, kSizes},
    {"LTRAY1PAPERTYPE", 0x0405, Kind::Number, 0, 4},
    {"LTRAY2PAPERTYPE", 0x0406, Kind::Number, 0, 4},
    {"LMANUALPAPERTYPE", 0x0407, Kind::Number, 0, 4},
    {"LTRAYLINKING", 0x0408, Kind::Number, 0, 1},
    {"COPIES", 0x0409, Kind::Number, 1, 99},
    {"LPARM : PCL FONTNUMBER", 0x040A, Kind::Number, 0, 25},
    {"LPARM : PCL PTSIZE", 0x040B, Kind::Number, 1, 1008},
    {"LPARM : PCL PITCH", 0x040C, Kind::Number, 1, 100},
    {"LPARM : PCL SYMSET", 0x040D, Kind::SymbolSet},
    {"RESOLUTION", 0x040E, Kind::OneOf, 0, 0, kDpi},
    {"DENSITY", 0x040F, Kind::Number, 1, 5},
    {"FORMLINES", 0x0410, Kind::Number, 1, 255},
    {"ECONOMODE", 0x0411, Kind::Number, 0, 1},
    {"RET", 0x0412, Kind::Number, 0, 1},
    {"ORIENTATION", 0x0413, Kind::Number, 0, 1},
    {"LTOPMARGINOFFSET", 0x0414, Kind::Number, -128, 127},
    {"LLEFTMARGINOFFSET", 0x0415, Kind::Number, -128, 127},
    {"TIMEOUT", 0x0416, Kind::Number, 0, 255},
    {"PAGEPROTECT", 0x0417, Kind::Number, 0, 1},
    {"AUTOCONT", 0x0418, Kind::Number, 0, 1},
    {"LPOWERSAVER", 0x0419, Kind::Number, 0, 120},
    {"LJAMRECOVERY", 0x041A, Kind::Number, 1, 2},
    {"LHONORINIT", 0x041B, Kind::Number, 0, 1},
    {"LAUTOCRLF", 0x041C, Kind::Number, 0, 1},
    {"LAUTOLFCR", 0x041D, Kind::Number, 0, 1},
    {"LUSDEFAULTS", 0x041E, Kind::Number, 0, 1},
    {"LPPDS", 0x0422, Kind::Number, 0, 1},
};

std::optional<int> number(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty() || text.size() > 4) return std::nullopt;
  int v = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return negative ? -v : v;
}

bool symbolSet(std::string_view text) {
  if (text.size() < 2 || text.size() > 4) return false;
  const auto digits = text.substr(0, text.size() - 1);
  return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
         ((text.back() >= 'A' && text.back() <= 'Z') || (text.back() >= 'a' && text.back() <= 'z'));
}

}  // namespace

std::optional<std::uint16_t> variableOf(std::string_view key) {
  std::string upper(key);
  for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const auto& s : kSettings)
    if (s.key == upper) return s.variable;
  return std::nullopt;
}

bool accepts(std::uint16_t variable, std::string_view value) {
  for (const auto& s : kSettings) {
    if (s.variable != variable) continue;
    if (s.kind == Kind::SymbolSet) return symbolSet(value);
    const auto v = number(value);
    if (!v) return false;
    if (s.kind == Kind::OneOf) return std::find(s.values.begin(), s.values.end(), *v) != s.values.end();
    return *v >= s.low && *v <= s.high;
  }
  return false;
}

}  // namespace wf::sim::tidewater
