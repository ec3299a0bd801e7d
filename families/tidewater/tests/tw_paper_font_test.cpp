// The paper and font settings over a scripted Tidewater printer: what the
// read, set and defaults workers ask, send and leave in the cache.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/module.h"
#include "protocol/replies.h"
#include "prtobj/prtobj_util.h"
#include "table_tidewater.h"
#include "test_fixture.h"
#include "tidewater/tw_paper_font.h"
#include "tidewater/tw_present.h"

namespace wf::testing {
namespace {

using tidewater::ChangeFlags;
using tidewater::kPaperFontTable;

// A printer answering reads from a table by request code and logging sends
// as "code=value".
class CodedTidewater : public TableTidewater {
 public:
  explicit CodedTidewater(USHORT handle) : TableTidewater(handle, kValues) {}
  static inline const std::map<int, std::string> kValues = {
      {4126, "0"},  {4096, "2"},   {4099, "22"},  {4103, "1"}, {4100, "88"}, {4097, "23"},
      {4101, "2"},  {4098, "53"},  {4104, "1"},   {4105, "5"}, {4106, "11"}, {4108, "12"},
      {4107, "14"}, {4109, "15U"}, {4110, "600"}, {4111, "2"}, {4112, "70"}, {4116, "-5"},
      {4117, "7"},  {4115, "1"},   {4114, "0"},   {4113, "1"}};
  std::vector<std::string> sent;

  void getPrinterType(ULONG* type, ULONG* second) override {
    if (type) *type = 3;
    if (second) *second = 0;
  }

 protected:
  LONG bidiQuery(USHORT code, const void* data, ULONG, void**, ULONG*, BOOL, BOOL) override {
    sent.push_back(std::to_string(code) + "=" + (data ? static_cast<const char*>(data) : ""));
    return 0;
  }
};

class WorkerTwIcon : public CWFPrinterIcon, public CTwSettingsHost {
 public:
  using CWFPrinterIcon::CWFPrinterIcon;
  static inline HINSTANCE resources = nullptr;
  static CWFPrinterIcon* create(WFPrtObj* object, void* record) { return new WorkerTwIcon(object, record); }
  int BelongsToFamily(ULONG key) override { return key == 3 || key == 8; }
  HINSTANCE GetResourceInstance(UINT) override { return resources; }
  CString GetTidewaterMutex() override { return tidewater::TidewaterMutexName(GetPrinterHandle()); }
  BOOL GetPPDSCapable() override { return FALSE; }
};

class PaperFontWorkers : public PrinterFixture {
 protected:
  static constexpr DWORD kIds[] = {3, 8};
  static constexpr USHORT kHandle = 42;

  void SetUp() override {
    PrinterFixture::SetUp();
    twResources_ = wf::loadModule("TWGUIDLL.DLL");
    ASSERT_TRUE(twResources_);
    WorkerTwIcon::resources = twResources_;
    families_.RegisterDLL(nullptr, "Tidewater", 0, &WorkerTwIcon::create, kIds, 2, nullptr);
    printer_ = std::make_unique<CodedTidewater>(kHandle);
    fakebce::setPrtInfoFor(kHandle, prtInfo(kHandle, "LPT2", BCE_NET_LOCAL | 0x8000, 2));
    app_.printers[kHandle] = printer_.get();
    manager_.objects[kHandle] = printer_.get();
    list_.NewPrinterIcon(printer_.get(), nullptr);
    icon_ = dynamic_cast<WorkerTwIcon*>(icons().back());
    ASSERT_NE(icon_, nullptr);
  }
  void TearDown() override {
    list_.DeleteAllPrinters();
    PrinterFixture::TearDown();
    wf::freeModule(twResources_);
  }
  // Runs a worker here, as the fixture runs queued work.
  void run(UINT (*worker)(void*), ChangeFlags flags = 0,
           const tidewater::PageTable& table = kPaperFontTable) {
    worker(new tidewater::SettingsBlock{kHandle, 0, &table, flags});
  }
  CString family(UINT id) const {
    wf::fw::ResourceHandleSwitch resources(twResources_);
    CString out;
    out.LoadString(id);
    return out;
  }

