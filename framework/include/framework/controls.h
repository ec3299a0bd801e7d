#pragma once
// The standard controls, with the original platform's behaviour where the
// system relies on it. A control is a child window (usually made from a
// dialog template) drawn by a Qt widget; it tells its parent of changes by
// WM_COMMAND with its id and a notification code. On the GUI thread only.
//
// Which changes notify: an edit's EN_UPDATE then EN_CHANGE whenever its text really changes,
// by the user or by the program; list and combo box selection changes only
// when the user makes them; a button's BN_CLICKED when the user clicks it.
#include <memory>
#include <vector>

#include "framework/control_styles.h"
#include "framework/gdi.h"
#include "framework/wnd.h"

using DWORD_PTR = std::uintptr_t;

constexpr int LB_ERR = -1;
constexpr int CB_ERR = -1;
constexpr int BST_UNCHECKED = 0;
constexpr int BST_CHECKED = 1;
constexpr int BST_INDETERMINATE = 2;
constexpr UINT BN_SETFOCUS = 6;

constexpr UINT STM_SETICON = 0x0170;
constexpr UINT STM_GETICON = 0x0171;
constexpr UINT STM_SETIMAGE = 0x0172;  // wParam IMAGE_BITMAP or IMAGE_ICON
constexpr UINT STM_GETIMAGE = 0x0173;
constexpr UINT IMAGE_BITMAP = 0;
constexpr UINT IMAGE_ICON = 1;

namespace wf::fw {
struct ControlState;  // the control's widget and what it shows
}

// What every control shares: its widget, text and notifications.
class CControlWnd : public CWnd {
  DECLARE_DYNAMIC(CControlWnd)
 public:
  CControlWnd();
  ~CControlWnd() override;
  BOOL CreateEx(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                int height, HWND parent, UINT id = 0, LPVOID param = nullptr) override;
  DWORD GetStyle() const { return style_; }
  // FALSE when the style stays as it was; the control shows the change.
  BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);

  std::unique_ptr<wf::fw::ControlState> state_;  // inside the layer

 protected:
  // Builds the control's widget inside its window; called once created.
  virtual void buildWidget() = 0;
  // The window text changed (by the program or from the widget).
  virtual void textChanged() {}
  virtual void styleChanged(DWORD /*oldStyle*/) {}
  void notifyParent(UINT code);

 private:
  DWORD style_ = 0;
};

// Text, or with SS_ICON / SS_BITMAP a picture. A template's text names the
// picture resource ("#104" for a number); the static frees what it loaded
// itself, while pictures set by the program stay the caller's.
class CStatic : public CControlWnd {
  DECLARE_DYNAMIC(CStatic)
 public:
  ~CStatic() override;
  // Both return the previous picture; the message forms are STM_SETICON and STM_SETIMAGE.
  HICON SetIcon(HICON icon);
  HICON GetIcon() const;
  HBITMAP SetBitmap(HBITMAP bitmap);
  HBITMAP GetBitmap() const;

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  void buildWidget() override;
  void textChanged() override;

 private:
  bool showsPicture() const;
  void showPicture();
  HICON icon_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HICON loadedIcon_ = nullptr;
  CBitmap loadedBitmap_;
};

// Push button, check box, radio button or group box by its style.
class CButton : public CControlWnd {
  DECLARE_DYNAMIC(CButton)
 public:
  int GetCheck() const { return check_; }
  void SetCheck(int check);
  UINT GetButtonStyle() const { return GetStyle() & BS_TYPEMASK; }
  // As the user's click: auto boxes toggle, auto radios take the group's check.
  void Click();

 protected:
  void buildWidget() override;
  void textChanged() override;

 private:
  void showCheck();
  int check_ = BST_UNCHECKED;
};

class CEdit : public CControlWnd {
  DECLARE_DYNAMIC(CEdit)
 public:
  // 0 lifts the limit. Text set by the program is not cut.
  void LimitText(int maxChars = 0);
  void SetLimitText(UINT maxChars) { LimitText(static_cast<int>(maxChars)); }
  UINT GetLimitText() const { return limit_; }
  // The user's typing (as keystrokes would give it): filtered by the style
  // and the limit, then EN_CHANGE when the text changed.
  void TypeText(LPCSTR text);
  // Characters start to end selected; equal ends put the caret there, an
  // end of -1 means the end of the text.
  void SetSel(int start, int end, BOOL noScroll = FALSE);
  void GetSel(int& start, int& end) const;

 protected:
  void buildWidget() override;
  void textChanged() override;

 private:
  void showSel();
  UINT limit_ = 0;
  int selStart_ = 0;
  int selEnd_ = 0;
};

// The selection and item-data calls shared by list and combo boxes.
class CListControlBase : public CControlWnd {
  DECLARE_DYNAMIC(CListControlBase)
 public:
  int AddString(LPCSTR text);
  int InsertString(int index, LPCSTR text);
  int DeleteString(UINT index);
  void ResetContent();
  int GetCount() const;
  int GetCurSel() const { return selection_; }
  int SetCurSel(int index);  // -1 clears; LB_ERR when out of range
  int GetText(int index, CString& text) const;
  int GetLBText(int index, CString& text) const { return GetText(index, text); }
  int FindStringExact(int startAfter, LPCSTR text) const;
  int SelectString(int startAfter, LPCSTR text);  // prefix, no case
  DWORD_PTR GetItemData(int index) const;
  int SetItemData(int index, DWORD_PTR data);
  // As the user's choice of item `index`: notifies when the selection changed.
  void UserSelect(int index);

