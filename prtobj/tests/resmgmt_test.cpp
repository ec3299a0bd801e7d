// Resource management forwarded to the WFPRM library loaded by name.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/module.h"
#include "sim_printer.h"
#include "test_support.h"
#include "wfprm/wfprm.h"

namespace prtobjtest {
namespace {

TEST(PrtObjResMgmt, CommandsAndAlertsGoThroughWfprm) {
  wf::setModuleSearchPath({wf::moduleDirectory()});
  std::unique_ptr<TestObj> obj(freshObject());
  fakebce::pushReply(0, hex("00 00"));
  EXPECT_EQ(obj->bidiDeviceCopyFile("font.ttf", WFPrtObj::DEVICE_FLASH, WFPrtObj::DEVICE_DISK, 1), 0);
  const auto sent = fakebce::callsOf("BceSendBidi");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].code, 113u);
  EXPECT_EQ(sent[0].request, hex("04 02 01 01") + "font.ttf");
  EXPECT_EQ(dlopen("libcorbce.so", RTLD_LAZY | RTLD_NOLOAD), nullptr)
      << "WFPRM must reach the scripted broker through the object it was given";
  // Names travel in the printer's code page; one it cannot carry asks nothing.
  fakebce::pushReply(0, hex("00 00"));
  EXPECT_EQ(obj->bidiDeviceDeleteFile("\xC3\xBC" + std::string(253, 'n'), WFPrtObj::DEVICE_DISK), 0);
  ASSERT_EQ(fakebce::callsOf("BceSendBidi").size(), 2u);
  EXPECT_EQ(fakebce::callsOf("BceSendBidi")[1].request, hex("03 01 81") + std::string(253, 'n'));
  EXPECT_EQ(obj->bidiDeviceCopyFile("\xE2\x82\xAC.ttf", WFPrtObj::DEVICE_DISK, WFPrtObj::DEVICE_FLASH, 0),
            kBadReply);
  EXPECT_EQ(obj->bidiDeviceDeleteFile("\xE4\xB8\xAD", WFPrtObj::DEVICE_DISK), kBadReply);
  EXPECT_EQ(fakebce::callsOf("BceSendBidi").size(), 2u);
  fakebce::pushReply(0, hex("00 01"));  // refused by the printer
  EXPECT_EQ(obj->bidiDeviceFormat(WFPrtObj::DEVICE_DISK), kBadReply);

  const std::string entry = "2;font.ttf;7;FONT;12345;Serif; bold";
  fakebce::setAlert(
      9, hex("03 02 10 01 00000000") + std::string(1, '\0') + static_cast<char>(entry.size()) + entry);
  WFPrtObj::DEVICEMGMTALERTDATA alert;
  ASSERT_EQ(obj->bidiDeviceQueryAlert(9, &alert), 0);
  EXPECT_EQ(alert.kind, 16);
  EXPECT_EQ(alert.moreEntries, 1);
  EXPECT_EQ(alert.result, 0u);
  EXPECT_NE(alert.entryFlag & 0xFFFF, 0u);
  WFPrtObj::DEVICEDIRECTORYDATA dir;
  ASSERT_EQ(obj->parseDeviceDirectoryData(alert.entry, &dir), 0);
  EXPECT_EQ(dir.device, 2u);
  EXPECT_EQ(dir.name, "font.ttf");
  EXPECT_EQ(dir.size, "12345");
  EXPECT_EQ(dir.description, "Serif; bold");
  EXPECT_EQ(obj->parseDeviceDirectoryData("3;a;b;c;d;e", &dir), kBadReply);
  EXPECT_EQ(obj->parseDeviceDirectoryData("1;a;b", &dir), kBadReply);

  fakebce::setAlert(10, hex("03 02 10 00 00000000 00 20 41"));  // entry longer than the data
  EXPECT_EQ(obj->bidiDeviceQueryAlert(10, &alert), kBadReply);
  fakebce::setAlert(11, hex("03 01 10 00 00000000 00 00"));  // a job-statistics alert
  EXPECT_EQ(obj->bidiDeviceQueryAlert(11, &alert), kBadReply);
}

