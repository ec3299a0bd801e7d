// The icon's tray and bin tables: filled once from the printer, read by the
// pages, the families and the inventory record.
#include <algorithm>
#include <iterator>
#include <new>

#include "common/printer_icon.h"
#include "icon_mutex.h"
#include "icon_strings.h"
#include "prtgui/supply_tables.h"

using wf::prtgui::underIconMutex;

namespace {

constexpr USHORT kEnvelopeFeeder = 7106;
constexpr USHORT kAuxFeeder = 7107;
constexpr USHORT kDualFirst = 7108;
constexpr USHORT kDualSecond = 7109;
constexpr USHORT kPrimaryBin = 7201;
// Ids up to this one are the printer's own numbers, whose size is not asked.
constexpr UINT kLastSmallId = 8;

// Fills `table` from the request `fetch` when it is empty. `noObject` is the
// answer when no printer object can be borrowed.
template <class Record, class Table, class Fetch, class Filled>
BOOL fillTable(CWFPrinterIcon* icon, Table* table, BOOL noObject, Fetch&& fetch, Filled&& filled) {
  WFPrtObj* object = icon->GetPrinterObj();
  if (!object) return noObject;
  BOOL ok = TRUE;
  if (table->NumSources() == 0) {
    UINT count = 0;
    Record* records = nullptr;
    ok = icon->BCEReturnCheck(fetch(object, &count, &records));
    if (ok && count && records) {
      for (UINT i = 0; i < count; ++i) table->Add(records[i].binNumber, &records[i]);
    }
    delete[] records;
    if (ok) filled();
  }
  icon->ReleasePrinterObj();
  return ok;
}

}  // namespace

BOOL CWFPrinterIcon::UpdateInputChars() {
  return underIconMutex(this, "InputChars", [&] {
    if (!m_pInputObj) m_pInputObj = new (std::nothrow) CWFInputCharArray(m_hPrinter, "InputObj", 7101, 7110);
    if (!m_pInputObj) return FALSE;
    return fillTable<WFPrtObj::INPUTBIN>(
        this, m_pInputObj, FALSE,
        [](WFPrtObj* object, UINT* count, WFPrtObj::INPUTBIN** bins) {
          return object->bidiGetInputChars(count, bins);
        },
        [&] {
          if (SupportInputLevels()) GetInputLevels();
          OnUpdateInputChars();
        });
  });
}

BOOL CWFPrinterIcon::UpdateOutputBins() {
  return underIconMutex(this, "OutputBins", [&] {
    if (!m_pOutputObj)
      m_pOutputObj = new (std::nothrow) CWFOutputCharArray(m_hPrinter, "OutputObj", 7201, 7204);
    if (!m_pOutputObj) return FALSE;
    return fillTable<WFPrtObj::OUTPUTBIN>(
        this, m_pOutputObj, TRUE,
        [](WFPrtObj* object, UINT* count, WFPrtObj::OUTPUTBIN** bins) {
          return object->bidiGetOutputChars(count, bins);
        },
        [] {});
  });
}

int CWFPrinterIcon::GetInputLevels() {
  WFPrtObj* object = GetPrinterObj();
  if (!object) return FALSE;
  UINT count = 0;
  WFPrtObj::WFPALERTDATA* alerts = nullptr;
  const BOOL ok = BCEReturnCheck(object->bidiQueryInputStatus(&count, &alerts));
  if (ok && alerts && m_pInputObj) {
    for (UINT i = 0; i < count; ++i)
      if (alerts[i].alertId == 6209)
        m_pInputObj->SetLevel(static_cast<USHORT>(alerts[i].detail >> 8),
                              static_cast<BYTE>(alerts[i].detail & 0xFF));
  }
  delete[] alerts;
  ReleasePrinterObj();
  return ok;
}

void CWFPrinterIcon::OnUpdateInputChars() {
  UpdateXlate();
}

void CWFPrinterIcon::UpdateXlate() {
  // Absent trays answer NPA number 0, so entry 0 collects their codes; a
  // tray numbered beyond the table has no code.
  UINT codes[kInputCodes] = {};
  auto set = [&](USHORT id, UINT code) {
    const UINT npa = GetNPAID(id);
    if (npa < kInputCodes) codes[npa] = code;
  };
  set(7101, 0);
  set(7102, 1);
  set(7103, 2);
  set(7104, 3);
  set(7105, 5);
  set(7110, 7);
  if (GetNPAID(kDualFirst) && GetNPAID(kDualSecond)) {
    set(kDualFirst, 4);
    set(kDualSecond, 6);
  } else if (GetNPAID(kEnvelopeFeeder)) {
    set(kEnvelopeFeeder, 4);
  } else if (GetNPAID(kAuxFeeder)) {
    set(kAuxFeeder, 4);
  }
  std::copy(std::begin(codes), std::end(codes), m_inputCodes);
}

