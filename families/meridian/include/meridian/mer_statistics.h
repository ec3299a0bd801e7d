#pragma once
// The Meridian family's statistics page: the base page's page counts plus
// job-statistics tracking and the totals read back from the job
// statistics file.
#include <ctime>

#include "prtgui/prt_pages.h"

class CWFMeridianIcon;

class CMerOStatistics : public CPrtOStatistics {
 public:
  explicit CMerOStatistics(CWFPrinterIcon* icon);

  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void ExchangeStatsInfo(CDataExchange* dx) override;
  void ConstructorInit() override;
  void OnTrackOn() override;

  // "%.02d:%.02d:%.02d" of a number of seconds.
  static CString FormatAverage(ULONG seconds);

 protected:
  // Which controls may be used; `trackBox` also decides the tracking box.
  void applyEnabling(bool trackBox);
  DECLARE_MESSAGE_MAP()

  int m_tracking = FALSE;
  // Unsigned as the icon's totals: a large total never shows as negative.
  UINT m_totalJobs = 0;
  UINT m_totalSheets = 0;
  UINT m_totalDuplex = 0;
  CString m_averageTime;
  int m_hours = 0, m_minutes = 0, m_seconds = 0;
  std::time_t m_fileTime = 0;
  CWFMeridianIcon* m_pMerIcon = nullptr;
  BOOL m_admin = FALSE;
};
