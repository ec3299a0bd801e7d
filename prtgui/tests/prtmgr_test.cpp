// The printer manager stand-in over the scripted broker.
#include <atomic>
#include <mutex>
#include <thread>

#include "test_fixture.h"
#include "wfpo_tid/wfpo_tid.h"

namespace wf::testing {
namespace {

using namespace std::chrono_literals;

struct Report {
  std::uint16_t handle;  // 0 for the end call
  WFPrtObj::ULONG reason;
  std::thread::id thread;
};

std::mutex reportsMutex;
std::vector<Report> reports;

WFPrtObj::ULONG record(WFPrtObj* printer, std::uintptr_t, WFPrtObj::ULONG reason) {
  std::lock_guard lock(reportsMutex);
  reports.push_back(
      {printer ? printer->getBCEHandle() : std::uint16_t{0}, reason, std::this_thread::get_id()});
  return 1;
}

std::vector<std::pair<std::uint16_t, WFPrtObj::ULONG>> taken() {
  std::lock_guard lock(reportsMutex);
  std::vector<std::pair<std::uint16_t, WFPrtObj::ULONG>> out;
  for (const Report& r : reports) out.emplace_back(r.handle, r.reason);
  reports.clear();
  return out;
}

class PrtMgrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fakebce::reset();
    taken();
    for (std::uint16_t h : {11, 12, 15}) fakebce::setPrtInfoFor(h, prtInfo(h, h == 15 ? "LPT5" : "LPT1"));
    fakebce::setEnumPrinters({prtInfo(11, "LPT1"), prtInfo(12, "LPT2")});
  }
};

TEST_F(PrtMgrTest, AFreshEnumerationReportsNewThenRefreshedPrintersAndEnds) {
  WFPrtMgr manager(4);
  EXPECT_EQ(manager.getBceAppId(), 4);
  EXPECT_EQ(manager.enumAllPrinters(&record, 0), 0);
  using Calls = std::vector<std::pair<std::uint16_t, WFPrtObj::ULONG>>;
  EXPECT_EQ(taken(), (Calls{{11, 0}, {12, 0}, {0, 0}}));
  const auto enumerations = fakebce::callsOf("BceEnumPrinters");
  ASSERT_EQ(enumerations.size(), 1u);
  EXPECT_EQ(enumerations[0].netMask & BCE_NET_FORCE, BCE_NET_FORCE);
  EXPECT_EQ(enumerations[0].appId, 4u);

  WFPrtObj* first = manager.getPrinterObj(11);
  ASSERT_NE(first, nullptr);
  WFPrtObj::ULONG family = 0;
  first->getPrinterType(&family, nullptr);
  EXPECT_EQ(family, 0xFFFFFFFFu);  // the printer did not say
  EXPECT_EQ(manager.getPrinterObj(99), nullptr);

  manager.enumAllPrinters(&record, 0);
  EXPECT_EQ(taken(), (Calls{{11, 1}, {11, 2}, {12, 1}, {12, 2}, {0, 0}}));
  EXPECT_EQ(manager.getPrinterObj(11), first);

  // A forgotten handle comes back as a new printer; the old object lives on.
  manager.removePrinter(11);
  EXPECT_EQ(manager.getPrinterObj(11), nullptr);
  manager.enumAllPrinters(&record, 0);
  EXPECT_EQ(taken(), (Calls{{11, 0}, {12, 1}, {12, 2}, {0, 0}}));
  EXPECT_NE(manager.getPrinterObj(11), first);
  first->getPrinterType(&family, nullptr);
}

