// wf-testchild <module>: loads that module's command library
// (libwfchild_<module>.so beside the program), then reads one command per
// line from standard input and answers one line on standard output. Without
// an argument it knows only its own commands (ping, exit, crash).
#include <signal.h>
#include <unistd.h>

#include <iostream>
#include <map>
#include <sstream>

#include "child_commands.h"
#include "platform/module.h"

namespace wf::testing {

static std::map<std::string, ChildCommand>& commands() {
  static std::map<std::string, ChildCommand> table;
  return table;
}

// Exported from the program, so the command libraries it loads register here.
bool registerChildCommand(const std::string& name, ChildCommand command) {
  commands()[name] = std::move(command);
  return true;
}

WF_CHILD_COMMAND("ping",
                 [](const ChildArgs&) { return std::string("ok pong ") + std::to_string(::getpid()); });
WF_CHILD_COMMAND("exit", [](const ChildArgs& a) -> std::string {
  std::cout.flush();
  ::_exit(a.empty() ? 0 : std::stoi(a[0]));
});
WF_CHILD_COMMAND("crash", [](const ChildArgs&) -> std::string {
  ::kill(::getpid(), SIGKILL);
  return "err still alive";
});

}  // namespace wf::testing

int main(int argc, char** argv) {
  if (argc > 2) {
    std::cerr << "usage: wf-testchild [module]\n";
    return 2;
  }
  // Kept loaded for the life of the process; its commands register as it loads.
  if (argc == 2 && !wf::loadModule(std::string("wfchild_") + argv[1])) {
    std::cerr << "wf-testchild: no command library for " << argv[1] << "\n";
    return 2;
  }
  std::ios::sync_with_stdio(false);
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream words(line);
    std::string name;
    words >> name;
    wf::testing::ChildArgs args;
    for (std::string w; words >> w;) args.push_back(w);
    auto& table = wf::testing::commands();
    auto it = table.find(name);
    std::string answer;
    try {
      answer = it == table.end() ? "err unknown command " + name : it->second(args);
    } catch (const std::exception& e) {
      answer = std::string("err ") + e.what();
    }
    std::cout << answer << '\n' << std::flush;
  }
  return 0;
}
