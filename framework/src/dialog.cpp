#include "framework/dialog.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include <map>
#include <mutex>
#include <vector>

#include "framework/controls.h"
#include "framework/ddx.h"
#include "modal_loop.h"
#include "ui_answers.h"
#include "wnd_widget.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

struct CDialog::State {
  struct Item {
    wf::fw::res::DialogItem shape;  // as the template gave it, in pixels
    CString className, text;
    std::unique_ptr<CWnd> owned;  // null once a member took its place
    CWnd* wnd = nullptr;
  };
  std::vector<Item> items;
  bool modal = false;
  bool ended = false;
  int result = IDCANCEL;
  QEventLoop* loop = nullptr;
  UINT defId = 0;  // 0: the template's default button, else IDOK

  Item* find(int id) {
    for (Item& i : items)
      if (static_cast<int>(i.shape.id) == id) return &i;
    return nullptr;
  }
};

namespace {

// Esc and Enter as the original dialog manager treats them; the keys reach
// the dialog when the focused control has no use for them.
class DialogKeys : public QObject {
 public:
  DialogKeys(QObject* parent, CDialog* dialog) : QObject(parent), dialog_(dialog) {}
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(e)->key();
    if (key == Qt::Key_Escape) {
      dialog_->SendMessage(WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED), 0);
      return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      const WORD id = LOWORD(dialog_->GetDefID());
      CWnd* button = dialog_->GetDlgItem(id);
      if (button && !button->IsWindowEnabled()) return true;  // a disabled default does nothing
      dialog_->SendMessage(WM_COMMAND, MAKELONG(id, BN_CLICKED),
                           button ? static_cast<LPARAM>(button->m_hWnd) : 0);
      return true;
    }
    return false;
  }

 private:
  CDialog* dialog_;
};

std::mutex hookMutex;
std::map<UINT, wf::fw::DialogAction>& hooks() {
  static std::map<UINT, wf::fw::DialogAction> map;
  return map;
}

// The modal dialogs whose DoModal runs on this thread, innermost last.
thread_local std::vector<CDialog*> runningModals;
struct RunningModal {
  explicit RunningModal(CDialog* dialog) { runningModals.push_back(dialog); }
  ~RunningModal() { runningModals.pop_back(); }
  RunningModal(const RunningModal&) = delete;
  RunningModal& operator=(const RunningModal&) = delete;
};

wf::fw::DialogAction hookFor(UINT templateId) {
  std::lock_guard lock(hookMutex);
  auto it = hooks().find(templateId);
  return it == hooks().end() ? wf::fw::DialogAction{} : it->second;
}

}  // namespace

