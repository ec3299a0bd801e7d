// CORCL32 as the broker loads it: its options at load, its log, its exports
// and what they answer before and after NetShutdown.
#include <filesystem>

#include "broker/net_entry_points.h"
#include "corlink_fixture.h"
#include "platform/module.h"

namespace wf::corlink::testing {
namespace {

using ShutdownFn = void (*)();

class Corcl32 : public ::testing::Test {
 protected:
  void TearDown() override {
    if (module_) freeModule(module_);
  }
  ModuleHandle load() {
    module_ = loadModule("corcl32.dll");
    return module_;
  }
  ModuleHandle module_ = nullptr;
};

TEST_F(Corcl32, FirstLoadCreatesTheOptionsWithTheirDefaultsAndNoLog) {
  ASSERT_TRUE(load());
  EXPECT_EQ(startUpValue(kValueLoggingLevel), (std::pair<DWORD, std::string>{REG_DWORD, std::string(4, '\0')}));
  EXPECT_EQ(startUpValue(kValueOnlyQueues), (std::pair<DWORD, std::string>{REG_DWORD, std::string(4, '\0')}));
  EXPECT_EQ(startUpValue(kValueEnumerateDomain), (std::pair<DWORD, std::string>{REG_DWORD, std::string(4, '\0')}));
  EXPECT_EQ(startUpValue(kValueDomains), (std::pair<DWORD, std::string>{REG_SZ, std::string(1024, '\0')}));
  EXPECT_EQ(startUpValue(kValueServers), (std::pair<DWORD, std::string>{REG_SZ, std::string(1024, '\0')}));
  auto log = mapSystemPath("C:\\CORCL32.LOG");
  ASSERT_TRUE(log);
  EXPECT_FALSE(std::filesystem::exists(*log));
}

TEST_F(Corcl32, AMissingLoggingLevelIsWrittenZeroAndOthersLeftMissing) {
  setStartUpText(kValueServers, "SRV9");
  ASSERT_TRUE(load());
  EXPECT_EQ(startUpValue(kValueLoggingLevel).first, REG_DWORD);
  EXPECT_EQ(startUpValue(kValueOnlyQueues).first, 0u) << "written by the enumeration, not the load";
  EXPECT_EQ(startUpList(kValueServers), "SRV9");
}

TEST_F(Corcl32, ExportsVersionAndTheLowerCaseShutdown) {
  setStartUpDword(kValueLoggingLevel, kLogLoad);
  ASSERT_TRUE(load());
  const NetEntryPoints f = bindNetEntryPoints(module_);
  ASSERT_TRUE(f.NetGetVersion);
  EXPECT_EQ(f.NetGetVersion(), 0x0102);
  EXPECT_EQ(f.NetShutDown, nullptr) << "the broker's spelling finds nothing";
  const auto shutdown = moduleEntryAs<ShutdownFn>(module_, "NetShutdown");
  ASSERT_TRUE(shutdown);

  std::uint8_t flags[2] = {9, 9};
  std::uint16_t length = 2;
  EXPECT_EQ(f.NetGetInfo(NET_NO_PORT, 5, flags, &length, nullptr), NET_OKAY);
  EXPECT_EQ(flags[0], 0);
  EXPECT_EQ(f.NetGetInfo(NET_NO_PORT, 129, flags, &length, nullptr), NET_BADID) << "a port item";
  EXPECT_EQ(f.NetGetInfo(3, 5, flags, &length, nullptr), NET_BADID);

  shutdown();
  // The last line before the shutdown is in the file once it returns.
  const std::string log = corcl32Log();
  EXPECT_NE(log.find(": CORCL32.DLL started\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(": CORCL32.DLL shutting down\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.substr(2, 1), ":");
  EXPECT_EQ(log.substr(8, 2), ": ") << "HH:MM:SS: ";

  // Afterwards calls answer failure and change nothing; a second shutdown does nothing.
  const std::uint8_t add[17] = {2, 'S', 'R', 'V', '1'};
  EXPECT_EQ(f.NetSetInfo(NET_NO_PORT, 3, add, sizeof add), NET_FAIL);
  EXPECT_EQ(startUpList(kValueServers), "");
  shutdown();
  EXPECT_EQ(corcl32Log(), log);
}

TEST_F(Corcl32, LinesQueuedAtProcessEndReachTheFile) {
  // The broker neither shuts a transport down nor frees it: unloading writes what is queued.
  setStartUpDword(kValueLoggingLevel, kLogLoad | kLogConnections);
  ASSERT_TRUE(load());
  const NetEntryPoints f = bindNetEntryPoints(module_);
  const std::uint8_t add[17] = {2, 'S', 'R', 'V', '1'};
  EXPECT_EQ(f.NetSetInfo(NET_NO_PORT, 3, add, sizeof add), NET_OKAY);
  freeModule(module_);
  module_ = nullptr;
  EXPECT_NE(corcl32Log().find("CORCL32.DLL shutting down"), std::string::npos);
}

TEST_F(Corcl32, AnUnwritableLogFailsTheLoad) {
  setStartUpDword(kValueLoggingLevel, kLogLoad);
  auto log = mapSystemPath("C:\\CORCL32.LOG");
  ASSERT_TRUE(log);
  std::filesystem::create_directories(*log);  // a directory where the file should be
  EXPECT_FALSE(load());
  setStartUpDword(kValueLoggingLevel, 0);
  EXPECT_TRUE(load()) << "no log, no file needed";
}

}  // namespace
}  // namespace wf::corlink::testing
