// The application's printer list over real icons.
#include <atomic>
#include <set>
#include <thread>

#include "common/wait_objects.h"
#include "test_fixture.h"

namespace wf::testing {
namespace {

using namespace std::chrono_literals;

class PrinterListTest : public PrinterFixture {
 protected:
  // Every "ThreadLock" unit of the icon is free.
  static bool allUnitsBack(CWFPrinterIcon* icon) {
    CSemaphore units(icon->GetMutexName("ThreadLock"), 50, 50);
    int taken = 0;
    while (taken < 50 && units.Wait(0) == 0) ++taken;
    if (taken) units.Release(taken);
    return taken == 50;
  }
  static NETADDRESS localAddress(const char* port) {
    NETADDRESS address{};
    std::strncpy(address.local, port, sizeof address.local - 1);
    return address;
  }
  static ENUMBINARYDATA record(ULONG family, const char* name = "", bool userNamed = false) {
    ENUMBINARYDATA r{};
    r.portType = WFPrtObj::PORT_LPT;
    r.familyKey = family;
    std::strcpy(r.name, name);
    r.userDefinedName = userNamed;
    r.storedAlerts = 0x3FFFFF;
    return r;
  }
  // Frees a snapshot with its records, as the main program does.
  static void freeSnapshot(CWFoidList* snapshot) {
    if (!snapshot) return;
    for (POSITION p = snapshot->GetHeadPosition(); p;)
      delete static_cast<_WF_PRINTER_INFO*>(static_cast<CWFoid*>(snapshot->GetNext(p))->GetPointer());
    delete snapshot;
  }
  // The window list's ReplacePrinter calls.
  int replacements() {
    int n = 0;
    for (const auto& call : app_.windowList.calls()) n += call.rfind("ReplacePrinter", 0) == 0;
    return n;
  }
};

TEST_F(PrinterListTest, APrinterReportedTwiceIsRefreshedNotDuplicated) {
  ScriptedPrtObj* object = addLocal(11, "LPT1");
  EXPECT_EQ(list_.NewPrinterIcon(object, nullptr), CWFPrinterList::NEW_ICON);
  CWFPrinterIcon* icon = icons().at(0);
  icon->SetStatus("Busy");
  EXPECT_EQ(list_.NewPrinterIcon(object, nullptr), CWFPrinterList::REFRESHED);
  ASSERT_EQ(icons().size(), 1u);
  EXPECT_EQ(icons()[0], icon);
  EXPECT_EQ(icon->GetStatus(), "Ready");  // PrinterReEnum reset it
  EXPECT_TRUE(allUnitsBack(icon));
  EXPECT_EQ(list_.FindPrinterIcon(11), icon);
  icon->ThreadUnlock();
}

TEST_F(PrinterListTest, NothingIsMadeWithoutObjectWindowOrModule) {
  EXPECT_EQ(list_.NewPrinterIcon(nullptr, nullptr), CWFPrinterList::NOTHING_DONE);
  ScriptedPrtObj* unclaimed = addLocal(12, "LPT2", 9);  // no module claims key 9
  EXPECT_EQ(list_.NewPrinterIcon(unclaimed, nullptr), CWFPrinterList::NOTHING_DONE);
  app_.windowsLeft = FALSE;
  EXPECT_EQ(list_.NewPrinterIcon(addLocal(13, "LPT3"), nullptr), CWFPrinterList::NOTHING_DONE);
  EXPECT_TRUE(icons().empty());
  EXPECT_EQ(list_.GetPrinterListEnumerated(), nullptr);
}

TEST_F(PrinterListTest, AChangedFamilyReplacesTheIconInEveryWindow) {
  ScriptedPrtObj* object = addLocal(11, "LPT1", 0);
  list_.NewPrinterIcon(object, nullptr);
  CWFPrinterIcon* old = icons().at(0);
  old->SetName("Reception");
  old->SetUserDefinedName(TRUE);
  old->IncrementUsageCount();  // shown in one window
  object->family = 5;
  EXPECT_EQ(list_.NewPrinterIcon(object, nullptr), CWFPrinterList::REFRESHED);
  ASSERT_EQ(icons().size(), 1u);
  CWFPrinterIcon* now = icons()[0];
  EXPECT_NE(dynamic_cast<FamilyIcon*>(now), nullptr);
  EXPECT_EQ(now->GetName(), "Reception");
  EXPECT_TRUE(now->HasUserDefinedName());
  EXPECT_EQ(now->GetUsageCount(), 1u);  // the window's usage moved over
  EXPECT_EQ(replacements(), 1);
  EXPECT_TRUE(allUnitsBack(now));
}

TEST_F(PrinterListTest, AnIconInUseSurvivesDeletion) {
  list_.NewPrinterIcon(addLocal(11, "LPT1"), nullptr);
  CWFPrinterIcon* icon = icons().at(0);
  icon->IncrementUsageCount();
  EXPECT_TRUE(list_.DeletePrinterIcon(icon));
  EXPECT_EQ(icons().size(), 1u);
  icon->DecrementUsageCount();
  EXPECT_TRUE(list_.DeletePrinterIcon(icon));
  EXPECT_TRUE(icons().empty());
  CWFPrinterIcon stranger(nullptr, nullptr);
  EXPECT_FALSE(list_.DeletePrinterIcon(&stranger));
  EXPECT_FALSE(list_.DeletePrinterIcon(nullptr));
}

TEST_F(PrinterListTest, AGhostOfTheSameFamilyIsRefreshedInPlace) {
  NETADDRESS address = localAddress("LPT1");
  ENUMBINARYDATA stored = record(0, "Old name");
  CWFPrinterIcon* ghost = list_.CreateGhostPrinter(&address, &stored, 0);
  ASSERT_NE(ghost, nullptr);
  EXPECT_TRUE(ghost->IsGhost());
  EXPECT_EQ(ghost->GetName(), "Old name");
  EXPECT_TRUE(allUnitsBack(ghost));

  ScriptedPrtObj* object = addLocal(11, "LPT1", 0, "Quorra 1210");
  EXPECT_EQ(list_.NewPrinterIcon(object, nullptr), CWFPrinterList::REFRESHED);
  ASSERT_EQ(icons().size(), 1u);
  EXPECT_EQ(icons()[0], ghost);
  EXPECT_FALSE(ghost->IsGhost());
  EXPECT_EQ(ghost->GetPrinterHandle(), 11);
  EXPECT_EQ(replacements(), 0);
  // Found under the handle it took, so the next report refreshes it again.
  EXPECT_EQ(list_.FindPrinterIcon(11), ghost);
  ghost->ThreadUnlock();
  EXPECT_EQ(list_.NewPrinterIcon(object, nullptr), CWFPrinterList::REFRESHED);
  EXPECT_EQ(icons(), std::vector<CWFPrinterIcon*>{ghost});
}

TEST_F(PrinterListTest, AGhostOfAnotherFamilyGivesWayAndHandsOverItsUserName) {
  NETADDRESS address = localAddress("LPT1");
  ENUMBINARYDATA stored = record(5, "Desk", true);
  CWFPrinterIcon* ghost = list_.CreateGhostPrinter(&address, &stored, 0);
  ASSERT_NE(dynamic_cast<FamilyIcon*>(ghost), nullptr);

  ScriptedPrtObj* object = addLocal(11, "LPT1", 0, "Quorra 1210");
  EXPECT_EQ(list_.NewPrinterIcon(object, nullptr), CWFPrinterList::REFRESHED);
  ASSERT_EQ(icons().size(), 1u);
  CWFPrinterIcon* now = icons()[0];
  EXPECT_NE(now, ghost);
  EXPECT_FALSE(now->IsGhost());
  EXPECT_EQ(now->GetName(), "Desk");
  EXPECT_TRUE(now->HasUserDefinedName());
  EXPECT_EQ(replacements(), 1);
}

TEST_F(PrinterListTest, AGhostOfAPrinterAlreadyListedTakesItsPlace) {
  ScriptedPrtObj* object = addLocal(11, "LPT1", 0, "Quorra 1210");
  list_.NewPrinterIcon(object, nullptr);
  CWFPrinterIcon* live = icons().at(0);
  NETADDRESS address = localAddress("LPT1");
  ENUMBINARYDATA stored = record(0, "Saved name");
  HWND window = 0;  // no window to tell
  CWFPrinterIcon* ghost = list_.CreateGhostPrinter(&address, &stored, window);
  ASSERT_NE(ghost, nullptr);
  ASSERT_EQ(icons().size(), 1u);
  EXPECT_EQ(icons()[0], ghost);
  EXPECT_NE(ghost, live);
  EXPECT_EQ(ghost->GetPrinterHandle(), 11);  // bound to the found printer's object
  EXPECT_EQ(ghost->GetName(), "Saved name");
  EXPECT_EQ(replacements(), 1);
}

TEST_F(PrinterListTest, AdapterPrintersAreFoundByHandleAndByNode) {
  auto adapter = [&](std::uint16_t handle, std::uint8_t node) {
    ScriptedPrtObj* object = addLocal(handle, "PORT1");
    object->caps.portType = WFPrtObj::PORT_ADAPTER_PARALLEL_1;
    fakebce::setPrtInfoFor(handle, prtInfo(handle, "PORT1", BCE_NET_IPX, node));
    return object;
  };
  for (std::uint8_t node = 1; node <= 3; ++node)
    EXPECT_EQ(list_.NewPrinterIcon(adapter(20 + node, node), nullptr), CWFPrinterList::NEW_ICON);
  const std::vector<CWFPrinterIcon*> first = icons();
  ASSERT_EQ(first.size(), 3u);

  // The adapter at node 2 comes back under another handle: its icon gives
  // way to one for the new handle, the others stay.
  EXPECT_EQ(list_.NewPrinterIcon(adapter(32, 2), nullptr), CWFPrinterList::REFRESHED);
  const std::vector<CWFPrinterIcon*> now = icons();
  ASSERT_EQ(now.size(), 3u);
  EXPECT_EQ(now[0], first[0]);
  EXPECT_EQ(now[1], first[2]);
  EXPECT_EQ(now[2]->GetPrinterHandle(), 32);
  EXPECT_EQ(list_.FindPrinterIcon(22), nullptr);
  for (std::uint16_t handle : {21, 23, 32}) {
    CWFPrinterIcon* icon = list_.FindPrinterIcon(handle);
    ASSERT_NE(icon, nullptr) << handle;
    EXPECT_EQ(icon->GetPrinterHandle(), handle);
    icon->ThreadUnlock();
  }

  // A deleted icon is no longer found; its printer's next report makes a new one.
  EXPECT_TRUE(list_.DeletePrinterIcon(first[0]));
  EXPECT_EQ(list_.FindPrinterIcon(21), nullptr);
  EXPECT_FALSE(list_.IsInList(first[0]));
  EXPECT_EQ(list_.NewPrinterIcon(objects_[0].get(), nullptr), CWFPrinterList::NEW_ICON);
  EXPECT_EQ(icons().size(), 3u);
}

TEST_F(PrinterListTest, ARefreshRemovesOnlyAStaleFirstAlert) {
  list_.NewPrinterIcon(addLocal(11, "LPT1"), nullptr);
  CWFPrinterIcon* icon = icons().at(0);
  for (ULONG type : {ULONG{100}, ULONG{101}}) {
    CWFAlert alert(11, nullptr, 1, type, CWFAlert::ACTIVE, 0, 6102, FALSE, FALSE, FALSE, FALSE);
    icon->GetAlertStorage().LogEvent(&alert, "Paper out", CFilename(), 0);
  }
  // Newest first: the type-101 alert leads and stays.
  list_.NewPrinterIcon(objects_[0].get(), nullptr);
  EXPECT_EQ(icon->GetAlertStorage().GetMessages().GetCount(), 2);

  while (CWFAlertMsg* message = icon->GetAlertStorage().GetTopAlertMsg())
    icon->GetAlertStorage().RemoveAlertMsg(message);
  CWFAlert stale(11, nullptr, 1, 100, CWFAlert::ACTIVE, 0, 6102, FALSE, FALSE, FALSE, FALSE);
  icon->GetAlertStorage().LogEvent(&stale, "Paper out", CFilename(), 0);
  list_.NewPrinterIcon(objects_[0].get(), nullptr);
  EXPECT_FALSE(icon->GetAnyActiveAlerts());
}

TEST_F(PrinterListTest, NamesAreKeptOrRecomputedOnRefresh) {
  ScriptedPrtObj* object = addLocal(11, "LPT1", 0, "Quorra 1210");
  object->caps.bidiActive = FALSE;
  list_.NewPrinterIcon(object, nullptr);
  CWFPrinterIcon* icon = icons().at(0);
  ASSERT_EQ(icon->GetName(), "Printer");

  // Still the default name and bidi now on: the model names it.
  object->caps.bidiActive = TRUE;
  list_.NewPrinterIcon(object, nullptr);
  EXPECT_EQ(icon->GetName(), "Quorra 1210");

  // A user's name survives a refresh without a record.
  icon->SetName("Mine");
  icon->SetUserDefinedName(TRUE);
  list_.NewPrinterIcon(object, nullptr);
  EXPECT_EQ(icon->GetName(), "Mine");

  // A record without the user flag: the icon names itself and the record.
  ENUMBINARYDATA stored = record(0, "Stale");
  icon->SetUserDefinedName(FALSE);
  object->deviceChars.model = "Quorra 1610";
  list_.NewPrinterIcon(object, &stored);
  EXPECT_EQ(icon->GetName(), "Quorra 1610");
  EXPECT_STREQ(stored.name, "Quorra 1610");
}

TEST_F(PrinterListTest, TheSnapshotHoldsHandlesAndNames) {
  list_.NewPrinterIcon(addLocal(11, "LPT1", 0, "A"), nullptr);
  list_.NewPrinterIcon(addLocal(12, "LPT2", 5, "B"), nullptr);
  std::unique_ptr<CWFoidList> snapshot(list_.GetPrinterListEnumerated());
  ASSERT_NE(snapshot, nullptr);
  ASSERT_EQ(snapshot->GetCount(), 2);
  std::vector<std::pair<USHORT, std::string>> seen;
  for (POSITION p = snapshot->GetHeadPosition(); p;) {
    std::unique_ptr<_WF_PRINTER_INFO> info(
        static_cast<_WF_PRINTER_INFO*>(static_cast<CWFoid*>(snapshot->GetNext(p))->GetPointer()));
    seen.emplace_back(info->hPrinter, info->strName.str());
    EXPECT_EQ(info->dwNoBidiData, 0u);
  }
  EXPECT_EQ(seen, (std::vector<std::pair<USHORT, std::string>>{{11, "A"}, {12, "B"}}));
}

TEST_F(PrinterListTest, ConcurrentAppendsGhostsAndReadersKeepTheListWhole) {
  constexpr int kPrinters = 40;
  for (int i = 0; i < kPrinters; ++i) {
    char port[8];
    std::snprintf(port, sizeof port, "P%02d", i);
    addLocal(static_cast<std::uint16_t>(100 + i), port);
  }
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (!stop) {
      for (int i = 0; i < kPrinters; ++i)
        if (CWFPrinterIcon* icon = list_.FindPrinterIcon(static_cast<USHORT>(100 + i))) icon->ThreadUnlock();
      freeSnapshot(list_.GetPrinterListEnumerated());
    }
  });
  auto enumerate = [&](int first) {
    for (int i = first; i < kPrinters; i += 2) list_.NewPrinterIcon(objects_[i].get(), nullptr);
  };
  std::thread even(enumerate, 0), odd(enumerate, 1);
  std::thread ghosts([&] {
    for (int i = 0; i < kPrinters; ++i) {
      char port[8];
      std::snprintf(port, sizeof port, "G%02d", i);
      NETADDRESS address = localAddress(port);
      list_.CreateGhostPrinter(&address, nullptr, 0);
    }
  });
  even.join();
  odd.join();
  ghosts.join();
  stop = true;
  reader.join();
  std::set<CWFPrinterIcon*> distinct;
  for (CWFPrinterIcon* icon : icons()) distinct.insert(icon);
  EXPECT_EQ(distinct.size(), 2u * kPrinters);
  EXPECT_EQ(icons().size(), 2u * kPrinters);
}

