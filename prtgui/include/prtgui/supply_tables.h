#pragma once
// The icon's tray and bin tables: one slot per tray identifier from the
// first to the last, each null or an owned copy of the printer's record.
// A key at or above the first identifier names a slot; a smaller key is the
// printer's own tray number (NPA number), the lowest matching slot answering.
// Every operation holds the table's named mutex, which its holder may take
// again, so a page never reads an element a worker is still building.
#include "framework/collections.h"
#include "framework/cstring.h"
#include "prtobj/wfprtobj.h"

struct INPUTBINCHAR : WFPrtObj::PAPERTRAY {
  CString name;
  USHORT paperSize = 0;
  WFPrtObj::PAPERTYPE paperType = 0;
  BYTE level = 7;
};

struct OUTPUTBINCHAR : WFPrtObj::PAPERTRAY {
  CString name;
  USHORT type = 0;
  BOOL flags[10] = {};
  BYTE state = 0;
};

class CWFBaseSupplyArray : public CPtrArray {
  DECLARE_DYNCREATE(CWFBaseSupplyArray)
 public:
  CWFBaseSupplyArray() = default;
  CWFBaseSupplyArray(USHORT printer, const char* suffix, USHORT first, USHORT last);
  ~CWFBaseSupplyArray() override;

  int GetTrayAttached(USHORT key);
  CString GetTrayName(USHORT key);
  UINT GetTrayCapacity(USHORT key);
  UINT GetNPAID(USHORT key);
  UINT NumSources();

  static CString GetPaperSizeString(UINT code);
  static CString GetPaperTypeString(WFPrtObj::PAPERTYPE type);
  static CString GetLevelString(BYTE level);
  static UINT GetLevelPercent(BYTE level);

 protected:
  WFPrtObj::PAPERTRAY* FindPaperTray(USHORT key);
  // The slot of `id`, or -1 outside the range.
  int slotOf(USHORT id) const;
  // Runs `work` with the table's mutex held.
  template <class Work>
  auto locked(Work&& work);
  // Stores `element` in the slot of `id`, deleting the one it replaces;
  // outside the range `element` is deleted.
  template <class Element>
  void replaceSlot(USHORT id, Element* element);
  template <class Element>
  void emptySlots();

  USHORT m_printer = 0;
  USHORT m_firstId = 0;
  USHORT m_lastId = 0;
  CString m_mutexName;
};

class CWFInputCharArray : public CWFBaseSupplyArray {
  DECLARE_DYNCREATE(CWFInputCharArray)
 public:
  CWFInputCharArray() = default;
  CWFInputCharArray(USHORT printer, const char* suffix, USHORT first, USHORT last);
  ~CWFInputCharArray() override;

  WFPrtObj::PAPERTYPE GetTrayType(USHORT key);
  CString GetTrayTypeName(USHORT key);
  UINT GetTraySize(USHORT key);
  CString GetTraySizeName(USHORT key);
  CString GetTrayLevelName(USHORT key);
  int TraySupportsLevel(INPUTBINCHAR* tray);
  void SetLevel(USHORT key, BYTE level);
  UINT GetTrayLevelPercent(USHORT key);
  void Add(USHORT id, WFPrtObj::INPUTBIN* record);
  void RemoveAllInputOptions();

 protected:
  void RemoveInputTray(USHORT id);
  INPUTBINCHAR* FindInputTray(USHORT key);
};

class CWFOutputCharArray : public CWFBaseSupplyArray {
  DECLARE_DYNCREATE(CWFOutputCharArray)
 public:
  CWFOutputCharArray() = default;
  CWFOutputCharArray(USHORT printer, const char* suffix, USHORT first, USHORT last);
  ~CWFOutputCharArray() override;

  void Add(USHORT id, WFPrtObj::OUTPUTBIN* record);
  void RemoveOutputTray(USHORT id);
  void RemoveAllOutputOptions();

 protected:
  OUTPUTBINCHAR* FindOutputTray(USHORT key);
};
