// The tray and bin tables, their texts, and the icon's tables with the
// input-code table built from them.
#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "prtgui/supply_tables.h"
#include "test_fixture.h"

namespace wf::testing {
namespace {

WFPrtObj::INPUTBIN tray(USHORT npa, USHORT id, ULONG capacity = 250, USHORT size = 1, USHORT type = 1) {
  WFPrtObj::INPUTBIN record;
  record.sourceId = npa;
  record.binNumber = id;
  record.capacity = capacity;
  record.name = "tray";
  record.formSize = size;
  record.paperType = type;
  return record;
}

WFPrtObj::OUTPUTBIN bin(USHORT npa, USHORT id, ULONG capacity) {
  WFPrtObj::OUTPUTBIN record;
  record.binId = npa;
  record.binNumber = id;
  record.capacity = capacity;
  record.type = 3;
  record.flags[9] = TRUE;
  return record;
}

// Reaches the protected lookups and removal.
class ProbeInput : public CWFInputCharArray {
 public:
  using CWFInputCharArray::CWFInputCharArray;
  using CWFInputCharArray::FindInputTray;
  using CWFInputCharArray::RemoveInputTray;
};

class ProbeOutput : public CWFOutputCharArray {
 public:
  using CWFOutputCharArray::CWFOutputCharArray;
  using CWFOutputCharArray::FindOutputTray;
};

class SupplyProbeIcon : public CWFPrinterIcon {
 public:
  using CWFPrinterIcon::CWFPrinterIcon;
  using CWFPrinterIcon::UpdateXlate;
};

using SupplyTableTest = PrinterFixture;

TEST_F(SupplyTableTest, SlotsLookupsAndLevelsFollowTheIdentifiersAndNpaNumbers) {
  ProbeInput input(7, "InputObj", 7101, 7110);
  EXPECT_EQ(input.GetSize(), 10);
  EXPECT_EQ(input.NumSources(), 0u);

  WFPrtObj::INPUTBIN outside = tray(1, 7111);
  input.Add(7111, &outside);
  outside.binNumber = 7100;
  input.Add(7100, &outside);
  WFPrtObj::INPUTBIN noTray = tray(1, 0);
  input.Add(0, &noTray);
  EXPECT_EQ(input.GetSize(), 10);
  EXPECT_EQ(input.NumSources(), 0u);

  WFPrtObj::INPUTBIN tray2 = tray(2, 7104, 500, 7, 2);
  WFPrtObj::INPUTBIN tray1 = tray(3, 7103, 0xFFFFFFFF, 254, 9);
  WFPrtObj::INPUTBIN feeder = tray(3, 7108, 100, 255, 4);
  input.Add(7104, &tray2);
  input.Add(7103, &tray1);
  input.Add(7108, &feeder);
  EXPECT_EQ(input.NumSources(), 3u);
  EXPECT_EQ(input.GetTrayAttached(7101), 0);

  struct Case {
    USHORT key;
    UINT npa, capacity, size;
    WFPrtObj::PAPERTYPE type;
  };
  const Case cases[] = {
      {7104, 2, 500, 7, 2},        // by identifier
      {2, 2, 500, 7, 2},           // by NPA number: the same tray
      {3, 3, 0xFFFFFFFF, 254, 9},  // two trays under NPA 3: the lower slot
      {7108, 3, 100, 255, 4},      // the higher one by its identifier
      {7102, 0, 0, 0, 0},          // absent tray
      {9, 0, 0, 0, 0},             // no tray under this NPA number
      {7111, 0, 0, 0, 0},          // past the last slot
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(input.GetNPAID(c.key), c.npa);
    EXPECT_EQ(input.GetTrayCapacity(c.key), c.capacity);
    EXPECT_EQ(input.GetTraySize(c.key), c.size);
    EXPECT_EQ(input.GetTrayType(c.key), c.type);
    EXPECT_EQ(input.GetTrayAttached(c.key), c.npa != 0);
  }
  EXPECT_EQ(input.GetTrayName(7104), "Tray 2");
  EXPECT_EQ(input.GetTraySizeName(7104), "Legal");
  EXPECT_EQ(input.GetTraySizeName(7103), "");  // size 254 has no text
  EXPECT_EQ(input.GetTraySizeName(7108), "Other size");
  EXPECT_EQ(input.GetTrayTypeName(7104), "Transparency");
  EXPECT_EQ(input.GetTrayTypeName(7103), "Unknown");
  EXPECT_EQ(input.GetTrayTypeName(7102), "");

  // New trays read full; only trays 1 to 3 report levels.
  EXPECT_EQ(input.GetTrayLevelPercent(7103), 100u);
  input.SetLevel(7103, 2);
  EXPECT_EQ(input.GetTrayLevelPercent(7103), 30u);
  EXPECT_EQ(input.GetTrayLevelName(7103), "About 30%");
  input.SetLevel(7104, 4);
  EXPECT_EQ(input.GetTrayLevelName(7104), "");
  EXPECT_EQ(input.GetTrayLevelPercent(7104), 100u);
  input.SetLevel(7108, 0);
  EXPECT_EQ(input.GetTrayLevelPercent(7108), 0u);
  EXPECT_EQ(input.GetTrayLevelName(7108), "");
  input.SetLevel(7102, 1);  // absent: nothing to set
  EXPECT_EQ(input.GetTrayLevelPercent(7102), 0u);

  input.RemoveInputTray(7103);
  EXPECT_EQ(input.FindInputTray(7103), nullptr);
  EXPECT_EQ(input.GetNPAID(3), 3u);  // now the feeder answers NPA 3
  input.RemoveAllInputOptions();
  EXPECT_EQ(input.NumSources(), 0u);
  EXPECT_EQ(input.GetSize(), 10);
}

TEST_F(SupplyTableTest, StaticTextsAndPercentsCoverTheirCodes) {
  EXPECT_EQ(CWFBaseSupplyArray::GetPaperSizeString(1), "Letter");
  EXPECT_EQ(CWFBaseSupplyArray::GetPaperSizeString(130), "10 Envelope");
  EXPECT_EQ(CWFBaseSupplyArray::GetPaperSizeString(255), "Other size");
  EXPECT_EQ(CWFBaseSupplyArray::GetPaperSizeString(254), "");
  EXPECT_EQ(CWFBaseSupplyArray::GetPaperSizeString(0), "");
  EXPECT_EQ(CWFBaseSupplyArray::GetPaperTypeString(1), "Plain paper");
  EXPECT_EQ(CWFBaseSupplyArray::GetPaperTypeString(4), "Card stock");
  EXPECT_EQ(CWFBaseSupplyArray::GetPaperTypeString(0), "Unknown");
  EXPECT_EQ(CWFBaseSupplyArray::GetPaperTypeString(5), "Unknown");
  const std::pair<BYTE, UINT> percents[] = {{0, 0},  {1, 10},  {2, 30},  {3, 100}, {4, 100},
                                            {5, 70}, {6, 100}, {7, 100}, {8, 100}, {255, 100}};
  for (auto [level, percent] : percents)
    EXPECT_EQ(CWFBaseSupplyArray::GetLevelPercent(level), percent) << int(level);
  EXPECT_EQ(CWFBaseSupplyArray::GetLevelString(7), "Full");
  EXPECT_EQ(CWFBaseSupplyArray::GetLevelString(0), "Empty");
  EXPECT_EQ(CWFBaseSupplyArray::GetLevelString(6), "");
}

TEST_F(SupplyTableTest, OutputTableCopiesTheBinAndRunTimeClassesCreateEmptyTables) {
  ProbeOutput output(7, "OutputObj", 7201, 7204);
  EXPECT_EQ(output.GetSize(), 4);
  WFPrtObj::OUTPUTBIN primary = bin(1, 7201, 500);
  output.Add(7201, &primary);
  primary.capacity = 1;  // the table holds its own copy
  const OUTPUTBINCHAR* held = output.FindOutputTray(1);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->capacity, 500u);
  EXPECT_EQ(held->type, 3);
  EXPECT_TRUE(held->flags[9]);
  EXPECT_EQ(held->state, 0);
  EXPECT_EQ(output.GetTrayName(7201), "Primary output bin");
  output.RemoveOutputTray(7201);
  output.RemoveOutputTray(7300);
  EXPECT_EQ(output.NumSources(), 0u);

