#include "common/tag_list.h"

#include <cstring>

#include "common/driver_dlg.h"
#include "common/printer_icon.h"

namespace {

constexpr ULONG kGrowStep = 256;
constexpr std::size_t kHeader = 4;

void putUShort(BYTE* at, USHORT value) {
  at[0] = static_cast<BYTE>(value & 0xFF);
  at[1] = static_cast<BYTE>(value >> 8);
}

}  // namespace

CWFTagList::CWFTagList() = default;

CWFTagList::~CWFTagList() {
  FreeBlock();
}

CWFTagList::operator void*() const {
  return m_hBlock;
}

void CWFTagList::FreeBlock() {
  if (m_hBlock) GlobalFree(m_hBlock);
  m_hBlock = nullptr;
  m_capacity = 0;
  m_used = 0;
}

BOOL CWFTagList::CheckSpace(USHORT size) {
  if (!m_hBlock) {
    m_hBlock = GlobalAlloc(GPTR, kGrowStep);
    if (!m_hBlock) return FALSE;
    m_capacity = kGrowStep;
  }
  if (m_capacity >= m_used + size) return TRUE;
  ULONG capacity = m_capacity;
  while (capacity < m_used + size) capacity += kGrowStep;
  HGLOBAL grown = GlobalReAlloc(m_hBlock, capacity, GHND);
  if (!grown) {
    // The old block is still allocated: free it before forgetting it.
    FreeBlock();
    return FALSE;
  }
  m_hBlock = grown;
  m_capacity = capacity;
  return TRUE;
}

BOOL CWFTagList::AddTag(USHORT tag, USHORT kind, const void* value) {
  std::size_t size = 0;
  switch (kind) {
    case WFTAG_BYTE:
      size = kHeader + 2;
      break;
    case WFTAG_USHORT:
      size = kHeader + 3;
      break;
    case WFTAG_ULONG:
    case WFTAG_ULONG2:
      size = kHeader + 5;
      break;
    case WFTAG_TEXT:
      size = std::strlen(static_cast<const char*>(value)) + 6;
      break;
    default:
      return FALSE;
  }
  // The size field is 16 bits: a longer item cannot be described.
  if (size > 0xFFFF) return FALSE;
  if (!CheckSpace(static_cast<USHORT>(size))) return FALSE;
  auto* block = static_cast<BYTE*>(GlobalLock(m_hBlock));
  if (!block) return FALSE;
  BYTE* at = block + m_used;
  putUShort(at, tag);
  putUShort(at + 2, static_cast<USHORT>(size));
  switch (kind) {
    case WFTAG_BYTE:
      at[4] = *static_cast<const BYTE*>(value);
      break;
    case WFTAG_USHORT:
      putUShort(at + 4, *static_cast<const USHORT*>(value));
      break;
    case WFTAG_ULONG:
    case WFTAG_ULONG2: {
      const ULONG v = *static_cast<const ULONG*>(value);
      putUShort(at + 4, static_cast<USHORT>(v & 0xFFFF));
      putUShort(at + 6, static_cast<USHORT>(v >> 16));
      break;
    }
    default:
      std::memcpy(at + 4, value, size - 5);
      break;
  }
  m_used += static_cast<ULONG>(size);
  GlobalUnlock(m_hBlock);
  return TRUE;
}

HGLOBAL CWFTagList::BuildList(CWFPrinterIcon* icon, CWnd* parent, USHORT operation) {
  m_used = 0;
  CWFDriverDlg chooser(icon, parent, WFDRV_ONE_PER_EMULATION | WFDRV_LISTED_ONLY);
  if (chooser.DoModal() != WFDRV_CHOSEN) return nullptr;
  if (operation < WFTAG_OP_FONT || operation > WFTAG_OP_OVERLAY) {
    FreeBlock();
    return nullptr;
  }
  // A reused block still holds the last build's bytes, and the items of
  // kinds 1 to 4 count on zeroed memory for their trailing byte.
  if (m_hBlock) {
    if (void* block = GlobalLock(m_hBlock)) {
      std::memset(block, 0, m_capacity);
      GlobalUnlock(m_hBlock);
    }
  }
  auto* services = static_cast<WFPrinterIconServices*>(icon);
  const USHORT one = 1;
  const USHORT emulation = chooser.GetEmulation();
  const BYTE end = 0;
  bool flash = true, disk = true;
  if (services->GetBidiActive()) {
    icon->UpdateStorageOptions();
    flash = services->GetFlashSize() != 0;
    disk = services->GetHDSize() != 0;
  }
  const bool ok =
      AddTag(1, WFTAG_USHORT, &operation) && AddTag(3, WFTAG_USHORT, &one) &&
      AddTag(4, WFTAG_TEXT, chooser.GetFriendlyName()) && AddTag(6, WFTAG_TEXT, chooser.GetPortName()) &&
      (!(operation == WFTAG_OP_FONT || (operation == WFTAG_OP_OVERLAY && emulation == WFDRV_EMUL_PCL)) ||
       AddTag(11, WFTAG_USHORT, &one)) &&
      (!flash || AddTag(12, WFTAG_USHORT, &one)) && (!disk || AddTag(13, WFTAG_USHORT, &one)) &&
      AddTag(2, WFTAG_USHORT, &emulation) && AddTag(5, WFTAG_TEXT, chooser.GetShortDriverName()) &&
      AddTag(0, WFTAG_BYTE, &end);
  if (!ok) {
    FreeBlock();
    return nullptr;
  }
  return m_hBlock;
}
