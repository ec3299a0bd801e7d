// netdde: the NetDDE agent. Its window tells the peer transport that NetDDE
// is up; the conversations themselves need nothing of it here. It ends once
// nobody holds the users lock, so no run leaves one behind.
#include <csignal>
#include <cstdio>
#include <string>

#include "platform/clock.h"
#include "platform/netdde.h"
#include "platform/scenario.h"
#include "platform/window_messages.h"

namespace {

volatile std::sig_atomic_t gNetDdeStop = 0;

void onNetDdeSignal(int) {
  gNetDdeStop = 1;
}

constexpr std::uint32_t kUsersPoll = 100;  // system ms between looks at the users lock

// "[netdde] present = 0": the agent does not come up on this computer.
bool presentInScenario(const wf::Scenario& scenario) {
  for (const auto& line : scenario.section("netdde")) {
    std::string key, value;
    if (wf::splitScenarioEntry(line, key, value) && key == "present") return value != "0";
  }
  return true;
}

}  // namespace

int main() {
  std::string error;
  auto scenario = wf::loadScenario(&error);
  if (!scenario) {
    std::fprintf(stderr, "netdde: scenario: %s\n", error.c_str());
    return 1;
  }
  if (!presentInScenario(*scenario)) return 0;
  auto users = wf::openNetDdeUsersLock(&error);
  if (!users) {
    std::fprintf(stderr, "netdde: users lock: %s\n", error.c_str());
    return 1;
  }
  // Nobody uses it (anymore), or another agent runs: nothing to do.
  auto agent = wf::openNetDdeAgentLock(&error);
  if (!agent) {
    std::fprintf(stderr, "netdde: agent lock: %s\n", error.c_str());
    return 1;
  }
  if (users->tryExclusive() || !agent->tryExclusive()) return 0;
  wf::Hwnd window = wf::createWindow(wf::kNetDdeWindowClass, [](wf::Hwnd, std::uint32_t, wf::WParam, wf::LParam) {
    return wf::LResult{0};
  });
  if (!window) {
    std::fprintf(stderr, "netdde: no window\n");
    return 1;
  }
  std::signal(SIGTERM, onNetDdeSignal);
  std::signal(SIGINT, onNetDdeSignal);
  while (!gNetDdeStop && !users->tryExclusive()) {
    wf::Message m;
    while (wf::peekMessage(m, wf::PeekMode::Remove)) wf::dispatchMessage(m);
    wf::sleepFor(kUsersPoll);
  }
  wf::destroyWindow(window);
  return 0;
}
