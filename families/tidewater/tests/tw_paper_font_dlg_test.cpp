// The paper and font page over a scripted Tidewater printer: what its lists
// show for the cached values, what a choice changes and what Set sends.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tidewater/tw_paper_font.h"
#include "tidewater/tw_paper_font_dlg.h"
#include "tw_page_fixture.h"

namespace wf::testing {
namespace {

using tidewater::kPfFontRow;
using tidewater::kPfSizeRow;
using tidewater::kPfSourceRow;
using tidewater::kPfSymbolSetRow;
using tidewater::kPfTypeRow;

// Request codes of the page's settings.
constexpr int kSourceCode = 4096, kManualEnvelopeSizeCode = 4100, kCopiesCode = 4105, kFontCode = 4106,
              kSymbolSetCode = 4109;

// A Tidewater printer whose settings live in a table of texts by request
// code: reads come from there, sends are logged as "code=value" and stored.
class PaperFontPrinter : public TableTidewater {
 public:
  PaperFontPrinter(USHORT handle, std::map<int, std::string> initial)
      : TableTidewater(handle, std::move(initial)) {
    caps.bidiActive = TRUE;
    caps.portType = PORT_LPT;
    caps.portName = "LPT2";
  }
  BIDICAPABILITIES caps;
  bool tray2 = true;
  // Manual paper, tray 1 then tray 2: source 1 Executive on card stock,
  // source 2 DL, source 3 A4 on labels, source 4 B5; Courier Bold at 12 pitch.
  static inline const std::map<int, std::string> kValues = {
      {4126, "1"}, {4096, "3"}, {4099, "7"},  {4103, "1"},  {4100, "88"},
      {4097, "9"}, {4101, "2"}, {4098, "53"}, {4102, "0"},  {4104, "1"},
      {4105, "2"}, {4106, "1"}, {4108, "12"}, {4107, "14"}, {4109, "10U"}};
  std::vector<std::string> sent;

  void getPrinterType(ULONG* type, ULONG* second) override {
    if (type) *type = 3;
    if (second) *second = 0;
  }
  BOOL getBidiCaps(BIDICAPABILITIES* out) override {
    *out = caps;
    return TRUE;
  }
  LONG bidiGetInputChars(UINT* count, INPUTBIN** bins) override {
    std::vector<INPUTBIN> trays = {{1, 7101, 1, "Manual Paper", 2, 0}, {3, 7103, 250, "Tray 1", 2, 1}};
    if (tray2) trays.push_back({4, 7104, 500, "Tray 2", 2, 1});
    *count = static_cast<UINT>(trays.size());
    *bins = new INPUTBIN[trays.size()];
    std::copy(trays.begin(), trays.end(), *bins);
    return 0;
  }

 protected:
  LONG bidiQuery(USHORT code, const void* data, ULONG, void**, ULONG*, BOOL, BOOL) override {
    if (code < kSourceCode) return BCE_ERR_NOT_CAPABLE;  // the notebook's other requests
    const std::string value = data ? static_cast<const char*>(data) : "";
    sent.push_back(std::to_string(code) + "=" + value);
    values[code] = value;
    return 0;
  }
};

class PaperFontPageTest : public TidewaterPageFixture<PaperFontPrinter> {
 protected:
  static constexpr int kSet = 2014, kDefaults = 1015, kSources = 1003, kSizes = 1004, kTypes = 1005,
                       kLinking = 1006, kCopies = 1008, kFonts = 1010, kSymbolSets = 1013, kPoint = 1052,
                       kPitch = 1053;

  void SetUp() override {
    SetUpPage(PaperFontPrinter::kValues,
              [](TwIcon* icon) -> CPropertyPage* { return new CTwPaperFont(icon); });
    TwIcon::ppdsCapable = FALSE;
  }

