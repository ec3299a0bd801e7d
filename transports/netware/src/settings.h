#pragma once
// Cornw32's options below HKLM "SOFTWARE\Corvane\Wrenfield\CorWare", each
// read when it is used. A missing value is written with its default; a value
// of another type or size counts as its default and is left as it is.
#include <array>
#include <cstdint>
#include <string>

namespace wf::netware {

inline constexpr char kSettingsKey[] = "SOFTWARE\\Corvane\\Wrenfield\\CorWare";

struct SearchSettings {
  std::uint8_t method = 2;                // 1 bindery, 2 local network, 4 single network
  std::array<std::uint8_t, 4> network{};  // read only for method 4
};
SearchSettings readSearchSettings();

struct LogSettings {
  std::uint8_t level = 0;
  std::string path = "C:\\";
  std::string name = "cornw32.log";
};
LogSettings readLogSettings();

struct CaptureSettings {
  std::uint32_t enumWaitSeconds = 300;
  bool ignoreRprinter = false;
};
CaptureSettings readCaptureSettings();

// Item 18 writes these.
void writeSearchSettings(const SearchSettings& s);

}  // namespace wf::netware
