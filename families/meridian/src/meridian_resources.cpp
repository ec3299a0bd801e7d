// Disk and flash resource management on the Meridian icon: listing both
// devices into the notebook's resource page, and the copy, move, delete and
// format requests whose results reach the dialog waiting for them. The
// printer answers every request later with a resource-management alert.
#include <cstring>
#include <new>
#include <string>

#include "common/app_services.h"
#include "common/notebook_messages.h"
#include "common/printer_list.h"
#include "common/text_helpers.h"
#include "framework/global_memory.h"
#include "framework/resources.h"
#include "framework/shell_calls.h"
#include "framework/win_app.h"
#include "framework/wnd.h"
#include "meridian/meridian_icon.h"
#include "meridian/res_mgmt_item.h"
#include "platform/clock.h"

IMPLEMENT_DYNAMIC(CWFResMgmtItem, CObject)

namespace {

constexpr ULONG kResMgmtClass = 0x1000;
constexpr std::uint32_t kArmDelay = 5000;

constexpr UINT kDiskName = 497;
constexpr UINT kFlashName = 498;
constexpr UINT kCopyFailed = 40036;
constexpr UINT kCopyDone = 40037;
constexpr UINT kMoveFailed = 40039;
constexpr UINT kMoveDone = 40040;
constexpr UINT kDeleteFailed = 40044;
constexpr UINT kDeleteDone = 40045;
constexpr UINT kFormatFailed = 40047;
constexpr UINT kFormatDone = 40048;
constexpr UINT kListingError = 40056;
constexpr UINT kListingErrorCaption = 40057;
constexpr UINT kListingFlash = 40060;
constexpr UINT kListingDisk = 40061;

constexpr BYTE kEntry = 16;
constexpr BYTE kDeleted = 17;
constexpr BYTE kMoved = 18;
constexpr BYTE kFormatted = 19;
constexpr BYTE kCopied = 20;

constexpr ULONG kIdle = 4;
constexpr ULONG kListingFlashState = 1;
constexpr ULONG kListingDiskState = 2;

struct ARMRMPARAM {
  USHORT hPrinter;
  ALERTS alerts;
  BOOL capture;
};
struct COPYRMPARAM {
  USHORT hPrinter;
  std::string source;
  UINT from;
  UINT to;
  BOOL move;
};
struct DELETERMPARAM {
  USHORT hPrinter;
  std::string source;
  UINT device;
};
struct FORMATRMPARAM {
  USHORT hPrinter;
  UINT device;
};
struct LISTRMPARAM {
  USHORT hPrinter;
  ULONG device;
};

CWFPrinterIcon* findResourceIcon(USHORT printer) {
  WFAppServices* app = WFGetApp();
  CWFPrinterList* list = app ? app->GetPrinterList() : nullptr;
  return list ? list->FindPrinterIcon(printer) : nullptr;
}

WFPrtObj::DEVICEID deviceId(ULONG device) {
  return device == 2 ? WFPrtObj::DEVICE_FLASH : WFPrtObj::DEVICE_DISK;
}

// The family's texts carry one %s for the name.
CString resourceWithName(const CString& format, const CString& name) {
  std::string text = format.str();
  if (const auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, name.str());
  return CString(text.c_str());
}

BOOL postText(HWND window, UINT message, const CString& text) {
  HGLOBAL block = wf::fw::globalTextCopy(text.str());
  if (!block) return FALSE;
  if (PostMessage(window, message, 0, reinterpret_cast<LPARAM>(block))) return TRUE;
  GlobalFree(block);
  return FALSE;
}

bool isPasswordFile(const std::string& name) {
  return name.find("writepassword.password") != std::string::npos ||
         name.find("readpassword.password") != std::string::npos;
}

// Queues `request` as the icon's work; the worker frees it.
template <class Request>
void queueWork(CWFPrinterIcon* icon, UINT (*worker)(void*), Request* request, const char* label) {
  WFAppServices* app = WFGetApp();
  if (!app) {
    delete request;
    return;
  }
  app->BeginThread(worker, request, 0, icon->BuildDescriptiveString(label));
}

}  // namespace

