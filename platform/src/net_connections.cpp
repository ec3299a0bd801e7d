#include "platform/net_connections.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>

#include "platform/byte_codec.h"
#include "platform/parallel_port.h"
#include "platform/runtime_dir.h"
#include "platform/trace.h"
#include "platform/unique_fd.h"
#include "text_fold.h"

namespace wf::netconn {
namespace {

// The sink keeps one file per remote name in the runtime directory, so every
// process of a run writes to and reads the same queues.
std::optional<std::filesystem::path> sinkPath(std::string_view remoteName) {
  std::uint64_t h = 14695981039346656037ull;  // FNV-1a keeps any remote name a short file name
  for (char c : foldCase(remoteName)) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  char name[32];
  std::snprintf(name, sizeof name, "netsink/%016llx", static_cast<unsigned long long>(h));
  auto path = runtimePath(name);
  if (path && !ensurePrivateDir(path->parent_path(), true, nullptr)) return std::nullopt;
  return path;
}

}  // namespace

struct NetConnections::State {
  mutable std::mutex m;
  std::array<std::string, 10> remote;  // by port number 1..9
  std::set<std::string> unreachable;   // folded remote names
};

NetConnections::NetConnections() : state_(std::make_unique<State>()) {}
NetConnections::~NetConnections() = default;

bool NetConnections::load(const Scenario& scenario, std::string* error) {
  std::array<std::string, 10> remote;
  for (const auto& line : scenario.section("network.redirections")) {
    std::string local, name;
    int n = splitScenarioEntry(line, local, name) ? parallelPortNumber(local) : 0;
    if (n == 0 || name.empty()) {
      if (error) *error = "network.redirections: \"" + line + "\" is not 'LPTn = remote name'";
      return false;
    }
    remote[n] = name;
  }
  std::set<std::string> unreachable;
  for (const auto& line : scenario.section("network.unreachable")) unreachable.insert(foldCase(line));
  std::lock_guard lock(state_->m);
  state_->remote = std::move(remote);
  state_->unreachable = std::move(unreachable);
  return true;
}

void NetConnections::clear() {
  std::lock_guard lock(state_->m);
  state_->remote = {};
  state_->unreachable.clear();
}

bool NetConnections::setRedirection(std::string_view localName, std::string remoteName) {
  int n = parallelPortNumber(localName);
  if (n == 0) return false;
  std::lock_guard lock(state_->m);
  state_->remote[n] = std::move(remoteName);
  return true;
}

void NetConnections::setReachable(std::string_view remoteName, bool reachable) {
  std::lock_guard lock(state_->m);
  if (reachable)
    state_->unreachable.erase(foldCase(remoteName));
  else
    state_->unreachable.insert(foldCase(remoteName));
}

std::uint32_t NetConnections::getConnection(std::string_view localName, char* remoteName,
                                            std::uint32_t& length) const {
  int n = parallelPortNumber(localName);
  if (n == 0) return kBadDevice;
  std::string name;
  {
    std::lock_guard lock(state_->m);
    name = state_->remote[n];
  }
  if (name.empty()) return kNotConnected;
  if (!remoteName || length < name.size() + 1) {
    length = static_cast<std::uint32_t>(name.size() + 1);
    return kMoreData;
  }
  std::memcpy(remoteName, name.c_str(), name.size() + 1);
  return kNoError;
}

std::uint32_t NetConnections::writeRemote(std::string_view remoteName, std::string_view data) {
  {
    std::lock_guard lock(state_->m);
    auto key = foldCase(remoteName);
    bool known = false;
    for (const auto& r : state_->remote) known = known || (!r.empty() && foldCase(r) == key);
    if (!known) return kBadNetName;
    if (state_->unreachable.count(key)) return kBadNetPath;
  }
  auto path = sinkPath(remoteName);
  if (!path) return kGenFailure;
  const std::string record = ByteWriter().le32(static_cast<std::uint32_t>(data.size())).bytes(data).take();
  UniqueFd fd(::open(path->c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
  if (!fd) return kGenFailure;
  // One append per record keeps records from different processes whole.
  return ::write(fd.get(), record.data(), record.size()) == static_cast<ssize_t>(record.size()) ? kNoError
                                                                                                : kGenFailure;
}

std::vector<std::string> NetConnections::writtenTo(std::string_view remoteName) const {
  std::vector<std::string> writes;
  auto path = sinkPath(remoteName);
  if (!path) return writes;
  std::ifstream in(*path, std::ios::binary);
  std::string bytes(std::istreambuf_iterator<char>(in), {});
  ByteReader records(bytes);
  std::uint32_t n = 0;
  std::string_view record;
  while (records.le32(n) && records.bytes(n, record)) writes.emplace_back(record);
  return writes;
}

NetConnections& netConnections() {
  static NetConnections* instance = [] {
    auto* c = new NetConnections;  // never destroyed: an abandoned thread may still call it at exit
    std::string error;
    auto scenario = loadScenario(&error);
    if (!scenario || !c->load(*scenario, &error))
      platformTrace("network connections: scenario not used: " + error);
    return c;
  }();
  return *instance;
}

}  // namespace wf::netconn
