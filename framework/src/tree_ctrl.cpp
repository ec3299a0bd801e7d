#include "framework/tree_ctrl.h"

#include <QHBoxLayout>
#include <QTreeWidget>

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "gdi_data.h"
#include "wnd_widget.h"

IMPLEMENT_DYNAMIC(CTreeCtrl, CControlWnd)

struct TreeNode {
  CString text;
  int image = 0;
  int selectedImage = 0;
  TreeNode* parent = nullptr;
  std::vector<std::unique_ptr<TreeNode>> children;
  QTreeWidgetItem* shown = nullptr;  // owned by the widget; null without one
};

struct CTreeCtrl::State {
  TreeNode root;
  std::unordered_set<TreeNode*> live;
  CImageList* images = nullptr;
  QTreeWidget* view = nullptr;
  QMetaObject::Connection viewGone;

  // An item of this tree, TVI_ROOT as the root, else null.
  TreeNode* resolve(HTREEITEM item) {
    if (item == TVI_ROOT || item == nullptr) return &root;
    return live.count(item) ? item : nullptr;
  }
  void forget(TreeNode* node) {
    live.erase(node);
    for (auto& child : node->children) forget(child.get());
  }
  QIcon iconFor(int index) const {
    if (!images || index < 0 || index >= images->GetImageCount()) return {};
    HICON icon = images->ExtractIcon(index);
    QIcon shown(QPixmap::fromImage(wf::fw::iconImage(icon)));
    DestroyIcon(icon);
    return shown;
  }
  void show(TreeNode* node) {
    if (!view || node == &root) return;
    auto* item = new QTreeWidgetItem;
    item->setText(0, QString::fromStdString(node->text.str()));
    item->setIcon(0, iconFor(node->image));
    auto& siblings = node->parent->children;
    const int at = static_cast<int>(
        std::find_if(siblings.begin(), siblings.end(), [&](auto& c) { return c.get() == node; }) -
        siblings.begin());
    if (node->parent == &root)
      view->insertTopLevelItem(at, item);
    else
      node->parent->shown->insertChild(at, item);
    node->shown = item;
    for (auto& child : node->children) show(child.get());
  }
};

CTreeCtrl::CTreeCtrl() : state_(std::make_unique<State>()) {}
CTreeCtrl::~CTreeCtrl() {
  // The widget may outlive this object by a turn of the loop.
  QObject::disconnect(state_->viewGone);
}

BOOL CTreeCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
  return CreateEx(0, WC_TREEVIEW, "", style | WS_CHILD, rect.left, rect.top, rect.right - rect.left,
                  rect.bottom - rect.top, parent ? parent->m_hWnd : 0, id);
}

void CTreeCtrl::buildWidget() {
  QWidget* frame = wf::fw::widgetOf(m_hWnd);
  auto* view = new QTreeWidget;
  view->setHeaderHidden(true);
  view->setRootIsDecorated(GetStyle() & (TVS_HASBUTTONS | TVS_LINESATROOT));
  view->setContextMenuPolicy(Qt::NoContextMenu);
  auto* layout = new QHBoxLayout(frame);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view);
  frame->setFocusProxy(view);
  state_->view = view;
  state_->viewGone = QObject::connect(view, &QObject::destroyed, [state = state_.get()] {
    state->view = nullptr;
    for (TreeNode* node : state->live) node->shown = nullptr;
  });
  for (auto& child : state_->root.children) state_->show(child.get());
  QObject::connect(view, &QTreeWidget::currentItemChanged,
                   [this](QTreeWidgetItem* now, QTreeWidgetItem* before) {
                     // The selected image belongs to the current item.
                     auto imageOf = [this](QTreeWidgetItem* shown, bool selected) {
                       for (const TreeNode* node : state_->live)
                         if (node->shown == shown)
                           shown->setIcon(0, state_->iconFor(selected ? node->selectedImage : node->image));
                     };
                     if (before) imageOf(before, false);
                     if (now) imageOf(now, true);
                   });
}

