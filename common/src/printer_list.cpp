#include "common/printer_list.h"

#include <cstring>
#include <new>
#include <vector>

#include "common/app_services.h"
#include "common/printer_dll.h"
#include "common/printer_icon.h"
#include "platform/clock.h"
#include "wfprtmgr/wfprtmgr.h"

IMPLEMENT_DYNAMIC(CWFPrinterList, CObList)

namespace {

constexpr LONG kReaderUnits = 100;
constexpr UINT kDefaultPrinterName = 567;
constexpr ULONG kAlertTypeStale = 100;

WFAppServices* listApp() {
  return WFGetApp();
}

bool windowsLeft() {
  return listApp() && listApp()->AnyWindowsLeft();
}

// Removes a first active alert of type 100, which a refresh makes stale.
void removeStaleAlert(CWFPrinterIcon* icon) {
  CMutex lock(icon->GetMutexName("AlertLock"));
  lock.Wait(wf::kInfinite);
  CWFAlertMsg* message = icon->Get1stActiveAlertMsg();
  if (message && message->GetAlert()->GetType() == kAlertTypeStale) icon->RemoveAlertMsg(message);
  lock.Release();
}

void closeStaleNotebook(CWFPrinterIcon* icon) {
  HWND notebook = icon->GetOpenDlgHandle();
  if (!notebook || icon->NumPagesInNotebook() == icon->GetPageCount()) return;
  CWnd* window = CWnd::FromHandle(notebook);
  CWnd* frame = window ? window->GetParent() : nullptr;
  if (frame) PostMessage(frame->GetSafeHwnd(), WM_CLOSE, 0, 0);
}

std::uint64_t nodeKey(const CWFPrinterIcon* icon) {
  std::uint64_t key = 0;
  std::memcpy(&key, icon->GetNodeAddress(), 6);
  return key;
}

template <class Map, class Key>
void eraseOne(Map& map, const Key& key, CWFPrinterIcon* icon) {
  auto [from, to] = map.equal_range(key);
  for (auto it = from; it != to; ++it) {
    if (it->second == icon) {
      map.erase(it);
      return;
    }
  }
}

CWFPrinterIcon* makeIcon(DWORD familyKey, WFPrtObj* object, void* record) {
  CWFPrinterDLLManager* manager = listApp() ? listApp()->GetPrinterDLLManager() : nullptr;
  CWFPrinterDLL* dll = manager ? manager->FindPrinterDLL(familyKey) : nullptr;
  PFNCREATEPRINTERICON factory = dll ? dll->GetIconCreationFunction() : nullptr;
  return factory ? factory(object, record) : nullptr;
}

}  // namespace

CWFPrinterList::CWFPrinterList() : CObList(10) {
  m_readers.Create("WFPrinterListSemaphore", kReaderUnits, kReaderUnits);
}

CWFPrinterList::~CWFPrinterList() {
  std::lock_guard links(m_links);
  RemoveAll();
  unindexAll();
}

void CWFPrinterList::index(CWFPrinterIcon* icon, POSITION at) {
  const Entry entry{at, m_nextOrder++, icon->GetPrinterHandle()};
  m_entries.emplace(icon, entry);
  if (entry.handle) m_byHandle.emplace(entry.handle, icon);
  m_byNode.emplace(nodeKey(icon), icon);
  if (icon->IsGhost()) m_ghosts.insert(icon);
}

// Also undoes an index() that failed part way.
void CWFPrinterList::unindex(CWFPrinterIcon* icon) {
  auto found = m_entries.find(icon);
  if (found == m_entries.end()) return;
  if (found->second.handle) eraseOne(m_byHandle, found->second.handle, icon);
  eraseOne(m_byNode, nodeKey(icon), icon);
  m_ghosts.erase(icon);
  m_entries.erase(found);
}

