// The inventory report's layout with fixed metrics and the program's own
// strings: every line of a full record, the rules that leave lines out, the
// megabyte figures, page breaks, the header, the footer and new pages.
#include "app/inventory_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "app_fixture.h"

using wf::inventory::kBaseLevel;
using wf::inventory::kCartridgeName;
using wf::inventory::kEngineLevel;
using wf::inventory::kSerial;
using wf::inventory::LayoutReport;
using wf::inventory::Megabytes;
using wf::inventory::Record;
using wf::inventory::ReportLayout;
using wf::inventory::ReportLine;
using wf::inventory::ReportMetrics;
using wf::inventory::ReportOptions;
using wf::inventory::ReportPage;
using wf::inventory::ResourceStrings;
using wf::inventory::StringSource;

namespace wf::inventory {
void PrintTo(const ReportLine& line, std::ostream* out) {
  *out << "(" << line.x << ", " << line.y << ", \"" << line.text << "\")";
}
}  // namespace wf::inventory

namespace {

constexpr int kLine = 10;

std::string label(const std::string& text) {
  return text + std::string(34 - text.size(), ' ');
}

const std::string kIndent(34, ' ');

ReportMetrics metrics(int pageHeight) {
  return ReportMetrics{1000, pageHeight, kLine,
                       [](const std::string& text) { return 10 * int(text.size()); }};
}

std::vector<std::string> texts(const ReportPage& page) {
  std::vector<std::string> out;
  for (const ReportLine& line : page.lines) out.push_back(line.text);
  return out;
}

Record fullRecord() {
  Record r;
  r.communication = 1;
  r.protocols = 1;
  r.speed = 12;
  r.duplex = 3;
  r.pages = 123456;
  r.ram = 4u << 20;
  r.diskSize = 40u << 20;
  r.diskFree = 20u << 20;
  r.spoolPercent = 25;
  r.flashSize = 2u << 20;
  r.flashFree = 1u << 20;
  r.name = "Front desk";
  r.names = {"LPT1:"};
  r.texts = {"Corvane 12 Laser Printer",
             "SN-4711",
             "2.10",
             "1.02",
             "B1",
             "P3",
             "D1",
             "4.4",
             "4.5",
             "N/A",
             "Bitmap",
             "Fonts A"};
  r.inputs = {{2, 1, 1, 500}, {3, 7, 2, 200}};
  r.outputs = {{0, 250}};
  return r;
}

class InventoryReport : public wf::testing::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    const char* tz = std::getenv("TZ");
    savedTz_ = tz ? tz : "";
    hadTz_ = tz != nullptr;
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
  }
  void TearDown() override {
    if (hadTz_)
      ::setenv("TZ", savedTz_.c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
    AppFixture::TearDown();
  }

  // Everything but the footer of a single tall page.
  std::vector<std::string> body(const std::vector<Record>& records, ReportOptions options = {}) {
    const auto pages = LayoutReport(records, metrics(100000), options, strings_);
    EXPECT_EQ(pages.size(), 1u);
    std::vector<std::string> lines = texts(pages.front());
    lines.pop_back();
    return lines;
  }

  StringSource strings_ = ResourceStrings();
  std::string savedTz_;
  bool hadTz_ = false;
};

TEST_F(InventoryReport, EveryLineOfAFullRecord) {
  const std::vector<std::string> expected = {
      std::string(65, '-'),
      label("Printer Name:") + "Front desk",
      kIndent + "LPT1:",
      label("   Communication Status:") + "Bidirectional",
      label("   Network Protocol:") + "Locally Attached",
      "   Summary",
      label("      Model:") + "Corvane 12 Laser Printer",
      label("      Serial Number:") + "SN-4711",
      label("      Print Speed:") + "12 PPM",
      label("      Lifetime Page Count:") + "123456 sheets",
      "      Code Levels",
      label("         Base:") + "2.10",
      label("         Engine:") + "1.02",
      label("         Boot:") + "B1",
      label("         Panel:") + "P3",
      label("         Duplex:") + "D1",
      label("         INA 1:") + "4.4",
      label("         INA 2:") + "4.5",
      "   Duplexer",
      "      Short Edge Binding Capable",
      "      Long Edge Binding Capable",
      "   Inputs",
      "      Tray 1",
      label("         Capacity:") + "500 sheets",
      label("         Form Size:") + "Letter (A)",
      label("         Type:") + "Paper",
      "      Tray 2",
      label("         Capacity:") + "200 sheets",
      label("         Form Size:") + "Legal",
      label("         Type:") + "Envelope",
      "   Outputs",
      "      Primary",
      label("         Capacity:") + "250 sheets",
      "   Resources",
      "      RAM",
      label("         Size:") + "4.00 MB",
      "      Flash Memory",
      label("         Size:") + "2.00 MB",
      label("         Free:") + "1.00 MB",
      "      Disk",
      label("         Size:") + "40.00 MB",
      label("         Free:") + "20.00 MB",
      label("         Spool Partition Size:") + "25 % of total disk",
      "      Font Cartridge",
      label("         Name:") + "Fonts A",
      label("         Type (Format):") + "Bitmap",
  };
  EXPECT_EQ(body({fullRecord()}), expected);

  const auto pages = LayoutReport({fullRecord()}, metrics(100000), {}, strings_);
  int y = 0;
  for (std::size_t i = 0; i + 1 < pages[0].lines.size(); ++i, y += kLine) {
    EXPECT_EQ(pages[0].lines[i].x, 0);
    EXPECT_EQ(pages[0].lines[i].y, y);
  }
}

