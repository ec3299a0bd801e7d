// Request families decoded from the simulated printer's replies, and from
// hand-made replies where a case needs exact bytes.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "sim_printer.h"
#include "test_support.h"

namespace prtobjtest {
namespace {

struct OnSim {
  explicit OnSim(const char* profile, WFPrtObj::ULONG type = 1) : sim(shippedProfile(profile)) {
    obj.reset(freshObject(type));
    sim.attach();
  }
  SimPrinter sim;
  std::unique_ptr<TestObj> obj;
};

std::string inputEntry(int id, std::string capacity, int paperType, int formSize, const std::string& name) {
  std::string e(30, '\0');
  e[0] = static_cast<char>(id);
  e.replace(1, 4, capacity);
  e[8] = static_cast<char>(paperType);
  e[9] = static_cast<char>(formSize);
  return e + static_cast<char>(name.size()) + name + '\0';
}

TEST(PrtObjDecode, DeviceCharacteristicsAndCodeLevelsFromTheSimulator) {
  OnSim p("meridian-vireo10.profile");
  const auto profile = p.sim.model().state();
  WFPrtObj::DEVICECHARS chars;
  ASSERT_EQ(p.obj->bidiGetDeviceChars(&chars), 0);
  EXPECT_EQ(chars.model, profile.model);
  EXPECT_EQ(chars.revisionLevel, profile.revision);
  EXPECT_EQ(chars.serialNumber, profile.serial);
  EXPECT_EQ(chars.memoryKb, profile.memoryBytes >> 10);

  WFPrtObj::CODELEVELS levels;
  ASSERT_EQ(p.obj->bidiGetCodeLevels(&levels), 0);
  EXPECT_EQ(levels.revisionLevel, profile.revision);
  EXPECT_EQ(levels.eng, "2.10");  // "ENGB" and "ENGF" lines are not taken for "ENG"
  EXPECT_EQ(levels.engb, "1.05");
  EXPECT_EQ(levels.engf, "1.00");
  EXPECT_EQ(levels.ina, "3.01");
  EXPECT_EQ(levels.ina2, "3.02");
  EXPECT_EQ(levels.flker, "1.00");
}

TEST(PrtObjDecode, ShortFixedPartAnswersBadReply) {
  std::unique_ptr<TestObj> obj(freshObject());
  fakebce::pushReply(0, "\x01" + std::string(20, '\x05'));
  WFPrtObj::DEVICECHARS chars;
  EXPECT_EQ(obj->bidiGetDeviceChars(&chars), kBadReply);
  EXPECT_TRUE(obj->bidiGetDeviceChars(nullptr) == BCE_ERR_REPLY_TOO_LONG);
}

// A reply cut after its first byte (a list's count of 3): fixed layouts
// answer -2, lists decode to nothing; no decoder reads a byte that did not
// arrive.
TEST(PrtObjDecode, ReplyCutAfterItsFirstByteIsNeverReadPast) {
  static const std::uint8_t kLock[2] = {0x00, 0x4D};
  const struct {
    const char* name;
    WFPrtObj::LONG expected;
    std::function<WFPrtObj::LONG(TestObj&)> call;
  } kCases[] = {
      {"device chars", -2,
       [](TestObj& o) {
         WFPrtObj::DEVICECHARS c;
         return o.bidiGetDeviceChars(&c);
       }},
      {"output capacity", -2,
       [](TestObj& o) {
         WFPrtObj::OUTPUTBINS b;
         return o.bidiGetOutputChars(&b);
       }},
      {"om variable", -2,
       [](TestObj& o) {
         void* v = nullptr;
         WFPrtObj::ULONG n = 0;
         return o.bidiReadOMVar(kLock, &v, &n);
       }},
      {"inputs", 0,
       [](TestObj& o) {
         WFPrtObj::UINT n = 9;
         WFPrtObj::INPUTBIN* bins = nullptr;
         const auto rc = o.bidiGetInputChars(&n, &bins);
         return rc == 0 && (n != 0 || bins) ? -99 : rc;
       }},
      {"outputs", 0,
       [](TestObj& o) {
         WFPrtObj::UINT n = 9;
         WFPrtObj::OUTPUTBIN* bins = nullptr;
         const auto rc = o.bidiGetOutputChars(&n, &bins);
         return rc == 0 && (n != 0 || bins) ? -99 : rc;
       }},
      {"page counts", 0,
       [](TestObj& o) {
         WFPrtObj::PAGECOUNTDATA p;
         const auto rc = o.bidiGetPageCounts(&p);
         return rc == 0 && p.counters[0] != 0 ? -99 : rc;
       }},
      {"paper jams", 0,
       [](TestObj& o) {
         WFPrtObj::UINT n = 9;
         WFPrtObj::WFPALERTDATA* alerts = nullptr;
         const auto rc = o.bidiQueryPaperJams(&n, &alerts);
         return rc == 0 && (n != 0 || alerts) ? -99 : rc;
       }},
      {"configuration changes", 0,
       [](TestObj& o) {
         WFPrtObj::UINT n = 0;
         WFPrtObj::WFPALERTDATA* alerts = nullptr;
         const auto rc = o.bidiQueryConfigChg(&n, &alerts);
         const bool oneChange = n == 1 && alerts[0].alertId == 6201;  // too short for its records
         delete[] alerts;
         return rc == 0 && !oneChange ? -99 : rc;
       }},
  };
  for (const auto& c : kCases) {
    std::unique_ptr<TestObj> obj(freshObject());
    fakebce::pushReply(0, hex("01 03"));
    EXPECT_EQ(c.call(*obj), c.expected) << c.name;
  }
}

TEST(PrtObjDecode, InputSourcesAndTheirBinNumbers) {
  std::unique_ptr<TestObj> obj(freshObject());
  // Capacity 01 F4 41 64 is 500; Feeder (envelope sizes) then Feeder 2 make 7108, 7109.
  fakebce::pushReply(0, std::string("\x00\x04", 2) + inputEntry(3, hex("01 F4 41 64"), 1, 2, "Tray 1") +
                            inputEntry(5, hex("00 00 00 32"), 0, 81, "Feeder") +
                            inputEntry(6, hex("00 00 00 32"), 0, 82, "Feeder 2") +
                            inputEntry(1, hex("00 00 00 01"), 0, 2, ""));
  WFPrtObj::UINT count = 0;
  WFPrtObj::INPUTBIN* bins = nullptr;
  ASSERT_EQ(obj->bidiGetInputChars(&count, &bins), 0);
  ASSERT_EQ(count, 4u);
  EXPECT_EQ(bins[0].capacity, 500u);
  EXPECT_EQ(bins[0].binNumber, 7103);
  EXPECT_EQ(bins[1].binNumber, 7108);
  EXPECT_EQ(bins[2].binNumber, 7109);
  EXPECT_EQ(bins[3].binNumber, 7101);  // no name: by id
  EXPECT_EQ(bins[3].name, "");
  delete[] bins;
}

TEST(PrtObjDecode, FirstEntryFeederTwoTouchesNothingBeforeIt) {
  std::unique_ptr<TestObj> obj(freshObject());
  fakebce::pushReply(0, std::string("\x00\x01", 2) + inputEntry(6, hex("00 00 00 32"), 0, 82, "Feeder 2"));
  WFPrtObj::UINT count = 0;
  WFPrtObj::INPUTBIN* bins = nullptr;
  ASSERT_EQ(obj->bidiGetInputChars(&count, &bins), 0);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(bins[0].binNumber, 7109);
  delete[] bins;
}

TEST(PrtObjDecode, OverstatedCountDecodesOnlyCompleteEntries) {
  std::unique_ptr<TestObj> obj(freshObject());
  const std::string full = inputEntry(3, hex("00 00 00 FA"), 1, 2, "Tray 1");
  fakebce::pushReply(0, std::string("\x00\x09", 2) + full + full.substr(0, 20));
  WFPrtObj::UINT count = 0;
  WFPrtObj::INPUTBIN* bins = nullptr;
  ASSERT_EQ(obj->bidiGetInputChars(&count, &bins), 0);
  EXPECT_EQ(count, 1u);
  delete[] bins;
}

TEST(PrtObjDecode, InputIdFourByCountAndCapacity) {
  const struct {
    int sources;
    const char* capacity;
    int formSize;
    WFPrtObj::USHORT bin;
  } cases[] = {{2, "00 00 01 F4", 2, 7104},
               {5, "00 00 00 64", 2, 7104},
               {2, "00 00 00 64", 2, 7107},
               {2, "00 00 00 64", 80, 7106}};
  for (const auto& c : cases) {
    std::unique_ptr<TestObj> obj(freshObject());
    std::string reply = std::string(1, '\0') + static_cast<char>(c.sources);
    reply += inputEntry(4, hex(c.capacity), 0, c.formSize, "");
    for (int i = 1; i < c.sources; ++i) reply += inputEntry(1, hex("00 00 00 01"), 0, 2, "");
    fakebce::pushReply(0, reply);
    WFPrtObj::UINT count = 0;
    WFPrtObj::INPUTBIN* bins = nullptr;
    ASSERT_EQ(obj->bidiGetInputChars(&count, &bins), 0);
    ASSERT_GE(count, 1u);
    EXPECT_EQ(bins[0].binNumber, c.bin) << c.sources << " " << c.capacity << " " << c.formSize;
    delete[] bins;
  }
}

TEST(PrtObjDecode, OutputBinsAndStorageFromTheSimulator) {
  OnSim p("meridian-vireo10.profile");
  WFPrtObj::UINT count = 0;
  WFPrtObj::OUTPUTBIN* bins = nullptr;
  ASSERT_EQ(p.obj->bidiGetOutputChars(&count, &bins), 0);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(bins[0].name, "Upper Bin");
  EXPECT_EQ(bins[0].capacity, 250u);
  EXPECT_EQ(bins[0].binNumber, 7201);
  EXPECT_EQ(bins[1].binNumber, 7203);
  delete[] bins;

  WFPrtObj::STORAGEOPTIONS storage;
  ASSERT_EQ(p.obj->bidiGetStorageOptions(&storage), 0);
  EXPECT_EQ(storage.flashSize, 4096u);
  EXPECT_EQ(storage.flashFree, 2048u);
  EXPECT_EQ(storage.diskSize, 512000u);
  EXPECT_EQ(storage.diskFree, 100000u);
  EXPECT_TRUE(storage.fontCartridge);
  EXPECT_EQ(storage.cartridgeName, "Fonts A");
  EXPECT_EQ(storage.cartridgeDetail, "Serif pack");
}

TEST(PrtObjDecode, StorageFreeOfMinusOneReadsZero) {
  std::unique_ptr<TestObj> obj(freshObject());
  const std::string item = "FLASH: 1;TOTAL: 1024;FREE SPACE: -1";
  fakebce::pushReply(0, std::string("\x00\x01", 2) + static_cast<char>(item.size()) + item);
  WFPrtObj::STORAGEOPTIONS storage;
  storage.flashFree = 77;
  ASSERT_EQ(obj->bidiGetStorageOptions(&storage), 0);
  EXPECT_EQ(storage.flashSize, 1024u);
  EXPECT_EQ(storage.flashFree, 0u);
}

TEST(PrtObjDecode, PrinterTypeByCode) {
  const struct {
    int code;
    WFPrtObj::ULONG type;
  } cases[] = {{0, 0},
               {2, 0},
               {3, 0},
               {1, WFPrtObj::kUnknownType},
               {4, WFPrtObj::kUnknownType},
               {5, 1},
               {8, 1},
               {9, WFPrtObj::kUnknownType}};
  for (const auto& c : cases) {
    std::unique_ptr<TestObj> obj(freshObject());
    fakebce::pushReply(0, hex("EB 00 00 A7") + static_cast<char>(c.code));
    WFPrtObj::ULONG type = 77, code = 77;
    ASSERT_EQ(obj->bidiGetPrinterType(&type, &code), 0);
    EXPECT_EQ(type, c.type) << c.code;
    EXPECT_EQ(code, static_cast<WFPrtObj::ULONG>(c.code));
  }
}

TEST(PrtObjDecode, FamilyComesFromItsOwnVariableWhenTheTypeCodeErrs) {
  const struct {
    const char* profile;
    WFPrtObj::ULONG family;
  } cases[] = {
      {"meridian-vireo10.profile", 1}, {"tidewater-pagecrest2.profile", 3}, {"halcyon-chroma.profile", 6}};
  for (const auto& c : cases) {
    OnSim p(c.profile);
    WFPrtObj::ULONG family = 0;
    EXPECT_EQ(p.obj->bidiGetPrinterFamily(&family), 0) << c.profile;
    EXPECT_EQ(family, c.family) << c.profile;
  }
}

TEST(PrtObjDecode, PageCountsAndPanelFromTheSimulator) {
  OnSim p("meridian-vireo10.profile");
  WFPrtObj::PAGECOUNTDATA counts;
  ASSERT_EQ(p.obj->bidiGetPageCounts(&counts), 0);
  EXPECT_EQ(counts.counters[0], 12345u);
  EXPECT_EQ(counts.counters[1], 6789u);
  EXPECT_EQ(counts.counters[2], 0u);
  EXPECT_EQ(counts.counters[3], 321u);

  void* raw = nullptr;
  ASSERT_EQ(p.obj->bidiROPQueryData(&raw), 0);
  std::unique_ptr<WFPrtObj::OPPANELDATA> panel(static_cast<WFPrtObj::OPPANELDATA*>(raw));
  EXPECT_EQ(panel->columns, 20u);
  EXPECT_EQ(panel->lines, 4u);
  EXPECT_EQ(panel->text, p.sim.model().state().panelText.substr(0, 80));

  EXPECT_EQ(p.obj->bidiROPContinue(), 0);
  EXPECT_EQ(p.obj->bidiROPReset(), 0);
  EXPECT_EQ(p.sim.model().panelCommands(), (std::vector<std::uint8_t>{0xB0, 0xB1}));
  EXPECT_EQ(p.obj->bidiROPSetLock(1), 0);
  int locked = 0;
  ASSERT_EQ(p.obj->bidiROPQueryLock(&locked), 0);
  EXPECT_EQ(locked, 1);
  EXPECT_EQ(p.sim.model().buttonsPressed(), (std::vector<std::uint8_t>{0x40}));
}

TEST(PrtObjDecode, EchoChecksFailCleanlyWithoutSwitchingBidiOff) {
  const struct {
    const char* reply;
    int which;  // 0 button, 1 reset, 2 set variable
  } cases[] = {{"E0 00 01", 0}, {"E0 00", 0},       {"EB 01 00 B0", 1},
               {"EB 01", 1},    {"E7 01 00 4E", 2}, {"E7 01", 2}};
  for (const auto& c : cases) {
    // Not a parallel port: there the button asks for no reply.
    std::unique_ptr<TestObj> obj(freshObject(1, localPrinter("COM1:")));
    fakebce::pushReply(0, hex(c.reply));
    static const std::uint8_t lock[2] = {0x00, 0x4D};
    const std::uint8_t one = 1;
    const WFPrtObj::LONG rc = c.which == 0   ? obj->bidiROPPushButton(0x40)
                              : c.which == 1 ? obj->bidiROPReset()
                                             : obj->bidiSetOMVar(lock, &one, 1);
    EXPECT_EQ(rc, kBadReply) << c.reply;
    WFPrtObj::BIDICAPABILITIES caps;
    ASSERT_TRUE(obj->getBidiCaps(&caps));
    EXPECT_TRUE(caps.bidiActive) << c.reply;
  }
}

TEST(PrtObjDecode, PanelTextIsCp850AndCutToTheDisplay) {
  std::unique_ptr<TestObj> obj(freshObject());
  WFPrtObj::OPPANELDATA panel;
  const std::string data = "\x81" + std::string(100, 'x');
  ASSERT_EQ(obj->parseROPData(data.data(), 3, &panel), 0);  // copies only what arrived
  EXPECT_EQ(panel.text, "üxx");
  ASSERT_EQ(obj->parseROPData(data.data(), static_cast<WFPrtObj::ULONG>(data.size()), &panel), 0);
  EXPECT_EQ(panel.text.size(), 81u);  // 80 bytes, the first two in UTF-8
}

TEST(PrtObjDecode, ReadVariableReturnsEchoAndValue) {
  OnSim p("meridian-vireo10.profile");
  const std::uint8_t name[2] = {0x00, 0x30};
  void* value = nullptr;
  WFPrtObj::ULONG len = 0;
  ASSERT_EQ(p.obj->bidiReadOMVar(name, &value, &len), 0);
  const std::string expected = p.sim.model().state().omVars.at(0x0030);
  EXPECT_EQ(std::string(static_cast<char*>(value), len), std::string("\x00\x30", 2) + expected);
  wfPrtObjFree(value);
}

}  // namespace
}  // namespace prtobjtest