void CWFPrinterList::reindex(CWFPrinterIcon* icon) {
  auto found = m_entries.find(icon);
  if (found == m_entries.end()) return;
  const USHORT handle = icon->GetPrinterHandle();
  if (handle != found->second.handle) {
    if (handle) m_byHandle.emplace(handle, icon);
    if (found->second.handle) eraseOne(m_byHandle, found->second.handle, icon);
    found->second.handle = handle;
  }
  if (!icon->IsGhost()) m_ghosts.erase(icon);
}

void CWFPrinterList::unindexAll() {
  m_entries.clear();
  m_byHandle.clear();
  m_byNode.clear();
  m_ghosts.clear();
}

bool CWFPrinterList::earlier(CWFPrinterIcon* a, CWFPrinterIcon* b) const {
  return m_entries.at(a).order < m_entries.at(b).order;
}

POSITION CWFPrinterList::positionOf(CWFPrinterIcon* icon) const {
  return icon ? m_entries.at(icon).at : nullptr;
}

template <class Walk>
auto CWFPrinterList::underReaderUnit(Walk&& walk) {
  m_readers.Wait(wf::kInfinite);
  auto result = walk();
  m_readers.Release(1);
  return result;
}

POSITION CWFPrinterList::Find(USHORT printer) {
  return findUnlocked(printer);
}

POSITION CWFPrinterList::Find(CWFPrinterIcon* icon) {
  return findUnlocked(icon);
}

POSITION CWFPrinterList::findUnlocked(USHORT printer) {
  WFPrtMgr* manager = listApp() ? listApp()->GetPrtMgr() : nullptr;
  // Without a manager only the handle itself can match.
  WFPrtObj* object = printer && manager ? manager->getPrinterObj(printer) : nullptr;
  std::lock_guard links(m_links);
  CWFPrinterIcon* first = nullptr;
  auto consider = [&](CWFPrinterIcon* icon) {
    if (!first || earlier(icon, first)) first = icon;
  };
  if (printer) {
    auto [from, to] = m_byHandle.equal_range(printer);
    for (auto it = from; it != to; ++it)
      if (it->second->GetPrinterHandle() == printer) consider(it->second);
  }
  // A ghost matches only the address of a printer object the manager knows.
  if (object) {
    for (CWFPrinterIcon* ghost : m_ghosts)
      if (ghost->IsGhost() && ghost->IsSameAddress(object)) consider(ghost);
  }
  return positionOf(first);
}

POSITION CWFPrinterList::findUnlocked(CWFPrinterIcon* icon) {
  if (POSITION p = findUnlocked(icon->GetPrinterHandle())) return p;
  std::lock_guard links(m_links);
  CWFPrinterIcon* first = nullptr;
  auto [from, to] = m_byNode.equal_range(nodeKey(icon));
  for (auto it = from; it != to; ++it)
    if (it->second->IsSameAddress(icon) && (!first || earlier(it->second, first))) first = it->second;
  return positionOf(first);
}

template <class Key>
CWFPrinterIcon* CWFPrinterList::findHeld(Key key) {
  return underReaderUnit([&]() -> CWFPrinterIcon* {
    CWFPrinterIcon* icon = nullptr;
    {
      std::lock_guard links(m_links);
      if (POSITION p = findUnlocked(key)) icon = static_cast<CWFPrinterIcon*>(GetAt(p));
    }
    // Under the reader unit: no deletion can unlink it meanwhile.
    if (icon) icon->ThreadLock();
    return icon;
  });
}

CWFPrinterIcon* CWFPrinterList::FindPrinterIcon(USHORT printer) {
  return findHeld(printer);
}

CWFPrinterIcon* CWFPrinterList::FindPrinterIcon(CWFPrinterIcon* like) {
  return findHeld(like);
}

BOOL CWFPrinterList::IsInList(CWFPrinterIcon* icon) {
  return underReaderUnit([&]() -> BOOL {
    bool found = false;
    {
      std::lock_guard links(m_links);
      found = icon && m_entries.count(icon) != 0;
    }
    if (found) icon->ThreadLock();
    return found;
  });
}

