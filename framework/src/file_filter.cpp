#include "file_filter.h"

#include <algorithm>
#include <cctype>

namespace wf::fw {
namespace {

std::vector<std::string> split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(separator, start)) != std::string_view::npos; start = at + 1)
    parts.emplace_back(text.substr(start, at - start));
  parts.emplace_back(text.substr(start));
  return parts;
}

std::string withCase(std::string s, int (*change)(int)) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [change](char c) { return static_cast<char>(change(static_cast<unsigned char>(c))); });
  return s;
}

// "Files (*.PSF)" -> "Files": the patterns are added back below.
std::string withoutPatternGroup(std::string desc) {
  auto open = desc.rfind('(');
  if (!desc.empty() && desc.back() == ')' && open != std::string::npos) {
    desc.erase(open);
    while (!desc.empty() && desc.back() == ' ') desc.pop_back();
  }
  return desc;
}

}  // namespace

std::vector<std::string> nameFiltersFromFilter(std::string_view filter) {
  std::vector<std::string> fields = split(filter, '|');
  std::vector<std::string> filters;
  for (std::size_t i = 0; i + 1 < fields.size() && !fields[i].empty(); i += 2) {
    std::vector<std::string> patterns;
    for (const std::string& p : split(fields[i + 1], ';')) {
      if (p.empty()) continue;
      for (std::string variant : {p, withCase(p, ::toupper), withCase(p, ::tolower)})
        if (std::find(patterns.begin(), patterns.end(), variant) == patterns.end())
          patterns.push_back(variant);
    }
    if (patterns.empty()) continue;
    std::string line = withoutPatternGroup(fields[i]) + " (";
    for (std::size_t k = 0; k < patterns.size(); ++k) line += (k ? " " : "") + patterns[k];
    filters.push_back(line + ")");
  }
  return filters;
}

}  // namespace wf::fw