// WFPRM's commands answered by a simulated Keystone printer: each command is
// acknowledged, and its outcome comes back as class-2 alerts that the object
// fetches and decodes.
class PrtObjResMgmtOnSim : public ::testing::Test {
 protected:
  void SetUp() override {
    wf::setModuleSearchPath({wf::moduleDirectory()});
    obj.reset(freshObject());
    sim.attach();
    sim.ask(91, "\x02");  // capture class 2, as arming the resource alerts does
  }

  // The decoded alerts of the last command, in order.
  std::vector<WFPrtObj::DEVICEMGMTALERTDATA> outcomes() {
    std::vector<WFPrtObj::DEVICEMGMTALERTDATA> out;
    for (auto key : sim.takeAlertKeys()) {
      WFPrtObj::DEVICEMGMTALERTDATA record;
      EXPECT_EQ(obj->bidiDeviceQueryAlert(key, &record), 0) << key;
      out.push_back(record);
    }
    return out;
  }

  // One finished operation: a single alert of `kind`; its result.
  long resultOf(WFPrtObj::LONG rc, int kind) {
    EXPECT_EQ(rc, 0);
    const auto records = outcomes();
    if (records.size() != 1) return ADD_FAILURE() << records.size() << " alerts", -1;
    EXPECT_EQ(records[0].kind, kind);
    EXPECT_EQ(records[0].moreEntries, 0);
    EXPECT_EQ(records[0].entryFlag & 0xFFFF, 0u);
    return static_cast<long>(records[0].result);
  }

  // The device's files as the host decodes its listing.
  std::vector<WFPrtObj::DEVICEDIRECTORYDATA> listing(WFPrtObj::DEVICEID device) {
    std::vector<WFPrtObj::DEVICEDIRECTORYDATA> files;
    EXPECT_EQ(obj->bidiDeviceFileListing(device), 0);
    const auto records = outcomes();
    for (std::size_t i = 0; i < records.size(); ++i) {
      EXPECT_EQ(records[i].kind, 16);
      EXPECT_EQ(records[i].result, 0u);
      EXPECT_EQ(records[i].moreEntries, i + 1 < records.size() ? 1 : 0) << i;
      if (!(records[i].entryFlag & 0xFFFF)) continue;
      WFPrtObj::DEVICEDIRECTORYDATA file;
      EXPECT_EQ(obj->parseDeviceDirectoryData(records[i].entry, &file), 0) << records[i].entry;
      files.push_back(file);
    }
    return files;
  }

  std::string names(WFPrtObj::DEVICEID device) {
    std::string out;
    for (const auto& f : listing(device)) out += (out.empty() ? "" : ",") + f.name;
    return out;
  }

  SimPrinter sim{shippedProfile("keystone-vireo-n17.profile")};
  std::unique_ptr<TestObj> obj;
};

TEST_F(PrtObjResMgmtOnSim, ListingDecodesEveryEntryOfTheDevice) {
  const auto flash = listing(WFPrtObj::DEVICE_FLASH);
  ASSERT_EQ(flash.size(), 2u);
  EXPECT_EQ(flash[0].device, static_cast<WFPrtObj::ULONG>(WFPrtObj::DEVICE_FLASH));
  EXPECT_EQ(flash[0].name, "logo.mac");
  EXPECT_EQ(flash[0].id, "1");
  EXPECT_EQ(flash[0].type, "MACRO");
  EXPECT_EQ(flash[0].size, "1024");
  EXPECT_EQ(flash[0].description, "Company logo");
  EXPECT_EQ(flash[1].name, "serif.fnt");
  EXPECT_EQ(names(WFPrtObj::DEVICE_DISK), "invoice.frm,sans.fnt");
  EXPECT_EQ(listing(WFPrtObj::DEVICE_DISK)[0].device, static_cast<WFPrtObj::ULONG>(WFPrtObj::DEVICE_DISK));
}

