#include "framework/controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QToolButton>

#include <fnmatch.h>
#include <strings.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <type_traits>

#include "framework/list_ctrl.h"
#include "framework/tree_ctrl.h"
#include "gdi_data.h"
#include "platform/paths.h"
#include "wnd_widget.h"

IMPLEMENT_DYNAMIC(CControlWnd, CWnd)
IMPLEMENT_DYNAMIC(CStatic, CControlWnd)
IMPLEMENT_DYNAMIC(CButton, CControlWnd)
IMPLEMENT_DYNAMIC(CEdit, CControlWnd)
IMPLEMENT_DYNAMIC(CListControlBase, CControlWnd)
IMPLEMENT_DYNAMIC(CListBox, CListControlBase)
IMPLEMENT_DYNAMIC(CComboBox, CListControlBase)
IMPLEMENT_DYNAMIC(CProgressCtrl, CControlWnd)
IMPLEMENT_DYNAMIC(CSpinButtonCtrl, CControlWnd)
IMPLEMENT_DYNAMIC(CScrollBar, CControlWnd)

namespace wf::fw {

struct ControlState {
  QWidget* widget = nullptr;  // inside the window's own widget, which deletes it
  QObject* watcher = nullptr;
};

namespace {

QString controlQs(const CString& s) {
  return QString::fromStdString(s.str());
}

// The window text is the control's text: CWnd::SetWindowText retitles the
// window's widget, and that retitling is the control's cue to show it.
class TitleWatcher : public QObject {
 public:
  TitleWatcher(QObject* parent, std::function<void()> changed)
      : QObject(parent), changed_(std::move(changed)) {}
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::WindowTitleChange) changed_();
    return false;
  }

 private:
  std::function<void()> changed_;
};

template <class W>
W* host(CControlWnd* control, W* widget) {
  QWidget* frame = widgetOf(control->m_hWnd);
  auto* layout = new QHBoxLayout(frame);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(widget);
  frame->setFocusProxy(widget);
  // Right clicks reach the window, which passes WM_CONTEXTMENU to the dialog.
  widget->setContextMenuPolicy(Qt::NoContextMenu);
  control->state_->widget = widget;
  return widget;
}

template <class W>
W* widgetAs(const CControlWnd* control) {
  return control->state_ ? qobject_cast<W*>(control->state_->widget) : nullptr;
}

}  // namespace
}  // namespace wf::fw

using wf::fw::host;
using wf::fw::controlQs;
using wf::fw::widgetAs;

// ---- CControlWnd ----

CControlWnd::CControlWnd() : state_(std::make_unique<wf::fw::ControlState>()) {}
CControlWnd::~CControlWnd() = default;

BOOL CControlWnd::CreateEx(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                           int width, int height, HWND parent, UINT id, LPVOID param) {
  style_ = style;
  if (!CWnd::CreateEx(exStyle, className, windowName, style, x, y, width, height, parent, id, param))
    return FALSE;
  if (QWidget* frame = wf::fw::widgetOf(m_hWnd)) {
    buildWidget();
    state_->watcher = new wf::fw::TitleWatcher(frame, [this] { textChanged(); });
    frame->installEventFilter(state_->watcher);
    if (style & WS_DISABLED) frame->setEnabled(false);
  }
  return TRUE;
}

BOOL CControlWnd::ModifyStyle(DWORD remove, DWORD add, UINT) {
  const DWORD old = style_;
  style_ = (style_ & ~remove) | add;
  if (style_ == old) return FALSE;
  styleChanged(old);
  return TRUE;
}

void CControlWnd::notifyParent(UINT code) {
  if (CWnd* parent = GetParent())
    parent->SendMessage(WM_COMMAND, MAKELONG(static_cast<WORD>(GetDlgCtrlID()), static_cast<WORD>(code)),
                        static_cast<LPARAM>(m_hWnd));
}

// ---- CStatic ----

