// A finished print job raises one job-statistics alert (class 1) when the
// host captured the class: pages from the form feeds, sheets by the job's
// duplex setting, the source and time from the knobs.
#include <gtest/gtest.h>

#include "hex_bytes.h"
#include "sim/printer/alerts.h"
#include "sim/printer/npa.h"
#include "sim/printer/pjl.h"
#include "sim/printer/printer.h"

namespace wf::sim {
namespace {

using wf::testing::hex;
using wf::testing::toHex;

const std::string kCaptureJobStatistics = npa::encode(0x50, 0xE0, hex("03 01"));
const std::string kStartDocument = hex("A5 00 07 50 E0 EB 01 00 C9 02");
const std::string kUel(pjl::kUel);

PrinterModel meridian(const char* revision) {
  std::string error;
  auto profile =
      parseProfile(std::string("family = Meridian\nnpa = on\nrevision = ") + revision + "\n", &error);
  EXPECT_TRUE(profile) << error;
  return PrinterModel(profile ? *profile : Profile{});
}

// The data of every job-statistics alert among the printer's answers.
std::vector<std::string> jobAlerts(const std::vector<Outgoing>& out) {
  std::string bytes;
  for (const auto& o : out) bytes += o.bytes;
  std::vector<std::string> found;
  while (auto size = npa::packetSize(bytes)) {
    const auto packet = npa::decode(bytes.substr(0, *size));
    bytes.erase(0, *size);
    if (packet.command == npa::kClassAlert && packet.data.size() > 1 && packet.data[1] == 0x01)
      found.push_back(packet.data);
  }
  return found;
}

std::string expected(std::uint8_t source, std::uint32_t first, std::uint32_t second, std::uint16_t seconds,
                     const std::string& text1) {
  alerts::JobStatistics s;
  s.seconds = seconds;
  s.entries.resize(source);
  s.entries.back() = {first, second, 0xFFFFFFFF};
  s.text1 = text1;
  return alerts::encodeJobStatistics(s);
}

std::string job(const std::string& name, bool duplex, const std::string& data) {
  return kUel + "@PJL JOB NAME=\"" + name + "\"\r\n" + (duplex ? "@PJL SET DUPLEX = ON\r\n" : "") +
         "@PJL ENTER LANGUAGE=PCL\r\n" + data + kUel + "@PJL EOJ\r\n" + kUel;
}

// Print data in command-0 packets of at most `chunk` bytes.
std::vector<Outgoing> printInPackets(PrinterModel& printer, const std::string& bytes, std::size_t chunk) {
  std::vector<Outgoing> all;
  for (std::size_t at = 0; at < bytes.size(); at += chunk) {
    auto out = printer.receive(npa::encode(0x10, 0x00, bytes.substr(at, chunk)));
    all.insert(all.end(), out.begin(), out.end());
  }
  return all;
}

TEST(JobStatistics, AJobInPacketsReportsItsPagesSheetsAndTexts) {
  struct Case {
    const char* what;
    const char* revision;
    bool duplex;
    std::string data;
    std::uint32_t first, second;  // as sent
  };
  const Case cases[] = {
      // 3.10.0 falls under the host's correction: first = sides, second = 3 sides - 2 sheets.
      {"simplex, corrected", "3.10.0", false, "one\ftwo\fthree\f", 3, 3},
      {"duplex, corrected", "3.10.0", true, "one\ftwo\fthree\f", 3, 5},
      {"duplex, as counted", "4.00.1", true, "one\ftwo\fthree\f", 2, 3},
      {"bytes after the last page", "4.00.1", false, "one\ftwo", 2, 2},
      {"no form feed", "4.00.1", true, "text", 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PrinterModel printer = meridian(c.revision);
    Knobs k;
    k.jobSource = 3;
    k.jobSeconds = 42;
    k.jobHost = "PC1";
    k.jobUser = "ann";
    k.jobQueue = "Q1";
    printer.setKnobs(k);
    printer.receive(kCaptureJobStatistics);
    // Cut anywhere, UELs included.
    const auto alerts = jobAlerts(printInPackets(printer, job("report", c.duplex, c.data), 7));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(toHex(alerts[0]), toHex(expected(3, c.first, c.second, 42, "HT:PC1;UR:ann;JN:report;QU:Q1")));
  }
}

TEST(JobStatistics, JobsEndAtAUelAfterDataOrAtTheNextDocument) {
  PrinterModel printer = meridian("4.00.1");
  printer.receive(kCaptureJobStatistics);
  // A raw PJL job ends at its closing UEL; the source and time are the defaults.
  auto alerts = jobAlerts(printer.receive(job("raw", false, "a\fb\f")));
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(toHex(alerts[0]), toHex(expected(1, 2, 2, 10, "HT:;UR:;JN:raw;QU:")));
  // Plain data in packets ends when the next document starts.
  EXPECT_TRUE(jobAlerts(printInPackets(printer, "x\fy\fz\f", 1019)).empty());
  alerts = jobAlerts(printer.receive(kStartDocument));
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(toHex(alerts[0]), toHex(expected(1, 3, 3, 10, "HT:;UR:;JN:;QU:")));
  // A job of commands alone is no job.
  EXPECT_TRUE(jobAlerts(printer.receive(kUel + "@PJL JOB NAME=\"empty\"\r\n" + kUel)).empty());
  EXPECT_TRUE(jobAlerts(printer.receive(kStartDocument)).empty());
}

TEST(JobStatistics, NothingIsSentWithoutTheCapture) {
  PrinterModel printer = meridian("3.10.0");
  EXPECT_TRUE(jobAlerts(printInPackets(printer, job("report", false, "a\f"), 1019)).empty());
  printer.receive(kCaptureJobStatistics);
  EXPECT_EQ(jobAlerts(printInPackets(printer, job("next", false, "a\f"), 1019)).size(), 1u);
}

}  // namespace
}  // namespace wf::sim
