// The settings pages' tests: a scripted Tidewater printer that logs what it
// is sent, an icon with the settings cache whose one extra page a test
// chooses, and a fixture that opens the notebook on that page over the
// printer double a test chooses.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/controls.h"
#include "framework/scripted_shell.h"
#include "platform/module.h"
#include "prtgui/prt_open_dlg.h"
#include "prtgui/prt_open_frame.h"
#include "table_tidewater.h"
#include "test_fixture.h"
#include "tidewater/tw_settings_page.h"
#include "window_steps.h"

namespace wf::testing {

// A Tidewater printer whose settings live in a table of texts by request
// code: reads come from there, sends are logged as "NAME=value" (and stored).
class ScriptedTidewater : public TableTidewater {
 public:
  // Names of the settings' request codes, as the log shows them.
  static inline const std::map<int, std::string> kNames = {
      {4110, "RESOLUTION"},  {4111, "DENSITY"},     {4112, "FORMLINES"}, {4113, "ECONOMODE"},
      {4114, "RET"},         {4115, "ORIENTATION"}, {4116, "TOPMARGIN"}, {4117, "LEFTMARGIN"},
      {4119, "PAGEPROTECT"}, {4120, "AUTOCONT"},    {4121, "POWERSAVE"}, {4118, "TIMEOUT"},
      {4122, "JAMRECOVERY"}, {4123, "HONORINIT"},   {4124, "LAUTOCRLF"}, {4125, "LAUTOLFCR"},
      {4126, "LUSDEFAULTS"}, {4127, "TESTPAGE"},    {4128, "DIRECTORY"}, {4129, "INITIALIZE"},
      {4130, "LPPDS"}};

  ScriptedTidewater(USHORT handle, std::map<int, std::string> initial)
      : TableTidewater(handle, std::move(initial)) {
    caps.bidiActive = TRUE;
    caps.portType = PORT_LPT;
    caps.portName = "LPT2";
    deviceChars.model = "Pagecrest";
  }
  BIDICAPABILITIES caps;
  DEVICECHARS deviceChars;
  ULONG flashSize = 0;
  std::vector<std::string> sent;  // lines sent, in order

  void getPrinterType(ULONG* type, ULONG* second) override {
    if (type) *type = 3;
    if (second) *second = 0;
  }
  BOOL getBidiCaps(BIDICAPABILITIES* out) override {
    *out = caps;
    return TRUE;
  }
  LONG bidiGetDeviceChars(DEVICECHARS* out) override {
    *out = deviceChars;
    return 0;
  }
  LONG bidiGetStorageOptions(STORAGEOPTIONS* out) override {
    out->flashSize = flashSize;
    return 0;
  }

 protected:
  LONG bidiQuery(USHORT code, const void* data, ULONG, void**, ULONG*, BOOL, BOOL) override {
    auto name = kNames.find(code);
    if (name == kNames.end()) return BCE_ERR_NOT_CAPABLE;
    std::string line = name->second;
    if (data && code != 4127 && code != 4128 && code != 4129) {
      line += "=" + std::string(static_cast<const char*>(data));
      values[code] = static_cast<const char*>(data);
    }
    sent.push_back(line);
    return 0;
  }
};

// The icon a Tidewater printer gets here: the base icon with the settings
// cache, the family's resources and the page `makePage` makes as its one
// extra page.
class TwIcon : public CWFPrinterIcon, public CTwSettingsHost {
 public:
  using CWFPrinterIcon::CWFPrinterIcon;
  static inline HINSTANCE resources = nullptr;
  static inline BOOL ppdsCapable = TRUE;
  static inline CPropertyPage* (*makePage)(TwIcon*) = nullptr;
  static CWFPrinterIcon* create(WFPrtObj* object, void* record) { return new TwIcon(object, record); }
  int BelongsToFamily(ULONG key) override { return key == 3 || key == 8; }
  HINSTANCE GetResourceInstance(UINT) override { return resources; }
  CString GetTidewaterMutex() override { return tidewater::TidewaterMutexName(GetPrinterHandle()); }
  BOOL GetPPDSCapable() override { return ppdsCapable; }
  UINT NumExtraPages() override { return 1; }
  void AddExtraOpenPages(CPropertySheet* sheet) override { sheet->AddPage(makePage(this)); }
};

// `Printer` is a TableTidewater made from a handle and the starting values.
template <class Printer = ScriptedTidewater>
class TidewaterPageFixture : public PrinterFixture {
 protected:
  static constexpr DWORD kIds[] = {3, 8};
  static constexpr USHORT kHandle = 41;

