#pragma once
// The tree control: items with text and an image (and one for when the item
// is selected) from its normal image list, inserted under a parent. On the
// GUI thread only.
#include <memory>

#include "framework/controls.h"
#include "framework/image_list.h"

struct TreeNode;  // inside the layer
using HTREEITEM = TreeNode*;

// Where a new item goes; the original's special handles.
inline const HTREEITEM TVI_ROOT = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x10000));
inline const HTREEITEM TVI_FIRST = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFF));
inline const HTREEITEM TVI_LAST = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFE));

constexpr int TVSIL_NORMAL = 0;

constexpr UINT TVE_COLLAPSE = 0x0001;
constexpr UINT TVE_EXPAND = 0x0002;

class CTreeCtrl : public CControlWnd {
  DECLARE_DYNAMIC(CTreeCtrl)
 public:
  CTreeCtrl();
  ~CTreeCtrl() override;

  BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);

  // Under `parent` (TVI_ROOT: at the top), after `insertAfter` (TVI_LAST,
  // TVI_FIRST or a child of `parent`). Null when `parent` is not an item here.
  HTREEITEM InsertItem(LPCSTR text, int image, int selectedImage, HTREEITEM parent = TVI_ROOT,
                       HTREEITEM insertAfter = TVI_LAST);
  HTREEITEM InsertItem(LPCSTR text, HTREEITEM parent = TVI_ROOT, HTREEITEM insertAfter = TVI_LAST);
  // The item and everything under it; TVI_ROOT empties the tree.
  BOOL DeleteItem(HTREEITEM item);
  BOOL DeleteAllItems();

  UINT GetCount() const;
  HTREEITEM GetRootItem() const;  // the first top item; null when empty
  HTREEITEM GetChildItem(HTREEITEM item) const;
  HTREEITEM GetNextSiblingItem(HTREEITEM item) const;
  HTREEITEM GetParentItem(HTREEITEM item) const;  // null for top items
  BOOL ItemHasChildren(HTREEITEM item) const;
  CString GetItemText(HTREEITEM item) const;
  BOOL SetItemText(HTREEITEM item, LPCSTR text);
  BOOL GetItemImage(HTREEITEM item, int& image, int& selectedImage) const;
  BOOL Expand(HTREEITEM item, UINT code);

  CImageList* SetImageList(CImageList* list, int which);  // the previous one; never owned
  CImageList* GetImageList(int which) const;

  struct State;  // inside the layer

 protected:
  void buildWidget() override;

 private:
  std::unique_ptr<State> state_;
};
