// The Halcyon icon: registration, the stored record, the 29 family alerts
// (decoded, listed, armed, filtered and helped) and the extra job-statistics
// fields.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "broker/corbce.h"
#include "common/alert_dlg_list.h"
#include "halcyon/hc_family.h"
#include "halcyon/hc_icon.h"
#include "meridian/meridian_family.h"
#include "test_fixture.h"

namespace wf::testing {
namespace {

using Alert = WFPrtObj::WFPALERTDATA;

class ProbeHcIcon : public CWFHalcIcon {
 public:
  using CWFHalcIcon::CompleteAlert;
  using CWFHalcIcon::CWFHalcIcon;
  using CWFHalcIcon::ProcessPaperJamAlerts;
  using CWFHalcIcon::ProcessSupplyAlerts;
  using CWFHalcIcon::ProcessUIRAlerts;
  using CWFHalcIcon::ProcessWarningAlerts;
  static CWFPrinterIcon* create(WFPrtObj* object, void* record) { return new ProbeHcIcon(object, record); }
};

using Decoder = UINT (ProbeHcIcon::*)(CWFAlert*, UINT, WFPrtObj::WFPALERTDATA*, UINT);

class HalcyonIconTest : public PrinterFixture {
 protected:
  static constexpr DWORD kProbeIds[] = {6};
  void SetUp() override {
    PrinterFixture::SetUp();
    InitMeridianGuiDLL(nullptr, &RegisterDLL);
    InitHalcyonGuiDLL(nullptr, &RegisterDLL);
    app_.soundEnabled = FALSE;
    // Event 0 (the jams') has no file.
    for (int event = 1; event <= 40; ++event)
      app_.waveFiles[event] = "event" + std::to_string(event) + ".wav";
  }
  ProbeHcIcon* add(std::uint16_t handle, void* record = nullptr) {
    return addFamilyPrinter<ProbeHcIcon>(handle, "LPT4", 6, "Corvane Chroma Imager", kProbeIds,
                                         BCE_NET_LOCAL | 0x8000, record);
  }
  ScriptedPrtObj* printerOf(std::uint16_t handle) {
    return static_cast<ScriptedPrtObj*>(app_.printers[handle]);
  }
  // The one message a decoder stored for `entry`, or null when it stored none.
  CWFAlertMsg* decodeOne(ProbeHcIcon* icon, Decoder decoder, Alert entry, UINT* result = nullptr) {
    const USHORT handle = icon->GetPrinterHandle();
    CWFAlert alert(handle, printerOf(handle), 0, WM_BCE_DSA_ALERT, CWFAlert::NOT_PROCESSED, 0, 0, FALSE,
                   FALSE, FALSE, FALSE);
    std::vector<Alert> only = {entry};
    const UINT flags = (icon->*decoder)(&alert, 1, only.data(), 0);
    if (result) *result = flags;
    return icon->GetAlertStorage().GetTopAlertMsg();
  }
  static CString family(UINT id) { return familyString(CWFHalcIcon().GetResourceInstance(0), id); }
  static CString joined(UINT text, UINT colour) {
    return colour ? family(text) + " - " + family(colour) : family(text);
  }
};

TEST_F(HalcyonIconTest, KeySixMakesHalcyonIcons) {
  CWFHalcIcon probe;
  EXPECT_TRUE(probe.BelongsToFamily(6));
  EXPECT_FALSE(probe.BelongsToFamily(7));
  EXPECT_STREQ(probe.GetRuntimeClass()->m_lpszClassName, "CWFHalcIcon");
  ASSERT_NE(probe.GetPrinterDLL(), nullptr);
  EXPECT_EQ(probe.GetPrinterDLL()->GetName(), "Vireo C");
  EXPECT_EQ(probe.GetGhostName(), CString("Help, missing Vireo C"));
  EXPECT_TRUE(probe.IgnorePaperSizeInGraphic());
  EXPECT_TRUE(probe.SupportColorLevels());

  ProbeHcIcon* icon = add(40);
  icon->DetermineModel();
  EXPECT_EQ(icon->GetModel(), family(45000));
  EXPECT_FALSE(family(45000).IsEmpty());
}

TEST_F(HalcyonIconTest, TheRecordKeepsTwentyNineFlagsFirstRowHighest) {
  HALCYONBINARYDATA stored{};
  stored.meridian.base.familyKey = 6;
  stored.meridian.storedAlerts = 0x7FFFFFF;
  stored.meridian.trackingJS = 1;
  stored.storedAlerts = 0x10000000 | 0xE0000000;  // bits above the 29 are ignored
  app_.jsTracking = TRUE;
  ProbeHcIcon* icon = add(41, &stored);
  for (int i = 0; i < CWFHalcIcon::kFamilyAlertCount; ++i)
    EXPECT_EQ(icon->GetFamilyAlertFlag(i), i == 0) << i;
  EXPECT_FALSE(icon->GetTrackingJS()) << "a Halcyon icon starts with tracking off";
  HALCYONBINARYDATA written{};
  icon->CreateSpecificBinaryData(&written);
  EXPECT_EQ(written.storedAlerts, 0x10000000u);
  EXPECT_EQ(written.meridian.storedAlerts, 0x7FFFFFFu);

  EXPECT_EQ(refreshedWord(add(42), 112), 0x1FFFFFFFu);
}

TEST_F(HalcyonIconTest, TableRowsCompleteTheirAlerts) {
  const struct {
    Decoder decoder;
    Alert entry;
    UINT specific, text, colour, help, subType;
    const char* wave;
    bool canContinue, hardError;
    DWORD helpTopic;
  } cases[] = {
      {&ProbeHcIcon::ProcessSupplyAlerts,
       {6221, 3},
       13,
       45001,
       619,
       11005,
       4,
       "event28.wav",
       false,
       true,
       2050},
      {&ProbeHcIcon::ProcessSupplyAlerts,
       {6221, 1},
       11,
       45001,
       617,
       11003,
       4,
       "event24.wav",
       false,
       true,
       2030},
      {&ProbeHcIcon::ProcessSupplyAlerts, {6221, 5}, 15, 97, 0, 11007, 4, "event32.wav", false, true, 2010},
      {&ProbeHcIcon::ProcessSupplyAlerts,
       {6222, 4},
       8,
       45010,
       620,
       11006,
       4,
       "event31.wav",
       false,
       true,
       2100},
      {&ProbeHcIcon::ProcessSupplyAlerts,
       {6221, 2},
       12,
       45001,
       618,
       11004,
       4,
       "event26.wav",
       false,
       true,
       2040},
      {&ProbeHcIcon::ProcessSupplyAlerts,
       {6221, 4},
       14,
       45001,
       620,
       11006,
       4,
       "event30.wav",
       false,
       true,
       2060},
      {&ProbeHcIcon::ProcessSupplyAlerts,
       {6222, 1},
       5,
       45010,
       617,
       11003,
       4,
       "event25.wav",
       false,
       true,
       2070},
      {&ProbeHcIcon::ProcessSupplyAlerts,
       {6222, 2},
       6,
       45010,
       618,
       11004,
       4,
       "event27.wav",
       false,
       true,
       2080},
      {&ProbeHcIcon::ProcessSupplyAlerts,
       {6222, 3},
       7,
       45010,
       619,
       11005,
       4,
       "event29.wav",
       false,
       true,
       2090},
      {&ProbeHcIcon::ProcessSupplyAlerts, {6222, 7}, 9, 99, 0, 11008, 4, "event34.wav", false, true, 2020},
      // No family topic for a missing oil bottle: the base's default one.
      {&ProbeHcIcon::ProcessSupplyAlerts, {6222, 5}, 18, 96, 0, 11007, 4, "event33.wav", false, true, 1918},
      {&ProbeHcIcon::ProcessSupplyAlerts, {6222, 6}, 10, 45025, 0, 10700, 4, "event5.wav", false, true, 1942},
      {&ProbeHcIcon::ProcessSupplyAlerts, {6220, 7}, 16, 98, 0, 11008, 4, "event35.wav", false, true, 2020},
      {&ProbeHcIcon::ProcessPaperJamAlerts, {6182, 9}, 6182, 596, 598, 3511, 3, "", true, true, 1924},
      {&ProbeHcIcon::ProcessPaperJamAlerts, {6183, 0}, 6183, 596, 598, 3511, 3, "", true, true, 2229},
      {&ProbeHcIcon::ProcessPaperJamAlerts, {6184, 0}, 6184, 596, 598, 3511, 3, "", true, true, 2230},
      {&ProbeHcIcon::ProcessPaperJamAlerts, {6185, 0}, 6185, 596, 598, 3511, 3, "", true, true, 1924},
      {&ProbeHcIcon::ProcessWarningAlerts, {6223, 1}, 0, 538, 617, 3504, 6, "event36.wav", true, false, 2110},
      {&ProbeHcIcon::ProcessWarningAlerts, {6223, 2}, 1, 538, 618, 3504, 6, "event37.wav", true, false, 2120},
      {&ProbeHcIcon::ProcessWarningAlerts, {6223, 3}, 2, 538, 619, 3504, 6, "event38.wav", true, false, 2130},
      {&ProbeHcIcon::ProcessWarningAlerts, {6223, 4}, 3, 538, 620, 3504, 6, "event39.wav", true, false, 2140},
      {&ProbeHcIcon::ProcessWarningAlerts, {6223, 5}, 4, 95, 0, 3504, 6, "event40.wav", true, false, 2150},
      {&ProbeHcIcon::ProcessWarningAlerts,
       {6168, 77},
       6168,
       45027,
       0,
       3504,
       6,
       "event5.wav",
       true,
       false,
       1937},
      {&ProbeHcIcon::ProcessUIRAlerts, {6156, 0}, 6156, 597, 0, 3522, 5, "event5.wav", false, true, 2210},
      {&ProbeHcIcon::ProcessUIRAlerts, {6163, 0}, 6163, 45024, 0, 3504, 5, "event5.wav", false, true, 2220},
      {&ProbeHcIcon::ProcessUIRAlerts, {6165, 0}, 6165, 101, 0, 6600, 5, "event19.wav", false, true, 2190},
      {&ProbeHcIcon::ProcessUIRAlerts, {6166, 0}, 6166, 45021, 0, 3504, 5, "event5.wav", true, true, 2170},
      {&ProbeHcIcon::ProcessUIRAlerts, {6167, 0}, 6167, 45022, 0, 3504, 5, "event5.wav", false, true, 2180},
      {&ProbeHcIcon::ProcessUIRAlerts, {6168, 0}, 6168, 45027, 0, 3504, 5, "event5.wav", false, true, 1937},
      {&ProbeHcIcon::ProcessUIRAlerts, {6169, 0}, 6169, 45010, 0, 6600, 5, "event5.wav", false, true, 2200},
  };
  std::uint16_t handle = 60;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.entry.alertId) + "/" + std::to_string(c.entry.detail));
    ProbeHcIcon* icon = add(handle++);
    UINT result = 0;
    CWFAlertMsg* message = decodeOne(icon, c.decoder, c.entry, &result);
    EXPECT_EQ(result, 9u);
    ASSERT_EQ(storedIds(icon), (std::vector<UINT>{c.specific}));
    const CString text = joined(c.text, c.colour);
    EXPECT_FALSE(text.IsEmpty());
    EXPECT_EQ(message->GetText(), text);
    EXPECT_EQ(message->GetBitmapID(), c.help);
    EXPECT_EQ(message->GetFile().GetPath(), CString(c.wave));
    const CWFAlert* stored = message->GetAlert();
    EXPECT_EQ(stored->GetSubType(), c.subType);
    EXPECT_EQ(bool(stored->GetEnableContinue()), c.canContinue);
    EXPECT_FALSE(stored->GetEnableReset());
    EXPECT_EQ(bool(stored->GetHardError()), c.hardError);
    icon->ShowHelpforError();
    ASSERT_FALSE(app_.helpCalls().empty());
    EXPECT_EQ(app_.helpCalls().back(), (std::pair<UINT, std::uintptr_t>{HELP_CONTEXT, c.helpTopic}));
  }
  // The texts of the main program's rows.
  EXPECT_EQ(joined(95, 0), CString("Oil Bottle Low"));
  EXPECT_EQ(joined(101, 0), CString("Toner Cartridge Eject Handle Pulled"));
}

