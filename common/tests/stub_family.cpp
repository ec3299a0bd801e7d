// A printer-family module for the registry's tests, built several times
// with different STUB_* settings. Its factory makes no icon; it counts calls.
#include <atomic>

#include "common/printer_dll.h"
#include "framework/dc.h"
#include "framework/gdi.h"
#include "platform/module.h"

namespace {

std::atomic<int> factoryCalls{0};
std::atomic<void*> lastRecord{nullptr};
CWFPrinterDLL* registration = nullptr;

constexpr DWORD kIds[] = {STUB_IDS};

CWFPrinterIcon* createIcon(WFPrtObj*, void* record) {
  ++factoryCalls;
  lastRecord = record;
  return nullptr;
}

// Two 32 x 32 images on a magenta ground: a red square, then a blue one.
void drawStrip(CBitmap& bitmap) {
  bitmap.CreateBitmap(64, 32, 1, 32, nullptr);
  CDC dc;
  dc.CreateCompatibleDC(nullptr);
  CBitmap* previous = dc.SelectObject(&bitmap);
  dc.FillSolidRect(0, 0, 64, 32, RGB(255, 0, 255));
  dc.FillSolidRect(8, 8, 16, 16, RGB(255, 0, 0));
  dc.FillSolidRect(40, 8, 16, 16, RGB(0, 0, 255));
  dc.SelectObject(previous);
}

[[maybe_unused]] void initStub(HINSTANCE module, PFNREGISTERDLL registerDLL) {
  CBitmap bitmap;
  CBitmap* given = nullptr;
  if (STUB_BITMAP == 1) drawStrip(bitmap);
  if (STUB_BITMAP != 0) given = &bitmap;
  registration = registerDLL(module, STUB_NAME, 0, &createIcon, kIds, sizeof kIds / sizeof kIds[0], given);
}

}  // namespace

WF_MODULE_EXPORT int stubFactoryCalls() {
  return factoryCalls;
}
WF_MODULE_EXPORT void* stubLastRecord() {
  return lastRecord;
}
WF_MODULE_EXPORT CWFPrinterDLL* stubRegistration() {
  return registration;
}

#if STUB_HAS_INIT
WF_ORDINAL_EXPORTS(WF_ORDINAL(103, initStub));
#endif
