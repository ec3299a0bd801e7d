#include "tidewater/tw_panel_patterns.h"

#include <cstdio>
#include <cstring>

namespace tidewater {
namespace {

struct PatternRow {
  const char* pattern;
  unsigned string;
};

// The first match wins, so the later duplicates never show.
constexpr PatternRow kPatterns[] = {
    {"010000000000", 547},   {"010000000002", 50101}, {"010200000000", 50102}, {"010100000001", 50103},
    {"010101010101", 50104}, {"010101010101", 50105}, {"010101010101", 50106}, {"010200000200", 50107},
    {"020000000000", 50108}, {"000200000000", 50109}, {"000000010000", 50110}, {"000002000001", 50111},
    {"000001000001", 50112}, {"000000000100", 50113}, {"000000000101", 50114}, {"000000000101", 50115},
    {"000000000101", 50116}, {"000000000201", 50117}, {"020202020202", 50118}, {"020000000000", 50119},
    {"000200000000", 50120}, {"020200000000", 50121}, {"000002000000", 50122}, {"020002000000", 50123},
    {"000202000000", 50124}, {"020202000000", 50125}, {"000000020000", 50126}, {"020000020000", 50127},
    {"000200020000", 50128}, {"020200020000", 50129}, {"000002020000", 50130}, {"020002020000", 50131},
    {"000202020000", 50132},
};

}  // namespace

int LightState(unsigned char light) {
  return light <= 2 ? light : 0;
}

CString LightPattern(std::span<const unsigned char> lights) {
  char text[2 * kPanelLights + 1] = {};
  for (std::size_t i = 0; i < kPanelLights; ++i)
    std::snprintf(text + 2 * i, 3, "%02X", i < lights.size() ? lights[i] : 0);
  return CString(text);
}

unsigned PatternString(const char* pattern) {
  if (!pattern) return 0;
  for (const PatternRow& row : kPatterns)
    if (std::strcmp(row.pattern, pattern) == 0) return row.string;
  return 0;
}

}  // namespace tidewater
