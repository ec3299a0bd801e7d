#pragma once
// The top-level window of one open notebook: the notebook above a one-line
// status line, placed by the application's cascade position, with the
// printer's image in its caption that flashes while the printer has a hard
// error. Made by CWFPrinterIcon::OpenPrinterA; deletes itself, the notebook
// and the status line when its window goes. GUI thread only.
#include <map>
#include <utility>

#include "framework/controls.h"
#include "framework/frame_wnd.h"
#include "framework/gdi.h"

class CWFPrinterIcon;
class CPrtOpenDlg;
struct WF_CASCADE_POS;

namespace wf::prtgui {
// Steps the cascade position for a frame of that size on a screen of that
// size: to the right and down, back onto the diagonal when the frame would
// leave the screen. A screen without size keeps the stepped position.
void stepCascade(WF_CASCADE_POS& pos, int frameWidth, int frameHeight, int screenWidth, int screenHeight);
}  // namespace wf::prtgui

class CPrtOStatusLine : public CStatic {
 public:
  static constexpr UINT kId = 101;
  CPrtOStatusLine();

  // Repaints at once, only when the text really changed.
  void SetText(CString text);
  const CString& GetText() const { return m_text; }

  void OnPaint();

 protected:
  CString m_text;
  CFont m_font;
  DECLARE_MESSAGE_MAP()
};

class CPrtOpenFrame : public CFrameWnd {
 public:
  // The notebook becomes the frame's.
  CPrtOpenFrame(CWFPrinterIcon* icon, CPrtOpenDlg* notebook);
  ~CPrtOpenFrame() override;

  // Registers the window class and creates the window as the printer's
  // image says; FALSE when the window could not be made.
  BOOL CreateFrame();

  void SetStatusText(CString text);
  CString GetStatusText();
  int SetActivePage(int page);

  CPrtOpenDlg* GetNotebook() const { return m_pNotebook; }
  CPrtOStatusLine* GetStatusLine() const { return m_pStatusLine; }
  // The image shown next: TRUE when the next flash shows the error image.
  BOOL GetShowError() const { return m_bShowError; }

  int OnCreate(LPCREATESTRUCT cs);
  void PostNcDestroy() override;
  void OnPaint();
  void OnActivate(UINT state, CWnd* other, BOOL minimized);
  // A close that comes while a modal dialog of the notebook runs ends that
  // dialog as Cancel and comes again once its loop has returned.
  void OnClose();
  LRESULT OnWfFlash(WPARAM, LPARAM);

 protected:
  // The image of `index` from the small or the normal list, taken once per
  // index and destroyed with the frame.
  HICON imageIcon(int index, bool big);
  void placeOnCascade();

  CPrtOpenDlg* m_pNotebook;
  CPrtOStatusLine* m_pStatusLine = nullptr;
  // While CreateFrame runs a failed creation leaves the object to its caller.
  bool m_bCreating = false;
  CWFPrinterIcon* m_pIcon;
  BOOL m_bShowError;
  std::map<std::pair<int, bool>, HICON> m_icons;
  DECLARE_MESSAGE_MAP()
};