  for (CRuntimeClass* cls : {RUNTIME_CLASS(CWFBaseSupplyArray), RUNTIME_CLASS(CWFInputCharArray),
                             RUNTIME_CLASS(CWFOutputCharArray)}) {
    std::unique_ptr<CObject> made(cls->CreateObject());
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(made->IsKindOf(RUNTIME_CLASS(CPtrArray)));
    auto* table = static_cast<CWFBaseSupplyArray*>(made.get());
    EXPECT_EQ(table->GetSize(), 0);
    EXPECT_EQ(table->GetTrayCapacity(1), 0u);
  }
}

TEST_F(SupplyTableTest, PagesReadingWhileAWorkerRefillsSeeWholeElements) {
  ProbeInput input(7, "InputObj", 7101, 7110);
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (!stop) {
      const UINT capacity = input.GetTrayCapacity(7103);
      EXPECT_TRUE(capacity == 0 || capacity == 500) << capacity;
      (void)input.GetTrayName(2);
    }
  });
  WFPrtObj::INPUTBIN tray1 = tray(2, 7103, 500);
  for (int i = 0; i < 300; ++i) {
    input.Add(7103, &tray1);
    input.RemoveAllInputOptions();
  }
  stop = true;
  reader.join();
}

// The icon fills its tables once from the printer and derives the input codes.
TEST_F(SupplyTableTest, IconFillsItsTablesOnceAndReadsTheLevels) {
  ScriptedPrtObj* object = addLocal(21, "LPT1:");
  object->inputBins = {tray(1, 7103, 500, 1), tray(2, 7104, 200, 7), tray(0, 0)};
  object->outputBins = {bin(1, 7201, 500)};
  object->alertLists["bidiQueryInputStatus"] = {{6209, 0x0102}, {6209, 0x0905}, {6210, 0x0200}};
  SupplyProbeIcon icon(object, nullptr);
  EXPECT_TRUE(icon.UpdateInputChars());
  EXPECT_TRUE(icon.UpdateOutputBins());
  EXPECT_TRUE(icon.UpdateInputChars());
  EXPECT_EQ(icon.NumInputSources(), 2u);
  EXPECT_EQ(icon.NumOutputDestinations(), 1u);
  EXPECT_EQ(icon.GetTrayCapacity(7104), 200u);
  EXPECT_EQ(icon.GetTraySize(7104), 7u);
  EXPECT_EQ(icon.GetTraySize(2), 0u);  // small keys are not asked for a size
  EXPECT_EQ(icon.GetOutputCapacity(), 500ul);
  EXPECT_EQ(icon.OutputDestSupported(7202), 0);
  EXPECT_EQ(icon.GetInputCode(1), 2u);
  EXPECT_EQ(icon.GetInputCode(2), 3u);
  const auto calls = object->calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "bidiGetInputChars"), 1);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "bidiGetOutputChars"), 1);
  // The generic icon supports no levels, so the status was not asked.
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "bidiQueryInputStatus"), 0);
  EXPECT_TRUE(icon.GetInputLevels());
  EXPECT_EQ(icon.GetTrayLevelPercent(7103), 30u);  // alert 6209 on NPA 1, level 2
  EXPECT_EQ(icon.GetTrayLevelPercent(7104), 100u);

  // A rejected request leaves the table empty and fails.
  ScriptedPrtObj* refusing = addLocal(22, "LPT2:");
  refusing->trayRc = 5;
  CWFPrinterIcon other(refusing, nullptr);
  EXPECT_FALSE(other.UpdateInputChars());
  EXPECT_FALSE(other.UpdateOutputBins());
  EXPECT_EQ(other.NumInputSources(), 0u);

  // Without a printer object the two fills answer differently.
  CWFPrinterIcon ghost(nullptr, nullptr);
  EXPECT_FALSE(ghost.UpdateInputChars());
  EXPECT_TRUE(ghost.UpdateOutputBins());
}

