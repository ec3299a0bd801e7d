// The driver chooser and the driver setup request against the spooler
// stand-in, offscreen, with scripted message boxes and the chooser's dialog
// acted on through the modal hook.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "common/tag_list.h"
#include "corwf32/corwf32.h"
#include "driver_fixture.h"
#include "framework/global_memory.h"
#include "hex_bytes.h"
#include "platform/module.h"
#include "platform/runtime_dir.h"

namespace wf::testing {
namespace {

constexpr ULONG kFlags3 = WFDRV_ONE_PER_EMULATION | WFDRV_LISTED_ONLY;
const char* const kNoDriver = "A driver could not be located for the requested operation.";
const char* const kNoPrinters =
    "No system printers found. A driver could not be located for the requested operation.";

using DriverDlgTest = DriverFixture;

TEST_F(DriverDlgTest, OneMatchingQueueIsChosenWithoutTheDialog) {
  queue("Office PS", "lpt1:", kPS);
  queue("Elsewhere", "LPT2:", kPCL);
  CWFDriverDlg chooser(icon_, nullptr, kFlags3);
  EXPECT_EQ(chooser.DoModal(), WFDRV_CHOSEN);
  EXPECT_STREQ(chooser.GetFriendlyName(), "Office PS");
  EXPECT_STREQ(chooser.GetPortName(), "lpt1:");
  EXPECT_STREQ(chooser.GetShortDriverName(), "CORPS");
  EXPECT_EQ(chooser.GetEmulation(), WFDRV_EMUL_POSTSCRIPT);
  EXPECT_EQ(dialogs_.runs(IDD_CHOOSE_DRIVER), 0);
  EXPECT_TRUE(boxTexts().empty());

  HANDLE handle = chooser.GetPrinterHandle();
  ASSERT_NE(handle, reinterpret_cast<HANDLE>(-1));
  EXPECT_EQ(spool::spooler().closePrinter(
                static_cast<spool::PrinterHandle>(reinterpret_cast<std::uintptr_t>(handle))),
            spool::kSuccess);
  spool::spooler().setOpenFailure("Office PS");
  EXPECT_EQ(chooser.GetPrinterHandle(), reinterpret_cast<HANDLE>(-1));
}

TEST_F(DriverDlgTest, OnePrinterPerEmulationKeepsTheFirstPostScriptQueue) {
  queue("First PS", "LPT1:", kPS);
  queue("Second PS", "LPT1:", kPS);
  CWFDriverDlg chooser(icon_, nullptr, kFlags3);
  EXPECT_EQ(chooser.DoModal(), WFDRV_CHOSEN);
  EXPECT_STREQ(chooser.GetFriendlyName(), "First PS");
  EXPECT_EQ(dialogs_.runs(IDD_CHOOSE_DRIVER), 0);

  // Without flag 1 both are offered.
  CWFDriverDlg both(icon_, nullptr, WFDRV_LISTED_ONLY);
  choose(1);
  EXPECT_EQ(both.DoModal(), WFDRV_CHOSEN);
  EXPECT_STREQ(both.GetFriendlyName(), "Second PS");
}

TEST_F(DriverDlgTest, TwoKindsOfQueueAskTheUser) {
  queue("Office PS", "LPT1:", kPS);
  queue("Office PCL", "LPT1:", kPCL);
  CWnd parent;
  ASSERT_TRUE(parent.CreateEx(0, "DriverParent", "parent", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, 0));
  {
    CWFDriverDlg chooser(icon_, &parent, kFlags3);
    choose(1);
    EXPECT_EQ(chooser.DoModal(), WFDRV_CHOSEN);
    EXPECT_EQ(lines_, (std::vector<std::string>{"\"Corvane PS\" on port \"LPT1:\"",
                                                "\"Corvane PCL 5B\" on port \"LPT1:\""}));
    EXPECT_STREQ(chooser.GetFriendlyName(), "Office PCL");
    EXPECT_STREQ(chooser.GetShortDriverName(), "CVPCL5B");
    EXPECT_EQ(chooser.GetEmulation(), WFDRV_EMUL_PCL);
    EXPECT_STREQ(icon_->GetLastDriver(), kPCL) << "the selection change sets the last driver";
  }
  {
    CWFDriverDlg chooser(icon_, &parent, kFlags3);
    choose(0, IDCANCEL);
    EXPECT_EQ(chooser.DoModal(), WFDRV_CANCELLED);
    EXPECT_STREQ(chooser.GetFriendlyName(), "");
    EXPECT_EQ(chooser.GetEmulation(), 0);
  }
  EXPECT_EQ(dialogs_.runs(IDD_CHOOSE_DRIVER), 2);
  EXPECT_TRUE(boxTexts().empty());
  parent.DestroyWindow();
}

TEST_F(DriverDlgTest, TheLastDriverIsPreselectedOrLineZeroTakesItsPlace) {
  queue("Office PS", "LPT1:", kPS);
  queue("Office PCL", "LPT1:", kPCL);
  struct Case {
    const char* last;
    int selected;
    const char* after;
  } cases[] = {{"corvane pcl 5b", 1, "corvane pcl 5b"}, {"Gone Driver", 0, kPS}, {nullptr, 0, kPS}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.last ? c.last : "(none)");
    icon_->SetLastDriver(c.last);
    CWFDriverDlg chooser(icon_, nullptr, kFlags3);
    choose(-1);
    EXPECT_EQ(chooser.DoModal(), WFDRV_CHOSEN);
    EXPECT_EQ(selectedAtStart_, c.selected);
    // The chooser sets the last driver to the line it selected, before the user acts.
    EXPECT_EQ(lastDriverAtStart_, c.selected == 1 ? kPCL : kPS);
    EXPECT_EQ(chooser.GetEmulation(), c.selected == 1 ? WFDRV_EMUL_PCL : WFDRV_EMUL_POSTSCRIPT);
  }
}

TEST_F(DriverDlgTest, FailuresShowTheirMessageAndAnswerThree) {
  struct Case {
    const char* what;
    std::function<void()> world;
    ULONG flags;
    std::vector<std::string> boxes;
  } cases[] = {
      {"no queues", [] {}, kFlags3, {kNoPrinters}},
      {"enumeration fails",
       [] {
         queue("Office PS", "LPT1:", kPS);
         spool::spooler().setEnumFailure(spool::Enumeration::Printers, spool::EnumFailure::Error);
       },
       kFlags3,
       {kNoDriver}},
      {"enumeration asks for no size",
       [] {
         queue("Office PS", "LPT1:", kPS);
         spool::spooler().setEnumFailure(spool::Enumeration::Printers, spool::EnumFailure::NoSize);
       },
       kFlags3,
       {kNoDriver}},
      {"PCL refused by flag 4",
       [] { queue("Office PCL", "LPT1:", kPCL); },
       WFDRV_ONE_PER_EMULATION | WFDRV_LISTED_ONLY | WFDRV_NO_PCL,
       {kNoDriver}},
      {"driver not listed", [] { queue("Office Text", "LPT1:", kText); }, kFlags3, {kNoDriver}},
      {"queue on another port", [] { queue("Office PS", "LPT2:", kPS); }, kFlags3, {kNoDriver}},
  };
  CWnd parent;
  ASSERT_TRUE(parent.CreateEx(0, "DriverParent", "parent", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, 0));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    spool::spooler().clear();
    spool::spooler().addDriver(kPS, "C:\\DRIVERS\\CORPS.DRV", "Monitor");
    spool::spooler().addDriver(kPCL, "C:\\DRIVERS\\CVPCL5B.DRV", "Monitor");
    spool::spooler().addDriver(kText, "C:\\DRIVERS\\TTY.DRV", "Monitor");
    c.world();
    const std::size_t before = shell_.messageBox.calls().size();
    CWFDriverDlg chooser(icon_, &parent, c.flags);
    EXPECT_EQ(chooser.DoModal(), WFDRV_FAILED);
    auto calls = shell_.messageBox.calls();
    ASSERT_EQ(calls.size(), before + c.boxes.size());
    for (std::size_t i = 0; i < c.boxes.size(); ++i) {
      EXPECT_EQ(calls[before + i].text, c.boxes[i]);
      EXPECT_EQ(calls[before + i].caption, "Wrenfield");
      EXPECT_EQ(calls[before + i].style, MB_OK);
      EXPECT_EQ(calls[before + i].owner, parent.m_hWnd);
    }
  }
  parent.DestroyWindow();
  EXPECT_EQ(dialogs_.runs(IDD_CHOOSE_DRIVER), 0);
}

