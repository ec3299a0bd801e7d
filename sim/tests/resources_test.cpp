// Disk and flash resource management: commands acknowledged, outcomes as
// class-2 alerts, the devices' files changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "hex_bytes.h"
#include "sim/printer/alerts.h"
#include "sim/printer/npa.h"
#include "sim/printer/printer.h"
#include "sim/printer/resources.h"

namespace wf::sim {
namespace {

using wf::testing::hex;
using wf::testing::toHex;

constexpr const char* kTwoDevices =
    "npa = on\n"
    "flash = 100\n"
    "file = flash a.fnt 1 FONT 40 Font A\n"
    "file = flash b.mac 2 MACRO 30 Macro; B\n"
    "disk = 1000\n"
    "file = disk c.frm 3 FORM 500 Form C\n"
    "file = disk a.fnt 4 FONT 60 Font A bold\n";

constexpr const char* kFlashOnly = "npa = on\nflash = 100\nfile = flash a.fnt 1 FONT 40 Font A\n";

const std::string kCaptureClass2 = npa::encode(0x50, 0xE0, hex("03 02"));
const std::string kAccepted = hex("A5 00 04 00 E1 00 00");
const std::string kRefused = hex("A5 00 04 00 E1 00 01");

PrinterModel printerOf(const char* text) {
  std::string error;
  auto profile = parseProfile(text, &error);
  EXPECT_TRUE(profile) << error;
  return PrinterModel(profile ? *profile : Profile{});
}

std::string command(std::string_view bytes) {
  return npa::encode(0x50, 0xE1, hex("00") + hex(bytes));
}

// Every byte the printer answers `request` with.
std::string answer(PrinterModel& printer, const std::string& request) {
  std::string bytes;
  for (const auto& o : printer.receive(request)) bytes += o.bytes;
  return bytes;
}

// The printer's answer split into packets: the acknowledgement, then alerts.
std::vector<npa::Packet> talk(PrinterModel& printer, const std::string& request) {
  std::string bytes = answer(printer, request);
  std::vector<npa::Packet> packets;
  while (!bytes.empty()) {
    const auto size = npa::packetSize(bytes);
    if (!size) {
      ADD_FAILURE() << "incomplete packet " << toHex(bytes);
      break;
    }
    packets.push_back(npa::decode(bytes.substr(0, *size)));
    bytes.erase(0, *size);
  }
  return packets;
}

std::string names(const PrinterModel& printer, std::uint8_t device) {
  const auto devices = printer.state().devices;
  auto it = devices.find(device);
  if (it == devices.end()) return "(none)";
  std::string out;
  for (const auto& f : it->second.files) out += (out.empty() ? "" : ",") + f.name;
  return out;
}

std::string alert(std::uint8_t kind, bool more, std::uint32_t result, std::string_view entry = {}) {
  return alerts::encodeResourceAlert(kind, more, result, entry);
}

// The acknowledgement, then `alerts` in order and nothing else.
void expectAcceptedThen(const std::vector<npa::Packet>& packets, const std::vector<std::string>& alerts) {
  ASSERT_EQ(packets.size(), 1 + alerts.size());
  EXPECT_EQ(npa::encode(packets[0].flags, packets[0].command, packets[0].data), kAccepted);
  for (std::size_t i = 0; i < alerts.size(); ++i) {
    EXPECT_EQ(packets[1 + i].command, npa::kClassAlert);
    EXPECT_EQ(toHex(packets[1 + i].data), toHex(alerts[i])) << "alert " << i;
  }
}

TEST(ResourceAlerts, LayoutIsClassTwoKindMoreResultAndLengthPrefixedEntry) {
  EXPECT_EQ(toHex(alerts::encodeResourceAlert(16, true, 0x01020304, "1;x")),
            "03 02 10 01 01 02 03 04 00 03 31 3B 78");
  EXPECT_EQ(toHex(alerts::encodeResourceAlert(19, false, 0)), "03 02 13 00 00 00 00 00 00 00");
}

TEST(ResourceCommands, OutcomesArriveAsClassTwoAlertsAfterTheAcknowledgement) {
  using namespace resources;
  const struct {
    const char* what;
    const char* command;
    std::vector<std::string> alerts;
    const char* flash;  // files afterwards
    const char* disk;
  } cases[] = {
      {"list flash",
       "01 02",
       {alert(kEntry, true, kDone, "2;a.fnt;1;FONT;40;Font A"),
        alert(kEntry, false, kDone, "2;b.mac;2;MACRO;30;Macro; B")},
       "a.fnt,b.mac",
       "c.frm,a.fnt"},
      {"list disk",
       "01 01",
       {alert(kEntry, true, kDone, "1;c.frm;3;FORM;500;Form C"),
        alert(kEntry, false, kDone, "1;a.fnt;4;FONT;60;Font A bold")},
       "a.fnt,b.mac",
       "c.frm,a.fnt"},
      {"format flash", "02 02", {alert(kFormatted, false, kDone)}, "", "c.frm,a.fnt"},
      {"delete", "03 02 62 2E 6D 61 63", {alert(kDeleted, false, kDone)}, "a.fnt", "c.frm,a.fnt"},
      {"delete a file the device lacks",
       "03 01 62 2E 6D 61 63",
       {alert(kDeleted, false, kNoSuchFile)},
       "a.fnt,b.mac",
       "c.frm,a.fnt"},
      {"copy flash to disk",
       "04 02 01 00 62 2E 6D 61 63",
       {alert(kCopied, false, kDone)},
       "a.fnt,b.mac",
       "c.frm,a.fnt,b.mac"},
      {"move flash to disk",
       "04 02 01 01 62 2E 6D 61 63",
       {alert(kMoved, false, kDone)},
       "a.fnt",
       "c.frm,a.fnt,b.mac"},
      {"copy over a file of the same name frees its room",
       "04 01 02 00 61 2E 66 6E 74",
       {alert(kCopied, false, kDone)},
       "a.fnt,b.mac",
       "c.frm,a.fnt"},
      {"copy a file too big for the target",
       "04 01 02 00 63 2E 66 72 6D",
       {alert(kCopied, false, kNoRoom)},
       "a.fnt,b.mac",
       "c.frm,a.fnt"},
      {"move a missing file",
       "04 01 02 01 7A",
       {alert(kMoved, false, kNoSuchFile)},
       "a.fnt,b.mac",
       "c.frm,a.fnt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PrinterModel printer = printerOf(kTwoDevices);
    printer.receive(kCaptureClass2);
    ASSERT_NO_FATAL_FAILURE(expectAcceptedThen(talk(printer, command(c.command)), c.alerts));
    EXPECT_EQ(names(printer, kFlash), c.flash);
    EXPECT_EQ(names(printer, kDisk), c.disk);
  }
}

TEST(ResourceCommands, CopiedFileKeepsItsFieldsAndAnEmptiedDeviceListsOneBareEntry) {
  using namespace resources;
  PrinterModel printer = printerOf(kTwoDevices);
  printer.receive(kCaptureClass2);
  talk(printer, command("04 01 02 01 63 2E 66 72 6D"));  // too big: nothing moves
  talk(printer, command("02 02"));
  auto packets = talk(printer, command("04 01 02 01 61 2E 66 6E 74"));
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(toHex(packets[1].data), toHex(alert(kMoved, false, kDone)));
  packets = talk(printer, command("01 02"));
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(toHex(packets[1].data), toHex(alert(kEntry, false, kDone, "2;a.fnt;4;FONT;60;Font A bold")));
  talk(printer, command("02 02"));
  packets = talk(printer, command("01 02"));
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(toHex(packets[1].data), toHex(alert(kEntry, false, kDone)));
  EXPECT_EQ(names(printer, kDisk), "c.frm");
}

TEST(ResourceCommands, DeviceNotInstalledIsAFailedResult) {
  using namespace resources;
  const struct {
    const char* command;
    std::string alert;
  } cases[] = {
      {"01 01", alert(kEntry, false, kNoSuchDevice)},
      {"02 01", alert(kFormatted, false, kNoSuchDevice)},
      {"03 01 61", alert(kDeleted, false, kNoSuchDevice)},
      {"04 02 01 00 61 2E 66 6E 74", alert(kCopied, false, kNoSuchDevice)},
  };
  for (const auto& c : cases) {
    PrinterModel printer = printerOf(kFlashOnly);
    printer.receive(kCaptureClass2);
    const auto packets = talk(printer, command(c.command));
    ASSERT_EQ(packets.size(), 2u) << c.command;
    EXPECT_EQ(toHex(packets[1].data), toHex(c.alert)) << c.command;
    EXPECT_EQ(names(printer, kFlash), "a.fnt") << c.command;
  }
}

TEST(ResourceCommands, MalformedCommandsAreRefusedAndChangeNothing) {
  const char* cases[] = {
      "",                // nothing after the sub-code
      "01",              // no device
      "08 02",           // unknown operation
      "01 03",           // unknown device
      "03 02",           // delete without a name
      "04 02 02 00 61",  // copy onto its own device
      "04 02 03 00 61",  // copy to an unknown device
      "04 02 01 00",     // copy without a name
  };
  for (const char* c : cases) {
    PrinterModel printer = printerOf(kTwoDevices);
    printer.receive(kCaptureClass2);
    EXPECT_EQ(toHex(answer(printer, command(c))), toHex(kRefused)) << c;
    EXPECT_EQ(names(printer, resources::kFlash), "a.fnt,b.mac") << c;
    EXPECT_EQ(names(printer, resources::kDisk), "c.frm,a.fnt") << c;
  }
}

TEST(ResourceCommands, OutcomesFollowTheAlertRules) {
  // Not captured: the command is carried out, no alert is sent.
  PrinterModel quiet = printerOf(kTwoDevices);
  EXPECT_EQ(talk(quiet, command("03 02 61 2E 66 6E 74")).size(), 1u);
  EXPECT_EQ(names(quiet, resources::kFlash), "b.mac");

  // Captured, then released: no alert again.
  PrinterModel released = printerOf(kTwoDevices);
  released.receive(kCaptureClass2);
  released.receive(npa::encode(0x50, 0xE0, hex("03 00")));
  EXPECT_EQ(talk(released, command("02 01")).size(), 1u);

  // Without a reply asked for, the alerts still come.
  PrinterModel noReply = printerOf(kTwoDevices);
  noReply.receive(kCaptureClass2);
  const auto packets = talk(noReply, npa::encode(0x40, 0xE1, hex("00 02 02")));
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0].command, npa::kClassAlert);