 protected:
  virtual UINT selectionChangeCode() const = 0;
  virtual bool sorted() const = 0;
  void rebuild();

  struct Item {
    CString text;
    DWORD_PTR data = 0;
    bool selected = false;  // multiple-selection list boxes
  };
  std::vector<Item> items_;
  int selection_ = -1;
};

class CListBox : public CListControlBase {
  DECLARE_DYNAMIC(CListBox)
 public:
  // Boxes of several selected items (LBS_EXTENDEDSEL, LBS_MULTIPLESEL):
  // item `index` (-1: every item) selected or not, as the user's choice
  // would leave it; LB_ERR out of range or in a single-selection box.
  int SetSel(int index, BOOL select = TRUE);
  int GetSel(int index) const;
  int GetSelCount() const;
  // The selected items' indexes in order, at most `maxItems`; their count.
  int GetSelItems(int maxItems, int* items) const;
  // The width in pixels the box scrolls over horizontally.
  void SetHorizontalExtent(int extent);
  int GetHorizontalExtent() const { return extent_; }

 protected:
  void buildWidget() override;
  UINT selectionChangeCode() const override { return LBN_SELCHANGE; }
  bool sorted() const override { return GetStyle() & LBS_SORT; }

 private:
  bool multiple() const { return GetStyle() & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL); }
  int extent_ = 0;
};

// Drop list, or drop down with an edit field, by its style. The window text
// is the edit field's (or the selected item's) text.
class CComboBox : public CListControlBase {
  DECLARE_DYNAMIC(CComboBox)
 protected:
  void buildWidget() override;
  void textChanged() override;
  UINT selectionChangeCode() const override { return CBN_SELCHANGE; }
  bool sorted() const override { return GetStyle() & CBS_SORT; }
};

class CProgressCtrl : public CControlWnd {
  DECLARE_DYNAMIC(CProgressCtrl)
 public:
  // The original range is 16 bits: 0 to 100 until set.
  void SetRange(short lower, short upper);
  void GetRange(int& lower, int& upper) const;
  int SetPos(int pos);  // the previous position; clamped to the range
  int GetPos() const { return pos_; }
  int OffsetPos(int delta);
  int SetStep(int step);
  // Advances by the step; past the upper end it starts again from the lower.
  int StepIt();

 protected:
  void buildWidget() override;

 private:
  void show();
  int lower_ = 0, upper_ = 100, pos_ = 0, step_ = 10;
};

// An up-down control: arrows that move a position within a range, shown in
// its buddy's text with UDS_SETBUDDYINT.
class CSpinButtonCtrl : public CControlWnd {
  DECLARE_DYNAMIC(CSpinButtonCtrl)
 public:
  void SetRange(short lower, short upper);
  void GetRange(int& lower, int& upper) const;
  int SetPos(int pos);
  int GetPos() const;  // the buddy's number when it has one
  CWnd* SetBuddy(CWnd* buddy);
  CWnd* GetBuddy() const;
  // As the user's arrow clicks: `steps` up (negative down), wrapping with UDS_WRAP.
  void Spin(int steps);

 protected:
  void buildWidget() override;

 private:
  void showInBuddy();
  int lower_ = 100, upper_ = 0, pos_ = 0;  // the original's reversed default range
  HWND buddy_ = 0;
};

// A horizontal scroll bar. Like the original, it never moves by itself: the
// user's actions reach the parent as WM_HSCROLL (LOWORD the SB_ code, HIWORD
// the thumb's position for SB_THUMBPOSITION and SB_THUMBTRACK, lParam the
// bar), and the parent sets the position it wants.
constexpr UINT SB_LINELEFT = 0;
constexpr UINT SB_LINERIGHT = 1;
constexpr UINT SB_PAGELEFT = 2;
constexpr UINT SB_PAGERIGHT = 3;
constexpr UINT SB_THUMBPOSITION = 4;
constexpr UINT SB_THUMBTRACK = 5;
constexpr UINT SB_LEFT = 6;
constexpr UINT SB_RIGHT = 7;
constexpr UINT SB_ENDSCROLL = 8;

class CScrollBar : public CControlWnd {
  DECLARE_DYNAMIC(CScrollBar)
 public:
  void SetScrollRange(int lower, int upper, BOOL redraw = TRUE);
  void GetScrollRange(int* lower, int* upper) const;
  // The previous position; clamped to the range.
  int SetScrollPos(int pos, BOOL redraw = TRUE);
  int GetScrollPos() const { return pos_; }
  // As the user's action: `code` (with the thumb's position for the thumb
  // codes) to the parent, followed by SB_ENDSCROLL unless it is a track.
  void UserScroll(UINT code, int thumb = 0);

 protected:
  void buildWidget() override;

 private:
  void show();
  void sendScroll(UINT code, int thumb);
  int lower_ = 0, upper_ = 100, pos_ = 0;
};

// void OnHScroll(UINT code, UINT position, CScrollBar* bar)
#define ON_WM_HSCROLL()                                                                                   \
  WF_ON_STD(WM_HSCROLL,                                                                                   \
            WF_THIS->OnHScroll(LOWORD(c.wParam), HIWORD(c.wParam),                                        \
                               dynamic_cast<CScrollBar*>(CWnd::FromHandle(static_cast<HWND>(c.lParam)))); \
            return 0;)

// A control object for a template class name ("Edit", "Button", ...); a
// plain CWnd for classes the framework does not draw (custom-painted ones).
std::unique_ptr<CWnd> AfxCreateControlObject(LPCSTR className);
