#include "child_commands.h"
#include "platform/runtime_dir.h"

namespace wf::testing {

WF_CHILD_COMMAND("runtime-dir", [](const ChildArgs&) -> std::string {
  std::string error;
  auto dir = runtimeDir(&error);
  return dir ? "ok " + dir->string() : "err " + error;
});

}  // namespace wf::testing