TEST_F(DriverDlgTest, NoRequestObjectOrNoCapabilitiesFailWithoutAMessage) {
  queue("Office PS", "LPT1:", kPS);
  printer_->capsReadable = false;
  CWFDriverDlg noCaps(icon_, nullptr, kFlags3);
  EXPECT_EQ(noCaps.DoModal(), WFDRV_FAILED);
  printer_->capsReadable = true;
  forget(11);
  CWFDriverDlg noObject(icon_, nullptr, kFlags3);
  EXPECT_EQ(noObject.DoModal(), WFDRV_FAILED);
  CWFDriverDlg noIcon(nullptr, nullptr, kFlags3);
  EXPECT_EQ(noIcon.DoModal(), WFDRV_FAILED);
  EXPECT_TRUE(boxTexts().empty());
}

TEST_F(DriverDlgTest, QueuesThatCannotBeOpenedOrHaveAnUnknownDriverAreSkipped) {
  queue("Locked PS", "LPT1:", kPS);
  queue("Mystery", "LPT1:", "No Such Driver");
  queue("Office PCL", "LPT1:", kPCL);
  spool::spooler().setOpenFailure("Locked PS");
  CWFDriverDlg chooser(icon_, nullptr, kFlags3);
  EXPECT_EQ(chooser.DoModal(), WFDRV_CHOSEN);
  EXPECT_STREQ(chooser.GetFriendlyName(), "Office PCL");
  EXPECT_EQ(dialogs_.runs(IDD_CHOOSE_DRIVER), 0);
}

