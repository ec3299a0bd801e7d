// Cross-process posted-message round trips: this process posts to a window
// of a child process, whose procedure posts the message straight back.
// Usage: window_post_bench [round trips]
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/window_messages.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kEcho = wf::WM_USER + 1;
constexpr std::uint32_t kStop = wf::WM_USER + 2;

// The child: echoes every message to the window named in lParam.
int runEcho() {
  wf::Hwnd self = wf::createWindow("BenchEcho", [](wf::Hwnd, std::uint32_t msg, wf::WParam w, wf::LParam l) -> wf::LResult {
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

void report(const char* what, long messages, Clock::duration took) {
  double us = std::chrono::duration<double, std::micro>(took).count();
  std::printf("%-44s %8ld round trips  %8.2f us/round trip  %10.0f round trips/s\n", what, messages,
              us / static_cast<double>(messages), static_cast<double>(messages) / (us / 1e6));
}

void pingPong(Home& home, const char* what, long rounds, std::size_t payloadBytes) {
  long start = home.replies;
  auto t0 = Clock::now();
  for (long i = 0; i < rounds; ++i) {
    if (!wf::postMessage(home.echo, kEcho, static_cast<wf::WParam>(i), home.self, wf::Payload(payloadBytes, 'p'))) {
      std::fprintf(stderr, "post failed\n");
      std::exit(1);
    }
    home.pumpUntil(start + i + 1);
  }
  report(what, rounds, Clock::now() - t0);
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

  // Fork before any thread or window exists: the child must not share our slot lock.
  pid_t child = ::fork();
  if (child == 0) ::_exit(runEcho());

  Home home;
  home.self = wf::createWindow("BenchHome", [&home](wf::Hwnd, std::uint32_t msg, wf::WParam, wf::LParam) -> wf::LResult {
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
  pingPong(home, "ping-pong, no payload", rounds, 0);
  pingPong(home, "ping-pong, 256-byte payload", rounds, 256);
  pingPong(home, "ping-pong, 16 KiB payload", rounds / 4, 16 * 1024);
  pipelined(home, "pipelined, 64 in flight, no payload", rounds * 5, 64);

  wf::postMessage(home.echo, kStop, 0, 0);
  int status = 0;
  ::waitpid(child, &status, 0);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