namespace {

// "#104" is resource 104, any other text a resource name.
wf::fw::ResourceId pictureId(const CString& text) {
  const std::string& s = text.str();
  if (s.size() > 1 && s[0] == '#' && s.find_first_not_of("0123456789", 1) == std::string::npos)
    return wf::fw::ResourceId(static_cast<UINT>(std::stoul(s.substr(1))));
  return wf::fw::ResourceId(s.c_str());
}

}  // namespace

CStatic::~CStatic() {
  if (loadedIcon_) DestroyIcon(loadedIcon_);
}

bool CStatic::showsPicture() const {
  const DWORD type = GetStyle() & SS_TYPEMASK;
  return type == SS_ICON || type == SS_BITMAP;
}

void CStatic::buildWidget() {
  CString text;
  GetWindowText(text);
  auto* label = host(this, new QLabel);
  const DWORD type = GetStyle() & SS_TYPEMASK;
  if (type == SS_ICON && !text.IsEmpty()) {
    loadedIcon_ = LoadIcon(nullptr, pictureId(text));
    icon_ = loadedIcon_;
  } else if (type == SS_BITMAP && !text.IsEmpty() && loadedBitmap_.LoadBitmap(pictureId(text))) {
    bitmap_ = loadedBitmap_.GetSafeHandle();
  }
  if (showsPicture()) {
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    showPicture();
    return;
  }
  label->setText(controlQs(text));
  label->setAlignment(type == SS_CENTER  ? Qt::AlignHCenter
                      : type == SS_RIGHT ? Qt::AlignRight
                                         : Qt::AlignLeft);
}

void CStatic::textChanged() {
  if (showsPicture()) return;
  CString text;
  GetWindowText(text);
  if (auto* label = widgetAs<QLabel>(this)) label->setText(controlQs(text));
}

void CStatic::showPicture() {
  auto* label = widgetAs<QLabel>(this);
  if (!label || !showsPicture()) return;
  QImage picture;
  if ((GetStyle() & SS_TYPEMASK) == SS_ICON) {
    picture = wf::fw::iconImage(icon_);
  } else if (auto data = wf::fw::gdiData(bitmap_); data && data->kind == wf::fw::GdiData::Kind::Bitmap) {
    picture = data->image;
  }
  if (picture.isNull())
    label->clear();
  else
    label->setPixmap(QPixmap::fromImage(picture));
}

LRESULT CStatic::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  auto swap = [this](auto& slot, WPARAM picture) {
    auto previous = std::exchange(slot, reinterpret_cast<std::remove_reference_t<decltype(slot)>>(picture));
    showPicture();
    return reinterpret_cast<LRESULT>(previous);
  };
  switch (message) {
    case STM_SETICON:
      return swap(icon_, wParam);
    case STM_GETICON:
      return reinterpret_cast<LRESULT>(icon_);
    case STM_SETIMAGE:
      if (wParam == IMAGE_ICON) return swap(icon_, static_cast<WPARAM>(lParam));
      if (wParam == IMAGE_BITMAP) return swap(bitmap_, static_cast<WPARAM>(lParam));
      return 0;
    case STM_GETIMAGE:
      return wParam == IMAGE_ICON     ? reinterpret_cast<LRESULT>(icon_)
             : wParam == IMAGE_BITMAP ? reinterpret_cast<LRESULT>(bitmap_)
                                      : 0;
    default:
      return CControlWnd::WindowProc(message, wParam, lParam);
  }
}

