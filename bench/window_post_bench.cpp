// Cross-process posted-message round trips: this process posts to a window
// of a child process, whose procedure posts the message straight back. Each
// figure stands beside a baseline, a plain Unix datagram round trip of the
// same size between the same two processes, after a warm-up of both.
// Usage: window_post_bench [round trips]
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/unique_fd.h"
#include "platform/window_messages.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kEcho = wf::WM_USER + 1;
constexpr std::uint32_t kStop = wf::WM_USER + 2;

// The child's other echo: every datagram straight back, until the socket closes.
void echoDatagrams(int fd) {
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (n <= 0 || ::send(fd, buffer.data(), static_cast<std::size_t>(n), 0) != n) return;
  }
}

// The child: echoes every message to the window named in lParam.
int runEcho(int datagrams) {
  std::thread(echoDatagrams, datagrams).detach();
  wf::Hwnd self = wf::createWindow(
      "BenchEcho", [](wf::Hwnd, std::uint32_t msg, wf::WParam w, wf::LParam l) -> wf::LResult {
        if (msg == kStop) {
          wf::postQuitMessage(0);
        } else if (msg == kEcho) {
          wf::Payload* p = wf::currentPayload();
          wf::postMessage(static_cast<wf::Hwnd>(l), msg, w, 0, p ? std::move(*p) : wf::Payload{});
        }
        return 0;
      });
  if (!self) return 1;
  wf::Message m;
  while (wf::getMessage(m)) wf::dispatchMessage(m);
  return 0;
}

struct Home {
  wf::Hwnd self = 0;
  wf::Hwnd echo = 0;
  long replies = 0;

  // Takes messages until `target` replies have come back.
  void pumpUntil(long target) {
    wf::Message m;
    while (replies < target && wf::getMessage(m)) wf::dispatchMessage(m);
  }
};

// Microseconds per round trip.
double report(const char* what, long messages, Clock::duration took) {
  double us = std::chrono::duration<double, std::micro>(took).count();
  std::printf("%-44s %8ld round trips  %8.2f us/round trip  %10.0f round trips/s\n", what, messages,
              us / static_cast<double>(messages), static_cast<double>(messages) / (us / 1e6));
  return us / static_cast<double>(messages);
}

double pingPong(Home& home, const char* what, long rounds, std::size_t payloadBytes) {
  long start = home.replies;
  auto t0 = Clock::now();
  for (long i = 0; i < rounds; ++i) {
    if (!wf::postMessage(home.echo, kEcho, static_cast<wf::WParam>(i), home.self,
                         wf::Payload(payloadBytes, 'p'))) {
      std::fprintf(stderr, "post failed\n");
      std::exit(1);
    }
    home.pumpUntil(start + i + 1);
  }
  return what ? report(what, rounds, Clock::now() - t0) : 0;
}

// The baseline: a datagram of the same size as a posted message of that
// payload (header and both parameters: 32 bytes more), there and back.
double datagramPingPong(int fd, const char* what, long rounds, std::size_t payloadBytes) {
  std::vector<char> out(payloadBytes + 32, 'p'), in(out.size());
  auto t0 = Clock::now();
  for (long i = 0; i < rounds; ++i) {
    if (::send(fd, out.data(), out.size(), 0) != static_cast<ssize_t>(out.size()) ||
        ::recv(fd, in.data(), in.size(), 0) != static_cast<ssize_t>(out.size())) {
      std::fprintf(stderr, "datagram round trip failed\n");
      std::exit(1);
    }
  }
  return what ? report(what, rounds, Clock::now() - t0) : 0;
}

void compare(Home& home, int fd, const char* what, const char* baseline, long rounds,
             std::size_t payloadBytes) {
  const double post = pingPong(home, what, rounds, payloadBytes);
  const double plain = datagramPingPong(fd, baseline, rounds, payloadBytes);
  std::printf("%-44s %.2f\n", "  posted / datagram time per round trip:", post / plain);
}

void pipelined(Home& home, const char* what, long rounds, long inFlight) {
  long start = home.replies;
  long posted = 0;
  auto t0 = Clock::now();
  while (home.replies - start < rounds) {
    while (posted < rounds && posted - (home.replies - start) < inFlight) {
      if (!wf::postMessage(home.echo, kEcho, static_cast<wf::WParam>(posted), home.self)) {
        std::fprintf(stderr, "post failed\n");
        std::exit(1);
      }
      ++posted;
    }
    home.pumpUntil(home.replies + 1);
  }
  report(what, rounds, Clock::now() - t0);
}

}  // namespace

int main(int argc, char** argv) {
  long rounds = argc > 1 ? std::atol(argv[1]) : 20000;
  std::string dir = (std::filesystem::temp_directory_path() / "wfbench-XXXXXX").string();
  if (!::mkdtemp(dir.data())) return 1;
  ::setenv("WRENFIELD_RUNTIME_DIR", (dir + "/r").c_str(), 1);

  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, pair) != 0) return 1;
  // Fork before any thread or window exists: the child must not share our slot lock.
  wf::UniqueFd ours(pair[0]), theirs(pair[1]);
  pid_t child = ::fork();
  if (child == 0) {
    ours.reset();
    ::_exit(runEcho(theirs.get()));
  }
  theirs.reset();
  const int datagrams = ours.get();

  Home home;
  home.self = wf::createWindow("BenchHome",
                               [&home](wf::Hwnd, std::uint32_t msg, wf::WParam, wf::LParam) -> wf::LResult {
                                 if (msg == kEcho) ++home.replies;
                                 return 0;
                               });
  for (int i = 0; i < 10000 && !home.echo; ++i) {
    home.echo = wf::findWindow("BenchEcho");
    if (!home.echo) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (!home.self || !home.echo) {
    std::fprintf(stderr, "no echo window\n");
    return 1;
  }

  std::printf("cpus online: %ld\n", ::sysconf(_SC_NPROCESSORS_ONLN));
  // Warm-up, not reported: both paths, their buffers and caches.
  pingPong(home, nullptr, rounds / 10, 256);
  datagramPingPong(datagrams, nullptr, rounds / 10, 256);
  compare(home, datagrams, "ping-pong, no payload", "  datagram baseline, 32 bytes", rounds, 0);
  compare(home, datagrams, "ping-pong, 256-byte payload", "  datagram baseline, 288 bytes", rounds, 256);
  compare(home, datagrams, "ping-pong, 16 KiB payload", "  datagram baseline, 16 KiB + 32 bytes", rounds / 4,
          16 * 1024);
  pipelined(home, "pipelined, 64 in flight, no payload", rounds * 5, 64);

  ours.reset();  // ends the child's datagram echo
  wf::postMessage(home.echo, kStop, 0, 0);
  int status = 0;
  ::waitpid(child, &status, 0);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
