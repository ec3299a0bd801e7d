// The family's job statistics: the job and status lines, their texts, one
// file line taken apart, the totals read back, and the icon handing lines
// to the program's service.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCoreApplication>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>

#include "common/notebook_messages.h"
#include "common/ports.h"
#include "framework/scripted_shell.h"
#include "hostile_places.h"
#include "lone_page.h"
#include "meridian/job_lines.h"
#include "meridian/mer_statistics.h"
#include "meridian_fixture.h"
#include "platform/clock.h"
#include "platform/unique_fd.h"
#include "platform/window_messages.h"
#include "test_dirs.h"

namespace {

namespace jl = wf::meridian;

const std::string kTime = "Wed,Jun,05,14:03:07,2024";
const std::string kGoldenJob =
    "LPT1:,Wed,Jun,05,14:03:07,2024,3,0,0,42,0,0,0,0,0,0,3,3,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,,,"
    ","
    "report,,,,,,\r\n";

// Source i in slot i - 1, as the usual trays are numbered.
const UINT kSlots[10] = {0, 0, 1, 2, 3, 4, 5, 6, 7, 8};

WFPrtObj::JSALERTDATA jobStatsRecord(USHORT count, std::vector<std::pair<int, WFPrtObj::JSSHEETS>> entries) {
  WFPrtObj::JSALERTDATA data;
  data.entryCount = count;
  for (auto& [source, sheets] : entries) data.entries[source] = sheets;
  return data;
}

TEST(JobLines, TheJobAndStatusLinesField) {
  WFPrtObj::JSALERTDATA data = jobStatsRecord(3, {{3, {3, 3, 0xFFFFFFFF}}});
  data.seconds = 42;
  data.jobName = "report";
  const jl::JobLine line = jl::buildJobLine("LPT1:", kTime, data, kSlots, nullptr);
  EXPECT_EQ(line.text, kGoldenJob);
  EXPECT_EQ(line.sheets, 3u);
  EXPECT_EQ(line.sides, 3u);

  std::string zeros;
  for (int i = 0; i < 35; ++i) zeros += "0,";
  EXPECT_EQ(jl::buildStatusLine("LPT1:", kTime, "SN0001234", "Ready"),
            "LPT1:," + kTime + "," + zeros + ",,,,,,SN0001234,Ready\r\n");
  EXPECT_TRUE(jl::buildJobLine("LPT1:", kTime, data, kSlots, "x,y").text.ends_with(",,,x,y\r\n"));
}

TEST(JobLines, SourcesFillTheirSlots) {
  struct Case {
    const char* what;
    WFPrtObj::JSALERTDATA data;
    std::string triples;  // fields 11 to 40
    ULONG sheets, sides;
  };
  auto triples = [](std::map<int, std::string> set) {
    std::string out;
    for (int slot = 0; slot < 10; ++slot) out += (slot ? "," : "") + (set.count(slot) ? set[slot] : "0,0,0");
    return out;
  };
  UINT shared[10] = {0, 4, 4, 4, 4, 4, 4, 4, 4, 4};
  const Case cases[] = {
      {"no sources", jobStatsRecord(0, {{1, {5, 5, 5}}}), triples({}), 0, 0},
      {"two sources", jobStatsRecord(2, {{1, {2, 4, 7}}, {2, {1, 1, 0xFFFFFFFF}}}),
       triples({{0, "2,4,7"}, {1, "1,1,0"}}), 3, 5},
      {"above ten", jobStatsRecord(12, {{1, {1, 1, 1}}, {9, {9, 9, 9}}, {10, {10, 20, 0}}}),
       triples({{0, "1,1,1"}, {8, "9,9,9"}}), 20, 30},
  };
  for (const Case& c : cases) {
    const jl::JobLine line = jl::buildJobLine("P:", kTime, c.data, kSlots, nullptr);
    const std::string head = "P:," + kTime + "," + std::to_string(c.data.entryCount) + ",0,0,0,";
    ASSERT_TRUE(line.text.starts_with(head)) << c.what << ": " << line.text;
    EXPECT_EQ(line.text.substr(head.size(), c.triples.size()), c.triples) << c.what;
    EXPECT_EQ(line.sheets, c.sheets) << c.what;
    EXPECT_EQ(line.sides, c.sides) << c.what;
  }
  // Two sources in one slot: the later one's counts stay.
  const auto line =
      jl::buildJobLine("P:", kTime, jobStatsRecord(3, {{2, {1, 1, 1}}, {3, {2, 2, 2}}}), shared, nullptr);
  EXPECT_NE(line.text.find(triples({{4, "2,2,2"}})), std::string::npos) << line.text;
}

TEST(JobLines, TextsCannotShiftFieldsOrBreakLines) {
  EXPECT_EQ(jl::lineText(std::string("a,b\r\nc\0d", 8), 190), "a;b  c d");
  EXPECT_EQ(jl::lineText(std::string(300, 'x'), 190).size(), 190u);
  // "é" is two bytes: a cut never splits it.
  EXPECT_EQ(jl::lineText(std::string(189, 'x') + "\xC3\xA9", 190), std::string(189, 'x'));
  WFPrtObj::JSALERTDATA data = jobStatsRecord(0, {});
  data.jobName = "a,b\r\n";
  data.host = std::string(300, 'h');
  const std::string text = jl::buildJobLine("P:", kTime, data, kSlots, nullptr).text;
  EXPECT_EQ(std::count(text.begin(), text.end(), ','), 50);
  EXPECT_EQ(text.find('\n'), text.size() - 1);
  EXPECT_LT(text.size(), 2048u);
}

TEST(JobLines, TextsAreCutOnlyWhenTheLineWouldNotFit) {
  WFPrtObj::JSALERTDATA data = jobStatsRecord(0, {});
  // Whole while the line fits.
  data.jobName = std::string(250, 'j');
  EXPECT_NE(jl::buildJobLine("LPT1:", kTime, data, kSlots, nullptr).text.find(data.jobName),
            std::string::npos);
  const std::string ports = "LPT1:;" + std::string(400, 'p');
  EXPECT_TRUE(jl::buildStatusLine(ports, kTime, "S1", std::string(300, 's')).starts_with(ports + ","));

  // Too long together: the longest are cut to one length, the short stay, on a character boundary.
  data.host = std::string(1500, 'h');
  data.user = "user";
  std::string queue;
  for (int i = 0; i < 700; ++i) queue += "\xC3\xA9";  // "é", two bytes each
  data.queue = queue;
  const std::string text = jl::buildJobLine("LPT1:", kTime, data, kSlots, nullptr).text;
  EXPECT_LE(text.size(), 2047u);
  EXPECT_GE(text.size(), 2044u) << "the room is used";
  EXPECT_EQ(std::count(text.begin(), text.end(), ','), 50);
  EXPECT_NE(text.find(",user,"), std::string::npos);
  EXPECT_NE(text.find("," + data.jobName + ","), std::string::npos) << "shorter than the cut";
  const std::size_t host = text.find(",h") + 1;
  const std::size_t hostLength = text.find(',', host) - host;
  const std::size_t queueStart = text.find("\xC3");
  const std::size_t queueLength = text.find(',', queueStart) - queueStart;
  EXPECT_GT(hostLength, 250u);
  EXPECT_LE(queueLength, hostLength);
  EXPECT_GE(queueLength + 1, hostLength) << "cut to one length";
  EXPECT_EQ(queueLength % 2, 0u) << "never inside a character";

  const std::string status = jl::buildStatusLine(std::string(3000, 'p'), kTime, "S1", "Ready\r\nLPT1:,x");
  EXPECT_LE(status.size(), 2047u);
  EXPECT_TRUE(status.ends_with(",S1,Ready  LPT1:;x\r\n")) << status.substr(status.size() - 40);
}

TEST(ParseJSDataEntry, TellsRecordsOfThisPrinterApart) {
  CWFPortList lpt1("LPT1:");
  // Fields 1 to 49 of a job line: 7 jobs... seconds 7, slot 0 holds 5 sheets, 9 sides, an empty third.
  std::vector<std::string> f(50);
  f[1] = "LPT1:";
  const char* time[] = {"Wed", "Jun", "05", "14:03:07", "2024"};
  for (int i = 0; i < 5; ++i) f[2 + i] = time[i];
  f[7] = "1", f[8] = "0", f[9] = "0", f[10] = "7", f[11] = "5", f[12] = "9";
  for (int i = 14; i <= 41; ++i) f[i] = "0";
  auto join = [](std::vector<std::string> fields, int last) {
    std::string out = fields[1];
    for (int i = 2; i <= last; ++i) out += "," + fields[i];
    return out;
  };
  auto with = [&](int field, const char* value) {
    auto changed = f;
    changed[field] = value;
    return join(changed, 49);
  };
  const std::string job = join(f, 49);
  struct Case {
    const char* what;
    std::string line;
    BOOL portCheck;
    BOOL ok;
    BOOL jobLine;
  };
  const Case cases[] = {
      {"a job line", job, TRUE, TRUE, TRUE},
      {"no comma", "LPT1:", FALSE, FALSE, FALSE},
      {"another port", with(1, "LPT2:"), TRUE, FALSE, FALSE},
      {"no port at all", with(1, ""), TRUE, FALSE, FALSE},
      {"any port without the check", with(1, "LPT2:"), FALSE, TRUE, TRUE},
      {"a status line", with(49, "Ready"), TRUE, TRUE, FALSE},
      {"extra text after field 49", job + ",more,fields", TRUE, TRUE, TRUE},
      {"a field missing", join(f, 48), TRUE, FALSE, FALSE},
      {"a letter after digits", with(12, "9x"), TRUE, FALSE, FALSE},
      // Counters are what the writer prints of a 32-bit value, nothing else.
      {"a negative counter", with(11, "-5"), TRUE, FALSE, FALSE},
      {"a signed counter", with(11, "+5"), TRUE, FALSE, FALSE},
      {"a counter above 32 bits", with(12, "4294967296"), TRUE, FALSE, FALSE},
      {"LONG_MAX", with(14, "9223372036854775807"), TRUE, FALSE, FALSE},
      {"beyond any integer", with(14, "99999999999999999999999999"), TRUE, FALSE, FALSE},
      {"a blank inside", with(14, "1 2"), TRUE, FALSE, FALSE},
      {"a negative year", with(6, "-2024"), TRUE, FALSE, FALSE},
      {"blanks around a counter", with(14, " 42 "), TRUE, TRUE, TRUE},
      {"the largest counter", with(14, "4294967295"), TRUE, TRUE, TRUE},
  };
  for (const Case& c : cases) {
    std::string copy = c.line;
    char* month = nullptr;
    long values[50] = {};
    BOOL jobLine = FALSE;
    EXPECT_EQ(ParseJSDataEntry(copy.data(), c.portCheck, &month, values, &jobLine, &lpt1), c.ok) << c.what;
    if (c.ok) {
      EXPECT_EQ(jobLine, c.jobLine) << c.what;
    }
    if (c.ok && c.jobLine) {
      EXPECT_STREQ(month, "Jun") << c.what;
      EXPECT_EQ(values[10], 7) << c.what;
      EXPECT_EQ(values[11], 5) << c.what;
      EXPECT_EQ(values[12], 9) << c.what;
      EXPECT_EQ(values[13], 0) << c.what;  // an empty counter reads as 0
    }
  }
  std::string largest = with(14, "4294967295");
  char* month = nullptr;
  long values[50] = {};
  BOOL jobLine = FALSE;
  ASSERT_TRUE(ParseJSDataEntry(largest.data(), TRUE, &month, values, &jobLine, &lpt1));
  EXPECT_EQ(values[14], 4294967295L);
}

// A job line of LPT1 with fields replaced (numbered from 1).
std::string jobLineWith(std::map<int, std::string> fields) {
  WFPrtObj::JSALERTDATA data = jobStatsRecord(1, {{1, {1, 1, 0}}});
  data.seconds = 10;
  std::string line = jl::buildJobLine("LPT1:", kTime, data, kSlots, nullptr).text;
  line.resize(line.size() - 2);
  std::string out;
  std::size_t start = 0;
  for (int n = 1; start <= line.size(); ++n) {
    const std::size_t comma = std::min(line.find(',', start), line.size());
    out += (n > 1 ? "," : "") + (fields.count(n) ? fields[n] : line.substr(start, comma - start));
    start = comma + 1;
  }
  return out + "\r\n";
}

const std::string kLongMax = "9223372036854775807";

// A sane job of one sheet, then lines that must not count.
std::string hostileFile() {
  return jobLineWith({}) + jobLineWith({{11, "-5"}}) + jobLineWith({{11, kLongMax}, {14, kLongMax}}) +
         jobLineWith({{12, "4294967296"}}) + jobLineWith({{10, "-1"}}) + jobLineWith({{11, "+1"}});
}

// LPT1's totals in a file holding `text`.
jl::JobTotals totalsOf(const std::string& text) {
  const auto file = wf::testing::testDataRoot() / "read.csv";
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
  wf::UniqueFd fd(::open(file.c_str(), O_RDONLY));
  CWFPortList lpt1("LPT1:");
  return jl::readTotals(fd.get(), &lpt1);
}

TEST(JobLines, HostileCountersLeaveTheSaneTotals) {
  const jl::JobTotals totals = totalsOf(hostileFile());
  EXPECT_EQ(totals.jobs, 1u);
  EXPECT_EQ(totals.sheets, 1u);
  EXPECT_EQ(totals.duplex, 0u);
  EXPECT_EQ(totals.seconds, 10u);
  EXPECT_FALSE(totals.saturated);
}

TEST(JobLines, TotalsHoldAtTheirLargestValue) {
  const std::string max = "4294967295";
  // Each line: the largest sheets in two slots and the largest time.
  const std::string line = jobLineWith({{10, max}, {11, max}, {12, max}, {14, max}, {15, max}});
  const jl::JobTotals totals = totalsOf(line + line + line);
  EXPECT_EQ(totals.jobs, 3u);
  EXPECT_EQ(totals.sheets, 4294967295u);
  EXPECT_EQ(totals.seconds, 4294967295u);
  EXPECT_EQ(totals.duplex, 0u);
  EXPECT_TRUE(totals.saturated);
}

TEST(JobLines, TotalsCountThisPrintersJobsOnly) {
  const auto file = wf::testing::testDataRoot() / "totals.csv";
  std::filesystem::create_directories(file.parent_path());
  WFPrtObj::JSALERTDATA simplex = jobStatsRecord(1, {{1, {3, 3, 0}}});
  simplex.seconds = 30;
  WFPrtObj::JSALERTDATA duplex = jobStatsRecord(1, {{1, {2, 3, 0}}});
  duplex.seconds = 12;
  std::ofstream(file, std::ios::binary)
      << jl::buildJobLine("LPT1:", kTime, simplex, kSlots, nullptr).text
      << jl::buildStatusLine("LPT1:", kTime, "S1", "Ready")
      << jl::buildJobLine("LPT2:", kTime, simplex, kSlots, nullptr).text << "LPT1:," << std::string(3000, 'x')
      << "\r\n"
      << jl::buildJobLine("lpt1:;IP:HOST", kTime, duplex, kSlots, nullptr).text << "LPT1:,broken,line\r\n"
      << jl::buildJobLine("LPT1:", kTime, simplex, kSlots, nullptr).text.substr(0, 60);  // no end: not read
  wf::UniqueFd fd(::open(file.c_str(), O_RDONLY));
  CWFPortList lpt1("LPT1:");
  const jl::JobTotals totals = jl::readTotals(fd.get(), &lpt1);
  EXPECT_EQ(totals.jobs, 2u);
  EXPECT_EQ(totals.sheets, 5u);
  EXPECT_EQ(totals.duplex, 1u);
  EXPECT_EQ(totals.seconds, 42u);
}

class MeridianJobStats : public wf::testing::MeridianFixture {
 protected:
  void SetUp() override {
    MeridianFixture::SetUp();
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    wf::setNowForTest([] { return std::time_t{1717596187}; });  // Wed 5 June 2024 14:03:07
  }
  void TearDown() override {
    wf::setNowForTest({});
    MeridianFixture::TearDown();
  }
  wf::fw::ScriptedShell shell_;
  std::vector<std::string> lines() {
    runQueuedWork();
    return app_.jsfManager.lines();
  }
};

TEST_F(MeridianJobStats, TrackedJobsAndStatusChangesBecomeLines) {
  CWFMeridianIcon* icon = addMeridian(21, "LPT1:");
  WFPrtObj::JSALERTDATA data = jobStatsRecord(1, {{1, {2, 3, 0xFFFFFFFF}}});
  data.seconds = 42;
  data.jobName = "report";
  icon->SetTrackingJS(FALSE);
  icon->DigestJobStatData(&data);
  icon->OnSetStatus("Ready", "Paper Out");
  EXPECT_TRUE(lines().empty());

  icon->SetTrackingJS(TRUE);
  icon->DigestJobStatData(&data);
  // Every setting of the status is a line, also with the same text again.
  const std::string ready = "Ready", readyAgain = "Ready";
  icon->OnSetStatus(ready.c_str(), ready.c_str());
  icon->OnSetStatus(ready.c_str(), readyAgain.c_str());
  icon->OnSetStatus("", "Ready");
  icon->OnSetStatus("Ready", "");
  icon->OnSetStatus("Ready", "Paper Out");
  const auto written = lines();
  ASSERT_EQ(written.size(), 3u);
  EXPECT_TRUE(written[0].starts_with("LPT1:,Wed,Jun,05,14:03:07,2024,1,0,0,42,")) << written[0];
  EXPECT_TRUE(written[0].ends_with(",,,report,,,,,,\r\n")) << written[0];
  EXPECT_TRUE(written[1].starts_with("LPT1:,Wed,Jun,05,14:03:07,2024,0,0,")) << written[1];
  EXPECT_TRUE(written[2].starts_with("LPT1:,Wed,Jun,05,14:03:07,2024,0,0,")) << written[2];
  EXPECT_EQ(icon->GetTotalJobs(), 1u);
  EXPECT_EQ(icon->GetTotalSheets(), 2u);
  EXPECT_EQ(icon->GetTotalDuplex(), 1u);
  EXPECT_EQ(icon->GetAverageSeconds(), 42u);

  // Sheets 0: a line, but no job.
  WFPrtObj::JSALERTDATA none = jobStatsRecord(0, {});
  icon->DigestJobStatData(&none);
  EXPECT_EQ(lines().size(), 4u);
  EXPECT_EQ(icon->GetTotalJobs(), 1u);
}

TEST_F(MeridianJobStats, TheFileGivesTheTotalsAndAMissingOneIsSilent) {
  CWFMeridianIcon* icon = addMeridian(22, "LPT1:");
  app_.jsFilename = (wf::testing::testDataRoot() / "none.csv").c_str();
  icon->ParseJSFile();
  EXPECT_EQ(icon->GetTotalJobs(), 0u);
  EXPECT_TRUE(shell_.messageBox.calls().empty());

  const auto file = wf::testing::testDataRoot() / "jobs.csv";
  std::filesystem::create_directories(file.parent_path());
  WFPrtObj::JSALERTDATA data = jobStatsRecord(1, {{1, {2, 3, 0}}});
  data.seconds = 42;
  std::ofstream(file, std::ios::binary) << jl::buildJobLine("LPT1:", kTime, data, kSlots, nullptr).text
                                        << jl::buildJobLine("LPT1:", kTime, data, kSlots, nullptr).text;
  app_.jsFilename = file.c_str();
  icon->ParseJSFile();
  EXPECT_EQ(icon->GetTotalJobs(), 2u);
  EXPECT_EQ(icon->GetTotalSheets(), 4u);
  EXPECT_EQ(icon->GetTotalDuplex(), 2u);

  // Another failure to open is told.
  app_.jsFilename = (file.string() + "/not-a-directory").c_str();
  icon->ParseJSFile();
  ASSERT_EQ(shell_.messageBox.calls().size(), 1u);
  EXPECT_EQ(shell_.messageBox.calls()[0].caption, "Job Statistics Error:");
  EXPECT_NE(shell_.messageBox.calls()[0].text.find("not-a-directory"), std::string::npos);
  EXPECT_EQ(icon->GetTotalJobs(), 0u);
}

}  // namespace

