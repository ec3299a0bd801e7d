// The icon's cached printer records: fetched by workers and page redraws,
// read by pages that must never hang on a slow printer.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "common/app_services.h"
#include "common/notebook_messages.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "framework/wnd.h"
#include "icon_records.h"

using wf::prtgui::fetchRecord;
using wf::prtgui::readCached;
using wf::prtgui::underIconMutex;

namespace {

void postToNotebook(CWFPrinterIcon* icon, UINT message) {
  if (HWND notebook = icon->GetOpenDlgHandle()) PostMessage(notebook, message, 0, 0);
}

// A page's refetch of a bidirectional printer's record, then a redraw.
template <class Record, class Fetch>
void refetchAndTell(CWFPrinterIcon* icon, const char* suffix, Record*& member, Fetch&& fetch) {
  if (!icon->GetBidiActive()) return;
  WFPrtObj* object = icon->GetPrinterObj();
  if (!object) return;
  fetchRecord(icon, suffix, member, true, [&](Record* r) { return fetch(object, r); });
  icon->ReleasePrinterObj();
  postToNotebook(icon, WM_WF_UPDATEPAGE);
}

// Copies `text` into `out` (`size` bytes), cut at a UTF-8 character boundary.
void copyCut(const std::string& text, char* out, std::size_t size) {
  std::size_t length = std::min(text.size(), size - 1);
  if (length < text.size())
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  std::memcpy(out, text.data(), length);
  out[length] = '\0';
}

struct PageCountJob {
  USHORT printer;
  BOOL reset;
};

}  // namespace

// ---- readers ----

int CWFPrinterIcon::GetDuplexOption() {
  return readCached(this, "DeviceChars", m_pDeviceChars, 0,
                    [](const WFPrtObj::DEVICECHARS& r) { return r.duplex ? 1 : 0; });
}

CString CWFPrinterIcon::GetSerialNo() {
  return readCached(this, "DeviceChars", m_pDeviceChars, CString(),
                    [](const WFPrtObj::DEVICECHARS& r) { return CString(r.serialNumber.c_str()); });
}

CString CWFPrinterIcon::GetRevisionLevel() {
  return readCached(this, "DeviceChars", m_pDeviceChars, CString(),
                    [](const WFPrtObj::DEVICECHARS& r) { return CString(r.revisionLevel.c_str()); });
}

unsigned long CWFPrinterIcon::GetPrinterSpeed() {
  return readCached(this, "DeviceChars", m_pDeviceChars, 0ul,
                    [](const WFPrtObj::DEVICECHARS& r) { return static_cast<unsigned long>(r.speed); });
}

unsigned long CWFPrinterIcon::GetMemorySize() {
  return readCached(this, "DeviceChars", m_pDeviceChars, 0ul,
                    [](const WFPrtObj::DEVICECHARS& r) { return static_cast<unsigned long>(r.memoryKb); });
}

int CWFPrinterIcon::GetFontCartOption() {
  return readCached(this, "StorageOpts", m_pStorageOptions, 0,
                    [](const WFPrtObj::STORAGEOPTIONS& r) { return static_cast<int>(r.fontCartridge); });
}

CString CWFPrinterIcon::GetFontCartName() {
  return readCached(this, "StorageOpts", m_pStorageOptions, CString(),
                    [](const WFPrtObj::STORAGEOPTIONS& r) { return CString(r.cartridgeName.c_str()); });
}

CString CWFPrinterIcon::GetFontCartFormat() {
  return readCached(this, "StorageOpts", m_pStorageOptions, CString(),
                    [](const WFPrtObj::STORAGEOPTIONS& r) { return CString(r.cartridgeDetail.c_str()); });
}

unsigned long CWFPrinterIcon::GetFlashSize() {
  return readCached(this, "StorageOpts", m_pStorageOptions, 0ul, [](const WFPrtObj::STORAGEOPTIONS& r) {
    return static_cast<unsigned long>(r.flashSize);
  });
}

unsigned long CWFPrinterIcon::GetFlashRemaining() {
  return readCached(this, "StorageOpts", m_pStorageOptions, 0ul, [](const WFPrtObj::STORAGEOPTIONS& r) {
    return static_cast<unsigned long>(r.flashFree);
  });
}