TEST_F(PrtObjResMgmtOnSim, CopyMoveDeleteAndFormatReportTheirResults) {
  const auto flash = WFPrtObj::DEVICE_FLASH;
  const auto disk = WFPrtObj::DEVICE_DISK;
  EXPECT_EQ(resultOf(obj->bidiDeviceCopyFile("serif.fnt", flash, disk, 0), 20), 0);
  EXPECT_EQ(names(disk), "invoice.frm,sans.fnt,serif.fnt");
  EXPECT_EQ(names(flash), "logo.mac,serif.fnt");

  EXPECT_EQ(resultOf(obj->bidiDeviceCopyFile("logo.mac", flash, disk, 1), 18), 0);
  EXPECT_EQ(names(flash), "serif.fnt");
  EXPECT_EQ(names(disk), "invoice.frm,sans.fnt,serif.fnt,logo.mac");

  EXPECT_EQ(resultOf(obj->bidiDeviceDeleteFile("serif.fnt", disk), 17), 0);
  EXPECT_NE(resultOf(obj->bidiDeviceDeleteFile("serif.fnt", disk), 17), 0) << "already deleted";
  EXPECT_EQ(names(disk), "invoice.frm,sans.fnt,logo.mac");

  EXPECT_NE(resultOf(obj->bidiDeviceCopyFile("invoice.frm", disk, flash, 0), 20), 0)
      << "too big for the flash";

  EXPECT_EQ(resultOf(obj->bidiDeviceFormat(flash), 19), 0);
  EXPECT_EQ(listing(flash).size(), 0u);
  EXPECT_TRUE(sim.model().state().devices.at(2).files.empty());
}

TEST_F(PrtObjResMgmtOnSim, RefusedCommandAnswersMinusTwoAndLeavesTheObjectUsable) {
  EXPECT_EQ(obj->bidiDeviceCopyFile("serif.fnt", WFPrtObj::DEVICE_FLASH, WFPrtObj::DEVICE_FLASH, 0),
            kBadReply);
  EXPECT_TRUE(sim.takeAlertKeys().empty());
  EXPECT_EQ(resultOf(obj->bidiDeviceFormat(WFPrtObj::DEVICE_DISK), 19), 0);
}

TEST_F(PrtObjResMgmtOnSim, DeviceThePrinterLacksGivesAFailedListing) {
  sim = SimPrinter(shippedProfile("tidewater-pagecrest2.profile"));  // a flash only
  sim.ask(91, "\x02");
  ASSERT_EQ(obj->bidiDeviceFileListing(WFPrtObj::DEVICE_DISK), 0);
  const auto records = outcomes();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].kind, 16);
  EXPECT_NE(records[0].result, 0u);
  EXPECT_EQ(records[0].moreEntries, 0);
  EXPECT_EQ(records[0].entryFlag & 0xFFFF, 0u);
  EXPECT_EQ(names(WFPrtObj::DEVICE_FLASH), "logo.mac,serif.fnt");
}

}  // namespace
}  // namespace prtobjtest

