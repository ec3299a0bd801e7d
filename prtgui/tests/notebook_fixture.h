#pragma once
// The printer modules' application with a family whose icon adds recording
// pages, the network library's stand-in loaded by name, and the scripted
// shell. Printers are made by their bidi state, rights and protocols.
#include <memory>
#include <string>
#include <vector>

#include "common/app_services.h"
#include "common/notebook_messages.h"
#include "common/thread_mgr.h"
#include "framework/ddx.h"
#include "framework/menu.h"
#include "framework/scripted_shell.h"
#include "mock_netui.h"
#include "platform/module.h"
#include "prtgui/prt_open_dlg.h"
#include "prtgui/prt_open_frame.h"
#include "prtgui/prt_pages.h"
#include "test_fixture.h"
#include "window_steps.h"

namespace wf::testing {

constexpr DWORD kNotebookFamily = 9;

// What reached the pages, in order: "<page> <what>".
struct PageLog {
  std::vector<std::string> lines;
  void add(const std::string& page, const std::string& what) { lines.push_back(page + " " + what); }
};

// Each records its data exchange towards the controls and the notebook's calls.
template <class Base>
class Recording : public Base {
 public:
  Recording(CWFPrinterIcon* icon, PageLog* log, std::string name)
      : Base(icon), log_(log), name_(std::move(name)) {}
  void DoDataExchange(CDataExchange* dx) override {
    if (!dx->m_bSaveAndValidate) log_->add(name_, "show");
    Base::DoDataExchange(dx);
  }

 protected:
  PageLog* log_;
  std::string name_;
};

class RecordingStatus : public Recording<CPrtOStatus> {
 public:
  using Recording::Recording;
  void UpdateMiniOpPanel() override {
    log_->add(name_, "mini panel");
    CPrtOStatus::UpdateMiniOpPanel();
  }
};

class RecordingResources : public Recording<CPrtOResourceMgmt> {
 public:
  using Recording::Recording;
  void QueryDisk() override { log_->add(name_, "query disk"); }
  void OnListingDone() override { log_->add(name_, "listing done"); }
  void OnNewItem(LPARAM item) override { log_->add(name_, "new item " + std::to_string(item)); }
};

// The family's icon: recording pages, the resource flag on demand.
class NotebookIcon : public CWFPrinterIcon {
 public:
  using CWFPrinterIcon::AnyNetworkPages;
  using CWFPrinterIcon::CWFPrinterIcon;
  using CWFPrinterIcon::UpdateCPowerOnPages;
  using CWFPrinterIcon::UpdateCTotalPages;
  using CWFPrinterIcon::UpdateCUserPageCount;
  static inline CWFPrinterDLL* registration = nullptr;
  static inline PageLog* log = nullptr;
  static CWFPrinterIcon* create(WFPrtObj* object, void* record) { return new NotebookIcon(object, record); }
  int BelongsToFamily(ULONG key) override { return key == kNotebookFamily; }
  CWFPrinterDLL* GetPrinterDLL() override { return registration; }
  void setResourcePage(BOOL on) { m_bPageNumbering = on; }
  void armPanelAlerts() { m_activeAlerts.mask |= 0x10000; }
  // A saved printer of this family not found by the enumeration.
  void makeGhost() {
    m_bGhost = TRUE;
    m_storedFamily = kNotebookFamily;
  }

 protected:
  void AddStatusPage(CPropertySheet* sheet) override {
    if (GetBidiActive() && !IsUnknownPrinter()) sheet->AddPage(new RecordingStatus(this, log, "status"));
  }
  void AddOpPanelPage(CPropertySheet* sheet) override {
    if (GetBidiActive() && !IsUnknownPrinter() && IsUserAdmin())
      sheet->AddPage(new Recording<CPrtOOpPanel>(this, log, "panel"));
  }
  void AddStatsPage(CPropertySheet* sheet) override {
    if (GetBidiActive() && !IsUnknownPrinter())
      sheet->AddPage(new Recording<CPrtOStatistics>(this, log, "statistics"));
  }
  void AddResourcePage(CPropertySheet* sheet) override {
    if (GetBidiActive() && !IsUnknownPrinter() && m_bPageNumbering)
      sheet->AddPage(new RecordingResources(this, log, "resources"));
  }
};

// The request object's transport bits a printer may report.
constexpr ULONG kNetWare = 0x1, kTcpIp = 0x2, kCorLink = 0x4, kPeer = 0x8, kIpx = 0x10;

// How a printer reports itself.
struct PrinterSpec {
  bool bidi = true;
  bool admin = true;
  ULONG transports = 0;  // request-object transport bits; none: a local printer
  ULONG family = kNotebookFamily;
};

class NotebookFixture : public PrinterFixture {
 protected:
  void SetUp() override {
    PrinterFixture::SetUp();
    NotebookIcon::log = &log_;
    CBitmap images;
    images.LoadBitmap(305);
    NotebookIcon::registration =
        families_.RegisterDLL(nullptr, "Notebook", 0, &NotebookIcon::create, &kNotebookFamily, 1, &images);
    useNetUI(WF_MOCK_NETUI_DIR);
    app_.setHelpFilePath("/opt/wrenfield/help/WRENFLD.HLP");
  }
  void TearDown() override {
    list_.DeleteAllPrinters();
    PrinterFixture::TearDown();
    app_.netSet = (app_.netSet ? (wf::freeModule(app_.netSet), nullptr) : nullptr);
    wf::setModuleSearchPath({});
  }