TEST_F(InventoryReport, LinesLeftOutOrReplaced) {
  Record nobidi;
  nobidi.name = "Back office";
  nobidi.protocols = 0;
  nobidi.names = {"LPT2:"};
  EXPECT_TRUE(body({nobidi}).empty()) << "non-bidirectional records need the flag";
  ReportOptions include;
  include.includeNonBidirectional = true;
  EXPECT_EQ(
      body({nobidi}, include),
      (std::vector<std::string>{std::string(65, '-'), label("Printer Name:") + "Back office",
                                kIndent + "LPT2:", label("   Communication Status:") + "Non-Bidirectional",
                                label("   Network Protocol:") + "Unknown"}));

  Record r = fullRecord();
  r.protocols = 0x10 | 0x800 | 0x1000;  // TCP/IP, peer-to-peer and a bit without a name
  r.spoolPercent = 255;
  r.inputs = {{9, 99, 77, 0xFFFFFFFF}};
  r.outputs = {{1, 0xFFFFFFFF}};
  r.texts[kEngineLevel] = "n/a";
  r.texts[kBaseLevel] = "";
  r.texts[kSerial] = "";
  r.duplex = 2;
  r.ram = 0;
  r.flashSize = 0;
  r.diskSize = 0;
  r.texts[kCartridgeName] = "";
  const auto lines = body({r});
  auto has = [&](const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  };
  EXPECT_TRUE(has(label("   Network Protocol:") + "TCP/IP"));
  EXPECT_TRUE(has(kIndent + "Peer-to-Peer")) << "a further protocol after 34 blanks";
  EXPECT_FALSE(has(label("         Engine:") + "n/a"));
  EXPECT_FALSE(has(label("         Base:")));
  EXPECT_FALSE(has(label("      Serial Number:")));
  EXPECT_FALSE(has("      Short Edge Binding Capable"));
  EXPECT_TRUE(has("      Long Edge Binding Capable"));
  EXPECT_TRUE(has("      Unknown")) << "an input id past the table";
  EXPECT_TRUE(has(label("         Form Size:") + "Unknown"));
  EXPECT_TRUE(has(label("         Type:") + "Unknown"));
  EXPECT_TRUE(has("      Side"));
  EXPECT_FALSE(has("   Resources"));
  for (const std::string& line : lines) {
    EXPECT_EQ(line.find("Capacity:"), std::string::npos) << "capacity not known";
    EXPECT_EQ(line.find("Spool"), std::string::npos);
  }
  // Only a disk whose spool share is not known: no spool line, the rest stays.
  r.diskSize = 1;
  const auto disk = body({r});
  EXPECT_NE(std::find(disk.begin(), disk.end(), "      Disk"), disk.end());
}

TEST_F(InventoryReport, Megabytes) {
  struct Case {
    std::uint32_t bytes;
    const char* text;
  };
  for (const Case& c : {Case{5242880, "5.00 MB"}, Case{0xFFFFFFFF, "4096.00 MB"}, Case{0, "0.00 MB"},
                        Case{1572864, "1.50 MB"}, Case{1048576 - 5243, "1.00 MB"}})
    EXPECT_EQ(Megabytes(c.bytes, strings_), c.text) << c.bytes;
}

TEST_F(InventoryReport, PagesBreakBeforeTheBottomThreeLinesAndCarryTheirDecoration) {
  ReportOptions options;
  options.header = "Inventory of the second floor";
  options.created = 946733460;  // 2000-01-01 13:31 UTC
  // 12 lines of room: the header takes two, so 8 lines fit above the last two.
  const auto pages = LayoutReport({fullRecord()}, metrics(12 * kLine), options, strings_);
  ASSERT_EQ(pages.size(), 6u);  // 46 lines, 8 a page
  for (std::size_t p = 0; p < pages.size(); ++p) {
    const auto& lines = pages[p].lines;
    ASSERT_GE(lines.size(), 3u);
    for (std::size_t i = 0; i + 2 < lines.size(); ++i) {
      EXPECT_EQ(lines[i].y, int(2 + i) * kLine) << "page " << p + 1;
      EXPECT_LE(lines[i].y + 3 * kLine, 12 * kLine);
    }
    const ReportLine& header = lines[lines.size() - 2];
    EXPECT_EQ(header, (ReportLine{(1000 - 10 * int(options.header.size())) / 2, 0, options.header}));
    const std::string footer = "2000/1/1 13:31  -  Page " + std::to_string(p + 1);
    EXPECT_EQ(lines.back(), (ReportLine{(1000 - 10 * int(footer.size())) / 2, 11 * kLine, footer}));
  }
  EXPECT_EQ(pages[0].lines.size(), 10u);
  EXPECT_EQ(pages[1].lines[0].text, label("      Print Speed:") + "12 PPM");
  EXPECT_EQ(pages[5].lines.size(), 6u + 2u);
}

TEST_F(InventoryReport, NewPageStartsEveryRecordOnAPageOfItsOwn) {
  ReportOptions options;
  options.newPage = true;
  Record second = fullRecord();
  second.name = "Annex";
  const auto pages = LayoutReport({fullRecord(), second}, metrics(100000), options, strings_);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].lines[0], (ReportLine{0, 0, label("Printer Name:") + "Front desk"}));
  EXPECT_EQ(pages[1].lines[0], (ReportLine{0, 0, label("Printer Name:") + "Annex"}));
  EXPECT_EQ(pages[1].lines.back().text.substr(pages[1].lines.back().text.size() - 6), "Page 2");
}

TEST_F(InventoryReport, ARefusedPageStopsTheLayout) {
  int emitted = 0;
  ReportLayout layout(metrics(12 * kLine), {}, strings_, [&](const ReportPage&) { return ++emitted < 2; });
  EXPECT_FALSE(layout.Add(fullRecord()));
  EXPECT_EQ(emitted, 2);
  EXPECT_FALSE(layout.Finish());
  EXPECT_EQ(emitted, 2);
}

}  // namespace
