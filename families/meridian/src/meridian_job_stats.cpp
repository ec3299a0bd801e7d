// Job statistics on the Meridian icon: arming the class, the queue of
// job-statistics alerts, the job and status lines handed to the program's
// job statistics service, and reading this printer's totals back from the
// file.
#include <fcntl.h>

#include <ctime>
#include <iomanip>
#include <locale>
#include <memory>
#include <new>
#include <sstream>
#include <string>

#include "common/app_services.h"
#include "common/notebook_messages.h"
#include "common/ports.h"
#include "common/printer_list.h"
#include "common/text_helpers.h"
#include "common/wait_objects.h"
#include "framework/global_memory.h"
#include "framework/resources.h"
#include "framework/shell_calls.h"
#include "framework/win_app.h"
#include "meridian/job_lines.h"
#include "meridian/meridian_icon.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/regular_file.h"
#include "platform/unique_fd.h"

namespace {

constexpr ULONG kJobStatsAlertClass = 0x800;
constexpr UINT kReadingText = 40059, kOpenFailedText = 40054, kErrorCaption = 857;
constexpr DWORD kBackToStatus = 1000;

struct ArmJSRequest {
  USHORT hPrinter;
  BOOL on;
  std::uint32_t sequence;
};

// The icon, found by handle and held until ThreadUnlock; null when gone.
CWFMeridianIcon* findIcon(USHORT printer) {
  WFAppServices* app = WFGetApp();
  CWFPrinterList* list = app ? app->GetPrinterList() : nullptr;
  CWFPrinterIcon* icon = list ? list->FindPrinterIcon(printer) : nullptr;
  auto* meridian = dynamic_cast<CWFMeridianIcon*>(icon);
  if (icon && !meridian) icon->ThreadUnlock();
  return meridian;
}

UINT ArmJSAlerts(void* param) {
  std::unique_ptr<ArmJSRequest> request(static_cast<ArmJSRequest*>(param));
  if (CWFMeridianIcon* icon = findIcon(request->hPrinter)) {
    // On the mask as it stands when this runs: only the class's own bit changes.
    ALERTS mask{request->on ? kJobStatsAlertClass : 0};
    icon->ApplyArmRequest(request->sequence, TRUE, &mask, kJobStatsAlertClass);
    icon->ThreadUnlock();
  }
  return 0;
}

UINT ParseJSFileFunc(void* param) {
  const auto printer = static_cast<USHORT>(reinterpret_cast<std::uintptr_t>(param));
  CWFMeridianIcon* icon = findIcon(printer);
  if (!icon) return 0;
  const HWND notebook = icon->GetOpenDlgHandle();
  if (notebook) {
    CString reading;
    {
      wf::fw::ResourceHandleSwitch scope(icon->GetResourceInstance(0));
      reading.LoadString(kReadingText);
    }
    PostMessage(notebook, WM_WF_MESSAGE, 0, reinterpret_cast<LPARAM>(wf::fw::globalTextCopy(reading.str())));
    icon->ParseJSFile();
  }
  // Cleared on every path, or the page's tracking box stays greyed.
  icon->SetTurningTrackOn(FALSE);
  if (notebook) {
    // Posted, never sent: no worker waits on the user-interface thread.
    PostMessage(notebook, WM_WF_JOBSTAT, 0, 0);
    wf::sleepFor(kBackToStatus);
    PostMessage(notebook, WM_WF_MESSAGE, 0, 0);
  }
  icon->ThreadUnlock();
  return 0;
}

// The local time as the line's fields 2 to 6, with English names.
std::string lineTime() {
  const std::time_t now = wf::now();
  std::tm local{};
  localtime_r(&now, &local);
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out << std::put_time(&local, "%a,%b,%d,%X,%Y");
  return out.str();
}

void postLine(const std::string& line) {
  WFAppServices* app = WFGetApp();
  WFJSFManagerServices* service = app ? app->GetJSFManager() : nullptr;
  HWND window = service ? service->GetNotificationWindow() : 0;
  if (!window) return;
  // A post that fails frees the block with it.
  PostMessage(window, WM_WF_JSFRECORD, 0, reinterpret_cast<LPARAM>(wf::fw::globalTextCopy(line)));
}

}  // namespace

void CWFMeridianIcon::ActivateJobStatAlerts(BOOL on) {
  WFAppServices* app = WFGetApp();
  if (!app) return;
  auto* request = new ArmJSRequest{GetPrinterHandle(), on ? TRUE : FALSE, IssueArmSequence()};
  app->BeginThread(&ArmJSAlerts, request, 0, BuildDescriptiveString("ArmJSAlerts()"));
}