  // Held alerts go out inside the next reply.
  PrinterModel deferring = printerOf(kTwoDevices);
  deferring.receive(kCaptureClass2);
  Knobs knobs;
  knobs.deferAlerts = true;
  deferring.setKnobs(knobs);
  EXPECT_EQ(talk(deferring, command("01 02")).size(), 1u);
  EXPECT_EQ(deferring.deferredAlerts(), 2u);
  const auto next = talk(deferring, npa::encode(0x50, 0x04, hex("00")));
  ASSERT_EQ(next.size(), 3u);
  EXPECT_EQ(next[0].command, npa::kClassAlert);
  EXPECT_EQ(next[1].command, npa::kClassAlert);
  EXPECT_EQ(next[2].command, 0x04);
}

// The storage texts (characteristics 04) of the devices a profile declares.
std::vector<std::string> storageTexts(PrinterModel& printer) {
  const auto packets = talk(printer, npa::encode(0x50, 0x01, hex("04")));
  std::vector<std::string> out;
  if (packets.empty()) return out;
  const std::string& d = packets[0].data;
  std::size_t at = 2;
  for (int i = 0; i < static_cast<std::uint8_t>(d.at(1)) && at < d.size(); ++i) {
    const std::size_t n = static_cast<std::uint8_t>(d[at]);
    out.push_back(d.substr(at + 1, n));
    at += 1 + n;
  }
  return out;
}

TEST(ResourceCommands, StorageTextsFollowTheDevicesTheProfileDeclares) {
  PrinterModel printer = printerOf(
      "npa = on\nstorage = FLASH: 1;TOTAL: 100;FREE SPACE: 30\nstorage = DISK: 1;TOTAL: 9;FREE SPACE: 9\n"
      "storage = FONT CARTRIDGE: 0\nflash = 100\nfile = flash a.fnt 1 FONT 40 Font A\n"
      "file = flash b.mac 2 MACRO 30 Macro B\n");
  printer.receive(kCaptureClass2);
  // The flash's text is worked out; the undeclared disk's stays as written.
  EXPECT_EQ(storageTexts(printer),
            (std::vector<std::string>{"FLASH: 1;TOTAL: 100;FREE SPACE: 30", "DISK: 1;TOTAL: 9;FREE SPACE: 9",
                                      "FONT CARTRIDGE: 0"}));
  talk(printer, command("03 02 62 2E 6D 61 63"));
  EXPECT_EQ(storageTexts(printer).front(), "FLASH: 1;TOTAL: 100;FREE SPACE: 60");
  talk(printer, command("02 02"));
  EXPECT_EQ(storageTexts(printer).front(), "FLASH: 1;TOTAL: 100;FREE SPACE: 100");
}

TEST(ResourceCommands, AForcedResultIsTheNextOutcomeAndChangesNothing) {
  using namespace resources;
  PrinterModel printer = printerOf(kTwoDevices);
  printer.receive(kCaptureClass2);
  Knobs knobs = printer.knobs();
  knobs.resourceResult = 1;
  printer.setKnobs(knobs);
  // A refused command leaves the knob for the next one.
  EXPECT_EQ(talk(printer, command("09 02")).size(), 1u);
  auto packets = talk(printer, command("04 02 01 01 62 2E 6D 61 63"));
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(toHex(packets[1].data), toHex(alert(kMoved, false, 1)));
  EXPECT_EQ(names(printer, kFlash), "a.fnt,b.mac");
  EXPECT_EQ(names(printer, kDisk), "c.frm,a.fnt");
  packets = talk(printer, command("03 02 62 2E 6D 61 63"));
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(toHex(packets[1].data), toHex(alert(kDeleted, false, kDone))) << "only the next one";
  EXPECT_EQ(names(printer, kFlash), "a.fnt");
}

// Job buffering: a disk of 1000 with one file, partition 20, three ports.
constexpr const char* kBuffering =
    "npa = on\n"
    "disk = 1000\n"
    "file = disk c.frm 3 FORM 500 Form C\n"
    "jobbuf-partition = 20\n"
    "jobbuf-port = 0 1 1\n"
    "jobbuf-port = 1 0 0\n"
    "jobbuf-port = 5 0 1\n";

std::string summary(PrinterModel& printer) {
  const auto packets = talk(printer, command("05"));
  return packets.size() == 1 ? toHex(packets[0].data) : "(" + std::to_string(packets.size()) + " packets)";
}

TEST(JobBuffering, SummaryIsThePartitionAndEachPortsKindActiveAndSet) {
  PrinterModel printer = printerOf(kBuffering);
  EXPECT_EQ(toHex(talk(printer, command("05")).at(0).data), "00 00 14 03 00 01 01 01 00 00 05 00 01");
  PrinterModel none = printerOf("npa = on\n");
  EXPECT_EQ(summary(none), "00 00 00 00") << "no disk, no ports: what the profile says";
  auto keystone = loadProfile(std::filesystem::path(WF_SIM_PROFILE_DIR) / "keystone-vireo-n17.profile");
  ASSERT_TRUE(keystone);
  PrinterModel shipped(*keystone);
  EXPECT_EQ(summary(shipped), "00 00 00 03 00 00 00 01 00 00 05 00 00");
}

TEST(JobBuffering, ChangesAreConfirmedByKind82And83Alerts) {
  using namespace resources;
  const struct {
    const char* what;
    const char* command;
    std::vector<std::string> alerts;
    const char* summary;  // afterwards
    const char* disk;
  } cases[] = {
      {"partition 50",
       "06 32",
       {alert(kPartitionChanged, false, kDone)},
       "00 00 32 03 00 01 01 01 00 00 05 00 01",
       ""},
      {"partition 10",
       "06 0A",
       {alert(kPartitionChanged, false, kDone)},
       "00 00 0A 03 00 01 01 01 00 00 05 00 01",
       ""},
      {"whole disk",
       "06 64",
       {alert(kPartitionChanged, false, kDone)},
       "00 00 64 03 00 01 01 01 00 00 05 00 01",
       ""},
      {"no partition: nothing to report", "06 00", {}, "00 00 00 03 00 01 01 01 00 00 05 00 01", ""},
      {"port 1 on: set, not yet active",
       "07 01 01",
       {alert(kPortChanged, false, kDone)},
       "00 00 14 03 00 01 01 01 00 01 05 00 01",
       "c.frm"},
      {"port 0 off",
       "07 00 00",
       {alert(kPortChanged, false, kDone)},
       "00 00 14 03 00 01 00 01 00 00 05 00 01",
       "c.frm"},
      {"a port switched as it is still reports",
       "07 05 07",
       {alert(kPortChanged, false, kDone)},
       "00 00 14 03 00 01 01 01 00 00 05 00 01",
       "c.frm"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PrinterModel printer = printerOf(kBuffering);
    printer.receive(kCaptureClass2);
    ASSERT_NO_FATAL_FAILURE(expectAcceptedThen(talk(printer, command(c.command)), c.alerts));
    EXPECT_EQ(summary(printer), c.summary);
    EXPECT_EQ(names(printer, kDisk), c.disk);
  }
}

TEST(JobBuffering, BadChangesAreRefusedAndChangeNothing) {
  const struct {
    const char* profile;
    const char* command;
  } cases[] = {
      {kBuffering, "06"},                                        // no percent
      {kBuffering, "06 05"},                                     // below the smallest partition
      {kBuffering, "06 09"},                                     //
      {kBuffering, "06 65"},                                     // over the whole disk
      {kBuffering, "07 01"},                                     // no switch
      {kBuffering, "07 03 01"},                                  // a port the printer lacks
      {"npa = on\nflash = 10\njobbuf-port = 0 0 0\n", "06 14"},  // no disk to partition
  };
  for (const auto& c : cases) {
    PrinterModel printer = printerOf(c.profile);
    printer.receive(kCaptureClass2);
    const std::string before = summary(printer);
    EXPECT_EQ(toHex(answer(printer, command(c.command))), toHex(kRefused)) << c.command;
    EXPECT_EQ(summary(printer), before) << c.command;
  }
}

TEST(JobBuffering, PowerOnResetMakesTheSettingsActiveAndForgetsTheCapturedClasses) {
  PrinterModel printer = printerOf(kBuffering);
  printer.receive(kCaptureClass2);
  printer.receive(hex("A5 00 06 50 03 03 00 01 00"));  // and a device-status class
  ASSERT_NE(printer.enabledAlerts(), 0u);
  talk(printer, command("07 01 01"));
  talk(printer, command("07 00 00"));
  EXPECT_EQ(summary(printer), "00 00 14 03 00 01 00 01 00 01 05 00 01");
  talk(printer, hex("A5 00 03 50 03 01"));  // power-on reset
  EXPECT_EQ(printer.powerOnResets(), 1);
  EXPECT_EQ(summary(printer), "00 00 14 03 00 00 00 01 01 01 05 01 01");
  EXPECT_EQ(printer.enabledAlerts(), 0u);
  EXPECT_EQ(talk(printer, command("07 05 00")).size(), 1u) << "no alert until the host captures again";
  printer.receive(kCaptureClass2);
  EXPECT_EQ(talk(printer, command("07 05 01")).size(), 2u);
}

TEST(JobBuffering, AForcedResultConfirmsNothing) {
  using namespace resources;
  PrinterModel printer = printerOf(kBuffering);
  printer.receive(kCaptureClass2);
  Knobs knobs = printer.knobs();
  knobs.resourceResult = 1;
  printer.setKnobs(knobs);
  // A partition of 0 reports nothing, so the knob waits for a command that does.
  EXPECT_EQ(talk(printer, command("06 00")).size(), 1u);
  EXPECT_EQ(summary(printer), "00 00 00 03 00 01 01 01 00 00 05 00 01");
  auto packets = talk(printer, command("07 01 01"));
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(toHex(packets[1].data), toHex(alert(kPortChanged, false, 1)));
  EXPECT_EQ(summary(printer), "00 00 00 03 00 01 01 01 00 00 05 00 01") << "port 1 still off";
  knobs.resourceResult = 2;
  printer.setKnobs(knobs);
  packets = talk(printer, command("06 1E"));
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(toHex(packets[1].data), toHex(alert(kPartitionChanged, false, 2)));
  EXPECT_EQ(summary(printer), "00 00 00 03 00 01 01 01 00 00 05 00 01");
}

TEST(JobBuffering, PortLinesParseAndBadOnesAreNamed) {
  const struct {
    const char* text;
    const char* error;
  } bad[] = {
      {"jobbuf-port = 0 1", "line 1: bad number"},
      {"jobbuf-port = 0 1 1 1", "line 1: expected jobbuf-port = kind active set"},
      {"jobbuf-port = 256 0 0", "line 1: bad number"},
      {"jobbuf-partition = 300", "line 1: bad number"},
  };
  for (const auto& c : bad) {
    std::string error;
    EXPECT_FALSE(parseProfile(c.text, &error)) << c.text;
    EXPECT_EQ(error, c.error);
  }
}

TEST(ResourceProfiles, FileNamesMayCarryPrinterBytes) {
  auto profile = parseProfile("disk = 10\nfile = disk b\\x81cher.fnt 1 FONT 5 Umlaut\n");
  ASSERT_TRUE(profile);
  EXPECT_EQ(profile->devices.at(resources::kDisk).files.at(0).name,
            "b\x81"
            "cher.fnt");
  std::string error;
  EXPECT_FALSE(parseProfile("disk = 10\nfile = disk b\\x8 1 FONT 5 Cut\n", &error));
  EXPECT_EQ(error, "line 2: bad file name");
}

TEST(ResourceProfiles, DevicesAndFilesParseAndBadLinesAreNamed) {
  auto profile = parseProfile(kTwoDevices);
  ASSERT_TRUE(profile);
  const auto& flash = profile->devices.at(resources::kFlash);
  EXPECT_EQ(flash.capacity, 100u);
  ASSERT_EQ(flash.files.size(), 2u);
  EXPECT_EQ(flash.files[1].name, "b.mac");
  EXPECT_EQ(flash.files[1].id, "2");
  EXPECT_EQ(flash.files[1].type, "MACRO");
  EXPECT_EQ(flash.files[1].size, 30u);
  EXPECT_EQ(flash.files[1].description, "Macro; B");

  const struct {
    const char* text;
    const char* error;
  } bad[] = {
      {"file = disk a 1 FONT 5 x", "line 1: no disk declared before its files"},
      {"flash = 10\nfile = cdrom a 1 FONT 5 x", "line 2: file is on disk or flash"},
      {"flash = 10\nfile = flash a 1 FONT",
       "line 2: expected file = disk|flash name id type size description"},
      {"disk = big", "line 1: bad number"},
  };
  for (const auto& c : bad) {
    std::string error;
    EXPECT_FALSE(parseProfile(c.text, &error)) << c.text;
    EXPECT_EQ(error, c.error);
  }
}

// The host reads sizes from the storage texts and files from the devices:
// shipped profiles keep the two in step.
TEST(ResourceProfiles, ShippedDevicesAgreeWithTheirStorageTexts) {
  int withDevices = 0;
  for (const auto& entry : std::filesystem::directory_iterator(WF_SIM_PROFILE_DIR)) {
    if (entry.path().extension() != ".profile") continue;
    SCOPED_TRACE(entry.path().filename().string());
    auto p = loadProfile(entry.path());
    ASSERT_TRUE(p);
    withDevices += !p->devices.empty();
    for (const auto& [id, device] : p->devices) {
      std::uint32_t used = 0;
      for (const auto& f : device.files) used += f.size;
      ASSERT_LE(used, device.capacity);
      const std::string text = std::string(id == resources::kDisk ? "DISK" : "FLASH") +
                               ": 1;TOTAL: " + std::to_string(device.capacity) +
                               ";FREE SPACE: " + std::to_string(device.capacity - used);
      EXPECT_EQ(std::count(p->storage.begin(), p->storage.end(), text), 1) << text;
    }
  }
  EXPECT_EQ(withDevices, 5) << "every family profile but the generic ones has a device";
}

}  // namespace
}  // namespace wf::sim