TEST_F(PrtMgrTest, OneAddressIsReportedOnceOnTheManagersThread) {
  fakebce::setSpecificPrinter("LPT5", prtInfo(15, "LPT5"));
  WFPrtMgr manager(0);
  NETADDRESS found{}, missing{};
  std::strcpy(found.local, "LPT5");
  std::strcpy(missing.local, "LPT7");
  EXPECT_EQ(manager.enumSpecificPrinter(&found, &record, 0, TRUE), 0);
  EXPECT_EQ(manager.enumSpecificPrinter(&missing, &record, 0, FALSE), 0);
  EXPECT_EQ(manager.enumSpecificPrinter(&found, &record, 0, TRUE), 0);
  for (int i = 0; i < 1000; ++i) {
    {
      std::lock_guard lock(reportsMutex);
      if (reports.size() >= 4) break;
    }
    std::this_thread::sleep_for(10ms);
  }
  {
    std::lock_guard lock(reportsMutex);
    for (const Report& r : reports) EXPECT_NE(r.thread, std::this_thread::get_id());
  }
  using Calls = std::vector<std::pair<std::uint16_t, WFPrtObj::ULONG>>;
  // Found, not found, then found again: bracketed, one call not reason 1.
  EXPECT_EQ(taken(), (Calls{{15, 0}, {0, 0}, {15, 1}, {15, 2}}));
}

TEST_F(PrtMgrTest, TheDestructorWaitsForQueuedRequests) {
  std::atomic<int> calls{0};
  static std::atomic<int>* counter = nullptr;
  counter = &calls;
  auto slow = [](WFPrtObj*, std::uintptr_t, WFPrtObj::ULONG) -> WFPrtObj::ULONG {
    std::this_thread::sleep_for(20ms);
    ++*counter;
    return 1;
  };
  {
    WFPrtMgr manager(0);
    NETADDRESS address{};
    for (int i = 0; i < 3; ++i) manager.enumSpecificPrinter(&address, slow, 0, FALSE);
  }
  EXPECT_EQ(calls, 3);
}

TEST_F(PrtMgrTest, TheDestructorWaitsForAHeldEnumerationThread) {
  auto manager = std::make_unique<WFPrtMgr>(0);
  WFPrtMgr* raw = manager.get();
  raw->holdEnumeration();
  std::atomic<bool> enumerated{false};
  std::thread late([&] {
    std::this_thread::sleep_for(50ms);  // still waiting for its turn when the manager goes
    raw->enumAllPrinters(&record, 0);
    enumerated = true;
    raw->releaseEnumeration();
  });
  manager.reset();
  EXPECT_TRUE(enumerated);
  late.join();
  taken();
}

// A printer that names its family only in variable 0x00B2, as the
// Tidewater, Keystone and Halcyon printers do.
void answerFamily(std::uint8_t family) {
  fakebce::setResponder([family](std::uint32_t code, const std::string& request) -> fakebce::Reply {
    if (code != WFPrtObj::DC_READ_MISC_VAR || request.size() < 2) return {0, {}};
    if (static_cast<std::uint8_t>(request[1]) == 0xA7) return {BCE_ERR_ERROR_RESPONSE, {}};
    return {0, std::string("\xEB\x00\x00\xB2", 4) + static_cast<char>(family)};
  });
}

TEST_F(PrtMgrTest, TidewaterFamiliesGetTheirSettingsObjectAndKeepTheirIdentity) {
  const struct {
    std::uint8_t family;
    bool tidewater;
  } cases[] = {{3, true}, {8, true}, {1, false}, {7, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.family));
    answerFamily(c.family);
    WFPrtMgr manager(2);
    manager.enumAllPrinters(&record, 0);
    taken();
    for (std::uint16_t handle : {11, 12}) {
      WFPrtObj* object = manager.getPrinterObj(handle);
      ASSERT_NE(object, nullptr);
      EXPECT_EQ(dynamic_cast<WFTidewaterPrtObj*>(object) != nullptr, c.tidewater);
      EXPECT_EQ(object->getBCEHandle(), handle);
      WFPrtObj::ULONG key = 0;
      object->getPrinterType(&key, nullptr);
      EXPECT_EQ(key, c.family);
    }
    // A refresh keeps the object the family module borrowed.
    WFPrtObj* first = manager.getPrinterObj(11);
    manager.enumAllPrinters(&record, 0);
    taken();
    EXPECT_EQ(manager.getPrinterObj(11), first);
  }
}

}  // namespace
}  // namespace wf::testing