  // A new icon, its trays known, with the notebook open on the page after
  // its first reading.
  CTwPaperFont* open() {
    list_.DeleteAllPrinters();
    pump();
    icon_ = makeIcon();
    EXPECT_NE(icon_, nullptr);
    if (!icon_) return nullptr;
    icon_->UpdateInputChars();
    return TidewaterPageFixture::open<CTwPaperFont>(icon_);
  }
  // Presses a button and lets its worker report.
  void press(CWnd* page, int id) {
    click(page, id);
    labels_ = runQueuedWork();
    pump();
  }
  static CComboBox* list(CWnd* page, int id) { return static_cast<CComboBox*>(page->GetDlgItem(id)); }
  static int count(CWnd* page, int id) { return list(page, id)->GetCount(); }
  static CString item(CWnd* page, int id, int index) {
    CString text;
    list(page, id)->GetLBText(index, text);
    return text;
  }

  TwIcon* icon_ = nullptr;
};

TEST_F(PaperFontPageTest, OpensWithThePrintersValues) {
  CTwPaperFont* page = open();
  ASSERT_NE(page, nullptr);
  ASSERT_FALSE(labels_.empty());
  EXPECT_NE(labels_.back().find("UpdatePaperFont() from CTwPaperFont::OnInitDialog()"), std::string::npos);
  EXPECT_EQ(printer_->reads.size(), 14u);
  EXPECT_EQ(icon_->GetPendingQueries(), 0);

  EXPECT_EQ(count(page, kSources), 4);
  EXPECT_EQ(entry(page, kSources), CString("Tray 1"));
  EXPECT_EQ(count(page, kSizes), 12);
  EXPECT_EQ(entry(page, kSizes), family(50135));  // A4
  EXPECT_EQ(count(page, kTypes), 5);
  EXPECT_EQ(selected(page, kTypes), 2);
  EXPECT_TRUE(enabled(page, kTypes));
  EXPECT_TRUE(enabled(page, kLinking));
  EXPECT_EQ(checked(page, kLinking), 1);
  EXPECT_EQ(text(page, kCopies), CString("2"));
  EXPECT_EQ(count(page, kFonts), 26);
  EXPECT_EQ(entry(page, kFonts), CString("Courier Bold"));
  EXPECT_EQ(text(page, kPitch), CString("12"));
  EXPECT_EQ(text(page, kPoint), CString("14"));
  EXPECT_TRUE(enabled(page, kPitch));
  EXPECT_FALSE(enabled(page, kPoint));
  EXPECT_EQ(count(page, kSymbolSets), 32);
  EXPECT_EQ(entry(page, kSymbolSets), CString("PC-8 Code Page 437"));
  EXPECT_EQ(text(page, 1009), family(50007));
  EXPECT_FALSE(enabled(page, kSet));
  EXPECT_EQ(page->GetChangeFlags(), 0u);
  EXPECT_TRUE(printer_->sent.empty());
}

TEST_F(PaperFontPageTest, TheSymbolSetListFollowsTheFontAndShowsOnlyWhatItHolds) {
  const struct {
    const char* font;
    const char* set;
    int entries;
    int position;
    bool raised;  // the shown entry differs from the cache: a change to send
  } cases[] = {
      {"0", "8U", 32, 0, false},    {"25", "579L", 1, 0, false}, {"11", "17U", 26, 0, true},
      {"11", "15U", 26, 25, false}, {"11", "0D", 26, 20, false}, {"0", "", 32, 0, true},
      {"7", "579L", 32, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.font) + " " + c.set);
    printer_->values[kFontCode] = c.font;
    printer_->values[kSymbolSetCode] = c.set;
    CTwPaperFont* page = open();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(count(page, kSymbolSets), c.entries);
    EXPECT_EQ(selected(page, kSymbolSets), c.position);
    EXPECT_EQ(page->GetChangeFlags() == (1u << kPfSymbolSetRow), c.raised);
    EXPECT_EQ(enabled(page, kSet), c.raised);
  }