void wf::fw::setModalDialogHook(UINT templateId, DialogAction action) {
  std::lock_guard lock(hookMutex);
  if (action)
    hooks()[templateId] = std::move(action);
  else
    hooks().erase(templateId);
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog() : state_(std::make_unique<State>()) {}
CDialog::CDialog(UINT templateId, CWnd* parent) : CDialog() {
  m_nIDTemplate = templateId;
  m_nIDHelp = templateId;
  m_pParentWnd = parent;
}
CDialog::CDialog(LPCSTR templateName, CWnd* parent) : CDialog() {
  m_lpszTemplateName = templateName;
  m_pParentWnd = parent;
}
CDialog::~CDialog() {
  if (m_hWnd) DestroyWindow();
}

BOOL CDialog::createFromTemplate(CWnd* parent, bool modal) {
  using wf::fw::res::Dialog;
  const Dialog* tmpl =
      m_lpszTemplateName ? wf::fw::findDialog(m_lpszTemplateName) : wf::fw::findDialog(m_nIDTemplate);
  if (!tmpl) return FALSE;
  if (parent) m_pParentWnd = parent;
  state_->modal = modal;
  state_->ended = false;
  state_->items.clear();
  const DWORD style = tmpl->style & ~WS_VISIBLE;
  const DWORD exStyle = tmpl->exStyle | ((tmpl->style & DS_CONTEXTHELP) ? WS_EX_CONTEXTHELP : 0);
  if (!CreateEx(exStyle, "#32770", tmpl->caption, style, dialogUnitsToPixelsX(tmpl->x),
                dialogUnitsToPixelsY(tmpl->y), dialogUnitsToPixelsX(tmpl->cx), dialogUnitsToPixelsY(tmpl->cy),
                m_pParentWnd ? m_pParentWnd->m_hWnd : 0))
    return FALSE;
  for (UINT i = 0; i < tmpl->itemCount; ++i) {
    const auto& t = tmpl->items[i];
    State::Item item{t, t.className, t.text, AfxCreateControlObject(t.className), nullptr};
    item.shape.x = static_cast<short>(dialogUnitsToPixelsX(t.x));
    item.shape.y = static_cast<short>(dialogUnitsToPixelsY(t.y));
    item.shape.cx = static_cast<short>(dialogUnitsToPixelsX(t.cx));
    item.shape.cy = static_cast<short>(dialogUnitsToPixelsY(t.cy));
    item.wnd = item.owned.get();
    const auto& s = item.shape;
    if (!item.wnd->CreateEx(s.exStyle, item.className, item.text, s.style, s.x, s.y, s.cx, s.cy, m_hWnd,
                            s.id))
      return FALSE;
    state_->items.push_back(std::move(item));
  }
  if (QWidget* w = wf::fw::widgetOf(m_hWnd)) w->installEventFilter(new DialogKeys(w, this));
  return TRUE;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
  if (templateId) m_nIDTemplate = templateId;
  if (!createFromTemplate(parent, false)) return FALSE;
  if (!m_hWnd) return FALSE;
  const BOOL focusDefault = static_cast<BOOL>(SendMessage(WM_INITDIALOG, 0, 0));
  if (!m_hWnd) return FALSE;
  if (focusDefault) GotoDlgCtrl(nullptr);
  if (const auto* tmpl = wf::fw::findDialog(m_nIDTemplate); tmpl && (tmpl->style & WS_VISIBLE))
    ShowWindow(SW_SHOW);
  return TRUE;
}

INT_PTR CDialog::DoModal() {
  if (!createFromTemplate(m_pParentWnd, true)) {
    if (m_hWnd) DestroyWindow();
    return -1;
  }
  const BOOL focusDefault = static_cast<BOOL>(SendMessage(WM_INITDIALOG, 0, 0));
  {
    const RunningModal running(this);
    if (m_hWnd && !state_->ended && !m_lpszTemplateName) {
      auto action = hookFor(m_nIDTemplate);
      if (!action) action = wf::fw::scriptedAnswer(m_nIDTemplate);
      if (action) action(*this);
    }
    if (m_hWnd && !state_->ended) {
      wf::fw::showModal(*this);
      if (focusDefault) GotoDlgCtrl(nullptr);
      wf::fw::runUntilEnded(state_->ended, state_->loop, [this] { EndDialog(IDCANCEL); });
    }
  }
  const int result = state_->result;
  if (m_hWnd) DestroyWindow();
  return result;
}

void CDialog::EndDialog(int result) {
  state_->result = result;
  state_->ended = true;
  if (state_->loop) state_->loop->quit();
  if (!state_->modal) ShowWindow(SW_HIDE);
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() {
  EndDialog(IDCANCEL);
}

BOOL CDialog::UpdateData(BOOL save) {
  CDataExchange dx(this, save);
  DoDataExchange(&dx);
  return !dx.failed();
}

void CDialog::DoDataExchange(CDataExchange*) {}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_CLOSE:
      // Closing a dialog is its Cancel command.
      SendMessage(WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED), 0);
      return 0;
    case DM_GETDEFID:
      return GetDefID();
    case DM_SETDEFID:
      SetDefID(static_cast<UINT>(wParam));
      return TRUE;
    case WM_HELP:
      // The control's own id, whichever window the request started from.
      if (auto* info = reinterpret_cast<HELPINFO*>(lParam);
          info && info->iCtrlId == 0 && info->hItemHandle != m_hWnd)
        if (CWnd* control = FromHandlePermanent(info->hItemHandle)) info->iCtrlId = control->GetDlgCtrlID();
      break;
    default:
      break;
  }
  return CWnd::WindowProc(message, wParam, lParam);
}

