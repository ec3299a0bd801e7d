// The Meridian family module and its icon: registration, the stored record,
// the ghost name, the model name and the family pages' count.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <fstream>
#include <thread>

#include "framework/scripted_shell.h"
#include "gui_pump.h"
#include "meridian_fixture.h"
#include "platform/registry.h"
#include "test_dirs.h"

namespace wf::testing {
namespace {

using Bins = std::vector<WFPrtObj::INPUTBIN>;
using OutBins = std::vector<WFPrtObj::OUTPUTBIN>;

class MeridianIconTest : public MeridianFixture {};

MERIDIANBINARYDATA record(ULONG mask, ULONG tracking, const char* name = "") {
  MERIDIANBINARYDATA r{};
  r.base.familyKey = 1;
  r.base.storedAlerts = 0x3FFFFF;
  std::strcpy(r.base.name, name);
  r.storedAlerts = mask;
  r.trackingJS = tracking;
  return r;
}

std::vector<int> flags(CWFMeridianIcon* icon) {
  std::vector<int> out;
  for (int i = 0; i < CWFMeridianIcon::kStoredAlertCount; ++i) out.push_back(icon->GetStoredAlertFlag(i));
  return out;
}

// ---- Registration ----

TEST(MeridianModule, LoadsFromTheDefaultListAndClaimsKeysOneAndFive) {
  const auto scenario = testDataRoot().parent_path() / "scenario";
  std::ofstream(scenario) << "[printers]\n";
  ::setenv("WRENFIELD_SCENARIO", scenario.c_str(), 1);
  // The scripted WFPRTGUI this program runs with stands for the deliverable.
  wf::setModuleSearchPath({WF_PRTGUI_FAKE_DIR});
  {
    FakeWFApp app;
    CWFPrinterDLLManager manager;
    app.printerDLLManager = &manager;
    ASSERT_EQ(manager.LoadDLLs(), 1);
    CWFPrinterDLL* vireo = manager.FindPrinterDLL(1);
    ASSERT_NE(vireo, nullptr);
    EXPECT_EQ(vireo->GetName(), "Vireo");
    EXPECT_EQ(manager.FindPrinterDLL(5), vireo);
    ASSERT_NE(manager.FindPrinterDLL(7), nullptr);
    EXPECT_EQ(manager.FindPrinterDLL(7)->GetName(), "Vireo N");
    EXPECT_EQ(CWFMeridianIcon().GetPrinterDLL(), vireo);
    EXPECT_NE(CWFMeridianIcon().GetResourceInstance(0), nullptr);
    EXPECT_EQ(vireo->GetImageListOffset(), 5) << "behind the generic family's five";
    ASSERT_NE(manager.FindPrinterDLL(6), nullptr);
    EXPECT_EQ(manager.FindPrinterDLL(6)->GetName(), "Vireo C");
    EXPECT_EQ(manager.FindPrinterDLL(6)->GetImageListOffset(), 20) << "the last of the default list";
    // Five each: the generic family's, Vireo's, then Tidewater's, Keystone's and Halcyon's.
    EXPECT_EQ(app.GetNormalImageList()->GetImageCount(), 25);
    EXPECT_EQ(app.GetSmallImageList()->GetImageCount(), 25);
    EXPECT_EQ(app.GetNormalImageList()->GetImageSize().cx, 32);
    EXPECT_EQ(app.GetNormalImageList()->GetImageSize().cy, 32);
    EXPECT_EQ(app.GetSmallImageList()->GetImageSize().cx, 16);
  }
  wf::setModuleSearchPath({});
  ::unsetenv("WRENFIELD_SCENARIO");
}

TEST_F(MeridianIconTest, KeysOneAndFiveMakeMeridianIconsAndSevenIsNotClaimed) {
  EXPECT_NE(addMeridian(21, "LPT1", 1), nullptr);
  EXPECT_NE(addMeridian(22, "LPT2", 5), nullptr);
  CWFMeridianIcon probe;
  EXPECT_TRUE(probe.BelongsToFamily(1));
  EXPECT_TRUE(probe.BelongsToFamily(5));
  EXPECT_FALSE(probe.BelongsToFamily(7));
  EXPECT_FALSE(probe.BelongsToFamily(0));
  EXPECT_STREQ(probe.GetRuntimeClass()->m_lpszClassName, "CWFMeridianIcon");
  EXPECT_EQ(probe.GetRuntimeClass()->m_wSchema, 0xFFFFu);
}

CWFPrinterDLL* refuse(HINSTANCE, const char*, DWORD, PFNCREATEPRINTERICON, const DWORD*, DWORD, CBitmap*) {
  return nullptr;
}

TEST_F(MeridianIconTest, ARefusedRegistrationLeavesNoFamily) {
  CWFPrinterDLLManager fresh;
  app_.printerDLLManager = &fresh;
  InitBaseGuiDLL(nullptr, &RegisterDLL);
  InitMeridianGuiDLL(nullptr, &refuse);
  EXPECT_EQ(CWFMeridianIcon().GetPrinterDLL(), nullptr);
  ScriptedPrtObj* printer = addLocal(23, "LPT3", 1);
  list_.NewPrinterIcon(printer, nullptr);
  for (CWFPrinterIcon* icon : icons()) EXPECT_EQ(dynamic_cast<CWFMeridianIcon*>(icon), nullptr);
  list_.DeleteAllPrinters();
  app_.printerDLLManager = &families_;
}

// ---- Stored record ----

TEST_F(MeridianIconTest, TheRecordRestoresFlagsAndTracking) {
  const std::vector<int> allOn(27, 1), allOff(27, 0);
  std::vector<int> firstOnly(27, 0);
  firstOnly[0] = 1;
  struct Case {
    const char* what;
    bool withRecord;
    ULONG mask, tracking;
    BOOL defaultTracking;
    std::vector<int> flags;
    BOOL tracked;
  } cases[] = {
      {"no record", false, 0, 0, FALSE, allOn, FALSE},
      {"no record, default on", false, 0, 0, TRUE, allOn, TRUE},
      {"mask 0", true, 0, 0, FALSE, allOff, FALSE},
      {"bit 26 only", true, 0x04000000, 0, FALSE, firstOnly, FALSE},
      {"high bits ignored", true, 0xF8000000 | 0x04000000, 0, FALSE, firstOnly, FALSE},
      {"tracking 1 over default off", true, 0x7FFFFFF, 1, FALSE, allOn, TRUE},
      {"tracking 0 over default on", true, 0x7FFFFFF, 0, TRUE, allOn, TRUE},
      {"non-zero tracking", true, 0x7FFFFFF, 7, FALSE, allOn, TRUE},
  };
  std::uint16_t handle = 30;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    app_.jsTracking = c.defaultTracking;
    MERIDIANBINARYDATA r = record(c.mask, c.tracking);
    CWFMeridianIcon* icon = addMeridian(handle, "LPT1", 1, "Corvane Vireo 12", c.withRecord ? &r : nullptr);
    ++handle;
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(flags(icon), c.flags);
    EXPECT_EQ(icon->GetTrackingJS(), c.tracked);
    MERIDIANBINARYDATA out{};
    icon->CreateSpecificBinaryData(&out);
    EXPECT_EQ(out.storedAlerts, c.withRecord ? (c.mask & 0x7FFFFFF) : 0x7FFFFFFu);
    EXPECT_EQ(out.trackingJS, c.tracked ? 1u : 0u);
  }
}

TEST_F(MeridianIconTest, ALongerRecordIsReadAtItsFamilyOffsetsOnly) {
  // A derived family's record: its own mask follows at 112.
  struct Longer {
    MERIDIANBINARYDATA meridian;
    std::uint32_t more;
  } longer{record(0x04000000, 1), 0xFFFFFFFF};
  static_assert(sizeof longer == 116);
  CWFMeridianIcon* icon = addMeridian(39, "LPT1", 1, "Corvane Vireo 12", &longer);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->CreateVireoStoredAlerts(), 0x04000000u);
  EXPECT_TRUE(icon->GetTrackingJS());
}