namespace {

TEST_F(MeridianJobStats, AFileThatIsNoFileIsToldAndNotWaitedOn) {
  CWFMeridianIcon* icon = addMeridian(26, "LPT1:");
  const auto file = wf::testing::testDataRoot() / "named.csv";
  app_.jsFilename = file.c_str();
  std::size_t told = 0;
  for (const auto& place : wf::testing::hostilePlaces()) {
    SCOPED_TRACE(place.what);
    wf::testing::makeHostile(place.kind, file);
    icon->ParseJSFile();
    EXPECT_EQ(icon->GetTotalJobs(), 0u);
    // A large file is read: it holds no line.
    if (place.regular) continue;
    ASSERT_EQ(shell_.messageBox.calls().size(), ++told);
    EXPECT_EQ(shell_.messageBox.calls().back().caption, "Job Statistics Error:");
    EXPECT_NE(shell_.messageBox.calls().back().text.find(file.string()), std::string::npos);
  }
  EXPECT_EQ(shell_.messageBox.calls().size(), told);
}

TEST_F(MeridianJobStats, AReadForTheNotebookTellsItAndEndsTurningOn) {
  CWFMeridianIcon* icon = addMeridian(24, "LPT1:");
  std::vector<std::pair<UINT, std::string>> seen;
  const HWND notebook = wf::createWindow("JSNotebook", [&](HWND, std::uint32_t message, WPARAM, LPARAM) {
    wf::Payload* payload = wf::currentPayload();
    seen.emplace_back(message, payload ? std::string(payload->begin(), payload->end()).c_str() : "");
    return LRESULT{0};
  });
  icon->SetOpenDlgHandle(notebook);
  icon->SetTurningTrackOn(TRUE);
  wf::setTimeScaleForTest(0.001);
  icon->ParseJSFileOnThread();
  const auto work = runQueuedWork();
  wf::setTimeScaleForTest(1.0);
  icon->SetOpenDlgHandle(0);
  const auto got = seen;
  wf::destroyWindow(notebook);
  ASSERT_EQ(work.size(), 1u);
  EXPECT_NE(work[0].find("ParseJSFileFunc()"), std::string::npos);
  EXPECT_FALSE(icon->GetTurningTrackOn());
  const std::vector<std::pair<UINT, std::string>> expected = {
      {WM_WF_MESSAGE, text(40059).str()}, {WM_WF_JOBSTAT, ""}, {WM_WF_MESSAGE, ""}};
  EXPECT_EQ(got, expected);

  // Without a notebook nothing is read, and turning on still ends.
  icon->SetTurningTrackOn(TRUE);
  icon->ParseJSFileOnThread();
  runQueuedWork();
  EXPECT_FALSE(icon->GetTurningTrackOn());
}

}  // namespace

