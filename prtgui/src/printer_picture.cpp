#include "prtgui/printer_picture.h"

#include "common/printer_icon.h"

namespace wf {

namespace {

constexpr UINT kLegalSize = 7;

}  // namespace

PicturePlan decodeImageIds(const PictureOptions& o) {
  PicturePlan plan;
  const bool legalFirst = o.firstTraySize == kLegalSize && !o.ignorePaperSize;
  const bool legalSecond = o.secondTraySize == kLegalSize && !o.ignorePaperSize;
  const bool legalThird = o.thirdTraySize == kLegalSize && !o.ignorePaperSize;
  UINT base = 3622;
  UINT running = base;
  bool big = false;
  auto draw = [&](UINT id, bool top, bool left) { plan.pictures.push_back({id, top, left}); };

  if (o.firstTrayCapacity == 500 && !o.ignorePaperSize) {
    running = 3611;
    draw(o.secondTray ? 3605 : 3604, false, false);
  } else if (o.secondTray && o.secondTrayCapacity == 200) {
    big = true;
    base = running = 3700;
    draw(3700, true, true);
    if (o.thirdTray) draw(3665, false, false);
  } else if (o.secondTray) {
    draw(3603, false, false);
  }

  const UINT feeder = o.dualFeeder ? 3660 : o.envelopeFeeder ? 3607 : 0;
  if (feeder) draw(feeder + (big ? 1 : 0), true, false);

  if (legalFirst) running += 6;
  if (o.duplex) running += 1;
  if (o.secondTray) {
    if (!big) running += 2;
    if (legalSecond) running += 2;
  }
  if (o.thirdTray) running += legalThird ? 30 : 20;

  plan.combined = running != base;
  if (plan.combined) draw(running, false, true);
  return plan;
}

PictureOptions pictureOptionsOf(CWFPrinterIcon& icon) {
  PictureOptions o;
  o.ignorePaperSize = icon.IgnorePaperSizeInGraphic() != 0;
  o.firstTrayCapacity = icon.GetTrayCapacity(7103);
  o.firstTraySize = icon.GetTraySize(7103);
  o.secondTray = icon.GetTrayAttached(7104) != 0;
  o.secondTrayCapacity = icon.GetTrayCapacity(7104);
  o.secondTraySize = icon.GetTraySize(7104);
  o.thirdTray = icon.GetTrayAttached(7105) != 0;
  o.thirdTraySize = icon.GetTraySize(7105);
  o.dualFeeder = icon.GetDualFeeder() != 0;
  o.envelopeFeeder = icon.GetAutoEnvelope() != 0 || icon.GetAuxFeeder() != 0;
  o.duplex = icon.GetDuplexOption() != 0;
  return o;
}

}  // namespace wf