BOOL CWFPrinterList::append(CWFPrinterIcon* icon) {
  std::lock_guard links(m_links);
  POSITION at = nullptr;
  try {
    at = AddTail(icon);
    index(icon, at);
  } catch (const std::bad_alloc&) {
    unindex(icon);
    if (at) RemoveAt(at);
    return FALSE;
  }
  return TRUE;
}

CWFPrinterList::ErrorValue CWFPrinterList::NewPrinterIcon(WFPrtObj* object, void* record) {
  if (!object || !windowsLeft()) return NOTHING_DONE;
  CWFPrinterIcon* existing = FindPrinterIcon(object->getBCEHandle());
  ULONG familyKey = WF_GENERIC_FAMILY_KEY;
  ULONG second = 0;
  object->getPrinterType(&familyKey, &second);

  if (existing && existing->BelongsToFamily(familyKey)) {
    {
      std::lock_guard links(m_links);
      existing->SetPrinterObj(object);
      reindex(existing);
    }
    if (existing->GetAnyActiveAlerts()) removeStaleAlert(existing);
    {
      std::lock_guard links(m_links);
      existing->SetGhostStatus(FALSE);
      reindex(existing);
    }
    if (auto* stored = static_cast<ENUMBINARYDATA*>(record)) {
      if (!stored->userDefinedName) {
        existing->SetName(nullptr);
        wf::copyRecordName(stored->name, existing->GetName());
      }
    } else if (!existing->HasUserDefinedName() && existing->GetBidiActive()) {
      CString defaultName;
      defaultName.LoadString(kDefaultPrinterName);
      if (existing->GetName() == defaultName) existing->SetName(nullptr);
    }
    closeStaleNotebook(existing);
    existing->PrinterReEnum(record);
    existing->ThreadUnlock();
    return REFRESHED;
  }

  CWFPrinterIcon* icon = makeIcon(familyKey, object, record);
  if (!existing && icon) existing = FindPrinterIcon(icon);
  if (!icon) {
    if (existing) existing->ThreadUnlock();
    return NOTHING_DONE;
  }
  bool appended = false;
  {
    std::lock_guard appending(m_append);
    appended = append(icon);
  }
  if (!appended) {
    delete icon;
    if (existing) existing->ThreadUnlock();
    return NOTHING_DONE;
  }
  if (!existing) return NEW_ICON;
  // Outside the append lock: deleting waits for the icon's holders, and one
  // may be another report of this printer waiting to append.
  retire(existing);
  ReplacePrinter(existing, icon);
  existing->ThreadUnlock();
  DeletePrinterIcon(existing);
  return REFRESHED;
}

CWFPrinterIcon* CWFPrinterList::CreateGhostPrinter(const NETADDRESS* address, void* record, HWND notify) {
  const auto* stored = static_cast<const ENUMBINARYDATA*>(record);
  CWFPrinterIcon* ghost = makeIcon(stored ? stored->familyKey : WF_GENERIC_FAMILY_KEY, nullptr, record);
  if (!ghost) return nullptr;
  // The address first: without it the lookup compares an empty port text,
  // which every other ghost's contains.
  ghost->SetGhostAddress(address);
  if (CWFPrinterIcon* found = FindPrinterIcon(ghost)) {
    if (WFPrtObj* object = found->GetPrinterObj()) {
      ghost->SetPrinterObj(object);
      if (stored) ghost->SetName(wf::recordName(*stored));
      found->ReleasePrinterObj();
    }
    retire(found);
    ReplacePrinter(found, ghost);
    found->ThreadUnlock();
    DeletePrinterIcon(found);
  }
  std::lock_guard appending(m_append);
  if (!append(ghost)) {
    delete ghost;
    ghost = nullptr;
  }
  if (notify && ghost) PostMessage(notify, WM_WF_ADDPRINTER, 0, reinterpret_cast<LPARAM>(ghost));
  return ghost;
}