TEST_F(DriverDlgTest, RedirectedPortsAndNetworkNamesMatchTheirQueues) {
  printer_->caps.portName = "";
  printer_->caps.redirected = TRUE;
  printer_->caps.redirections = "LPT2:  (\\\\SERVER\\Q1), no colon here ,LPT3:  (\\\\SERVER\\Q2)";
  printer_->caps.nameCount = 2;
  printer_->caps.displayName = "[IP]  printer.example ,no bracket, [IPX]  PRT_NAME";
  queue("Via LPT3", "LPT3:", kText);
  queue("Via IP", "printer.example", kText);
  queue("Via LPT2", "lpt2:", kText);
  queue("Via IPX", "PRT_NAME", kText);
  queue("Colonless", "no colon here", kText);
  queue("Bracketless", "no bracket", kText);
  queue("Direct", "LPT1:", kText);  // the first text is empty: not asked for
  CWFDriverDlg chooser(icon_, nullptr, 0);
  choose(3);
  EXPECT_EQ(chooser.DoModal(), WFDRV_CHOSEN);
  EXPECT_EQ(lines_,
            (std::vector<std::string>{"\"Plain Text\" on port \"lpt2:\"", "\"Plain Text\" on port \"LPT3:\"",
                                      "\"Plain Text\" on port \"printer.example\"",
                                      "\"Plain Text\" on port \"PRT_NAME\""}));
  EXPECT_STREQ(chooser.GetFriendlyName(), "Via IPX");
  EXPECT_EQ(chooser.GetEmulation(), WFDRV_EMUL_ANY);
  EXPECT_STREQ(chooser.GetShortDriverName(), "TTY");
}