// ---- The listed item ----

CWFResMgmtItem::CWFResMgmtItem() = default;

CWFResMgmtItem::CWFResMgmtItem(const WFPrtObj::DEVICEDIRECTORYDATA& entry, const CString& deviceName)
    : m_device(entry.device),
      m_name(entry.name.c_str()),
      m_id(entry.id.c_str()),
      m_type(entry.type.c_str()),
      m_size(entry.size.c_str()),
      m_value1(entry.value1),
      m_description(entry.description.c_str()),
      m_value2(entry.value2),
      m_deviceName(deviceName),
      m_sizeD(StringToSize(entry.size.c_str())) {}

// ---- Helpers ----

CString CWFMeridianIcon::familyString(UINT id) {
  // The family's own texts before those of the chain, which has its own 497 and 498.
  if (HINSTANCE module = GetResourceInstance(0))
    if (const auto* text = static_cast<LPCSTR>(wf::fw::findResourceIn(module, wf::fw::res::Type::String, id)))
      return CString(text);
  CString text;
  text.LoadString(id);
  return text;
}

void CWFMeridianIcon::postToNotebook(UINT message, LPARAM lParam) {
  if (HWND notebook = GetOpenDlgHandle()) PostMessage(notebook, message, 0, lParam);
}

void CWFMeridianIcon::postTextToNotebook(UINT id) {
  if (HWND notebook = GetOpenDlgHandle()) postText(notebook, WM_WF_MESSAGE, familyString(id));
}

void CWFMeridianIcon::resMgmtErrorBox() {
  HWND owner = 0;
  if (HWND notebook = GetOpenDlgHandle()) {
    CWnd* frame = CWnd::FromHandle(notebook)->GetParent();
    owner = frame ? frame->GetSafeHwnd() : 0;
  } else if (CWinApp* app = AfxGetApp()) {
    if (CWnd* main = app->GetMainWnd()) owner = main->GetSafeHwnd();
  }
  MessageBox(owner, familyString(kListingError), familyString(kListingErrorCaption),
             MB_OK | MB_ICONEXCLAMATION);
}

void CWFMeridianIcon::endListing(BOOL done) {
  m_listingState = kIdle;
  m_bDiskListingStarted = FALSE;
  postToNotebook(WM_WF_MESSAGE, 0);
  if (done) postToNotebook(WM_WF_RESLISTINGDONE, 0);
}

// ---- Names and waiting windows ----

CString CWFMeridianIcon::GetRMCopyFile() {
  std::lock_guard lock(m_rmNamesLock);
  return m_copyFile;
}

CString CWFMeridianIcon::GetRMMoveFile() {
  std::lock_guard lock(m_rmNamesLock);
  return m_moveFile;
}

CString CWFMeridianIcon::GetRMDelFile() {
  std::lock_guard lock(m_rmNamesLock);
  return m_deleteFile;
}

CString CWFMeridianIcon::GetRMFmtDev() {
  std::lock_guard lock(m_rmNamesLock);
  return m_formatDevice;
}

// ---- Arming and listing ----

void CWFMeridianIcon::UpdateSizeAvailable() {
  UpdateStorageOptions();
}

BOOL CWFMeridianIcon::GetRMFormat() {
  return m_bFormatInProgress;
}

void CWFMeridianIcon::ActivateResMgmtAlerts(BOOL on) {
  ALERTS alerts = *GetActiveAlerts();
  alerts.mask = on ? (alerts.mask | kResMgmtClass) : (alerts.mask & ~kResMgmtClass);
  queueWork(this, &CWFMeridianIcon::ArmRMAlerts, new ARMRMPARAM{GetPrinterHandle(), alerts, TRUE},
            "ArmRMAlerts()");
}