HICON CStatic::SetIcon(HICON icon) {
  return reinterpret_cast<HICON>(SendMessage(STM_SETICON, reinterpret_cast<WPARAM>(icon)));
}
HICON CStatic::GetIcon() const {
  return reinterpret_cast<HICON>(SendMessage(STM_GETICON));
}
HBITMAP CStatic::SetBitmap(HBITMAP bitmap) {
  return reinterpret_cast<HBITMAP>(SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
}
HBITMAP CStatic::GetBitmap() const {
  return reinterpret_cast<HBITMAP>(SendMessage(STM_GETIMAGE, IMAGE_BITMAP));
}

// ---- CButton ----

void CButton::buildWidget() {
  CString text;
  GetWindowText(text);
  QWidget* w;
  switch (GetButtonStyle()) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE: {
      auto* box = new QCheckBox(controlQs(text));
      box->setTristate(GetButtonStyle() == BS_3STATE || GetButtonStyle() == BS_AUTO3STATE);
      w = box;
      break;
    }
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON: {
      auto* radio = new QRadioButton(controlQs(text));
      radio->setAutoExclusive(false);  // groups follow WS_GROUP, as the original's
      w = radio;
      break;
    }
    case BS_GROUPBOX:
      w = new QGroupBox(controlQs(text));
      break;
    default:
      w = new QPushButton(controlQs(text));
      break;
  }
  host(this, w);
  if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    // The widget's own toggling is replaced by Click's, which knows the groups.
    button->setCheckable(false);
    QObject::connect(button, &QAbstractButton::clicked, [this] { Click(); });
  }
}

void CButton::textChanged() {
  CString text;
  GetWindowText(text);
  if (auto* button = widgetAs<QAbstractButton>(this)) button->setText(controlQs(text));
  if (auto* group = widgetAs<QGroupBox>(this)) group->setTitle(controlQs(text));
}

void CButton::showCheck() {
  if (auto* box = widgetAs<QCheckBox>(this)) {
    box->setCheckable(true);
    box->setCheckState(check_ == BST_CHECKED         ? Qt::Checked
                       : check_ == BST_INDETERMINATE ? Qt::PartiallyChecked
                                                     : Qt::Unchecked);
  } else if (auto* radio = widgetAs<QRadioButton>(this)) {
    radio->setCheckable(true);
    radio->setChecked(check_ == BST_CHECKED);
  }
}

void CButton::SetCheck(int check) {
  check_ = check;
  showCheck();
}

