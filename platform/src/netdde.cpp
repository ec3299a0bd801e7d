#include "platform/netdde.h"

#include "ipc_name.h"

namespace wf {

namespace {

std::optional<FileLock> openNetDdeLock(std::string_view name, std::string* error) {
  auto path = detail::runtimeObjectPath("netdde", name, "", error);
  if (!path) return std::nullopt;
  return FileLock::open(*path, error);
}

}  // namespace

std::optional<FileLock> openNetDdeUsersLock(std::string* error) {
  return openNetDdeLock("users", error);
}

std::optional<FileLock> openNetDdeAgentLock(std::string* error) {
  return openNetDdeLock("agent", error);
}

}  // namespace wf