CString CWFPrinterIcon::GetMarkingType() {
  return wf::prtgui::loadString(616);
}

CString CWFPrinterIcon::GetPaperSizeString(UINT size) {
  return CWFBaseSupplyArray::GetPaperSizeString(size);
}

CString CWFPrinterIcon::GetPaperTypeString(WFPrtObj::PAPERTYPE type) {
  return CWFBaseSupplyArray::GetPaperTypeString(type);
}

// ---- questions forwarded to the tables ----

int CWFPrinterIcon::GetAutoEnvelope() {
  return GetTrayAttached(kEnvelopeFeeder);
}

int CWFPrinterIcon::GetAuxFeeder() {
  return GetTrayAttached(kAuxFeeder);
}

int CWFPrinterIcon::GetDualFeeder() {
  return GetTrayAttached(kDualFirst) || GetTrayAttached(kDualSecond);
}

int CWFPrinterIcon::GetTrayAttached(UINT id) {
  return m_pInputObj ? m_pInputObj->GetTrayAttached(static_cast<USHORT>(id)) : 0;
}

UINT CWFPrinterIcon::GetTraySize(UINT id) {
  return m_pInputObj && id > kLastSmallId ? m_pInputObj->GetTraySize(static_cast<USHORT>(id)) : 0;
}

WFPrtObj::PAPERTYPE CWFPrinterIcon::GetTrayType(UINT id) {
  return m_pInputObj ? m_pInputObj->GetTrayType(static_cast<USHORT>(id)) : WFPrtObj::PAPERTYPE{0};
}

UINT CWFPrinterIcon::GetTrayCapacity(UINT id) {
  return m_pInputObj ? m_pInputObj->GetTrayCapacity(static_cast<USHORT>(id)) : 0;
}

UINT CWFPrinterIcon::GetOutputCapacity(UINT id) {
  return m_pOutputObj ? m_pOutputObj->GetTrayCapacity(static_cast<USHORT>(id)) : 0;
}

int CWFPrinterIcon::OutputDestSupported(UINT id) {
  return m_pOutputObj ? m_pOutputObj->GetTrayAttached(static_cast<USHORT>(id)) : 0;
}

ULONG CWFPrinterIcon::GetOutputCapacity() {
  return GetOutputCapacity(kPrimaryBin);
}

// The icon keeps both tables from its construction to its destruction; the
// answers below are neutral only when a table could not be made.

CString CWFPrinterIcon::GetTrayName(USHORT id) {
  return m_pInputObj ? m_pInputObj->GetTrayName(id) : CString();
}

CString CWFPrinterIcon::GetTrayTypeName(USHORT id) {
  return m_pInputObj ? m_pInputObj->GetTrayTypeName(id) : CString();
}

CString CWFPrinterIcon::GetTraySizeName(USHORT id) {
  return m_pInputObj ? m_pInputObj->GetTraySizeName(id) : CString();
}

CString CWFPrinterIcon::GetTrayLevelName(USHORT id) {
  return m_pInputObj ? m_pInputObj->GetTrayLevelName(id) : CString();
}

void CWFPrinterIcon::SetTrayLevel(USHORT id, BYTE level) {
  if (m_pInputObj) m_pInputObj->SetLevel(id, level);
}

UINT CWFPrinterIcon::GetTrayLevelPercent(USHORT id) {
  return m_pInputObj ? m_pInputObj->GetTrayLevelPercent(id) : 0;
}

UINT CWFPrinterIcon::GetNPAID(USHORT id) {
  return m_pInputObj ? m_pInputObj->GetNPAID(id) : 0;
}

UINT CWFPrinterIcon::NumInputSources() {
  return m_pInputObj ? m_pInputObj->NumSources() : 0;
}

UINT CWFPrinterIcon::NumOutputDestinations() {
  return m_pOutputObj ? m_pOutputObj->NumSources() : 0;
}

CString CWFPrinterIcon::GetOutputBinName(UINT id) {
  return m_pOutputObj ? m_pOutputObj->GetTrayName(static_cast<USHORT>(id)) : CString();
}