UINT CWFMeridianIcon::ArmRMAlerts(void* param) {
  auto* request = static_cast<ARMRMPARAM*>(param);
  auto* icon = dynamic_cast<CWFMeridianIcon*>(findResourceIcon(request->hPrinter));
  if (icon) {
    icon->armResMgmt((request->alerts.mask & kResMgmtClass) ? TRUE : FALSE);
    icon->ThreadUnlock();
  }
  delete request;
  return 0;
}

BOOL CWFMeridianIcon::registerResAlerts(BOOL on) {
  // The mask as it stands now: arming made during the wait (job statistics,
  // the panel) must stay.
  std::lock_guard lock(m_armLock);
  ALERTS alerts = m_activeAlerts;
  alerts.mask = on ? (alerts.mask | kResMgmtClass) : (alerts.mask & ~kResMgmtClass);
  WFAppServices* app = WFGetApp();
  WFAlertManagerServices* manager = app ? app->GetAlertManager() : nullptr;
  return SetAlerts(app ? app->GetAppID() : 0, manager ? manager->GetNotificationWindow() : 0, &alerts);
}

void CWFMeridianIcon::armResMgmt(BOOL on) {
  if (on && !m_bResAlertsArmed) {
    wf::sleepFor(kArmDelay);
    if (!registerResAlerts(TRUE)) {
      // Without the capture no listing could ever end.
      resMgmtErrorBox();
      endListing(TRUE);
      return;
    }
    m_bResAlertsArmed = TRUE;
  } else if (!on && m_bResAlertsArmed) {
    registerResAlerts(FALSE);
    m_bResAlertsArmed = FALSE;
  }
  if (on) listNextDevice();
}

void CWFMeridianIcon::listNextDevice() {
  UpdateSizeAvailable();
  if (GetFlashSize() != 0) {
    StartDeviceList(2);
  } else if (GetHDSize() != 0) {
    StartDeviceList(1);
  } else {
    m_listingState = kIdle;
    postToNotebook(WM_WF_RESLISTINGDONE, 0);
  }
}

void CWFMeridianIcon::StartDeviceList(ULONG device) {
  m_listingState = device == 2 ? kListingFlashState : kListingDiskState;
  postTextToNotebook(device == 2 ? kListingFlash : kListingDisk);
  WFPrtObj* object = GetPrinterObj();
  if (!object) return;
  const LONG rc = object->bidiDeviceFileListing(deviceId(device));
  const BOOL ok = BCEReturnCheck(rc);
  ReleasePrinterObj();
  if (ok) return;
  resMgmtErrorBox();
  m_listingState = kIdle;
  postToNotebook(WM_WF_MESSAGE, 0);
}

void CWFMeridianIcon::QueueDeviceList(ULONG device) {
  queueWork(this, &CWFMeridianIcon::DeviceListFunc, new LISTRMPARAM{GetPrinterHandle(), device},
            "StartDeviceList()");
}

UINT CWFMeridianIcon::DeviceListFunc(void* param) {
  auto* request = static_cast<LISTRMPARAM*>(param);
  if (auto* icon = dynamic_cast<CWFMeridianIcon*>(findResourceIcon(request->hPrinter))) {
    icon->StartDeviceList(request->device);
    icon->ThreadUnlock();
  }
  delete request;
  return 0;
}

void CWFMeridianIcon::OnRefresh() {
  m_listingState = kIdle;
  postToNotebook(WM_WF_MESSAGE, 0);
  m_bResAlertsArmed = FALSE;
}

// ---- Alerts ----

UINT CWFMeridianIcon::ProcessResMgmtAlert(CWFAlert* alert) {
  WFPrtObj* object = GetPrinterObj();
  if (!object) return 0;
  WFPrtObj::DEVICEMGMTALERTDATA record;
  const LONG rc = object->bidiDeviceQueryAlert(alert->GetAlertID(), &record);
  ReleasePrinterObj();
  if (rc == -2) {
    resMgmtErrorBox();
    return 0;
  }
  if (!BCEReturnCheck(rc)) return 0;
  if (!m_resMgmtAlerts.Add(alert, &record)) return 0;
  UpdateViews(0x20);
  return 0x20;
}