TEST_F(MeridianIconTest, DataIsTheBasePartAndTheFamilyPart) {
  CWFMeridianIcon* icon = addMeridian(40, "LPT1");
  icon->RestoreVireoAlerts(0x04000001);
  icon->SetTrackingJS(TRUE);
  HKEY key = nullptr;
  ASSERT_EQ(wf::RegCreateKeyExA(wf::HKEY_CURRENT_USER, "Software\\Test\\p", 0, nullptr, 0, wf::KEY_ALL_ACCESS,
                                nullptr, &key, nullptr),
            0);
  icon->WriteBinaryEnumData(key);
  BYTE data[200];
  DWORD size = sizeof data, type = 0;
  ASSERT_EQ(wf::RegQueryValueExA(key, "data", nullptr, &type, data, &size), 0);
  wf::RegCloseKey(key);
  EXPECT_EQ(type, wf::REG_BINARY);
  ASSERT_EQ(size, 112u);

  ENUMBINARYDATA base{};
  icon->CWFPrinterIcon::CreateSpecificBinaryData(&base);
  EXPECT_EQ(std::memcmp(data, &base, sizeof base), 0);
  const auto* family = reinterpret_cast<const MERIDIANBINARYDATA*>(data);
  EXPECT_EQ(family->storedAlerts, 0x04000001u);
  EXPECT_EQ(family->trackingJS, 1u);

  BYTE* refresh = static_cast<BYTE*>(icon->CreateRefreshData());
  ASSERT_NE(refresh, nullptr);
  EXPECT_EQ(std::memcmp(refresh, data, 112), 0);
  delete[] refresh;
}

