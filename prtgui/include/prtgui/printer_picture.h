#pragma once
// Which bitmaps the status page copies onto the printer picture (bitmap
// 3600) for the options a printer has installed, and where: the rule behind
// the page's DecodeImage, kept apart from drawing so every option set can be
// checked against the pictures WFGUIDLL holds.
#include <vector>

#include "platform/win_types.h"

class CWFPrinterIcon;

namespace wf {

// Tray 7103 is the first tray, 7104 the second, 7105 the third.
struct PictureOptions {
  bool ignorePaperSize = false;  // IgnorePaperSizeInGraphic
  UINT firstTrayCapacity = 0;
  UINT firstTraySize = 0;
  bool secondTray = false;
  UINT secondTrayCapacity = 0;
  UINT secondTraySize = 0;
  bool thirdTray = false;
  UINT thirdTraySize = 0;
  bool dualFeeder = false;
  bool envelopeFeeder = false;  // automatic envelope or auxiliary feeder
  bool duplex = false;
};

// A bitmap copied at y 0 (top) or bottom-aligned, at x 0 (left) or right-aligned.
struct OptionPicture {
  UINT id = 0;
  bool top = false;
  bool left = false;
  bool operator==(const OptionPicture&) const = default;
};

struct PicturePlan {
  std::vector<OptionPicture> pictures;  // in drawing order
  bool combined = false;                // the last one is a combined lower-body picture
};

PicturePlan decodeImageIds(const PictureOptions& options);

// The options as the icon's cached data has them.
PictureOptions pictureOptionsOf(CWFPrinterIcon& icon);

}  // namespace wf
