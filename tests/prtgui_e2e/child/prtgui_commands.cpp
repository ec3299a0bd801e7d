// Commands of wf-prtguichild: the printer modules' view of the real broker.
// One application (the common classes' test double of the main program)
// with the printer manager, the printer list of icons, the generic family
// and one test family for every other family key.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QApplication>
#include <QTimer>

#include "alert_service.h"
#include "app/inventory_dlg.h"
#include "app/jsf_manager.h"
#include "broker/corbce.h"
#include "child_commands.h"
#include "common/app_services.h"
#include "common/driver_dlg.h"
#include "common/notebook_messages.h"
#include "common/oid_list.h"
#include "common/printer_dll.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "common/quick_dlg.h"
#include "common/thread_mgr.h"
#include "common/wait_objects.h"
#include "fake_wf_app.h"
#include "framework/controls.h"
#include "framework/ddx.h"
#include "framework/global_memory.h"
#include "framework/printing.h"
#include "framework/resources.h"
#include "framework/scripted_shell.h"
#include "keystone/ky_family.h"
#include "keystone/ky_icon.h"
#include "keystone/ky_jobbuf.h"
#include "keystone/ky_tray_levels.h"
#include "meridian/meridian_family.h"
#include "meridian/meridian_icon.h"
#include "meridian/resource_page.h"
#include "platform/clock.h"
#include "platform/message_queue.h"
#include "platform/module.h"
#include "platform/window_messages.h"
#include "prtgui/generic_family.h"
#include "prtgui/printer_picture.h"
#include "prtgui/prt_open_dlg.h"
#include "prtgui/prt_open_frame.h"
#include "prtgui/prt_pages.h"
#include "tidewater/tw_family.h"
#include "tidewater/tw_op_panel.h"
#include "tidewater/tw_settings.h"
#include "tidewater/tw_status.h"
#include "wfprtmgr/wfprtmgr.h"
#include "window_shot.h"

using wf::testing::ChildArgs;

namespace {

constexpr UINT WM_WF_TESTPAGEDONE = 0x479;
constexpr auto kWait = std::chrono::seconds(60);

// How often the notebook had the statistics page show its data.
int statisticsShown = 0;

class CountingStatistics : public CPrtOStatistics {
 public:
  using CPrtOStatistics::CPrtOStatistics;
  void DoDataExchange(CDataExchange* dx) override {
    if (!dx->m_bSaveAndValidate) ++statisticsShown;
    CPrtOStatistics::DoDataExchange(dx);
  }
};

// The icon class of every family but the generic one; its statistics page counts.
class TestFamilyIcon : public CWFPrinterIcon {
 public:
  using CWFPrinterIcon::CWFPrinterIcon;
  int BelongsToFamily(ULONG key) override { return key != 0 && key != 0xFFFFFFFF; }
  static CWFPrinterIcon* create(WFPrtObj* object, void* record) { return new TestFamilyIcon(object, record); }

