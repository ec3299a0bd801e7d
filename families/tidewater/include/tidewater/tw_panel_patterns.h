#pragma once
// What the Tidewater panel's six lights say: each light's button state and
// the family string a light pattern stands for.
#include <cstddef>
#include <span>

#include "framework/cstring.h"

namespace tidewater {

inline constexpr std::size_t kPanelLights = 6;

// A light's button state: 0 off, 1 on, 2 blinking; any other value off.
int LightState(unsigned char light);

// The six lights written "%02X" each; lights missing from a short panel
// text are off.
CString LightPattern(std::span<const unsigned char> lights);

// The string of the first pattern row that matches; 0 when none does.
unsigned PatternString(const char* pattern);

}  // namespace tidewater
