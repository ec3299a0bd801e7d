#pragma once
// The base pages of a printer's notebook. Each keeps its help table and the
// virtual operations the notebook calls on it; the family modules derive
// their pages from these and override the same operations.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/small_controls.h"
#include "framework/image_list.h"
#include "framework/tree_ctrl.h"
#include "prtgui/wf_property_page.h"
#include "prtobj/wfprtobj.h"

class CWFPrinterIcon;

// Status page (view 32775, template 344).
class CPrtOStatus : public CWFPropertyPage {
 public:
  CPrtOStatus();
  explicit CPrtOStatus(CWFPrinterIcon* icon);
  ~CPrtOStatus() override;

  const DWORD* GetHelpIDs() override { return m_helpIDs; }
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;

  virtual void UpdateCustomData(CDataExchange* dx);
  // Redraws the mini operator panel from the icon's panel text.
  virtual void UpdateMiniOpPanel();
  virtual void InitGraphicStatus();
  virtual void InitMiniOpPanel();
  virtual void OpPanelConstructor();
  virtual void OpPanelDestructor();
  // Draws the panel into a new bitmap selected in `dc`.
  virtual void CreateOpPanelGraphic(HDC dc);
  virtual void ExchangeGraphicInfo(CDataExchange* dx);
  virtual void CreatePrinterGraphic();
  virtual void FillFeatureTree();
  virtual void FillEventList();
  virtual void AddOptionGraphic(CDC* dc, UINT bitmapId, CPoint size, BOOL top, BOOL left);
  // Nonzero when a combined lower-body picture was drawn.
  virtual int DecodeImage(CDC* dc, CPoint size);
  virtual void AddMoreTreeItems() {}
  virtual UINT GetPaperTypeImage(WFPrtObj::PAPERTYPE type);
  virtual void ConstructorInit();

  void OnROPContinue();
  void OnROPReset();

  // Workers; the parameter carries the printer's 16-bit handle.
  static UINT UpdateROPData(void* handle);
  static UINT ROPContinue(void* handle);
  static UINT ROPReset(void* handle);

  CWFPrinterIcon* GetIcon() const { return m_pIcon; }

 protected:
  // The bitmap from the icon's resource library for it, or the usual search.
  BOOL LoadPicture(CBitmap& bitmap, UINT id);
  // Shows bitmap `id` as the printer picture, drawn on by DecodeImage when
  // `decode`; a bitmap that does not load leaves the picture as it was.
  BOOL ShowPrinterPicture(UINT id, BOOL decode);
  void QueueWorker(UINT (*worker)(void*), const char* name);

  CComboBox m_eventList;
  CTreeCtrl m_featureTree;
  CString m_model;
  CWFPrinterIcon* m_pIcon = nullptr;
  CStaticBMP m_picture;
  CImageList m_featureImages;
  CFont m_panelFont;
  CStaticBMP m_miniPanel;
  CBitmap m_panelImage;  // the panel last drawn; the mini panel keeps its own copy
  DWORD m_helpIDs[26] = {};
  DECLARE_MESSAGE_MAP()
};

namespace wf {
// The four 20-character lines of a panel text (UTF-8), cut at characters.
std::vector<std::string> panelLines(const std::string& text);
// Rectangle of the page's template control `id` in the page's client
// coordinates; false when the page has no such control.
bool controlRect(CWnd& page, int id, CRect& rect);

// What the panel workers get: 16 bytes, freed by the worker whatever happens.
struct PanelBlock {
  DWORD code = 0;
  DWORD printer = 0;
  DWORD lock = 0;
  DWORD unused = 0;
};
static_assert(sizeof(PanelBlock) == 16);

// The panel pages' Quick Setup file dialog, owned by `owner`: an open dialog
// for an existing file, or a save dialog that confirms overwriting; the
// chosen path, empty when cancelled.
CString chooseQuickSetupFile(CWnd* owner, BOOL open, const CString& filter, const CString& title);
// The printer object's verdict on the Quick Setup file at `path`; the file
// is closed and the object given back. A file that cannot be read answers a
// mismatch; none when the object cannot be borrowed.
std::optional<LONG> verifyQuickSetupPath(CWFPrinterIcon* icon, const CString& path);
constexpr LONG kQuickSetupMismatch = 2;
// A panel page's Quick Setup send: confirm, then choose files until the
// printer takes one. `text` reads the page's strings; a refused file is
// told with text 47 naming `refusedName(path)`.
void sendQuickSetup(CWnd* page, CWFPrinterIcon* icon, const std::function<CString(UINT)>& text,
                    const std::function<CString(const CString&)>& refusedName);
// String `id` of the main program's own library (WFRESDLL): a family's
// library, earlier in the resource chain, uses some of the same numbers.
CString mainProgramString(UINT id);
// WM_WF_QSDONE: the progress dialog in lParam has let its transfer go and goes.
void endQuickSetup(LPARAM dialog);
}  // namespace wf