TEST_F(DriverDlgTest, RegistryListsReplaceTheDefaultsOnlyWhenUsable) {
  queue("Office Text", "LPT1:", kText);
  queue("Office PCL", "LPT1:", kPCL);
  struct Case {
    const char* what;
    DWORD type;
    std::string value;
    const char* chosen;  // short driver name
  } cases[] = {
      {"a list with blanks and a trailing comma", REG_SZ, std::string(" TTY , CVPCL5C,\0", 16), "TTY"},
      {"an empty piece ends the list", REG_SZ, std::string("CVPCL5B,,TTY\0", 13), "CVPCL5B"},
      {"wrong type", REG_BINARY, "TTY", "CVPCL5B"},
      {"empty", REG_SZ, std::string("\0", 1), "CVPCL5B"},
      {"longer than 260 bytes", REG_SZ, "TTY," + std::string(300, 'X') + std::string(1, '\0'), "CVPCL5B"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    setDriversValue("PCL", c.type, c.value);
    CWFDriverDlg chooser(icon_, nullptr, kFlags3);
    EXPECT_EQ(chooser.DoModal(), WFDRV_CHOSEN);
    EXPECT_STREQ(chooser.GetShortDriverName(), c.chosen);
    EXPECT_EQ(chooser.GetEmulation(), WFDRV_EMUL_PCL);
  }
  EXPECT_EQ(dialogs_.runs(IDD_CHOOSE_DRIVER), 0);
}

TEST_F(DriverDlgTest, AnEmptyPieceInThePCLValueStopsTheList) {
  queue("PCL 5C", "LPT1:", kPCL5C);
  queue("PCL 5B", "LPT1:", kPCL);
  setDriversValue("PCL", REG_SZ, std::string("CVPCL5B,,CVPCL5C\0", 17));
  CWFDriverDlg chooser(icon_, nullptr, WFDRV_LISTED_ONLY);
  EXPECT_EQ(chooser.DoModal(), WFDRV_CHOSEN);
  EXPECT_STREQ(chooser.GetFriendlyName(), "PCL 5B");
  EXPECT_EQ(dialogs_.runs(IDD_CHOOSE_DRIVER), 0) << "CVPCL5C is not accepted";
}

TEST_F(DriverDlgTest, TheDriversKeyIsCreatedVolatile) {
  HKEY settings = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Corvane\\Wrenfield\\1.0\\Settings", 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &settings, nullptr),
            0);
  const DWORD one = 1;
  RegSetValueExA(settings, "maxthreads", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
  RegCloseKey(settings);
  queue("Office PS", "LPT1:", kPS);
  CWFDriverDlg chooser(icon_, nullptr, kFlags3);
  EXPECT_EQ(chooser.DoModal(), WFDRV_CHOSEN);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, driversKey().c_str(), 0, KEY_READ, &key), 0);
  RegCloseKey(key);
  std::ifstream hive(*registryHivePath(HKEY_CURRENT_USER));
  std::stringstream text;
  text << hive.rdbuf();
  EXPECT_NE(text.str().find("maxthreads"), std::string::npos);
  EXPECT_EQ(text.str().find("Drivers"), std::string::npos);
}

TEST(DriverNames, ShortNamesAndListsParseAsTheSystemWritesThem) {
  EXPECT_EQ(shortDriverName("C:\\DRIVERS\\CORPS.DRV"), CString("CORPS"));
  EXPECT_EQ(shortDriverName("/usr/lib/cvpcl5b.so"), CString("cvpcl5b"));
  EXPECT_EQ(shortDriverName("C:\\A.B\\NOEXT"), CString("NOEXT"));
  EXPECT_EQ(shortDriverName(""), CString(""));
  EXPECT_EQ(shortDriverName(std::string(400, 'N').c_str()).GetLength(), 260);
}

// ---- The driver setup request ----

class TagListTest : public DriverFixture {
 protected:
  static std::string bytes(const CWFTagList& list) {
    void* block = static_cast<void*>(list);
    if (!block) return {};
    auto* p = static_cast<const char*>(GlobalLock(block));
    std::string out(p, list.GetUsed());
    GlobalUnlock(block);
    return out;
  }
  static std::string request(unsigned op, const std::string& name, const std::string& port,
                             std::vector<unsigned> options, unsigned emulation, const std::string& driver) {
    std::string out = numberItem(1, op) + numberItem(3, 1) + textItem(4, name) + textItem(6, port);
    for (unsigned tag : options) out += numberItem(tag, 1);
    return out + numberItem(2, emulation) + textItem(5, driver) + kEndItem;
  }
};

TEST_F(TagListTest, AFontForAPrinterWithoutBidiCarriesEveryOption) {
  printer_->caps.bidiActive = FALSE;
  queue("Office PCL", "LPT1:", kPCL);
  CWFTagList list;
  HGLOBAL block = list.BuildList(icon_, nullptr, WFTAG_OP_FONT);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block, static_cast<void*>(list));
  const std::string got = bytes(list);
  EXPECT_EQ(toHex(got.substr(0, 7)), "01 00 07 00 01 00 00");
  EXPECT_EQ(tagsOf(got), (std::vector<unsigned>{1, 3, 4, 6, 11, 12, 13, 2, 5, 0}));
  EXPECT_EQ(toHex(got), toHex(request(1, "Office PCL", "LPT1:", {11, 12, 13}, 5, "CVPCL5B")));
  EXPECT_EQ(toHex(got.substr(got.size() - 6)), "00 00 06 00 00 00");
  EXPECT_EQ(list.GetCapacity(), 256u);
  const auto calls = printer_->calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "bidiGetStorageOptions"), 0) << "no bidi: not asked";
}

