// Services other code asks of an icon: checking broker results, refreshing
// after re-enumeration, worker labels, the test page, Quick Setup, the
// reset of cached data and the icon's view of its alerts.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <utility>
#include <vector>

#include "broker/corbce.h"
#include "common/app_services.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "common/quick_dlg.h"
#include "common/wait_objects.h"
#include "framework/shell_calls.h"
#include "framework/win_app.h"
#include "framework/wnd.h"
#include "icon_mutex.h"
#include "icon_strings.h"
#include "platform/clock.h"
#include "platform/regular_file.h"
#include "prtgui/supply_tables.h"

using wf::prtgui::loadString;
using wf::prtgui::underIconMutex;
namespace ids = wf::prtgui;

namespace {

constexpr UINT WM_WF_TESTPAGEDONE = 0x479;
constexpr std::size_t kTestPageBytes = 4096;

struct TestPageJob {
  HWND notify;
  USHORT printer;
};

// Finds the icon of `printer` in the application's list, thread-locked.
CWFPrinterIcon* findServiceIcon(USHORT printer) {
  WFAppServices* app = WFGetApp();
  CWFPrinterList* list = app ? app->GetPrinterList() : nullptr;
  return list ? list->FindPrinterIcon(printer) : nullptr;
}

void updateViews(USHORT printer) {
  WFAppServices* app = WFGetApp();
  if (app && app->GetWindowList()) app->GetWindowList()->UpdatePrinterViews(printer, nullptr);
}

void closeNotebook(HWND notebook) {
  CWnd* window = notebook ? CWnd::FromHandle(notebook) : nullptr;
  CWnd* frame = window ? window->GetParent() : nullptr;
  if (frame) PostMessage(frame->GetSafeHwnd(), WM_CLOSE, 0, 0);
}

UINT refreshModelWorker(void* param) {
  const auto printer = static_cast<USHORT>(reinterpret_cast<std::uintptr_t>(param));
  CWFPrinterIcon* icon = findServiceIcon(printer);
  if (!icon) return 0;
  icon->DetermineModel();
  updateViews(printer);
  icon->ThreadUnlock();
  return 0;
}

// "VERIFY.TXT" in the program's directory, whatever the case of its name.
std::filesystem::path testPageFile() {
  WFAppServices* app = WFGetApp();
  if (!app || !app->GetProgramDirectory()) return {};
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(app->GetProgramDirectory(), error)) {
    const std::string name = entry.path().filename().string();
    if (strcasecmp(name.c_str(), "VERIFY.TXT") == 0) return entry.path();
  }
  return {};
}

bool sendTestPage(CWFPrinterIcon* icon, USHORT printer) {
  WFAppServices* app = WFGetApp();
  const short appId = app ? app->GetAppID() : 0;
  const ULONG connection = icon->GetConnection();
  const std::filesystem::path file = testPageFile();
  if (file.empty()) return false;
  const wf::UniqueFd in = wf::openRegularFile(file, O_RDONLY);
  if (!in) return false;
  std::vector<char> text(kTestPageBytes + 1);
  ssize_t got;
  do {
    got = ::read(in.get(), text.data(), kTestPageBytes);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return false;
  auto length = static_cast<std::uint32_t>(got);
  text[length++] = '\f';
  if (BceStartDoc(printer, connection, 0) != 0) return false;
  const int32_t rc =
      BceWrite(static_cast<std::uint16_t>(appId), printer, connection, text.data(), &length, 0);
  BceEndDoc(printer, connection);
  return rc == 0;
}

UINT testPageWorker(void* param) {
  auto* job = static_cast<TestPageJob*>(param);
  CWFPrinterIcon* icon = findServiceIcon(job->printer);
  if (!icon) {
    delete job;
    return 0;
  }
  const bool ok = sendTestPage(icon, job->printer);
  PostMessage(job->notify, WM_WF_TESTPAGEDONE, ok ? 1 : 0, reinterpret_cast<LPARAM>(icon));
  delete job;
  icon->ThreadUnlock();
  return 0;
}

}  // namespace