TEST_F(HalcyonIconTest, CodesOutsideTheTablesGoToTheMeridianDecoders) {
  // The base's supply and warning remainders store their own ids (24 and
  // none), never a Halcyon one.
  const struct {
    Decoder decoder;
    Alert entry;
    std::vector<UINT> stored;
  } cases[] = {{&ProbeHcIcon::ProcessSupplyAlerts, {6221, 6}, {24}},
               {&ProbeHcIcon::ProcessSupplyAlerts, {6220, 5}, {24}},
               {&ProbeHcIcon::ProcessSupplyAlerts, {6223, 1}, {24}},
               {&ProbeHcIcon::ProcessWarningAlerts, {6223, 6}, {}},
               {&ProbeHcIcon::ProcessPaperJamAlerts, {6186, 0}, {23}}};
  std::uint16_t handle = 90;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.entry.alertId) + "/" + std::to_string(c.entry.detail));
    ProbeHcIcon* icon = add(handle++);
    decodeOne(icon, c.decoder, c.entry);
    EXPECT_EQ(storedIds(icon), c.stored);
  }

  // A list mixes both: the family's entry and the base's remainder.
  ProbeHcIcon* icon = add(99);
  CWFAlert alert(99, printerOf(99), 0, WM_BCE_DSA_ALERT, CWFAlert::NOT_PROCESSED, 0, 0, FALSE, FALSE, FALSE,
                 FALSE);
  std::vector<Alert> both = {{6221, 6}, {6222, 2}};
  EXPECT_EQ(icon->ProcessSupplyAlerts(&alert, 2, both.data(), 0) & 9u, 9u);
  EXPECT_EQ(storedIds(icon), (std::vector<UINT>{24, 6}));
}

