#pragma once
// WFTidewaterPrtObj: the Tidewater family's printer object, a WFPrtObj with
// the remote operator-panel settings calls. The printer manager makes it for
// family keys 3 and 8; the family module only borrows it.
//
// The wire (ours):
// - A Set is the broker's PJL request of its setting (codes 4096 to 4130),
//   the "!" replaced by the value in decimal (the symbol set by its
//   identifier, pitch and point size as whole numbers), sent without a reply.
// - A Get reads the panel variable 0x0400 + (code - 4096) and takes its text
//   strictly: decimal digits only (a leading "-" for the margins), at most
//   five characters, within the setting's range; a symbol set is one to three
//   digits then one letter. Anything else answers -2 and keeps bidi on.
// - Sources 1 to 4 are the manual paper feed, the manual envelope feed, tray
//   1 and tray 2. The envelope feed has no paper type: its Get answers 0,
//   its Set of 0 answers 0 without traffic, any other value -15.
// - PrintDarkness is DENSITY, LinesPerPage FORMLINES, EconomyMode ECONOMODE,
//   PQET RET, LFafterCR LAUTOCRLF, CRafterLF LAUTOLFCR, PPDSEnable LPPDS,
//   NonUSDefaults the inverse of LUSDEFAULTS; the others name their setting.
// - A Set outside the setting's range answers -15 and sends nothing.
#include <cstdint>

#include "framework/cstring.h"
#include "prtobj/wfprtobj.h"

namespace wfpo_tid {
struct Range;  // the values a setting takes
}  // namespace wfpo_tid

class WFTidewaterPrtObj : public WFPrtObj {
 public:
  enum PAPERSOURCES {
    SOURCE_MANUAL_PAPER = 1,
    SOURCE_MANUAL_ENVELOPE = 2,
    SOURCE_TRAY1 = 3,
    SOURCE_TRAY2 = 4,
  };
  enum ORIENTATIONS { ORIENT_PORTRAIT = 0, ORIENT_LANDSCAPE = 1 };
  enum Resolution { RES_300 = 300, RES_600 = 600 };
  enum PrintDarkness { DARK_LIGHTEST = 1, DARK_LIGHT = 2, DARK_NORMAL = 3, DARK_DARK = 4, DARK_DARKEST = 5 };
  enum PAPERSIZES {
    SIZE_LETTER = 1,
    SIZE_EXECUTIVE = 7,
    SIZE_A4 = 9,
    SIZE_LEGAL = 22,
    SIZE_B5 = 23,
    SIZE_A5 = 53,
    SIZE_ENV_DL = 83,
    SIZE_ENV_C5 = 84,
    SIZE_ENV_B5 = 88,
    SIZE_ENV_MONARCH = 128,
    SIZE_ENV_COM9 = 129,
    SIZE_ENV_COM10 = 130,
    SIZE_OTHER = 255,
  };
  enum PAPERTYPES {
    TYPE_PLAIN = 0,
    TYPE_TRANSPARENCY = 1,
    TYPE_LABELS = 2,
    TYPE_CARD_STOCK = 3,
    TYPE_ENVELOPE = 4
  };

  WFTidewaterPrtObj() = default;
  WFTidewaterPrtObj(USHORT handle, BOOL initBidi) : WFPrtObj(handle, initBidi) {}
  WFTidewaterPrtObj(USHORT handle, ULONG printerType, BOOL initBidi)
      : WFPrtObj(handle, printerType, initBidi) {}

  // The panel lock is not used by this family: both answer 0, the query
  // storing "unlocked".
  LONG bidiROPQueryLock(int* locked) override;
  LONG bidiROPSetLock(BOOL lock) override;

  LONG bidiROPGetPageProtect(int* value);
  LONG bidiROPSetPageProtect(int value);
  LONG bidiROPGetAutoContinue(int* value);
  LONG bidiROPSetAutoContinue(int value);
  LONG bidiROPGetHonorInit(int* value);
  LONG bidiROPSetHonorInit(int value);
  LONG bidiROPGetLFafterCR(int* value);
  LONG bidiROPSetLFafterCR(int value);
  LONG bidiROPGetCRafterLF(int* value);
  LONG bidiROPSetCRafterLF(int value);
  LONG bidiROPGetNonUSDefaults(int* value);
  LONG bidiROPSetNonUSDefaults(int value);
  LONG bidiROPGetPPDSEnable(int* value);
  LONG bidiROPSetPPDSEnable(int value);
  LONG bidiROPGetTrayLinking(int* value);
  LONG bidiROPSetTrayLinking(int value);
  LONG bidiROPGetEconomyMode(int* value);
  LONG bidiROPSetEconomyMode(int value);
  LONG bidiROPGetPQET(int* value);
  LONG bidiROPSetPQET(int value);
  LONG bidiROPGetTopMargin(int* value);
  LONG bidiROPSetTopMargin(int value);
  LONG bidiROPGetLeftMargin(int* value);
  LONG bidiROPSetLeftMargin(int value);
  LONG bidiROPGetJamRecovery(int* value);
  LONG bidiROPSetJamRecovery(int value);

  LONG bidiROPGetPowerSaver(unsigned int* value);
  LONG bidiROPSetPowerSaver(unsigned int value);
  LONG bidiROPGetPrintTimeout(unsigned int* value);
  LONG bidiROPSetPrintTimeout(unsigned int value);
  LONG bidiROPGetNumOfCopies(unsigned int* value);
  LONG bidiROPSetNumOfCopies(unsigned int value);
  LONG bidiROPGetFontNumber(unsigned int* value);
  LONG bidiROPSetFontNumber(unsigned int value);
  LONG bidiROPGetLinesPerPage(unsigned int* value);
  LONG bidiROPSetLinesPerPage(unsigned int value);

  LONG bidiROPGetPitch(float* value);
  LONG bidiROPSetPitch(float value);
  LONG bidiROPGetPointSize(float* value);
  LONG bidiROPSetPointSize(float value);

  LONG bidiROPGetPaperSource(PAPERSOURCES* value);
  LONG bidiROPSetPaperSource(PAPERSOURCES value);
  LONG bidiROPGetOrientation(ORIENTATIONS* value);
  LONG bidiROPSetOrientation(ORIENTATIONS value);
  LONG bidiROPGetResolution(Resolution* value);
  LONG bidiROPSetResolution(Resolution value);
  LONG bidiROPGetPrintDarkness(PrintDarkness* value);
  LONG bidiROPSetPrintDarkness(PrintDarkness value);

  LONG bidiROPGetPaperSize(PAPERSOURCES source, PAPERSIZES* value);
  LONG bidiROPSetPaperSize(PAPERSOURCES source, PAPERSIZES value);
  LONG bidiROPGetPaperType(PAPERSOURCES source, PAPERTYPES* value);
  LONG bidiROPSetPaperType(PAPERSOURCES source, PAPERTYPES value);

  LONG bidiROPGetSymbolSet(CString* value);
  LONG bidiROPSetSymbolSet(const CString& value);

  LONG bidiROPPrintTestPage();
  LONG bidiROPPrintDirectory();
  LONG bidiROPSetFactoryDefaults();

  // A symbol set identifier as the printer takes it: one to three digits,
  // then one letter.
  static bool isSymbolSet(const char* text, std::size_t length);

 private:
  LONG setNumber(USHORT code, long value, const wfpo_tid::Range& range);
  LONG getNumber(USHORT code, const wfpo_tid::Range& range, long* value);
  LONG setText(USHORT code, const char* text);
  LONG readText(USHORT code, std::string* text);
};