BOOL CWFPrinterIcon::BCEReturnCheck(long result) {
  if (result == 0) return TRUE;
  const BOOL bidi = GetBidiActive();
  if (m_usageCount > 0 && !bidi) {
    CString text;
    AfxFormatString1(text, ids::kBidiLost, GetLongName());
    CWinApp* app = AfxGetApp();
    CWnd* main = app ? app->GetMainWnd() : nullptr;
    MessageBox(main ? main->GetSafeHwnd() : 0, text, GetLongName(), MB_OK | MB_ICONSTOP);
  }
  if (!bidi || IsUnknownPrinter()) {
    closeNotebook(m_hOpenDlg);
    SetStatus(nullptr);
    updateViews(m_hPrinter);
  }
  return FALSE;
}

void CWFPrinterIcon::PrinterReEnum(void* record) {
  if (const auto* stored = static_cast<const ENUMBINARYDATA*>(record)) {
    if (stored->name[0]) SetName(wf::recordName(*stored));
    RestoreAlerts(record);
    if (m_usageCount > 0 && GetBidiActive()) ActivateInitialAlerts();
  }
  SetStatus(nullptr);
  ResetPrinterData();
  WFAppServices* app = WFGetApp();
  if (GetBidiActive() && app && GetModel().IsEmpty())
    app->BeginThread(&refreshModelWorker, reinterpret_cast<void*>(std::uintptr_t{m_hPrinter}), 0,
                     BuildDescriptiveString("RefreshPrinterModel() from CWFPrinterIcon::PrinterReEnum()"));
  if (GetBidiActive() && app && m_hOpenDlg)
    app->BeginThread(&CWFPrinterIcon::UpdateGraphicInfo, reinterpret_cast<void*>(std::uintptr_t{m_hPrinter}),
                     0, BuildDescriptiveString("UpdateGraphicInfo() from CWFPrinterIcon::PrinterReEnum()"));
  EstablishColumnData();
  if (WFPrtObj* object = GetPrinterObj()) {
    PRTINFO info{};
    m_connections = object->bidiGetPrinterInfo(&info) == 0 ? info.connections : 0;
    ReleasePrinterObj();
    OnConnectionUpdated();
  }
  updateViews(m_hPrinter);
}

CString CWFPrinterIcon::BuildDescriptiveString(const char* text) {
  CString label;
  label.Format("[%s] %s", static_cast<const char*>(GetLongName()), text ? text : "");
  return label;
}

BOOL CWFPrinterIcon::PrintTestPage(CWnd* notify) {
  if (GetConnection() == 0xFFFFFFFF) return FALSE;
  WFAppServices* app = WFGetApp();
  auto* job = new (std::nothrow) TestPageJob{notify ? notify->GetSafeHwnd() : 0, m_hPrinter};
  if (!app || !job) {
    delete job;
    return TRUE;
  }
  app->BeginThread(&testPageWorker, job, 0,
                   BuildDescriptiveString("Print() from CWFPrinterIcon::PrintTestPage()"));
  return TRUE;
}

namespace {

void openQuickSetup(CWFPrinterIcon* icon, CWnd* parent, const CString& file, BOOL send) {
  auto* dialog = new (std::nothrow) CQuickDlg(icon, file, 1, send, parent);
  if (dialog && !dialog->Create(CQuickDlg::IDD, parent)) delete dialog;
}

}  // namespace

void CWFPrinterIcon::DoQuickSetupSend(CWnd* parent, CString file) {
  openQuickSetup(this, parent, file, TRUE);
}

void CWFPrinterIcon::DoQuickSetupReceive(CWnd* parent, CString file) {
  openQuickSetup(this, parent, file, FALSE);
}

void CWFPrinterIcon::ResetPrinterData() {
  underIconMutex(this, "DeviceChars", [&] { delete std::exchange(m_pDeviceChars, nullptr); });
  underIconMutex(this, "StorageOpts", [&] { delete std::exchange(m_pStorageOptions, nullptr); });
  if (m_pInputObj) m_pInputObj->RemoveAllInputOptions();
  if (m_pOutputObj) m_pOutputObj->RemoveAllOutputOptions();
  underIconMutex(this, "PageCount", [&] { delete std::exchange(m_pPageCounts, nullptr); });
  underIconMutex(this, "OpPanelData", [&] { FreeOPPanelData(); });
  underIconMutex(this, "CodeLevels", [&] { delete std::exchange(m_pCodeLevels, nullptr); });
}

