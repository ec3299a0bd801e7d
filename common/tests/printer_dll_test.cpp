#include "common/printer_dll.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "fake_wf_app.h"
#include "framework/dc.h"
#include "framework/image_list.h"
#include "platform/module.h"
#include "test_dirs.h"

namespace {

using GetListProc = const char* (*)(int);

CWFPrinterIcon* noIcon(WFPrtObj*, void*) {
  return nullptr;
}

// True while the library of that system name is in the process.
bool isLoaded(const char* name) {
  const auto file = wf::findModuleFile(name);
  if (!file) return false;
  void* handle = ::dlopen(file->c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (handle) ::dlclose(handle);
  return handle != nullptr;
}

class PrinterDLLTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scenario_ = wf::testing::testDataRoot().parent_path() / "scenario";
    ::setenv("WRENFIELD_SCENARIO", scenario_.c_str(), 1);
    app_.printerDLLManager = manager_.get();
  }
  void TearDown() override {
    manager_.reset();
    app_.printerDLLManager = nullptr;
    ::unsetenv("WRENFIELD_SCENARIO");
  }

  void setScenario(const std::string& text) { std::ofstream(scenario_) << text; }
  void setModules(const std::string& list) { setScenario("[spooloak]\nmodules = " + list + "\n"); }

  // The colour that image `index` of `list` shows at (x, y) over white.
  static COLORREF pixel(CImageList& list, int index, int x, int y) {
    const CSize size = list.GetImageSize();
    CBitmap canvas;
    canvas.CreateBitmap(size.cx, size.cy, 1, 32, nullptr);
    CDC dc;
    dc.CreateCompatibleDC(nullptr);
    CBitmap* previous = dc.SelectObject(&canvas);
    dc.FillSolidRect(0, 0, size.cx, size.cy, RGB(255, 255, 255));
    list.Draw(&dc, index, CPoint(0, 0), ILD_TRANSPARENT);
    const COLORREF colour = dc.GetPixel(x, y);
    dc.SelectObject(previous);
    return colour;
  }

  std::filesystem::path scenario_;
  wf::testing::FakeWFApp app_;
  std::unique_ptr<CWFPrinterDLLManager> manager_ = std::make_unique<CWFPrinterDLLManager>();
};

TEST_F(PrinterDLLTest, LoadsTheListedModulesOnceAndTheLaterRegistrationWins) {
  setModules("STUBFAMA.DLL,STUBFAMB.DLL");
  EXPECT_EQ(manager_->LoadDLLs(), 1);
  EXPECT_TRUE(manager_->IsLoaded());
  ASSERT_EQ(manager_->GetCount(), 2);
  EXPECT_EQ(manager_->FindPrinterDLL(1)->GetName(), "Stub A");
  EXPECT_EQ(manager_->FindPrinterDLL(5)->GetName(), "Stub B");
  EXPECT_EQ(manager_->FindPrinterDLL(9)->GetName(), "Stub B");
  EXPECT_EQ(manager_->FindPrinterDLL(2), nullptr);
  EXPECT_EQ(manager_->FindPrinterDLL(0xFFFFFFFF), nullptr);
  EXPECT_EQ(manager_->LoadDLLs(), 0);
  EXPECT_EQ(manager_->GetCount(), 2);
}

TEST_F(PrinterDLLTest, ListForms) {
  struct Case {
    const char* scenario;
    int result;
    BOOL loaded;
    int registrations;
  };
  for (const Case& c :
       {Case{"[spooloak]\nmodules = STUBFAMA.DLL\n", 1, TRUE, 1}, Case{"[spooloak]\nmodules =\n", 0, TRUE, 0},
        Case{"[spooloak]\nmodules = none\n", 0, FALSE, 0},
        Case{"", 1, TRUE, 5},  // the default names, all of which register
        Case{"[spooloak\n", 0, FALSE, 0}}) {
    SCOPED_TRACE(c.scenario);
    manager_ = std::make_unique<CWFPrinterDLLManager>();
    app_.printerDLLManager = manager_.get();
    setScenario(c.scenario);
    EXPECT_EQ(manager_->LoadDLLs(), c.result);
    EXPECT_EQ(manager_->IsLoaded(), c.loaded);
    EXPECT_EQ(manager_->GetCount(), c.registrations);
  }
  setModules("STUBFAMA.DLL");
  EXPECT_EQ(manager_->LoadDLLs(), 1) << "a null list leaves the next call to try again";
}