void CWFPrinterList::ReplacePrinter(CWFPrinterIcon* oldIcon, CWFPrinterIcon* newIcon) {
  if (oldIcon->HasUserDefinedName()) {
    newIcon->SetName(oldIcon->GetName());
    newIcon->SetUserDefinedName(TRUE);
  } else if (oldIcon->GetBidiActive() && !newIcon->GetBidiActive()) {
    newIcon->SetName(oldIcon->GetName());
    newIcon->SetPrevBidiName(TRUE);
  }
  if (listApp() && listApp()->GetWindowList()) listApp()->GetWindowList()->ReplacePrinter(oldIcon, newIcon);
}

void CWFPrinterList::takeExclusive(CMutex& wholeList) {
  wholeList.Wait(wf::kInfinite);
  for (LONG i = 0; i < kReaderUnits; ++i) m_readers.Wait(wf::kInfinite);
}

void CWFPrinterList::releaseExclusive(CMutex& wholeList) {
  m_readers.Release(kReaderUnits);
  wholeList.Release();
}

// A replaced icon leaves every lookup before the windows swap it for its
// successor: a post or snapshot naming it can then no longer add it to a
// window after the swap, which would keep it shown beside its successor.
void CWFPrinterList::retire(CWFPrinterIcon* icon) {
  CMutex wholeList("WFLockAllPrinterList");
  takeExclusive(wholeList);
  {
    std::lock_guard links(m_links);
    if (auto entry = m_entries.find(icon); entry != m_entries.end()) {
      const POSITION at = entry->second.at;
      unindex(icon);
      RemoveAt(at);
      m_retired.insert(icon);
    }
  }
  releaseExclusive(wholeList);
}

BOOL CWFPrinterList::DeletePrinterIcon(CWFPrinterIcon* icon) {
  CMutex wholeList("WFLockAllPrinterList");
  takeExclusive(wholeList);
  bool found = false;
  bool unlinked = false;
  if (icon) {
    std::lock_guard links(m_links);
    if (auto entry = m_entries.find(icon); entry != m_entries.end()) {
      found = true;
      if (icon->GetUsageCount() == 0) {
        const POSITION at = entry->second.at;
        unindex(icon);
        RemoveAt(at);
        unlinked = true;
      }
    } else if (m_retired.count(icon)) {
      found = true;
      if (icon->GetUsageCount() == 0) unlinked = m_retired.erase(icon) != 0;
    }
  }
  releaseExclusive(wholeList);
  if (unlinked) delete icon;
  return found;
}

void CWFPrinterList::DeleteAllPrinters() {
  CMutex wholeList("WFLockAllPrinterList");
  takeExclusive(wholeList);
  std::vector<CWFPrinterIcon*> icons;
  {
    std::lock_guard links(m_links);
    while (!IsEmpty()) icons.push_back(static_cast<CWFPrinterIcon*>(RemoveHead()));
    icons.insert(icons.end(), m_retired.begin(), m_retired.end());
    m_retired.clear();
    unindexAll();
  }
  releaseExclusive(wholeList);
  for (CWFPrinterIcon* icon : icons) delete icon;
}

std::vector<CWFPrinterIcon*> CWFPrinterList::GetIcons() {
  std::vector<CWFPrinterIcon*> icons;
  underReaderUnit([&] {
    std::lock_guard links(m_links);
    for (POSITION p = GetHeadPosition(); p;) icons.push_back(static_cast<CWFPrinterIcon*>(GetNext(p)));
    return 0;
  });
  return icons;
}

CWFoidList* CWFPrinterList::GetPrinterListEnumerated() {
  auto* list = new (std::nothrow) CWFoidList(0);
  if (!list) return nullptr;
  underReaderUnit([&] {
    std::lock_guard links(m_links);
    for (POSITION p = GetHeadPosition(); p;) {
      auto* icon = static_cast<CWFPrinterIcon*>(GetNext(p));
      auto* info = new (std::nothrow) _WF_PRINTER_INFO;
      if (!info) continue;
      info->hPrinter = icon->GetPrinterHandle();
      info->strName = icon->GetName();
      auto* item = new (std::nothrow) CWFoid(info);
      if (!item || !list->Add(item)) {
        delete item;
        delete info;
      }
    }
    return 0;
  });
  if (list->IsEmpty()) {
    delete list;
    return nullptr;
  }
  return list;
}
