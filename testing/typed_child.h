#pragma once
// Base of the typed helper clients: each module's client turns its commands
// into methods that return parsed results, so tests compare values rather
// than answer lines. An "err" answer where success was expected throws
// ChildError, which fails the test with the helper's reason.
#include <cstdint>
#include <map>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "child_process.h"
#include "eventually.h"

namespace wf::testing {

struct ChildError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// "name=value" words of an answer; a word without "=" continues the value
// before it, so values may hold blanks ("v5=105 Desc 5 F5.DLL").
using NamedValues = std::map<std::string, std::string>;
NamedValues namedValues(const std::vector<std::string>& words);
// The same in the order the helper gave them.
std::vector<std::pair<std::string, std::string>> orderedValues(const std::vector<std::string>& words);

// Writes `items` as "[a, b, ...]", for a typed result's printer.
template <typename T>
std::ostream& printList(std::ostream& out, const std::vector<T>& items) {
  out << "[";
  for (std::size_t i = 0; i < items.size(); ++i) out << (i ? ", " : "") << items[i];
  return out << "]";
}

// Splits `text` at `separator`; an empty text gives no parts.
std::vector<std::string> splitList(std::string_view text, char separator);

class TypedChild {
 public:
  explicit TypedChild(ChildProcess process) : process_(std::move(process)) {}

  // The process itself, for what is not a command: kill, exit status, pid,
  // and commands whose failure is the point of the test.
  ChildProcess& process() { return process_; }
  pid_t pid() const { return process_.pid(); }
  // Sends `command`; the fields of its "ok" answer, or ChildError.
  ChildAnswer expectOk(const std::string& command, int realMs = 30000);
  // The text after "ok " exactly as the helper wrote it, blanks and all; for
  // answers that list items as "ok|a|b", the text from the first "|" on.
  std::string expectText(const std::string& command, int realMs = 30000);
  // The same for an answer that is one number.
  std::int64_t expectNumber(const std::string& command, int realMs = 30000);

 private:
  ChildProcess process_;
};

// Asks `get` until it gives `want`, waiting as eventually() does; returns the
// last value, for the test to compare with what it wanted.
template <typename Get, typename T>
auto valueUntil(Get&& get, const T& want, std::uint32_t budgetMs = kEventuallyBudget) {
  decltype(get()) got{};
  eventually([&] { return (got = get()) == want; }, budgetMs);
  return got;
}

}  // namespace wf::testing
