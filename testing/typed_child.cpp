#include "typed_child.h"

namespace wf::testing {

std::vector<std::pair<std::string, std::string>> orderedValues(const std::vector<std::string>& words) {
  std::vector<std::pair<std::string, std::string>> values;
  for (const auto& w : words) {
    const auto eq = w.find('=');
    if (eq != std::string::npos) {
      values.emplace_back(w.substr(0, eq), w.substr(eq + 1));
    } else if (values.empty()) {
      throw ChildError("answer word without a name: " + w);
    } else {
      values.back().second += " " + w;
    }
  }
  return values;
}

NamedValues namedValues(const std::vector<std::string>& words) {
  NamedValues values;
  for (auto& [name, value] : orderedValues(words)) values[name] = std::move(value);
  return values;
}

std::vector<std::string> splitList(std::string_view text, char separator) {
  std::vector<std::string> parts;
  if (text.empty()) return parts;
  for (std::size_t from = 0;;) {
    const auto at = text.find(separator, from);
    parts.emplace_back(text.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
    if (at == std::string_view::npos) return parts;
    from = at + 1;
  }
}

ChildAnswer TypedChild::expectOk(const std::string& command, int realMs) {
  ChildAnswer answer = process_.ask(command, realMs);
  if (!answer.ok) throw ChildError("\"" + command + "\" failed: " + answer.error);
  return answer;
}

std::string TypedChild::expectText(const std::string& command, int realMs) {
  const std::string line = process_.call(command, realMs);
  if (line == "ok") return {};
  if (line.starts_with("ok ")) return line.substr(3);
  if (line.starts_with("ok|")) return line.substr(2);
  throw ChildError("\"" + command + "\" failed: " + line);
}

std::int64_t TypedChild::expectNumber(const std::string& command, int realMs) {
  return expectOk(command, realMs).number();
}

}  // namespace wf::testing
