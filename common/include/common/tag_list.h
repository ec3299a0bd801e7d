#pragma once
// The driver setup request handed to the tool kit with a download: one
// block of global memory holding tagged items, each a 16-bit tag, a 16-bit
// size (header included) and the value followed by one zero byte, packed and
// little-endian. The list owns the block; callers borrow its handle.
#include "framework/collections.h"
#include "framework/global_memory.h"

class CWFPrinterIcon;
class CWnd;

// Value kinds of the items.
constexpr USHORT WFTAG_BYTE = 1;
constexpr USHORT WFTAG_USHORT = 2;
constexpr USHORT WFTAG_ULONG = 3;
constexpr USHORT WFTAG_ULONG2 = 4;
constexpr USHORT WFTAG_TEXT = 5;

// Download operations.
constexpr USHORT WFTAG_OP_FONT = 1;
constexpr USHORT WFTAG_OP_DEMO = 2;
constexpr USHORT WFTAG_OP_OVERLAY = 3;

class CWFTagList : public CObject {
 public:
  CWFTagList();
  ~CWFTagList() override;
  // The block's handle, or null; the list keeps it.
  virtual operator void*() const;

  // Lets the user choose the queue, then writes the request for `operation`.
  // The block's handle, or null (cancelled, nothing found, no memory, an
  // unknown operation).
  HGLOBAL BuildList(CWFPrinterIcon* icon, CWnd* parent, USHORT operation);

  ULONG GetCapacity() const { return m_capacity; }
  ULONG GetUsed() const { return m_used; }

 private:
  BOOL CheckSpace(USHORT size);
  BOOL AddTag(USHORT tag, USHORT kind, const void* value);
  void FreeBlock();

  HGLOBAL m_hBlock = nullptr;
  ULONG m_capacity = 0;
  ULONG m_used = 0;
};
