#pragma once
// The list control: items with sub-items, shown in one of four views by the
// style's LVS_TYPEMASK bits (large icons, report with a column header, small
// icons, list). Text and images may be left to the owner (LPSTR_TEXTCALLBACK,
// I_IMAGECALLBACK): each time the control draws, it asks its parent by
// LVN_GETDISPINFO for exactly the cells it draws, so cells scrolled away or in
// columns of width 0 are never asked for. Clicks on the column header give
// LVN_COLUMNCLICK; in-place label editing (EditLabel, or F2 with
// LVS_EDITLABELS) asks LVN_BEGINLABELEDIT and LVN_ENDLABELEDIT, whose answer
// accepts or refuses the text. Notifications are sent, so they run at once.
// On the GUI thread only.
#include <memory>
#include <string>
#include <vector>

#include "framework/collections.h"
#include "framework/controls.h"
#include "framework/image_list.h"

constexpr UINT LVN_FIRST = 0u - 100u;
constexpr UINT LVN_INSERTITEM = LVN_FIRST - 2;
constexpr UINT LVN_BEGINLABELEDIT = LVN_FIRST - 5;
constexpr UINT LVN_ENDLABELEDIT = LVN_FIRST - 6;
constexpr UINT LVN_COLUMNCLICK = LVN_FIRST - 8;
constexpr UINT LVN_GETDISPINFO = LVN_FIRST - 50;
constexpr UINT LVN_SETDISPINFO = LVN_FIRST - 51;

constexpr UINT LVIF_TEXT = 0x0001;
constexpr UINT LVIF_IMAGE = 0x0002;
constexpr UINT LVIF_PARAM = 0x0004;
constexpr UINT LVIF_STATE = 0x0008;

constexpr UINT LVIS_FOCUSED = 0x0001;
constexpr UINT LVIS_SELECTED = 0x0002;

constexpr int LVNI_ALL = 0x0000;
constexpr int LVNI_FOCUSED = 0x0001;
constexpr int LVNI_SELECTED = 0x0002;

constexpr UINT LVCF_FMT = 0x0001;
constexpr UINT LVCF_WIDTH = 0x0002;
constexpr UINT LVCF_TEXT = 0x0004;
constexpr UINT LVCF_SUBITEM = 0x0008;

constexpr int LVCFMT_LEFT = 0;
constexpr int LVCFMT_RIGHT = 1;
constexpr int LVCFMT_CENTER = 2;

constexpr int LVSIL_NORMAL = 0;
constexpr int LVSIL_SMALL = 1;

constexpr UINT LVIR_BOUNDS = 0;
constexpr UINT LVIR_ICON = 1;
constexpr UINT LVIR_LABEL = 2;

constexpr UINT LVHT_NOWHERE = 0x0001;
constexpr UINT LVHT_ONITEMICON = 0x0002;
constexpr UINT LVHT_ONITEMLABEL = 0x0004;
constexpr UINT LVHT_ONITEM = 0x000E;

constexpr UINT LVFI_PARAM = 0x0001;
constexpr UINT LVFI_STRING = 0x0002;
constexpr UINT LVFI_PARTIAL = 0x0008;

constexpr int I_IMAGECALLBACK = -1;
// The text is the owner's: asked for by LVN_GETDISPINFO.
inline const LPSTR LPSTR_TEXTCALLBACK = reinterpret_cast<LPSTR>(static_cast<std::intptr_t>(-1));

struct LVITEM {
  UINT mask = 0;
  int iItem = 0;
  int iSubItem = 0;
  UINT state = 0;
  UINT stateMask = 0;
  LPSTR pszText = nullptr;
  int cchTextMax = 0;
  int iImage = 0;
  LPARAM lParam = 0;
};

struct LVCOLUMN {
  UINT mask = 0;
  int fmt = LVCFMT_LEFT;
  int cx = 0;
  LPSTR pszText = nullptr;
  int cchTextMax = 0;
  int iSubItem = 0;
};

struct LVFINDINFO {
  UINT flags = 0;
  LPCSTR psz = nullptr;
  LPARAM lParam = 0;
};

struct NMLISTVIEW {
  NMHDR hdr;
  int iItem = -1;
  int iSubItem = 0;
  UINT uNewState = 0;
  UINT uOldState = 0;
  UINT uChanged = 0;
  CPoint ptAction;
  LPARAM lParam = 0;
};

