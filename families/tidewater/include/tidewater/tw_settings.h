#pragma once
// The Tidewater icon's cache of the printer's remote operator-panel
// settings. Workers write it under the printer's settings mutex while the
// pages read it on the interface thread, so every word is atomic and the
// symbol set sits behind a lock of its own (its getter returns a copy).
// Setters store without any request to the printer and ignore values
// outside their ranges.
#include <array>
#include <atomic>
#include <mutex>

#include "framework/cstring.h"
#include "wfpo_tid/wfpo_tid.h"

class CTwSettings {
 public:
  using PAPERSIZES = WFTidewaterPrtObj::PAPERSIZES;
  using ORIENTATIONS = WFTidewaterPrtObj::ORIENTATIONS;
  using Resolution = WFTidewaterPrtObj::Resolution;

  CTwSettings() { ResetSettings(); }
  CTwSettings(const CTwSettings&) = delete;
  CTwSettings& operator=(const CTwSettings&) = delete;

  // The defaults an icon starts with. Jam recovery starts at 2.
  void ResetSettings();

  // Settings-page workers started and not yet answered; never below 0.
  int AddPendingQuery() { return ++m_pendingQueries; }
  int DropPendingQuery();
  int GetPendingQueries() const { return m_pendingQueries; }
  void ResetPendingQueries() { m_pendingQueries = 0; }

  BOOL IsUS() const { return m_us; }
  void SetUS(BOOL on) { m_us = on; }
  UINT GetTWPaperSource() const { return m_paperSource; }
  void SetTWPaperSource(UINT source);  // 1 to 4
  BOOL GetTrayLinking() const { return m_trayLinking; }
  void SetTrayLinking(BOOL on) { m_trayLinking = on; }
  UINT GetNumCopies() const { return m_copies; }
  void SetNumCopies(UINT copies) { m_copies = copies; }
  UINT GetFontNumber() const { return m_fontNumber; }
  // Above 25 ignored; else also the font's pitch flag from the font table.
  void SetFontNumber(UINT font);
  UINT GetPitchSize() const { return m_pitch; }
  void SetPitchSize(UINT pitch) { m_pitch = pitch; }
  UINT GetPointSize() const { return m_pointSize; }
  void SetPointSize(UINT size) { m_pointSize = size; }
  BOOL IsPitchFont() const { return m_pitchFont; }
  CString GetSymbolSet() const;
  void SetSymbolSet(const CString& set);
  UINT GetTimeout() const { return m_timeout; }
  void SetTimeout(UINT seconds);  // below 256
  UINT GetPowerSaver() const { return m_powerSaver; }
  void SetPowerSaver(UINT minutes);  // 120 or less
  UINT GetDarkness() const { return m_darkness; }
  void SetDarkness(UINT darkness) { m_darkness = darkness; }
  UINT GetLinesPerPage() const { return m_linesPerPage; }
  void SetLinesPerPage(UINT lines) { m_linesPerPage = lines; }
  int GetTopMargin() const { return m_topMargin; }
  void SetTopMargin(int margin) { m_topMargin = margin; }
  int GetLeftMargin() const { return m_leftMargin; }
  void SetLeftMargin(int margin) { m_leftMargin = margin; }
  ORIENTATIONS GetOrientation() const { return m_orientation; }
  void SetOrientation(ORIENTATIONS orientation) { m_orientation = orientation; }
  Resolution GetResolution() const { return m_resolution; }
  void SetResolution(Resolution resolution) { m_resolution = resolution; }
  BOOL GetTonerSaver() const { return m_tonerSaver; }
  void SetTonerSaver(BOOL on) { m_tonerSaver = on; }
  BOOL GetPQET() const { return m_pqet; }
  void SetPQET(BOOL on) { m_pqet = on; }
  int GetJamRecovery() const { return m_jamRecovery; }
  void SetJamRecovery(int recovery);  // 1 or 2 only
  BOOL GetPageProtect() const { return m_pageProtect; }
  void SetPageProtect(BOOL on) { m_pageProtect = on; }
  BOOL GetAutoContinue() const { return m_autoContinue; }
  void SetAutoContinue(BOOL on) { m_autoContinue = on; }
  BOOL GetHonorInit() const { return m_honorInit; }
  void SetHonorInit(BOOL on) { m_honorInit = on; }
  BOOL GetLFafterCR() const { return m_lfAfterCr; }
  void SetLFafterCR(BOOL on) { m_lfAfterCr = on; }
  BOOL GetCRafterLF() const { return m_crAfterLf; }
  void SetCRafterLF(BOOL on) { m_crAfterLf = on; }
  BOOL GetPPDS() const { return m_ppds; }
  void SetPPDS(BOOL on) { m_ppds = on; }
  // Sources 1 to 4; any other source answers 0 and stores nothing.
  PAPERSIZES GetTWPaperSize(UINT source) const;
  void SetTWPaperSize(UINT source, UINT size);  // below 256
  UINT GetTWPaperType(UINT source) const;
  void SetTWPaperType(UINT source, UINT type);  // 4 or less

 private:
  struct Paper {
    std::atomic<UINT> size{0};
    std::atomic<UINT> type{0};
  };

  std::atomic<int> m_pendingQueries{0};
  std::atomic<BOOL> m_us{1};
  std::atomic<UINT> m_paperSource{3};
  std::atomic<BOOL> m_trayLinking{0};
  std::atomic<UINT> m_copies{1};
  std::atomic<UINT> m_fontNumber{0};
  std::atomic<UINT> m_pitch{10};
  std::atomic<UINT> m_pointSize{12};
  std::atomic<BOOL> m_pitchFont{1};
  mutable std::mutex m_symbolSetLock;
  CString m_symbolSet;
  std::atomic<UINT> m_timeout{0};
  std::atomic<UINT> m_powerSaver{15};
  std::atomic<UINT> m_darkness{3};
  std::atomic<UINT> m_linesPerPage{60};
  std::atomic<int> m_topMargin{0};
  std::atomic<int> m_leftMargin{0};
  std::atomic<ORIENTATIONS> m_orientation{WFTidewaterPrtObj::ORIENT_PORTRAIT};
  std::atomic<Resolution> m_resolution{WFTidewaterPrtObj::RES_300};
  std::atomic<BOOL> m_tonerSaver{0};
  std::atomic<BOOL> m_pqet{1};
  std::atomic<int> m_jamRecovery{2};
  std::atomic<BOOL> m_pageProtect{0};
  std::atomic<BOOL> m_autoContinue{0};
  std::atomic<BOOL> m_honorInit{0};
  std::atomic<BOOL> m_lfAfterCr{0};
  std::atomic<BOOL> m_crAfterLf{0};
  std::atomic<BOOL> m_ppds{0};
  std::array<Paper, 4> m_paper;
};

// What the Tidewater icon gives its settings pages beside the cache: the
// pages' workers find the icon by handle and reach this part by cast.
class CTwSettingsHost : public CTwSettings {
 public:
  // The settings-change mutex's name, shared by every icon of the printer.
  virtual CString GetTidewaterMutex() = 0;
  // Whether the printer's base code level handles PPDS.
  virtual BOOL GetPPDSCapable() = 0;

 protected:
  ~CTwSettingsHost() = default;
};

namespace tidewater {

// Whether a base code level handles PPDS: its leading decimal digits (none
// read as 0) from 200 to 399 or from 600 to 799.
bool IsPPDSCodeLevel(const char* level);

// The family's settings-change mutex of a printer: the handle in decimal,
// then "TidewaterModify"; every icon and process showing it shares it.
CString TidewaterMutexName(unsigned short handle);

}  // namespace tidewater
