#include "meridian/mer_statistics.h"

#include "common/app_services.h"
#include "framework/ddx.h"
#include "meridian/meridian_icon.h"

namespace {

constexpr int kTrackBox = 1018, kReset = 1017, kRefresh = 1019;
constexpr int kJobControls[] = {1041, 1010, 1040, 1009, 1042, 1011, 1043, 1012};
constexpr int kShown[] = {1039, 1018, 1040, 1009, 1041, 1010, 1042, 1011, 1043, 1012};

std::time_t jsFiletime() {
  WFAppServices* app = WFGetApp();
  return app ? app->GetJSFiletime().GetTime() : 0;
}

}  // namespace

BEGIN_MESSAGE_MAP(CMerOStatistics, CPrtOStatistics)
END_MESSAGE_MAP()

CMerOStatistics::CMerOStatistics(CWFPrinterIcon* icon) : CPrtOStatistics(icon) {
  ConstructorInit();
  m_pMerIcon = dynamic_cast<CWFMeridianIcon*>(icon);
  if (!m_pMerIcon) return;
  m_tracking = m_pMerIcon->GetTrackingJS() ? TRUE : FALSE;
  if (m_tracking) {
    m_pMerIcon->UpdatePageCounts(FALSE);
    m_pMerIcon->SetUseCapture(TRUE);
  }
  m_admin = m_pMerIcon->IsUserAdmin();
}

void CMerOStatistics::ConstructorInit() {
  CPrtOStatistics::ConstructorInit();
  m_tracking = FALSE;
  m_totalJobs = m_totalSheets = m_totalDuplex = 0;
  m_averageTime.Empty();
  m_fileTime = 0;
  m_admin = FALSE;
}

CString CMerOStatistics::FormatAverage(ULONG seconds) {
  ULONG rest = seconds;
  const ULONG hours = rest > 3599 ? rest / 3600 : 0;
  rest %= 3600;
  const ULONG minutes = rest > 59 ? rest / 60 : 0;
  rest %= 60;
  CString text;
  text.Format("%.02d:%.02d:%.02d", static_cast<int>(hours), static_cast<int>(minutes),
              static_cast<int>(rest));
  return text;
}

void CMerOStatistics::applyEnabling(bool trackBox) {
  if (!m_pMerIcon) return;
  auto enable = [this](int id, bool on) {
    if (CWnd* control = GetDlgItem(id)) control->EnableWindow(on ? TRUE : FALSE);
  };
  if (trackBox) enable(kTrackBox, !m_pMerIcon->GetTurningTrackOn());
  for (int id : kJobControls) enable(id, m_tracking);
  enable(kReset, !m_tracking && m_admin);
  enable(kRefresh, !m_tracking);
}

void CMerOStatistics::DoDataExchange(CDataExchange* dx) {
  CPrtOStatistics::DoDataExchange(dx);
  ExchangeStatsInfo(dx);
  DDX_Check(dx, kTrackBox, m_tracking);
  DDX_Text(dx, 1009, m_totalJobs);
  DDX_Text(dx, 1010, m_totalSheets);
  DDX_Text(dx, 1011, m_totalDuplex);
  DDX_Text(dx, 1012, m_averageTime);
}

BOOL CMerOStatistics::OnInitDialog() {
  for (int id : kShown)
    if (CWnd* control = GetDlgItem(id)) control->ShowWindow(SW_SHOWNA);
  applyEnabling(true);
  const std::time_t fileTime = jsFiletime();
  if (m_pMerIcon && m_tracking && fileTime != 0) {
    m_pMerIcon->SetTurningTrackOn(TRUE);
    // Remembered first, so the refresh below starts no second read.
    m_fileTime = fileTime;
    UpdateData(FALSE);
    m_pMerIcon->ParseJSFileOnThread();
  }
  return CPrtOStatistics::OnInitDialog();
}

void CMerOStatistics::ExchangeStatsInfo(CDataExchange* dx) {
  if (dx->m_bSaveAndValidate || !m_pMerIcon) return;
  m_tracking = m_pMerIcon->GetTrackingJS() ? TRUE : FALSE;
  applyEnabling(true);
  if (m_tracking) {
    const std::time_t fileTime = jsFiletime();
    if (fileTime != 0 && fileTime != m_fileTime) {
      m_fileTime = fileTime;
      m_pMerIcon->ParseJSFileOnThread();
    }
  }
  m_totalJobs = m_pMerIcon->GetTotalJobs();
  m_totalSheets = m_pMerIcon->GetTotalSheets();
  m_totalDuplex = m_pMerIcon->GetTotalDuplex();
  const ULONG average = m_pMerIcon->GetAverageSeconds();
  m_hours = static_cast<int>(average / 3600);
  m_minutes = static_cast<int>(average % 3600 / 60);
  m_seconds = static_cast<int>(average % 60);
  m_averageTime = FormatAverage(average);
}

void CMerOStatistics::OnTrackOn() {
  CPrtOStatistics::OnTrackOn();
  if (!m_pMerIcon) return;
  m_pMerIcon->SetTrackingJS(m_tracking);
  if (m_tracking) {
    const std::time_t fileTime = jsFiletime();
    // Without a file there is nothing to read, and the box must stay usable.
    if (fileTime != 0) m_pMerIcon->SetTurningTrackOn(TRUE);
    m_fileTime = fileTime;
    UpdateData(FALSE);
    m_pMerIcon->UpdatePageCounts(FALSE);
    m_pMerIcon->SetUseCapture(TRUE);
    if (fileTime != 0) m_pMerIcon->ParseJSFileOnThread();
  } else {
    m_pMerIcon->SetTrackingJS(FALSE);
    m_pMerIcon->SetUseCapture(FALSE);
  }
  applyEnabling(true);
}