unsigned long CWFPrinterIcon::GetHDSize() {
  return readCached(this, "StorageOpts", m_pStorageOptions, 0ul,
                    [](const WFPrtObj::STORAGEOPTIONS& r) { return static_cast<unsigned long>(r.diskSize); });
}

unsigned long CWFPrinterIcon::GetHDRemaining() {
  return readCached(this, "StorageOpts", m_pStorageOptions, 0ul,
                    [](const WFPrtObj::STORAGEOPTIONS& r) { return static_cast<unsigned long>(r.diskFree); });
}

int CWFPrinterIcon::GetHighCapacity() {
  return readCached(this, "OutputBins", m_pOutputBins, 0,
                    [](const WFPrtObj::OUTPUTBINS& r) { return static_cast<int>(r.capacityIs500); });
}

unsigned long CWFPrinterIcon::GetTotalPages() {
  return readCached(this, "PageCount", m_pPageCounts, 0ul, [](const WFPrtObj::PAGECOUNTDATA& r) {
    return static_cast<unsigned long>(r.counters[0]);
  });
}

unsigned long CWFPrinterIcon::GetPowerOnPages() {
  return readCached(this, "PageCount", m_pPageCounts, 0ul, [](const WFPrtObj::PAGECOUNTDATA& r) {
    return static_cast<unsigned long>(r.counters[1]);
  });
}

unsigned long CWFPrinterIcon::GetUserPageCount() {
  return readCached(this, "PageCount", m_pPageCounts, 0ul, [](const WFPrtObj::PAGECOUNTDATA& r) {
    return static_cast<unsigned long>(r.counters[3]);
  });
}

CString CWFPrinterIcon::GetCodeLevel(UINT index) {
  if (index > 10) return CString();
  return readCached(this, "CodeLevels", m_pCodeLevels, CString(), [index](const WFPrtObj::CODELEVELS& r) {
    const std::string* texts[] = {&r.revisionLevel, &r.eng, &r.engb, &r.engf, &r.ina,  &r.ina1,
                                  &r.ina2,          &r.pnl, &r.dpx,  &r.cont, &r.flker};
    return CString(texts[index]->c_str());
  });
}

UINT CWFPrinterIcon::GetNumCodeLevels() {
  return readCached(this, "CodeLevels", m_pCodeLevels, 0u, [](const WFPrtObj::CODELEVELS&) { return 1u; });
}

// ---- fetches ----

void CWFPrinterIcon::UpdateDeviceChars() {
  refetchAndTell(this, "DeviceChars", m_pDeviceChars,
                 [](WFPrtObj* object, WFPrtObj::DEVICECHARS* r) { return object->bidiGetDeviceChars(r); });
}

void CWFPrinterIcon::UpdateStorageOptions() {
  refetchAndTell(this, "StorageOpts", m_pStorageOptions, [](WFPrtObj* object, WFPrtObj::STORAGEOPTIONS* r) {
    return object->bidiGetStorageOptions(r);
  });
}

char* CWFPrinterIcon::GetPISerialNumber() {
  // One buffer per thread: icons on other threads cannot overwrite it.
  thread_local char serial[80];
  if (!GetBidiActive()) return nullptr;
  return underIconMutex(this, "DeviceChars", [&]() -> char* {
    if (!m_pDeviceChars) {
      WFPrtObj* object = GetPrinterObj();
      if (!object) return nullptr;
      auto* fresh = new (std::nothrow) WFPrtObj::DEVICECHARS;
      const BOOL ok = fresh && BCEReturnCheck(object->bidiGetDeviceChars(fresh));
      ReleasePrinterObj();
      if (!ok) {
        delete fresh;
        return nullptr;
      }
      m_pDeviceChars = fresh;
    }
    copyCut(m_pDeviceChars->serialNumber, serial, sizeof serial);
    return serial;
  });
}

