// Saved windows under "WFWindows": a window's caption, place, view, columns,
// filter and printers, written at close and read back when a window of the
// same name opens; the walk that asks for its saved printers again.
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/main_frame.h"
#include "app/wf_app.h"
#include "app/window_list.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "common/wait_objects.h"
#include "framework/shell_calls.h"
#include "platform/clock.h"
#include "registry_values.h"
#include "wfprtmgr/wfprtmgr.h"

namespace app = wf::app;
using wf::app::appPath;
using wf::app::Key;
using wf::app::kWindows;
using wf::app::openKey;
using wf::app::readNumber;
using wf::app::readText;
using wf::app::subkeyCount;
using wf::app::tellRegistryFailure;
using wf::app::walkSavedCaptions;
using wf::app::writeNumber;
using wf::app::writeText;
using wf::ERROR_SUCCESS;
using wf::HKEY_CURRENT_USER;
using wf::REG_NONE;
using wf::RegDeleteKeyA;
using wf::RegEnumKeyExA;
using wf::RegQueryInfoKeyA;

namespace {

constexpr const char* kPrinters = "printers";
constexpr const char* kFilter = "filter";
constexpr UINT kRegistryError = 29;
const char* const kWidthNames[WF_COLUMNS] = {"namecolumn", "modelcolumn",    "connectcol",
                                             "statuscol",  "adaptertypecol", "addresscol",
                                             "netwarecol", "clnicknamecol",  "iphost"};

// One part of a saved printer's NETADDRESS: value, bytes, offset.
struct AddressPart {
  const char* name;
  DWORD bytes;
  size_t offset;
};
constexpr AddressPart kAddressParts[] = {
    {"netware", 24, 0},   {"enumip", 112, 24},  {"enumipx", 30, 136},
    {"corlink", 92, 166}, {"enump2p", 82, 258}, {"localport", 80, 340},
};
static_assert(sizeof(NETADDRESS) == 420);

// A stored record shorter than the base part is no record; a longer one is
// handed over in a zero-filled block the family readers cannot run past.
constexpr DWORD kRecordBase = 104;
constexpr DWORD kRecordBlock = 256;

// Filter values: patterns of 80 characters in 81 bytes, then the flags.
constexpr DWORD kPatternBytes = 81;
struct PatternValue {
  const char* name;
  CString WINDOWFILTER::*field;
};
const PatternValue kPatterns[] = {
    {"Name", &WINDOWFILTER::name},
    {"Connection", &WINDOWFILTER::connection},
    {"NetAddress", &WINDOWFILTER::netAddress},
    {"NWLogin", &WINDOWFILTER::nwLogin},
    {"CLNickname", &WINDOWFILTER::clNickname},
    {"TCPHost", &WINDOWFILTER::tcpHost},
};
struct FlagBit {
  DWORD bit;
  BOOL WINDOWFILTER::*field;
};
const FlagBit kFlags[] = {
    {0x1, &WINDOWFILTER::showLocal}, {0x2, &WINDOWFILTER::showNetwork},  {0x4, &WINDOWFILTER::bidiOnly},
    {0x8, &WINDOWFILTER::portbay},   {0x10, &WINDOWFILTER::portbayXL},   {0x20, &WINDOWFILTER::serial},
    {0x40, &WINDOWFILTER::parallel}, {0x80, &WINDOWFILTER::showMissing},
};

std::string windowPath(const CString& name) {
  return appPath(kWindows) + "\\" + name.str();
}

// Deletes the subkeys of `parent\name` from the last to the first, then it.
void deleteWithSubkeys(HKEY parent, const char* name) {
  Key key;
  if (openKey(parent, name, key, false)) {
    DWORD count = 0;
    RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    for (DWORD i = count; i-- > 0;) {
      char sub[260] = {};
      DWORD size = sizeof sub;
      if (RegEnumKeyExA(key.get(), i, sub, &size) == ERROR_SUCCESS) RegDeleteKeyA(key.get(), sub);
    }
  }
  RegDeleteKeyA(parent, name);
}

// What the walk of one window needs; it never touches the window object.
struct SavedPrinterWalk {
  CString title;
  CString name;
  HWND window = 0;
  WFPrtMgr* manager = nullptr;
  CWFPrinterList* list = nullptr;
  CWFWindowList* windows = nullptr;
  BOOL startupEnumAll = FALSE;
};

// A saved printer's address; false when the subkey holds none of its parts.
bool readAddress(HKEY key, NETADDRESS& address) {
  std::memset(&address, 0, sizeof address);
  auto* bytes = reinterpret_cast<BYTE*>(&address);
  bool any = false;
  for (const AddressPart& part : kAddressParts) {
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key, part.name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) continue;
    any = true;
    BYTE buffer[112] = {};
    size = part.bytes;
    if (RegQueryValueExA(key, part.name, nullptr, &type, buffer, &size) == ERROR_SUCCESS)
      std::memcpy(bytes + part.offset, buffer, part.bytes);
  }
  address.local[sizeof address.local - 1] = '\0';
  return any;
}