TEST_F(TagListTest, StorageOptionsDecideTagsTwelveAndThirteenWithBidi) {
  queue("Office PS", "LPT1:", kPS);
  struct Case {
    ULONG flash, disk;
    std::vector<unsigned> options;
  } cases[] = {{0, 0, {}}, {0x200000, 0, {12}}, {0, 0x2800000, {13}}, {0x200000, 0x2800000, {12, 13}}};
  for (const Case& c : cases) {
    printer_->storage.flashSize = c.flash;
    printer_->storage.diskSize = c.disk;
    CWFTagList list;
    ASSERT_NE(list.BuildList(icon_, nullptr, WFTAG_OP_DEMO), nullptr);
    EXPECT_EQ(toHex(bytes(list)), toHex(request(2, "Office PS", "LPT1:", c.options, 3, "CORPS")))
        << c.flash << " " << c.disk;
  }
}

TEST_F(TagListTest, OverlaysAskForTagElevenWithPCLOnly) {
  printer_->caps.bidiActive = FALSE;
  for (const char* driver : {kPS, kPCL}) {
    spool::spooler().clear();
    spool::spooler().addDriver(kPS, "C:\\DRIVERS\\CORPS.DRV", "Monitor");
    spool::spooler().addDriver(kPCL, "C:\\DRIVERS\\CVPCL5B.DRV", "Monitor");
    queue("Office", "LPT1:", driver);
    CWFTagList list;
    ASSERT_NE(list.BuildList(icon_, nullptr, WFTAG_OP_OVERLAY), nullptr);
    const bool pcl = driver == kPCL;
    EXPECT_EQ(tagsOf(bytes(list)), pcl ? (std::vector<unsigned>{1, 3, 4, 6, 11, 12, 13, 2, 5, 0})
                                       : (std::vector<unsigned>{1, 3, 4, 6, 12, 13, 2, 5, 0}));
  }
}

TEST_F(TagListTest, LongNamesGrowTheBlockAndStayWhole) {
  printer_->caps.bidiActive = FALSE;
  const std::string name(300, 'Q');
  const std::string port = "LPT1:";
  queue(name.c_str(), port.c_str(), kPCL);
  CWFTagList list;
  ASSERT_NE(list.BuildList(icon_, nullptr, WFTAG_OP_FONT), nullptr);
  EXPECT_EQ(list.GetCapacity(), 512u) << "grown in 256-byte steps in the one add";
  EXPECT_EQ(toHex(bytes(list)), toHex(request(1, name, port, {11, 12, 13}, 5, "CVPCL5B")));

  // An item that its 16-bit size field cannot describe fails the build.
  spool::spooler().clear();
  spool::spooler().addDriver(kPCL, "C:\\DRIVERS\\CVPCL5B.DRV", "Monitor");
  const std::size_t live = fw::liveGlobalBlocks();
  queue(std::string(65530, 'L').c_str(), "LPT1:", kPCL);
  EXPECT_EQ(list.BuildList(icon_, nullptr, WFTAG_OP_FONT), nullptr);
  EXPECT_EQ(static_cast<void*>(list), nullptr);
  EXPECT_EQ(list.GetCapacity(), 0u);
  EXPECT_EQ(fw::liveGlobalBlocks(), live - 1);
}

TEST_F(TagListTest, AnUnknownOperationFreesTheBlock) {
  queue("Office PS", "LPT1:", kPS);
  CWFTagList list;
  ASSERT_NE(list.BuildList(icon_, nullptr, WFTAG_OP_FONT), nullptr);
  const std::size_t live = fw::liveGlobalBlocks();
  EXPECT_EQ(list.BuildList(icon_, nullptr, 4), nullptr);
  EXPECT_EQ(static_cast<void*>(list), nullptr);
  EXPECT_EQ(list.GetCapacity(), 0u);
  EXPECT_EQ(fw::liveGlobalBlocks(), live - 1);
}

TEST_F(TagListTest, ASecondBuildEqualsAFirstOnAFreshList) {
  queue(std::string(200, 'W').c_str(), "LPT1:", kPCL);
  CWFTagList reused;
  ASSERT_NE(reused.BuildList(icon_, nullptr, WFTAG_OP_FONT), nullptr);
  spool::spooler().clear();
  spool::spooler().addDriver(kPS, "C:\\DRIVERS\\CORPS.DRV", "Monitor");
  queue("PS", "LPT1:", kPS);
  ASSERT_NE(reused.BuildList(icon_, nullptr, WFTAG_OP_DEMO), nullptr);
  CWFTagList fresh;
  ASSERT_NE(fresh.BuildList(icon_, nullptr, WFTAG_OP_DEMO), nullptr);
  EXPECT_EQ(toHex(bytes(reused)), toHex(bytes(fresh)));
}

