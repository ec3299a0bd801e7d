// The icon's cached printer records: the fill worker, the readers with their
// time limit, the page-count worker and the inventory's serial number.
#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common/notebook_messages.h"
#include "common/wait_objects.h"
#include "platform/clock.h"
#include "platform/message_queue.h"
#include "test_fixture.h"

namespace wf::testing {
namespace {

class CachedDataTest : public PrinterFixture {
 protected:
  void SetUp() override {
    PrinterFixture::SetUp();
    notebook_ = wf::createWindow("Notebook", [this](HWND, std::uint32_t message, WPARAM, LPARAM) {
      posted_.push_back(message);
      return LRESULT{0};
    });
  }
  void TearDown() override {
    wf::destroyWindow(notebook_);
    wf::setTimeScaleForTest(1.0);
    PrinterFixture::TearDown();
  }
  // A bidi printer with every record filled, in the printer list.
  std::pair<CWFPrinterIcon*, ScriptedPrtObj*> listed(std::uint16_t handle, const char* port = "LPT1:") {
    ScriptedPrtObj* object = addLocal(handle, port);
    fillRecords(*object);
    object->storage.cartridgeName = "Courier";
    list_.NewPrinterIcon(object, nullptr);
    return {icons().back(), object};
  }
  static long count(const std::vector<std::string>& calls, const char* call) {
    return std::count(calls.begin(), calls.end(), call);
  }
  // The printer requests among the object's calls from the `from`th on.
  static std::vector<std::string> requestsSince(ScriptedPrtObj* object, std::size_t from) {
    std::vector<std::string> requests;
    const auto calls = object->calls();
    for (std::size_t i = from; i < calls.size(); ++i)
      if (calls[i].rfind("bidi", 0) == 0) requests.push_back(calls[i]);
    return requests;
  }
  // Runs `work` on another thread holding the icon's mutex `suffix`.
  template <class Work>
  void whileHeldElsewhere(CWFPrinterIcon* icon, const char* suffix, Work&& work) {
    std::atomic<bool> held{false}, done{false};
    std::thread holder([&] {
      CMutex mutex(icon->GetMutexName(suffix));
      mutex.Wait(wf::kInfinite);
      held = true;
      while (!done) std::this_thread::yield();
      mutex.Release();
    });
    while (!held) std::this_thread::yield();
    work();
    done = true;
    holder.join();
  }

