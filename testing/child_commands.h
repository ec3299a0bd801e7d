#pragma once
// Commands of the test helper process wf-testchild. Each module's command
// library registers its own with WF_CHILD_COMMAND; the helper loads the
// library it is started with. The answer is one line, "ok ..." or "err ...",
// which the test side parses into a ChildAnswer.
#include <functional>
#include <string>
#include <vector>

namespace wf::testing {

using ChildArgs = std::vector<std::string>;
using ChildCommand = std::function<std::string(const ChildArgs&)>;

bool registerChildCommand(const std::string& name, ChildCommand command);

}  // namespace wf::testing

#define WF_CHILD_CONCAT2(a, b) a##b
#define WF_CHILD_CONCAT(a, b) WF_CHILD_CONCAT2(a, b)
// WF_CHILD_COMMAND("name", [](const wf::testing::ChildArgs& args) { ... });
// __COUNTER__, not __LINE__: files compiled as one may register on the same line.
#define WF_CHILD_COMMAND(name, ...)                                                  \
  static const bool WF_CHILD_CONCAT(wfChildCommand_, __COUNTER__) [[maybe_unused]] = \
      ::wf::testing::registerChildCommand(name, __VA_ARGS__)