  // Set sends what the page shows.
  printer_->sent.clear();
  press(open(), kSet);
  EXPECT_EQ(printer_->sent, (std::vector<std::string>{"4109=8U"}));
  EXPECT_EQ(icon_->GetSymbolSet(), CString("8U"));
}

TEST_F(PaperFontPageTest, AnUnansweredSymbolSetShowsEntryZeroAsAChange) {
  printer_->failing = {kSymbolSetCode};
  CTwPaperFont* page = open();
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(icon_->GetSymbolSet(), family(50157));
  EXPECT_EQ(selected(page, kSymbolSets), 0);
  EXPECT_EQ(page->GetChangeFlags(), 1u << kPfSymbolSetRow);
  EXPECT_TRUE(enabled(page, kSet));
}

TEST_F(PaperFontPageTest, ChoosingWingdingsLeavesOneSymbolSetAndSetSendsIt) {
  CTwPaperFont* page = open();
  ASSERT_NE(page, nullptr);
  list(page, kFonts)->UserSelect(25);
  EXPECT_EQ(count(page, kSymbolSets), 1);
  EXPECT_EQ(entry(page, kSymbolSets), CString("Wingdings"));
  EXPECT_FALSE(enabled(page, kPitch));
  EXPECT_TRUE(enabled(page, kPoint));
  EXPECT_EQ(text(page, kPoint), CString("14"));
  EXPECT_EQ(page->GetChangeFlags(), (1u << kPfFontRow) | (1u << kPfSymbolSetRow));
  press(page, kSet);
  ASSERT_EQ(labels_.size(), 1u);
  EXPECT_NE(labels_[0].find("SetPaperFont() from CTwPaperFont::OnSetPaperfont()"), std::string::npos);
  EXPECT_EQ(printer_->sent, (std::vector<std::string>{"4106=25", "4109=579L"}));
  EXPECT_FALSE(enabled(page, kSet));
  EXPECT_EQ(page->GetChangeFlags(), 0u);

  // A pitch changed under a fixed-pitch font goes out only while the font
  // uses it.
  printer_->sent.clear();
  list(page, kFonts)->UserSelect(4);
  EXPECT_EQ(count(page, kSymbolSets), 32);
  EXPECT_EQ(entry(page, kSymbolSets), CString("Roman-8"));
  page->GetDlgItem(kPitch)->SetWindowText("16");
  list(page, kFonts)->UserSelect(20);
  page->GetDlgItem(kPoint)->SetWindowText("10");
  press(page, kSet);
  EXPECT_EQ(printer_->sent, (std::vector<std::string>{"4106=20", "4107=10", "4109=8U"}));
  EXPECT_EQ(icon_->GetPitchSize(), 12u);
}

TEST_F(PaperFontPageTest, TheSizeListFollowsTheSource) {
  const struct {
    const char* source;
    int sizeCode;
    const char* size;
    int entries;
    int position;
    bool types;
  } cases[] = {
      {"2", kManualEnvelopeSizeCode, "130", 6, 5, false},
      {"2", kManualEnvelopeSizeCode, "1", 6, -1, false},
      {"3", 4097, "88", 12, 8, true},
      {"1", 4099, "255", 6, -1, true},
      {"4", 4098, "255", 6, -1, false},
      {"1", 4099, "53", 6, 5, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " " + c.size);
    printer_->values = PaperFontPrinter::kValues;
    printer_->values[kSourceCode] = c.source;
    printer_->values[c.sizeCode] = c.size;
    CTwPaperFont* page = open();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(count(page, kSizes), c.entries);
    EXPECT_EQ(selected(page, kSizes), c.position);
    EXPECT_EQ(enabled(page, kTypes), c.types);
    EXPECT_EQ(page->GetChangeFlags(), 0u);
  }

  // A size the list lacks stays in the cache through a set.
  printer_->values = PaperFontPrinter::kValues;
  printer_->values[kSourceCode] = "2";
  printer_->values[kManualEnvelopeSizeCode] = "1";
  CTwPaperFont* page = open();
  ASSERT_NE(page, nullptr);
  page->GetDlgItem(kCopies)->SetWindowText("3");
  press(page, kSet);
  EXPECT_EQ(printer_->sent, (std::vector<std::string>{"4105=3"}));
  EXPECT_EQ(icon_->GetTWPaperSize(2), 1);

  // Choosing a source refills sizes and types; its size and type go out.
  printer_->sent.clear();
  list(page, kSources)->UserSelect(0);
  EXPECT_EQ(count(page, kSizes), 6);
  EXPECT_EQ(entry(page, kSizes), family(50134));  // the cached Executive
  EXPECT_TRUE(enabled(page, kTypes));
  EXPECT_EQ(selected(page, kTypes), 1);
  list(page, kSizes)->UserSelect(2);
  list(page, kTypes)->UserSelect(4);
  EXPECT_EQ(page->GetChangeFlags(), (1u << kPfSourceRow) | (1u << kPfSizeRow) | (1u << kPfTypeRow));
  press(page, kSet);
  EXPECT_EQ(printer_->sent, (std::vector<std::string>{"4096=1", "4099=9", "4103=4"}));
  list(page, kSources)->UserSelect(1);
  EXPECT_EQ(count(page, kSizes), 6);
  EXPECT_EQ(item(page, kSizes, 0), family(50139));
  EXPECT_FALSE(enabled(page, kTypes));
}

TEST_F(PaperFontPageTest, WithoutTrayTwoThreeSourcesAndNoTrayLinking) {
  printer_->tray2 = false;
  CTwPaperFont* page = open();
  ASSERT_NE(page, nullptr);
  ASSERT_EQ(count(page, kSources), 3);
  EXPECT_EQ(item(page, kSources, 0), family(486));
  EXPECT_EQ(item(page, kSources, 1), family(487));
  EXPECT_EQ(item(page, kSources, 2), family(481));
  EXPECT_FALSE(enabled(page, kLinking));
  // The check cannot be stored without the tray.
  static_cast<CButton*>(page->GetDlgItem(kLinking))->SetCheck(0);
  page->GetDlgItem(kCopies)->SetWindowText("4");
  press(page, kSet);
  EXPECT_EQ(printer_->sent, (std::vector<std::string>{"4105=4"}));
  EXPECT_TRUE(icon_->GetTrayLinking());
}

TEST_F(PaperFontPageTest, NumbersOutOfRangeShowTheRangeMessageAndSendNothing) {
  CTwPaperFont* page = open();
  ASSERT_NE(page, nullptr);
  // The range message puts the focus back on the field: the frame must be active.
  icon_->GetOpenFrame()->SetForegroundWindow();
  ASSERT_TRUE(wf::fw::testing::pumpUntil([&] { return CWnd::GetFocus() != nullptr; }));
  const struct {
    int font;
    int edit;
    const char* typed;
    const char* kept;
  } cases[] = {{1, kCopies, "0", "2"},   {1, kCopies, "100", "2"}, {1, kPitch, "0", "12"},
               {1, kPitch, "101", "12"}, {7, kPoint, "0", "14"},   {7, kPoint, "1009", "14"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    list(page, kFonts)->UserSelect(c.font);
    page->GetDlgItem(c.edit)->SetWindowText(c.typed);
    const std::size_t boxes = shell_.messageBox.calls().size();
    press(page, kSet);
    EXPECT_EQ(shell_.messageBox.calls().size(), boxes + 1);
    EXPECT_EQ(CWnd::GetFocus(), page->GetDlgItem(c.edit));
    EXPECT_TRUE(printer_->sent.empty());
    EXPECT_EQ(icon_->GetNumCopies(), 2u);
    EXPECT_EQ(icon_->GetPitchSize(), 12u);
    EXPECT_EQ(icon_->GetPointSize(), 14u);
    EXPECT_EQ(icon_->GetFontNumber(), 1u);
    page->GetDlgItem(c.edit)->SetWindowText(c.kept);
  }
  // The limits themselves are taken.
  list(page, kFonts)->UserSelect(7);
  page->GetDlgItem(kPoint)->SetWindowText("1008");
  page->GetDlgItem(kCopies)->SetWindowText("99");
  press(page, kSet);
  EXPECT_EQ(printer_->sent, (std::vector<std::string>{"4105=99", "4106=7", "4107=1008"}));
}

TEST_F(PaperFontPageTest, DefaultsRefillTheListsFromTheCache) {
  printer_->values[kFontCode] = "25";
  printer_->values[kSymbolSetCode] = "579L";
  printer_->values[kSourceCode] = "2";
  CTwPaperFont* page = open();
  ASSERT_NE(page, nullptr);
  ASSERT_EQ(count(page, kSymbolSets), 1);
  press(page, kDefaults);
  ASSERT_EQ(labels_.size(), 1u);
  EXPECT_NE(labels_[0].find("DefaultsPaperFont() from CTwPaperFont::OnDefaultPaperfont()"),
            std::string::npos);
  EXPECT_EQ(printer_->sent,
            (std::vector<std::string>{"4096=3", "4097=1", "4098=1", "4099=1", "4100=130", "4101=0", "4103=0",
                                      "4104=0", "4105=1", "4106=0", "4108=10", "4107=12", "4109=8U"}));
  EXPECT_EQ(entry(page, kSources), CString("Tray 1"));
  EXPECT_EQ(count(page, kSizes), 12);
  EXPECT_EQ(entry(page, kSizes), family(50133));
  EXPECT_EQ(entry(page, kFonts), CString("Courier"));
  EXPECT_EQ(count(page, kSymbolSets), 32);
  EXPECT_EQ(entry(page, kSymbolSets), CString("Roman-8"));
  EXPECT_TRUE(enabled(page, kPitch));
  EXPECT_EQ(text(page, kPitch), CString("10"));
  EXPECT_EQ(text(page, kCopies), CString("1"));
  EXPECT_FALSE(enabled(page, kSet));
  EXPECT_TRUE(shell_.messageBox.calls().empty());
}

TEST_F(PaperFontPageTest, ALockedPrinterObjectFailsTheSetWithThePagesMessage) {
  CTwPaperFont* page = open();
  ASSERT_NE(page, nullptr);
  page->GetDlgItem(kCopies)->SetWindowText("5");
  ASSERT_TRUE(icon_->LockPrinterObj());
  press(page, kSet);
  icon_->UnlockPrinterObj();
  EXPECT_TRUE(printer_->sent.empty());
  const auto boxes = shell_.messageBox.calls();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, family(50158).str());
  EXPECT_EQ(boxes[0].caption, "Wrenfield Warning");
  EXPECT_TRUE(enabled(page, kSet));
}

TEST_F(PaperFontPageTest, HelpTableNamesEveryControl) {
  list_.NewPrinterIcon(printer_.get(), nullptr);
  CTwPaperFont page(icons().back());
  const std::map<DWORD, DWORD> expected = {
      {1003, 10301}, {1071, 10301}, {1004, 10302}, {1072, 10302}, {1005, 10304}, {1073, 10304},
      {1008, 10305}, {1074, 10305}, {1006, 10306}, {1009, 10401}, {1077, 10401}, {1010, 10402},
      {1078, 10402}, {1052, 10403}, {1079, 10403}, {1053, 10404}, {1080, 10404}, {1013, 10405},
      {1081, 10405}, {2014, 10406}, {1015, 10407}, {1075, 0},     {1076, 0}};
  EXPECT_EQ(helpTopics(page), expected);
  EXPECT_EQ(page.GetHelpFile(), CString("VIREOE.HLP"));
}

}  // namespace
}  // namespace wf::testing
