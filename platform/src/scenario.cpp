#include "platform/scenario.h"

#include <algorithm>
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

namespace {

constexpr int kIncludeDepth = 8;

bool appendScenarioFile(const std::filesystem::path& file, int depth, std::string& out, std::string* error) {
  const auto text = readRegularFile(file, kMaxScenarioBytes - std::min(out.size(), kMaxScenarioBytes), error);
  if (!text) return false;
  std::string_view rest = *text;
  int lineNumber = 0;
  while (!rest.empty()) {
    const auto end = rest.find('\n');
    const std::string_view raw = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    ++lineNumber;
    const std::string_view line = trimBlanks(raw);
    if (line.substr(0, 8) == "include " || line.substr(0, 8) == "include\t") {
      const std::string_view name = trimBlanks(line.substr(8));
      const auto included = file.parent_path() / std::string(name);
      if (depth >= kIncludeDepth) {
        if (error) *error = file.string() + ": line " + std::to_string(lineNumber) + ": includes too deep";
        return false;
      }
      if (!appendScenarioFile(included, depth + 1, out, error)) return false;
      continue;
    }
    out.append(raw);
    out.push_back('\n');
  }
  return true;
}

}  // namespace

std::optional<std::string> readScenarioFile(const std::filesystem::path& file, std::string* error) {
  std::string text;
  if (!appendScenarioFile(file, 0, text, error)) return std::nullopt;
  return text;
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
  const auto text = readScenarioFile(path, &why);
  if (!text) {
    std::error_code ec;
    if (std::filesystem::symlink_status(path, ec).type() == std::filesystem::file_type::not_found) return Scenario{};
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