UINT CWFMeridianIcon::ProcessJobStatAlert(CWFAlert* alert) {
  WFPrtObj* printer = GetPrinterObj();
  if (!printer) return 0x10;
  WFPrtObj::JSALERTDATA* record = AllocJobStatData();
  if (record) {
    if (BCEReturnCheck(printer->bidiJSQueryAlert(static_cast<USHORT>(alert->GetAlertID()), record)) &&
        m_jobStatAlerts.Add(alert, record)) {
      record = nullptr;
      UpdateViews(0x10);
    }
    delete record;
  }
  ReleasePrinterObj();
  return 0x10;
}

BOOL CWFMeridianIcon::DigestJobStatData(WFPrtObj::JSALERTDATA* data) {
  if (!GetTrackingJS() || !data) return TRUE;
  if (NumInputSources() == 0) UpdateInputChars();
  UINT slots[kInputCodes] = {};
  {
    CMutex mutex(GetMutexName("InputChars"));
    mutex.Wait(wf::kInfinite);
    for (UINT source = 0; source < kInputCodes; ++source) slots[source] = GetInputCode(source);
    mutex.Release();
  }
  CWFPortList ports(this);
  const wf::meridian::JobLine line = wf::meridian::buildJobLine(
      ports.GetJSPortString(), lineTime(), *data, slots, GetExtraJobStatFields(data, data->entryCount));
  if (line.sheets != 0) {
    IncrementTotalJobs();
    UpdateTotalSheets(line.sheets);
    UpdateTotalDuplex(line.sides - line.sheets);
    UpdateTotalSeconds(data->seconds);
    UpdateCUserPageCount(line.sides);
    UpdateCPowerOnPages(line.sides);
    UpdateCTotalPages(line.sides);
  }
  postLine(line.text);
  return TRUE;
}

BOOL CWFMeridianIcon::DigestJobStatData() {
  if (!GetTrackingJS()) return TRUE;
  CWFPortList ports(this);
  postLine(wf::meridian::buildStatusLine(ports.GetJSPortString(), lineTime(), GetSerialNo().str(),
                                         GetStatus().str()));
  return TRUE;
}

void CWFMeridianIcon::OnSetStatus(const char* oldStatus, const char* newStatus) {
  // Every setting of the status is a line, its text changed or not: the
  // status is set on events (alerts, enumerations, failed calls), never on a timer.
  if (GetTrackingJS() && oldStatus && newStatus && *oldStatus && *newStatus && oldStatus != newStatus)
    DigestJobStatData();
}

void CWFMeridianIcon::ParseJSFileOnThread() {
  WFAppServices* app = WFGetApp();
  if (!app) return;
  app->BeginThread(&ParseJSFileFunc, reinterpret_cast<void*>(static_cast<std::uintptr_t>(GetPrinterHandle())),
                   0, BuildDescriptiveString("ParseJSFileFunc()"));
}

void CWFMeridianIcon::ParseJSFile() {
  WFAppServices* app = WFGetApp();
  const CString name = app ? app->GetJSFilename() : CString();
  wf::meridian::JobTotals totals;
  if (!name.IsEmpty()) {
    CMutex mutex(WF_JSFILE_MUTEX);
    mutex.Wait(wf::kInfinite);
    const auto path = wf::mapSystemPath(name.str());
    wf::UniqueFd file = path ? wf::openRegularFile(*path, O_RDONLY) : wf::UniqueFd();
    const int error = errno;
    if (file) {
      CWFPortList mine(this);
      totals = wf::meridian::readTotals(file.get(), &mine);
      if (totals.saturated && app)
        app->Log(1, "Job statistics: totals of %s in %s held at their largest value\n",
                 GetLongName().str().c_str(), name.str().c_str());
    }
    mutex.Release();
    if (!file && error != ENOENT) {
      CString text, caption;
      {
        wf::fw::ResourceHandleSwitch scope(GetResourceInstance(0));
        text.LoadString(kOpenFailedText);
      }
      caption.LoadString(kErrorCaption);
      const std::string shown = wf::meridian::withName(text.str(), name.str());
      const HWND notebook = GetOpenDlgHandle();
      CWnd* owner = notebook ? CWnd::FromHandle(notebook) : nullptr;
      CWnd* parent = owner ? owner->GetParent() : nullptr;
      HWND ownerWindow = parent ? parent->GetSafeHwnd() : 0;
      if (!ownerWindow && AfxGetApp() && AfxGetApp()->m_pMainWnd)
        ownerWindow = AfxGetApp()->m_pMainWnd->GetSafeHwnd();
      MessageBox(ownerWindow, shown.c_str(), caption, MB_OK | MB_ICONEXCLAMATION);
    }
  }
  // One step, so two reads at once never add into the same totals.
  CMutex lock(GetMutexName("JSTotals"));
  lock.Wait(wf::kInfinite);
  m_totalSheets = totals.sheets;
  m_totalDuplex = totals.duplex;
  m_totalSeconds = totals.seconds;
  m_totalJobs = totals.jobs;
  lock.Release();
}