// The stored record, or null when missing or shorter than its base part.
BYTE* readRecord(HKEY key) {
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (RegQueryValueExA(key, "data", nullptr, &type, nullptr, &size) != ERROR_SUCCESS || size < kRecordBase)
    return nullptr;
  const DWORD block = std::max(size, kRecordBlock);
  auto record = std::make_unique<BYTE[]>(block);  // zero-filled
  if (RegQueryValueExA(key, "data", nullptr, &type, record.get(), &size) != ERROR_SUCCESS ||
      size < kRecordBase)
    return nullptr;
  return record.release();
}

void walkSavedPrinters(const SavedPrinterWalk& walk) {
  CMutex all("CWFAppEnumAllMutex");
  all.Wait(INFINITE);
  WFAppServices* app = WFGetApp();
  if (walk.windows->FindWindowA(walk.title) && IsWindow(walk.window) && app && walk.manager) {
    Key printers;
    if (openKey(HKEY_CURRENT_USER, (windowPath(walk.name) + "\\" + kPrinters).c_str(), printers, true)) {
      for (DWORD i = subkeyCount(printers.get()); i-- > 0;) {
        char sub[260] = {};
        DWORD size = sizeof sub;
        if (RegEnumKeyExA(printers.get(), i, sub, &size) != ERROR_SUCCESS) break;
        Key printer;
        if (!openKey(printers.get(), sub, printer, false)) continue;
        NETADDRESS address;
        if (!readAddress(printer.get(), address)) continue;
        auto* request = new ENUMPRTDATA;
        request->hNotify = walk.window;
        request->pList = walk.list;
        request->mode = 1;
        request->pStoredRecord = readRecord(printer.get());
        request->address = address;
        app->IncreaseEnumSpecCount();
        walk.manager->enumSpecificPrinter(&address, EnumPrintersCallback,
                                          reinterpret_cast<std::uintptr_t>(request),
                                          walk.startupEnumAll ? 0 : 1);
      }
    }
  }
  all.Release();
}

}  // namespace

void WriteFilter(HKEY parent, const char* name, const WINDOWFILTER& filter) {
  RegDeleteKeyA(parent, name);
  Key key;
  if (!openKey(parent, name, key, true)) return;
  for (const PatternValue& pattern : kPatterns) {
    const CString& text = filter.*pattern.field;
    if (text != "*") writeText(key.get(), pattern.name, text, kPatternBytes);
  }
  DWORD flags = 0;
  for (const FlagBit& flag : kFlags)
    if (filter.*flag.field) flags |= flag.bit;
  writeNumber(key.get(), "OffOn", flags);
}

void ReadFilter(HKEY parent, const char* name, WINDOWFILTER& filter) {
  Key key;
  if (!openKey(parent, name, key, true)) return;
  for (const PatternValue& pattern : kPatterns) {
    if (auto text = readText(key.get(), pattern.name, kPatternBytes)) filter.*pattern.field = *text;
  }
  DWORD flags = 0;
  if (readNumber(key.get(), "OffOn", flags)) {
    for (const FlagBit& flag : kFlags) filter.*flag.field = (flags & flag.bit) ? TRUE : FALSE;
  }
}

BOOL CMainFrame::HasSavedWindow(BOOL withPrinters) const {
  Key window;
  if (!openKey(HKEY_CURRENT_USER, windowPath(m_name).c_str(), window, false)) return FALSE;
  if (!withPrinters) return TRUE;
  Key printers;
  return openKey(window.get(), kPrinters, printers, false) ? TRUE : FALSE;
}

void CMainFrame::SaveToRegistry() {
  CWaitCursor wait;
  Key app;
  if (!openKey(HKEY_CURRENT_USER, CWFApp::kAppKey, app, true)) {
    tellRegistryFailure("window not saved");
    CString text;
    text.LoadString(kRegistryError);
    MessageBox(0, text, nullptr, MB_OK);
    return;
  }
  Key windows;
  Key window;
  if (!openKey(app.get(), kWindows, windows, true) || !openKey(windows.get(), m_name, window, true)) return;
  const HKEY key = window.get();
  writeText(key, "caption", GetTitle());
  writeNumber(key, "postop", static_cast<DWORD>(m_normal.top));
  writeNumber(key, "posbottom", static_cast<DWORD>(m_normal.bottom));
  writeNumber(key, "posleft", static_cast<DWORD>(m_normal.left));
  writeNumber(key, "posright", static_cast<DWORD>(m_normal.right));
  writeNumber(key, "sortcol", static_cast<DWORD>(m_pView ? m_pView->GetSortColumn() : 0));
  writeNumber(key, "saveprinters", m_savePrinters ? 1 : 0);
  const int mode = m_pView ? m_pView->GetViewMode() : 1;
  writeNumber(key, "viewstate", static_cast<DWORD>(mode));
  writeNumber(key, "maximized", m_maximised ? 1 : 0);
  for (int column = 0; column < WF_COLUMNS; ++column) {
    const int width = (mode == 1 && m_pView) ? m_pView->GetColumnWidth(column) : m_columnWidths[column];
    writeNumber(key, kWidthNames[column], static_cast<DWORD>(width));
  }
  WriteFilter(key, kFilter, m_filter);
  deleteWithSubkeys(key, kPrinters);
  if (!m_savePrinters || !m_pView) return;
  Key printers;
  CWFPrinterList* list = WFGetWFApp() ? WFGetWFApp()->GetPrinterList() : nullptr;
  if (!list || !openKey(key, kPrinters, printers, true)) return;
  const int count = m_pView->GetItemCount();
  for (int index = 0; index < count; ++index) {
    CWFPrinterIcon* item = m_pView->GetPrinterAt(index);
    CWFPrinterIcon* held = item ? list->FindPrinterIcon(item) : nullptr;
    if (!held) continue;
    char sub[16];
    std::snprintf(sub, sizeof sub, "%6u", static_cast<unsigned>(index));
    Key printer;
    if (openKey(printers.get(), sub, printer, true)) held->SaveEnumInfo(printer.get());
    held->ThreadUnlock();
  }
}

