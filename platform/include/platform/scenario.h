#pragma once
// The scenario file: the world outside the workstation (the spooler's ports
// and printers, the network's redirected ports, ...), read by the stand-ins
// and simulators of every process of a run, so they all see the same world.
//
// Text, one entry a line. "[name]" starts a section; names are compared
// without regard to case. Blank lines and lines starting with '#' are
// skipped; every other line belongs to the section above it, trimmed. Each
// reader takes its own sections and ignores the rest.
#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wf {

struct Scenario {
  std::map<std::string, std::vector<std::string>> sections;  // by lower-cased name

  // The lines of a section; empty when the scenario has none.
  const std::vector<std::string>& section(std::string_view name) const;
};

// Empty with *error ("line N: ...") when a line comes before any section or
// a section header is not closed.
std::optional<Scenario> parseScenario(std::string_view text, std::string* error = nullptr);

// What a scenario file, with everything it includes, may hold; a larger one
// is refused.
inline constexpr std::size_t kMaxScenarioBytes = 4 * 1024 * 1024;

// The text of a scenario file with each "include <file>" line replaced by
// that file's text (named relative to the including file, included files
// may include again, at most 8 deep). Empty with *error ("<file>: ...") when
// a file cannot be read or is not a regular file.
std::optional<std::string> readScenarioFile(const std::filesystem::path& file, std::string* error = nullptr);

// $WRENFIELD_SCENARIO, else "scenario" in the data root, read with its
// includes. A missing file is an empty scenario; an unreadable or malformed
// one, or one that is not a regular file, is an error.
std::optional<Scenario> loadScenario(std::string* error = nullptr);

// "key = value": both trimmed; false when the line has no '=' or no key.
bool splitScenarioEntry(std::string_view line, std::string& key, std::string& value);

// "a | b | c": the trimmed fields between '|'.
std::vector<std::string> splitScenarioFields(std::string_view text);

}  // namespace wf