TEST_F(PrinterDLLTest, SpoolerStandInAnswersFromTheScenario) {
  HINSTANCE spooler = wf::loadModule("SPOOLOAK.DLL");
  ASSERT_NE(spooler, nullptr);
  EXPECT_EQ(wf::moduleEntry(spooler, "GetPrinterDLLList"), nullptr) << "by ordinal only";
  auto get = wf::moduleOrdinalAs<GetListProc>(spooler, 100);
  ASSERT_NE(get, nullptr);
  setScenario("[other]\nx = 1\n");
  EXPECT_STREQ(get(50), "WFPRTGUI.DLL,MRPRTGUI.DLL,TWPRTGUI.DLL,KYPRTGUI.DLL,HCPRTGUI.DLL");
  setScenario("[SpoolOak]\n# nothing listed\n");
  EXPECT_STREQ(get(50), "WFPRTGUI.DLL,MRPRTGUI.DLL,TWPRTGUI.DLL,KYPRTGUI.DLL,HCPRTGUI.DLL");
  setModules("A.DLL, B.DLL");
  EXPECT_STREQ(get(50), "A.DLL, B.DLL");
  setModules("none");
  EXPECT_EQ(get(50), nullptr);
  wf::freeModule(spooler);
}

TEST_F(PrinterDLLTest, SkipsNamesThatAreNotFamilyModules) {
  setModules(",,STUBFAMA.DLL,,/tmp/STUBFAMB.DLL,NOSUCH.DLL, STUBFAMB.DLL,STUBFAMNOINIT.DLL,SPOOLOAK.DLL,");
  EXPECT_EQ(manager_->LoadDLLs(), 1);
  ASSERT_EQ(manager_->GetCount(), 1) << "only the first stub registered";
  EXPECT_EQ(manager_->FindPrinterDLL(1)->GetName(), "Stub A");
  EXPECT_FALSE(isLoaded("STUBFAMB.DLL")) << "a path and a name with a blank are not loaded";
  EXPECT_TRUE(isLoaded("STUBFAMNOINIT.DLL")) << "loaded, without a registration";
  EXPECT_EQ(manager_->FindPrinterDLL(3), nullptr);
}

TEST_F(PrinterDLLTest, RegistrationAddsTheFamilyImagesAtFullAndHalfSize) {
  setModules("STUBFAMA.DLL,STUBFAMB.DLL");
  ASSERT_EQ(manager_->LoadDLLs(), 1);
  CImageList* normal = app_.GetNormalImageList();
  CImageList* small = app_.GetSmallImageList();
  ASSERT_EQ(normal->GetImageCount(), 4);
  ASSERT_EQ(small->GetImageCount(), 4);
  EXPECT_EQ(manager_->FindPrinterDLL(1)->GetImageListOffset(), 0);
  EXPECT_EQ(manager_->FindPrinterDLL(9)->GetImageListOffset(), 2);
  struct Probe {
    CImageList* list;
    int index, x, y;
    COLORREF colour;
  };
  const COLORREF white = RGB(255, 255, 255), red = RGB(255, 0, 0), blue = RGB(0, 0, 255);
  for (const Probe& p :
       {Probe{normal, 0, 0, 0, white}, Probe{normal, 0, 16, 16, red}, Probe{normal, 1, 16, 16, blue},
        Probe{normal, 1, 2, 30, white}, Probe{small, 0, 0, 0, white}, Probe{small, 0, 8, 8, red},
        Probe{small, 1, 8, 8, blue}, Probe{small, 3, 8, 8, blue}}) {
    EXPECT_EQ(pixel(*p.list, p.index, p.x, p.y), p.colour)
        << (p.list == normal ? "normal" : "small") << " image " << p.index << " at " << p.x << "," << p.y;
  }
}