TEST_F(HalcyonIconTest, AlertChoicesSetFlagsClassBitsAndFilters) {
  ProbeHcIcon* icon = add(45);
  CWFAlertDlgList list;
  icon->UpdateAlertList(&list);
  for (UINT id : {11u, 18u, 16u, 6182u, 6184u, 0u, 4u, 6156u, 6169u})
    EXPECT_EQ(list.GetAlertState(id), 1u) << id;

  // Each class from one row of its group alone (the Meridian part asks for
  // none of these classes once its own rows are off).
  const struct {
    UINT title;  // the row kept on, by its name
    ULONG bit;
  } groups[] = {{45025, 0x08}, {45007, 0x04}, {95, 0x20}, {45024, 0x10}};
  for (const auto& g : groups) {
    SCOPED_TRACE(g.title);
    CWFAlertDlgList chosen;
    icon->UpdateAlertList(&chosen);
    for (POSITION p = chosen.GetHeadPosition(); p;) {
      auto* item = reinterpret_cast<ALERT_DLG_STRUCT*>(chosen.GetNext(p));
      item->state = item->name == family(g.title) ? 1 : 0;
    }
    ALERTS mask{};
    icon->SetBceAlerts(&chosen, &mask, TRUE);
    EXPECT_EQ(mask.mask & 0x3C, g.bit);
  }
  // The waste-bottle warning row alone arms the warnings too.
  CWFAlertDlgList warning;
  icon->UpdateAlertList(&warning);
  for (POSITION p = warning.GetHeadPosition(); p;) {
    auto* item = reinterpret_cast<ALERT_DLG_STRUCT*>(warning.GetNext(p));
    item->state = item->key == 6168 ? 1 : 0;
  }
  ALERTS mask{};
  icon->SetBceAlerts(&warning, &mask, TRUE);
  EXPECT_EQ(mask.mask & 0x3C, 0x30u);
  EXPECT_EQ(icon->CreateHalcyonStoredAlerts(), 1u << (28 - 27));

  const struct {
    UINT id;
    ULONG type;
    CWFPrinterIcon::ALERT_ACTION action;
  } filters[] = {{6168, WM_BCE_DSA_ALERT, CWFPrinterIcon::ALERT_SHOW},
                 {13, WM_BCE_DSA_ALERT, CWFPrinterIcon::ALERT_SUPPRESS},
                 {0, WM_BCE_DSA_ALERT, CWFPrinterIcon::ALERT_SUPPRESS},
                 {0, 100, CWFPrinterIcon::ALERT_SHOW},  // the base's own answer
                 {6200, WM_BCE_DSA_ALERT, CWFPrinterIcon::ALERT_FAMILY}};
  for (const auto& f : filters) {
    CWFAlert a(45, printerOf(45), 0, f.type, CWFAlert::ACTIVE, 0, f.id, FALSE, FALSE, FALSE, FALSE);
    CWFAlertMsg m(&a, "", CFilename(), 0);
    EXPECT_EQ(icon->FilterAlerts(&m), f.action) << f.id << " type " << f.type;
  }
}

