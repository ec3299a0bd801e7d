#pragma once
// Letter case of UTF-8 text beyond ASCII, without Qt: full upper case ("ß"
// becomes "SS"), lower case, and comparison with case folded. Bytes that are
// not UTF-8 are kept as they are and compare by their value.
#include <string>
#include <string_view>

namespace wf::fw {

std::string upperCaseUtf8(std::string_view text);
std::string lowerCaseUtf8(std::string_view text);
// -1, 0 or 1.
int compareNoCaseUtf8(std::string_view a, std::string_view b);

}  // namespace wf::fw
