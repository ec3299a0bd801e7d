// Virtual operations whose base behaviour is empty, and the slots of the
// menus, notebook and cached data that later work fills.
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

// Image, menus and notebook.
int CWFPrinterIcon::GetRtBtnPopup(CMenu*) {
  return FALSE;
}
int CWFPrinterIcon::AddOpenViewsToMenu(CMenu*) {
  return 0;
}
int CWFPrinterIcon::AddNetworkTabs(CMenu*) {
  return 0;
}
void CWFPrinterIcon::AddObjManipToMenu(CMenu*) {}
void CWFPrinterIcon::AddDownloadsToMenu(CMenu*) {}
void CWFPrinterIcon::AddExtrasToMenu(CMenu*) {}
int CWFPrinterIcon::OpenPrinterA(UINT) {
  return FALSE;
}
int CWFPrinterIcon::GetIconIndex() {
  return GetNormalIconIndex();
}
UINT CWFPrinterIcon::SetDefaultView(UINT view) {
  return m_defaultView = view;
}
int CWFPrinterIcon::GetPageNum(UINT) {
  return -1;
}
int CWFPrinterIcon::NumPagesInNotebook() {
  return 0;
}
int CWFPrinterIcon::GetExtraPageNum(UINT*, int*, UINT) {
  return FALSE;
}
UINT CWFPrinterIcon::NumExtraPages() {
  return 0;
}
int CWFPrinterIcon::AddExtraOpenTabs(CMenu*) {
  return 0;
}
void CWFPrinterIcon::AddExtraOpenPages(CPropertySheet*) {}
int CWFPrinterIcon::HandleExtraMenuCmd(UINT) {
  return FALSE;
}
void CWFPrinterIcon::AddStatusPage(CPropertySheet*) {}
void CWFPrinterIcon::AddOpPanelPage(CPropertySheet*) {}
void CWFPrinterIcon::AddStatsPage(CPropertySheet*) {}
void CWFPrinterIcon::AddResourcePage(CPropertySheet*) {}
void CWFPrinterIcon::AddNetworkPage(CPropertySheet*) {}
int CWFPrinterIcon::AnyNetworkPages() {
  return FALSE;
}
void CWFPrinterIcon::SetOpPanelText(CWFPanelAlertMsg*) {}
void* CWFPrinterIcon::GetROPDataStruct() {
  return nullptr;
}
void CWFPrinterIcon::UpdateOpPanelText() {}