TEST_F(PrinterDLLTest, MissingOrEmptyBitmapsGiveOffsetZero) {
  setModules("STUBFAMA.DLL,STUBFAMNOBMP.DLL,STUBFAMEMPTYBMP.DLL");
  ASSERT_EQ(manager_->LoadDLLs(), 1);
  ASSERT_EQ(manager_->GetCount(), 3);
  EXPECT_EQ(manager_->FindPrinterDLL(7)->GetImageListOffset(), 0);
  EXPECT_EQ(manager_->FindPrinterDLL(7)->GetName(), "") << "an empty name stays empty";
  EXPECT_EQ(manager_->FindPrinterDLL(8)->GetImageListOffset(), 0);
  EXPECT_EQ(app_.GetNormalImageList()->GetImageCount(), 2);
}

TEST_F(PrinterDLLTest, TheFactoryIsTheModulesOwn) {
  setModules("STUBFAMA.DLL");
  ASSERT_EQ(manager_->LoadDLLs(), 1);
  const CWFPrinterDLL* family = manager_->FindPrinterDLL(5);
  ASSERT_NE(family, nullptr);
  auto calls = wf::moduleEntryAs<int (*)()>(family->GetModule(), "stubFactoryCalls");
  auto lastRecord = wf::moduleEntryAs<void* (*)()>(family->GetModule(), "stubLastRecord");
  auto registration = wf::moduleEntryAs<CWFPrinterDLL* (*)()>(family->GetModule(), "stubRegistration");
  ASSERT_TRUE(calls && lastRecord && registration);
  EXPECT_EQ(registration(), family) << "the module keeps what RegisterDLL returned";
  int record = 0;
  EXPECT_EQ(family->GetIconCreationFunction()(nullptr, &record), nullptr);
  EXPECT_EQ(calls(), 1);
  EXPECT_EQ(lastRecord(), &record);
}

TEST_F(PrinterDLLTest, RefusedRegistrations) {
  const DWORD ids[] = {4};
  EXPECT_EQ(manager_->RegisterDLL(nullptr, "x", 0, nullptr, ids, 1, nullptr), nullptr);
  EXPECT_EQ(manager_->RegisterDLL(nullptr, "x", 0, &noIcon, nullptr, 1, nullptr), nullptr);
  EXPECT_EQ(manager_->RegisterDLL(nullptr, "x", 0, &noIcon, ids, 0, nullptr), nullptr);
  EXPECT_EQ(manager_->GetCount(), 0);
  CWFPrinterDLL* accepted = RegisterDLL(nullptr, nullptr, 0, &noIcon, ids, 1, nullptr);
  ASSERT_NE(accepted, nullptr) << "the free function reaches the application's manager";
  EXPECT_EQ(accepted->GetName(), "");
  EXPECT_TRUE(accepted->SupportsFamily(4));
  EXPECT_FALSE(accepted->SupportsFamily(5));
  app_.printerDLLManager = nullptr;
  EXPECT_EQ(RegisterDLL(nullptr, "x", 0, &noIcon, ids, 1, nullptr), nullptr) << "no manager";
}

TEST_F(PrinterDLLTest, TheManagerUnloadsItsModulesWhenItGoes) {
  setModules("STUBFAMA.DLL,STUBFAMB.DLL");
  ASSERT_EQ(manager_->LoadDLLs(), 1);
  EXPECT_TRUE(isLoaded("STUBFAMA.DLL"));
  manager_.reset();
  app_.printerDLLManager = nullptr;
  EXPECT_FALSE(isLoaded("STUBFAMA.DLL"));
  EXPECT_FALSE(isLoaded("STUBFAMB.DLL"));
}

TEST(PrinterDLL, WithoutAnApplicationNothingRegisters) {
  const DWORD ids[] = {4};
  EXPECT_EQ(RegisterDLL(nullptr, "x", 0, &noIcon, ids, 1, nullptr), nullptr);
}

}  // namespace
