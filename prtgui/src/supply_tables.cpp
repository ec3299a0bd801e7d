#include "prtgui/supply_tables.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <utility>

#include "icon_mutex.h"
#include "icon_strings.h"

IMPLEMENT_DYNCREATE(CWFBaseSupplyArray, CPtrArray)
IMPLEMENT_DYNCREATE(CWFInputCharArray, CWFBaseSupplyArray)
IMPLEMENT_DYNCREATE(CWFOutputCharArray, CWFBaseSupplyArray)

namespace {

struct CodeText {
  UINT code;
  UINT stringId;
};

constexpr CodeText kTrayNames[] = {
    {7101, 486}, {7102, 487}, {7103, 481}, {7104, 482}, {7105, 483}, {7106, 523}, {7107, 488},
    {7108, 484}, {7109, 485}, {7110, 608}, {7201, 625}, {7202, 626}, {7203, 627}, {7204, 628},
};

constexpr CodeText kPaperSizes[] = {
    {1, 473},  {2, 474},  {7, 475},  {9, 476},   {21, 477},  {22, 478},  {23, 479},  {53, 480},
    {83, 504}, {84, 503}, {88, 502}, {128, 499}, {129, 500}, {130, 501}, {255, 505},
};

struct LevelText {
  BYTE level;
  UINT stringId;
  UINT percent;
};

constexpr LevelText kLevels[] = {{0, 607, 0}, {1, 606, 10}, {2, 605, 30}, {5, 604, 70}, {7, 603, 100}};

CString lookUp(const CodeText* begin, const CodeText* end, UINT code) {
  const CodeText* found = std::find_if(begin, end, [code](const CodeText& c) { return c.code == code; });
  return found == end ? CString() : wf::prtgui::loadString(found->stringId);
}

const LevelText* findLevel(BYTE level) {
  const LevelText* found = std::find_if(std::begin(kLevels), std::end(kLevels),
                                        [level](const LevelText& l) { return l.level == level; });
  return found == std::end(kLevels) ? nullptr : found;
}

}  // namespace

// ---- the base table ----

template <class Work>
auto CWFBaseSupplyArray::locked(Work&& work) {
  return wf::prtgui::underNamedMutex(m_mutexName, std::forward<Work>(work));
}

template <class Element>
void CWFBaseSupplyArray::replaceSlot(USHORT id, Element* element) {
  locked([&] {
    const int slot = slotOf(id);
    if (slot < 0) {
      delete element;
      return;
    }
    delete static_cast<Element*>(std::exchange(ElementAt(slot), element));
  });
}

template <class Element>
void CWFBaseSupplyArray::emptySlots() {
  locked([&] {
    for (int i = 0; i < GetSize(); ++i) delete static_cast<Element*>(std::exchange(ElementAt(i), nullptr));
  });
}

CWFBaseSupplyArray::CWFBaseSupplyArray(USHORT printer, const char* suffix, USHORT first, USHORT last)
    : m_printer(printer) {
  m_mutexName.Format("%u %x", static_cast<unsigned>(printer),
                     static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(this)));
  m_mutexName += suffix;
  locked([&] {
    m_firstId = first;
    m_lastId = last;
    SetSize(last >= first ? last - first + 1 : 0, 1);
  });
}

CWFBaseSupplyArray::~CWFBaseSupplyArray() {
  RemoveAll();
}

int CWFBaseSupplyArray::slotOf(USHORT id) const {
  if (id < m_firstId || id > m_lastId || id - m_firstId >= GetSize()) return -1;
  return id - m_firstId;
}

WFPrtObj::PAPERTRAY* CWFBaseSupplyArray::FindPaperTray(USHORT key) {
  if (key >= m_firstId) {
    int slot = slotOf(key);
    return slot < 0 ? nullptr : static_cast<WFPrtObj::PAPERTRAY*>(GetAt(slot));
  }
  for (int i = 0; i < GetSize(); ++i) {
    auto* tray = static_cast<WFPrtObj::PAPERTRAY*>(GetAt(i));
    if (tray && tray->npaNumber == key) return tray;
  }
  return nullptr;
}

int CWFBaseSupplyArray::GetTrayAttached(USHORT key) {
  return locked([&] { return FindPaperTray(key) ? 1 : 0; });
}

CString CWFBaseSupplyArray::GetTrayName(USHORT key) {
  return locked([&] {
    WFPrtObj::PAPERTRAY* tray = FindPaperTray(key);
    return tray ? lookUp(std::begin(kTrayNames), std::end(kTrayNames), tray->id) : CString();
  });
}

UINT CWFBaseSupplyArray::GetTrayCapacity(USHORT key) {
  return locked([&] {
    WFPrtObj::PAPERTRAY* tray = FindPaperTray(key);
    return tray ? static_cast<UINT>(tray->capacity) : 0u;
  });
}

UINT CWFBaseSupplyArray::GetNPAID(USHORT key) {
  return locked([&] {
    WFPrtObj::PAPERTRAY* tray = FindPaperTray(key);
    return tray ? static_cast<UINT>(tray->npaNumber) : 0u;
  });
}

UINT CWFBaseSupplyArray::NumSources() {
  return locked([&] {
    UINT count = 0;
    for (int i = 0; i < GetSize(); ++i) count += GetAt(i) != nullptr;
    return count;
  });
}