TEST_F(MeridianIconTest, RestoreAlertsTakesTheBaseAndTheFamilyMask) {
  CWFMeridianIcon* icon = addMeridian(41, "LPT1");
  icon->RestoreAlerts(nullptr);
  EXPECT_EQ(icon->CreateVireoStoredAlerts(), 0x7FFFFFFu);
  MERIDIANBINARYDATA r = record(0x1, 0);
  r.base.storedAlerts = 0x200000;  // base flag 0 only
  icon->RestoreAlerts(&r);
  EXPECT_EQ(icon->CreateVireoStoredAlerts(), 0x1u);
  EXPECT_EQ(icon->CreateBaseStoredAlerts(), 0x200000u);
}

TEST_F(MeridianIconTest, AGhostTakesTheFamilyGhostNameUnlessTheRecordNamesIt) {
  MERIDIANBINARYDATA unnamed = record(0x7FFFFFF, 0);
  CWFMeridianIcon ghost(nullptr, &unnamed);
  EXPECT_TRUE(ghost.IsGhost());
  EXPECT_EQ(ghost.GetName(), text(40049));
  EXPECT_EQ(ghost.GetName(), "Remembered Vireo printer");
  CWFMeridianIcon noRecord(nullptr, nullptr);
  EXPECT_EQ(noRecord.GetName(), "Remembered Vireo printer");
  MERIDIANBINARYDATA named = record(0x7FFFFFF, 0, "Front desk");
  CWFMeridianIcon kept(nullptr, &named);
  EXPECT_EQ(kept.GetName(), "Front desk");
}

TEST_F(MeridianIconTest, TheResourcePageIsAnnounced) {
  CWFMeridianIcon* icon = addMeridian(42, "LPT1");
  // Status and statistics, the operator panel for an administrator, and resources.
  EXPECT_EQ(icon->NumPagesInNotebook(), 3 + (icon->IsUserAdmin() ? 1 : 0));
}

// ---- Model ----

TEST_F(MeridianIconTest, ModelNamesFollowSpeedTraysAndBins) {
  struct Case {
    ULONG family;
    ULONG speed;
    Bins in;
    OutBins out;
    std::string model;
  } cases[] = {
      {1, 12, {{2, 7104, 200, "Tray 2", 1, 1}}, {}, "Corvane Vireo 12 LF"},
      {1, 12, {{2, 7104, 250, "Tray 2", 1, 1}, {1, 7103, 500, "Tray 1", 1, 1}}, {}, "Corvane Vireo 12 HC"},
      {1, 12, {{1, 7103, 200, "Tray 1", 1, 1}}, {}, "Corvane Vireo 12"},
      {1, 16, {{1, 7103, 200, "Tray 1", 1, 1}}, {{1, 7201, 250, "Top", 0, {}}}, "Corvane Vireo 16 DX"},
      {1, 16, {{1, 7103, 200, "Tray 1", 1, 1}}, {{1, 7201, 500, "Top", 0, {}}}, "Corvane Vireo 16"},
      {1, 16, {{1, 7103, 500, "Tray 1", 1, 1}}, {{1, 7201, 250, "Top", 0, {}}}, "Corvane Vireo 16"},
      {1, 10, {{2, 7104, 200, "Tray 2", 1, 1}}, {}, "Corvane Vireo "},
      {5, 12, {{2, 7104, 200, "Tray 2", 1, 1}}, {}, "Corvane Vireo 12 LF+"},
      {5, 16, {{1, 7103, 200, "Tray 1", 1, 1}}, {}, "Corvane Vireo 16 DX+"},
      {5, 12, {{1, 7103, 250, "Tray 1", 1, 1}}, {}, "Corvane Vireo 16+"},
  };
  std::uint16_t handle = 50;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    ScriptedPrtObj* printer = addLocal(handle, "LPT1", c.family, "Corvane Vireo");
    printer->deviceChars.speed = c.speed;
    printer->inputBins = c.in;
    printer->outputBins = c.out;
    list_.NewPrinterIcon(printer, nullptr);
    auto* icon = dynamic_cast<CWFMeridianIcon*>(icons().back());
    ASSERT_NE(icon, nullptr);
    ++handle;
    icon->DetermineModel();
    EXPECT_EQ(std::string(icon->GetModel().str()), c.model);
    EXPECT_EQ(AfxGetResourceHandle(), resources_) << "the program's strings come first again";
  }
}

