#include "common/oid_list.h"

#include <strings.h>

#include "framework/global_memory.h"

IMPLEMENT_DYNAMIC(CWFoid, CObject)
IMPLEMENT_DYNAMIC(CWFoidList, CObList)

CWFoidList::CWFoidList(DWORD flags) : CObList(10), m_flags(flags) {}

CWFoidList::~CWFoidList() {
  RemoveAll();
}

BOOL CWFoidList::Add(CWFoid* item) {
  if (!item) return FALSE;
  AddTail(item);
  return TRUE;
}

BOOL CWFoidList::Find(OIDCOMPAREPROC compare, void* key) const {
  if (!compare) return FALSE;
  for (POSITION p = GetHeadPosition(); p;)
    if (compare(key, static_cast<CWFoid*>(GetNext(p))->GetPointer())) return TRUE;
  return FALSE;
}

void CWFoidList::RemoveAll() {
  for (POSITION p = GetHeadPosition(); p;) {
    auto* item = static_cast<CWFoid*>(GetNext(p));
    if (m_flags & OIDLIST_FREEGLOBAL) GlobalFree(item->GetPointer());
    delete item;
  }
  CObList::RemoveAll();
}

int TextEqualsNoCase(void* key, void* item) {
  if (!key || !item) return key == item;
  return ::strcasecmp(static_cast<const char*>(key), static_cast<const char*>(item)) == 0;
}
