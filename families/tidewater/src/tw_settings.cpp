#include "tidewater/tw_settings.h"

#include <cstdlib>

#include "tidewater/tw_fonts.h"

namespace {

constexpr UINT kSources = 4;
constexpr WFTidewaterPrtObj::PAPERSIZES kDefaultSizes[kSources] = {
    WFTidewaterPrtObj::SIZE_LETTER, WFTidewaterPrtObj::SIZE_ENV_COM10, WFTidewaterPrtObj::SIZE_LETTER,
    WFTidewaterPrtObj::SIZE_LETTER};

bool validSource(UINT source) {
  return source >= 1 && source <= kSources;
}

}  // namespace

void CTwSettings::ResetSettings() {
  m_us = 1;
  m_paperSource = 3;
  m_trayLinking = 0;
  m_copies = 1;
  SetFontNumber(0);
  m_pitch = 10;
  m_pointSize = 12;
  SetSymbolSet("8U");
  m_timeout = 0;
  m_powerSaver = 15;
  m_darkness = 3;
  m_linesPerPage = 60;
  m_topMargin = 0;
  m_leftMargin = 0;
  m_orientation = WFTidewaterPrtObj::ORIENT_PORTRAIT;
  m_resolution = WFTidewaterPrtObj::RES_300;
  m_tonerSaver = 0;
  m_pqet = 1;
  m_jamRecovery = 2;
  m_pageProtect = 0;
  m_autoContinue = 0;
  m_honorInit = 0;
  m_lfAfterCr = 0;
  m_crAfterLf = 0;
  m_ppds = 0;
  for (UINT i = 0; i < kSources; ++i) {
    m_paper[i].size = kDefaultSizes[i];
    m_paper[i].type = 0;
  }
}

int CTwSettings::DropPendingQuery() {
  int now = m_pendingQueries.load();
  while (now > 0 && !m_pendingQueries.compare_exchange_weak(now, now - 1)) {
  }
  return now > 0 ? now - 1 : 0;
}

void CTwSettings::SetTWPaperSource(UINT source) {
  if (validSource(source)) m_paperSource = source;
}

void CTwSettings::SetFontNumber(UINT font) {
  if (font >= tidewater::kResidentFonts.size()) return;
  m_fontNumber = font;
  m_pitchFont = tidewater::kResidentFonts[font].fixedPitch ? 1 : 0;
}

CString CTwSettings::GetSymbolSet() const {
  std::lock_guard lock(m_symbolSetLock);
  return m_symbolSet;
}

void CTwSettings::SetSymbolSet(const CString& set) {
  std::lock_guard lock(m_symbolSetLock);
  m_symbolSet = set;
}

void CTwSettings::SetTimeout(UINT seconds) {
  if (seconds < 256) m_timeout = seconds;
}

void CTwSettings::SetPowerSaver(UINT minutes) {
  if (minutes <= 120) m_powerSaver = minutes;
}

void CTwSettings::SetJamRecovery(int recovery) {
  if (recovery == 1 || recovery == 2) m_jamRecovery = recovery;
}

CTwSettings::PAPERSIZES CTwSettings::GetTWPaperSize(UINT source) const {
  return validSource(source) ? static_cast<PAPERSIZES>(m_paper[source - 1].size.load()) : PAPERSIZES{};
}

void CTwSettings::SetTWPaperSize(UINT source, UINT size) {
  if (validSource(source) && size < 256) m_paper[source - 1].size = size;
}

UINT CTwSettings::GetTWPaperType(UINT source) const {
  return validSource(source) ? m_paper[source - 1].type.load() : 0;
}

void CTwSettings::SetTWPaperType(UINT source, UINT type) {
  if (validSource(source) && type <= 4) m_paper[source - 1].type = type;
}

namespace tidewater {

bool IsPPDSCodeLevel(const char* level) {
  const long n = level ? std::strtol(level, nullptr, 10) : 0;
  return (n >= 200 && n <= 399) || (n >= 600 && n <= 799);
}

CString TidewaterMutexName(unsigned short handle) {
  CString name;
  name.Format("%uTidewaterModify", static_cast<unsigned>(handle));
  return name;
}

}  // namespace tidewater