// LVN_GETDISPINFO: fill item.pszText (up to cchTextMax, or point it at your
// own text) and item.iImage as item.mask asks. LVN_BEGINLABELEDIT: answer
// TRUE to refuse. LVN_ENDLABELEDIT: item.pszText is the edited text, null
// when the user cancelled; answer TRUE to accept it.
struct NMLVDISPINFO {
  NMHDR hdr;
  LVITEM item;
};
using LV_DISPINFO = NMLVDISPINFO;

using PFNLVCOMPARE = int (*)(LPARAM first, LPARAM second, LPARAM sortData);

namespace wf::fw {
class ListCanvas;
}

class CListCtrl : public CControlWnd {
  DECLARE_DYNAMIC(CListCtrl)
 public:
  CListCtrl();
  ~CListCtrl() override;

  BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);

  // Columns (report view). A width of -1 gives a default width; 0 hides.
  int InsertColumn(int column, const LVCOLUMN* info);
  int InsertColumn(int column, LPCSTR heading, int format = LVCFMT_LEFT, int width = -1, int subItem = -1);
  BOOL DeleteColumn(int column);
  // In list view column 0 is the width of every list column.
  int GetColumnWidth(int column) const;
  int GetColumnCount() const;
  CString GetColumnHeading(int column) const;  // empty for a bad index
  BOOL SetColumnWidth(int column, int width);

  // Items. The index of the new item, -1 on failure.
  int InsertItem(const LVITEM* item);
  int InsertItem(int index, LPCSTR text);
  int InsertItem(int index, LPCSTR text, int image);
  int InsertItem(UINT mask, int index, LPCSTR text, UINT state, UINT stateMask, int image, LPARAM lParam);
  BOOL DeleteItem(int index);
  BOOL DeleteAllItems();
  int GetItemCount() const;
  // Fields left to the owner are asked for, as when drawing.
  BOOL GetItem(LVITEM* item) const;
  BOOL SetItem(const LVITEM* item);
  CString GetItemText(int index, int subItem) const;
  BOOL SetItemText(int index, int subItem, LPCSTR text);
  DWORD_PTR GetItemData(int index) const;
  BOOL SetItemData(int index, DWORD_PTR data);

  // State and selection. Index -1 sets every item. One item at most has the
  // focus; with LVS_SINGLESEL one at most is selected.
  UINT GetItemState(int index, UINT mask) const;
  BOOL SetItemState(int index, UINT state, UINT mask);
  // The next item after `start` (-1: from the first) with the LVNI_ flags; -1 when none.
  int GetNextItem(int start, int flags) const;
  UINT GetSelectedCount() const;
  POSITION GetFirstSelectedItemPosition() const;
  int GetNextSelectedItem(POSITION& position) const;
  // After `start` (-1: from the first); -1 when not found. Strings match without case.
  int FindItem(const LVFINDINFO* info, int start = -1) const;

  // Orders the items by `compare` on their item data; equal items keep their order.
  BOOL SortItems(PFNLVCOMPARE compare, DWORD_PTR sortData);

  CImageList* SetImageList(CImageList* list, int which);  // the previous one; never owned
  CImageList* GetImageList(int which) const;

  // Redraws: the owner's fields are asked for again.
  BOOL Update(int index);
  BOOL RedrawItems(int first, int last);

  // In client coordinates; FALSE for a bad index.
  BOOL GetItemRect(int index, LPRECT rect, UINT code) const;
  int HitTest(CPoint point, UINT* flags = nullptr) const;
  BOOL EnsureVisible(int index, BOOL partialOK);
  int GetTopIndex() const;
  int GetCountPerPage() const;  // items that fit whole

  // Starts editing the item's label unless LVN_BEGINLABELEDIT refuses; the
  // edit control while editing, else null. Enter or leaving the edit ends
  // it, Esc cancels.
  CEdit* EditLabel(int index);
  CEdit* GetEditControl() const;

  struct State;  // inside the layer

  // The control's own handling of clicks (selection) and keys (F2 edits the label).
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  void buildWidget() override;
  void styleChanged(DWORD oldStyle) override;

 private:
  friend class wf::fw::ListCanvas;
  void refresh() const;
  LRESULT notify(UINT code, NMHDR* header) const;
  // LVN_GETDISPINFO for one cell; `text` and `image` take the answer.
  void askOwner(int index, int subItem, UINT mask, std::string& text, int& image) const;
  void columnClicked(int column) const;
  void userClick(int index, bool toggle);
  void endLabelEdit(bool accept);
  std::unique_ptr<State> state_;
};
