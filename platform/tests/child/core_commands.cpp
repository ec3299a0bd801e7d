#include "child_commands.h"
#include "platform/runtime_dir.h"

namespace wf::testing {

WF_CHILD_COMMAND("runtime-dir", [](const ChildArgs&) -> std::string {
  std::string error;
  auto dir = runtimeDir(&error);
  return dir ? "ok " + dir->string() : "err " + error;
});

}  // namespace wf::testing

#include <list>

#include "platform/file_lock.h"

namespace wf::testing {

// Holds a shared lock on a file until the process ends.
WF_CHILD_COMMAND("hold-lock", [](const ChildArgs& a) -> std::string {
  static std::list<FileLock> held;
  if (a.empty()) return "err usage: hold-lock <path>";
  auto lock = FileLock::open(a[0]);
  if (!lock || !lock->tryShared()) return "err cannot lock";
  held.push_back(std::move(*lock));
  return "ok";
});

}  // namespace wf::testing
