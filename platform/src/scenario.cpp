#include "platform/scenario.h"

#include <cerrno>
#include <cstdlib>

#include "platform/regular_file.h"
#include "platform/runtime_dir.h"
#include "text_fold.h"

namespace wf {

const std::vector<std::string>& Scenario::section(std::string_view name) const {
  static const std::vector<std::string> none;
  auto it = sections.find(foldCase(name));
  return it == sections.end() ? none : it->second;
}

std::optional<Scenario> parseScenario(std::string_view text, std::string* error) {
  Scenario scenario;
  std::vector<std::string>* current = nullptr;
  int lineNumber = 0;
  while (!text.empty()) {
    auto end = text.find('\n');
    std::string_view line = trimBlanks(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++lineNumber;
    if (line.empty() || line.front() == '#') continue;
    auto fail = [&](const char* why) {
      if (error) *error = "line " + std::to_string(lineNumber) + ": " + why;
      return std::nullopt;
    };
    if (line.front() == '[') {
      if (line.back() != ']') return fail("section header without ']'");
      current = &scenario.sections[foldCase(trimBlanks(line.substr(1, line.size() - 2)))];
      continue;
    }
    if (!current) return fail("entry before any section");
    current->emplace_back(line);
  }
  return scenario;
}

std::optional<Scenario> loadScenario(std::string* error) {
  std::filesystem::path path;
  if (const char* p = std::getenv("WRENFIELD_SCENARIO"); p && *p) {
    path = p;
  } else {
    auto root = dataRoot(error);
    if (!root) return std::nullopt;
    path = *root / "scenario";
  }
  std::string why;
  const auto text = readRegularFile(path, kMaxScenarioBytes, &why);
  if (!text) {
    if (errno == ENOENT) return Scenario{};
    if (error) *error = why;
    return std::nullopt;
  }
  auto scenario = parseScenario(*text, &why);
  if (!scenario && error) *error = path.string() + ": " + why;
  return scenario;
}

bool splitScenarioEntry(std::string_view line, std::string& key, std::string& value) {
  auto eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  key = trimBlanks(line.substr(0, eq));
  value = trimBlanks(line.substr(eq + 1));
  return !key.empty();
}

std::vector<std::string> splitScenarioFields(std::string_view text) {
  std::vector<std::string> fields;
  for (;;) {
    auto bar = text.find('|');
    fields.emplace_back(trimBlanks(text.substr(0, bar)));
    if (bar == std::string_view::npos) return fields;
    text.remove_prefix(bar + 1);
  }
}

}  // namespace wf