// Operator-panel page (view 32772, template 341), administrators only.
class CPrtOOpPanel : public CWFPropertyPage {
  DECLARE_DYNCREATE(CPrtOOpPanel)
 public:
  CPrtOOpPanel();
  explicit CPrtOOpPanel(CWFPrinterIcon* icon);

  const DWORD* GetHelpIDs() override { return m_helpIDs; }
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;

  // Draws the four display lines; called from the paint handler.
  virtual void ShowOPText();
  virtual void PositionROPButtons();
  virtual void DrawOpPanel(HDC dc);
  virtual void UpdateCustomData(CDataExchange* dx);
  virtual void ConstructorInit();
  virtual void ExchangeOpPanelInfo(CDataExchange* dx);

  void OnPaint();
  void OnROPButtonPress(UINT id);
  void OnLockOppanel();
  void OnSaveSettings();
  void OnRestoreSettings();
  LRESULT OnQSDone(WPARAM wParam, LPARAM lParam);
  // The chosen path; empty when the dialog was cancelled.
  CString ChooseFile(BOOL open);

  // Worker; the parameter is a button block the worker frees.
  static UINT PressROPButtons(void* block);
  static UINT LockROP(void* block);

  CWFPrinterIcon* GetIcon() const { return m_pIcon; }

 protected:
  BOOL m_bLock = FALSE;
  CWFPrinterIcon* m_pIcon = nullptr;
  DWORD m_helpIDs[26] = {};
  // The display text's context while the paint handler runs; null otherwise.
  CDC* m_pPaintDC = nullptr;
  DECLARE_MESSAGE_MAP()
};

// Statistics page (view 32779, template 342).
class CPrtOStatistics : public CWFPropertyPage {
 public:
  CPrtOStatistics();
  explicit CPrtOStatistics(CWFPrinterIcon* icon);

  const DWORD* GetHelpIDs() override { return m_helpIDs; }
  void DoDataExchange(CDataExchange* dx) override;

  virtual void UpdateCustomData() {}
  // Loads the counters from the icon; saving reads nothing from the printer.
  virtual void ExchangeStatsInfo(CDataExchange* dx);
  virtual void ConstructorInit();
  virtual void OnTrackOn();
  virtual void OnReset();
  virtual void OnRefresh();

  CWFPrinterIcon* GetIcon() const { return m_pIcon; }

 protected:
  DWORD m_powerOnPages = 0;
  DWORD m_userPageCount = 0;
  DWORD m_totalPages = 0;
  CWFPrinterIcon* m_pIcon = nullptr;
  CWnd m_childWnd;
  DWORD m_helpIDs[40] = {};
  DECLARE_MESSAGE_MAP()
};

// Resource-management page (view 32797, template 343): every operation is
// empty here; the family that manages storage derives the working page.
class CPrtOResourceMgmt : public CWFPropertyPage {
 public:
  CPrtOResourceMgmt();
  explicit CPrtOResourceMgmt(CWFPrinterIcon* icon);

  const DWORD* GetHelpIDs() override { return m_helpIDs; }
  void DoDataExchange(CDataExchange* dx) override;

  virtual void ConstructorInit();
  virtual void UpdateCustomData() {}
  virtual void QueryDisk() {}
  virtual void OnListingDone() {}
  virtual void OnNewItem(LPARAM) {}
  virtual void OnResRefresh() {}
  virtual void ExchangeResourceInfo(CDataExchange*) {}
  virtual void OnLVNGetDispInfo(NMHDR*, LRESULT*) {}
  virtual void OnLVNColumnClick(NMHDR*, LRESULT*) {}
  virtual void OnLVNInsertItem(NMHDR*, LRESULT*) {}
  virtual void OnResCopy() {}
  virtual void OnResMove() {}
  virtual void OnResDelete() {}
  virtual void OnResFormat() {}
  virtual void OnDownloadFont() {}
  virtual void OnDownloadDemo() {}
  virtual void OnDownloadOverlay() {}

 protected:
  CWFPrinterIcon* m_pIcon = nullptr;
  CWnd m_childWnd;
  DWORD m_helpIDs[34] = {};
  DECLARE_MESSAGE_MAP()
};