  // Loads the stand-in from `dir` as the application's network library.
  void useNetUI(const char* dir) {
    if (app_.netSet) wf::freeModule(std::exchange(app_.netSet, nullptr));
    wf::setModuleSearchPath({dir});
    ASSERT_TRUE(app_.loadNetSetDLL());
    reset_ = wf::moduleEntryAs<MockNetUIResetFn>(app_.netSet, "MockNetUIReset");
    script_ = wf::moduleEntryAs<MockNetUIScriptFn>(app_.netSet, "MockNetUIScript");
    query_ = wf::moduleEntryAs<MockNetUIQueryFn>(app_.netSet, "MockNetUIQuery");
    factoryCall_ = wf::moduleEntryAs<MockNetUIFactoryCallFn>(app_.netSet, "MockNetUIFactoryCall");
    ASSERT_TRUE(reset_ && script_ && query_ && factoryCall_);
    reset_();
  }

  CWFPrinterIcon* makeIcon(std::uint16_t handle, const PrinterSpec& spec) {
    // Printers at one address replace each other.
    const std::string port = "LPT" + std::to_string(handle % 9 + 1);
    auto object = localPrinter(handle, port.c_str(), spec.family);
    object->caps.bidiActive = spec.bidi ? TRUE : FALSE;
    std::uint32_t connections = BCE_NET_LOCAL;
    if (spec.transports) {
      object->caps.portType = WFPrtObj::PORT_ADAPTER_PARALLEL_1;
      object->caps.transports = static_cast<UINT>(spec.transports);
      connections = 0x10000;
    }
    if (spec.admin) connections |= 0x8000;
    fakebce::setPrtInfoFor(handle,
                           prtInfo(handle, port.c_str(), connections, static_cast<std::uint8_t>(handle)));
    ScriptedPrtObj* raw = add(std::move(object));
    list_.NewPrinterIcon(raw, nullptr);
    return icons().back();
  }

  // (printer, protocol) of every query the network library answered.
  std::vector<std::pair<USHORT, UINT>> netQueries() const {
    std::vector<std::pair<USHORT, UINT>> out;
    USHORT printer = 0;
    UINT protocol = 0;
    for (int i = 0; query_(i, &printer, &protocol); ++i) out.emplace_back(printer, protocol);
    return out;
  }
  std::vector<std::pair<int, void*>> factoryCalls() const {
    std::vector<std::pair<int, void*>> out;
    int first = 0;
    void* second = nullptr;
    for (int i = 0; factoryCall_(i, &first, &second); ++i) out.emplace_back(first, second);
    return out;
  }

  // Runs the queued work items in order: (label, priority) of each.
  std::vector<std::pair<std::string, int>> runWork() {
    std::vector<std::pair<std::string, int>> out;
    while (!app_.ThreadMgrQIsEmpty()) {
      std::unique_ptr<CWFThread> item(app_.ThreadMgrQRemoveHead());
      out.emplace_back(item->GetString().str(), item->m_nPriority);
      item->m_pfnProc(item->m_pParam);
    }
    return out;
  }

  PageLog log_;
  wf::fw::ScriptedShell shell_;
  MockNetUIResetFn reset_ = nullptr;
  MockNetUIScriptFn script_ = nullptr;
  MockNetUIQueryFn query_ = nullptr;
  MockNetUIFactoryCallFn factoryCall_ = nullptr;
};

}  // namespace wf::testing
