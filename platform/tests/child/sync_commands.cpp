#include <map>
#include <string>

#include "child_commands.h"
#include "platform/cross_process_mutex.h"

namespace wf::testing {
namespace {

// The command's words joined by single blanks: names like "Wrenfield Application Instance".
std::string joined(const ChildArgs& a) {
  std::string name;
  for (const auto& w : a) name += (name.empty() ? "" : " ") + w;
  return name;
}

std::map<std::string, CrossProcessMutex>& openMutexes() {
  static std::map<std::string, CrossProcessMutex> table;
  return table;
}

}  // namespace

// Opens the named cross-process mutex and keeps it open; answers "ok new" or "ok existed".
WF_CHILD_COMMAND("xmutex-open", [](const ChildArgs& a) -> std::string {
  bool existed = false;
  std::string error;
  auto mutex = CrossProcessMutex::open(joined(a), &existed, &error);
  if (!mutex) return "err " + error;
  openMutexes().insert_or_assign(joined(a), std::move(*mutex));
  return existed ? "ok existed" : "ok new";
});

WF_CHILD_COMMAND("xmutex-acquire", [](const ChildArgs& a) -> std::string {
  auto it = openMutexes().find(joined(a));
  if (it == openMutexes().end()) return "err not open";
  return it->second.tryAcquire() ? "ok" : "err busy";
});

WF_CHILD_COMMAND("xmutex-release", [](const ChildArgs& a) -> std::string {
  auto it = openMutexes().find(joined(a));
  if (it == openMutexes().end()) return "err not open";
  return it->second.release() ? "ok" : "err not owner";
});

}  // namespace wf::testing
