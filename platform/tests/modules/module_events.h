#pragma once
// The test libraries note what happened to them in a file of the test case's
// runtime directory, which outlives their unloading.
#include <fstream>
#include <string>

#include "platform/runtime_dir.h"

namespace wf::testmodules {

inline void noteEvent(const std::string& event) {
  if (auto path = runtimePath("module-events")) std::ofstream(*path, std::ios::app) << event << '\n';
}

// A test creates this file to make the next attach of `library` fail.
inline bool attachRefused(const std::string& library) {
  auto path = runtimePath("refuse-" + library);
  return path && std::ifstream(*path).good();
}

}  // namespace wf::testmodules
