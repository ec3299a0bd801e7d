#include "sim/printer/pjl.h"

#include <cctype>

namespace wf::sim::pjl {

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::string upper(std::string_view s) {
  std::string out(s);
  for (auto& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

Job parseJob(std::string_view body) {
  Job job;
  while (!body.empty()) {
    auto end = body.find('\n');
    std::string_view line = body.substr(0, end);
    if (!line.starts_with(kPrefix)) {
      job.printData.assign(body);
      break;
    }
    auto command = trim(line.substr(kPrefix.size()));
    if (!command.empty()) job.commands.emplace_back(command);
    body = end == std::string_view::npos ? std::string_view{} : body.substr(end + 1);
  }
  return job;
}

bool isNpaQuery(std::string_view command) {
  auto words = upper(command);
  return words.starts_with("DINQUIRE") && trim(std::string_view(words).substr(8)) == "LNPAP";
}

namespace {

std::optional<std::pair<std::string, std::string>> parseAssignment(std::string_view command,
                                                                   std::string_view keyword) {
  if (!upper(command.substr(0, keyword.size())).starts_with(keyword)) return std::nullopt;
  auto setting = command.substr(keyword.size());
  auto eq = setting.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return std::make_pair(std::string(trim(setting.substr(0, eq))), std::string(trim(setting.substr(eq + 1))));
}

}  // namespace

std::optional<std::pair<std::string, std::string>> parseDefault(std::string_view command) {
  return parseAssignment(command, "DEFAULT ");
}

std::optional<std::pair<std::string, std::string>> parseSet(std::string_view command) {
  return parseAssignment(command, "SET ");
}

std::optional<std::string> jobName(std::string_view command) {
  const std::string words = upper(command);
  if (words != "JOB" && !words.starts_with("JOB ")) return std::nullopt;
  const auto at = words.find("NAME", 3);
  if (at == std::string::npos) return std::string();
  std::string_view rest = trim(command.substr(at + 4));
  if (!rest.starts_with('=')) return std::string();
  rest = trim(rest.substr(1));
  if (rest.starts_with('"')) {
    rest.remove_prefix(1);
    return std::string(rest.substr(0, rest.find('"')));
  }
  return std::string(rest.substr(0, rest.find(' ')));
}

std::string npaQueryReply(NpaMode mode) {
  const char* value = mode == NpaMode::On ? "ON" : mode == NpaMode::Auto ? "AUTO" : "OFF";
  return std::string("@PJL DINQUIRE LNPAP\r\n") + value + "\r\n\f";
}

}  // namespace wf::sim::pjl
