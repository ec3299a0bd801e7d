// The Keystone job-buffering page, its progress dialog and their workers.
#include "keystone/ky_jobbuf.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

#include "broker/corbce.h"
#include "common/app_services.h"
#include "common/notebook_messages.h"
#include "common/printer_list.h"
#include "framework/ddx.h"
#include "framework/global_memory.h"
#include "framework/shell_calls.h"
#include "keystone/ky_icon.h"
#include "platform/clock.h"

namespace keystone {

namespace {

constexpr std::uint16_t kBits[] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20};

}  // namespace

std::uint16_t portBit(std::uint32_t kind) {
  switch (kind) {
    case 0:
      return 0x01;
    case 1:
      return 0x02;
    case 2:
      return 0x04;
    case 3:
      return 0x08;
    case 5:
      return 0x20;
    default:
      return 0;
  }
}

RM_PORTID portId(std::uint16_t bit) {
  switch (bit) {
    case 0x02:
      return 1;
    case 0x04:
      return 2;
    case 0x08:
      return 3;
    case 0x20:
      return 5;
    default:
      return 0;
  }
}

PortMasks foldSummary(const std::vector<RM_JOBBUFFSUMMARY>& ports, std::uint32_t count) {
  PortMasks masks;
  const std::size_t n = std::min<std::size_t>(count, ports.size());
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint16_t bit = portBit(ports[i].portKind);
    masks.present |= bit;
    if (ports[i].active) masks.active |= bit;
    if (ports[i].set) masks.set |= bit;
  }
  return masks;
}

int scrolledPercent(UINT code, int thumb, int current) {
  int next = current;
  switch (code) {
    case SB_LINELEFT:
      next = current - 1;
      break;
    case SB_PAGELEFT:
      next = current - 10;
      break;
    case SB_LINERIGHT:
      next = current + 1;
      break;
    case SB_PAGERIGHT:
      next = current + 10;
      break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
      next = thumb;
      break;
    case SB_LEFT:
      next = 0;
      break;
    case SB_RIGHT:
      next = 100;
      break;
    default:
      return current;
  }
  next = std::clamp(next, 0, 100);
  // The smallest partition is ten percent.
  if (next >= 1 && next <= 9) next = next < current ? 0 : 10;
  return next;
}

}  // namespace keystone

using keystone::AlertRequest;
using keystone::JobBufInfo;
using keystone::PartitionRequest;
using keystone::PortMasks;
using keystone::PortRequest;
using keystone::QueryRequest;
using keystone::ResetRequest;

