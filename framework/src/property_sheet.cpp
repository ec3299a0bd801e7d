#include "framework/property_sheet.h"

#include <QEventLoop>
#include <QSignalBlocker>
#include <QTabBar>

#include <algorithm>

#include "framework/control_styles.h"
#include "framework/controls.h"
#include "modal_loop.h"
#include "wnd_widget.h"

IMPLEMENT_DYNAMIC(CPropertyPage, CDialog)
IMPLEMENT_DYNAMIC(CPropertySheet, CWnd)

namespace {

constexpr int kMargin = 7;
const int kButtonWidth = dialogUnitsToPixelsX(50);
const int kButtonHeight = dialogUnitsToPixelsY(14);
const int kButtonGap = dialogUnitsToPixelsX(4);

const wf::fw::res::Dialog* templateOf(const CPropertyPage* page) {
  return page->m_lpszTemplateName ? wf::fw::findDialog(page->m_lpszTemplateName)
                                  : wf::fw::findDialog(page->m_nIDTemplate);
}

}  // namespace

// ---- CPropertyPage ----

CPropertyPage::CPropertyPage(UINT templateId, UINT captionId) : CDialog(templateId), captionId_(captionId) {}

BOOL CPropertyPage::OnSetActive() {
  // The first activation follows OnInitDialog, which has shown the members.
  if (std::exchange(activatedBefore_, true)) UpdateData(FALSE);
  return TRUE;
}

BOOL CPropertyPage::OnKillActive() {
  return UpdateData(TRUE);
}

BOOL CPropertyPage::OnApply() {
  OnOK();
  return TRUE;
}

void CPropertyPage::OnOK() {}
void CPropertyPage::OnCancel() {}

void CPropertyPage::SetModified(BOOL changed) {
  modified_ = changed;
  if (sheet_) sheet_->updateApplyButton();
}

CString CPropertyPage::GetCaption() const {
  CString caption;
  if (captionId_ && caption.LoadString(captionId_)) return caption;
  if (const auto* tmpl = templateOf(this); tmpl && tmpl->caption) caption = tmpl->caption;
  return caption;
}

BOOL CPropertyPage::PreCreateWindow(CREATESTRUCT& cs) {
  // Whatever the template says, a page is a borderless child of its sheet.
  cs.style = (cs.style & ~(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_MODALFRAME)) | WS_CHILD;
  cs.dwExStyle &= ~(WS_EX_DLGMODALFRAME | WS_EX_CONTEXTHELP);
  return CDialog::PreCreateWindow(cs);
}

LRESULT CPropertyPage::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  // Enter, Esc and closing are the sheet's OK and Cancel, not the page's end.
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    if (sheet_ && sheet_->m_hWnd) sheet_->SendMessage(WM_COMMAND, wParam, 0);
    return 0;
  }
  return CDialog::WindowProc(message, wParam, lParam);
}

// ---- CPropertySheet ----

struct CPropertySheet::State {
  bool modal = false;
  bool ended = false;
  int result = IDCANCEL;
  QEventLoop* loop = nullptr;
  QTabBar* tabs = nullptr;  // inside the sheet's widget, which deletes it
  CRect pageArea;
  std::vector<std::unique_ptr<CButton>> buttons;
};

BEGIN_MESSAGE_MAP(CPropertySheet, CWnd)
ON_WM_CREATE()
END_MESSAGE_MAP()

CPropertySheet::CPropertySheet() : state_(std::make_unique<State>()) {}

CPropertySheet::CPropertySheet(UINT captionId, CWnd* parent, UINT selectPage) : CPropertySheet() {
  m_strCaption.LoadString(captionId);
  m_pParentWnd = parent;
  active_ = static_cast<int>(selectPage);
}

CPropertySheet::CPropertySheet(LPCSTR caption, CWnd* parent, UINT selectPage) : CPropertySheet() {
  m_strCaption = caption ? caption : "";
  m_pParentWnd = parent;
  active_ = static_cast<int>(selectPage);
}

CPropertySheet::~CPropertySheet() {
  if (m_hWnd) DestroyWindow();
  for (CPropertyPage* page : pages_)
    if (page->sheet_ == this) page->sheet_ = nullptr;
}

void CPropertySheet::AddPage(CPropertyPage* page) {
  if (!page) return;
  page->sheet_ = this;
  pages_.push_back(page);
  if (state_->tabs) state_->tabs->addTab(QString::fromStdString(page->GetCaption().str()));
}