void CMainFrame::RestoreFromRegistry() {
  Key window;
  if (!openKey(HKEY_CURRENT_USER, windowPath(m_name).c_str(), window, true)) return;
  const HKEY key = window.get();
  if (auto caption = readText(key, "caption")) SetTitle(*caption);
  RECT saved{};
  if (readNumber(key, "postop", saved.top) && readNumber(key, "posbottom", saved.bottom) &&
      readNumber(key, "posleft", saved.left) && readNumber(key, "posright", saved.right) &&
      saved.right > saved.left && saved.bottom > saved.top) {
    m_normal = saved;
    SetWindowPos(0, saved.left, saved.top, saved.right - saved.left, saved.bottom - saved.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  DWORD maximised = 0;
  if (readNumber(key, "maximized", maximised) && maximised) ShowWindow(SW_SHOWMAXIMIZED);
  DWORD sortColumn = 0;
  if (!readNumber(key, "sortcol", sortColumn) || sortColumn >= WF_COLUMNS) sortColumn = 0;
  DWORD mode = 1;
  if (!readNumber(key, "viewstate", mode) || mode > 3) mode = 1;
  if (m_pView) {
    m_pView->SetSortColumn(static_cast<int>(sortColumn), FALSE);
    m_pView->SetViewMode(static_cast<int>(mode));
  }
  DWORD savePrinters = 1;
  readNumber(key, "saveprinters", savePrinters);
  m_savePrinters = savePrinters ? TRUE : FALSE;
  for (int column = 0; column < WF_COLUMNS; ++column) {
    DWORD width = static_cast<DWORD>(m_columnWidths[column]);
    readNumber(key, kWidthNames[column], width);
    m_columnWidths[column] = static_cast<int>(width);
    if (mode == 1 && m_pView) m_pView->SetColumnWidth(column, static_cast<int>(width & 0xFFFF));
  }
  ReadFilter(key, kFilter, m_filter);
}

void CMainFrame::StartSavedPrinterEnum() {
  CWFApp* app = WFGetWFApp();
  if (!app) return;
  auto walk = std::make_shared<SavedPrinterWalk>();
  walk->title = GetTitle();
  walk->name = m_name;
  walk->window = GetSafeHwnd();
  walk->manager = app->GetWFPrtMgr();
  walk->list = app->GetPrinterList();
  walk->windows = app->GetWFWindowList();
  walk->startupEnumAll = app->GetStartupEnumAll();
  if (!walk->windows) return;
  app->StartSavedPrinterWalk([walk] { walkSavedPrinters(*walk); });
}

void CMainFrame::RenameInRegistry(const CString& oldTitle, const CString& newTitle) {
  walkSavedCaptions([&](HKEY windows, const char* sub, const CString& caption) {
    if (std::strcmp(caption, oldTitle) != 0) return false;
    Key window;
    if (openKey(windows, sub, window, false)) writeText(window.get(), "caption", newTitle);
    return true;
  });
}

namespace {
constexpr std::uint32_t kWalkJoinWait = 10000;
}

void CWFApp::StartSavedPrinterWalk(std::function<void()> walk) {
  std::lock_guard lock(m_walksLock);
  ++m_walksRunning;
  m_walks.emplace_back([this, walk = std::move(walk)] {
    walk();
    std::lock_guard ended(m_walksLock);
    --m_walksRunning;
    m_walksDone.notify_all();
  });
}

BOOL CWFApp::JoinSavedPrinterWalks() {
  std::unique_lock lock(m_walksLock);
  const bool ended =
      m_walksDone.wait_for(lock, wf::scaled(kWalkJoinWait), [this] { return m_walksRunning == 0; });
  std::vector<std::thread> walks = std::move(m_walks);
  m_walks.clear();
  lock.unlock();
  for (std::thread& thread : walks) ended ? thread.join() : thread.detach();
  return ended ? TRUE : FALSE;
}