namespace {

constexpr int kScrollBar = 49002;
constexpr int kNewPercent = 49004;
constexpr int kNewMegabytes = 49007;
constexpr int kCurrentPercent = 49010;
constexpr int kDiskMegabytes = 49013;
constexpr int kApply = 49021;
constexpr int kReread = 49022;
constexpr int kStatusText = 49001;
// The port check boxes and their bits.
constexpr int kPortBoxes[5] = {49015, 49016, 49017, 49018, 49020};
constexpr std::uint16_t kPortBoxBits[5] = {0x01, 0x02, 0x04, 0x08, 0x20};
// Shown only with a disk.
constexpr int kDiskControls[] = {49046, 49047, 49048, 49049, 49050, 49051, 49052, 49053, 49054,
                                 49055, 49003, 49004, 49006, 49007, 49009, 49010, 49012, 49013};

constexpr DWORD kHelpIDs[] = {49002, 2301, 49004, 2302, 49007, 2303, 49010, 2304, 49013, 2305,
                              49015, 2306, 49016, 2307, 49017, 2308, 49018, 2309, 49019, 2310,
                              49020, 2311, 49022, 2312, 49021, 2313, 49003, 2302, 49006, 2303,
                              49009, 2304, 49012, 2305, 49044, 9000, 49045, 9000, 0,     0};

// Family strings.
constexpr UINT kQuestionPartition = 49022;
constexpr UINT kSendFailed = 49023;
constexpr UINT kNotConfirmed = 49025;
constexpr UINT kZeroWithPorts = 49026;
constexpr UINT kQuestionReset = 49027;
constexpr UINT kResetFailed = 49028;
constexpr UINT kPartitionCaption = 49030;
constexpr UINT kPartitionFailedCaption = 49031;
constexpr UINT kPortFailedCaption = 49032;
constexpr UINT kAlertCaption = 49034;
constexpr UINT kZeroWithPortsCaption = 49036;
constexpr UINT kResetCaption = 49037;
constexpr UINT kResetFailedCaption = 49038;
constexpr UINT kChangingPartition = 49040;
constexpr UINT kChangingPort = 49041;
constexpr UINT kResetting = 49042;
constexpr UINT kReading = 49043;
constexpr UINT kArming = 49048;
constexpr UINT kRecaptureCaption = 49050;
constexpr UINT kRecaptureFailed = 49051;

constexpr BYTE kJobBufPartitionChanged = 82;
constexpr std::uint32_t kStatusPauseMs = 1000;

// Error boxes of this module: one at a time (the dialog's thread only).
bool g_errorBoxShowing = false;

void enable(CWnd* parent, int id, bool on) {
  if (CWnd* control = parent->GetDlgItem(id)) control->EnableWindow(on ? TRUE : FALSE);
}

// The icon of `printer` from the printer list, held until ThreadUnlock.
CWFKstoneIcon* findIcon(USHORT printer) {
  WFAppServices* app = WFGetApp();
  CWFPrinterList* list = app ? app->GetPrinterList() : nullptr;
  CWFPrinterIcon* found = list ? list->FindPrinterIcon(printer) : nullptr;
  if (!found) return nullptr;
  if (auto* icon = dynamic_cast<CWFKstoneIcon*>(found)) return icon;
  found->ThreadUnlock();
  return nullptr;
}

// The summary, folded; false when the printer did not give it.
bool querySummary(CWFKstoneIcon& icon, WFPrtObj& object, std::uint32_t* percent, PortMasks* masks) {
  WFPrtObj::ULONG partition = 0, count = 0;
  std::vector<RM_JOBBUFFSUMMARY> ports;
  if (!icon.BCEReturnCheck(bidiResMgmtQueryJobBufferingSummary(object, &partition, &count, &ports)))
    return false;
  *percent = partition;
  *masks = keystone::foldSummary(ports, count);
  return true;
}

}  // namespace

// ---- The page ----

BEGIN_MESSAGE_MAP(CKYJobBuf, CWFPropertyPage)
ON_WM_HSCROLL()
ON_COMMAND(kApply, OnApplyChanges)
ON_COMMAND(kReread, OnReread)
ON_BN_CLICKED(49015, OnPortBox)
ON_BN_CLICKED(49016, OnPortBox)
ON_BN_CLICKED(49017, OnPortBox)
ON_BN_CLICKED(49018, OnPortBox)
ON_BN_CLICKED(49020, OnPortBox)
ON_MESSAGE(WM_WF_UPDATEPAGE, OnUpdatePage)
END_MESSAGE_MAP()

CKYJobBuf::CKYJobBuf(CWFKstoneIcon* icon)
    : CWFPropertyPage(540, "JOB_BUFF.HLP"),
      m_newPercentText("0"),
      m_newMegabytesText("0.00"),
      m_currentPercentText("0"),
      m_diskMegabytesText("0.00"),
      m_pIcon(icon),
      m_bAdmin(icon ? icon->IsUserAdmin() : FALSE) {}

const DWORD* CKYJobBuf::GetHelpIDs() {
  return kHelpIDs;
}

CString CKYJobBuf::FamilyString(UINT id) const {
  return m_pIcon ? m_pIcon->familyString(id) : CString();
}

BOOL CKYJobBuf::OnInitDialog() {
  enable(this, kApply, false);
  enable(this, kReread, false);
  if (auto* bar = dynamic_cast<CScrollBar*>(GetDlgItem(kScrollBar))) bar->SetScrollRange(0, 100);
  const BOOL result = CWFPropertyPage::OnInitDialog();
  QueryJBInfo();
  m_bFirstActivation = TRUE;
  return result;
}

BOOL CKYJobBuf::OnSetActive() {
  if (m_bFirstActivation)
    m_bFirstActivation = FALSE;
  else
    QueryJBInfo();
  return CWFPropertyPage::OnSetActive();
}