namespace {

class MeridianStatisticsPage : public MeridianJobStats, public wf::testing::LonePage<CMerOStatistics> {
 protected:
  CMerOStatistics* open(CWFMeridianIcon* icon) { return openAlone(new CMerOStatistics(icon), "Statistics"); }
  void TearDown() override {
    closeAlone();
    MeridianJobStats::TearDown();
  }
  bool enabled(int id) { return page_->GetDlgItem(id)->IsWindowEnabled(); }
  std::vector<std::string> queued() {
    std::vector<std::string> labels;
    while (!app_.ThreadMgrQIsEmpty()) {
      std::unique_ptr<CWFThread> item(app_.ThreadMgrQRemoveHead());
      labels.push_back(item->GetString().str());
      item->m_pfnProc(item->m_pParam);
    }
    return labels;
  }
  static int reads(const std::vector<std::string>& labels) {
    return static_cast<int>(std::count_if(labels.begin(), labels.end(), [](const std::string& l) {
      return l.find("ParseJSFileFunc()") != l.npos;
    }));
  }
};

TEST_F(MeridianStatisticsPage, AverageTimesReadAsHoursMinutesSeconds) {
  EXPECT_EQ(CMerOStatistics::FormatAverage(59).str(), "00:00:59");
  EXPECT_EQ(CMerOStatistics::FormatAverage(3600).str(), "01:00:00");
  EXPECT_EQ(CMerOStatistics::FormatAverage(3661).str(), "01:01:01");
}

TEST_F(MeridianStatisticsPage, AHostileFileShowsTheSaneTotals) {
  CWFMeridianIcon* icon = addMeridian(25, "LPT1:");
  icon->SetTrackingJS(TRUE);
  queued();
  const auto file = wf::testing::testDataRoot() / "hostile-page.csv";
  std::filesystem::create_directories(file.parent_path());
  const std::string max = "4294967295";
  // One sane job of 1 sheet, the hostile lines, and two jobs whose duplex sheets saturate.
  std::ofstream(file, std::ios::binary) << hostileFile() << jobLineWith({{11, "0"}, {12, max}, {15, max}})
                                        << jobLineWith({{11, "0"}, {12, max}, {15, max}});
  app_.jsFilename = file.c_str();
  app_.jsFiletime = CTime(1717596187);
  open(icon);
  const HWND notebook =
      wf::createWindow("JSNotebook", [](HWND, std::uint32_t, WPARAM, LPARAM) { return LRESULT{0}; });
  icon->SetOpenDlgHandle(notebook);
  wf::setTimeScaleForTest(0.001);
  const int read = reads(queued());
  wf::setTimeScaleForTest(1.0);
  icon->SetOpenDlgHandle(0);
  wf::destroyWindow(notebook);
  ASSERT_EQ(read, 1);
  page_->UpdateData(FALSE);
  CString jobs, sheets, duplex;
  page_->GetDlgItemText(1009, jobs);
  page_->GetDlgItemText(1010, sheets);
  page_->GetDlgItemText(1011, duplex);
  EXPECT_EQ(jobs.str(), "3");
  EXPECT_EQ(sheets.str(), "1");
  EXPECT_EQ(duplex.str(), "4294967295");
}

TEST_F(MeridianStatisticsPage, TrackingDecidesWhatMayBeUsed) {
  CWFMeridianIcon* icon = addMeridian(23, "LPT1:");
  icon->SetTrackingJS(FALSE);
  queued();
  open(icon);
  // Off: the totals are greyed, Refresh (and Reset for an administrator) usable.
  EXPECT_TRUE(enabled(1018));
  EXPECT_FALSE(enabled(1009));
  EXPECT_FALSE(enabled(1012));
  EXPECT_TRUE(enabled(1019));
  EXPECT_EQ(enabled(1017), icon->IsUserAdmin() != FALSE);
  EXPECT_EQ(reads(queued()), 0);

  // On without a file: no read, and the box stays usable.
  page_->CheckDlgButton(1018, 1);
  page_->SendMessage(WM_COMMAND, MAKELONG(1018, BN_CLICKED), page_->GetDlgItem(1018)->GetSafeHwnd());
  EXPECT_TRUE(icon->GetTrackingJS());
  EXPECT_EQ(reads(queued()), 0);
  EXPECT_TRUE(enabled(1018));
  EXPECT_TRUE(enabled(1009));
  EXPECT_FALSE(enabled(1019));
  EXPECT_FALSE(enabled(1017));

  // With a file: ticking again starts exactly one read, the box greyed until it ends.
  page_->CheckDlgButton(1018, 0);
  page_->SendMessage(WM_COMMAND, MAKELONG(1018, BN_CLICKED), page_->GetDlgItem(1018)->GetSafeHwnd());
  queued();
  app_.jsFiletime = CTime(1717596187);
  page_->CheckDlgButton(1018, 1);
  page_->SendMessage(WM_COMMAND, MAKELONG(1018, BN_CLICKED), page_->GetDlgItem(1018)->GetSafeHwnd());
  EXPECT_FALSE(enabled(1018));
  EXPECT_TRUE(icon->GetTurningTrackOn());
  page_->UpdateData(FALSE);
  EXPECT_EQ(reads(queued()), 1);
  EXPECT_FALSE(icon->GetTurningTrackOn());
}

}  // namespace
