#pragma once
// PJL as the printer reads it: jobs between UELs, one "@PJL" command a line.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/printer/profile.h"

namespace wf::sim::pjl {

inline constexpr std::string_view kUel{"\x1B%-12345X"};
inline constexpr std::string_view kPrefix{"@PJL"};

struct Job {
  std::vector<std::string> commands;  // text after "@PJL ", blank commands left out
  std::string printData;              // everything from the first line that is not PJL
};

Job parseJob(std::string_view body);

bool isNpaQuery(std::string_view command);  // DINQUIRE LNPAP
// "DEFAULT KEY=VALUE" -> (KEY, VALUE), blanks around both trimmed.
std::optional<std::pair<std::string, std::string>> parseDefault(std::string_view command);
// "SET KEY=VALUE" -> (KEY, VALUE), blanks around both trimmed.
std::optional<std::pair<std::string, std::string>> parseSet(std::string_view command);
// The NAME of a "JOB" command, quotes removed; nothing for other commands.
std::optional<std::string> jobName(std::string_view command);
// What the printer answers to the NPA-mode query.
std::string npaQueryReply(NpaMode mode);

}  // namespace wf::sim::pjl
