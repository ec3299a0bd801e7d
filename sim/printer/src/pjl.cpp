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

std::optional<std::pair<std::string, std::string>> parseDefault(std::string_view command) {
  constexpr std::string_view kDefault = "DEFAULT ";
  if (!upper(command.substr(0, kDefault.size())).starts_with(kDefault)) return std::nullopt;
  auto setting = command.substr(kDefault.size());
  auto eq = setting.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return std::make_pair(std::string(trim(setting.substr(0, eq))), std::string(trim(setting.substr(eq + 1))));
}

std::string npaQueryReply(NpaMode mode) {
  const char* value = mode == NpaMode::On ? "ON" : mode == NpaMode::Auto ? "AUTO" : "OFF";
  return std::string("@PJL DINQUIRE LNPAP\r\n") + value + "\r\n\f";
}

}  // namespace wf::sim::pjl