void CKYJobBuf::UpdatePage() {
  const bool disk = m_diskSize != 0;
  const bool mayEdit = disk && m_bAdmin;
  for (int id : kDiskControls) enable(this, id, disk);
  enable(this, kScrollBar, mayEdit);
  for (int i = 0; i < 5; ++i) enable(this, kPortBoxes[i], mayEdit && (m_present & kPortBoxBits[i]));
  enable(this, kApply, mayEdit && m_bModified);
  enable(this, kReread, mayEdit && m_bModified);
  if (!disk) {
    m_newPercentText = "0";
    m_newMegabytesText = "0.00";
    m_currentPercentText = "0";
    m_diskMegabytesText = "0.00";
    return;
  }
  if (auto* bar = dynamic_cast<CScrollBar*>(GetDlgItem(kScrollBar))) bar->SetScrollPos(m_newPercent);
  m_newPercentText.Format("%d", m_newPercent);
  m_newMegabytesText.Format("%3.2f", static_cast<double>(m_newPercent) * (m_diskSize >> 20) / 100.0);
  m_currentPercentText.Format("%d", m_currentPercent);
  m_diskMegabytesText.Format("%3.2f", m_diskSize / 1048576.0);
  for (int i = 0; i < 5; ++i) m_portBoxes[i] = (m_wanted & kPortBoxBits[i]) ? TRUE : FALSE;
}

void CKYJobBuf::DoDataExchange(CDataExchange* dx) {
  CWFPropertyPage::DoDataExchange(dx);
  UpdatePage();
  DDX_Text(dx, kNewPercent, m_newPercentText);
  DDX_Text(dx, kNewMegabytes, m_newMegabytesText);
  DDX_Text(dx, kCurrentPercent, m_currentPercentText);
  DDX_Text(dx, kDiskMegabytes, m_diskMegabytesText);
  for (int i = 0; i < 5; ++i) DDX_Check(dx, kPortBoxes[i], m_portBoxes[i]);
}

void CKYJobBuf::OnHScroll(UINT code, UINT position, CScrollBar*) {
  if (m_diskSize == 0 || !m_bAdmin) return;
  m_newPercent = keystone::scrolledPercent(code, static_cast<int>(position), m_newPercent);
  Recompute();
  UpdateData(FALSE);
}

void CKYJobBuf::ReadPortBoxes() {
  m_wanted = 0;
  for (int i = 0; i < 5; ++i) {
    m_portBoxes[i] = IsDlgButtonChecked(kPortBoxes[i]) ? TRUE : FALSE;
    if (m_portBoxes[i]) m_wanted |= kPortBoxBits[i];
  }
}

void CKYJobBuf::OnPortBox() {
  ReadPortBoxes();
  Recompute();
  UpdateData(FALSE);
}

void CKYJobBuf::OnReread() {
  QueryJBInfo();
}

