// What a stored alert message does: the user's filter, the notebook's
// refresh, the frame's icons and flashing, the sounds, the focus, the
// sweep of cleared messages and the help topic of the current error.
#include <algorithm>
#include <memory>

#include "common/alert_dlg_list.h"
#include "common/app_services.h"
#include "common/notebook_messages.h"
#include "common/printer_icon.h"
#include "framework/image_list.h"
#include "framework/shell_calls.h"
#include "framework/wnd.h"
#include "icon_alert_tables.h"
#include "icon_mutex.h"
#include "platform/clock.h"

using wf::prtgui::kBaseAlerts;
using wf::prtgui::underIconMutex;

namespace {

constexpr UINT kPanelPath = 0x4;
constexpr DWORD kSoundFlags = SND_ASYNC | SND_NOWAIT | SND_FILENAME;
constexpr std::time_t kSoundSpacingSeconds = 3;
constexpr int kAllClearSound = 8;

bool isPrinterEvent(ULONG type) {
  return type == 100 || type == 101 || type == 102 || type == 200;
}

CWnd* notebookFrame(HWND notebook) {
  CWnd* window = notebook ? CWnd::FromHandle(notebook) : nullptr;
  return window ? window->GetParent() : nullptr;
}

struct DelayedSound {
  std::string file;
  std::uint32_t delayMs;
};

// Waits on a worker so that no thread that completed an alert ever sleeps.
UINT playDelayedSound(void* param) {
  std::unique_ptr<DelayedSound> sound(static_cast<DelayedSound*>(param));
  wf::sleepFor(sound->delayMs);
  PlaySound(sound->file.c_str(), nullptr, kSoundFlags);
  return 0;
}

struct HelpContext {
  UINT specific;
  DWORD context;
};
constexpr HelpContext kHelpContexts[] = {{6113, 1919}, {6117, 1933}, {6114, 1921}, {6104, 1922}, {6106, 1923},
                                         {6105, 1924}, {6107, 1909}, {6108, 1932}, {6118, 1918}, {6102, 2210},
                                         {6103, 1907}, {6116, 1928}, {6226, 1925}, {6115, 1918}, {20, 2231},
                                         {21, 2231},   {22, 2231},   {23, 2231},   {24, 2231},   {25, 2231}};
constexpr DWORD kDefaultHelpContext = 1918;

}  // namespace

CWFPrinterIcon::FrameIcons::~FrameIcons() {
  for (auto& [index, pair] : icons) {
    DestroyIcon(pair.first);
    DestroyIcon(pair.second);
  }
}

CWFPrinterIcon::ALERT_ACTION CWFPrinterIcon::FilterAlerts(CWFAlertMsg* message) {
  if (!message) return ALERT_FAMILY;
  const CWFAlert* alert = message->GetAlert();
  if (isPrinterEvent(alert->GetType())) return ALERT_SHOW;
  for (int row = 0; row < kBaseAlertCount; ++row)
    if (kBaseAlerts[row].alertId == alert->GetSpecificAlert())
      return m_baseAlertFlags[row] ? ALERT_SHOW : ALERT_SUPPRESS;
  return ALERT_FAMILY;
}

int CWFPrinterIcon::UpdateViews(UINT what) {
  if (what & kPanelPath) {
    return underIconMutex(this, "AlertLock", [&]() -> int {
      CWFPanelAlertMsg* top = m_panelAlerts.GetTopMessage();
      if (!top) return FALSE;
      BOOL told = FALSE;
      if (m_hOpenDlg) {
        SetOpPanelText(top);
        PostMessage(m_hOpenDlg, WM_WF_OPPANEL, 0, 0);
        told = TRUE;
      }
      m_panelAlerts.RemoveTopMessage();
      return told;
    });
  }

  std::unique_ptr<CWFAlertMsg> copy;
  int result = FALSE;
  const bool goOn = underIconMutex(this, "AlertLock", [&] {
    CWFAlertMsg* top = m_alertStorage.GetTopAlertMsg();
    if (!top) return false;
    if (FilterAlerts(top) == ALERT_SUPPRESS) {
      m_alertStorage.RemoveAlertMsg(top);
      return false;
    }
    if (what == 0) return false;
    if (top->GetAlert()->GetSubType() == ALERT_SUBTYPE_CONFIGCHANGE) {
      if (m_hOpenDlg) PostMessage(m_hOpenDlg, WM_WF_UPDATEPAGE, 0, 0);
      m_alertStorage.RemoveAlertMsg(top);
      result = TRUE;
      return false;
    }
    copy = std::make_unique<CWFAlertMsg>(top);
    if (top->GetAlert()->GetActiveState() == CWFAlert::CLEARED) m_alertStorage.RemoveAlertMsg(top);
    return true;
  });
  if (!goOn) return result;

  const CWFAlert& alert = *copy->GetAlert();
  SetStatus(nullptr);
  WFAppServices* app = WFGetApp();
  CWnd* frame = notebookFrame(m_hOpenDlg);
  if (m_hOpenDlg) {
    PostMessage(m_hOpenDlg, WM_WF_UPDATEPAGE, 0, 0);
    result = TRUE;
    if (frame && app) {
      if (alert.GetActiveState() == CWFAlert::CLEARED && !GetAnyHardErrors()) {
        setFrameIcons(frame, GetNormalIconIndex());
        app->RemoveFromFlashList(frame);
      }
      if (alert.GetHardError()) {
        app->AddToFlashList(frame);
        setFrameIcons(frame, GetErrorIconIndex());
      }
    }
  }
  playAlertSounds(*copy);
  if (app && app->GetFocusOnAlert() && alert.GetActiveState() == CWFAlert::ACTIVE) {
    if (WFWindowListServices* windows = app->GetWindowList()) windows->RestoreOnError(m_hPrinter);
    if (frame) {
      if (frame->IsIconic()) frame->ShowWindow(SW_RESTORE);
      frame->BringWindowToTop();
      frame->SetForegroundWindow();
    }
  }
  return result;
}