int CWFPrinterIcon::EnableContinueAndReset(int continueButton) {
  return underIconMutex(this, "AlertLock", [&]() -> int {
    if (!m_alertStorage.GetAnyActiveAlerts()) return FALSE;
    CWFAlertMsg* message = m_alertStorage.Get1stHardErrorMsg();
    if (!message) message = m_alertStorage.Get1stActiveAlertMsg();
    if (!message) return FALSE;
    return continueButton ? message->GetAlert()->GetEnableContinue() : message->GetAlert()->GetEnableReset();
  });
}

namespace {

// Runs one alert-storage query under the icon's recursive "AlertLock".
template <class Query>
auto underAlertLock(CWFPrinterIcon* icon, Query&& query) {
  return underIconMutex(icon, "AlertLock", [&] { return query(icon->GetAlertStorage()); });
}

}  // namespace

UINT CWFPrinterIcon::Get1stActiveAlertBMP() {
  return underAlertLock(this, [](CWFAlertStorage& s) { return s.Get1stActiveAlertBMP(); });
}
UINT CWFPrinterIcon::Get1stHardErrorBMP() {
  return underAlertLock(this, [](CWFAlertStorage& s) { return s.Get1stHardErrorBMP(); });
}
CString CWFPrinterIcon::Get1stActiveAlertStr() {
  return underAlertLock(this, [](CWFAlertStorage& s) { return s.Get1stActiveAlertStr(); });
}
CString CWFPrinterIcon::Get1stHardErrorStr() {
  return underAlertLock(this, [](CWFAlertStorage& s) { return s.Get1stHardErrorStr(); });
}
CWFAlertMsg* CWFPrinterIcon::Get1stActiveAlertMsg() {
  return underAlertLock(this, [](CWFAlertStorage& s) { return s.Get1stActiveAlertMsg(); });
}
CWFAlertMsg* CWFPrinterIcon::Get1stHardErrorMsg() {
  return underAlertLock(this, [](CWFAlertStorage& s) { return s.Get1stHardErrorMsg(); });
}
BOOL CWFPrinterIcon::GetAnyActiveAlerts() {
  return underAlertLock(this, [](CWFAlertStorage& s) { return s.GetAnyActiveAlerts(); });
}
BOOL CWFPrinterIcon::GetAnyHardErrors() {
  return underAlertLock(this, [](CWFAlertStorage& s) { return s.GetAnyHardErrors(); });
}
CWFAlertMsg* CWFPrinterIcon::IsAlertActive(UINT alertId) {
  return underAlertLock(this, [alertId](CWFAlertStorage& s) { return s.IsAlertActive(alertId); });
}
BOOL CWFPrinterIcon::RemoveAlertMsg(CWFAlertMsg* message) {
  return underAlertLock(this, [message](CWFAlertStorage& s) { return s.RemoveAlertMsg(message); });
}

CWFAlertHistoryEntry* CWFPrinterIcon::GetNextAlertHistory(BOOL next) {
  // The iteration belongs to the calling thread: a copy taken at its start.
  struct Snapshot {
    std::vector<std::unique_ptr<CWFAlertHistoryEntry>> entries;
    std::size_t position = 0;
  };
  thread_local Snapshot snapshot;
  if (!next) {
    snapshot = {};
    underAlertLock(this, [](CWFAlertStorage& s) {
      s.GetHistory().Enumerate(
          [](CWFAlertHistoryEntry* entry, std::intptr_t) {
            snapshot.entries.push_back(std::make_unique<CWFAlertHistoryEntry>(*entry));
            return 1;
          },
          0);
      return 0;
    });
  }
  if (snapshot.position >= snapshot.entries.size()) return nullptr;
  return snapshot.entries[snapshot.position++].get();
}