  HWND notebook_ = 0;
  std::vector<std::uint32_t> posted_;
};

TEST_F(CachedDataTest, TheFillWorkerAsksForMissingRecordsOnceAndTellsTheNotebook) {
  auto [icon, object] = listed(40);
  EXPECT_EQ(icon->GetSerialNo(), "");  // nothing cached yet
  EXPECT_EQ(icon->GetNumCodeLevels(), 0u);
  icon->SetOpenDlgHandle(notebook_);
  const auto before = object->calls();

  EXPECT_EQ(CWFPrinterIcon::UpdateGraphicInfo(reinterpret_cast<void*>(std::uintptr_t{40})), 1u);
  runQueuedWork();
  EXPECT_EQ(posted_, std::vector<std::uint32_t>{WM_WF_UPDATEPAGE});
  EXPECT_EQ(icon->GetSerialNo(), "SN-4711");
  EXPECT_EQ(icon->GetPrinterSpeed(), 12ul);
  EXPECT_EQ(icon->GetMemorySize(), 4096ul);
  EXPECT_EQ(icon->GetDuplexOption(), 1);
  EXPECT_EQ(icon->GetFontCartOption(), TRUE);
  EXPECT_EQ(icon->GetFontCartName(), "Courier");
  EXPECT_EQ(icon->GetFlashSize(), 0x200000ul);
  EXPECT_EQ(icon->GetHDSize(), 0x2800000ul);
  EXPECT_EQ(icon->GetCodeLevel(3), "1.02");
  EXPECT_EQ(icon->GetCodeLevel(8), "D1");
  EXPECT_EQ(icon->GetCodeLevel(11), "");
  EXPECT_EQ(icon->GetNumCodeLevels(), 1u);
  EXPECT_EQ(icon->GetTotalPages(), 123456ul);
  EXPECT_EQ(icon->GetPowerOnPages(), 40ul);
  EXPECT_EQ(icon->GetUserPageCount(), 12ul);
  EXPECT_EQ(icon->GetTrayCapacity(7103), 500u);
  EXPECT_EQ(icon->GetOutputCapacity(), 250ul);
  EXPECT_TRUE(icon->GetOpPanelLock());
  EXPECT_EQ(icon->GetHighCapacity(), 0);  // no fetch fills that record

  const auto calls = requestsSince(object, before.size());
  for (const char* call : {"bidiGetStorageOptions", "bidiGetInputChars", "bidiGetCodeLevels",
                           "bidiGetPageCounts", "bidiROPQueryData", "bidiROPQueryLock"})
    EXPECT_EQ(count(calls, call), 1) << call;
  EXPECT_LE(count(calls, "bidiGetDeviceChars"), 1);  // the model lookup may have cached it

  // A second run refreshes only the page counts and the panel lock.
  object->pageCounts.counters[0] = 123457;
  const auto second = object->calls().size();
  CWFPrinterIcon::UpdateGraphicInfo(reinterpret_cast<void*>(std::uintptr_t{40}));
  EXPECT_EQ(requestsSince(object, second),
            (std::vector<std::string>{"bidiGetPageCounts", "bidiROPQueryLock"}));
  EXPECT_EQ(icon->GetTotalPages(), 123457ul);
  icon->SetOpenDlgHandle(0);
}

TEST_F(CachedDataTest, ReEnumerationWithTheNotebookOpenQueuesTheFill) {
  auto [icon, object] = listed(39);
  icon->PrinterReEnum(nullptr);
  auto labels = runQueuedWork();
  const std::string fill = "[Quorra 1210 - LPT1:] UpdateGraphicInfo() from CWFPrinterIcon::PrinterReEnum()";
  EXPECT_EQ(std::count(labels.begin(), labels.end(), fill), 0);
  icon->SetOpenDlgHandle(notebook_);
  icon->PrinterReEnum(nullptr);
  labels = runQueuedWork();
  EXPECT_EQ(std::count(labels.begin(), labels.end(), fill), 1);
  EXPECT_EQ(icon->GetSerialNo(), "SN-4711");
  EXPECT_EQ(std::count(posted_.begin(), posted_.end(), WM_WF_UPDATEPAGE), 1);
  icon->SetOpenDlgHandle(0);
}

TEST_F(CachedDataTest, ARejectedRequestStopsTheFillAndLeavesTheLaterRecordsEmpty) {
  auto [icon, object] = listed(41);
  object->rejects["bidiGetCodeLevels"] = 5;
  EXPECT_EQ(CWFPrinterIcon::UpdateGraphicInfo(reinterpret_cast<void*>(std::uintptr_t{41})), 1u);
  EXPECT_EQ(icon->GetFontCartName(), "Courier");
  EXPECT_EQ(icon->NumInputSources(), 3u);
  EXPECT_EQ(icon->GetNumCodeLevels(), 0u);
  EXPECT_EQ(icon->GetTotalPages(), 0ul);
  const auto calls = object->calls();
  EXPECT_EQ(count(calls, "bidiGetPageCounts"), 0);
  EXPECT_EQ(count(calls, "bidiROPQueryData"), 0);
  // No notebook open: nothing posted.
  runQueuedWork();
  EXPECT_TRUE(posted_.empty());
  // A handle no icon has: the worker ends at once.
  EXPECT_EQ(CWFPrinterIcon::UpdateGraphicInfo(reinterpret_cast<void*>(std::uintptr_t{99})), 0u);
}

TEST_F(CachedDataTest, ReadersGiveTheNeutralValueWhileAWorkerHoldsTheRecord) {
  wf::setTimeScaleForTest(0.001);
  auto [icon, object] = listed(42);
  CWFPrinterIcon::UpdateGraphicInfo(reinterpret_cast<void*>(std::uintptr_t{42}));
  ASSERT_EQ(icon->GetSerialNo(), "SN-4711");
  whileHeldElsewhere(icon, "DeviceChars", [&] {
    EXPECT_EQ(icon->GetSerialNo(), "");
    EXPECT_EQ(icon->GetPrinterSpeed(), 0ul);
    EXPECT_EQ(icon->GetFlashSize(), 0x200000ul);  // another record's mutex
  });
  whileHeldElsewhere(icon, "PageCount", [&] { EXPECT_EQ(icon->GetTotalPages(), 0ul); });
  whileHeldElsewhere(icon, "CodeLevels", [&] { EXPECT_EQ(icon->GetCodeLevel(3), ""); });
  EXPECT_EQ(icon->GetSerialNo(), "SN-4711");
}

TEST_F(CachedDataTest, ReadersRacingResetAndRefetchStayClean) {
  auto [icon, object] = listed(43);
  icon->SetOpenDlgHandle(notebook_);
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (!stop) {
      const CString serial = icon->GetSerialNo();
      EXPECT_TRUE(serial.IsEmpty() || serial == "SN-4711") << serial.str();
      (void)icon->GetFontCartName();
      (void)icon->GetMemorySize();
    }
  });
  std::thread refetcher([&] {
    for (int i = 0; i < 100; ++i) {
      icon->UpdateDeviceChars();
      icon->UpdateStorageOptions();
    }
  });
  for (int i = 0; i < 100; ++i) icon->ResetPrinterData();
  refetcher.join();
  stop = true;
  reader.join();
  icon->SetOpenDlgHandle(0);
}

