#include "child_commands.h"
#include "platform/net_connections.h"

namespace wf::testing {

// Writes through the process's own connections, loaded from the scenario file.
WF_CHILD_COMMAND("net-write", [](const ChildArgs& a) -> std::string {
  if (a.size() != 2) return "err usage: net-write <remote name> <data>";
  auto result = netconn::netConnections().writeRemote(a[0], a[1]);
  return result == netconn::kNoError ? "ok" : "err " + std::to_string(result);
});

}  // namespace wf::testing
