#pragma once
// Control bars: the toolbar and the status bar of a frame window. A bar is a
// child window of its frame, docked at the frame's top or bottom edge by the
// frame's layout (CFrameWnd::RecalcLayout). Its items carry command ids;
// their state comes from the frame's update handlers, asked at idle time
// (WM_IDLEUPDATECMDUI) while the bar is visible. Toolbar buttons send their
// command to the frame; with CBRS_FLYBY the frame's message pane shows a
// button's prompt while the pointer is on it, with CBRS_TOOLTIPS the button
// shows its tip. Both texts come from the string of the command id,
// "prompt\ntip". On the GUI thread only.
#include <memory>

#include "framework/resources.h"
#include "framework/wnd.h"

class CFrameWnd;

// Bar styles: the low word of the style given to Create (beside the window styles).
constexpr DWORD CBRS_TOOLTIPS = 0x0010;
constexpr DWORD CBRS_FLYBY = 0x0020;
constexpr DWORD CBRS_BORDER_LEFT = 0x0100;
constexpr DWORD CBRS_BORDER_TOP = 0x0200;
constexpr DWORD CBRS_BORDER_RIGHT = 0x0400;
constexpr DWORD CBRS_BORDER_BOTTOM = 0x0800;
constexpr DWORD CBRS_ALIGN_LEFT = 0x1000;
constexpr DWORD CBRS_ALIGN_TOP = 0x2000;
constexpr DWORD CBRS_ALIGN_RIGHT = 0x4000;
constexpr DWORD CBRS_ALIGN_BOTTOM = 0x8000;
constexpr DWORD CBRS_TOP = CBRS_ALIGN_TOP | CBRS_BORDER_BOTTOM;
constexpr DWORD CBRS_BOTTOM = CBRS_ALIGN_BOTTOM | CBRS_BORDER_TOP;
constexpr DWORD CBRS_ALL = 0x0040FFFF;

constexpr UINT ID_SEPARATOR = 0;

// Toolbar button styles.
constexpr UINT TBBS_BUTTON = 0x0000;
constexpr UINT TBBS_SEPARATOR = 0x0001;
constexpr UINT TBBS_CHECKBOX = 0x0002;
constexpr UINT TBBS_CHECKED = 0x0100;
constexpr UINT TBBS_INDETERMINATE = 0x0200;
constexpr UINT TBBS_DISABLED = 0x0400;

// Status pane styles.
constexpr UINT SBPS_NORMAL = 0x0000;
constexpr UINT SBPS_NOBORDERS = 0x0100;
constexpr UINT SBPS_POPOUT = 0x0200;
constexpr UINT SBPS_DISABLED = 0x0400;  // the pane's text is not shown
constexpr UINT SBPS_STRETCH = 0x0800;   // takes the width the other panes leave

namespace wf::fw {
struct BarState;  // the bar's widget and items
}

class CControlBar : public CWnd {
  DECLARE_DYNAMIC(CControlBar)
 public:
  CControlBar();
  ~CControlBar() override;

  DWORD GetBarStyle() const { return barStyle_; }
  void SetBarStyle(DWORD style);
  // The frame that owns the bar: its parent.
  CFrameWnd* GetParentFrame() const;

  // The height the bar needs (its width follows the frame).
  virtual CSize CalcFixedLayout(BOOL stretch, BOOL horizontal);
  // Brings the items up to date from `target`'s update handlers.
  virtual void OnUpdateCmdUI(CFrameWnd* target, BOOL disableIfNoHandler) = 0;

  std::unique_ptr<wf::fw::BarState> state_;  // inside the layer

 protected:
  // Creates the bar window from a style holding window and bar bits.
  BOOL createBar(CWnd* parent, DWORD style, UINT id);
  LRESULT OnIdleUpdateCmdUI(WPARAM disableIfNoHandler, LPARAM);
  virtual void barStyleChanged() {}
  DECLARE_MESSAGE_MAP()

 private:
  DWORD barStyle_ = 0;
};

class CToolBar : public CControlBar {
  DECLARE_DYNAMIC(CToolBar)
 public:
  BOOL Create(CWnd* parent, DWORD style = WS_CHILD | WS_VISIBLE | CBRS_TOP, UINT id = 0xE800);
  // Buttons and pictures of the toolbar resource and its bitmap of the same id.
  BOOL LoadToolBar(const wf::fw::ResourceId& id);
  // ID_SEPARATOR makes a separator; null ids give `count` separators to fill in.
  BOOL SetButtons(const UINT* ids, int count);

  int GetCount() const;
  UINT GetItemID(int index) const;    // ID_SEPARATOR for separators and bad indexes
  int CommandToIndex(UINT id) const;  // -1 when no button has it
  UINT GetButtonStyle(int index) const;
  void SetButtonStyle(int index, UINT style);

  void OnUpdateCmdUI(CFrameWnd* target, BOOL disableIfNoHandler) override;

 protected:
  void barStyleChanged() override;
};

class CStatusBar : public CControlBar {
  DECLARE_DYNAMIC(CStatusBar)
 public:
  BOOL Create(CWnd* parent, DWORD style = WS_CHILD | WS_VISIBLE | CBRS_BOTTOM, UINT id = 0xE801);
  // One pane per id. ID_SEPARATOR panes are reached by index, the first of
  // them stretches; any other id must have a string, the pane's first text.
  // FALSE when a string is missing.
  BOOL SetIndicators(const UINT* ids, int count);

  int GetCount() const;
  UINT GetItemID(int index) const;
  int CommandToIndex(UINT id) const;  // -1 when no pane has it
  // `width` is the text room in pixels.
  void SetPaneInfo(int index, UINT id, UINT style, int width);
  void GetPaneInfo(int index, UINT& id, UINT& style, int& width) const;
  UINT GetPaneStyle(int index) const;
  void SetPaneStyle(int index, UINT style);
  BOOL SetPaneText(int index, LPCSTR text, BOOL update = TRUE);
  CString GetPaneText(int index) const;

  void OnUpdateCmdUI(CFrameWnd* target, BOOL disableIfNoHandler) override;
};
