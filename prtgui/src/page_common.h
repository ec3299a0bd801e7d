#pragma once
// What the status and operator panel pages share: the panel's colours and
// font requests, the printer handle a worker carries, and the display lines.
#include <cstdint>

#include "common/app_services.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "framework/dc.h"
#include "prtgui/prt_pages.h"

namespace wf::prtgui {

constexpr COLORREF kPanelGreen = RGB(0, 255, 0);

// Font request values as the layer reads them.
constexpr BYTE kAnsiCharset = 0;
constexpr BYTE kOutTrueTypePrecision = 4;
constexpr BYTE kClipTrueTypeAlways = 0x20;
constexpr BYTE kProofQuality = 2;
constexpr BYTE kModernDefaultPitch = 0x30;
constexpr BYTE kModernFixedPitch = 0x31;

inline void* handleParam(CWFPrinterIcon* icon) {
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(icon->GetPrinterHandle()));
}

// The icon by a worker's handle, thread-locked; null when it left the list.
inline CWFPrinterIcon* findIcon(std::uintptr_t handle) {
  WFAppServices* app = WFGetApp();
  CWFPrinterList* list = app ? app->GetPrinterList() : nullptr;
  return list ? list->FindPrinterIcon(static_cast<USHORT>(handle)) : nullptr;
}

// The panel font of `height` pixels in `face`.
inline void createPanelFont(CFont& font, int height, BYTE pitch, const char* face) {
  font.CreateFont(height, 0, 0, 0, 400, FALSE, FALSE, FALSE, kAnsiCharset, kOutTrueTypePrecision,
                  kClipTrueTypeAlways, kProofQuality, pitch, face);
}

// The icon's panel text as four lines from (x, y), one font height apart.
inline void drawPanelLines(CDC& dc, CWFPrinterIcon* icon, int x, int y, int lineHeight) {
  const CString text = icon ? icon->GetOpPanelText() : CString();
  if (text.IsEmpty()) return;
  for (const std::string& line : wf::panelLines(text.str())) {
    if (!line.empty()) dc.TextOut(x, y, CString(line.c_str()));
    y += lineHeight;
  }
}

}  // namespace wf::prtgui