void CWFPrinterIcon::setFrameIcons(CWnd* frame, int index) {
  WFAppServices* app = WFGetApp();
  std::pair<HICON, HICON> pair;
  {
    std::lock_guard lock(m_frameIcons.lock);
    auto found = m_frameIcons.icons.find(index);
    if (found == m_frameIcons.icons.end()) {
      CImageList* small = app->GetSmallImageList();
      CImageList* big = app->GetNormalImageList();
      found = m_frameIcons.icons
                  .emplace(index, std::make_pair(small ? small->ExtractIcon(index) : nullptr,
                                                 big ? big->ExtractIcon(index) : nullptr))
                  .first;
    }
    pair = found->second;
  }
  frame->PostMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(pair.first));
  frame->PostMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(pair.second));
}

void CWFPrinterIcon::playAlertSounds(const CWFAlertMsg& copy) {
  WFAppServices* app = WFGetApp();
  if (!app || !app->GetSoundEnabled()) return;
  WFWindowListServices* windows = app->GetWindowList();
  if (!((windows && windows->AnyNormalWndFound(m_hPrinter)) || app->GetMinSounds())) return;

  auto play = [&](const std::string& file, std::time_t now, std::time_t earliest) {
    if (now >= earliest) {
      PlaySound(file.c_str(), nullptr, kSoundFlags);
      return;
    }
    const auto delayMs = static_cast<std::uint32_t>((earliest - now) * 1000);
    CString label;
    label.Format("PlaySound() in %u ms", static_cast<unsigned>(delayMs));
    app->BeginThread(&playDelayedSound, new DelayedSound{file, delayMs}, 0, BuildDescriptiveString(label));
  };

  // Asked before the sound lock: "AlertLock" is never taken inside it.
  const BOOL anyActive = GetAnyActiveAlerts();
  std::lock_guard lock(m_soundLock);
  const std::time_t now = wf::now();
  const std::time_t earliest = m_lastSound + kSoundSpacingSeconds;
  m_lastSound = now;
  const std::string file = copy.GetFile().GetPath().str();
  if (copy.GetAlert()->GetActiveState() == CWFAlert::ACTIVE && !file.empty() &&
      std::find(m_playedSounds.begin(), m_playedSounds.end(), file) == m_playedSounds.end()) {
    m_playedSounds.push_back(file);
    play(file, now, earliest);
  }
  if (!anyActive) {
    const std::string allClear = app->GetWaveFile(kAllClearSound).GetPath().str();
    if (!allClear.empty()) play(allClear, now, earliest);
    m_playedSounds.clear();
  }
}

std::vector<std::string> CWFPrinterIcon::GetPlayedSounds() {
  std::lock_guard lock(m_soundLock);
  return m_playedSounds;
}

UINT CWFPrinterIcon::ClearAlerts() {
  return underIconMutex(this, "AlertLock", [&] {
    UINT result = 0;
    while (CWFAlert* alert = m_alertStorage.GetClearedAlerts()) {
      result |= 0x9;
      CompleteAlert(alert, CWFAlert::CLEARED, result, alert->GetSubType(), CString(), 0, CFilename(), FALSE,
                    FALSE, FALSE);
    }
    return result;
  });
}

void CWFPrinterIcon::ClearRemovedAlerts(CWFAlertDlgList* list) {
  underIconMutex(this, "AlertLock", [&] {
    auto& removed = list->GetRemovedList();
    for (POSITION p = removed.GetHeadPosition(); p;) {
      const UINT key = removed.GetNext(p);
      if (CWFAlertMsg* message = m_alertStorage.IsAlertActive(key))
        CompleteAlert(message->GetAlert(), CWFAlert::CLEARED, 0x9, ALERT_SUBTYPE_NONE, CString(), 0,
                      CFilename(), FALSE, FALSE, FALSE);
    }
    removed.RemoveAll();
  });
}

void CWFPrinterIcon::ShowHelpforError() {
  UINT specific = 0;
  const bool any = underIconMutex(this, "AlertLock", [&] {
    CWFAlertMsg* message = m_alertStorage.Get1stHardErrorMsg();
    if (!message) message = m_alertStorage.GetTopAlertMsg();
    if (!message) return false;
    specific = message->GetAlert()->GetSpecificAlert();
    return true;
  });
  WFAppServices* app = WFGetApp();
  if (!any || !app) return;
  DWORD context = kDefaultHelpContext;
  for (const HelpContext& entry : kHelpContexts)
    if (entry.specific == specific) context = entry.context;
  app->WinHelp(context, HELP_CONTEXT);
}