BOOL CWFMeridianIcon::DigestResMgmtData(CWFAlert*, WFPrtObj::DEVICEMGMTALERTDATA data) {
  switch (data.kind) {
    case kEntry:
      digestListing(data);
      break;
    case kDeleted:
      postResult(kDeleted, data.result ? kDeleteFailed : kDeleteDone, GetRMDelFile());
      break;
    case kMoved:
      postResult(kMoved, data.result ? kMoveFailed : kMoveDone, GetRMMoveFile());
      break;
    case kFormatted:
      postResult(kFormatted, data.result ? kFormatFailed : kFormatDone, GetRMFmtDev());
      break;
    case kCopied:
      postResult(kCopied, data.result ? kCopyFailed : kCopyDone, GetRMCopyFile());
      break;
    default:
      break;
  }
  return TRUE;
}

void CWFMeridianIcon::digestListing(const WFPrtObj::DEVICEMGMTALERTDATA& data) {
  const ULONG state = m_listingState;
  // Entries of a listing that was ended meanwhile (refresh, error) are stale.
  if (state != kListingFlashState && state != kListingDiskState) return;
  if (data.result != 0) {
    resMgmtErrorBox();
    m_listingState = kIdle;
    postToNotebook(WM_WF_MESSAGE, 0);
    return;
  }
  if ((data.entryFlag & 0xFFFF) && GetOpenDlgHandle() && GetBidiActive()) {
    if (GetRMListView()) postEntry(data.entry);
    ReleaseRMListView();
  }
  if (data.moreEntries != 0) return;
  if (m_listingState == kListingFlashState && GetHDSize() != 0 && !m_bDiskListingStarted) {
    BOOL ready = FALSE;
    if (GetOpenDlgHandle()) {
      ready = GetRMListView();
      ReleaseRMListView();
    }
    if (ready) {
      m_listingState = kListingDiskState;
      m_bDiskListingStarted = TRUE;
      postToNotebook(WM_WF_RESQUERYDISK, 0);
      postTextToNotebook(kListingDisk);
    } else {
      endListing(FALSE);
    }
  } else if (GetFlashSize() == 0 || GetHDSize() == 0 || m_listingState == kListingDiskState) {
    endListing(TRUE);
  }
}

void CWFMeridianIcon::postEntry(const std::string& entry) {
  WFPrtObj* object = GetPrinterObj();
  if (!object) return;
  WFPrtObj::DEVICEDIRECTORYDATA directory;
  const LONG rc = object->parseDeviceDirectoryData(entry, &directory);
  ReleasePrinterObj();
  if (rc == -2) {
    resMgmtErrorBox();
    return;
  }
  if (isPasswordFile(directory.name)) return;
  auto* item = new (std::nothrow)
      CWFResMgmtItem(directory, familyString(directory.device == 2 ? kFlashName : kDiskName));
  if (!item) return;
  HWND notebook = GetOpenDlgHandle();
  if (!notebook || !PostMessage(notebook, WM_WF_RESNEWITEM, 0, reinterpret_cast<LPARAM>(item))) delete item;
}

void CWFMeridianIcon::postResult(UINT kind, UINT textId, const CString& name) {
  HWND window = 0;
  switch (kind) {
    case kDeleted:
      window = GetRMDelWindow();
      break;
    case kMoved:
      window = GetRMMoveWindow();
      break;
    case kFormatted:
      window = GetRMFmtWindow();
      break;
    default:
      window = GetRMCopyWindow();
      break;
  }
  if (window) postText(window, WM_WF_RESOPRESULT, resourceWithName(familyString(textId), name));
  switch (kind) {
    case kDeleted:
      ReleaseRMDelWindow();
      break;
    case kMoved:
      ReleaseRMMoveWindow();
      break;
    case kFormatted:
      ReleaseRMFmtWindow();
      break;
    default:
      ReleaseRMCopyWindow();
      break;
  }
}