TEST_F(PrinterListTest, TwoReportsReplacingOneIconAtOnceBothEnd) {
  for (int round = 0; round < 20; ++round) {
    list_.DeleteAllPrinters();
    objects_.clear();
    ScriptedPrtObj* object = addLocal(11, "LPT1", 0);
    list_.NewPrinterIcon(object, nullptr);
    object->family = 5;  // each report replaces the generic icon
    std::thread a([&] { list_.NewPrinterIcon(object, nullptr); });
    std::thread b([&] { list_.NewPrinterIcon(object, nullptr); });
    a.join();
    b.join();
    for (CWFPrinterIcon* icon : icons()) EXPECT_NE(dynamic_cast<FamilyIcon*>(icon), nullptr);
  }
}

TEST_F(PrinterListTest, DeletingAHeldIconWhoseHolderNeedsAReaderUnitEnds) {
  list_.NewPrinterIcon(addLocal(11, "LPT1"), nullptr);
  list_.NewPrinterIcon(addLocal(12, "LPT2"), nullptr);
  CWFPrinterIcon* held = list_.FindPrinterIcon(11);
  ASSERT_NE(held, nullptr);
  std::atomic<bool> deleted{false};
  std::thread deleter([&] {
    list_.DeletePrinterIcon(held);
    deleted = true;
  });
  std::this_thread::sleep_for(50ms);
  // The holder, as a resync would, looks another printer up meanwhile.
  CWFPrinterIcon* other = list_.FindPrinterIcon(12);
  ASSERT_NE(other, nullptr);
  other->ThreadUnlock();
  EXPECT_FALSE(deleted);
  held->ThreadUnlock();
  deleter.join();
  EXPECT_EQ(icons().size(), 1u);
}

}  // namespace
}  // namespace wf::testing
