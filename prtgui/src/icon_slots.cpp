// Virtual operations whose base behaviour is empty, and the slots of the
// cached data that later work fills.
// Until then each answers neutrally: nothing added, nothing processed.
#include "common/printer_icon.h"

void CWFPrinterIcon::Serialize(void*) {}
void CWFPrinterIcon::AssertValid() const {}
void CWFPrinterIcon::Dump(void*) const {}
void CWFPrinterIcon::OnConnectionUpdated() {}
int CWFPrinterIcon::IgnorePaperSizeInGraphic() {
  return FALSE;
}
void CWFPrinterIcon::OnSetStatus(const char*, const char*) {}
void CWFPrinterIcon::SetTrackingJS(int) {}
void CWFPrinterIcon::OnRefresh() {}
short CWFPrinterIcon::GetSpoolBufferPercent(int, unsigned char*) {
  return 0;
}

// ---- Not built yet: neutral answers ----

// Cached printer data.
int CWFPrinterIcon::SupportInputLevels() {
  return FALSE;
}
int CWFPrinterIcon::SupportColorLevels() {
  return FALSE;
}
