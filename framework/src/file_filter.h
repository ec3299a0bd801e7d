#pragma once
// The original file dialogs' filter text ("desc|pattern;pattern|...||") as
// name filters "desc (patterns)". Patterns are offered in upper and lower
// case, since the original matched them without regard to case.
#include <string>
#include <string_view>
#include <vector>

namespace wf::fw {

std::vector<std::string> nameFiltersFromFilter(std::string_view filter);

}  // namespace wf::fw