void CKYJobBuf::OnApplyChanges() {
  ReadPortBoxes();
  if (m_newPercent == 0 && m_wanted != 0) {
    ::MessageBox(GetSafeHwnd(), FamilyString(kZeroWithPorts), FamilyString(kZeroWithPortsCaption),
                 MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  if (m_newPercent != m_currentPercent &&
      ::MessageBox(GetSafeHwnd(), FamilyString(kQuestionPartition), FamilyString(kPartitionCaption),
                   MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
    return;
  if (m_newPercent == m_currentPercent && m_wanted == m_active && m_wanted == m_set) return;
  BOOL reset = FALSE;
  {
    CKYJBStatus status(this, m_pIcon, m_newPercent, m_currentPercent, m_wanted, m_active, m_set);
    status.DoModal();
    reset = status.NeedsPOR();
  }
  // A printer lost meanwhile closed the dialog first; the notebook may go next.
  if (!GetSafeHwnd() || !IsWindow(GetSafeHwnd()) || !m_pIcon) return;
  WFAppServices* app = WFGetApp();
  CWFPrinterList* list = app ? app->GetPrinterList() : nullptr;
  if (!list || !list->IsInList(m_pIcon)) return;
  if (reset) m_pIcon->SetRMFormat(TRUE);
  m_pIcon->ThreadUnlock();
  QueryJBInfo();
}

LRESULT CKYJobBuf::OnUpdatePage(WPARAM, LPARAM info) {
  if (auto block = reinterpret_cast<HGLOBAL>(info)) {
    JobBufInfo read;
    if (GlobalSize(block) == sizeof read) {
      if (const void* bytes = GlobalLock(block)) {
        std::memcpy(&read, bytes, sizeof read);
        GlobalUnlock(block);
        m_diskSize = read.diskSize;
        m_newPercent = m_currentPercent = static_cast<int>(read.percent);
        m_present = read.ports.present;
        m_active = read.ports.active;
        m_set = read.ports.set;
        m_wanted = m_active;
        Recompute();
      }
    }
    GlobalFree(block);
  }
  UpdateData(FALSE);
  return 0;
}

void CKYJobBuf::QueryJBInfo() {
  WFAppServices* app = WFGetApp();
  if (!app || !m_pIcon) return;
  auto* request = new (std::nothrow) QueryRequest{m_pIcon->GetPrinterHandle(), GetSafeHwnd()};
  if (request)
    app->BeginThread(&QueryJBInfoWorker, request, 0, m_pIcon->BuildDescriptiveString("QueryJBInfo()"));
}

UINT CKYJobBuf::QueryJBInfoWorker(void* param) {
  auto* request = static_cast<QueryRequest*>(param);
  CWFKstoneIcon* icon = findIcon(request->printer);
  if (!icon) {
    delete request;
    return 0;
  }
  icon->postTextToNotebook(kReading);
  if (WFPrtObj* object = icon->GetPrinterObj()) {
    JobBufInfo info;
    info.diskSize = static_cast<std::uint32_t>(icon->GetHDSize());
    // Only the page writes its members: the results travel with the post,
    // and a page closed meanwhile drops them.
    if (querySummary(*icon, *object, &info.percent, &info.ports) && icon->GetOpenDlgHandle()) {
      if (HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof info)) {
        if (void* bytes = GlobalLock(block)) {
          std::memcpy(bytes, &info, sizeof info);
          GlobalUnlock(block);
        }
        if (!::PostMessage(request->page, WM_WF_UPDATEPAGE, 0, reinterpret_cast<LPARAM>(block)))
          GlobalFree(block);
      }
    }
    icon->ReleasePrinterObj();
  }
  wf::sleepFor(kStatusPauseMs);
  if (HWND notebook = icon->GetOpenDlgHandle()) ::PostMessage(notebook, WM_WF_MESSAGE, 0, 0);
  icon->ThreadUnlock();
  delete request;
  return 0;
}

// ---- The progress dialog ----

BEGIN_MESSAGE_MAP(CKYJBStatus, CDialog)
ON_MESSAGE(WM_KY_JBARMED, OnArmed)
ON_MESSAGE(WM_KY_JBPARTITION, OnPartition)
ON_MESSAGE(WM_KY_JBPORTCHANGE, OnPortChange)
ON_MESSAGE(WM_KY_JBPOR, OnPOR)
ON_MESSAGE(WM_KY_JBALERT, OnAlert)
ON_MESSAGE(WM_KY_JBERROR, OnError)
END_MESSAGE_MAP()

CKYJBStatus::CKYJBStatus(CKYJobBuf* page, CWFKstoneIcon* icon, int newPercent, int currentPercent,
                         std::uint16_t wanted, std::uint16_t active, std::uint16_t set)
    : CDialog(541, page),
      m_pPage(page),
      m_pIcon(icon),
      m_newPercent(newPercent),
      m_currentPercent(currentPercent),
      m_wanted(wanted),
      m_active(active),
      m_set(set) {}

void CKYJBStatus::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Text(dx, kStatusText, m_status);
}

BOOL CKYJBStatus::OnInitDialog() {
  const BOOL result = CDialog::OnInitDialog();
  ShowStatus(kArming);
  if (m_pIcon) m_pIcon->ActivateResMgmtAlertsNotify(1, GetSafeHwnd());
  return result;
}

void CKYJBStatus::ShowStatus(UINT id) {
  m_status = m_pIcon ? m_pIcon->familyString(id) : CString();
  UpdateData(FALSE);
}

template <class Request>
void CKYJBStatus::Start(UINT (*worker)(void*), Request* request, const char* label) {
  WFAppServices* app = WFGetApp();
  if (!request) return;
  if (!app || !m_pIcon) {
    delete request;
    return;
  }
  app->BeginThread(worker, request, 0, m_pIcon->BuildDescriptiveString(label));
}

LRESULT CKYJBStatus::OnArmed(WPARAM, LPARAM) {
  if (m_newPercent != m_currentPercent) {
    if (m_newPercent == 0 && (m_wanted != 0 || m_set != 0))
      ::PostMessage(GetSafeHwnd(), WM_KY_JBPORTCHANGE, 0, m_set);
    else
      ::PostMessage(GetSafeHwnd(), WM_KY_JBPARTITION, 0, 0);
  } else if (m_wanted != m_set) {
    ::PostMessage(GetSafeHwnd(), WM_KY_JBPORTCHANGE, 0, m_set);
  } else if (m_active != m_set) {
    ::PostMessage(GetSafeHwnd(), WM_KY_JBPOR, m_active, m_set);
  }
  return 0;
}

LRESULT CKYJBStatus::OnPartition(WPARAM, LPARAM) {
  ShowStatus(kChangingPartition);
  if (m_pIcon)
    Start(&DoPartition,
          new (std::nothrow) PartitionRequest{m_pIcon->GetPrinterHandle(), GetSafeHwnd(), m_newPercent},
          "DoPartition()");
  return 0;
}

LRESULT CKYJBStatus::OnPortChange(WPARAM, LPARAM set) {
  ShowStatus(kChangingPort);
  if (m_pIcon)
    Start(&DoPortChange,
          new (std::nothrow) PortRequest{m_pIcon->GetPrinterHandle(), GetSafeHwnd(), m_wanted,
                                         static_cast<std::uint16_t>(set)},
          "DoPortChange()");
  return 0;
}

LRESULT CKYJBStatus::OnAlert(WPARAM, LPARAM kind) {
  if (kind == kJobBufPartitionChanged) m_bPOR = TRUE;
  if (m_pIcon)
    Start(&DoAlert,
          new (std::nothrow) AlertRequest{m_pIcon->GetPrinterHandle(), GetSafeHwnd(), m_newPercent, m_wanted},
          "DoAlert()");
  return 0;
}

LRESULT CKYJBStatus::OnPOR(WPARAM, LPARAM) {
  const CString text = m_pIcon ? m_pIcon->familyString(kQuestionReset) : CString();
  const CString caption = m_pIcon ? m_pIcon->familyString(kResetCaption) : CString();
  if (::MessageBox(GetSafeHwnd(), text, caption, MB_YESNO | MB_ICONQUESTION) != IDYES) {
    EndDialog(IDCANCEL);
    return 0;
  }
  ShowStatus(kResetting);
  if (m_pIcon)
    Start(&DoPOR, new (std::nothrow) ResetRequest{m_pIcon->GetPrinterHandle(), GetSafeHwnd()}, "DoPOR()");
  return 0;
}

LRESULT CKYJBStatus::OnError(WPARAM caption, LPARAM text) {
  if (!g_errorBoxShowing && m_pIcon) {
    g_errorBoxShowing = true;
    ::MessageBox(GetSafeHwnd(), m_pIcon->familyString(static_cast<UINT>(text)),
                 m_pIcon->familyString(static_cast<UINT>(caption)), MB_OK | MB_ICONEXCLAMATION);
    g_errorBoxShowing = false;
  }
  EndDialog(IDCANCEL);
  return 0;
}

// ---- The dialog's workers ----

UINT CKYJBStatus::DoPartition(void* param) {
  auto* request = static_cast<PartitionRequest*>(param);
  bool ok = false;
  if (CWFKstoneIcon* icon = findIcon(request->printer)) {
    if (WFPrtObj* object = icon->GetPrinterObj()) {
      ok = icon->BCEReturnCheck(
          bidiResMgmtSetBufferingPartition(*object, static_cast<WFPrtObj::ULONG>(request->percent)));
      icon->ReleasePrinterObj();
    }
    icon->ThreadUnlock();
  }
  // A new partition is confirmed by the printer's alert; none is sent for 0.
  if (!ok)
    ::PostMessage(request->dialog, WM_KY_JBERROR, kPartitionFailedCaption, kSendFailed);
  else if (request->percent == 0)
    ::PostMessage(request->dialog, WM_KY_JBALERT, 0, 0);
  delete request;
  return 0;
}

UINT CKYJBStatus::DoPortChange(void* param) {
  auto* request = static_cast<PortRequest*>(param);
  std::uint16_t bit = 0;
  for (std::uint16_t b : keystone::kBits)
    if ((request->wanted ^ request->set) & b) {
      bit = b;
      break;
    }
  bool ok = false;
  if (bit == 0) {
    ::PostMessage(request->dialog, WM_KY_JBALERT, 0, 0);
    delete request;
    return 0;
  }
  if (CWFKstoneIcon* icon = findIcon(request->printer)) {
    if (WFPrtObj* object = icon->GetPrinterObj()) {
      ok = icon->BCEReturnCheck(
          bidiResMgmtChangeBufferingState(*object, keystone::portId(bit), (request->wanted & bit) ? 1 : 0));
      icon->ReleasePrinterObj();
    }
    icon->ThreadUnlock();
  }
  if (!ok) ::PostMessage(request->dialog, WM_KY_JBERROR, kPortFailedCaption, kSendFailed);
  delete request;
  return 0;
}

UINT CKYJBStatus::DoAlert(void* param) {
  auto* request = static_cast<AlertRequest*>(param);
  bool read = false;
  std::uint32_t percent = 0;
  PortMasks masks;
  if (CWFKstoneIcon* icon = findIcon(request->printer)) {
    if (WFPrtObj* object = icon->GetPrinterObj()) {
      read = querySummary(*icon, *object, &percent, &masks);
      icon->ReleasePrinterObj();
    }
    icon->ThreadUnlock();
  }
  if (!read) {
    if (WFAppServices* app = WFGetApp()) app->Log(0, "BADDISKALERTTITLE from DoAlert()\n");
    ::PostMessage(request->dialog, WM_KY_JBERROR, kAlertCaption, kNotConfirmed);
  } else if (static_cast<int>(percent) != request->percent) {
    ::PostMessage(request->dialog, WM_KY_JBPARTITION, 0, 0);
  } else if (request->wanted != masks.set) {
    ::PostMessage(request->dialog, WM_KY_JBPORTCHANGE, 0, masks.set);
  } else if (masks.set == masks.active) {
    ::PostMessage(request->dialog, WM_CLOSE, 0, 0);
  } else {
    ::PostMessage(request->dialog, WM_KY_JBPOR, masks.active, masks.set);
  }
  delete request;
  return 0;
}

UINT CKYJBStatus::DoPOR(void* param) {
  auto* request = static_cast<ResetRequest*>(param);
  CWFKstoneIcon* icon = findIcon(request->printer);
  if (!icon) {
    ::PostMessage(request->dialog, WM_KY_JBERROR, kResetFailedCaption, kResetFailed);
    delete request;
    return 0;
  }
  if (WFPrtObj* object = icon->GetPrinterObj()) {
    const CWFKstoneIcon::ResetOutcome outcome = icon->PowerOnReset(*object);
    icon->ReleasePrinterObj();
    if (outcome == CWFKstoneIcon::ResetOutcome::kNotRecaptured)
      ::PostMessage(request->dialog, WM_KY_JBERROR, kRecaptureCaption, kRecaptureFailed);
    else if (outcome == CWFKstoneIcon::ResetOutcome::kRefused)
      ::PostMessage(request->dialog, WM_KY_JBERROR, kResetFailedCaption, kResetFailed);
    else
      ::PostMessage(request->dialog, WM_CLOSE, 0, 0);
  } else {
    ::PostMessage(request->dialog, WM_CLOSE, 0, 0);
  }
  icon->ThreadUnlock();
  delete request;
  return 0;
}

// ---- The icon's part of the power-on reset ----

CWFKstoneIcon::ResetOutcome CWFKstoneIcon::PowerOnReset(WFPrtObj& object) {
  constexpr int kCaptureTries = 10;
  constexpr std::uint32_t kCaptureDelayMs = 1000;
  WFAppServices* app = WFGetApp();
  const std::uint16_t appId = static_cast<std::uint16_t>(app ? app->GetAppID() : 0);
  // The reset forgets the host's captures; they are taken again whatever
  // the reset answered, or the icon's alerts would stop while it says armed.
  BceReleaseAlerts(appId, GetPrinterHandle(), 1);
  const BOOL reset = BCEReturnCheck(object.bidiPORPrinter());
  bool captured = false;
  for (int attempt = 0; attempt < kCaptureTries && !captured; ++attempt) {
    wf::sleepFor(kCaptureDelayMs);
    std::lock_guard lock(m_armLock);
    ALERTS alerts = m_activeAlerts;  // as it stands now
    WFAlertManagerServices* manager = app ? app->GetAlertManager() : nullptr;
    const HWND window = manager ? manager->GetNotificationWindow() : 0;
    captured = BceCaptureAlerts(appId, GetPrinterHandle(), &alerts, window, 0) == 0;
    if (captured) m_activeAlerts = alerts;
  }
  if (!captured) return ResetOutcome::kNotRecaptured;
  return reset ? ResetOutcome::kDone : ResetOutcome::kRefused;
}