  // The printer starts with `values`; the notebook's extra page is `makePage`'s.
  void SetUpPage(std::map<int, std::string> values, CPropertyPage* (*makePage)(TwIcon*)) {
    PrinterFixture::SetUp();
    twResources_ = wf::loadModule("TWGUIDLL.DLL");
    ASSERT_TRUE(twResources_);
    wf::fw::joinResourceChain(twResources_);
    TwIcon::resources = twResources_;
    TwIcon::ppdsCapable = TRUE;
    TwIcon::makePage = makePage;
    families_.RegisterDLL(nullptr, "Tidewater", 0, &TwIcon::create, kIds, 2, nullptr);
    printer_ = std::make_unique<Printer>(kHandle, std::move(values));
    fakebce::setPrtInfoFor(kHandle, prtInfo(kHandle, "LPT2", BCE_NET_LOCAL | 0x8000, 2));
    app_.printers[kHandle] = printer_.get();
    manager_.objects[kHandle] = printer_.get();
  }
  void TearDown() override {
    list_.DeleteAllPrinters();
    PrinterFixture::TearDown();
    wf::fw::leaveResourceChain(twResources_);
    wf::freeModule(twResources_);
  }

  TwIcon* makeIcon() {
    list_.NewPrinterIcon(printer_.get(), nullptr);
    return dynamic_cast<TwIcon*>(icons().back());
  }
  // Opens the notebook and activates the extra page, its first reading
  // still queued; null when the page could not be activated.
  CWnd* activate(TwIcon* icon) {
    EXPECT_TRUE(icon->OpenPrinterA(0));
    runQueuedWork();
    pump();
    CPrtOpenDlg* notebook = icon->GetOpenFrame()->GetNotebook();
    const int last = notebook->GetPageCount() - 1;
    if (!notebook->SetActivePage(last)) {
      ADD_FAILURE() << "the extra page could not be activated";
      return nullptr;
    }
    return notebook->GetPage(last);
  }
  // Opens the notebook on the extra page and runs its first reading, whose
  // work labels are left in `labels_`.
  template <class Page>
  Page* open(TwIcon* icon) {
    auto* page = dynamic_cast<Page*>(activate(icon));
    labels_ = readFirst();
    return page;
  }
  // Runs the extra page's first reading, the reads before it forgotten;
  // returns the work's labels.
  std::vector<std::string> readFirst() {
    printer_->reads.clear();
    std::vector<std::string> labels = runQueuedWork();
    pump();
    return labels;
  }
  static void check(CWnd* page, int id, int on) {
    static_cast<CButton*>(page->GetDlgItem(id))->SetCheck(on);
    click(page, id);
  }
  // Chooses entry `position` of the list `id`, as the user does.
  static void choose(CWnd* page, int id, int position) {
    static_cast<CComboBox*>(page->GetDlgItem(id))->SetCurSel(position);
    page->SendMessage(WM_COMMAND, MAKELONG(id, CBN_SELCHANGE), page->GetDlgItem(id)->GetSafeHwnd());
  }
  static int selected(CWnd* page, int id) {
    return static_cast<CComboBox*>(page->GetDlgItem(id))->GetCurSel();
  }
  // The text of the list's selected entry; empty without one.
  static CString entry(CWnd* page, int id) {
    const auto* list = static_cast<CComboBox*>(page->GetDlgItem(id));
    CString out;
    if (list->GetCurSel() >= 0) list->GetLBText(list->GetCurSel(), out);
    return out;
  }
  static CString text(CWnd* page, int id) {
    CString out;
    page->GetDlgItem(id)->GetWindowText(out);
    return out;
  }
  static int checked(CWnd* page, int id) { return static_cast<CButton*>(page->GetDlgItem(id))->GetCheck(); }
  static BOOL enabled(CWnd* page, int id) { return page->GetDlgItem(id)->IsWindowEnabled(); }
  CString family(UINT id) const { return familyString(twResources_, id); }
  // The page's help table as control -> topic.
  static std::map<DWORD, DWORD> helpTopics(CWFPropertyPage& page) {
    std::map<DWORD, DWORD> topics;
    for (const DWORD* ids = page.GetHelpIDs(); ids[0] != 0; ids += 2) topics[ids[0]] = ids[1];
    return topics;
  }

  HINSTANCE twResources_ = nullptr;
  std::unique_ptr<Printer> printer_;
  std::vector<std::string> labels_;
  wf::fw::ScriptedShell shell_;
};

}  // namespace wf::testing
