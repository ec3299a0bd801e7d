#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "test_dirs.h"

namespace wf::testing {
namespace fs = std::filesystem;

namespace {
fs::path caseDir;

class PerTestDirs : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override {
    std::string tmpl = (fs::temp_directory_path() / "wft-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) std::abort();
    caseDir = tmpl;
    ::setenv("WRENFIELD_RUNTIME_DIR", (caseDir / "r").c_str(), 1);
    ::setenv("WRENFIELD_ROOT", (caseDir / "d").c_str(), 1);
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    std::error_code ec;
    fs::remove_all(caseDir, ec);
  }
};
}  // namespace

fs::path testRuntimeDir() {
  return caseDir / "r";
}
fs::path testDataRoot() {
  return caseDir / "d";
}

}  // namespace wf::testing

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new wf::testing::PerTestDirs);
  return RUN_ALL_TESTS();
}
