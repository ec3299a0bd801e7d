#pragma once
// A case that needs a process of its own started with its directories (the
// broker chooses its directory when its library loads): the death-test
// machinery runs this program again for the case, and the body runs there.
#include <functional>

namespace wf::testing {

// Runs `body` in that process with this case's runtime and data directories
// and the time scale set; passes when the body passed there, and the
// parent shows the failures it had.
void inOwnProcess(const std::function<void()>& body, double timeScale);

}  // namespace wf::testing
