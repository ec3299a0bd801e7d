#pragma once
// The presentation page of a Tidewater printer's notebook (template 743 of
// TWGUIDLL): resolution, darkness, lines per page, margins, orientation,
// toner saver and PQET. At 600 dpi the printer has neither toner saver nor
// PQET, and PQET has no effect while the toner saver is on.
#include "framework/controls.h"
#include "tidewater/tw_settings_page.h"

class CTwPresentDlg : public CTwSettingsPage {
 public:
  explicit CTwPresentDlg(CWFPrinterIcon* icon);

  const DWORD* GetHelpIDs() override;
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;

  void OnSelchangeResolution();
  void OnSelchangeDarkness();
  void OnChangeLines();
  void OnChangeTopMargin();
  void OnChangeLeftMargin();
  void OnOrientation();
  void OnTonerSaver();
  void OnPQET();
  void OnPresSet();
  void OnPresDefaults();

 protected:
  void StoreControls() override;
  CWnd* SetButton() override { return &m_setButton; }

 private:
  // Enables the toner saver and PQET as the shown resolution and toner saver allow.
  void EnableChecks();
  int EditValue(int id) const;
  BOOL Checked(int id) const;

 protected:
  CButton m_setButton;
  CComboBox m_resolutionList;
  CComboBox m_darknessList;
  CSpinButtonCtrl m_linesSpin;
  CSpinButtonCtrl m_topSpin;
  CSpinButtonCtrl m_leftSpin;
  UINT m_lines = 0;
  int m_top = 0;
  int m_left = 0;
  int m_orientation = 0;  // the checked radio button: 0 portrait, 1 landscape
  int m_tonerSaver = 0;
  int m_pqet = 0;
  DECLARE_MESSAGE_MAP()
};
