#pragma once
// The Meridian family's operator-panel page: the base page's behaviour,
// with the family's button layout and panel picture.
#include "prtgui/prt_pages.h"

class CMerOOpPanel : public CPrtOOpPanel {
 public:
  explicit CMerOOpPanel(CWFPrinterIcon* icon) : CPrtOOpPanel(icon) {}

  void PositionROPButtons() override;
  void DrawOpPanel(HDC dc) override;
};