void CPropertySheet::RemovePage(int index) {
  CPropertyPage* page = GetPage(index);
  if (!page) return;
  const bool wasActive = index == active_;
  if (page->m_hWnd) page->DestroyWindow();
  if (page->sheet_ == this) page->sheet_ = nullptr;
  pages_.erase(pages_.begin() + index);
  if (state_->tabs) {
    const QSignalBlocker quiet(state_->tabs);
    state_->tabs->removeTab(index);
  }
  if (index < active_ || active_ >= GetPageCount()) active_ = std::max(0, active_ - 1);
  if (wasActive && m_hWnd && !pages_.empty()) showPage(active_);
}

CPropertyPage* CPropertySheet::GetPage(int index) const {
  return index >= 0 && index < GetPageCount() ? pages_[static_cast<std::size_t>(index)] : nullptr;
}

int CPropertySheet::GetPageIndex(const CPropertyPage* page) const {
  const auto at = std::find(pages_.begin(), pages_.end(), page);
  return at == pages_.end() ? -1 : static_cast<int>(at - pages_.begin());
}

int CPropertySheet::GetBottomMargin() const {
  return state_->modal ? kMargin + kButtonHeight + kMargin : kMargin;
}

bool CPropertySheet::buildWindow(CWnd* parent, DWORD style, DWORD exStyle, bool modal) {
  if (pages_.empty()) return false;
  // The page area fits the largest page, so switching never resizes the sheet.
  int width = 0, height = 0;
  for (CPropertyPage* page : pages_) {
    const auto* tmpl = templateOf(page);
    if (!tmpl) return false;
    width = std::max(width, dialogUnitsToPixelsX(tmpl->cx));
    height = std::max(height, dialogUnitsToPixelsY(tmpl->cy));
    page->modified_ = FALSE;
  }
  state_->modal = modal;
  state_->ended = false;
  state_->result = IDCANCEL;
  state_->pageArea =
      CRect(kMargin, kMargin, kMargin + width, kMargin + height);  // moved below the tabs on creation
  if (active_ < 0 || active_ >= GetPageCount()) active_ = 0;
  if (parent) m_pParentWnd = parent;
  const int tabHeight = QTabBar().sizeHint().height();
  return CreateEx(exStyle, "#32770", m_strCaption, style, 0, 0, width + 2 * kMargin,
                  kMargin + tabHeight + height + GetBottomMargin(),
                  m_pParentWnd ? m_pParentWnd->m_hWnd : 0) != FALSE;
}