UINT CWFPrinterIcon::UpdateGraphicInfo(void* printer) {
  WFAppServices* app = WFGetApp();
  CWFPrinterList* list = app ? app->GetPrinterList() : nullptr;
  CWFPrinterIcon* icon =
      list ? list->FindPrinterIcon(static_cast<USHORT>(reinterpret_cast<std::uintptr_t>(printer))) : nullptr;
  if (!icon) return 0;
  if (!icon->GetBidiActive() || icon->IsUnknownPrinter()) {
    icon->ThreadUnlock();
    return 1;
  }
  WFPrtObj* object = icon->GetPrinterObj();
  if (!object) {
    icon->ThreadUnlock();
    return 0;
  }
  // One data mutex at a time, in the order every multi-record fill uses.
  BOOL ok = fetchRecord(icon, "DeviceChars", icon->m_pDeviceChars, false,
                        [&](WFPrtObj::DEVICECHARS* r) { return object->bidiGetDeviceChars(r); });
  ok = ok && fetchRecord(icon, "StorageOpts", icon->m_pStorageOptions, false,
                         [&](WFPrtObj::STORAGEOPTIONS* r) { return object->bidiGetStorageOptions(r); });
  ok = ok && icon->UpdateInputChars();
  ok = ok && icon->UpdateOutputBins();
  ok = ok && fetchRecord(icon, "CodeLevels", icon->m_pCodeLevels, false,
                         [&](WFPrtObj::CODELEVELS* r) { return object->bidiGetCodeLevels(r); });
  ok = ok && fetchRecord(icon, "PageCount", icon->m_pPageCounts, true,
                         [&](WFPrtObj::PAGECOUNTDATA* r) { return object->bidiGetPageCounts(r); });
  if (ok) {
    underIconMutex(icon, "OpPanelData", [&] {
      if (!icon->m_pOpPanelData && !icon->BCEReturnCheck(object->bidiROPQueryData(&icon->m_pOpPanelData))) {
        icon->FreeOPPanelData();
        return;
      }
      int locked = 0;
      if (icon->BCEReturnCheck(object->bidiROPQueryLock(&locked))) icon->m_bOpPanelLock = locked;
    });
  }
  icon->ReleasePrinterObj();
  // The notebook's frame belongs to the GUI thread; its window handle is
  // what a worker may use.
  postToNotebook(icon, WM_WF_UPDATEPAGE);
  icon->ThreadUnlock();
  return 1;
}

// ---- page counts ----

void CWFPrinterIcon::UpdatePageCounts(int reset) {
  if (!GetBidiActive()) return;
  WFAppServices* app = WFGetApp();
  if (!app) return;
  auto* job = new PageCountJob{m_hPrinter, reset};
  app->BeginThread(&CWFPrinterIcon::UpdatePC, job, 0,
                   BuildDescriptiveString("UpdatePC() from CWFPrinterIcon::UpdatePageCounts()"));
}

UINT CWFPrinterIcon::UpdatePC(void* parameter) {
  std::unique_ptr<PageCountJob> job(static_cast<PageCountJob*>(parameter));
  WFAppServices* app = WFGetApp();
  CWFPrinterList* list = app ? app->GetPrinterList() : nullptr;
  CWFPrinterIcon* icon = list && job ? list->FindPrinterIcon(job->printer) : nullptr;
  if (!icon) return 0;
  if (WFPrtObj* object = icon->GetPrinterObj()) {
    BOOL ok = TRUE;
    if (job->reset && icon->GetBidiActive()) ok = icon->BCEReturnCheck(object->bidiResetHostPageCount());
    if (ok) {
      underIconMutex(icon, "PageCount", [&] {
        delete std::exchange(icon->m_pPageCounts, nullptr);
        auto* fresh = new (std::nothrow) WFPrtObj::PAGECOUNTDATA;
        if (fresh && icon->GetBidiActive() && icon->BCEReturnCheck(object->bidiGetPageCounts(fresh))) {
          icon->m_pPageCounts = fresh;
          icon->m_cTotalPages = fresh->counters[0];
          icon->m_cPowerOnPages = fresh->counters[1];
          icon->m_cUserPageCount = fresh->counters[3];
        } else {
          delete fresh;
        }
      });
    }
    postToNotebook(icon, WM_WF_JOBSTAT);
    icon->ReleasePrinterObj();
  }
  icon->ThreadUnlock();
  return 0;
}
