#include "common/alerts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include "common/alert_storage.h"
#include "platform/clock.h"

namespace {

constexpr std::time_t kStart = 2'000'000;

// The calendar the alerts read, set by each test.
class AlertsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wf::setNowForTest([this] { return now_; });
  }
  void TearDown() override { wf::setNowForTest({}); }

  static CWFAlert alert(ULONG type, UINT specific, ALERTSUBTYPE subType = 0,
                        CWFAlert::ACTIVESTATE state = CWFAlert::ACTIVE, BOOL hardError = FALSE) {
    CWFAlert a(12, nullptr, 6104, type, state, 7, specific, TRUE, FALSE, hardError, FALSE);
    a.SetSubType(subType);
    return a;
  }

  static std::vector<std::string> texts(CWFAlertMsgList& list) {
    std::vector<std::string> out;
    for (POSITION p = list.GetHeadPosition(); p;)
      out.push_back(static_cast<CWFAlertMsg*>(list.GetNext(p))->GetText().str());
    return out;
  }

  std::time_t now_ = kStart;
};

TEST_F(AlertsTest, AlertKeepsItsFieldsAndTime) {
  const CWFAlert a(12, nullptr, 6104, 200, CWFAlert::CLEARED, -3, 9, TRUE, FALSE, TRUE, FALSE);
  now_ = kStart + 50;
  CWFAlert copy;
  EXPECT_EQ(copy.GetActiveState(), CWFAlert::NOT_PROCESSED);
  EXPECT_EQ(copy.GetPrinterObj(), nullptr);
  copy = a;
  EXPECT_EQ(copy.GetTime().GetTime(), kStart) << "the time is copied, not taken anew";
  EXPECT_EQ(copy.GetPrinterHandle(), 12);
  EXPECT_EQ(copy.GetAlertID(), 6104u);
  EXPECT_EQ(copy.GetType(), 200u);
  EXPECT_EQ(copy.GetSubType(), 0u);
  EXPECT_EQ(copy.GetActiveState(), CWFAlert::CLEARED);
  EXPECT_EQ(copy.GetExtraData(), -3);
  EXPECT_EQ(copy.GetSpecificAlert(), 9u);
  EXPECT_TRUE(copy.GetEnableContinue());
  EXPECT_FALSE(copy.GetEnableReset());
  EXPECT_TRUE(copy.GetHardError());
  EXPECT_FALSE(copy.GetDeleteFlag());
}

TEST_F(AlertsTest, AddReplacesTheMessageOfTheSameAlertAndPutsTheNewOneAtTheHead) {
  CWFAlertMsgList list;
  const CWFAlert jam = alert(200, 5), other = alert(201, 5), sameSpecificOtherType = alert(200, 6);
  list.Add(&jam, "first", CFilename(), 1);
  list.Add(&other, "other", CFilename(), 2);
  list.Add(&sameSpecificOtherType, "third", CFilename(), 3);
  EXPECT_EQ(texts(list), (std::vector<std::string>{"third", "other", "first"}));
  CWFAlertMsg* again = list.Add(&jam, "again", CFilename("jam.wav"), 4);
  EXPECT_EQ(texts(list), (std::vector<std::string>{"again", "third", "other"}));
  EXPECT_EQ(list.GetTopMessage(), again);
  EXPECT_EQ(again->GetBitmapID(), 4u);
  EXPECT_EQ(again->GetFile().GetPath(), "jam.wav");
  EXPECT_EQ(list.Add(nullptr, "none", CFilename(), 0), nullptr);
}

TEST_F(AlertsTest, DeleteFlagsBySubType) {
  struct Case {
    ALERTSUBTYPE marked;
    std::vector<BOOL> flags;  // head first
  };
  for (const Case& c : {Case{7, {FALSE, TRUE, TRUE, FALSE}}, Case{9, {TRUE, TRUE, TRUE, TRUE}},
                        Case{4, {FALSE, FALSE, FALSE, FALSE}}}) {
    CWFAlertMsgList list;
    for (UINT i = 0; i < 4; ++i) {
      const ALERTSUBTYPE subTypes[] = {3, 7, 7, 1};  // added oldest first
      const CWFAlert a = alert(200, i, subTypes[i]);
      list.Add(&a, "", CFilename(), 0);
    }
    EXPECT_EQ(list.GetClearedAlerts(), nullptr);
    list.SetDeleteFlag(c.marked);
    std::vector<BOOL> flags;
    for (POSITION p = list.GetHeadPosition(); p;)
      flags.push_back(static_cast<CWFAlertMsg*>(list.GetNext(p))->GetAlert()->GetDeleteFlag());
    EXPECT_EQ(flags, c.flags) << "sub-type " << c.marked;
    const auto firstMarked = std::find(c.flags.begin(), c.flags.end(), TRUE) - c.flags.begin();
    POSITION at = list.FindIndex(static_cast<int>(firstMarked));
    EXPECT_EQ(list.GetClearedAlerts(), at ? static_cast<CWFAlertMsg*>(list.GetAt(at))->GetAlert() : nullptr)
        << "the first marked from the head";
  }
}