 protected:
  void AddStatsPage(CPropertySheet* sheet) override {
    if (GetBidiActive() && !IsUnknownPrinter()) sheet->AddPage(new CountingStatistics(this));
  }
};
constexpr DWORD kTestFamilyIds[] = {1, 2, 3, 4, 5, 6, 7, 8};

struct Application {
  // Sounds, help and boxes of the whole run are recorded here.
  wf::fw::ScriptedShell shell;
  wf::testing::FakeWFApp app;
  wf::testing::AlertServiceDouble alerts{[](HWND window) { return BceRegisterApp(window); }};
  CWFPrinterDLLManager families;
  CWFPrinterList list;
  std::unique_ptr<WFPrtMgr> manager;
  std::vector<std::pair<WPARAM, LPARAM>> testPages;
  int added = 0;
  HWND notify = wf::createWindow("WfPrtGuiNotify", [this](HWND, std::uint32_t message, WPARAM w, LPARAM l) {
    if (message == WM_WF_TESTPAGEDONE) testPages.emplace_back(w, l);
    if (message == WM_WF_ADDPRINTER) ++added;
    return LRESULT{0};
  });
};
std::unique_ptr<Application> application;

std::uint32_t num(const std::string& s) {
  return static_cast<std::uint32_t>(std::stoul(s, nullptr, 0));
}

// Labels of the work items run so far.
std::vector<std::string> workRun;

// Runs queued work items and posted messages until `done` or the bound.
template <class Done>
bool runUntil(Done&& done) {
  const auto end = std::chrono::steady_clock::now() + kWait;
  for (;;) {
    wf::Message m;
    while (wf::peekMessage(m, wf::PeekMode::Remove)) wf::dispatchMessage(m);
    while (!application->app.ThreadMgrQIsEmpty()) {
      std::unique_ptr<CWFThread> item(application->app.ThreadMgrQRemoveHead());
      workRun.push_back(item->GetString().str());
      item->m_pfnProc(item->m_pParam);
    }
    if (done()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

int posts(UINT message) {
  int n = 0;
  const std::string prefix = "PostToAll " + std::to_string(message) + " ";
  for (const auto& call : application->app.windowList.calls()) n += call.rfind(prefix, 0) == 0;
  return n;
}

// start -> "ok <application id>"
WF_CHILD_COMMAND("start", [](const ChildArgs& args) {
  // The main program's resources come first in the chain.
  static HINSTANCE resources = wf::loadModule("WFRESDLL.DLL");
  wf::fw::joinResourceChain(resources);
  application = std::make_unique<Application>();
  auto& a = *application;
  a.app.alertService = &a.alerts;
  a.app.appId = a.alerts.appId();
  a.manager = std::make_unique<WFPrtMgr>(a.app.appId);
  a.app.prtMgr = a.manager.get();
  a.app.printerList = &a.list;
  a.app.printerDLLManager = &a.families;
  // A window shows every printer, so its alerts sound.
  a.app.windowList.normalWindowFound = TRUE;
  a.app.waveFiles = {{21, "jam.wav"}, {8, "allclear.wav"}};
  InitBaseGuiDLL(nullptr, &RegisterDLL);
  a.families.RegisterDLL(nullptr, "Test family", 0, &TestFamilyIcon::create, kTestFamilyIds,
                         sizeof kTestFamilyIds / sizeof kTestFamilyIds[0], nullptr);
  // "start meridian": the Meridian family module claims its keys; the
  // newest registration is found first.
  if (!args.empty() && args.at(0) == "meridian") InitMeridianGuiDLL(nullptr, &RegisterDLL);
  return "ok " + std::to_string(a.app.appId);
});

// enumerate -> "ok <added>" once the whole-system enumeration has ended
WF_CHILD_COMMAND("enumerate", [](const ChildArgs&) -> std::string {
  auto& a = *application;
  const int before = posts(WM_WF_ENUMALLDONE);
  a.added = 0;
  a.list.EnumeratePrinters(a.manager.get(), a.notify);
  if (!runUntil([&] { return posts(WM_WF_ENUMALLDONE) > before; })) return "err no completion";
  return "ok " + std::to_string(a.added);
});

// saved <port> <ghosts 0|1> -> "ok": a window's saved printer, as a
// remembered record naming the port
WF_CHILD_COMMAND("saved", [](const ChildArgs& args) -> std::string {
  auto& a = *application;
  a.app.useGhosts = num(args.at(1)) != 0;
  auto* request = new ENUMPRTDATA;
  request->pList = &a.list;
  request->hNotify = a.notify;
  request->mode = 1;
  std::strncpy(request->address.local, args.at(0).c_str(), sizeof request->address.local - 1);
  auto* record = new BYTE[sizeof(ENUMBINARYDATA)]();
  auto* r = reinterpret_cast<ENUMBINARYDATA*>(record);
  r->portType = WFPrtObj::PORT_LPT;
  r->familyKey = 0xFFFFFFFF;
  std::strcpy(r->name, ("Saved " + args.at(0)).c_str());
  r->userDefinedName = 1;
  r->storedAlerts = 0x3FFFFF;
  request->pStoredRecord = record;
  a.app.IncreaseEnumSpecCount();
  a.manager->enumSpecificPrinter(&request->address, &EnumPrintersCallback,
                                 reinterpret_cast<std::uintptr_t>(request), TRUE);
  if (!runUntil([&] { return a.app.GetEnumSpecCount() == 0; })) return "err not ended";
  return "ok";
});

// icons -> "ok" then "|handle;name;port;model;ghost" per icon, models
// determined first as a printer window does
WF_CHILD_COMMAND("icons", [](const ChildArgs&) {
  auto& a = *application;
  std::string out = "ok";
  for (POSITION p = a.list.GetHeadPosition(); p;) {
    auto* icon = static_cast<CWFPrinterIcon*>(a.list.GetNext(p));
    if (!icon->IsGhost()) icon->DetermineModel();
    out += "|" + std::to_string(icon->GetPrinterHandle()) + ";" + icon->GetName().str() + ";" +
           icon->GetPort().str() + ";" + icon->GetModel().str() + ";" + (icon->IsGhost() ? "ghost" : "live");
  }
  return out;
});

// use <handle> | unuse <handle> -> "ok <armed mask>" once the arming workers ran
std::string changeUsage(const ChildArgs& args, bool more) {
  auto& a = *application;
  CWFPrinterIcon* icon = a.list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  if (!icon) return "err no icon";
  if (more)
    icon->IncrementUsageCount();
  else
    icon->DecrementUsageCount();
  runUntil([] { return true; });
  const std::string mask = std::to_string(icon->GetActiveAlerts()->mask);
  icon->ThreadUnlock();
  return "ok " + mask;
}
WF_CHILD_COMMAND("use", [](const ChildArgs& args) { return changeUsage(args, true); });
WF_CHILD_COMMAND("unuse", [](const ChildArgs& args) { return changeUsage(args, false); });

// alerts <handle> -> "ok" then "|specific;sub-type;state;hard error;text" per stored message
WF_CHILD_COMMAND("alerts", [](const ChildArgs& args) -> std::string {
  auto& a = *application;
  CWFPrinterIcon* icon = a.list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  if (!icon) return "err no icon";
  std::string out = "ok";
  CMutex lock(icon->GetMutexName("AlertLock"));
  lock.Wait(wf::kInfinite);
  CWFAlertMsgList& messages = icon->GetAlertStorage().GetMessages();
  for (POSITION p = messages.GetHeadPosition(); p;) {
    auto* message = static_cast<CWFAlertMsg*>(messages.GetNext(p));
    const CWFAlert* alert = message->GetAlert();
    out += "|" + std::to_string(alert->GetSpecificAlert()) + ";" + std::to_string(alert->GetSubType()) + ";" +
           std::to_string(alert->GetActiveState()) + ";" + std::to_string(alert->GetHardError()) + ";" +
           message->GetText().str();
  }
  lock.Release();
  icon->ThreadUnlock();
  return out;
});

// sounds -> "ok" then "|file" per sound played, once due sounds ran
WF_CHILD_COMMAND("sounds", [](const ChildArgs&) {
  runUntil([] { return true; });
  std::string out = "ok";
  for (const auto& call : application->shell.sound.calls()) out += "|" + call.file;
  return out;
});

// panel <handle> <0|1> -> "ok <armed mask>" once the arming worker ran
WF_CHILD_COMMAND("panel", [](const ChildArgs& args) -> std::string {
  CWFPrinterIcon* icon = application->list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  if (!icon) return "err no icon";
  icon->ActivatePanelAlerts(num(args.at(1)) != 0);
  runUntil([] { return true; });
  const std::string mask = std::to_string(icon->GetActiveAlerts()->mask);
  icon->ThreadUnlock();
  return "ok " + mask;
});

// meridian -> "ok": the Meridian family takes keys 1 and 5, its
// intervention sounds (events 14 and 18) have files
WF_CHILD_COMMAND("meridian", [](const ChildArgs&) {
  InitMeridianGuiDLL(nullptr, &RegisterDLL);
  application->app.waveFiles[14] = "shortpaper.wav";
  application->app.waveFiles[18] = "wrongtoner.wav";
  return std::string("ok");
});

// jobstats <file> -> "ok": the program's job statistics service, writing `file`
WF_CHILD_COMMAND("jobstats", [](const ChildArgs& args) -> std::string {
  struct Host : WFJSFHost {
    void LockInJSFile() override {}
    void TraverseOnThread(BOOL (*)(CWFPrinterIcon*, void*), void*) override {}
    HWND GetMainWindowHandle() override { return 0; }
  };
  static Host host;
  static CWFJSFManager service(&host);
  if (!service.Initialize()) return "err no service";
  application->app.jsfService = &service;
  application->app.jsFilename = args.at(0).c_str();
  PostMessage(service.GetNotificationWindow(), WM_WF_JSFSETFILE, 0,
              reinterpret_cast<LPARAM>(wf::fw::globalTextCopy(args.at(0))));
  return "ok";
});

// track <handle> <0|1> -> "ok <armed mask>" once the arming worker ran
WF_CHILD_COMMAND("track", [](const ChildArgs& args) -> std::string {
  CWFPrinterIcon* icon = application->list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  auto* meridian = dynamic_cast<CWFMeridianIcon*>(icon);
  if (!meridian) {
    if (icon) icon->ThreadUnlock();
    return "err no Meridian icon";
  }
  meridian->SetTrackingJS(num(args.at(1)) != 0);
  runUntil([] { return true; });
  const std::string mask = std::to_string(icon->GetActiveAlerts()->mask);
  icon->ThreadUnlock();
  return "ok " + mask;
});

// help <handle> -> "ok <context>": help for the icon's current error, 0 when none was asked
WF_CHILD_COMMAND("help", [](const ChildArgs& args) -> std::string {
  CWFPrinterIcon* icon = application->list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  if (!icon) return "err no icon";
  const std::size_t before = application->app.helpCalls().size();
  icon->ShowHelpforError();
  icon->ThreadUnlock();
  const auto calls = application->app.helpCalls();
  return "ok " + std::to_string(calls.size() > before ? calls.back().second : 0);
});

// handled -> "ok" then "|message result" per broker message the alert
// service handled
WF_CHILD_COMMAND("handled", [](const ChildArgs&) {
  std::string out = "ok";
  for (const auto& result : application->alerts.results()) out += "|" + result;
  return out;
});

// testpage <handle> <program directory> -> "ok <wParam> <lParam is the icon 0|1>"
WF_CHILD_COMMAND("testpage", [](const ChildArgs& args) -> std::string {
  auto& a = *application;
  a.app.setProgramDirectory(args.at(1));
  CWFPrinterIcon* icon = a.list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  if (!icon) return "err no icon";
  CWnd notify;
  notify.m_hWnd = a.notify;
  const BOOL started = icon->PrintTestPage(&notify);
  notify.m_hWnd = 0;
  icon->ThreadUnlock();
  if (!started) return "ok not started";
  a.testPages.clear();
  if (!runUntil([&] { return !a.testPages.empty(); })) return "err no answer";
  return "ok " + std::to_string(a.testPages[0].first) + " " +
         std::to_string(a.testPages[0].second == reinterpret_cast<LPARAM>(icon));
});

// The Quick Setup dialog's parent: keeps what the dialog showed, then
// destroys and deletes it as the receivers of WM_WF_QSDONE do.
class QuickSetupParent : public CWnd {
 public:
  int done = 0;
  std::string bar;
  LRESULT onDone(WPARAM, LPARAM lParam) {
    auto* dialog = reinterpret_cast<CQuickDlg*>(lParam);
    if (auto* progress = dynamic_cast<CProgressCtrl*>(dialog->GetDlgItem(1133))) {
      int low = 0, high = 0;
      progress->GetRange(low, high);
      bar = std::to_string(low) + " " + std::to_string(high) + " " + std::to_string(progress->GetPos());
    }
    ++done;
    dialog->DestroyWindow();
    delete dialog;
    return 0;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(QuickSetupParent, CWnd)
ON_MESSAGE(WM_WF_QSDONE, onDone)
END_MESSAGE_MAP()

struct Gui {
  int argc = 1;
  char name[16] = "wf-prtguichild";
  char* argv[2] = {name, nullptr};
  QApplication app{argc, argv};
  std::size_t boxesSeen = 0;
  QuickSetupParent parent;
};
std::unique_ptr<Gui> gui;
// Answers the factory-defaults question of the Tidewater advanced page.
std::unique_ptr<wf::fw::ScriptedDialogs> confirmations;

// The GUI of the run, made on first use; false when its parent cannot be made.
bool ensureGui() {
  if (gui) return true;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  gui = std::make_unique<Gui>();
  return gui->parent.CreateEx(0, "QuickSetupParent", "parent", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, 0);
}

// qs <send|recv> <handle> <file> -> "ok <bar low> <bar high> <bar position>
// <dones>" then "|" and each message box text
WF_CHILD_COMMAND("qs", [](const ChildArgs& args) -> std::string {
  if (!ensureGui()) return "err no parent";
  CWFPrinterIcon* icon = application->list.FindPrinterIcon(static_cast<USHORT>(num(args.at(1))));
  if (!icon) return "err no icon";
  gui->parent.done = 0;
  gui->parent.bar.clear();
  if (args.at(0) == "send")
    icon->DoQuickSetupSend(&gui->parent, args.at(2).c_str());
  else
    icon->DoQuickSetupReceive(&gui->parent, args.at(2).c_str());
  icon->ThreadUnlock();
  if (!runUntil([] {
        QCoreApplication::processEvents();
        return gui->parent.done > 0;
      }))
    return "err not done";
  runUntil([] { return true; });  // a second WM_WF_QSDONE would be queued by now
  std::string out = "ok " + gui->parent.bar + " " + std::to_string(gui->parent.done);
  const auto boxes = application->shell.messageBox.calls();
  for (std::size_t i = gui->boxesSeen; i < boxes.size(); ++i) out += "|" + boxes[i].text;
  gui->boxesSeen = boxes.size();

  return out;
});

// graphic <handle> -> "ok <serial>;<speed>;<memory KB>;<flash>;<disk>;<tray 1 capacity>;
// <tray 2 capacity>;<tray 1 size>;<code levels>;<total pages>;<user pages>" after
// the fill worker ran here
WF_CHILD_COMMAND("graphic", [](const ChildArgs& args) -> std::string {
  auto& a = *application;
  const USHORT handle = static_cast<USHORT>(num(args.at(0)));
  CWFPrinterIcon* icon = a.list.FindPrinterIcon(handle);
  if (!icon) return "err no icon";
  CWFPrinterIcon::UpdateGraphicInfo(reinterpret_cast<void*>(std::uintptr_t{handle}));
  std::string out = "ok " + icon->GetSerialNo().str();
  const unsigned long values[] = {icon->GetPrinterSpeed(),     icon->GetMemorySize(),
                                  icon->GetFlashSize(),        icon->GetHDSize(),
                                  icon->GetTrayCapacity(7103), icon->GetTrayCapacity(7104),
                                  icon->GetTraySize(7103),     icon->GetNumCodeLevels(),
                                  icon->GetTotalPages(),       icon->GetUserPageCount()};
  for (unsigned long value : values) out += ";" + std::to_string(value);
  icon->ThreadUnlock();
  return out;
});

// picture <handle> -> "ok <printer bitmap>" then "|id;top;left" per option
// bitmap, as the status page composes it after the fill worker ran: the
// first hard error's bitmap alone, else 3600 with the options.
WF_CHILD_COMMAND("picture", [](const ChildArgs& args) -> std::string {
  auto& a = *application;
  const USHORT handle = static_cast<USHORT>(num(args.at(0)));
  CWFPrinterIcon* icon = a.list.FindPrinterIcon(handle);
  if (!icon) return "err no icon";
  CWFPrinterIcon::UpdateGraphicInfo(reinterpret_cast<void*>(std::uintptr_t{handle}));
  const UINT hardError = icon->Get1stHardErrorBMP();
  std::string out = "ok " + std::to_string(hardError ? hardError : 3600);
  if (!hardError)
    for (const wf::OptionPicture& p : wf::decodeImageIds(wf::pictureOptionsOf(*icon)).pictures)
      out += "|" + std::to_string(p.id) + ";" + std::to_string(p.top) + ";" + std::to_string(p.left);
  icon->ThreadUnlock();
  return out;
});

// inventory <handle> <name> -> "ok <record as hex bytes>"
WF_CHILD_COMMAND("inventory", [](const ChildArgs& args) -> std::string {
  auto& a = *application;
  _WF_PRINTER_INFO info;
  info.hPrinter = static_cast<USHORT>(num(args.at(0)));
  info.strName = args.at(1).c_str();
  CWFPrinterIcon* icon = a.list.FindPrinterIcon(info.hPrinter);
  if (!icon) return "err no icon";
  std::vector<char> buffer(CWFPrinterIcon::kInventoryBufferSize);
  const short length = icon->GetInventoryData(&info, buffer.data());
  icon->ThreadUnlock();
  std::string out = "ok";
  for (short i = 0; i < length; ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, " %02x", static_cast<unsigned char>(buffer[i]));
    out += byte;
  }
  return out;
});

// inventoryfile <path> <cancel file> -> "ok <result code>": the data file of
// every printer; the run is cancelled once the cancel file exists ("-": never).
WF_CHILD_COMMAND("inventoryfile", [](const ChildArgs& args) -> std::string {
  auto& a = *application;
  wf::inventory::Run run;
  run.dataFile = args.at(0);
  const std::string cancelFile = args.at(1);
  if (CWFoidList* list = a.list.GetPrinterListEnumerated()) {
    for (POSITION p = list->GetHeadPosition(); p;)
      run.entries.push_back(
          static_cast<_WF_PRINTER_INFO*>(static_cast<CWFoid*>(list->GetNext(p))->GetPointer()));
    delete list;
  }
  int code = 0;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    code = wf::inventory::CreateDataFile(run);
    done = true;
  });
  while (!done && cancelFile != "-")
    if (::access(cancelFile.c_str(), F_OK) == 0)
      run.cancel = true;
    else
      wf::sleepFor(1);
  worker.join();
  return "ok " + std::to_string(code);
});

// inventoryprint <data file> <pdf> -> "ok <result code>": the report into a PDF
WF_CHILD_COMMAND("inventoryprint", [](const ChildArgs& args) -> std::string {
  if (!ensureGui()) return "err no gui";
  wf::inventory::Run run;
  run.dataFile = args.at(0);
  run.printer = CreatePrinterDC({"PDF", "", args.at(1), 1, args.at(1)});
  run.includeNonBidirectional = true;
  int code = 0;
  std::thread worker([&] { code = wf::inventory::PrintDataFile(run); });
  worker.join();
  return "ok " + std::to_string(code);
});

// pagecounts <handle> <reset> -> "ok <user pages>" after the page-count worker ran here
WF_CHILD_COMMAND("pagecounts", [](const ChildArgs& args) -> std::string {
  auto& a = *application;
  CWFPrinterIcon* icon = a.list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  if (!icon) return "err no icon";
  icon->UpdatePageCounts(static_cast<int>(num(args.at(1))));
  while (!a.app.ThreadMgrQIsEmpty()) {
    std::unique_ptr<CWFThread> item(a.app.ThreadMgrQRemoveHead());
    item->m_pfnProc(item->m_pParam);
  }
  const std::string out = "ok " + std::to_string(icon->GetUserPageCount());
  icon->ThreadUnlock();
  return out;
});

// The notebook's state: "<pages>;<current page>;<x>;<y>;<status line>;<title>;<statistics shown>;
// <printer status>"
std::string notebookState(CWFPrinterIcon* icon) {
  CPrtOpenFrame* frame = icon->GetOpenFrame();
  if (!frame) return "closed";
  CRect rect;
  frame->GetWindowRect(&rect);
  CString title;
  frame->GetWindowText(title);
  CPrtOpenDlg* notebook = frame->GetNotebook();
  return std::to_string(notebook->GetPageCount()) + ";" + std::to_string(notebook->GetCurrentPage()) + ";" +
         std::to_string(rect.left) + ";" + std::to_string(rect.top) + ";" + notebook->GetMessageA().str() +
         ";" + title.str() + ";" + std::to_string(statisticsShown) + ";" + icon->GetStatus().str();
}

// open <handle> <view> -> "ok <state>" once the notebook's workers ran here; close <handle> -> "ok"
WF_CHILD_COMMAND("open", [](const ChildArgs& args) -> std::string {
  ensureGui();
  CWFPrinterIcon* icon = application->list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  if (!icon) return "err no icon";
  const BOOL opened = icon->OpenPrinterA(num(args.at(1)));
  runUntil([] { return true; });
  runUntil([] { return true; });  // the worker's post
  const std::string out = opened ? "ok " + notebookState(icon) : "err not opened";
  icon->ThreadUnlock();
  return out;
});

WF_CHILD_COMMAND("close", [](const ChildArgs& args) -> std::string {
  CWFPrinterIcon* icon = application->list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  if (!icon) return "err no icon";
  if (CPrtOpenFrame* frame = icon->GetOpenFrame()) frame->SendMessage(WM_CLOSE);
  runUntil([] { return true; });
  const std::string out = "ok " + notebookState(icon) + " " + std::to_string(icon->GetDefaultView());
  icon->ThreadUnlock();
  return out;
});

// notebook <handle> -> "ok <state>"
WF_CHILD_COMMAND("notebook", [](const ChildArgs& args) -> std::string {
  CWFPrinterIcon* icon = application->list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  if (!icon) return "err no icon";
  runUntil([] { return true; });
  const std::string out = "ok " + notebookState(icon);
  icon->ThreadUnlock();
  return out;
});

// control <handle> <page> <id> <how> -> "ok <enabled 0|1> <checked 0|1> <text>": the page
// shown; how 1 clicks the control, 2 toggles its check and clicks it; the work that queued runs here.
WF_CHILD_COMMAND("control", [](const ChildArgs& args) -> std::string {
  CWFPrinterIcon* icon = application->list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  if (!icon) return "err no icon";
  CPrtOpenFrame* frame = icon->GetOpenFrame();
  std::string out = "err not open";
  if (frame && frame->GetNotebook()->SetActivePage(static_cast<int>(num(args.at(1))))) {
    runUntil([] { return true; });
    CPropertyPage* page = frame->GetNotebook()->GetActivePage();
    const int id = static_cast<int>(num(args.at(2)));
    CWnd* control = page ? page->GetDlgItem(id) : nullptr;
    if (!control) {
      out = "err no control";
    } else {
      auto* box = dynamic_cast<CButton*>(control);
      const auto how = num(args.at(3));
      if (how == 2 && box) box->SetCheck(box->GetCheck() ? 0 : 1);
      if (how) page->SendMessage(WM_COMMAND, MAKELONG(id, BN_CLICKED), control->GetSafeHwnd());
      runUntil([] { return true; });
      runUntil([] { return true; });  // the worker's post
      CString text;
      control->GetWindowText(text);
      out = std::string("ok ") + (control->IsWindowEnabled() ? "1 " : "0 ") +
            (box && box->GetCheck() ? "1 " : "0 ") + text.str();
    }
  }
  icon->ThreadUnlock();
  return out;
});

// The shown page `page` of the icon's notebook after queued work ran, or nullptr.
CPropertyPage* shownPage(CWFPrinterIcon* icon, int page) {
  CPrtOpenFrame* frame = icon->GetOpenFrame();
  if (!frame || !frame->GetNotebook()->SetActivePage(page)) return nullptr;
  runUntil([] { return true; });
  return frame->GetNotebook()->GetActivePage();
}

// Texts CQuickDlg ends a transfer with.
bool endsQuickSetup(const std::string& text) {
  return text == "Quick Setup has completed successfully." ||
         text == "An error occured while running Quick Setup.";
}

// qspage <handle> <page> <save|restore> <file> -> "ok <file dialogs>" then "|" and each
// message box text, once the panel page's transfer ended: the file dialog
// answers OK with <file>, the restore question OK.
WF_CHILD_COMMAND("qspage", [](const ChildArgs& args) -> std::string {
  CWFPrinterIcon* icon = application->list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  if (!icon) return "err no icon";
  icon->ThreadUnlock();
  CPropertyPage* page = shownPage(icon, static_cast<int>(num(args.at(1))));
  if (!page) return "err not open";
  auto& shell = application->shell;
  const std::size_t dialogsBefore = shell.fileDialog.calls().size();
  const std::size_t boxesBefore = shell.messageBox.calls().size();
  shell.fileDialog.script({IDOK, args.at(3)});
  const int id = args.at(2) == "save" ? 1033 : 1034;
  page->SendMessage(WM_COMMAND, MAKELONG(id, BN_CLICKED), page->GetDlgItem(id)->GetSafeHwnd());
  // The dialog sends WM_WF_QSDONE right after its last box.
  const bool ended = runUntil([&] {
    QCoreApplication::processEvents();
    const auto boxes = shell.messageBox.calls();
    return boxes.size() > boxesBefore && endsQuickSetup(boxes.back().text);
  });
  if (!ended) return "err not ended";
  std::string out = "ok " + std::to_string(shell.fileDialog.calls().size() - dialogsBefore);
  const auto boxes = shell.messageBox.calls();
  for (std::size_t i = boxesBefore; i < boxes.size(); ++i) out += "|" + boxes[i].text;
  if (gui) gui->boxesSeen = boxes.size();
  return out;
});

// panelink <handle> -> "ok" then "|line" for each line of the status page's
// mini panel with pixels other than its green ("|-1" for pixels outside the
// four lines), once posted work ran
WF_CHILD_COMMAND("panelink", [](const ChildArgs& args) -> std::string {
  CWFPrinterIcon* icon = application->list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  if (!icon) return "err no icon";
  CPropertyPage* page = shownPage(icon, icon->GetPageNum(WF_VIEW_STATUS));
  icon->ThreadUnlock();
  CWnd* panel = page ? page->GetDlgItem(107) : nullptr;
  if (!panel) return "err no mini panel";
  // The page's panel font sets the line height.
  CFont font;
  font.CreateFont(-14, 0, 0, 0, 400, FALSE, FALSE, FALSE, 0, 4, 0x20, 2, 0x30, "Courier New");
  const TEXTMETRIC metrics = wf::testing::fontMetrics(font);
  const int line = metrics.tmHeight, top = line / 2;
  wf::testing::WindowShot shot(*panel);
  if (!shot.ok) return "err no shot";
  std::vector<int> lines;
  for (int y = 0; y < shot.height; ++y)
    for (int x = 0; x < shot.width; ++x)
      if (shot.at(x, y) != RGB(0, 255, 0)) {
        const int band = y < top || y >= top + 4 * line ? -1 : (y - top) / line;
        if (std::find(lines.begin(), lines.end(), band) == lines.end()) lines.push_back(band);
        break;
      }
  std::string out = "ok";
  for (int band : lines) out += "|" + std::to_string(band);
  return out;
});

// shows <handle> <bitmap> <whole|bottom-left|bottom-right> -> "ok <differing pixels>": WFGUIDLL's
// bitmap against the status page's printer picture inside its 2-pixel margin,
// at the picture's top-left corner or a bottom corner; "ok -1" when it does not fit
WF_CHILD_COMMAND("shows", [](const ChildArgs& args) -> std::string {
  CWFPrinterIcon* icon = application->list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  if (!icon) return "err no icon";
  CPropertyPage* page = shownPage(icon, icon->GetPageNum(WF_VIEW_STATUS));
  const HINSTANCE pictures = icon->GetResourceInstance(0);
  icon->ThreadUnlock();
  CWnd* picture = page ? page->GetDlgItem(1001) : nullptr;
  if (!picture) return "err no picture";
  wf::fw::ResourceHandleSwitch resources(pictures);
  const wf::testing::LoadedBitmap part(num(args.at(1)));
  if (!part.ok) return "err no bitmap";
  const wf::testing::WindowShot shot(*picture);
  const int right = shot.width - 2, bottom = shot.height - 2;
  const std::string& where = args.at(2);
  const int x = where == "bottom-right" ? right - part.size.cx : 2;
  const int y = where == "whole" ? 2 : bottom - part.size.cy;
  if (!shot.ok || x < 2 || y < 2 || x + part.size.cx > right || y + part.size.cy > bottom) return "ok -1";
  return "ok " + std::to_string(wf::testing::mismatches(shot, part, x, y));
});

WF_CHILD_COMMAND("quit", [](const ChildArgs&) -> std::string {
  // Open notebooks close with their icons, while the GUI is still there;
  // what their closing queued runs now and finds no printer.
  if (application) {
    application->list.DeleteAllPrinters();
    runUntil([] { return true; });
  }
  gui.reset();
  confirmations.reset();
  if (application) {
    application->list.DeleteAllPrinters();
    const short appId = application->app.appId;
    application->manager.reset();
    application.reset();
    BceUnregisterApp(static_cast<std::uint32_t>(appId));
  }
  std::cout.flush();
  std::exit(0);
});

// download <handle> <font|demo|overlay> <line> -> "ok <result> <parent> <instance> <dialog runs>"
// then "|caption;style;text" per message box. The chooser's dialog picks
// line <line> with OK; "cancel" cancels it.
WF_CHILD_COMMAND("download", [](const ChildArgs& args) -> std::string {
  auto& a = *application;
  CWFPrinterIcon* icon = a.list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  if (!icon) return "err no icon";
  icon->ThreadUnlock();
  const std::string choice = args.at(2);
  wf::fw::ScriptedDialogs dialogs;
  dialogs.on(IDD_CHOOSE_DRIVER, [&](CDialog& d) {
    if (choice == "cancel") return d.EndDialog(IDCANCEL);
    static_cast<CListBox*>(d.GetDlgItem(IDC_DRIVER_LIST))->UserSelect(static_cast<int>(num(choice)));
    d.EndDialog(IDOK);
  });
  if (!ensureGui()) return "err no parent";
  CWnd& parent = gui->parent;
  static HINSTANCE instance = wf::loadModule("WFRESDLL.DLL");
  const std::size_t before = a.shell.messageBox.calls().size();
  BOOL result = FALSE;
  if (args.at(1) == "font")
    result = icon->DownloadFont(&parent, instance);
  else if (args.at(1) == "demo")
    result = icon->DownloadDemo(&parent, instance);
  else
    result = icon->DownloadOverlay(&parent, instance);
  runUntil([] {
    QCoreApplication::processEvents();
    return true;
  });
  char head[96];
  std::snprintf(head, sizeof head, "ok %d %u %p %d", result, static_cast<unsigned>(parent.m_hWnd),
                static_cast<void*>(instance), dialogs.runs(IDD_CHOOSE_DRIVER));
  std::string out = head;
  const auto boxes = a.shell.messageBox.calls();
  for (std::size_t i = before; i < boxes.size(); ++i)
    out += "|" + boxes[i].caption + ";" + std::to_string(boxes[i].style) + ";" + boxes[i].text +
           (boxes[i].owner == parent.m_hWnd ? ";owned" : ";not owned");
  gui->boxesSeen = boxes.size();
  return out;
});

// freetoolkit -> "ok": the tool kit is let go, as before the driver update program runs
WF_CHILD_COMMAND("freetoolkit", [](const ChildArgs&) {
  application->app.freeToolKit();
  return std::string("ok");
});

// ---- Tidewater settings pages ----

// tidewater -> "ok": the Tidewater family takes keys 3 and 8
WF_CHILD_COMMAND("tidewater", [](const ChildArgs&) {
  InitTidewaterGuiDLL(nullptr, &RegisterDLL);
  return std::string("ok");
});

// settext <handle> <page> <id> <text> -> "ok": types into a control of the shown page
WF_CHILD_COMMAND("settext", [](const ChildArgs& args) -> std::string {
  CWFPrinterIcon* icon = application->list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  if (!icon) return "err no icon";
  CPropertyPage* page = shownPage(icon, static_cast<int>(num(args.at(1))));
  CWnd* control = page ? page->GetDlgItem(static_cast<int>(num(args.at(2)))) : nullptr;
  if (control) control->SetWindowText(args.at(3).c_str());
  icon->ThreadUnlock();
  return control ? "ok" : "err no control";
});

// confirm <answer> -> "ok": the factory-defaults question (dialog 504) ends with <answer>
WF_CHILD_COMMAND("confirm", [](const ChildArgs& args) -> std::string {
  const INT_PTR answer = static_cast<INT_PTR>(num(args.at(0)));
  confirmations.reset();  // its hook goes before the new one comes
  confirmations = std::make_unique<wf::fw::ScriptedDialogs>();
  confirmations->on(504, [answer](CDialog& d) { d.EndDialog(static_cast<int>(answer)); });
  return "ok";
});

// boxes -> "ok" then "|caption;style;text" per message box shown since the last asking
WF_CHILD_COMMAND("boxes", [](const ChildArgs&) -> std::string {
  if (!ensureGui()) return "err no parent";
  std::string out = "ok";
  const auto boxes = application->shell.messageBox.calls();
  for (std::size_t i = gui->boxesSeen; i < boxes.size(); ++i)
    out += "|" + boxes[i].caption + ";" + std::to_string(boxes[i].style) + ";" + boxes[i].text;
  gui->boxesSeen = boxes.size();
  return out;
});

// twsettings <handle> -> "ok <jam> <power saver> <time-out> <page protect> <auto continue>
// <honour init> <PPDS> <US> <LF after CR> <CR after LF> <queries pending>"
WF_CHILD_COMMAND("twsettings", [](const ChildArgs& args) -> std::string {
  CWFPrinterIcon* icon = application->list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  if (!icon) return "err no icon";
  auto* c = dynamic_cast<CTwSettingsHost*>(icon);
  std::string out = "err not a Tidewater icon";
  if (c) {
    const int values[] = {c->GetJamRecovery(),
                          static_cast<int>(c->GetPowerSaver()),
                          static_cast<int>(c->GetTimeout()),
                          c->GetPageProtect(),
                          c->GetAutoContinue(),
                          c->GetHonorInit(),
                          c->GetPPDS(),
                          c->IsUS(),
                          c->GetLFafterCR(),
                          c->GetCRafterLF(),
                          c->GetPendingQueries()};
    out = "ok";
    for (int v : values) out += " " + std::to_string(v);
  }
  icon->ThreadUnlock();
  return out;
});

// choose <handle> <page> <id> <index> -> "ok <enabled 0|1> <selected>" then "|" and each item: a
// list of the shown page, item <index> chosen as the user would first (-1: none chosen); the
// work that queued runs here.
WF_CHILD_COMMAND("choose", [](const ChildArgs& args) -> std::string {
  CWFPrinterIcon* icon = application->list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  if (!icon) return "err no icon";
  icon->ThreadUnlock();
  CPropertyPage* page = shownPage(icon, static_cast<int>(num(args.at(1))));
  auto* list =
      page ? dynamic_cast<CListControlBase*>(page->GetDlgItem(static_cast<int>(num(args.at(2))))) : nullptr;
  if (!list) return "err no list";
  if (const int index = std::stoi(args.at(3)); index >= 0) list->UserSelect(index);
  runUntil([] { return true; });
  runUntil([] { return true; });  // the worker's post
  std::string out =
      std::string("ok ") + (list->IsWindowEnabled() ? "1 " : "0 ") + std::to_string(list->GetCurSel());
  for (int i = 0; i < list->GetCount(); ++i) {
    CString text;
    list->GetText(i, text);
    out += "|" + text.str();
  }
  return out;
});

// lockobject <handle> <0|1> -> "ok": the icon's printer object can (0) or cannot (1) be borrowed
WF_CHILD_COMMAND("lockobject", [](const ChildArgs& args) -> std::string {
  CWFPrinterIcon* icon = application->list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  if (!icon) return "err no icon";
  if (num(args.at(1)))
    icon->LockPrinterObj();
  else
    icon->UnlockPrinterObj();
  icon->ThreadUnlock();
  return "ok";
});

}  // namespace

// ---- The Meridian resource page ----

// The resource page of the icon's open notebook, or nullptr.
CMerOResourceMgmt* resourcePage(CWFPrinterIcon* icon) {
  CPrtOpenFrame* frame = icon->GetOpenFrame();
  if (!frame) return nullptr;
  return dynamic_cast<CMerOResourceMgmt*>(frame->GetNotebook()->GetActivePage());
}

// Runs the work and the posts of a while, so that what was posted last arrives.
void settle() {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(150);
  runUntil([&] { return std::chrono::steady_clock::now() > end; });
}

std::string pageText(CWnd* page, int id) {
  CString text;
  if (CWnd* control = page->GetDlgItem(id)) control->GetWindowText(text);
  return text.str();
}

// reslist <handle> -> "ok <files>;<flash free>;<disk free>;<refresh 0|1>" then
// "|description;device;size;id" per row, once no listing runs
WF_CHILD_COMMAND("reslist", [](const ChildArgs& args) -> std::string {
  CWFPrinterIcon* found = application->list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  auto* icon = dynamic_cast<CWFMeridianIcon*>(found);
  if (!icon) {
    if (found) found->ThreadUnlock();
    return "err no Meridian icon";
  }
  const bool idle = runUntil([&] { return icon->IsRefreshAllowed() != FALSE; });
  settle();
  CMerOResourceMgmt* page = resourcePage(icon);
  std::string out = "err no resource page";
  if (!idle) {
    out = "err the listing never ended";
  } else if (page && page->GetList()) {
    CWnd* refresh = page->GetDlgItem(1049);
    out = "ok " + pageText(page, 1053) + ";" + pageText(page, 1054) + ";" + pageText(page, 1055) + ";" +
          (refresh && refresh->IsWindowEnabled() ? "1" : "0");
    CMerOResDir* list = page->GetList();
    for (int i = 0; i < list->GetItemCount(); ++i)
      out += "|" + list->GetItemText(i, 0).str() + ";" + list->GetItemText(i, 1).str() + ";" +
             list->GetItemText(i, 2).str() + ";" + list->GetItemText(i, 3).str();
  }
  icon->ThreadUnlock();
  return out;
});

// Watches a running dialog. This helper's posts wait in the platform's
// queue, which the dialog's loop does not empty: a Qt timer ticks meanwhile
// to run them and the queued work, noting each status text `statusId` shows.
template <class Dialog>
class DialogWatch {
 public:
  explicit DialogWatch(int statusId) : statusId_(statusId) {}
  virtual ~DialogWatch() = default;

  Dialog* dialog = nullptr;
  std::vector<std::string> statuses;

  void note() {
    const std::string status = pageText(dialog, statusId_);
    if (statuses.empty() || statuses.back() != status) statuses.push_back(status);
  }
  void start() {
    end_ = std::chrono::steady_clock::now() + kWait;
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    timer_.start(20);
  }
  void stop() { timer_.stop(); }

 protected:
  virtual void tick() = 0;
  static void runPostedAndQueued() {
    wf::Message m;
    while (wf::peekMessage(m, wf::PeekMode::Remove)) wf::dispatchMessage(m);
    while (!application->app.ThreadMgrQIsEmpty()) {
      std::unique_ptr<CWFThread> item(application->app.ThreadMgrQRemoveHead());
      item->m_pfnProc(item->m_pParam);
    }
  }
  bool late() const { return std::chrono::steady_clock::now() > end_; }
  // Ends the watch and the dialog with `button`.
  void close(int button) {
    Dialog* running = std::exchange(dialog, nullptr);
    timer_.stop();
    running->SendMessage(WM_COMMAND, MAKELONG(button, BN_CLICKED), 0);
  }

 private:
  int statusId_;
  QTimer timer_;
  std::chrono::steady_clock::time_point end_;
};

// An operation dialog: once it has its result, OK is pressed.
class ResourceDialogWatch : public DialogWatch<CMerOResDlg> {
 public:
  ResourceDialogWatch() : DialogWatch(1027) {}

 private:
  void tick() override {
    if (!dialog) return;
    runPostedAndQueued();
    wf::Message m;
    while (wf::peekMessage(m, wf::PeekMode::Remove)) wf::dispatchMessage(m);
    note();
    const bool tooLate = late();
    if (dialog->IsFinished() || tooLate) close(tooLate ? IDCANCEL : IDOK);
  }
};

// resop <handle> <copy|move|delete|format> <radio id|0> <description words|-> ->
// "ok" then "|<status>" for each status text the dialog showed, once it closed
WF_CHILD_COMMAND("resop", [](const ChildArgs& args) -> std::string {
  CWFPrinterIcon* found = application->list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  auto* icon = dynamic_cast<CWFMeridianIcon*>(found);
  CMerOResourceMgmt* page = icon ? resourcePage(icon) : nullptr;
  if (!page) {
    if (found) found->ThreadUnlock();
    return "err no resource page";
  }
  struct Operation {
    const char* name;
    UINT templateId;
    int command;
  };
  static const Operation kOperations[] = {
      {"copy", 545, 1045}, {"move", 546, 1046}, {"delete", 547, 1047}, {"format", 548, 1048}};
  const Operation* op = nullptr;
  for (const Operation& o : kOperations)
    if (args.at(1) == o.name) op = &o;
  std::string description;
  for (std::size_t i = 3; i < args.size(); ++i) description += (i > 3 ? " " : "") + args.at(i);
  CMerOResDir* list = page->GetList();
  for (int i = 0; i < list->GetItemCount(); ++i)
    if (list->GetItemText(i, 0).str() == description)
      list->SetItemState(i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  page->UpdateData(FALSE);
  if (!op) {
    icon->ThreadUnlock();
    return "err unknown operation";
  }
  ResourceDialogWatch watch;
  const int radio = static_cast<int>(num(args.at(2)));
  wf::fw::ScriptedDialogs dialogs;
  dialogs.on(op->templateId, [&](CDialog& d) {
    watch.dialog = dynamic_cast<CMerOResDlg*>(&d);
    if (radio) d.SendMessage(WM_COMMAND, MAKELONG(radio, BN_CLICKED), 0);
    watch.note();
    d.SendMessage(WM_COMMAND, MAKELONG(IDOK, BN_CLICKED), 0);
    watch.note();
    watch.start();
  });
  page->SendMessage(WM_COMMAND, MAKELONG(op->command, BN_CLICKED),
                    page->GetDlgItem(op->command)->GetSafeHwnd());
  std::string out = "ok";
  for (const std::string& status : watch.statuses) out += "|" + status;
  icon->ThreadUnlock();
  return out;
});

// ---- Tidewater panel pages ----

// worked <text> -> "ok <count>": work items run so far whose label holds <text>
WF_CHILD_COMMAND("worked", [](const ChildArgs& args) -> std::string {
  runUntil([] { return true; });
  const std::string& text = args.at(0);
  return "ok " + std::to_string(std::count_if(workRun.begin(), workRun.end(), [&](const std::string& label) {
           return label.find(text) != std::string::npos;
         }));
});

// twlamps <handle> <page> -> "ok <state>x6 <lit 0|1>x6 <blink list running 0|1>|<text of 1043>":
// the lamps of the Tidewater status or panel page, once posted work ran
WF_CHILD_COMMAND("twlamps", [](const ChildArgs& args) -> std::string {
  CWFPrinterIcon* icon = application->list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  if (!icon) return "err no icon";
  icon->ThreadUnlock();
  CPropertyPage* page = shownPage(icon, static_cast<int>(num(args.at(1))));
  auto* status = dynamic_cast<CTwStatus*>(page);
  auto* panel = dynamic_cast<CTwOpPanel*>(page);
  if (!status && !panel) return "err not a Tidewater panel page";
  std::string states, lit;
  for (int i = 0; i < 6; ++i) {
    CROPButton& lamp = status ? status->GetLamp(i) : panel->GetLamp(i);
    states += " " + std::to_string(lamp.GetState());
    wf::testing::WindowShot shot(lamp);
    if (!shot.ok) return "err no shot";
    lit += shot.at(shot.width / 2, shot.height / 2) != RGB(128, 128, 128) ? " 1" : " 0";
  }
  CString text;
  if (panel) panel->GetDlgItem(1043)->GetWindowText(text);
  return "ok" + states + lit + (application->app.blinkTimerRunning() ? " 1" : " 0") + "|" + text.str();
});

// blink -> "ok": one tick of the application's blink list, delivered
WF_CHILD_COMMAND("blink", [](const ChildArgs&) -> std::string {
  application->app.tickBlink();
  runUntil([] { return true; });
  return "ok";
});

// twqssend <handle> <page> <answer to the question> <file>... -> "ok <file dialogs> <ended 0|1>"
// then "|" and each message box text: Send on the Tidewater panel page, the
// file dialog answering OK with each <file> in turn, then cancelled; returns
// once the transfer ended or, when none started, at once.
WF_CHILD_COMMAND("twqssend", [](const ChildArgs& args) -> std::string {
  CWFPrinterIcon* icon = application->list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  if (!icon) return "err no icon";
  icon->ThreadUnlock();
  CPropertyPage* page = shownPage(icon, static_cast<int>(num(args.at(1))));
  if (!dynamic_cast<CTwOpPanel*>(page)) return "err not the Tidewater panel page";
  auto& shell = application->shell;
  const std::size_t dialogsBefore = shell.fileDialog.calls().size();
  const std::size_t boxesBefore = shell.messageBox.calls().size();
  shell.messageBox.script(static_cast<int>(num(args.at(2))));
  for (std::size_t i = 3; i < args.size(); ++i) shell.fileDialog.script({IDOK, args.at(i)});
  page->SendMessage(WM_COMMAND, MAKELONG(1034, BN_CLICKED), page->GetDlgItem(1034)->GetSafeHwnd());
  // Past the files the dialog is cancelled: asked once per file, the last was sent.
  const std::size_t files = args.size() - 3;
  const std::size_t dialogs = shell.fileDialog.calls().size() - dialogsBefore;
  const bool started = files > 0 && dialogs == files;
  const bool ended = started && runUntil([&] {
                       QCoreApplication::processEvents();
                       const auto boxes = shell.messageBox.calls();
                       return boxes.size() > boxesBefore && endsQuickSetup(boxes.back().text);
                     });
  runUntil([] { return true; });
  std::string out = "ok " + std::to_string(dialogs) + (ended ? " 1" : " 0");
  const auto boxes = shell.messageBox.calls();
  for (std::size_t i = boxesBefore; i < boxes.size(); ++i) out += "|" + boxes[i].text;
  if (gui) gui->boxesSeen = boxes.size();
  return out;
});

// ---- The Keystone job-buffering page ----

// keystone -> "ok": the Keystone family takes key 7
WF_CHILD_COMMAND("keystone", [](const ChildArgs&) {
  InitKeystoneGuiDLL(nullptr, &RegisterDLL);
  return std::string("ok");
});

// The job-buffering page of the icon's open notebook, shown and read; or nullptr.
CKYJobBuf* jobBufPage(CWFPrinterIcon* icon) {
  CPrtOpenFrame* frame = icon->GetOpenFrame();
  if (!frame) return nullptr;
  CPrtOpenDlg* notebook = frame->GetNotebook();
  for (int i = 0; i < notebook->GetPageCount(); ++i)
    if (dynamic_cast<CKYJobBuf*>(notebook->GetPage(i)) && notebook->SetActivePage(i)) {
      settle();
      return dynamic_cast<CKYJobBuf*>(notebook->GetActivePage());
    }
  return nullptr;
}

// The page's present partition and its ticked ports as "<percent> <mask>".
std::string jobBufState(CKYJobBuf* page) {
  constexpr std::pair<int, unsigned> kBoxes[] = {
      {49015, 0x01}, {49016, 0x02}, {49017, 0x04}, {49018, 0x08}, {49020, 0x20}};
  unsigned ticked = 0;
  for (auto [id, bit] : kBoxes)
    if (page->IsDlgButtonChecked(id)) ticked |= bit;
  return pageText(page, 49010) + " " + std::to_string(ticked);
}

// The progress dialog, watched while it runs; one still waiting at the bound
// is closed.
class JobBufWatch : public DialogWatch<CDialog> {
 public:
  JobBufWatch() : DialogWatch(49001) {}

 private:
  void tick() override {
    if (!dialog || wf::fw::runningModalDialog() != dialog) return;
    runPostedAndQueued();
    if (wf::fw::runningModalDialog() != dialog) return;
    note();
    if (late()) close(IDCANCEL);
  }
};

// jobbuf <handle> <percent> <ports mask> <reset yes|no> -> "ok <percent> <ports>" (the page
// read again) then "|<status>" for each status text of the progress dialog: the page's
// scroll bar and port boxes set, Apply pressed, every question answered OK and the
// power-on reset question as given.
WF_CHILD_COMMAND("jobbuf", [](const ChildArgs& args) -> std::string {
  CWFPrinterIcon* found = application->list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  auto* icon = dynamic_cast<CWFKstoneIcon*>(found);
  CKYJobBuf* page = icon ? jobBufPage(icon) : nullptr;
  if (!page) {
    if (found) found->ThreadUnlock();
    return "err no job-buffering page";
  }
  const int percent = static_cast<int>(num(args.at(1)));
  const unsigned ports = num(args.at(2));
  const bool reset = args.at(3) == "yes";
  page->SendMessage(WM_HSCROLL, MAKELONG(SB_THUMBPOSITION, percent), page->GetDlgItem(49002)->GetSafeHwnd());
  constexpr std::pair<int, unsigned> kBoxes[] = {
      {49015, 0x01}, {49016, 0x02}, {49017, 0x04}, {49018, 0x08}, {49020, 0x20}};
  for (auto [id, bit] : kBoxes) {
    auto* box = dynamic_cast<CButton*>(page->GetDlgItem(id));
    if (!box || bool(box->GetCheck()) == bool(ports & bit)) continue;
    box->SetCheck((ports & bit) ? BST_CHECKED : BST_UNCHECKED);
    page->SendMessage(WM_COMMAND, MAKELONG(id, BN_CLICKED), box->GetSafeHwnd());
  }
  application->shell.messageBox.respondWith([reset](const wf::fw::MessageBoxRequest& r) {
    if ((r.style & 0xF) == MB_YESNO) return reset ? IDYES : IDNO;
    return IDOK;
  });
  JobBufWatch watch;
  wf::fw::ScriptedDialogs dialogs;
  dialogs.on(541, [&](CDialog& d) {
    watch.dialog = &d;
    watch.note();
    watch.start();
  });
  page->SendMessage(WM_COMMAND, MAKELONG(49021, BN_CLICKED), page->GetDlgItem(49021)->GetSafeHwnd());
  watch.stop();
  application->shell.messageBox.respondWith(nullptr);
  settle();  // the page reads the printer again
  std::string out = "ok " + jobBufState(page);
  for (const std::string& status : watch.statuses) out += "|" + status;
  icon->ThreadUnlock();
  return out;
});

// ---- The Keystone tray levels page ----

// kytrays <handle> -> "ok" then "|<shown 0|1>;<level text>;<gauge fill|warn|empty>" for the
// trays 7103, 7104 and 7105 of the open notebook's tray levels page, shown and refreshed
WF_CHILD_COMMAND("kytrays", [](const ChildArgs& args) -> std::string {
  CWFPrinterIcon* icon = application->list.FindPrinterIcon(static_cast<USHORT>(num(args.at(0))));
  if (!icon) return "err no icon";
  icon->ThreadUnlock();
  CPrtOpenFrame* frame = icon->GetOpenFrame();
  if (!frame) return "err no notebook";
  CKYTrayLevels* page = nullptr;
  CPrtOpenDlg* notebook = frame->GetNotebook();
  for (int i = 0; i < notebook->GetPageCount() && !page; ++i)
    if (dynamic_cast<CKYTrayLevels*>(notebook->GetPage(i)))
      page = dynamic_cast<CKYTrayLevels*>(shownPage(icon, i));
  if (!page) return "err no tray levels page";
  ::PostMessage(icon->GetOpenDlgHandle(), WM_WF_UPDATEPAGE, 0, 0);
  settle();
  constexpr struct {
    UINT tray;
    int text;
  } kTrays[] = {{7103, 1078}, {7104, 1079}, {7105, 1083}};
  std::string out = "ok";
  for (const auto& t : kTrays) {
    CGasGauge& gauge = page->GetGauge(t.tray);
    wf::testing::WindowShot shot(gauge);
    if (!shot.ok) return "err no shot";
    // Inside the gauge's outline, at its bottom: the level's colour when it has one.
    const COLORREF colour = shot.at(shot.width / 2, shot.height - 3);
    const char* level = colour == 0xFF0000 ? "fill" : colour == 0x0000FF ? "warn" : "empty";
    out +=
        "|" + std::string(gauge.IsWindowVisible() ? "1" : "0") + ";" + pageText(page, t.text) + ";" + level;
  }
  return out;
});