TEST_F(CachedDataTest, RefetchesReplaceTheRecordOrLeaveNoneWhenRejected) {
  auto [icon, object] = listed(44);
  icon->SetOpenDlgHandle(notebook_);
  icon->UpdateDeviceChars();
  EXPECT_EQ(icon->GetSerialNo(), "SN-4711");
  object->deviceChars.serialNumber = "SN-2";
  icon->UpdateDeviceChars();
  EXPECT_EQ(icon->GetSerialNo(), "SN-2");
  object->deviceCharsRc = 5;
  icon->UpdateDeviceChars();
  EXPECT_EQ(icon->GetSerialNo(), "");
  object->rejects["bidiGetStorageOptions"] = 5;
  icon->UpdateStorageOptions();
  EXPECT_EQ(icon->GetFontCartName(), "");
  runQueuedWork();
  EXPECT_EQ(posted_.size(), 4u);
  icon->SetOpenDlgHandle(0);
}

TEST_F(CachedDataTest, PageCountWorkerResetsReadsAndAlwaysTellsTheNotebook) {
  auto [icon, object] = listed(45);
  icon->SetOpenDlgHandle(notebook_);
  icon->UpdatePageCounts(TRUE);
  EXPECT_EQ(runQueuedWork(), std::vector<std::string>{
                                 "[Quorra 1210 - LPT1:] UpdatePC() from CWFPrinterIcon::UpdatePageCounts()"});
  const auto calls = object->calls();
  EXPECT_EQ(count(calls, "bidiResetHostPageCount"), 1);
  EXPECT_EQ(icon->GetUserPageCount(), 0ul);
  EXPECT_EQ(icon->GetTotalPages(), 123456ul);
  EXPECT_EQ(icon->GetCTotalPages(), 123456ul);
  EXPECT_EQ(icon->GetCPowerOnPages(), 40ul);
  EXPECT_EQ(posted_, std::vector<std::uint32_t>{WM_WF_JOBSTAT});

  // A rejected reset reads nothing and keeps the counters, the notebook is
  // told all the same.
  object->rejects["bidiResetHostPageCount"] = 5;
  object->pageCounts.counters[0] = 200000;
  const auto before = object->calls().size();
  icon->UpdatePageCounts(TRUE);
  runQueuedWork();
  EXPECT_EQ(requestsSince(object, before), std::vector<std::string>{"bidiResetHostPageCount"});
  EXPECT_EQ(icon->GetCTotalPages(), 123456ul);
  EXPECT_EQ(posted_, (std::vector<std::uint32_t>{WM_WF_JOBSTAT, WM_WF_JOBSTAT}));
  icon->SetOpenDlgHandle(0);

  // Not bidirectional: no worker.
  ScriptedPrtObj* plain = addLocal(46, "LPT2:");
  plain->caps.bidiActive = FALSE;
  list_.NewPrinterIcon(plain, nullptr);
  icons().back()->UpdatePageCounts(TRUE);
  EXPECT_TRUE(app_.ThreadMgrQIsEmpty());
}

TEST_F(CachedDataTest, InventorySerialIsCutAtACharacterInABufferPerThread) {
  auto [icon, object] = listed(47);
  // 78 ASCII bytes, then a two-byte character that does not fit in 79.
  object->deviceChars.serialNumber = std::string(78, 'S') + "\xC3\xA9" + "tail";
  icon->ResetPrinterData();
  const char* serial = icon->GetPISerialNumber();
  ASSERT_NE(serial, nullptr);
  EXPECT_EQ(std::string(serial), std::string(78, 'S'));

  auto [other, otherObject] = listed(48, "LPT2:");
  otherObject->deviceChars.serialNumber = "SECOND";
  other->ResetPrinterData();
  EXPECT_EQ(other->GetPISerialNumber(), serial);  // one buffer on this thread
  EXPECT_STREQ(serial, "SECOND");
  std::thread([&] {
    const char* mine = icon->GetPISerialNumber();
    EXPECT_NE(mine, serial);
    EXPECT_EQ(std::string(mine), std::string(78, 'S'));
  }).join();
  EXPECT_STREQ(serial, "SECOND");

  ScriptedPrtObj* plain = addLocal(49, "LPT3:");
  plain->caps.bidiActive = FALSE;
  list_.NewPrinterIcon(plain, nullptr);
  EXPECT_EQ(icons().back()->GetPISerialNumber(), nullptr);
}

}  // namespace
}  // namespace wf::testing
