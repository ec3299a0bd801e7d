#include "platform/module.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/runtime_dir.h"

namespace wf {
namespace {

// The test libraries live in a directory of their own beside the program.
class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override { setModuleSearchPath({moduleDirectory() / "testmodules"}); }
  void TearDown() override { setModuleSearchPath({}); }

  // What the test libraries noted, in order (see tests/modules/module_events.h).
  static std::vector<std::string> events() {
    std::vector<std::string> lines;
    auto path = runtimePath("module-events");
    if (!path) return lines;
    std::ifstream in(*path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  static void refuseAttach(const std::string& library, bool refuse) {
    auto path = runtimePath("refuse-" + library);
    ASSERT_TRUE(path);
    if (refuse)
      std::ofstream(*path) << "1";
    else
      std::filesystem::remove(*path);
  }

  static bool mapped(const std::string& fileName) {
    std::ifstream maps("/proc/self/maps");
    std::stringstream all;
    all << maps.rdbuf();
    return all.str().find("/" + fileName) != std::string::npos;
  }
};

using Strings = std::vector<std::string>;

TEST(ModuleName, SystemNamesMapToSharedLibraryFiles) {
  struct Case {
    const char* name;
    const char* file;
  } cases[] = {
      {"CORIPX32.DLL", "libcoripx32.so"},
      {"CoRipx32.dll", "libcoripx32.so"},
      {"Cornw32", "libcornw32.so"},
      {"wfresdll", "libwfresdll.so"},
      {"WRENFLD.EXE", "libwrenfld.so"},
      {"setup.Exe", "libsetup.so"},
      {"a.b.DLL", "liba.b.so"},  // only the last extension goes
      {"COMMON.DRV", "libcommon.drv.so"},
      {".dll", ""},  // nothing left of the name
      {"", ""},
      {"dir\\CORBCE.DLL", ""},  // a path is not a module name
      {"../libc", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(moduleFileName(c.name), c.file) << c.name;
}

TEST_F(ModuleTest, SearchPathOrderAndMissingFile) {
  auto dir = moduleDirectory() / "testmodules";
  ASSERT_EQ(findModuleFile("TESTNET32.DLL"), dir / "libtestnet32.so");
  EXPECT_FALSE(findModuleFile("NOSUCH32.DLL"));
  EXPECT_EQ(loadModule("NOSUCH32.DLL"), nullptr);
  EXPECT_EQ(loadModule(""), nullptr);

  // The first directory that has the file wins, before the environment's.
  auto shadow = std::filesystem::path(runtimeDir().value()) / "shadow";
  std::filesystem::create_directories(shadow);
  std::filesystem::copy_file(dir / "libtestfamily.so", shadow / "libtestnet32.so");
  setenv("WRENFIELD_MODULE_PATH", ("/nonexistent:" + shadow.string()).c_str(), 1);
  setModuleSearchPath({});
  EXPECT_EQ(findModuleFile("testnet32"), shadow / "libtestnet32.so");
  setModuleSearchPath({dir});
  EXPECT_EQ(findModuleFile("testnet32"), dir / "libtestnet32.so");
  unsetenv("WRENFIELD_MODULE_PATH");
}

TEST_F(ModuleTest, NamesDifferingInCaseAndExtensionShareOneReferenceCountedHandle) {
  ModuleHandle a = loadModule("TestNet32.DLL");
  ASSERT_NE(a, nullptr);
  ModuleHandle b = loadModule("testnet32");
  EXPECT_EQ(a, b);
  EXPECT_EQ(events(), Strings{"testnet32 attach"});  // attached once

  EXPECT_TRUE(freeModule(b));
  EXPECT_TRUE(mapped("libtestnet32.so"));
  EXPECT_EQ(events(), Strings{"testnet32 attach"});  // not the last free: no detach
  EXPECT_NE(moduleEntry(a, "NetGetVersion"), nullptr);

  EXPECT_TRUE(freeModule(a));
  EXPECT_EQ(events(), (Strings{"testnet32 attach", "testnet32 detach"}));
  EXPECT_FALSE(mapped("libtestnet32.so"));
  EXPECT_FALSE(freeModule(a));  // no longer known
  EXPECT_EQ(moduleEntry(a, "NetGetVersion"), nullptr);
  EXPECT_EQ(events().size(), 2u);

  // Loading again is a fresh attach.
  ModuleHandle c = loadModule("TESTNET32.DLL");
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(freeModule(c));
  EXPECT_EQ(events(),
            (Strings{"testnet32 attach", "testnet32 detach", "testnet32 attach", "testnet32 detach"}));
}

TEST_F(ModuleTest, EntryPointsByExactName) {
  ModuleHandle net = loadModule("TESTNET32.DLL");
  ASSERT_NE(net, nullptr);
  auto version = moduleEntryAs<unsigned short (*)()>(net, "NetGetVersion");
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version(), 0x0B11);
  EXPECT_NE(moduleEntry(net, "NetShutdown"), nullptr);
  EXPECT_EQ(moduleEntry(net, "NetShutDown"), nullptr);  // letters and case must match
  EXPECT_EQ(moduleEntry(net, "netgetversion"), nullptr);
  EXPECT_EQ(moduleEntry(net, "NetEnumerate"), nullptr);  // not exported: null, not an error
  EXPECT_EQ(moduleEntry(net, nullptr), nullptr);
  EXPECT_EQ(moduleOrdinal(net, 103), nullptr);  // no ordinal table
  EXPECT_EQ(moduleEntry(nullptr, "NetGetVersion"), nullptr);
  EXPECT_TRUE(freeModule(net));
}

TEST_F(ModuleTest, OrdinalOnlyExportsAreFoundByOrdinalNotByName) {
  ModuleHandle family = loadModule("TESTFAMILY.DLL");
  ASSERT_NE(family, nullptr);
  auto init = moduleOrdinalAs<int (*)(int)>(family, 103);
  ASSERT_NE(init, nullptr);
  EXPECT_EQ(init(1000), 1103);
  auto second = moduleOrdinalAs<int (*)(int)>(family, 7);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second(1000), 1007);
  EXPECT_EQ(moduleOrdinal(family, 100), nullptr);
  EXPECT_EQ(moduleOrdinal(family, 0), nullptr);  // the table's end marker is no entry
  EXPECT_EQ(moduleEntry(family, "initFamily"), nullptr);
  EXPECT_NE(moduleEntry(family, "FamilyName"), nullptr);
  EXPECT_TRUE(events().empty());  // a library without attach loads all the same
  EXPECT_TRUE(freeModule(family));
  EXPECT_FALSE(mapped("libtestfamily.so"));
}

TEST_F(ModuleTest, RefusedAttachFailsTheLoadAndALaterLoadRetries) {
  refuseAttach("testnet32", true);
  EXPECT_EQ(loadModule("TESTNET32.DLL"), nullptr);
  EXPECT_FALSE(mapped("libtestnet32.so"));
  EXPECT_EQ(events(), Strings{"testnet32 refused"});  // no detach for a refused attach

  refuseAttach("testnet32", false);
  ModuleHandle net = loadModule("TESTNET32.DLL");
  ASSERT_NE(net, nullptr);
  EXPECT_TRUE(freeModule(net));
  EXPECT_EQ(events(), (Strings{"testnet32 refused", "testnet32 attach", "testnet32 detach"}));
}

// testuser links testlinked; testlinked attaches itself when it arrives and
// detaches when it leaves the process, however it was brought in.
TEST_F(ModuleTest, LinkedLibraryAttachesOncePerProcess) {
  ModuleHandle user = loadModule("TESTUSER.DLL");
  ASSERT_NE(user, nullptr);
  ModuleHandle linked = loadModule("TestLinked.dll");
  ASSERT_NE(linked, nullptr);
  EXPECT_EQ(events(), (Strings{"testlinked attach", "testuser attach"}));

  // Only a library's own exports are its entry points.
  EXPECT_EQ(moduleEntry(user, "LinkedQuery"), nullptr);
  auto query = moduleEntryAs<int (*)()>(linked, "LinkedQuery");
  ASSERT_NE(query, nullptr);
  EXPECT_EQ(query(), 7);

  // Freed by name, yet still linked by testuser: it stays attached.
  EXPECT_TRUE(freeModule(linked));
  EXPECT_TRUE(mapped("libtestlinked.so"));
  ModuleHandle again = loadModule("testlinked");
  EXPECT_EQ(again, linked);
  EXPECT_TRUE(freeModule(again));
  EXPECT_EQ(events(), (Strings{"testlinked attach", "testuser attach"}));

  EXPECT_TRUE(freeModule(user));
  EXPECT_EQ(events(),
            (Strings{"testlinked attach", "testuser attach", "testuser detach", "testlinked detach"}));
  EXPECT_FALSE(mapped("libtestlinked.so"));
}

TEST_F(ModuleTest, LinkedLibraryLoadedOnlyByNameDetachesAtLastFree) {
  ModuleHandle a = loadModule("TESTLINKED.DLL");
  ModuleHandle b = loadModule("TESTLINKED.DLL");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_TRUE(freeModule(a));
  EXPECT_EQ(events(), Strings{"testlinked attach"});
  EXPECT_TRUE(freeModule(b));
  EXPECT_EQ(events(), (Strings{"testlinked attach", "testlinked detach"}));
  EXPECT_FALSE(mapped("libtestlinked.so"));
}

TEST_F(ModuleTest, RefusedAttachOfALinkedLibraryFailsTheLoadThatPulledItIn) {
  refuseAttach("testlinked", true);
  EXPECT_EQ(loadModule("TESTUSER.DLL"), nullptr);
  EXPECT_FALSE(mapped("libtestuser.so"));
  EXPECT_FALSE(mapped("libtestlinked.so"));
  EXPECT_EQ(events(), Strings{"testlinked refused"});  // testuser never attached

  refuseAttach("testlinked", false);
  ModuleHandle user = loadModule("TESTUSER.DLL");
  ASSERT_NE(user, nullptr);
  auto query = moduleEntryAs<int (*)()>(user, "UserQuery");
  ASSERT_NE(query, nullptr);
  EXPECT_EQ(query(), 8);
  EXPECT_TRUE(freeModule(user));
  EXPECT_EQ(events(), (Strings{"testlinked refused", "testlinked attach", "testuser attach",
                               "testuser detach", "testlinked detach"}));
}

// A program linking the library: attach before main, detach at exit, and a
// load by name in between changes neither. A refused attach stops the program.
TEST_F(ModuleTest, ProgramLinkingALibraryAttachesItBeforeMain) {
  const std::string program = (moduleDirectory() / "testmodules" / "wf-testlinkedprogram").string();
  int status = std::system((program + " TESTLINKED.DLL").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(events(), (Strings{"testlinked attach", "testlinked detach"}));

  refuseAttach("testlinked", true);
  status = std::system((program + " 2>/dev/null").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 127);
  EXPECT_EQ(events(), (Strings{"testlinked attach", "testlinked detach", "testlinked refused"}));
}

}  // namespace
}  // namespace wf
