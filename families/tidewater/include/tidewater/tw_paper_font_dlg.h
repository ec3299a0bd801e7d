#pragma once
// The paper and font page of a Tidewater printer's notebook (template 742 of
// TWGUIDLL): the paper source with each source's size and type, tray
// linking, copies, and the default font with its pitch or point size and
// symbol set.
#include <vector>

#include "framework/controls.h"
#include "tidewater/tw_settings_page.h"

class CTwPaperFont : public CTwSettingsPage {
 public:
  explicit CTwPaperFont(CWFPrinterIcon* icon);

  const DWORD* GetHelpIDs() override;
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;

  void OnSetPaperfont();
  void OnDefaultPaperfont();
  void OnSelchangePaperSource();
  void OnSelchangePaperSize();
  void OnSelchangePaperType();
  void OnSelchangeFont();
  void OnSelchangeSymbolSet();
  void OnTrayLinking();
  void OnChangeEditCopies();
  void OnChangeEditPitch();
  void OnChangeEditPointSize();

 protected:
  void StoreControls() override;
  CWnd* SetButton() override { return &m_setButton; }

 private:
  // Every list as the cache says, with pitch or point size enabled by the
  // cached font: a cached value the lists lack is never shown as another.
  void ShowCache();
  // The symbol sets of `font`, the cached one selected; one the list lacks
  // shows entry 0, a change to send like a user's choice (`forced`: even
  // before the page holds the printer's values).
  void FillSymbolSets(UINT font, bool forced);
  // The sizes and types of `source`, the cached ones selected.
  void FillPapers(UINT source);
  // Enables pitch for a fixed-pitch font, point size for the others.
  void ShowFontControls(UINT font);
  // What the lists show now; the cache's when nothing is selected.
  UINT ShownSource() const;
  UINT ShownFont() const;
  CString ShownSymbolSet() const;
  // The size code of the selected size name; none selected: -1.
  int ShownSizeCode() const;
  bool Tray2Attached() const;
  UINT EditValue(int id) const;

 protected:
  CButton m_setButton;
  CComboBox m_sourceList;
  CComboBox m_sizeList;
  CComboBox m_typeList;
  CComboBox m_fontList;
  CComboBox m_symbolSetList;
  CSpinButtonCtrl m_copiesSpin;
  CSpinButtonCtrl m_pitchSpin;
  CSpinButtonCtrl m_pointSizeSpin;
  UINT m_copies = 1;
  UINT m_pitch = 10;
  UINT m_pointSize = 12;
  int m_trayLinking = 0;
  std::vector<int> m_symbolSetRows;  // the rows the symbol-set list shows
  DECLARE_MESSAGE_MAP()
};
