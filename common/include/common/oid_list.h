#pragma once
// Lists of opaque pointers. With flag bit 0 the pointers are global memory
// blocks that the list frees along with its items.
#include "framework/collections.h"

class CWFoid : public CObject {
  DECLARE_DYNAMIC(CWFoid)
 public:
  explicit CWFoid(void* pointer) : m_pointer(pointer) {}
  void* GetPointer() const { return m_pointer; }

 private:
  void* m_pointer;
};

// Non-zero when `item` (an item's pointer) matches `key`.
using OIDCOMPAREPROC = int (*)(void* key, void* item);

constexpr DWORD OIDLIST_FREEGLOBAL = 0x0001;

class CWFoidList : public CObList {
  DECLARE_DYNAMIC(CWFoidList)
 public:
  explicit CWFoidList(DWORD flags);
  ~CWFoidList() override;

  BOOL Add(CWFoid* item);
  BOOL Find(OIDCOMPAREPROC compare, void* key) const;
  // Deletes every item (freeing its block under OIDLIST_FREEGLOBAL) and empties the list.
  void RemoveAll();
  DWORD GetFlags() const { return m_flags; }

 private:
  DWORD m_flags;
};

// For Find over items that hold texts: equal without regard to case.
int TextEqualsNoCase(void* key, void* item);