int CPropertySheet::OnCreate(LPCREATESTRUCT cs) {
  if (CWnd::OnCreate(cs) == -1) return -1;
  QWidget* frame = wf::fw::widgetOf(m_hWnd);
  if (!frame) return -1;
  auto* tabs = new QTabBar(frame);
  state_->tabs = tabs;
  for (CPropertyPage* page : pages_) tabs->addTab(QString::fromStdString(page->GetCaption().str()));
  const int tabHeight = tabs->sizeHint().height();
  tabs->setGeometry(kMargin, kMargin, state_->pageArea.Width(), tabHeight);
  state_->pageArea.OffsetRect(0, tabHeight);
  QObject::connect(tabs, &QTabBar::currentChanged, [this](int index) {
    // The user's pick; a page that refuses to let go keeps its tab.
    if (index != active_ && !SetActivePage(index)) {
      const QSignalBlocker quiet(state_->tabs);
      state_->tabs->setCurrentIndex(active_);
    }
  });
  if (state_->modal) {
    struct Button {
      int id;
      const char* text;
    };
    const Button row[] = {{IDOK, "OK"}, {IDCANCEL, "Cancel"}, {ID_APPLY_NOW, "&Apply"}, {IDHELP, "Help"}};
    int x =
        state_->pageArea.right - static_cast<int>(std::size(row)) * (kButtonWidth + kButtonGap) + kButtonGap;
    const int y = state_->pageArea.bottom + kMargin;
    state_->buttons.clear();
    for (const Button& b : row) {
      auto button = std::make_unique<CButton>();
      const DWORD style =
          WS_CHILD | WS_VISIBLE | WS_TABSTOP | (b.id == IDOK ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
      if (!button->CreateEx(0, WC_BUTTON, b.text, style, x, y, kButtonWidth, kButtonHeight, m_hWnd,
                            static_cast<UINT>(b.id)))
        return -1;
      x += kButtonWidth + kButtonGap;
      state_->buttons.push_back(std::move(button));
    }
    updateApplyButton();
  }
  return showPage(active_) ? 0 : -1;
}

bool CPropertySheet::showPage(int index) {
  CPropertyPage* page = GetPage(index);
  if (!page) return false;
  if (!page->m_hWnd) {
    page->activatedBefore_ = false;
    if (!page->Create(0, this)) return false;
    page->MoveWindow(&state_->pageArea, FALSE);
  }
  if (CPropertyPage* previous = GetPage(active_); previous && previous != page && previous->m_hWnd)
    previous->ShowWindow(SW_HIDE);
  active_ = index;
  if (state_->tabs) {
    const QSignalBlocker quiet(state_->tabs);
    state_->tabs->setCurrentIndex(index);
  }
  page->ShowWindow(SW_SHOW);
  page->OnSetActive();
  return true;
}

bool CPropertySheet::leaveActivePage() {
  CPropertyPage* page = GetActivePage();
  return !page || !page->m_hWnd || page->OnKillActive();
}

BOOL CPropertySheet::SetActivePage(int index) {
  if (!GetPage(index)) return FALSE;
  if (!m_hWnd) {
    active_ = index;
    return TRUE;
  }
  if (index == active_) return TRUE;
  if (!leaveActivePage()) return FALSE;
  return showPage(index);
}

bool CPropertySheet::applyPages() {
  for (int i = 0; i < GetPageCount(); ++i) {
    CPropertyPage* page = pages_[static_cast<std::size_t>(i)];
    if (!page->m_hWnd) continue;
    if (!page->OnApply()) {
      if (i != active_) showPage(i);
      return false;
    }
  }
  for (CPropertyPage* page : pages_) page->modified_ = FALSE;
  updateApplyButton();
  return true;
}

void CPropertySheet::cancelPages() {
  for (CPropertyPage* page : pages_)
    if (page->m_hWnd) page->OnCancel();
}

void CPropertySheet::updateApplyButton() {
  if (!m_hWnd) return;
  const bool any =
      std::any_of(pages_.begin(), pages_.end(), [](const CPropertyPage* p) { return p->modified_; });
  if (CWnd* apply = GetDlgItem(ID_APPLY_NOW)) apply->EnableWindow(any);
}

INT_PTR CPropertySheet::DoModal() {
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  if (!buildWindow(m_pParentWnd, style, 0, true)) {
    if (m_hWnd) DestroyWindow();
    return -1;
  }
  if (!state_->ended) {
    wf::fw::showModal(*this);
    wf::fw::runUntilEnded(state_->ended, state_->loop, [this] { EndDialog(IDCANCEL); });
  }
  const int result = state_->result;
  if (m_hWnd) DestroyWindow();
  return result;
}

BOOL CPropertySheet::Create(CWnd* parent, DWORD style, DWORD exStyle) {
  if (style == static_cast<DWORD>(-1))
    style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE;
  if (buildWindow(parent, style, exStyle, false)) return TRUE;
  if (m_hWnd) DestroyWindow();
  return FALSE;
}

void CPropertySheet::EndDialog(int result) {
  state_->result = result;
  state_->ended = true;
  if (state_->loop) state_->loop->quit();
}

LRESULT CPropertySheet::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && state_->modal) {
    const UINT id = LOWORD(wParam);
    if ((id == IDOK || id == ID_APPLY_NOW || id == IDCANCEL) && OnCmdMsg(id, CN_COMMAND, nullptr, nullptr))
      return 0;
    switch (LOWORD(wParam)) {
      case IDOK:
        if (leaveActivePage() && applyPages()) EndDialog(IDOK);
        return 0;
      case ID_APPLY_NOW:
        if (leaveActivePage()) applyPages();
        return 0;
      case IDCANCEL:
        cancelPages();
        EndDialog(IDCANCEL);
        return 0;
      case IDHELP:
        if (CPropertyPage* page = GetActivePage(); page && page->m_hWnd)
          page->SendMessage(WM_COMMAND, IDHELP, 0);
        return 0;
      default:
        break;
    }
  }
  if (message == WM_DESTROY) state_->tabs = nullptr;  // goes with the sheet's widget
  if (message == WM_CLOSE && state_->modal) {
    SendMessage(WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED), 0);
    return 0;
  }
  return CWnd::WindowProc(message, wParam, lParam);
}
