#pragma once
// The advanced settings page of a Tidewater printer's notebook (template 744
// of TWGUIDLL): nine settings of the icon's cache, and four one-shot
// actions (test page, flash directory, factory defaults, PPDS on or off).
#include "framework/controls.h"
#include "tidewater/tw_settings_page.h"

namespace tidewater {

// The advanced page's settings, in reading order.
extern const PageTable kAdvancedTable;

// A one-shot action of the advanced page.
enum class AdvancedAction : DWORD { TestPage = 0, PrintDirectory = 1, FactoryDefaults = 2, PPDS = 3 };

// A settings page refreshed after factory defaults; no window: not shown.
struct PageRefresh {
  HWND window = 0;
  const PageTable* table = nullptr;
};

struct ActionBlock {
  AdvancedAction action = AdvancedAction::TestPage;
  USHORT printer = 0;
  BOOL ppds = 0;
  // The paper and font page, the presentation page and the advanced page.
  PageRefresh refresh[3];
};

// The action's one call; factory defaults then reread the shown settings
// pages, in order, on this thread.
UINT TidewaterAdvFunction(void* block);

}  // namespace tidewater

class CTwAdvDlg : public CTwSettingsPage {
 public:
  explicit CTwAdvDlg(CWFPrinterIcon* icon);

  const DWORD* GetHelpIDs() override;
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;

  void OnTidewaterTestPage();
  void OnEnablePPDS();
  void OnAdvDefaults();
  void OnAdvSet();
  void OnFactoryDefaults();
  void OnFlashDir();
  void OnChangeAutoContinue();
  void OnChangeCrAfterLf();
  void OnChangeHonorInit();
  void OnChangeLfAfterCr();
  void OnChangePageProtect();
  void OnChangeUsDefaults();
  void OnChangeEditPowerSaver();
  void OnChangeEditTimeout();
  void OnSelchangeJamRecovery();

 protected:
  void StoreControls() override;
  CWnd* SetButton() override { return &m_setButton; }

 private:
  void StartAction(tidewater::AdvancedAction action, const char* label);
  void ShowPPDSText();
  void CheckChanged(int id);
  UINT EditValue(int id) const;

 protected:
  CButton m_setButton;
  CComboBox m_jamList;
  CButton m_ppdsButton;
  CSpinButtonCtrl m_powerSaverSpin;
  CSpinButtonCtrl m_timeoutSpin;
  UINT m_powerSaver = 0;
  UINT m_timeout = 0;
  int m_pageProtect = 0;
  int m_autoContinue = 0;
  int m_honorInit = 0;
  int m_usDefaults = 0;
  int m_lfAfterCr = 0;
  int m_crAfterLf = 0;
  DECLARE_MESSAGE_MAP()
};
