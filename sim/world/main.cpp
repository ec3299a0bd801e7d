// wf-world <scenario>: the whole network world in one command. Writes the
// scenario's [world.registry] values, starts a simulator for each of its
// sections, answers "ready" when all are, and relays "<simulator>: <line>"
// from standard input to that simulator, printing its answer the same way.
// "quit", SIGINT and SIGTERM end every simulator; none outlives this one.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/scenario.h"
#include "platform/unique_fd.h"
#include "sim/command_loop.h"

namespace {

namespace fs = std::filesystem;

struct WorldPart {
  const char* prefix;   // on standard input and in the answers
  const char* section;  // its presence starts the simulator
  const char* program;
};

constexpr WorldPart kWorldParts[] = {
    {"printer", "printers", "wf-printer-sim"},
    {"adapter", "ipx.adapters", "wf-adapter-sim"},
    {"corlink", "corlink.servers", "wf-corlink-sim"},
    {"peer", "peers", "wf-peer-sim"},
};

constexpr int kStartMs = 30000;
constexpr int kAnswerMs = 30000;
constexpr int kStopMs = 5000;

struct RegistryLine {
  wf::HKEY root;
  std::string key, name;
  std::pair<wf::DWORD, std::string> data;
};

// Every line checked before any is written, so a bad one changes nothing.
std::optional<std::vector<RegistryLine>> readRegistryLines(const wf::Scenario& world, std::string& error) {
  std::vector<RegistryLine> lines;
  for (const auto& entry : world.section("world.registry")) {
    const auto fields = wf::splitScenarioFields(entry);
    auto refuse = [&](const std::string& why) {
      error = "[world.registry] '" + entry + "': " + why;
      return std::nullopt;
    };
    if (fields.size() != 5) return refuse("expected hive | key | value | type | data");
    const auto root = wf::registryRootByName(fields[0]);
    if (!root) return refuse("unknown hive '" + fields[0] + "'");
    if (fields[1].empty()) return refuse("no key");
    const auto data = wf::registryValueFromText(fields[3], fields[4]);
    if (!data) return refuse("'" + fields[4] + "' is no value of type '" + fields[3] + "'");
    lines.push_back({*root, fields[1], fields[2], *data});
  }
  return lines;
}

bool writeRegistryLine(const RegistryLine& line, std::string& error) {
  wf::HKEY key = nullptr;
  wf::LONG r = wf::RegCreateKeyExA(line.root, line.key.c_str(), 0, nullptr, wf::REG_OPTION_NON_VOLATILE,
                                   wf::KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (r == wf::ERROR_SUCCESS) {
    r = wf::RegSetValueExA(key, line.name.c_str(), 0, line.data.first,
                           reinterpret_cast<const wf::BYTE*>(line.data.second.data()),
                           static_cast<wf::DWORD>(line.data.second.size()));
    wf::RegCloseKey(key);
  }
  if (r == wf::ERROR_SUCCESS) return true;
  const std::string why = wf::registryFailureReason();
  error = "[world.registry] " + line.key + " " + line.name + ": " +
          (why.empty() ? "error " + std::to_string(r) : why);
  return false;
}

class RunningSimulator {
 public:
  RunningSimulator(const WorldPart& part, const fs::path& program, const fs::path& scenario) : part_(part) {
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC)) return;
    wf::UniqueFd inRead(in[0]), outWrite(out[1]), errWrite(err[1]);
    toChild_ = wf::UniqueFd(in[1]);
    fromChild_ = wf::UniqueFd(out[0]);
    childErrors_ = wf::UniqueFd(err[0]);
    const pid_t parent = ::getpid();
    const std::string path = program.string(), file = scenario.filename().string();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (::getppid() != parent) ::_exit(1);
      sigset_t none;
      sigemptyset(&none);
      ::pthread_sigmask(SIG_SETMASK, &none, nullptr);
      ::signal(SIGPIPE, SIG_DFL);
      ::dup2(inRead.get(), 0);
      ::dup2(outWrite.get(), 1);
      ::dup2(errWrite.get(), 2);
      if (::chdir(scenario.parent_path().c_str()) != 0) {
        std::fprintf(stderr, "cannot enter %s\n", scenario.parent_path().c_str());
        ::_exit(127);
      }
      ::execl(path.c_str(), path.c_str(), file.c_str(), static_cast<char*>(nullptr));
      std::fprintf(stderr, "cannot run %s: %s\n", path.c_str(), std::strerror(errno));
      ::_exit(127);
    }
  }
  RunningSimulator(const RunningSimulator&) = delete;
  RunningSimulator& operator=(const RunningSimulator&) = delete;
  ~RunningSimulator() { stop(); }

  const WorldPart& part() const { return part_; }

  // Empty when the simulator said "ready"; else why it did not.
  std::string awaitReady() {
    if (pid_ < 0) return "cannot start a process";
    const auto line = readLine(kStartMs);
    if (line && *line == "ready") return {};
    if (line) return "answered '" + *line + "' instead of ready";
    std::string why = lastError();
    const std::string named = std::string(part_.program) + ": ";
    if (why.rfind(named, 0) == 0) why.erase(0, named.size());
    if (why.empty()) why = "no ready within " + std::to_string(kStartMs / 1000) + " s";
    return why;
  }

  // Its answer to one line; empty when it is gone or silent.
  std::optional<std::string> ask(const std::string& line) {
    const std::string sent = line + "\n";
    if (::write(toChild_.get(), sent.data(), sent.size()) != static_cast<ssize_t>(sent.size()))
      return std::nullopt;
    return readLine(kAnswerMs);
  }

  // SIGTERM, bounded wait, then SIGKILL; always reaped.
  void stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopMs);
    while (::waitpid(pid_, nullptr, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() >= deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        break;
      }
      ::usleep(10000);
    }
    pid_ = -1;
  }

 private:
  std::optional<std::string> readLine(int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      if (const auto end = pending_.find('\n'); end != std::string::npos) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        return line;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return std::nullopt;
      pollfd fd{fromChild_.get(), POLLIN, 0};
      if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(fromChild_.get(), buffer, sizeof buffer);
      if (n <= 0) return std::nullopt;
      pending_.append(buffer, static_cast<std::size_t>(n));
    }
  }

  // The last line the simulator wrote on its standard error, once it ended.
  std::string lastError() {
    std::string text;
    for (;;) {
      pollfd fd{childErrors_.get(), POLLIN, 0};
      if (::poll(&fd, 1, kStopMs) <= 0) break;
      char buffer[4096];
      const ssize_t n = ::read(childErrors_.get(), buffer, sizeof buffer);
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text.substr(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1);
  }

  const WorldPart& part_;
  pid_t pid_ = -1;
  wf::UniqueFd toChild_, fromChild_, childErrors_;
  std::string pending_;
};