TEST_F(SupplyTableTest, InputCodesFollowTheFeedersPresent) {
  struct Case {
    const char* name;
    std::vector<WFPrtObj::INPUTBIN> trays;
    std::vector<std::pair<UINT, UINT>> codes;  // NPA number, code
  };
  const Case cases[] = {
      {"both dual feeders win over the envelope and auxiliary feeders",
       {tray(1, 7101), tray(2, 7108), tray(3, 7109), tray(4, 7106), tray(5, 7107), tray(6, 7110)},
       {{1, 0}, {2, 4}, {3, 6}, {4, 0}, {5, 0}, {6, 7}}},
      {"one dual feeder: the envelope feeder takes 4",
       {tray(2, 7108), tray(4, 7106), tray(5, 7107)},
       {{2, 0}, {4, 4}, {5, 0}}},
      {"no envelope feeder: the auxiliary feeder takes 4",
       {tray(3, 7109), tray(5, 7107), tray(7, 7105)},
       {{3, 0}, {5, 4}, {7, 5}}},
      {"a tray numbered beyond the table changes no entry",
       {tray(12, 7103), tray(2, 7104), tray(1, 7102)},
       {{1, 1}, {2, 3}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPrtObj* object = addLocal(30, "LPT1:");
    object->inputBins = c.trays;
    SupplyProbeIcon icon(object, nullptr);
    ASSERT_TRUE(icon.UpdateInputChars());
    for (auto [npa, code] : c.codes) EXPECT_EQ(icon.GetInputCode(npa), code) << "NPA " << npa;
    EXPECT_EQ(icon.GetInputCode(12), 0u);
  }
}

}  // namespace
}  // namespace wf::testing
