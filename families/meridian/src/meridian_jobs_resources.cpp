// Job statistics and resource management on the Meridian icon: the totals
// and accessors the pages read (the job lines and the file are in
// meridian_job_stats.cpp, the disk and flash operations in
// meridian_resources.cpp).
#include <new>

#include "meridian/meridian_icon.h"

// ---- Job statistics ----

void CWFMeridianIcon::SetTrackingJS(int tracking) {
  const BOOL on = tracking ? TRUE : FALSE;
  if (m_bTrackingJS.exchange(on) != on) ActivateJobStatAlerts(on);
}

BOOL CWFMeridianIcon::GetTrackingJS() {
  return m_bTrackingJS;
}

void CWFMeridianIcon::SetTurningTrackOn(BOOL on) {
  m_bTurningTrackOn = on;
}

BOOL CWFMeridianIcon::GetTurningTrackOn() {
  return m_bTurningTrackOn;
}

ULONG CWFMeridianIcon::GetTotalSheets() {
  return m_totalSheets;
}

ULONG CWFMeridianIcon::GetTotalDuplex() {
  return m_totalDuplex;
}

ULONG CWFMeridianIcon::GetTotalJobs() {
  return m_totalJobs;
}

ULONG CWFMeridianIcon::GetAverageSeconds() {
  const ULONG jobs = m_totalJobs;
  return jobs ? m_totalSeconds / jobs : 0;
}

void CWFMeridianIcon::UpdateTotalSheets(ULONG sheets) {
  m_totalSheets += sheets;
}

void CWFMeridianIcon::UpdateTotalDuplex(ULONG sheets) {
  m_totalDuplex += sheets;
}

void CWFMeridianIcon::UpdateTotalSeconds(ULONG seconds) {
  m_totalSeconds += seconds;
}

void CWFMeridianIcon::IncrementTotalJobs() {
  ++m_totalJobs;
}

WFPrtObj::JSALERTDATA* CWFMeridianIcon::AllocJobStatData() {
  return new (std::nothrow) WFPrtObj::JSALERTDATA;
}

const char* CWFMeridianIcon::GetExtraJobStatFields(WFPrtObj::JSALERTDATA*, USHORT) {
  return nullptr;
}