TEST_F(MeridianIconTest, NoModelWithoutBidiOutsideTheFamilyOrForAnotherMaker) {
  ScriptedPrtObj* noBidi = addLocal(60, "LPT1", 1, "Corvane Vireo");
  noBidi->caps.bidiActive = FALSE;
  ScriptedPrtObj* oem = addLocal(61, "LPT2", 1, "Vireo 10");
  for (ScriptedPrtObj* printer : {noBidi, oem}) {
    list_.NewPrinterIcon(printer, nullptr);
    auto* icon = dynamic_cast<CWFMeridianIcon*>(icons().back());
    ASSERT_NE(icon, nullptr);
    icon->DetermineModel();
    EXPECT_TRUE(icon->GetModel().IsEmpty());
  }
  // A Meridian icon on a printer of another family.
  ScriptedPrtObj* other = addLocal(62, "LPT3", 3, "Corvane Vireo");
  CWFMeridianIcon icon(other, nullptr);
  icon.DetermineModel();
  EXPECT_TRUE(icon.GetModel().IsEmpty());
}

// A remembered printer of the family that claims a link: its printer object
// cannot be borrowed.
class LinkedGhost : public CWFMeridianIcon {
 public:
  using CWFMeridianIcon::CWFMeridianIcon;
  BOOL GetBidiActive() override { return TRUE; }
  void setNames(const char* physical, const char* model) {
    setText(m_physicalName, physical);
    setText(m_model, model);
  }
};

TEST_F(MeridianIconTest, WithoutAPrinterObjectTheModelStays) {
  MERIDIANBINARYDATA r = record(0x7FFFFFF, 0);
  LinkedGhost icon(nullptr, &r);
  icon.setNames("Corvane Vireo", "Earlier model");
  icon.DetermineModel();
  EXPECT_EQ(icon.GetModel(), "Earlier model");
  EXPECT_EQ(AfxGetResourceHandle(), resources_);
}

// Loses the link on request, as a printer switched off: the next
// characteristics request is refused and bidi is gone.
class LosingPrinter : public ScriptedPrtObj {
 public:
  using ScriptedPrtObj::ScriptedPrtObj;
  std::atomic<bool> refuse{false};
  LONG bidiGetDeviceChars(DEVICECHARS* out) override {
    if (!refuse) return ScriptedPrtObj::bidiGetDeviceChars(out);
    caps.bidiActive = FALSE;
    return -5;
  }
};

TEST_F(MeridianIconTest, ARefusedRequestReportsAndLeavesNoRecordNorLock) {
  wf::fw::ScriptedShell shell;
  auto owned = std::make_unique<LosingPrinter>(64, 1);
  owned->caps.bidiActive = TRUE;
  owned->caps.portType = WFPrtObj::PORT_LPT;
  owned->caps.portName = "LPT1";
  owned->deviceChars.model = "Corvane Vireo";
  owned->deviceChars.speed = 12;
  fakebce::setPrtInfoFor(64, prtInfo(64, "LPT1"));
  LosingPrinter* printer = owned.get();
  add(std::move(owned));
  list_.NewPrinterIcon(printer, nullptr);
  auto* icon = dynamic_cast<CWFMeridianIcon*>(icons().back());
  ASSERT_NE(icon, nullptr);
  icon->IncrementUsageCount();
  runQueuedWork();
  icon->DetermineModel();
  const CString before = icon->GetModel();

  printer->refuse = true;
  std::thread worker([&] {
    icon->DetermineModel();
    EXPECT_EQ(AfxGetResourceHandle(), resources_) << "the worker's lookups start at the program's strings";
  });
  worker.join();
  // A worker's notice is shown by the user-interface thread.
  EXPECT_TRUE(wf::fw::testing::pumpUntil([&] { return shell.messageBox.calls().size() == 1; }))
      << "the lost link is reported";
  EXPECT_EQ(icon->GetModel(), before);
  bool free = false;
  std::thread([&] {
    CMutex mutex(icon->GetMutexName("DeviceChars"));
    free = mutex.Wait(0) != wf::kWaitTimeout;
    if (free) mutex.Release();
  }).join();
  EXPECT_TRUE(free);
  icon->DecrementUsageCount();
}

}  // namespace
}  // namespace wf::testing
