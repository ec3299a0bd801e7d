#pragma once
// CKYTrayLevels: the notebook page (template 350) that shows the paper level
// of the Keystone trays 7103, 7104 and 7105 as gauges and level names, each
// only while its tray is attached. It reads the icon's tray table alone.
#include "common/small_controls.h"
#include "framework/ddx.h"
#include "prtgui/wf_property_page.h"

class CWFKstoneIcon;
class CWFPrinterIcon;

class CKYTrayLevels : public CWFPropertyPage {
 public:
  static constexpr int kControlCount = 22;
  static constexpr int kLevelCount = 7;

  explicit CKYTrayLevels(CWFKstoneIcon* icon);

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;

  // The gauge of `tray` (7103 to 7105), for its level and colours.
  CGasGauge& GetGauge(UINT tray);

 protected:
  // Reads the attached trays' level names and levels again and shows them.
  void UpdateLevels();

  CStatic m_controls[kControlCount];
  CString m_levelTexts[kLevelCount];
  CWFPrinterIcon* m_pIcon = nullptr;  // its tray table is the base icon's
  CGasGauge m_gauges[kLevelCount];
};