fs::path programDirectory(const char* argv0) {
  std::error_code ec;
  if (std::string_view(argv0).find('/') != std::string_view::npos)
    return fs::absolute(argv0, ec).parent_path();
  return fs::read_symlink("/proc/self/exe", ec).parent_path();
}

int refuse(const std::string& why) {
  std::cout << "err " << why << std::endl;
  std::fprintf(stderr, "wf-world: %s\n", why.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: wf-world <scenario file>\n");
    return 2;
  }
  wf::sim::CommandLoop commands;
  ::signal(SIGPIPE, SIG_IGN);  // a simulator that died answers as gone
  std::error_code ec;
  const fs::path scenario = fs::absolute(argv[1], ec);
  std::string error;
  const auto text = wf::readScenarioFile(scenario, &error);
  if (!text) return refuse(error);
  const auto world = wf::parseScenario(*text, &error);
  if (!world) return refuse(scenario.string() + ": " + error);
  const auto registry = readRegistryLines(*world, error);
  if (!registry) return refuse(error);
  for (const auto& line : *registry)
    if (!writeRegistryLine(line, error)) return refuse(error);

  const fs::path programs = programDirectory(argv[0]);
  std::vector<std::unique_ptr<RunningSimulator>> running;
  for (const auto& part : kWorldParts) {
    if (world->section(part.section).empty()) continue;
    running.push_back(std::make_unique<RunningSimulator>(part, programs / part.program, scenario));
    if (const auto why = running.back()->awaitReady(); !why.empty()) {
      running.clear();  // ends the ones already started
      return refuse(std::string(part.program) + ": " + why);
    }
  }
  std::cout << "ready" << std::endl;

  commands.run([&](const std::string& line) {
    const auto colon = line.find(':');
    const std::string prefix = line.substr(0, colon);
    for (auto& simulator : running) {
      if (colon == std::string::npos || prefix != simulator->part().prefix) continue;
      const auto start = line.find_first_not_of(' ', colon + 1);
      const auto answer = simulator->ask(start == std::string::npos ? "" : line.substr(start));
      std::cout << prefix << ": "
                << (answer ? *answer : "err " + std::string(simulator->part().program) + " gone")
                << std::endl;
      return;
    }
    std::cout << "err no simulator for '" << line << "'" << std::endl;
  });
  return 0;
}
