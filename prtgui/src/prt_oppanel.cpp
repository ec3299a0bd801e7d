// The remote operator panel page: the panel picture with the printer's
// display, the eight buttons, the panel lock, and Quick Setup save and restore.
#include <fcntl.h>

#include <cstdint>
#include <cstdio>
#include <memory>

#include "common/app_services.h"
#include "common/notebook_messages.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "common/quick_dlg.h"
#include "framework/ddx.h"
#include "framework/file_dialog.h"
#include "framework/resources.h"
#include "framework/shell_calls.h"
#include "page_common.h"
#include "platform/module.h"
#include "platform/regular_file.h"
#include "prtgui/prt_pages.h"

using wf::prtgui::createPanelFont;
using wf::prtgui::drawPanelLines;
using wf::prtgui::findIcon;
using wf::prtgui::handleParam;
using wf::prtgui::kModernDefaultPitch;
using wf::prtgui::kModernFixedPitch;
using wf::prtgui::kPanelGreen;

namespace {

constexpr int kSave = 1033;
constexpr int kRestore = 1034;
constexpr int kLock = 1035;
constexpr int kFirstButton = 1036;
constexpr int kLastButton = 1043;
constexpr UINT kPanelBitmap = 2000;
constexpr COLORREF kWhite = RGB(255, 255, 255);
const CRect kLabelStrip(46, 147, 371, 166);
const CRect kDisplay(46, 20, 291, 132);
using wf::PanelBlock;

// Strings of this page come from WFGUIDLL: the main program's library, searched
// first, uses some of the same numbers for other texts.
CString pageString(CWFPrinterIcon* icon, UINT id) {
  wf::fw::ResourceHandleSwitch resources(icon ? icon->CWFPrinterIcon::GetResourceInstance(0) : HINSTANCE{});
  CString text;
  text.LoadString(id);
  return text;
}

class PanelFileDialog : public CFileDialog {
 public:
  PanelFileDialog(BOOL open, DWORD flags, const CString& filter, const CString& title, CWnd* parent)
      : CFileDialog(open, "psf", nullptr, flags, filter.str().c_str(), parent) {
    m_request.title = title.str();
  }
};

}  // namespace

BEGIN_MESSAGE_MAP(CPrtOOpPanel, CWFPropertyPage)
ON_WM_PAINT()
ON_COMMAND_RANGE(kFirstButton, kLastButton, OnROPButtonPress)
ON_BN_CLICKED(kLock, OnLockOppanel)
ON_BN_CLICKED(kSave, OnSaveSettings)
ON_BN_CLICKED(kRestore, OnRestoreSettings)
ON_MESSAGE(WM_WF_QSDONE, OnQSDone)
END_MESSAGE_MAP()

BOOL CPrtOOpPanel::OnInitDialog() {
  CWFPropertyPage::OnInitDialog();
  PositionROPButtons();
  return TRUE;
}

