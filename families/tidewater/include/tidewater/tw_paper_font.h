#pragma once
// The paper and font page's settings: what its workers read, send and reset.
#include "tidewater/tw_settings_page.h"

namespace tidewater {

// Rows of kPaperFontTable; a change flag is the bit of its row. The rows
// marked "defaults" carry no flag: only Defaults writes and sends them.
enum PaperFontRow {
  kPfUsRow,
  kPfSourceRow,
  kPfSizeRow,  // reads every source's size and the types of sources 1 and 3
  kPfTypeRow,
  kPfDefaultSizesRow,  // defaults: the sizes of sources 3, 4, 1 and 2
  kPfDefaultTypesRow,  // defaults: the types of sources 3 and 1
  kPfTrayLinkingRow,
  kPfCopiesRow,
  kPfFontRow,
  kPfPitchRow,
  kPfPointRow,
  kPfSymbolSetRow,
};

extern const PageTable kPaperFontTable;

}  // namespace tidewater