  HINSTANCE twResources_ = nullptr;
  std::unique_ptr<CodedTidewater> printer_;
  WorkerTwIcon* icon_ = nullptr;
};

const std::vector<int> kReadOrder = {4126, 4096, 4099, 4103, 4100, 4097, 4101,
                                     4098, 4104, 4105, 4106, 4108, 4107, 4109};

TEST_F(PaperFontWorkers, ReadsEverySettingInOrder) {
  run(&tidewater::QuerySettings);
  EXPECT_EQ(printer_->reads, kReadOrder);
  EXPECT_FALSE(icon_->IsUS());
  EXPECT_EQ(icon_->GetTWPaperSource(), 2u);
  EXPECT_EQ(icon_->GetTWPaperSize(1), 22);
  EXPECT_EQ(icon_->GetTWPaperType(1), 1u);
  EXPECT_EQ(icon_->GetTWPaperSize(2), 88);
  EXPECT_EQ(icon_->GetTWPaperSize(3), 23);
  EXPECT_EQ(icon_->GetTWPaperType(3), 2u);
  EXPECT_EQ(icon_->GetTWPaperSize(4), 53);
  EXPECT_TRUE(icon_->GetTrayLinking());
  EXPECT_EQ(icon_->GetNumCopies(), 5u);
  EXPECT_EQ(icon_->GetFontNumber(), 11u);
  EXPECT_FALSE(icon_->IsPitchFont());
  EXPECT_EQ(icon_->GetPitchSize(), 12u);
  EXPECT_EQ(icon_->GetPointSize(), 14u);
  EXPECT_EQ(icon_->GetSymbolSet(), CString("15U"));
}

TEST_F(PaperFontWorkers, AFailedReadStopsTheReading) {
  struct Case {
    int failing;
    void (*expect)(WorkerTwIcon&, const CString& unknown);
  } cases[] = {
      {4126, [](WorkerTwIcon& i, const CString&) { EXPECT_TRUE(i.IsUS()); }},
      {4106,
       [](WorkerTwIcon& i, const CString&) {
         EXPECT_EQ(i.GetFontNumber(), 0u);
         EXPECT_TRUE(i.IsPitchFont());
         EXPECT_EQ(i.GetPitchSize(), 7u);  // untouched
       }},
      {4108,
       [](WorkerTwIcon& i, const CString&) {
         EXPECT_EQ(i.GetPitchSize(), 10u);
         EXPECT_EQ(i.GetPointSize(), 7u);
       }},
      {4107, [](WorkerTwIcon& i, const CString&) { EXPECT_EQ(i.GetPointSize(), 12u); }},
      {4109, [](WorkerTwIcon& i, const CString& unknown) { EXPECT_EQ(i.GetSymbolSet(), unknown); }},
  };
  const CString unknown = family(50157);
  ASSERT_FALSE(unknown.IsEmpty());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failing);
    icon_->SetUS(0);
    icon_->SetPitchSize(7);
    icon_->SetPointSize(7);
    icon_->SetSymbolSet("0U");
    printer_->failing = {c.failing};
    printer_->reads.clear();
    run(&tidewater::QuerySettings);
    // Nothing is asked after the failing read.
    EXPECT_EQ(printer_->reads.back(), c.failing);
    c.expect(*icon_, unknown);
  }
  // A font number the family lacks is refused like a failure.
  printer_->failing.clear();
  printer_->values[4106] = "26";
  printer_->reads.clear();
  run(&tidewater::QuerySettings);
  EXPECT_EQ(printer_->reads.back(), 4106);
  EXPECT_EQ(icon_->GetFontNumber(), 0u);
}

