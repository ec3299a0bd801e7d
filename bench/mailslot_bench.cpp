// Round trips between two processes: request and reply through two mailslots,
// beside the same exchange over plain Unix datagram sockets, in one run.
// Prints the time per round trip and the ratios mailslot / plain.
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/mailslot.h"
#include "platform/runtime_dir.h"

namespace {

const char* kRequestSlot = "\\\\.\\mailslot\\bench\\request";
const char* kReplySlot = "\\\\.\\mailslot\\bench\\reply";
constexpr int kRounds = 15;
constexpr int kTripsPerRound = 4'000;

std::filesystem::path plainPath(const char* leaf) {
  return *wf::runtimeDir() / leaf;
}

int boundDatagramSocket(const std::filesystem::path& path) {
  int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  ::unlink(path.c_str());
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    std::perror("bind");
    std::exit(1);
  }
  return fd;
}

void connectTo(int fd, const std::filesystem::path& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    std::perror("connect");
    std::exit(1);
  }
}

// The far side: echoes every message back until an empty one arrives.
[[noreturn]] void echoSide(int readyFd, int goFd) {
  auto requests = wf::Mailslot::create(kRequestSlot);
  int plain = boundDatagramSocket(plainPath("plain-request"));
  if (!requests) std::exit(1);
  char one = 'r';
  [[maybe_unused]] auto w = ::write(readyFd, &one, 1);
  [[maybe_unused]] auto r = ::read(goFd, &one, 1);  // the other side's reply endpoints exist now
  auto replies = wf::MailslotWriter::open(kReplySlot);
  connectTo(plain, plainPath("plain-reply"));
  if (!replies) std::exit(1);

  std::thread plainEcho([plain] {
    std::vector<char> buf(1 << 16);
    for (;;) {
      ssize_t n = ::recv(plain, buf.data(), buf.size(), 0);
      if (n <= 0) return;
      ::send(plain, buf.data(), static_cast<size_t>(n), 0);
    }
  });
  std::vector<std::uint8_t> m;
  while (requests->read(m) == wf::MailslotStatus::Ok && !m.empty()) replies->write(m.data(), m.size());
  plainEcho.join();
  std::_Exit(0);
}

// Best (least disturbed) time per trip of each exchange, measured in
// alternating rounds so all see the same machine load; round 0 warms up.
std::vector<double> bestNsPerTrip(const std::vector<std::function<void()>>& trips) {
  std::vector<double> best(trips.size(), 1e18);
  for (int round = 0; round <= kRounds; ++round) {
    for (std::size_t t = 0; t < trips.size(); ++t) {
      auto start = std::chrono::steady_clock::now();
      for (int i = 0; i < kTripsPerRound; ++i) trips[t]();
      std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
      if (round > 0) best[t] = std::min(best[t], took.count() / kTripsPerRound);
    }
  }
  return best;
}

}  // namespace

int main() {
  char dir[] = "/tmp/wfbench-XXXXXX";
  if (!::mkdtemp(dir)) return 1;
  ::setenv("WRENFIELD_RUNTIME_DIR", (std::string(dir) + "/r").c_str(), 1);
  if (!wf::runtimeDir()) return 1;

  int ready[2], go[2];
  if (::pipe(ready) != 0 || ::pipe(go) != 0) return 1;
  pid_t child = ::fork();
  if (child == 0) echoSide(ready[1], go[0]);

  char one;
  if (::read(ready[0], &one, 1) != 1) return 1;
  auto replies = wf::Mailslot::create(kReplySlot);
  int plain = boundDatagramSocket(plainPath("plain-reply"));
  if (!replies || ::write(go[1], &one, 1) != 1) return 1;
  auto requests = wf::MailslotWriter::open(kRequestSlot);
  connectTo(plain, plainPath("plain-request"));
  if (!requests) return 1;

  std::printf("nproc %u\n", std::thread::hardware_concurrency());
  std::printf("%-8s %14s %14s %14s %8s %8s\n", "message", "whole ns/rt", "buffer ns/rt", "plain ns/rt",
              "whole", "buffer");
  for (std::size_t size : {std::size_t{64}, std::size_t{2048}}) {
    std::vector<std::uint8_t> message(size, 0x5A), back(size), whole;
    std::size_t got = 0;
    auto best = bestNsPerTrip({
        [&] {  // the reply read whole, as the broker reads
          requests->write(message.data(), message.size());
          replies->read(whole);
        },
        [&] {  // the reply read into a buffer of the caller
          requests->write(message.data(), message.size());
          replies->read(back.data(), back.size(), &got);
        },
        [&] {
          ::send(plain, message.data(), message.size(), 0);
          ::recv(plain, back.data(), back.size(), 0);
        },
    });
    std::printf("%-8zu %14.0f %14.0f %14.0f %8.2f %8.2f\n", size, best[0], best[1], best[2],
                best[0] / best[2], best[1] / best[2]);
  }

  requests->write("", 0);
  ::send(plain, "", 0, 0);
  ::waitpid(child, nullptr, 0);
  std::filesystem::remove_all(dir);
  return 0;
}
