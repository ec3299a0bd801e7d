#pragma once
// The application's list of printer icons and the enumeration that fills
// it. Readers hold one unit of "WFPrinterListSemaphore"; deletions take
// "WFLockAllPrinterList" and all 100 units, unlink, let go, then delete
// (the icon's destructor waits for its holders, who may need a reader
// unit). Appends share one lock, and every walk or link change holds an
// inner lock only for its span, so appends never race walks or removals.
// Lookups go through an index kept under that inner lock: it assumes an
// icon's handle changes, and it stops being a ghost, only through the list,
// and that icons at different nodes are never the same address.
#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "broker/corbce.h"
#include "common/oid_list.h"
#include "common/wait_objects.h"
#include "framework/collections.h"
#include "framework/wnd.h"

class CWFPrinterIcon;
class WFPrtMgr;
class WFPrtObj;

class CWFPrinterList : public CObList {
  DECLARE_DYNAMIC(CWFPrinterList)
 public:
  enum ErrorValue { NEW_ICON = 0, REFRESHED = 1, NOTHING_DONE = 2 };

  CWFPrinterList();
  // Empties the list without deleting icons (DeleteAllPrinters does that).
  ~CWFPrinterList() override;

  ErrorValue NewPrinterIcon(WFPrtObj* object, void* record);
  CWFPrinterIcon* CreateGhostPrinter(const NETADDRESS* address, void* record, HWND notify);
  void ReplacePrinter(CWFPrinterIcon* oldIcon, CWFPrinterIcon* newIcon);
  // TRUE when the icon was in the list; one with users stays.
  BOOL DeletePrinterIcon(CWFPrinterIcon* icon);
  void DeleteAllPrinters();
  // The caller holds a reader unit.
  POSITION Find(USHORT printer);
  POSITION Find(CWFPrinterIcon* icon);
  // Thread-locked when found; the caller calls ThreadUnlock.
  CWFPrinterIcon* FindPrinterIcon(USHORT printer);
  CWFPrinterIcon* FindPrinterIcon(CWFPrinterIcon* icon);
  // TRUE (and thread-locked) when that very icon is an element.
  BOOL IsInList(CWFPrinterIcon* icon);
  // The icons at this moment, in list order; look each one up before use.
  std::vector<CWFPrinterIcon*> GetIcons();
  // Items own _WF_PRINTER_INFO records; null for an empty list.
  CWFoidList* GetPrinterListEnumerated();
  // Starts the whole-system enumeration on a thread of its own.
  void EnumeratePrinters(WFPrtMgr* manager, HWND notify);

 private:
  template <class Walk>
  auto underReaderUnit(Walk&& walk);
  template <class Key>
  CWFPrinterIcon* findHeld(Key key);
  POSITION findUnlocked(USHORT printer);
  POSITION findUnlocked(CWFPrinterIcon* icon);
  BOOL append(CWFPrinterIcon* icon);
  void takeExclusive(CMutex& wholeList);
  void releaseExclusive(CMutex& wholeList);
  // Out of every lookup, kept until DeletePrinterIcon can delete it.
  void retire(CWFPrinterIcon* icon);
  // The index; the caller holds m_links.
  struct Entry {
    POSITION at = nullptr;
    std::uint64_t order = 0;  // appends go to the tail: list order
    USHORT handle = 0;
  };
  void index(CWFPrinterIcon* icon, POSITION at);
  void unindex(CWFPrinterIcon* icon);
  void reindex(CWFPrinterIcon* icon);
  void unindexAll();
  bool earlier(CWFPrinterIcon* a, CWFPrinterIcon* b) const;
  POSITION positionOf(CWFPrinterIcon* icon) const;

  CSemaphore m_readers;
  std::recursive_mutex m_links;
  std::mutex m_append;
  std::unordered_map<CWFPrinterIcon*, Entry> m_entries;
  std::unordered_multimap<USHORT, CWFPrinterIcon*> m_byHandle;
  std::unordered_multimap<std::uint64_t, CWFPrinterIcon*> m_byNode;
  std::unordered_set<CWFPrinterIcon*> m_ghosts;
  std::unordered_set<CWFPrinterIcon*> m_retired;  // replaced, still shown somewhere
  std::uint64_t m_nextOrder = 0;
};

// A request of the enumeration callback; the callback frees it.
struct ENUMPRTDATA {
  HWND hNotify = 0;
  CWFPrinterList* pList = nullptr;
  ULONG mode = 0;                 // 0 whole system, 1 remembered, 2 refresh on request, 3 after a resync
  void* pStoredRecord = nullptr;  // owned; new BYTE[] or null
  NETADDRESS address{};

  ENUMPRTDATA() = default;
  ENUMPRTDATA(const ENUMPRTDATA&) = delete;
  ENUMPRTDATA& operator=(const ENUMPRTDATA&) = delete;
  ~ENUMPRTDATA() { delete[] static_cast<BYTE*>(pStoredRecord); }
};

// Handed to the printer manager; `data` carries an ENUMPRTDATA*.
extern "C" __attribute__((visibility("default"))) ULONG EnumPrintersCallback(WFPrtObj* printer,
                                                                             std::uintptr_t data,
                                                                             ULONG reason);