void CDialog::CenterWindow(CWnd* alternateOwner) {
  QWidget* w = wf::fw::widgetOf(m_hWnd);
  if (!w) return;
  CWnd* owner = alternateOwner ? alternateOwner : m_pParentWnd;
  QWidget* ownerWidget = owner ? wf::fw::widgetOf(owner->m_hWnd) : nullptr;
  QRect area;
  if (ownerWidget) {
    area = QRect(ownerWidget->mapToGlobal(QPoint(0, 0)), ownerWidget->size());
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  }
  const QPoint topLeft = area.center() - QPoint(w->width() / 2, w->height() / 2);
  w->move(w->isWindow() ? topLeft : w->parentWidget()->mapFromGlobal(topLeft));
}

void CDialog::GotoDlgCtrl(CWnd* control) {
  if (!control) {
    // The first enabled control that takes the tab key.
    for (auto& item : state_->items)
      if ((item.shape.style & WS_TABSTOP) && item.wnd->IsWindowEnabled()) {
        control = item.wnd;
        break;
      }
  }
  if (control) control->SetFocus();
}

void CDialog::SetDefID(UINT id) {
  state_->defId = id;
}

DWORD CDialog::GetDefID() const {
  UINT id = state_->defId;
  for (const auto& item : state_->items)
    if (!id && item.className.CompareNoCase(WC_BUTTON) == 0 &&
        (item.shape.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
      id = item.shape.id;
  return MAKELONG(static_cast<WORD>(id ? id : IDOK), DC_HASDEFID);
}

void CDialog::SetDlgItemText(int id, LPCSTR text) {
  if (CWnd* w = GetDlgItem(id)) w->SetWindowText(text);
}

int CDialog::GetDlgItemText(int id, CString& text) const {
  text.Empty();
  if (CWnd* w = GetDlgItem(id)) w->GetWindowText(text);
  return text.GetLength();
}

void CDialog::SetDlgItemInt(int id, UINT value, BOOL isSigned) {
  CString text;
  if (isSigned)
    text.Format("%d", static_cast<int>(value));
  else
    text.Format("%u", value);
  SetDlgItemText(id, text);
}

UINT CDialog::GetDlgItemInt(int id, BOOL* translated, BOOL isSigned) const {
  CString text;
  GetDlgItemText(id, text);
  text.TrimLeft();
  text.TrimRight();
  bool ok = false;
  const QString q = QString::fromStdString(text.str());
  UINT value = isSigned ? static_cast<UINT>(q.toInt(&ok)) : q.toUInt(&ok);
  if (translated) *translated = ok;
  return ok ? value : 0;
}

void CDialog::CheckDlgButton(int id, UINT check) {
  if (auto* b = dynamic_cast<CButton*>(GetDlgItem(id))) b->SetCheck(static_cast<int>(check));
}

UINT CDialog::IsDlgButtonChecked(int id) const {
  auto* b = dynamic_cast<CButton*>(GetDlgItem(id));
  return b ? static_cast<UINT>(b->GetCheck()) : 0;
}

void CDialog::CheckRadioButton(int firstId, int lastId, int checkId) {
  for (int id = firstId; id <= lastId; ++id) CheckDlgButton(id, id == checkId ? BST_CHECKED : BST_UNCHECKED);
}

BOOL CDialog::SubclassDlgItem(UINT id, CWnd* control) {
  State::Item* item = state_->find(static_cast<int>(id));
  if (!item || !control) return FALSE;
  if (item->wnd == control) return TRUE;
  CString text;
  item->wnd->GetWindowText(text);
  QWidget* old = wf::fw::widgetOf(item->wnd->m_hWnd);
  QWidget* next = nullptr;
  if (old && old->parentWidget()) {
    const auto siblings = old->parentWidget()->findChildren<wf::fw::WndWidget*>(Qt::FindDirectChildrenOnly);
    const auto at = siblings.indexOf(static_cast<wf::fw::WndWidget*>(old));
    if (at >= 0 && at + 1 < siblings.size()) next = siblings[at + 1];
  }
  item->wnd->DestroyWindow();
  item->owned.reset();
  const auto& s = item->shape;
  if (!control->CreateEx(s.exStyle, item->className, text, s.style, s.x, s.y, s.cx, s.cy, m_hWnd, s.id))
    return FALSE;
  item->wnd = control;
  // Keep the template's order: radio groups and the tab order follow it.
  if (QWidget* made = wf::fw::widgetOf(control->m_hWnd); made && next) made->stackUnder(next);
  return TRUE;
}

CDialog* wf::fw::runningModalDialog() {
  return runningModals.empty() ? nullptr : runningModals.back();
}