TEST_F(AlertsTest, RemoveOfACopyRemovesTheStoredMessage) {
  CWFAlertMsgList list;
  const CWFAlert a = alert(200, 5), b = alert(200, 6);
  list.Add(&a, "a", CFilename(), 0);
  CWFAlertMsg* stored = list.Add(&b, "b", CFilename(), 0);
  const CWFAlertMsg copy(stored);
  EXPECT_EQ(list.Find(&copy), list.GetHeadPosition());
  EXPECT_TRUE(list.Remove(&copy));
  EXPECT_EQ(texts(list), std::vector<std::string>{"a"});
  EXPECT_FALSE(list.Remove(&copy));
  EXPECT_EQ(list.Find(&copy), nullptr);
  EXPECT_TRUE(list.Remove(list.GetTopMessage())) << "the stored message itself";
  EXPECT_EQ(list.GetTopMessage(), nullptr);
}

TEST_F(AlertsTest, PanelMessagesOldestFirstAndTheirDataLeftAlone) {
  CWFPanelAlertMsgList list;
  EXPECT_EQ(list.GetTopMessage(), nullptr);
  EXPECT_FALSE(list.RemoveTopMessage());
  int firstData = 11, secondData = 22;
  const CWFAlert a = alert(1531, 1), b = alert(1531, 2);
  list.Add(&a, &firstData);
  list.Add(&b, &secondData);
  ASSERT_NE(list.GetTopMessage(), nullptr);
  EXPECT_EQ(list.GetTopMessage()->GetPanelData(), &firstData);
  EXPECT_TRUE(list.RemoveTopMessage());
  EXPECT_EQ(firstData, 11) << "no printer list: the data stays as it is";
  EXPECT_EQ(list.GetTopMessage()->GetAlert()->GetSpecificAlert(), 2u);
  EXPECT_EQ(list.GetTopMessage()->DetachPanelData(), &secondData);
  EXPECT_EQ(list.GetTopMessage()->GetPanelData(), nullptr);
}

TEST_F(AlertsTest, StorageCountsActiveAlertsHardErrorsAndHistoryBySubType) {
  struct Case {
    ALERTSUBTYPE subType;
    CWFAlert::ACTIVESTATE state;
    BOOL hard;
    bool active, hardError, history;
  };
  for (const Case& c : {Case{7, CWFAlert::ACTIVE, TRUE, false, false, false},
                        Case{10, CWFAlert::ACTIVE, TRUE, true, true, false},
                        Case{3, CWFAlert::ACTIVE, TRUE, true, true, true},
                        Case{3, CWFAlert::ACTIVE, FALSE, true, false, false},
                        Case{3, CWFAlert::CLEARED, TRUE, false, false, false},
                        Case{3, CWFAlert::NOT_PROCESSED, TRUE, false, false, false}}) {
    SCOPED_TRACE("sub-type " + std::to_string(c.subType) + " state " + std::to_string(c.state));
    CWFAlertStorage storage;
    const CWFAlert a = alert(200, 5, c.subType, c.state, c.hard);
    storage.LogEvent(&a, "Paper jam", CFilename(), 77);
    EXPECT_EQ(storage.GetAnyActiveAlerts(), c.active);
    EXPECT_EQ(storage.GetAnyHardErrors(), c.hardError);
    EXPECT_EQ(storage.Get1stActiveAlertBMP(), c.active ? 77u : 0u);
    EXPECT_EQ(storage.Get1stHardErrorStr(), c.hardError ? "Paper jam" : "");
    EXPECT_EQ(storage.GetHistory().GetCount(), c.history ? 1 : 0);
    EXPECT_EQ(storage.IsAlertActive(5) != nullptr, c.state == CWFAlert::ACTIVE) << "whatever the sub-type";
  }
}

TEST_F(AlertsTest, FirstActiveAndHardErrorAreFoundNewestFirst) {
  CWFAlertStorage storage;
  const CWFAlert hard = alert(200, 1, 3, CWFAlert::ACTIVE, TRUE), soft = alert(200, 2, 6),
                 config = alert(200, 3, 7);
  storage.LogEvent(&hard, "hard", CFilename(), 1);
  storage.LogEvent(&soft, "soft", CFilename(), 2);
  storage.LogEvent(&config, "config", CFilename(), 3);
  EXPECT_EQ(storage.GetTopAlertMsg()->GetText(), "config");
  EXPECT_EQ(storage.Get1stActiveAlertStr(), "soft");
  EXPECT_EQ(storage.Get1stActiveAlertMsg()->GetBitmapID(), 2u);
  EXPECT_EQ(storage.Get1stHardErrorMsg()->GetText(), "hard");
  EXPECT_EQ(storage.Get1stHardErrorBMP(), 1u);
  storage.SetDeleteFlag(7);
  EXPECT_EQ(storage.GetClearedAlerts()->GetSpecificAlert(), 3u);
  EXPECT_TRUE(storage.RemoveAlertMsg(storage.GetTopAlertMsg()));
  EXPECT_EQ(storage.GetClearedAlerts(), nullptr);
}

