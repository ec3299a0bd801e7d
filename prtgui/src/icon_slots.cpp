// Virtual operations whose base behaviour is empty, and the slots of the
// menus, notebook, alert handling and cached data that later work fills.
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

// Alert arming, dispatch and presentation.
UINT CWFPrinterIcon::GetInitialAlerts() {
  return m_initialAlerts;
}
void CWFPrinterIcon::IncrementUsageCount() {
  ++m_usageCount;
}
void CWFPrinterIcon::ShowHelpforError() {}
int CWFPrinterIcon::UpdateViews(UINT) {
  return 0;
}
UINT CWFPrinterIcon::ProcessAlert(CWFAlert*) {
  return 0;
}
UINT CWFPrinterIcon::ProcessOpPanelAlert(CWFAlert*) {
  return 0;
}
int CWFPrinterIcon::SetAlerts(short, HWND, ALERTS*) {
  return FALSE;
}
void CWFPrinterIcon::ReleaseAlerts(short) {}
void CWFPrinterIcon::CompleteAlert(CWFAlert*, CWFAlert::ACTIVESTATE, UINT, UINT, CString, UINT, CFilename,
                                   int, int, int) {}
UINT CWFPrinterIcon::ProcessUnknownAlert(CWFAlert*) {
  return 0;
}
UINT CWFPrinterIcon::ProcessDeviceStatusAlert(CWFAlert*) {
  return 0;
}
UINT CWFPrinterIcon::ProcessDSAUnknown(CWFAlert*) {
  return 0;
}
UINT CWFPrinterIcon::ProcessDSAOffLine(CWFAlert*) {
  return 0;
}
UINT CWFPrinterIcon::ProcessDSA_UIR(CWFAlert*) {
  return 0;
}
UINT CWFPrinterIcon::ProcessDSAInput(CWFAlert*) {
  return 0;
}
UINT CWFPrinterIcon::ProcessDSAOutput(CWFAlert*) {
  return 0;
}
UINT CWFPrinterIcon::ProcessDSAWarnings(CWFAlert*) {
  return 0;
}
UINT CWFPrinterIcon::ProcessDSAPaperJam(CWFAlert*) {
  return 0;
}
UINT CWFPrinterIcon::ProcessDSAServiceReq(CWFAlert*) {
  return 0;
}
UINT CWFPrinterIcon::ProcessDSA_CfgChg(CWFAlert*) {
  return 0;
}
UINT CWFPrinterIcon::ProcessDSASupply(CWFAlert*) {
  return 0;
}
UINT CWFPrinterIcon::ProcessUIRAlerts(CWFAlert*, UINT, WFPrtObj::WFPALERTDATA*, UINT) {
  return 0;
}
UINT CWFPrinterIcon::ProcessInputAlerts(CWFAlert*, UINT, WFPrtObj::WFPALERTDATA*, UINT) {
  return 0;
}
UINT CWFPrinterIcon::ProcessCfgChgAlerts(CWFAlert*, UINT, WFPrtObj::WFPALERTDATA*, UINT) {
  return 0;
}
UINT CWFPrinterIcon::ProcessOutputAlerts(CWFAlert*, UINT, WFPrtObj::WFPALERTDATA*, UINT) {
  return 0;
}
UINT CWFPrinterIcon::ProcessPaperJamAlerts(CWFAlert*, UINT, WFPrtObj::WFPALERTDATA*, UINT) {
  return 0;
}
UINT CWFPrinterIcon::ProcessServiceReqAlerts(CWFAlert*, UINT, WFPrtObj::WFPALERTDATA*, UINT) {
  return 0;
}
UINT CWFPrinterIcon::ProcessWarningAlerts(CWFAlert*, UINT, WFPrtObj::WFPALERTDATA*, UINT) {
  return 0;
}
UINT CWFPrinterIcon::ProcessSupplyAlerts(CWFAlert*, UINT, WFPrtObj::WFPALERTDATA*, UINT) {
  return 0;
}
UINT CWFPrinterIcon::ProcessBCEGeneralMsg(CWFAlert*) {
  return 0;
}
int CWFPrinterIcon::AllConnectionsGone(UINT) {
  return FALSE;
}
void CWFPrinterIcon::TurnOnFilteredAlerts(CWFAlertDlgList*) {}
void CWFPrinterIcon::ClearRemovedAlerts(CWFAlertDlgList*) {}
void CWFPrinterIcon::SetBceAlerts(CWFAlertDlgList*, ALERTS*, int) {}
CWFPrinterIcon::ALERT_ACTION CWFPrinterIcon::FilterAlerts(CWFAlertMsg*) {
  return ALERT_SHOW;
}
void CWFPrinterIcon::SetInitialAlerts(ALERTS* alerts) {
  if (alerts) m_initialAlerts = alerts->mask;
}
void CWFPrinterIcon::ActivateInitialAlerts() {}
void CWFPrinterIcon::UpdateAlertList(CWFAlertDlgList*) {}