TEST_F(PaperFontWorkers, SetSendsTheFlaggedRowsOfTheCachedSource) {
  icon_->SetTWPaperSource(2);
  icon_->SetTWPaperSize(2, 130);
  icon_->SetFontNumber(25);
  icon_->SetPointSize(18);
  icon_->SetSymbolSet("579L");
  using namespace tidewater;
  run(&SendSettings, (1u << kPfSourceRow) | (1u << kPfSizeRow) | (1u << kPfFontRow) | (1u << kPfPointRow) |
                         (1u << kPfSymbolSetRow));
  EXPECT_EQ(printer_->sent,
            (std::vector<std::string>{"4096=2", "4100=130", "4106=25", "4107=18", "4109=579L"}));
}

TEST_F(PaperFontWorkers, DefaultsFollowTheUsFlag) {
  const struct {
    BOOL us;
    std::vector<std::string> lines;
  } cases[] = {
      {1,
       {"4096=3", "4097=1", "4098=1", "4099=1", "4100=130", "4101=0", "4103=0", "4104=0", "4105=1", "4106=0",
        "4108=10", "4107=12", "4109=8U"}},
      {0,
       {"4096=3", "4097=22", "4098=22", "4099=22", "4100=88", "4101=0", "4103=0", "4104=0", "4105=1",
        "4106=0", "4108=10", "4107=12", "4109=12U"}},
  };
  for (const auto& c : cases) {
    icon_->SetUS(c.us);
    icon_->SetTWPaperSource(1);
    icon_->SetFontNumber(25);
    printer_->sent.clear();
    run(&tidewater::DefaultSettings);
    EXPECT_EQ(printer_->sent, c.lines);
    EXPECT_EQ(icon_->GetTWPaperSource(), 3u);
    EXPECT_EQ(icon_->GetFontNumber(), 0u);
    EXPECT_EQ(icon_->GetSymbolSet(), CString(c.us ? "8U" : "12U"));
  }
}

TEST_F(PaperFontWorkers, PresentationReadsSendsAndResets) {
  run(&tidewater::QuerySettings, 0, tidewater::kPresentationTable);
  EXPECT_EQ(printer_->reads, (std::vector<int>{4126, 4110, 4111, 4112, 4116, 4117, 4115, 4114, 4113}));
  EXPECT_EQ(icon_->GetResolution(), WFTidewaterPrtObj::RES_600);
  EXPECT_EQ(icon_->GetDarkness(), 2u);
  EXPECT_EQ(icon_->GetLinesPerPage(), 70u);
  EXPECT_EQ(icon_->GetTopMargin(), -5);
  EXPECT_EQ(icon_->GetLeftMargin(), 7);
  EXPECT_EQ(icon_->GetOrientation(), WFTidewaterPrtObj::ORIENT_LANDSCAPE);
  EXPECT_FALSE(icon_->GetPQET());
  EXPECT_TRUE(icon_->GetTonerSaver());

  // Flag order: the toner saver goes out before PQET.
  using namespace tidewater;
  run(&SendSettings, (1u << kPrPQETRow) | (1u << kPrTonerSaverRow) | (1u << kPrTopRow), kPresentationTable);
  EXPECT_EQ(printer_->sent, (std::vector<std::string>{"4116=-5", "4113=1", "4114=0"}));

  printer_->sent.clear();
  run(&DefaultSettings, 0, kPresentationTable);
  EXPECT_EQ(printer_->sent,
            (std::vector<std::string>{"4110=300", "4111=3", "4112=60", "4115=0", "4113=0", "4114=1"}));
  EXPECT_EQ(icon_->GetTopMargin(), -5);  // margins untouched
  EXPECT_EQ(icon_->GetLeftMargin(), 7);
  EXPECT_TRUE(icon_->GetPQET());
}

}  // namespace
}  // namespace wf::testing
