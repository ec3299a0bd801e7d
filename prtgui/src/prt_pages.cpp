// The base pages: constructors and help tables. What each page shows and
// does is filled in by its own work; the notebook reaches them only through
// their virtual operations.
#include "prtgui/prt_pages.h"

#include <algorithm>
#include <initializer_list>

#include "common/printer_icon.h"
#include "framework/ddx.h"
#include "framework/list_ctrl.h"

namespace {

constexpr const char* kHelpFile = "WRENFLD.HLP";
constexpr int kStatusTemplate = 344;
constexpr int kOpPanelTemplate = 341;
constexpr int kStatisticsTemplate = 342;
constexpr int kResourceTemplate = 343;

// Copies (control, topic) pairs and the closing 0, 0 into a page's table.
template <std::size_t N>
void fillHelpTable(DWORD (&table)[N], std::initializer_list<DWORD> pairs) {
  static_assert(N >= 2);
  std::fill(std::begin(table), std::end(table), 0);
  std::copy_n(pairs.begin(), std::min(pairs.size(), N - 2), table);
}

}  // namespace

// ---- Status ----

CPrtOStatus::CPrtOStatus() : CWFPropertyPage(kStatusTemplate, kHelpFile) {
  ConstructorInit();
}

CPrtOStatus::CPrtOStatus(CWFPrinterIcon* icon) : CPrtOStatus() {
  m_pIcon = icon;
  if (icon) m_model = icon->GetModel();
}

void CPrtOStatus::ConstructorInit() {
  fillHelpTable(m_helpIDs, {1005, 1100, 1001, 1100, 1006, 1100, 1031, 1101, 1030, 1102, 1008, 1103,
                            107,  1103, 1024, 1104, 1068, 1104, 1007, 1105, 1069, 1105, 1057, 9000});
}

// ---- Operator panel ----

IMPLEMENT_DYNCREATE(CPrtOOpPanel, CWFPropertyPage)

CPrtOOpPanel::CPrtOOpPanel() : CWFPropertyPage(kOpPanelTemplate, kHelpFile) {
  m_bLock = FALSE;
  ConstructorInit();
}

CPrtOOpPanel::CPrtOOpPanel(CWFPrinterIcon* icon) : CPrtOOpPanel() {
  m_pIcon = icon;
}

void CPrtOOpPanel::ConstructorInit() {
  fillHelpTable(m_helpIDs, {1033, 403, 1034, 404, 1035, 405, 1036, 406, 1037, 406, 1038, 406,
                            1039, 406, 1040, 406, 1041, 406, 1042, 406, 1043, 406, 1065, 9000});
}

// ---- Statistics ----

BEGIN_MESSAGE_MAP(CPrtOStatistics, CWFPropertyPage)
ON_BN_CLICKED(1018, OnTrackOn)
ON_BN_CLICKED(1017, OnReset)
ON_BN_CLICKED(1019, OnRefresh)
END_MESSAGE_MAP()

CPrtOStatistics::CPrtOStatistics() : CWFPropertyPage(kStatisticsTemplate, kHelpFile) {
  ConstructorInit();
}

CPrtOStatistics::CPrtOStatistics(CWFPrinterIcon* icon) : CPrtOStatistics() {
  m_pIcon = icon;
}

void CPrtOStatistics::ConstructorInit() {
  m_powerOnPages = m_userPageCount = m_totalPages = 0;
  fillHelpTable(m_helpIDs, {1013, 1000, 1060, 1000, 1014, 1001, 1061, 1001, 1015, 1002, 1062, 1002, 1017,
                            1003, 1019, 1009, 1018, 1004, 1010, 1005, 1041, 1005, 1011, 1006, 1042, 1006,
                            1009, 1007, 1040, 1007, 1012, 1008, 1043, 1008, 1063, 9000, 1039, 9000});
}

void CPrtOStatistics::DoDataExchange(CDataExchange* dx) {
  CWFPropertyPage::DoDataExchange(dx);
  UpdateCustomData();
  ExchangeStatsInfo(dx);
  DDX_Text(dx, 1014, m_powerOnPages);
  DDX_Text(dx, 1013, m_userPageCount);
  DDX_Text(dx, 1015, m_totalPages);
}

void CPrtOStatistics::ExchangeStatsInfo(CDataExchange* dx) {
  if (dx->m_bSaveAndValidate || !m_pIcon) return;
  if (m_pIcon->UseCapture()) {
    m_powerOnPages = static_cast<DWORD>(m_pIcon->GetCPowerOnPages());
    m_totalPages = static_cast<DWORD>(m_pIcon->GetCTotalPages());
    m_userPageCount = static_cast<DWORD>(m_pIcon->GetCUserPageCount());
  } else {
    m_powerOnPages = static_cast<DWORD>(m_pIcon->GetPowerOnPages());
    m_totalPages = static_cast<DWORD>(m_pIcon->GetTotalPages());
    m_userPageCount = static_cast<DWORD>(m_pIcon->GetUserPageCount());
  }
  if (CWnd* reset = GetDlgItem(1017)) reset->EnableWindow(m_pIcon->IsUserAdmin());
}

void CPrtOStatistics::OnTrackOn() {
  UpdateData(TRUE);
}

void CPrtOStatistics::OnReset() {
  if (m_pIcon) m_pIcon->UpdatePageCounts(TRUE);
}

void CPrtOStatistics::OnRefresh() {
  if (m_pIcon) m_pIcon->UpdatePageCounts(FALSE);
}

// ---- Resource management ----

// Every entry goes through the virtual, so the family's page is reached.
BEGIN_MESSAGE_MAP(CPrtOResourceMgmt, CWFPropertyPage)
ON_BN_CLICKED(1049, OnResRefresh)
ON_NOTIFY(LVN_GETDISPINFO, 1039, OnLVNGetDispInfo)
ON_NOTIFY(LVN_COLUMNCLICK, 1039, OnLVNColumnClick)
ON_NOTIFY(LVN_INSERTITEM, 1039, OnLVNInsertItem)
ON_BN_CLICKED(1045, OnResCopy)
ON_BN_CLICKED(1046, OnResMove)
ON_BN_CLICKED(1047, OnResDelete)
ON_BN_CLICKED(1048, OnResFormat)
ON_BN_CLICKED(1056, OnDownloadFont)
ON_BN_CLICKED(1057, OnDownloadDemo)
ON_BN_CLICKED(1058, OnDownloadOverlay)
END_MESSAGE_MAP()

CPrtOResourceMgmt::CPrtOResourceMgmt() : CWFPropertyPage(0, kHelpFile) {
  ConstructorInit();
}

CPrtOResourceMgmt::CPrtOResourceMgmt(CWFPrinterIcon* icon) : CWFPropertyPage(kResourceTemplate, kHelpFile) {
  ConstructorInit();
  m_pIcon = icon;
}

void CPrtOResourceMgmt::ConstructorInit() {
  fillHelpTable(m_helpIDs, {1045, 1200, 1046, 1201, 1047, 1202, 1048, 1203, 1049, 1204, 1039,
                            1205, 1053, 1206, 1054, 1207, 1055, 1208, 1050, 1206, 1051, 1207,
                            1052, 1208, 1056, 1209, 1057, 1210, 1058, 1211, 1064, 9000});
}

void CPrtOResourceMgmt::DoDataExchange(CDataExchange* dx) {
  CWFPropertyPage::DoDataExchange(dx);
  UpdateCustomData();
  ExchangeResourceInfo(dx);
}
