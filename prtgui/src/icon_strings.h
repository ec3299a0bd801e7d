#pragma once
// Resource strings the icon shows: WFGUIDLL's own, and the main program's
// (which the resource chain searches first).
#include "framework/cstring.h"

namespace wf::prtgui {

enum StringId : UINT {
  // WFGUIDLL
  kStatusReady = 540,
  kStatusNoBidi = 541,
  kModelMaker = 561,
  kModelKind = 562,
  kSize10 = 563,
  kSize12HighCapacity = 564,
  kSize12 = 565,
  kSize16 = 566,
  kDefaultPrinterName = 567,
  kGhostName = 574,
  kGhostStatus = 575,
  kToolKitCaption = 629,
  kToolKitMissing = 630,
  // the main program's
  kUnknownBidiPrinter = 28,
  kBidiLost = 51,
};

inline CString loadString(UINT id) {
  CString text;
  text.LoadString(id);
  return text;
}

}  // namespace wf::prtgui
