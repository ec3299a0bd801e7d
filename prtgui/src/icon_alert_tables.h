#pragma once
// The alert types the icon itself knows: the rows of its base alert states.
#include "common/printer_icon.h"

namespace wf::prtgui {

struct BaseAlertRow {
  UINT alertId;
  UINT nameString;
};
// In the order of the icon's base alert states.
inline constexpr BaseAlertRow kBaseAlerts[CWFPrinterIcon::kBaseAlertCount] = {
    {6102, 10},  {6103, 456}, {6118, 458}, {6113, 467}, {6117, 568}, {6104, 464}, {6106, 508}, {6107, 532},
    {6105, 530}, {6108, 534}, {6116, 538}, {6226, 631}, {6135, 631}, {6114, 462}, {6115, 536}, {21, 610},
    {22, 611},   {23, 614},   {24, 613},   {20, 609},   {25, 615},   {6001, 104}};

}  // namespace wf::prtgui