TEST_F(HalcyonIconTest, HelpOutsideTheTableIsMeridians) {
  // Oil bottle missing (18) has no topic of the family; a disconnected
  // printer's message keeps specific id 0, which is no toner warning.
  ProbeHcIcon* icon = add(46);
  decodeOne(icon, &ProbeHcIcon::ProcessSupplyAlerts, {6222, 5});
  ASSERT_EQ(storedIds(icon), (std::vector<UINT>{18}));
  icon->ShowHelpforError();

  ProbeHcIcon* other = add(47);
  CWFAlert lost(47, printerOf(47), 0, 100, CWFAlert::NOT_PROCESSED, 0, 0, FALSE, FALSE, FALSE, FALSE);
  other->CompleteAlert(&lost, CWFAlert::ACTIVE, 0, ALERT_SUBTYPE_NONE, "lost", 0, CFilename(), FALSE, FALSE,
                       FALSE);
  ASSERT_EQ(storedIds(other), (std::vector<UINT>{0}));
  other->ShowHelpforError();

  // Both are the base's default topic, not the family's 2110.
  const std::vector<std::pair<UINT, std::uintptr_t>> expected(2, {HELP_CONTEXT, 1918});
  EXPECT_EQ(app_.helpCalls(), expected);
}

TEST_F(HalcyonIconTest, ExtraJobStatisticsFieldsFollowTheTraySlots) {
  ProbeHcIcon* icon = add(48);
  // Sources 1, 2 and 3 in slots 0, 2 and 1.
  printerOf(48)->inputBins = {
      {1, 7101, 100, "Manual", 1, 1}, {2, 7103, 500, "Tray 1", 1, 1}, {3, 7102, 100, "Envelopes", 1, 1}};
  ASSERT_TRUE(icon->UpdateInputChars());
  ASSERT_EQ(icon->GetInputCode(1), 0u);
  ASSERT_EQ(icon->GetInputCode(2), 2u);
  ASSERT_EQ(icon->GetInputCode(3), 1u);

  std::unique_ptr<WFPrtObj::JSALERTDATA> allocated(icon->AllocJobStatData());
  auto* record = dynamic_cast<HALCYONJSALERTDATA*>(allocated.get());
  ASSERT_NE(record, nullptr);
  for (const auto& pair : record->pairs) EXPECT_EQ(pair[0] + pair[1], 0u) << "the pairs start at 0";
  for (int k = 0; k < HALCYONJSALERTDATA::kPairs; ++k) {
    record->pairs[k][0] = 10 * (k + 1) + 1;
    record->pairs[k][1] = 10 * (k + 1) + 2;
  }
  EXPECT_STREQ(icon->GetExtraJobStatFields(record, 3), "11,12,31,32,21,22,0,0,0,0,0,0,0,0,0,0,0,0,0,0");
  // Three sources, not more, whatever pairs the record holds.
  EXPECT_STREQ(icon->GetExtraJobStatFields(record, 0), "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0");

  // A count past the record reads its ten pairs only; the tenth source has
  // no slot, and sources without a tray fall into slot 0 as the tray table
  // says (here the fourth, after the first).
  EXPECT_STREQ(icon->GetExtraJobStatFields(record, 300), "91,92,31,32,21,22,0,0,0,0,0,0,0,0,0,0,0,0,0,0");
  // A record of the base's shape has no pairs.
  WFPrtObj::JSALERTDATA base;
  EXPECT_STREQ(icon->GetExtraJobStatFields(&base, 3), "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0");
}

TEST_F(HalcyonIconTest, TheLongerRecordIsQueuedAndFreedAsItself) {
  ProbeHcIcon* icon = add(49);
  CWFAlert alert(49, printerOf(49), 7, 1526, CWFAlert::NOT_PROCESSED, 0, 0, FALSE, FALSE, FALSE, FALSE);
  // Deleted through the base record's pointer by the queue: the sanitizer
  // sees a mismatched size if it were not.
  EXPECT_NE(icon->GetJobStatAlerts().Add(&alert, icon->AllocJobStatData()), nullptr);
}

}  // namespace
}  // namespace wf::testing
