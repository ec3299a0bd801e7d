#pragma once
// CKYStatus: the status page of a Keystone printer. Its picture is one bitmap
// of the family's resources: the first hard error's, or the printer (3600),
// each 1000 higher when the optional tray 7105 is attached; the base page's
// options are never drawn on it.
#include "prtgui/prt_pages.h"

class CKYStatus : public CPrtOStatus {
 public:
  explicit CKYStatus(CWFPrinterIcon* icon) : CPrtOStatus(icon) {}

  void CreatePrinterGraphic() override;
  int DecodeImage(CDC* dc, CPoint size) override;
  // The bitmap the picture shows now.
  UINT GetPictureId() const;
};