CString CWFBaseSupplyArray::GetPaperSizeString(UINT code) {
  return lookUp(std::begin(kPaperSizes), std::end(kPaperSizes), code);
}

CString CWFBaseSupplyArray::GetPaperTypeString(WFPrtObj::PAPERTYPE type) {
  return wf::prtgui::loadString(type >= 1 && type <= 4 ? 468 + type : 595);
}

CString CWFBaseSupplyArray::GetLevelString(BYTE level) {
  const LevelText* found = findLevel(level);
  return found ? wf::prtgui::loadString(found->stringId) : CString();
}

UINT CWFBaseSupplyArray::GetLevelPercent(BYTE level) {
  const LevelText* found = findLevel(level);
  return found ? found->percent : 100;
}

// ---- the input table ----

CWFInputCharArray::CWFInputCharArray(USHORT printer, const char* suffix, USHORT first, USHORT last)
    : CWFBaseSupplyArray(printer, suffix, first, last) {}

CWFInputCharArray::~CWFInputCharArray() {
  RemoveAllInputOptions();
}

INPUTBINCHAR* CWFInputCharArray::FindInputTray(USHORT key) {
  return static_cast<INPUTBINCHAR*>(FindPaperTray(key));
}

WFPrtObj::PAPERTYPE CWFInputCharArray::GetTrayType(USHORT key) {
  return locked([&] {
    INPUTBINCHAR* tray = FindInputTray(key);
    return tray ? tray->paperType : WFPrtObj::PAPERTYPE{0};
  });
}

CString CWFInputCharArray::GetTrayTypeName(USHORT key) {
  return locked([&] {
    INPUTBINCHAR* tray = FindInputTray(key);
    return tray ? GetPaperTypeString(tray->paperType) : CString();
  });
}

UINT CWFInputCharArray::GetTraySize(USHORT key) {
  return locked([&] {
    INPUTBINCHAR* tray = FindInputTray(key);
    return tray ? static_cast<UINT>(tray->paperSize) : 0u;
  });
}

CString CWFInputCharArray::GetTraySizeName(USHORT key) {
  return locked([&] {
    INPUTBINCHAR* tray = FindInputTray(key);
    return tray ? GetPaperSizeString(tray->paperSize) : CString();
  });
}

int CWFInputCharArray::TraySupportsLevel(INPUTBINCHAR* tray) {
  return tray && tray->id >= 7103 && tray->id <= 7105;
}

CString CWFInputCharArray::GetTrayLevelName(USHORT key) {
  return locked([&] {
    INPUTBINCHAR* tray = FindInputTray(key);
    return TraySupportsLevel(tray) ? GetLevelString(tray->level) : CString();
  });
}

UINT CWFInputCharArray::GetTrayLevelPercent(USHORT key) {
  return locked([&] {
    INPUTBINCHAR* tray = FindInputTray(key);
    return TraySupportsLevel(tray) ? GetLevelPercent(tray->level) : 0u;
  });
}

void CWFInputCharArray::SetLevel(USHORT key, BYTE level) {
  locked([&] {
    if (INPUTBINCHAR* tray = FindInputTray(key)) tray->level = level;
  });
}

void CWFInputCharArray::Add(USHORT id, WFPrtObj::INPUTBIN* record) {
  INPUTBINCHAR* tray = nullptr;
  if (record) {
    tray = new INPUTBINCHAR;
    tray->npaNumber = record->sourceId;
    tray->id = record->binNumber;
    tray->capacity = record->capacity;
    tray->name = record->name.c_str();
    tray->paperSize = record->formSize;
    tray->paperType = record->paperType;
  }
  replaceSlot(id, tray);
}

void CWFInputCharArray::RemoveInputTray(USHORT id) {
  replaceSlot<INPUTBINCHAR>(id, nullptr);
}

void CWFInputCharArray::RemoveAllInputOptions() {
  emptySlots<INPUTBINCHAR>();
}

// ---- the output table ----

CWFOutputCharArray::CWFOutputCharArray(USHORT printer, const char* suffix, USHORT first, USHORT last)
    : CWFBaseSupplyArray(printer, suffix, first, last) {}

CWFOutputCharArray::~CWFOutputCharArray() {
  RemoveAllOutputOptions();
}

OUTPUTBINCHAR* CWFOutputCharArray::FindOutputTray(USHORT key) {
  return static_cast<OUTPUTBINCHAR*>(FindPaperTray(key));
}

void CWFOutputCharArray::Add(USHORT id, WFPrtObj::OUTPUTBIN* record) {
  OUTPUTBINCHAR* bin = nullptr;
  if (record) {
    bin = new OUTPUTBINCHAR;
    bin->npaNumber = record->binId;
    bin->id = record->binNumber;
    bin->capacity = record->capacity;
    bin->name = record->name.c_str();
    bin->type = record->type;
    std::copy(std::begin(record->flags), std::end(record->flags), bin->flags);
  }
  replaceSlot(id, bin);
}

void CWFOutputCharArray::RemoveOutputTray(USHORT id) {
  replaceSlot<OUTPUTBINCHAR>(id, nullptr);
}

void CWFOutputCharArray::RemoveAllOutputOptions() {
  emptySlots<OUTPUTBINCHAR>();
}
