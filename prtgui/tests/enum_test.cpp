// The enumeration callback: requests of every mode, with and without windows.
#include <algorithm>
#include <thread>

#include "common/wait_objects.h"
#include "framework/frame_wnd.h"
#include "test_fixture.h"

namespace wf::testing {
namespace {

class EnumCallbackTest : public PrinterFixture {
 protected:
  ENUMPRTDATA* request(ULONG mode, const char* port = "LPT1", bool withRecord = false) {
    auto* data = new ENUMPRTDATA;
    data->pList = &list_;
    data->mode = mode;
    std::strncpy(data->address.local, port, sizeof data->address.local - 1);
    if (withRecord) {
      auto* record = new BYTE[sizeof(ENUMBINARYDATA)]();
      auto* r = reinterpret_cast<ENUMBINARYDATA*>(record);
      r->portType = WFPrtObj::PORT_LPT;
      r->familyKey = 0;
      std::strcpy(r->name, "Saved");
      r->userDefinedName = 1;
      data->pStoredRecord = record;
    }
    return data;
  }
  static std::uintptr_t asData(ENUMPRTDATA* data) { return reinterpret_cast<std::uintptr_t>(data); }
  std::vector<std::string> posts() {
    std::vector<std::string> out;
    for (const auto& call : app_.windowList.calls())
      if (call.rfind("PostToAll", 0) == 0) out.push_back(call);
    return out;
  }
};

// One-printer requests (ASan checks each record is freed exactly once).
struct OneCase {
  ULONG mode;
  bool found;
  BOOL useGhosts;
  BOOL windowsLeft;
  size_t icons;     // in the list afterwards
  bool ghost;       // the icon is a ghost
  int countedDown;  // 1 when the request was uncounted
};

TEST_F(EnumCallbackTest, OnePrinterRequestsByModeFoundGhostSettingAndWindows) {
  const OneCase cases[] = {
      {1, true, FALSE, TRUE, 1, false, 1},  {1, false, FALSE, TRUE, 0, false, 1},
      {1, false, TRUE, TRUE, 1, true, 1},   {2, false, FALSE, TRUE, 1, true, 1},
      {3, false, TRUE, TRUE, 0, false, 0},  {3, true, FALSE, TRUE, 1, false, 0},
      {1, true, FALSE, FALSE, 0, false, 0}, {2, false, TRUE, FALSE, 0, false, 0},
  };
  int index = 0;
  for (const OneCase& c : cases) {
    SCOPED_TRACE(index++);
    list_.DeleteAllPrinters();
    app_.useGhosts = c.useGhosts;
    app_.windowsLeft = c.windowsLeft;
    const std::uint16_t handle = static_cast<std::uint16_t>(20 + index);
    ScriptedPrtObj* object = c.found ? addLocal(handle, "LPT1") : nullptr;
    if (c.mode != 3) app_.IncreaseEnumSpecCount();
    const int before = app_.GetEnumSpecCount();
    EXPECT_EQ(EnumPrintersCallback(object, asData(request(c.mode, "LPT1", true)), WF_ENUM_REASON_NEW), 1u);
    ASSERT_EQ(icons().size(), c.icons);
    if (c.icons) {
      EXPECT_EQ(icons()[0]->IsGhost(), c.ghost);
    }
    EXPECT_EQ(before - app_.GetEnumSpecCount(), c.countedDown);
    // Leave the count at zero for the next case.
    while (app_.GetEnumSpecCount() > 0) app_.DecreaseEnumSpecCount();
  }
}

TEST_F(EnumCallbackTest, APrinterNoModuleClaimsAnswersZeroAndIsFreedWithItsRequest) {
  ScriptedPrtObj* unclaimed = addLocal(11, "LPT1", 9);
  app_.IncreaseEnumSpecCount();
  EXPECT_EQ(EnumPrintersCallback(unclaimed, asData(request(1, "LPT1", true)), WF_ENUM_REASON_NEW), 0u);
  EXPECT_TRUE(icons().empty());
  EXPECT_EQ(app_.GetEnumSpecCount(), 0);
}

TEST_F(EnumCallbackTest, ReasonOneLocksTheIconUntilReasonTwoWithoutCountingDown) {
  ScriptedPrtObj* object = addLocal(11, "LPT1");
  list_.NewPrinterIcon(object, nullptr);
  CWFPrinterIcon* icon = icons().at(0);
  app_.IncreaseEnumSpecCount();
  ENUMPRTDATA* data = request(1);
  EXPECT_EQ(EnumPrintersCallback(object, asData(data), WF_ENUM_REASON_REINIT_START), 1u);
  EXPECT_TRUE(icon->IsPrinterObjLocked());
  EXPECT_EQ(icon->GetPrinterObj(), nullptr);
  EXPECT_EQ(app_.GetEnumSpecCount(), 1);
  EXPECT_EQ(EnumPrintersCallback(object, asData(data), WF_ENUM_REASON_REINIT_DONE), 1u);
  EXPECT_FALSE(icon->IsPrinterObjLocked());
  EXPECT_EQ(icons().size(), 1u);
  EXPECT_EQ(app_.GetEnumSpecCount(), 0);

  // The last window closes between the two calls: the lock still goes.
  ENUMPRTDATA* late = request(3);
  EnumPrintersCallback(object, asData(late), WF_ENUM_REASON_REINIT_START);
  app_.windowsLeft = FALSE;
  EnumPrintersCallback(object, asData(late), WF_ENUM_REASON_REINIT_DONE);
  EXPECT_FALSE(icon->IsPrinterObjLocked());
}

TEST_F(EnumCallbackTest, TheLastOnePrinterEndShowsTheIdlePrompt) {
  app_.IncreaseEnumSpecCount();
  app_.IncreaseEnumSpecCount();
  const std::string idle =
      "PostToAll " + std::to_string(WM_SETMESSAGESTRING) + " " + std::to_string(AFX_IDS_IDLEMESSAGE) + " 0";
  EnumPrintersCallback(nullptr, asData(request(1)), WF_ENUM_REASON_NEW);
  EXPECT_EQ(std::count(posts().begin(), posts().end(), idle), 0);
  EnumPrintersCallback(nullptr, asData(request(2, "LPT9")), WF_ENUM_REASON_NEW);
  const auto after = posts();
  EXPECT_EQ(std::count(after.begin(), after.end(), idle), 1);
}

TEST_F(EnumCallbackTest, AWholeSystemEnumerationMakesIconsThenPostsCompletionInOrder) {
  for (BOOL windows : {TRUE, FALSE}) {
    SCOPED_TRACE(windows);
    list_.DeleteAllPrinters();
    app_.windowsLeft = windows;
    ScriptedPrtObj* a = addLocal(windows ? 11 : 21, "LPT1");
    ScriptedPrtObj* b = addLocal(windows ? 12 : 22, "LPT2", 5);
    manager_.allSteps = {{a, WF_ENUM_REASON_NEW}, {b, WF_ENUM_REASON_NEW}};
    manager_.results.clear();
    manager_.answered = 0;
    const size_t postsBefore = posts().size();
    list_.EnumeratePrinters(&manager_, 0);
    // The start holds every enumeration unit until the end call gives them back.
    ASSERT_TRUE([&] {
      for (int i = 0; i < 1000 && manager_.answered < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      return manager_.answered == 3;
    }());
    app_.WaitForEnumSpecsComplete();  // would hang without the units back
    app_.ReleaseAllEnumSpecs();
    EXPECT_EQ(app_.GetGlobalEnumState(), 0);
    const auto all = posts();
    const std::vector<std::string> added(all.begin() + static_cast<long>(postsBefore), all.end());
    if (windows) {
      EXPECT_EQ(manager_.results, (std::vector<WFPrtObj::ULONG>{1, 1, 1}));
      EXPECT_EQ(icons().size(), 2u);
      EXPECT_EQ(added,
                (std::vector<std::string>{"PostToAll 1139 0 0", "PostToAll 1152 0 0", "PostToAll 1155 0 0"}));
    } else {
      EXPECT_TRUE(icons().empty());
      EXPECT_TRUE(added.empty());
    }
  }
}

}  // namespace
}  // namespace wf::testing
