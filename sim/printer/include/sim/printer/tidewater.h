#pragma once
// The Tidewater printers' PJL settings: the DEFAULT keys the printer keeps
// in panel variables 0x0400 to 0x0422, and the values each takes. Written
// apart from the host's table, so either side's slip shows.
#include <cstdint>
#include <optional>
#include <string_view>

namespace wf::sim::tidewater {

constexpr std::uint16_t kFirstVariable = 0x0400;
constexpr std::uint16_t kLastVariable = 0x0422;

// The variable that keeps `key` (blanks as the printer trims them), or
// nothing for a key the printer does not keep.
std::optional<std::uint16_t> variableOf(std::string_view key);

// Whether the printer takes `value` for the setting kept in `variable`.
bool accepts(std::uint16_t variable, std::string_view value);

}  // namespace wf::sim::tidewater
