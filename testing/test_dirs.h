#pragma once
// Every test case gets fresh runtime and data directories, so tests run in
// parallel without seeing each other. The test main installs this.
#include <filesystem>

namespace wf::testing {

// The directories of the running test case.
std::filesystem::path testRuntimeDir();
std::filesystem::path testDataRoot();

}  // namespace wf::testing
