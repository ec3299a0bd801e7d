#pragma once
// The presentation page's settings: what its workers read, send and reset.
#include "tidewater/tw_settings_page.h"

namespace tidewater {

// Rows of kPresentationTable; a change flag is the bit of its row. PQET is
// read before the toner saver but sent after it, so it has two rows.
enum PresentationRow {
  kPrUsRow,
  kPrResolutionRow,
  kPrDarknessRow,
  kPrLinesRow,
  kPrTopRow,
  kPrLeftRow,
  kPrOrientationRow,
  kPrPQETReadRow,
  kPrTonerSaverRow,
  kPrPQETRow,
};

extern const PageTable kPresentationTable;

}  // namespace tidewater