void CPrtOOpPanel::PositionROPButtons() {
  static constexpr struct {
    int id, x, y;
  } places[] = {{1037, 318, 28},  {1038, 318, 56}, {1039, 318, 84},
                {1040, 318, 112}, {1042, 45, 173}, {1041, 325, 173}};
  for (const auto& p : places)
    if (CWnd* button = GetDlgItem(p.id))
      button->SetWindowPos(0, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void CPrtOOpPanel::DoDataExchange(CDataExchange* dx) {
  CWFPropertyPage::DoDataExchange(dx);
  ExchangeOpPanelInfo(dx);
  UpdateCustomData(dx);
  int lock = m_bLock ? 1 : 0;
  DDX_Check(dx, kLock, lock);
  m_bLock = lock != 0;
}

void CPrtOOpPanel::ExchangeOpPanelInfo(CDataExchange*) {
  ShowOPText();
}

void CPrtOOpPanel::UpdateCustomData(CDataExchange* dx) {
  if (!dx->m_bSaveAndValidate && m_pIcon) m_bLock = m_pIcon->GetOpPanelLock();
}

BOOL CPrtOOpPanel::OnSetActive() {
  if (m_pIcon && !m_pIcon->GetPanelAlertsActive()) {
    m_pIcon->ActivatePanelAlerts(TRUE);
    if (WFAppServices* app = WFGetApp())
      app->BeginThread(&CPrtOStatus::UpdateROPData, handleParam(m_pIcon), 0,
                       m_pIcon->BuildDescriptiveString("UpdateROPData() from CPrtOOpPanel::OnSetActive()"));
  }
  return CWFPropertyPage::OnSetActive();
}

// ---- painting ----

void CPrtOOpPanel::OnPaint() {
  CPaintDC dc(this);
  DrawOpPanel(dc.GetSafeHdc());
  m_pPaintDC = &dc;
  ShowOPText();
  m_pPaintDC = nullptr;
}

void CPrtOOpPanel::DrawOpPanel(HDC hdc) {
  CDC* target = CDC::FromHandle(hdc);
  if (!target) return;
  CBitmap panel;
  {
    wf::fw::ResourceHandleSwitch resources(m_pIcon ? m_pIcon->GetResourceInstance(0) : HINSTANCE{});
    if (!panel.LoadBitmap(kPanelBitmap)) return;
  }
  CDC memory;
  memory.CreateCompatibleDC(target);
  CBitmap* oldBitmap = memory.SelectObject(&panel);
  CFont font;
  createPanelFont(font, -12, kModernFixedPitch, "Arial Bold");
  CFont* oldFont = memory.SelectObject(&font);
  memory.SetBkMode(TRANSPARENT);
  memory.SetTextColor(kWhite);
  CRect strip = kLabelStrip;
  memory.DrawText(pageString(m_pIcon, 547), &strip, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  strip = kLabelStrip;
  memory.DrawText(pageString(m_pIcon, 548), &strip, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
  const CSize size = panel.GetSize();
  target->BitBlt(0, 0, size.cx, size.cy, &memory, 0, 0, SRCCOPY);
  memory.SelectObject(oldFont);
  memory.SelectObject(oldBitmap);
}

void CPrtOOpPanel::ShowOPText() {
  if (!GetSafeHwnd()) return;
  // Only the paint handler draws; elsewhere the display is asked to repaint.
  if (!m_pPaintDC) {
    InvalidateRect(&kDisplay, FALSE);
    return;
  }
  CDC& dc = *m_pPaintDC;
  dc.FillSolidRect(&kDisplay, kPanelGreen);
  CFont font;
  createPanelFont(font, -20, kModernDefaultPitch, "Courier New Bold");
  CFont* oldFont = dc.SelectObject(&font);
  dc.SetBkMode(TRANSPARENT);
  TEXTMETRIC metrics;
  dc.GetTextMetrics(&metrics);
  drawPanelLines(dc, m_pIcon, kDisplay.left + 3, kDisplay.top + metrics.tmHeight / 2, metrics.tmHeight);
  dc.SelectObject(oldFont);
}

// ---- buttons and lock ----

void CPrtOOpPanel::OnROPButtonPress(UINT id) {
  if (id < kFirstButton || id > kLastButton || !m_pIcon) return;
  WFAppServices* app = WFGetApp();
  if (!app) return;
  auto* block = new PanelBlock;
  block->code = 1u << (id - kFirstButton);
  block->printer = m_pIcon->GetPrinterHandle();
  app->BeginThread(&CPrtOOpPanel::PressROPButtons, block, 0,
                   m_pIcon->BuildDescriptiveString("PressROPButtons()"));
}

UINT CPrtOOpPanel::PressROPButtons(void* parameter) {
  std::unique_ptr<PanelBlock> block(static_cast<PanelBlock*>(parameter));
  CWFPrinterIcon* icon = block ? findIcon(block->printer) : nullptr;
  if (!icon) return 0;
  if (WFPrtObj* object = icon->GetPrinterObj()) {
    icon->BCEReturnCheck(object->bidiROPPushButton(block->code));
    icon->ReleasePrinterObj();
  }
  icon->ThreadUnlock();
  return 0;
}

void CPrtOOpPanel::OnLockOppanel() {
  if (!m_pIcon) return;
  CButton* box = static_cast<CButton*>(GetDlgItem(kLock));
  const BOOL lock = box && box->GetCheck() == BST_CHECKED ? 1 : 0;
  m_pIcon->SetOpPanelLock(lock);
  WFAppServices* app = WFGetApp();
  if (!app) return;
  auto* block = new PanelBlock;
  block->printer = m_pIcon->GetPrinterHandle();
  block->lock = static_cast<DWORD>(lock);
  app->BeginThread(&CPrtOOpPanel::LockROP, block, 0, m_pIcon->BuildDescriptiveString("LockROP()"));
}

UINT CPrtOOpPanel::LockROP(void* parameter) {
  std::unique_ptr<PanelBlock> block(static_cast<PanelBlock*>(parameter));
  CWFPrinterIcon* icon = block ? findIcon(block->printer) : nullptr;
  if (!icon) return 0;
  if (WFPrtObj* object = icon->GetPrinterObj()) {
    const BOOL wanted = block->lock ? TRUE : FALSE;
    const BOOL ok = icon->BCEReturnCheck(object->bidiROPSetLock(wanted));
    icon->SetOpPanelLock(ok ? wanted : !wanted);
    if (HWND notebook = icon->GetOpenDlgHandle()) ::PostMessage(notebook, WM_WF_OPPANEL, 0, 0);
    icon->ReleasePrinterObj();
  }
  icon->ThreadUnlock();
  return 0;
}

// ---- Quick Setup ----

namespace wf {

CString mainProgramString(UINT id) {
  CString text;
  const wf::ModuleHandle library = wf::loadModule("WFRESDLL.DLL");
  {
    wf::fw::ResourceHandleSwitch mainProgram(library);
    text.LoadString(id);
  }
  if (library) wf::freeModule(library);
  return text;
}

CString chooseQuickSetupFile(CWnd* owner, BOOL open, const CString& filter, const CString& title) {
  const DWORD flags =
      open ? (OFN_FILEMUSTEXIST | OFN_HIDEREADONLY) : (OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY);
  PanelFileDialog dialog(open, flags, filter, title, owner);
  if (dialog.DoModal() != IDOK) return CString();
  return dialog.GetPathName();
}

std::optional<LONG> verifyQuickSetupPath(CWFPrinterIcon* icon, const CString& path) {
  WFPrtObj* object = icon ? icon->GetPrinterObj() : nullptr;
  if (!object) return std::nullopt;
  LONG result = kQuickSetupMismatch;
  if (std::FILE* file = wf::openRegularStream(path.str(), O_RDONLY, "rb")) {
    result = object->verifyQuickSetupFile(file);
    std::fclose(file);
  }
  icon->ReleasePrinterObj();
  return result;
}

void sendQuickSetup(CWnd* page, CWFPrinterIcon* icon, const std::function<CString(UINT)>& text,
                    const std::function<CString(const CString&)>& refusedName) {
  const CString caption = text(43);
  if (MessageBox(page->GetSafeHwnd(), text(82).str().c_str(), caption.str().c_str(), MB_OKCANCEL) != IDOK)
    return;
  for (;;) {
    const CString path = chooseQuickSetupFile(page, TRUE, text(44), caption);
    if (path.IsEmpty()) return;
    // A file that cannot be read is refused like a wrong header.
    const std::optional<LONG> result = verifyQuickSetupPath(icon, path);
    if (!result) return;
    if (*result != kQuickSetupMismatch) {
      icon->DoQuickSetupSend(page, path);
      return;
    }
    // The name is an argument, never format text.
    CString message;
    message.Format(text(47).str().c_str(), refusedName(path).str().c_str());
    MessageBox(page->GetSafeHwnd(), message.str().c_str(), caption.str().c_str(), MB_OK);
  }
}

void endQuickSetup(LPARAM lParam) {
  if (auto* dialog = reinterpret_cast<CQuickDlg*>(lParam)) {
    dialog->DestroyWindow();
    delete dialog;
  }
}

}  // namespace wf

CString CPrtOOpPanel::ChooseFile(BOOL open) {
  return wf::chooseQuickSetupFile(this, open, pageString(m_pIcon, 44), pageString(m_pIcon, 43));
}

void CPrtOOpPanel::OnSaveSettings() {
  if (!m_pIcon) return;
  const CString path = ChooseFile(FALSE);
  if (!path.IsEmpty()) m_pIcon->DoQuickSetupReceive(this, path);
}

void CPrtOOpPanel::OnRestoreSettings() {
  if (!m_pIcon) return;
  // A refused file is named by its path.
  wf::sendQuickSetup(
      this, m_pIcon, [this](UINT id) { return pageString(m_pIcon, id); },
      [](const CString& path) { return path; });
}

LRESULT CPrtOOpPanel::OnQSDone(WPARAM, LPARAM lParam) {
  wf::endQuickSetup(lParam);
  return 0;
}