void CButton::Click() {
  if (!IsWindowEnabled()) return;
  switch (GetButtonStyle()) {
    case BS_AUTOCHECKBOX:
      SetCheck(check_ == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
      break;
    case BS_AUTO3STATE:
      SetCheck((check_ + 1) % 3);
      break;
    case BS_AUTORADIOBUTTON: {
      // The group: from the nearest WS_GROUP control at or before this one to the next.
      QWidget* frame = wf::fw::widgetOf(m_hWnd);
      QWidget* parent = frame ? frame->parentWidget() : nullptr;
      if (parent) {
        std::vector<CButton*> group;
        bool mine = false;
        for (auto* sibling : parent->findChildren<wf::fw::WndWidget*>(Qt::FindDirectChildrenOnly)) {
          auto* control = dynamic_cast<CControlWnd*>(CWnd::FromHandlePermanent(sibling->hwnd()));
          if (!control) continue;
          if (control->GetStyle() & WS_GROUP) {
            if (mine) break;
            group.clear();
          }
          if (control == this) mine = true;
          if (auto* b = dynamic_cast<CButton*>(control); b && b->GetButtonStyle() == BS_AUTORADIOBUTTON)
            group.push_back(b);
        }
        for (CButton* b : group) b->SetCheck(b == this ? BST_CHECKED : BST_UNCHECKED);
      } else {
        SetCheck(BST_CHECKED);
      }
      break;
    }
    default:
      break;
  }
  notifyParent(BN_CLICKED);
}

// ---- CEdit ----

void CEdit::buildWidget() {
  CString text;
  GetWindowText(text);
  auto* line = host(this, new QLineEdit(controlQs(text)));
  const DWORD style = GetStyle();
  if (style & ES_PASSWORD) line->setEchoMode(QLineEdit::Password);
  if (style & ES_READONLY) line->setReadOnly(true);
  if (style & ES_RIGHT) line->setAlignment(Qt::AlignRight);
  QObject::connect(line, &QLineEdit::textEdited, [this](const QString& typed) {
    // Undo the widget's own change; TypeText applies the style's rules.
    CString current;
    GetWindowText(current);
    if (auto* w = widgetAs<QLineEdit>(this)) w->setText(controlQs(current));
    TypeText(typed.toStdString().c_str());
  });
}

void CEdit::LimitText(int maxChars) {
  limit_ = maxChars > 0 ? static_cast<UINT>(maxChars) : 0;
}

void CEdit::TypeText(LPCSTR typed) {
  if (GetStyle() & ES_READONLY) return;
  QString text = QString::fromUtf8(typed);
  const DWORD style = GetStyle();
  if (style & ES_NUMBER) text.remove(QRegularExpression("[^0-9]"));
  if (style & ES_UPPERCASE) text = text.toUpper();
  if (style & ES_LOWERCASE) text = text.toLower();
  if (limit_ && static_cast<UINT>(text.size()) > limit_) text.truncate(static_cast<int>(limit_));
  SetWindowText(text.toStdString().c_str());
}

void CEdit::SetSel(int start, int end, BOOL) {
  CString text;
  GetWindowText(text);
  const int length = text.GetLength();
  if (end < 0 || end > length) end = length;
  if (start < 0) start = end;
  selStart_ = std::min(start, end);
  selEnd_ = std::max(start, end);
  showSel();
}

void CEdit::GetSel(int& start, int& end) const {
  start = selStart_;
  end = selEnd_;
}

void CEdit::showSel() {
  auto* line = widgetAs<QLineEdit>(this);
  if (!line) return;
  if (selStart_ == selEnd_)
    line->setCursorPosition(selEnd_);
  else
    line->setSelection(selStart_, selEnd_ - selStart_);
}

void CEdit::textChanged() {
  CString text;
  GetWindowText(text);
  auto* line = widgetAs<QLineEdit>(this);
  if (!line || line->text() == controlQs(text)) return;  // the same text again: no change to tell
  line->setText(controlQs(text));
  notifyParent(EN_UPDATE);
  notifyParent(EN_CHANGE);
}

// ---- List and combo boxes ----

int CListControlBase::GetCount() const {
  return static_cast<int>(items_.size());
}

int CListControlBase::AddString(LPCSTR text) {
  int index = GetCount();
  if (sorted()) {
    auto at = std::find_if(items_.begin(), items_.end(),
                           [&](const Item& i) { return i.text.CompareNoCase(text) > 0; });
    index = static_cast<int>(at - items_.begin());
  }
  return InsertString(index, text);
}

int CListControlBase::InsertString(int index, LPCSTR text) {
  if (index < 0 || index > GetCount()) index = GetCount();
  items_.insert(items_.begin() + index, Item{CString(text), 0});
  if (selection_ >= index) ++selection_;
  rebuild();
  return index;
}

int CListControlBase::DeleteString(UINT index) {
  if (index >= items_.size()) return LB_ERR;
  items_.erase(items_.begin() + index);
  if (selection_ == static_cast<int>(index))
    selection_ = -1;
  else if (selection_ > static_cast<int>(index))
    --selection_;
  rebuild();
  return GetCount();
}

void CListControlBase::ResetContent() {
  items_.clear();
  selection_ = -1;
  rebuild();
}

int CListControlBase::SetCurSel(int index) {
  if (index < -1 || index >= GetCount()) {
    selection_ = -1;
    rebuild();
    return LB_ERR;
  }
  selection_ = index;
  rebuild();
  return index;
}

int CListControlBase::GetText(int index, CString& text) const {
  if (index < 0 || index >= GetCount()) return LB_ERR;
  text = items_[static_cast<std::size_t>(index)].text;
  return text.GetLength();
}

int CListControlBase::FindStringExact(int startAfter, LPCSTR text) const {
  const int n = GetCount();
  for (int k = 1; k <= n; ++k) {
    const int i = (startAfter + k + n) % n;
    if (items_[static_cast<std::size_t>(i)].text.CompareNoCase(text) == 0) return i;
  }
  return LB_ERR;
}

int CListControlBase::SelectString(int startAfter, LPCSTR text) {
  const QString prefix = QString::fromUtf8(text);
  const int n = GetCount();
  for (int k = 1; k <= n; ++k) {
    const int i = (startAfter + k + n) % n;
    if (controlQs(items_[static_cast<std::size_t>(i)].text).startsWith(prefix, Qt::CaseInsensitive))
      return SetCurSel(i);
  }
  return LB_ERR;
}

DWORD_PTR CListControlBase::GetItemData(int index) const {
  if (index < 0 || index >= GetCount()) return static_cast<DWORD_PTR>(LB_ERR);
  return items_[static_cast<std::size_t>(index)].data;
}

int CListControlBase::SetItemData(int index, DWORD_PTR data) {
  if (index < 0 || index >= GetCount()) return LB_ERR;
  items_[static_cast<std::size_t>(index)].data = data;
  return 0;
}

void CListControlBase::UserSelect(int index) {
  if (index < 0 || index >= GetCount() || !IsWindowEnabled()) return;
  const bool changed = index != selection_;
  SetCurSel(index);
  if (auto* combo = dynamic_cast<CComboBox*>(this))
    combo->SetWindowText(items_[static_cast<std::size_t>(index)].text);
  if (changed && (!dynamic_cast<CListBox*>(this) || (GetStyle() & LBS_NOTIFY)))
    notifyParent(selectionChangeCode());
  if (dynamic_cast<CComboBox*>(this)) notifyParent(CBN_SELENDOK);
}

// Shows the items and the selection; program changes never notify.
void CListControlBase::rebuild() {
  if (auto* list = widgetAs<QListWidget>(this)) {
    QSignalBlocker quiet(list);
    list->clear();
    for (const Item& i : items_) list->addItem(controlQs(i.text));
    list->setCurrentRow(selection_);
    if (list->selectionMode() == QAbstractItemView::ExtendedSelection)
      for (std::size_t row = 0; row < items_.size(); ++row)
        list->item(static_cast<int>(row))->setSelected(items_[row].selected);
  } else if (auto* combo = widgetAs<QComboBox>(this)) {
    QSignalBlocker quiet(combo);
    const QString edited = combo->isEditable() ? combo->currentText() : QString();
    combo->clear();
    for (const Item& i : items_) combo->addItem(controlQs(i.text));
    combo->setCurrentIndex(selection_);
    if (combo->isEditable() && selection_ < 0) combo->setEditText(edited);
  }
}

void CListBox::buildWidget() {
  auto* list = host(this, new QListWidget);
  if (multiple()) {
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QObject::connect(list, &QListWidget::itemSelectionChanged, [this, list] {
      for (std::size_t row = 0; row < items_.size(); ++row)
        if (QListWidgetItem* item = list->item(static_cast<int>(row)))
          items_[row].selected = item->isSelected();
      if (GetStyle() & LBS_NOTIFY) notifyParent(LBN_SELCHANGE);
    });
  } else {
    QObject::connect(list, &QListWidget::currentRowChanged, [this](int row) { UserSelect(row); });
  }
  rebuild();
}

int CListBox::SetSel(int index, BOOL select) {
  if (!multiple() || index < -1 || index >= GetCount()) return LB_ERR;
  for (int row = 0; row < GetCount(); ++row)
    if (index == -1 || row == index) items_[static_cast<std::size_t>(row)].selected = select != FALSE;
  rebuild();
  return 0;
}

int CListBox::GetSel(int index) const {
  if (index < 0 || index >= GetCount()) return LB_ERR;
  return multiple() ? items_[static_cast<std::size_t>(index)].selected : index == selection_;
}

int CListBox::GetSelCount() const {
  if (!multiple()) return LB_ERR;
  return static_cast<int>(
      std::count_if(items_.begin(), items_.end(), [](const Item& i) { return i.selected; }));
}

int CListBox::GetSelItems(int maxItems, int* items) const {
  if (!multiple()) return LB_ERR;
  int n = 0;
  for (int row = 0; row < GetCount() && n < maxItems; ++row)
    if (items_[static_cast<std::size_t>(row)].selected) items[n++] = row;
  return n;
}

void CListBox::SetHorizontalExtent(int extent) {
  extent_ = std::max(extent, 0);
}

void CComboBox::buildWidget() {
  auto* combo = host(this, new QComboBox);
  const DWORD type = GetStyle() & 0x3;
  combo->setEditable(type == CBS_DROPDOWN || type == CBS_SIMPLE);
  QObject::connect(combo, &QComboBox::activated, [this](int row) { UserSelect(row); });
  if (combo->isEditable())
    QObject::connect(combo->lineEdit(), &QLineEdit::textEdited,
                     [this](const QString& typed) { SetWindowText(typed.toStdString().c_str()); });
  rebuild();
}

void CComboBox::textChanged() {
  CString text;
  GetWindowText(text);
  auto* combo = widgetAs<QComboBox>(this);
  if (combo && combo->isEditable() && combo->currentText() != controlQs(text)) {
    QSignalBlocker quiet(combo);
    combo->setEditText(controlQs(text));
  }
}

// ---- Progress bar ----

void CProgressCtrl::buildWidget() {
  auto* bar = host(this, new QProgressBar);
  bar->setTextVisible(false);
  show();
}

void CProgressCtrl::show() {
  if (auto* bar = widgetAs<QProgressBar>(this)) {
    bar->setRange(lower_, upper_);
    bar->setValue(pos_);
  }
}

void CProgressCtrl::SetRange(short lower, short upper) {
  lower_ = lower;
  upper_ = upper;
  pos_ = std::clamp(pos_, std::min(lower_, upper_), std::max(lower_, upper_));
  show();
}

void CProgressCtrl::GetRange(int& lower, int& upper) const {
  lower = lower_;
  upper = upper_;
}

int CProgressCtrl::SetPos(int pos) {
  const int previous = pos_;
  pos_ = std::clamp(pos, std::min(lower_, upper_), std::max(lower_, upper_));
  show();
  return previous;
}

int CProgressCtrl::OffsetPos(int delta) {
  return SetPos(pos_ + delta);
}

int CProgressCtrl::SetStep(int step) {
  return std::exchange(step_, step);
}

int CProgressCtrl::StepIt() {
  const int previous = pos_;
  int next = pos_ + step_;
  if (next > upper_)
    next = lower_ + (next - upper_);
  else if (next < lower_)
    next = upper_ - (lower_ - next);
  pos_ = std::clamp(next, std::min(lower_, upper_), std::max(lower_, upper_));
  show();
  return previous;
}

// ---- Up-down ----

void CSpinButtonCtrl::buildWidget() {
  auto* pair = new QWidget;
  auto* layout = new QHBoxLayout(pair);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* up = new QToolButton;
  up->setArrowType(Qt::UpArrow);
  auto* down = new QToolButton;
  down->setArrowType(Qt::DownArrow);
  layout->addWidget(up);
  layout->addWidget(down);
  QObject::connect(up, &QToolButton::clicked, [this] { Spin(1); });
  QObject::connect(down, &QToolButton::clicked, [this] { Spin(-1); });
  host(this, pair);
  if (GetStyle() & UDS_AUTOBUDDY) {
    // The buddy is the control made just before this one.
    QWidget* frame = wf::fw::widgetOf(m_hWnd);
    CWnd* previous = nullptr;
    for (auto* sibling :
         frame->parentWidget()->findChildren<wf::fw::WndWidget*>(Qt::FindDirectChildrenOnly)) {
      if (sibling == frame) break;
      previous = CWnd::FromHandlePermanent(sibling->hwnd());
    }
    if (previous) SetBuddy(previous);
  }
}

void CSpinButtonCtrl::SetRange(short lower, short upper) {
  lower_ = lower;
  upper_ = upper;
}

void CSpinButtonCtrl::GetRange(int& lower, int& upper) const {
  lower = lower_;
  upper = upper_;
}

int CSpinButtonCtrl::SetPos(int pos) {
  const int previous = pos_;
  pos_ = std::clamp(pos, std::min(lower_, upper_), std::max(lower_, upper_));
  showInBuddy();
  return previous;
}

int CSpinButtonCtrl::GetPos() const {
  if (CWnd* buddy = GetBuddy(); buddy && (GetStyle() & UDS_SETBUDDYINT)) {
    CString text;
    buddy->GetWindowText(text);
    bool ok = false;
    const int value = controlQs(text).remove(',').toInt(&ok);
    if (ok) return value;
  }
  return pos_;
}

CWnd* CSpinButtonCtrl::SetBuddy(CWnd* buddy) {
  CWnd* previous = GetBuddy();
  buddy_ = buddy ? buddy->m_hWnd : 0;
  showInBuddy();
  return previous;
}

CWnd* CSpinButtonCtrl::GetBuddy() const {
  return FromHandlePermanent(buddy_);
}

void CSpinButtonCtrl::Spin(int steps) {
  if (!IsWindowEnabled()) return;
  pos_ = GetPos();
  // "Up" moves towards the upper end, which may be the smaller number.
  const int direction = upper_ >= lower_ ? 1 : -1;
  int next = pos_ + steps * direction;
  const int lo = std::min(lower_, upper_), hi = std::max(lower_, upper_);
  if (next > hi) next = (GetStyle() & UDS_WRAP) ? lo : hi;
  if (next < lo) next = (GetStyle() & UDS_WRAP) ? hi : lo;
  SetPos(next);
}

void CSpinButtonCtrl::showInBuddy() {
  if (!(GetStyle() & UDS_SETBUDDYINT)) return;
  if (CWnd* buddy = GetBuddy()) {
    CString text;
    text.Format("%d", pos_);
    buddy->SetWindowText(text);
  }
}

// ---- Scroll bar ----

void CScrollBar::buildWidget() {
  auto* bar = host(this, new QScrollBar(Qt::Horizontal));
  bar->setPageStep(10);
  // The widget applies an action after this signal; putting back the
  // position leaves the decision to the parent, as the original does.
  QObject::connect(bar, &QAbstractSlider::actionTriggered, [this, bar](int action) {
    switch (action) {
      case QAbstractSlider::SliderSingleStepSub:
        UserScroll(SB_LINELEFT);
        break;
      case QAbstractSlider::SliderSingleStepAdd:
        UserScroll(SB_LINERIGHT);
        break;
      case QAbstractSlider::SliderPageStepSub:
        UserScroll(SB_PAGELEFT);
        break;
      case QAbstractSlider::SliderPageStepAdd:
        UserScroll(SB_PAGERIGHT);
        break;
      case QAbstractSlider::SliderToMinimum:
        UserScroll(SB_LEFT);
        break;
      case QAbstractSlider::SliderToMaximum:
        UserScroll(SB_RIGHT);
        break;
      case QAbstractSlider::SliderMove:
        sendScroll(SB_THUMBTRACK, bar->sliderPosition());
        break;
      default:
        break;
    }
    bar->setSliderPosition(pos_);
  });
  QObject::connect(bar, &QAbstractSlider::sliderReleased,
                   [this, bar] { UserScroll(SB_THUMBPOSITION, bar->sliderPosition()); });
  show();
}

void CScrollBar::show() {
  if (auto* bar = widgetAs<QScrollBar>(this)) {
    QSignalBlocker quiet(bar);
    bar->setRange(std::min(lower_, upper_), std::max(lower_, upper_));
    bar->setValue(pos_);
  }
}

void CScrollBar::SetScrollRange(int lower, int upper, BOOL) {
  lower_ = lower;
  upper_ = upper;
  pos_ = std::clamp(pos_, std::min(lower_, upper_), std::max(lower_, upper_));
  show();
}

void CScrollBar::GetScrollRange(int* lower, int* upper) const {
  if (lower) *lower = lower_;
  if (upper) *upper = upper_;
}

int CScrollBar::SetScrollPos(int pos, BOOL) {
  const int previous = pos_;
  pos_ = std::clamp(pos, std::min(lower_, upper_), std::max(lower_, upper_));
  show();
  return previous;
}

void CScrollBar::sendScroll(UINT code, int thumb) {
  if (CWnd* parent = GetParent())
    parent->SendMessage(WM_HSCROLL, MAKELONG(static_cast<WORD>(code), static_cast<WORD>(thumb)),
                        static_cast<LPARAM>(m_hWnd));
}

void CScrollBar::UserScroll(UINT code, int thumb) {
  if (!IsWindowEnabled()) return;
  sendScroll(code, thumb);
  if (code != SB_THUMBTRACK && code != SB_ENDSCROLL) sendScroll(SB_ENDSCROLL, 0);
}

// ---- By class name ----

std::unique_ptr<CWnd> AfxCreateControlObject(LPCSTR className) {
  const CString name(className ? className : "");
  if (name.CompareNoCase(WC_BUTTON) == 0) return std::make_unique<CButton>();
  if (name.CompareNoCase(WC_EDIT) == 0) return std::make_unique<CEdit>();
  if (name.CompareNoCase(WC_STATIC) == 0) return std::make_unique<CStatic>();
  if (name.CompareNoCase(WC_LISTBOX) == 0) return std::make_unique<CListBox>();
  if (name.CompareNoCase(WC_COMBOBOX) == 0) return std::make_unique<CComboBox>();
  if (name.CompareNoCase(PROGRESS_CLASS) == 0) return std::make_unique<CProgressCtrl>();
  if (name.CompareNoCase(UPDOWN_CLASS) == 0) return std::make_unique<CSpinButtonCtrl>();
  if (name.CompareNoCase(WC_SCROLLBAR) == 0) return std::make_unique<CScrollBar>();
  if (name.CompareNoCase(WC_LISTVIEW) == 0) return std::make_unique<CListCtrl>();
  if (name.CompareNoCase(WC_TREEVIEW) == 0) return std::make_unique<CTreeCtrl>();
  return std::make_unique<CWnd>();
}

// ---- directory listings ----

int CWnd::DlgDirListComboBox(LPSTR pathSpec, int comboId, int staticId, UINT) {
  auto* combo = dynamic_cast<CComboBox*>(GetDlgItem(comboId));
  if (!combo || !pathSpec) return FALSE;
  const std::string asked(pathSpec);
  const std::size_t cut = asked.find_last_of("\\/");
  const std::string directory = cut == std::string::npos ? std::string() : asked.substr(0, cut + 1);
  const std::string pattern = cut == std::string::npos ? asked : asked.substr(cut + 1);
  combo->ResetContent();
  const auto mapped = wf::mapSystemPath(directory.empty() ? "." : directory);
  std::error_code error;
  if (!mapped || !std::filesystem::is_directory(*mapped, error)) return FALSE;
  auto noCase = [](const std::string& a, const std::string& b) {
    return ::strcasecmp(a.c_str(), b.c_str()) < 0;
  };
  std::set<std::string, decltype(noCase)> names(noCase);
  for (const auto& entry : std::filesystem::directory_iterator(*mapped, error)) {
    if (!entry.is_regular_file(error)) continue;
    const std::string name = entry.path().filename().string();
    if (::fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0) names.insert(name);
  }
  for (const std::string& name : names) combo->AddString(name.c_str());
  if (CWnd* label = staticId ? GetDlgItem(staticId) : nullptr) label->SetWindowText(directory.c_str());
  return TRUE;
}