TEST_F(AlertsTest, EmptyStorageAnswersNeutrally) {
  CWFAlertStorage storage;
  EXPECT_EQ(storage.GetTopAlertMsg(), nullptr);
  EXPECT_FALSE(storage.GetAnyActiveAlerts());
  EXPECT_FALSE(storage.GetAnyHardErrors());
  EXPECT_EQ(storage.Get1stActiveAlertBMP(), 0u);
  EXPECT_EQ(storage.Get1stHardErrorBMP(), 0u);
  EXPECT_EQ(storage.Get1stActiveAlertStr(), "");
  EXPECT_EQ(storage.Get1stHardErrorStr(), "");
  EXPECT_EQ(storage.Get1stActiveAlertMsg(), nullptr);
  EXPECT_EQ(storage.Get1stHardErrorMsg(), nullptr);
  EXPECT_EQ(storage.IsAlertActive(1), nullptr);
  EXPECT_EQ(storage.GetClearedAlerts(), nullptr);
  EXPECT_FALSE(storage.RemoveAlertMsg(nullptr));
  EXPECT_EQ(storage.GetPrinterIconParent(), nullptr);
}

int collect(CWFAlertHistoryEntry* entry, std::intptr_t seen) {
  reinterpret_cast<std::vector<std::string>*>(seen)->push_back(entry->GetDescription().str());
  return 1;
}

int stopAtOnce(CWFAlertHistoryEntry* entry, std::intptr_t seen) {
  collect(entry, seen);
  return 0;
}

TEST_F(AlertsTest, HistoryKeepsHardErrorsForUnderAnHour) {
  CWFAlertStorage storage;
  const CWFAlert first = alert(200, 1, 3, CWFAlert::ACTIVE, TRUE);
  storage.LogEvent(&first, "first", CFilename(), 0);
  now_ = kStart + 59 * 60;
  const CWFAlert second = alert(200, 2, 3, CWFAlert::ACTIVE, TRUE);
  storage.LogEvent(&second, "second", CFilename(), 0);

  std::vector<std::string> seen;
  storage.GetHistory().Enumerate(&collect, reinterpret_cast<std::intptr_t>(&seen));
  EXPECT_EQ(seen, (std::vector<std::string>{"first", "second"}));

  seen.clear();
  EXPECT_EQ(storage.GetHistory().Enumerate(&stopAtOnce, reinterpret_cast<std::intptr_t>(&seen)), 0u);
  EXPECT_EQ(seen, std::vector<std::string>{"first"});

  now_ = kStart + 3599;
  EXPECT_EQ(storage.GetHistory().Enumerate(nullptr, 0), 0u);
  EXPECT_EQ(storage.GetHistory().GetCount(), 2);
  now_ = kStart + 3600;
  seen.clear();
  storage.GetHistory().Enumerate(&collect, reinterpret_cast<std::intptr_t>(&seen));
  EXPECT_EQ(seen, std::vector<std::string>{"second"});

  now_ = kStart - 10;  // the clock went back: younger than the oldest entry
  storage.GetHistory().Enumerate(nullptr, 0);
  EXPECT_EQ(storage.GetHistory().GetCount(), 1);
}

TEST_F(AlertsTest, LoggingAStoredAlertAgainReadsTheNewMessage) {
  CWFAlertStorage storage;
  const CWFAlert jam = alert(200, 5, 3, CWFAlert::ACTIVE, TRUE);
  storage.LogEvent(&jam, "jam", CFilename(), 1);
  // As an icon's sweep does: complete the stored alert and log it again.
  CWFAlert* stored = storage.GetTopAlertMsg()->GetAlert();
  now_ = kStart + 5;
  storage.LogEvent(stored, "jam again", CFilename(), 2);
  ASSERT_EQ(storage.GetMessages().GetCount(), 1);
  EXPECT_EQ(storage.GetTopAlertMsg()->GetText(), "jam again");
  EXPECT_EQ(storage.GetTopAlertMsg()->GetAlert()->GetSpecificAlert(), 5u);
  EXPECT_EQ(storage.GetHistory().GetCount(), 2);
}

}  // namespace