// ---- Copy, move, delete, format ----

void CWFMeridianIcon::CopyResource(CString file, CString source, UINT from, UINT to, BOOL move) {
  {
    std::lock_guard lock(m_rmNamesLock);
    (move ? m_moveFile : m_copyFile) = file;
  }
  queueWork(this, &CWFMeridianIcon::CopyResourceFunc,
            new COPYRMPARAM{GetPrinterHandle(), source.str(), from, to, move}, "CopyResourceFunc()");
}

UINT CWFMeridianIcon::CopyResourceFunc(void* param) {
  auto* request = static_cast<COPYRMPARAM*>(param);
  auto* icon = dynamic_cast<CWFMeridianIcon*>(findResourceIcon(request->hPrinter));
  if (!icon) {
    delete request;
    return 1;
  }
  BOOL ok = FALSE;
  if (WFPrtObj* object = icon->GetPrinterObj()) {
    const LONG rc = object->bidiDeviceCopyFile(request->source, deviceId(request->from),
                                               deviceId(request->to), request->move ? 1 : 0);
    ok = icon->BCEReturnCheck(rc);
    icon->ReleasePrinterObj();
  }
  if (!ok) {
    if (request->move)
      icon->postResult(kMoved, kMoveFailed, icon->GetRMMoveFile());
    else
      icon->postResult(kCopied, kCopyFailed, icon->GetRMCopyFile());
  }
  delete request;
  icon->ThreadUnlock();
  return ok ? 0 : 1;
}

void CWFMeridianIcon::DeleteResource(CString file, CString source, UINT device) {
  {
    std::lock_guard lock(m_rmNamesLock);
    m_deleteFile = file;
  }
  queueWork(this, &CWFMeridianIcon::DeleteResourceFunc,
            new DELETERMPARAM{GetPrinterHandle(), source.str(), device}, "DeleteResourceFunc()");
}

UINT CWFMeridianIcon::DeleteResourceFunc(void* param) {
  auto* request = static_cast<DELETERMPARAM*>(param);
  auto* icon = dynamic_cast<CWFMeridianIcon*>(findResourceIcon(request->hPrinter));
  if (!icon) {
    delete request;
    return 1;
  }
  BOOL ok = FALSE;
  if (WFPrtObj* object = icon->GetPrinterObj()) {
    ok = icon->BCEReturnCheck(object->bidiDeviceDeleteFile(request->source, deviceId(request->device)));
    icon->ReleasePrinterObj();
  }
  if (!ok) icon->postResult(kDeleted, kDeleteFailed, icon->GetRMDelFile());
  delete request;
  icon->ThreadUnlock();
  return ok ? 0 : 1;
}

void CWFMeridianIcon::FormatResource(UINT device) {
  {
    std::lock_guard lock(m_rmNamesLock);
    m_formatDevice = familyString(device == 2 ? kFlashName : kDiskName);
  }
  queueWork(this, &CWFMeridianIcon::FormatResourceFunc, new FORMATRMPARAM{GetPrinterHandle(), device},
            "FormatResourceFunc()");
}

UINT CWFMeridianIcon::FormatResourceFunc(void* param) {
  auto* request = static_cast<FORMATRMPARAM*>(param);
  auto* icon = dynamic_cast<CWFMeridianIcon*>(findResourceIcon(request->hPrinter));
  if (!icon) {
    delete request;
    return 1;
  }
  BOOL ok = FALSE;
  if (WFPrtObj* object = icon->GetPrinterObj()) {
    ok = icon->BCEReturnCheck(object->bidiDeviceFormat(deviceId(request->device)));
    icon->ReleasePrinterObj();
  }
  if (!ok) icon->postResult(kFormatted, kFormatFailed, icon->GetRMFmtDev());
  delete request;
  icon->ThreadUnlock();
  return ok ? 0 : 1;
}