namespace prtobjtest {
namespace {

// The job-buffering requests, as the family module calls them.
template <class Fn>
Fn wfprmEntry(const char* name) {
  void* module = dlopen((wf::moduleDirectory() / "libwfprm.so").c_str(), RTLD_NOW);
  return module ? reinterpret_cast<Fn>(dlsym(module, name)) : nullptr;
}

// All three of them; a missing one is null.
struct JobBufferingEntries {
  decltype(&bidiResMgmtQueryJobBufferingSummary) summary;
  decltype(&bidiResMgmtSetBufferingPartition) partition;
  decltype(&bidiResMgmtChangeBufferingState) port;
};
JobBufferingEntries jobBufferingEntries() {
  return {wfprmEntry<decltype(&bidiResMgmtQueryJobBufferingSummary)>("bidiResMgmtQueryJobBufferingSummary"),
          wfprmEntry<decltype(&bidiResMgmtSetBufferingPartition)>("bidiResMgmtSetBufferingPartition"),
          wfprmEntry<decltype(&bidiResMgmtChangeBufferingState)>("bidiResMgmtChangeBufferingState")};
}

TEST(PrtObjResMgmt, JobBufferingSummaryPartitionAndPorts) {
  std::unique_ptr<TestObj> obj(freshObject());
  const auto [summary, partition, port] = jobBufferingEntries();
  ASSERT_TRUE(summary && partition && port);

  fakebce::pushReply(0, hex("00 00 14 03 00 01 01 01 00 01 05 00 00"));
  WFPrtObj::ULONG percent = 0, count = 0;
  std::vector<RM_JOBBUFFSUMMARY> ports;
  ASSERT_EQ(summary(*obj, &percent, &count, &ports), 0);
  EXPECT_EQ(fakebce::callsOf("BceSendBidi").back().request, hex("05"));
  EXPECT_EQ(percent, 20u);
  ASSERT_EQ(count, 3u);
  ASSERT_EQ(ports.size(), 3u);
  EXPECT_EQ(ports[0].portKind, 0u);
  EXPECT_NE(ports[0].active, 0u);
  EXPECT_NE(ports[0].set, 0u);
  EXPECT_EQ(ports[1].portKind, 1u);
  EXPECT_EQ(ports[1].active, 0u);
  EXPECT_NE(ports[1].set, 0u);
  EXPECT_EQ(ports[2].portKind, 5u);

  // Replies that do not hold together leave the outputs alone.
  for (const char* bad : {"00 00 14 02 00 01 01", "00 00 65 00", "00 00 14 01 04 00 00", "00 01 14 00"}) {
    SCOPED_TRACE(bad);
    fakebce::pushReply(0, hex(bad));
    WFPrtObj::ULONG p = 7, n = 7;
    std::vector<RM_JOBBUFFSUMMARY> none;
    EXPECT_EQ(summary(*obj, &p, &n, &none), kBadReply);
    EXPECT_EQ(p, 7u);
    EXPECT_EQ(n, 7u);
    EXPECT_TRUE(none.empty());
  }

  fakebce::pushReply(0, hex("00 00"));
  EXPECT_EQ(partition(*obj, 20), 0);
  EXPECT_EQ(fakebce::callsOf("BceSendBidi").back().request, hex("06 14"));
  fakebce::pushReply(0, hex("00 01"));
  EXPECT_EQ(port(*obj, 1, 1), kBadReply);
  EXPECT_EQ(fakebce::callsOf("BceSendBidi").back().request, hex("07 01 01"));

  // The confirmations decode; short ones do not.
  WFPrtObj::DEVICEMGMTALERTDATA alert;
  fakebce::setAlert(12, hex("03 02 52 00 00000001 00 00"));
  ASSERT_EQ(obj->bidiDeviceQueryAlert(12, &alert), 0);
  EXPECT_EQ(alert.kind, 82);
  EXPECT_EQ(alert.result, 1u);
  fakebce::setAlert(13, hex("03 02 53 00 00000000 00 00"));
  ASSERT_EQ(obj->bidiDeviceQueryAlert(13, &alert), 0);
  EXPECT_EQ(alert.kind, 83);
  fakebce::setAlert(14, hex("03 02 53 00 0000"));
  EXPECT_EQ(obj->bidiDeviceQueryAlert(14, &alert), kBadReply);
}

// The simulated Keystone printer buffers what it is told: each change
// confirmed by its alert, the ports' switches active after a power-on reset.
TEST_F(PrtObjResMgmtOnSim, JobBufferingChangesTakeEffectAtThePowerOnReset) {
  const auto [summary, partition, port] = jobBufferingEntries();
  ASSERT_TRUE(summary && partition && port);
  WFPrtObj::ULONG percent = 7, count = 0;
  std::vector<RM_JOBBUFFSUMMARY> ports;
  // {kind, active, set} of each port, as the host reads them.
  auto read = [&] {
    std::string out;
    EXPECT_EQ(summary(*obj, &percent, &count, &ports), 0);
    for (const auto& p : ports)
      out += std::to_string(p.portKind) + (p.active ? "+" : "-") + (p.set ? "+ " : "- ");
    return out;
  };
  EXPECT_EQ(read(), "0-- 1-- 5-- ");
  EXPECT_EQ(percent, 0u);
  EXPECT_EQ(count, 3u);

  EXPECT_EQ(resultOf(partition(*obj, 20), 82), 0);
  EXPECT_TRUE(sim.model().state().devices.at(1).files.empty()) << "the partition takes the disk";
  EXPECT_EQ(resultOf(port(*obj, 0, 1), 83), 0);
  EXPECT_EQ(resultOf(port(*obj, 1, 1), 83), 0);
  EXPECT_EQ(read(), "0-+ 1-+ 5-- ");
  EXPECT_EQ(percent, 20u);
  EXPECT_EQ(port(*obj, 3, 1), kBadReply) << "a port the printer lacks";
  EXPECT_EQ(partition(*obj, 5), kBadReply) << "below the smallest partition";

  EXPECT_EQ(obj->bidiPORPrinter(), 0);
  EXPECT_EQ(read(), "0++ 1++ 5-- ");
  EXPECT_EQ(sim.model().enabledAlerts(), 0u) << "the reset forgets the captured classes";
}

}  // namespace
}  // namespace prtobjtest