TEST_F(TagListTest, ACancelledChooserLeavesTheBlockAsItWas) {
  queue("Office PS", "LPT1:", kPS);
  CWFTagList list;
  HGLOBAL first = list.BuildList(icon_, nullptr, WFTAG_OP_FONT);
  ASSERT_NE(first, nullptr);
  queue("Office PCL", "LPT1:", kPCL);
  choose(0, IDCANCEL);
  EXPECT_EQ(list.BuildList(icon_, nullptr, WFTAG_OP_FONT), nullptr);
  EXPECT_EQ(static_cast<void*>(list), first);
  EXPECT_EQ(list.GetCapacity(), 256u);
}

// ---- The tool kit's stand-in ----

class ToolKitStandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    setModuleSearchPath({WF_TOOLKIT_DIR});
    module_ = loadModule(toolkit::kModuleName);
    ASSERT_NE(module_, nullptr);
    entry_ = moduleEntryAs<toolkit::CVToolKit32Fn>(module_, toolkit::kEntryName);
    ASSERT_NE(entry_, nullptr);
  }
  void TearDown() override {
    if (module_) freeModule(module_);
    setModuleSearchPath({});
  }
  // A block of exactly the bytes' size, so a read past it is caught.
  int call(const std::string& bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, bytes.size());
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    const int result = entry_(7, nullptr, block);
    GlobalFree(block);
    return result;
  }
  static std::vector<std::string> log() {
    std::ifstream in(*runtimeDir() / toolkit::kLogName);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  ModuleHandle module_ = nullptr;
  toolkit::CVToolKit32Fn entry_ = nullptr;
};

TEST_F(ToolKitStandIn, MalformedBlocksAnswerOneAndAreLogged) {
  const std::string head = numberItem(1, 1) + textItem(4, "Q");
  struct Case {
    const char* what;
    std::string bytes;
    const char* fault;
  } cases[] = {
      {"an item size below 6", head + le16(3) + le16(5) + "xyz" + kEndItem, "has size 5"},
      {"an item past the block", head + le16(3) + le16(40) + "12" + kEndItem, "runs past the block"},
      {"a text without its terminator", numberItem(1, 1) + le16(4) + le16(8) + "ABCD" + kEndItem,
       "without its terminator"},
      {"no end item", head, "no end item"},
      {"a cut header", head + std::string("\0", 1), "no end item"},
      {"an end item of size 7", head + numberItem(0, 0), "end item of size 7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(call(c.bytes), toolkit::kMalformed);
    const auto lines = log();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("parent 7 instance ", 0), 0u) << lines.back();
    EXPECT_NE(lines.back().find("malformed: "), std::string::npos) << lines.back();
    EXPECT_NE(lines.back().find(c.fault), std::string::npos) << lines.back();
  }
  EXPECT_EQ(entry_(7, nullptr, nullptr), toolkit::kMalformed);
  EXPECT_EQ(log().size(), std::size(cases) + 1);
}

TEST_F(ToolKitStandIn, AWellFormedBlockIsLoggedUpToItsEndAndAnswersTheSetting) {
  const std::string block = numberItem(1, 2) + textItem(5, "CORPS") + kEndItem;
  EXPECT_EQ(call(block + "trailing"), 0);
  ::setenv("WRENFIELD_TOOLKIT_RESULT", "5", 1);
  EXPECT_EQ(call(block), 5);
  ::unsetenv("WRENFIELD_TOOLKIT_RESULT");
  const auto lines = log();
  ASSERT_EQ(lines.size(), 2u);
  std::string hexBlock = toHex(block);
  hexBlock.erase(std::remove(hexBlock.begin(), hexBlock.end(), ' '), hexBlock.end());
  EXPECT_EQ(lines[0].substr(lines[0].find(" block ")), " block " + hexBlock + " tags 1=2 5=\"CORPS\" 0");
  EXPECT_EQ(lines[1], lines[0]);
}

}  // namespace
}  // namespace wf::testing