HTREEITEM CTreeCtrl::InsertItem(LPCSTR text, int image, int selectedImage, HTREEITEM parent,
                                HTREEITEM insertAfter) {
  TreeNode* under = state_->resolve(parent);
  if (!under) return nullptr;
  auto node = std::make_unique<TreeNode>();
  node->text = text ? text : "";
  node->image = image;
  node->selectedImage = selectedImage;
  node->parent = under;
  auto& siblings = under->children;
  auto at = siblings.end();
  if (insertAfter == TVI_FIRST) {
    at = siblings.begin();
  } else if (insertAfter != TVI_LAST) {
    auto after =
        std::find_if(siblings.begin(), siblings.end(), [&](auto& c) { return c.get() == insertAfter; });
    if (after != siblings.end()) at = after + 1;
  }
  TreeNode* made = siblings.insert(at, std::move(node))->get();
  state_->live.insert(made);
  state_->show(made);
  return made;
}

HTREEITEM CTreeCtrl::InsertItem(LPCSTR text, HTREEITEM parent, HTREEITEM insertAfter) {
  return InsertItem(text, 0, 0, parent, insertAfter);
}

BOOL CTreeCtrl::DeleteItem(HTREEITEM item) {
  TreeNode* node = state_->resolve(item);
  if (!node) return FALSE;
  if (node == &state_->root) {
    for (auto& child : node->children) state_->forget(child.get());
    node->children.clear();
    if (state_->view) state_->view->clear();
    return TRUE;
  }
  state_->forget(node);
  delete node->shown;  // takes its children's rows with it
  auto& siblings = node->parent->children;
  siblings.erase(std::find_if(siblings.begin(), siblings.end(), [&](auto& c) { return c.get() == node; }));
  return TRUE;
}

BOOL CTreeCtrl::DeleteAllItems() {
  return DeleteItem(TVI_ROOT);
}

UINT CTreeCtrl::GetCount() const {
  return static_cast<UINT>(state_->live.size());
}

HTREEITEM CTreeCtrl::GetRootItem() const {
  return GetChildItem(TVI_ROOT);
}

HTREEITEM CTreeCtrl::GetChildItem(HTREEITEM item) const {
  TreeNode* node = state_->resolve(item);
  return node && !node->children.empty() ? node->children.front().get() : nullptr;
}

HTREEITEM CTreeCtrl::GetNextSiblingItem(HTREEITEM item) const {
  TreeNode* node = state_->resolve(item);
  if (!node || node == &state_->root) return nullptr;
  auto& siblings = node->parent->children;
  auto at = std::find_if(siblings.begin(), siblings.end(), [&](auto& c) { return c.get() == node; });
  return at + 1 == siblings.end() ? nullptr : (at + 1)->get();
}

HTREEITEM CTreeCtrl::GetParentItem(HTREEITEM item) const {
  TreeNode* node = state_->resolve(item);
  if (!node || node == &state_->root || node->parent == &state_->root) return nullptr;
  return node->parent;
}

BOOL CTreeCtrl::ItemHasChildren(HTREEITEM item) const {
  TreeNode* node = state_->resolve(item);
  return node && !node->children.empty();
}

CString CTreeCtrl::GetItemText(HTREEITEM item) const {
  TreeNode* node = state_->resolve(item);
  return node && node != &state_->root ? node->text : CString();
}

BOOL CTreeCtrl::SetItemText(HTREEITEM item, LPCSTR text) {
  TreeNode* node = state_->resolve(item);
  if (!node || node == &state_->root) return FALSE;
  node->text = text ? text : "";
  if (node->shown) node->shown->setText(0, QString::fromStdString(node->text.str()));
  return TRUE;
}

BOOL CTreeCtrl::GetItemImage(HTREEITEM item, int& image, int& selectedImage) const {
  TreeNode* node = state_->resolve(item);
  if (!node || node == &state_->root) return FALSE;
  image = node->image;
  selectedImage = node->selectedImage;
  return TRUE;
}

BOOL CTreeCtrl::Expand(HTREEITEM item, UINT code) {
  TreeNode* node = state_->resolve(item);
  if (!node || node == &state_->root) return FALSE;
  if (node->shown) node->shown->setExpanded(code == TVE_EXPAND);
  return TRUE;
}

CImageList* CTreeCtrl::SetImageList(CImageList* list, int which) {
  if (which != TVSIL_NORMAL) return nullptr;
  CImageList* previous = std::exchange(state_->images, list);
  for (const TreeNode* node : state_->live)
    if (node->shown) node->shown->setIcon(0, state_->iconFor(node->image));
  return previous;
}

CImageList* CTreeCtrl::GetImageList(int which) const {
  return which == TVSIL_NORMAL ? state_->images : nullptr;
}
