#include "halcyon/hc_icon.h"

#include <algorithm>
#include <new>
#include <string>

#include "broker/corbce.h"
#include "common/alert_dlg_list.h"
#include "common/app_services.h"
#include "common/wait_objects.h"
#include "framework/resources.h"
#include "framework/shell_services.h"
#include "platform/clock.h"

namespace {

constexpr UINT kModelName = 45000;

// The family's alerts, in stored-flag order: specific id and the string
// that names it in the alert dialog.
struct FamilyAlert {
  UINT id;
  UINT title;
};
constexpr FamilyAlert kFamilyAlerts[CWFHalcIcon::kFamilyAlertCount] = {
    {11, 45001}, {12, 45001},   {13, 45001},   {14, 45001},   {5, 45010},    {6, 45010},
    {7, 45010},  {8, 45010},    {18, 96},      {10, 45025},   {9, 99},       {15, 97},
    {16, 98},    {6182, 530},   {6185, 530},   {6183, 45007}, {6184, 45008}, {0, 538},
    {1, 538},    {2, 538},      {3, 538},      {4, 95},       {6156, 597},   {6163, 45024},
    {6165, 101}, {6166, 45021}, {6167, 45022}, {6168, 45027}, {6169, 45010}};

// Rows [first, last] arm class `bit` when any of them is chosen.
struct ClassRows {
  ULONG bit;
  int first, last;
};
constexpr ClassRows kClassRows[] = {{0x08, 0, 12}, {0x04, 13, 16}, {0x20, 17, 21}, {0x10, 22, 28}};
// The warning class also serves the waste-bottle warning row.
constexpr UINT kAlsoWarning = 6168;

int familyAlertIndex(UINT id) {
  for (int i = 0; i < CWFHalcIcon::kFamilyAlertCount; ++i)
    if (kFamilyAlerts[i].id == id) return i;
  return -1;
}

constexpr std::pair<UINT, DWORD> kHelp[] = {
    {11, 2030},   {12, 2040},   {13, 2050},   {14, 2060},   {5, 2070},    {6, 2080},    {7, 2090},
    {8, 2100},    {10, 1942},   {9, 2020},    {16, 2020},   {15, 2010},   {6182, 1924}, {6185, 1924},
    {6183, 2229}, {6184, 2230}, {0, 2110},    {1, 2120},    {2, 2130},    {3, 2140},    {4, 2150},
    {6156, 2210}, {6163, 2220}, {6165, 2190}, {6166, 2170}, {6167, 2180}, {6168, 1937}, {6169, 2200}};

constexpr int kAnySubCode = -1;

}  // namespace

// One decoded row: the printer's code and sub-code, the specific id it
// becomes, the text (message and colour strings), sound event and help id,
// and the three switches.
struct CWFHalcIcon::DecodedAlert {
  USHORT code;
  int subCode;
  UINT specific;
  UINT text, colour;
  UINT sound, help;
  BOOL canContinue, canReset, hardError;
};

namespace {

using Row = CWFHalcIcon::DecodedAlert;

}  // namespace

IMPLEMENT_DYNCREATE(CWFHalcIcon, CWFMeridianIcon)

CWFHalcIcon::CWFHalcIcon() {
  ConstructorInit();
}

CWFHalcIcon::CWFHalcIcon(WFPrtObj* object, void* record) : CWFMeridianFamilyIcon(object, record) {
  ConstructorInit();
  if (const HALCYONBINARYDATA* stored = adoptRecord(record)) RestoreHalcyonAlerts(stored->storedAlerts);
}

void CWFHalcIcon::ConstructorInit() {
  for (auto& flag : m_familyAlerts) flag = TRUE;
  m_bPageNumbering = TRUE;
  SetTrackingJS(FALSE);
}

int CWFHalcIcon::BelongsToFamily(ULONG key) {
  return key == 6;
}

CString CWFHalcIcon::GetGhostName() {
  return "Help, missing Vireo C";
}

void CWFHalcIcon::DetermineModel() {
  loadModel(kModelName);
}

// ---- stored record ----

ULONG CWFHalcIcon::CreateHalcyonStoredAlerts() const {
  return packFlags(m_familyAlerts);
}

void CWFHalcIcon::RestoreHalcyonAlerts(ULONG mask) {
  unpackFlags(m_familyAlerts, mask);
}

void CWFHalcIcon::CreateSpecificBinaryData(void* out) {
  CWFMeridianIcon::CreateSpecificBinaryData(out);
  static_cast<HALCYONBINARYDATA*>(out)->storedAlerts = CreateHalcyonStoredAlerts();
}

// ---- alert decoding ----

namespace {

constexpr Row kSupplies[] = {
    {6221, 1, 11, 45001, 617, 24, 11003, 0, 0, 1}, {6221, 2, 12, 45001, 618, 26, 11004, 0, 0, 1},
    {6221, 3, 13, 45001, 619, 28, 11005, 0, 0, 1}, {6221, 4, 14, 45001, 620, 30, 11006, 0, 0, 1},
    {6221, 5, 15, 97, 0, 32, 11007, 0, 0, 1},      {6222, 1, 5, 45010, 617, 25, 11003, 0, 0, 1},
    {6222, 2, 6, 45010, 618, 27, 11004, 0, 0, 1},  {6222, 3, 7, 45010, 619, 29, 11005, 0, 0, 1},
    {6222, 4, 8, 45010, 620, 31, 11006, 0, 0, 1},  {6222, 5, 18, 96, 0, 33, 11007, 0, 0, 1},
    {6222, 6, 10, 45025, 0, 5, 10700, 0, 0, 1},    {6222, 7, 9, 99, 0, 34, 11008, 0, 0, 1},
    {6220, 7, 16, 98, 0, 35, 11008, 0, 0, 1}};
constexpr Row kJams[] = {{6182, kAnySubCode, 6182, 596, 598, 0, 3511, 1, 0, 1},
                         {6183, kAnySubCode, 6183, 596, 598, 0, 3511, 1, 0, 1},
                         {6184, kAnySubCode, 6184, 596, 598, 0, 3511, 1, 0, 1},
                         {6185, kAnySubCode, 6185, 596, 598, 0, 3511, 1, 0, 1}};
constexpr Row kWarnings[] = {
    {6223, 1, 0, 538, 617, 36, 3504, 1, 0, 0}, {6223, 2, 1, 538, 618, 37, 3504, 1, 0, 0},
    {6223, 3, 2, 538, 619, 38, 3504, 1, 0, 0}, {6223, 4, 3, 538, 620, 39, 3504, 1, 0, 0},
    {6223, 5, 4, 95, 0, 40, 3504, 1, 0, 0},    {6168, kAnySubCode, 6168, 45027, 0, 5, 3504, 1, 0, 0}};
constexpr Row kInterventions[] = {{6156, kAnySubCode, 6156, 597, 0, 5, 3522, 0, 0, 1},
                                  {6163, kAnySubCode, 6163, 45024, 0, 5, 3504, 0, 0, 1},
                                  {6165, kAnySubCode, 6165, 101, 0, 19, 6600, 0, 0, 1},
                                  {6166, kAnySubCode, 6166, 45021, 0, 5, 3504, 1, 0, 1},
                                  {6167, kAnySubCode, 6167, 45022, 0, 5, 3504, 0, 0, 1},
                                  {6168, kAnySubCode, 6168, 45027, 0, 5, 3504, 0, 0, 1},
                                  {6169, kAnySubCode, 6169, 45010, 0, 5, 6600, 0, 0, 1}};

template <std::size_t N>
const Row* findRow(const Row (&table)[N], const WFPrtObj::WFPALERTDATA& entry) {
  for (const Row& row : table)
    if (row.code == entry.alertId && (row.subCode == kAnySubCode || row.subCode == entry.detail)) return &row;
  return nullptr;
}

}  // namespace

template <std::size_t N>
UINT CWFHalcIcon::decode(const DecodedAlert (&table)[N], ALERTSUBTYPE subType, CWFAlert* alert, UINT count,
                         WFPrtObj::WFPALERTDATA* data, UINT& handled) {
  UINT result = 0;
  if (!data) count = 0;
  WFAppServices* app = WFGetApp();
  for (UINT i = 0; i < count; ++i) {
    alert->SetSpecificAlert(data[i].alertId);
    const Row* row = findRow(table, data[i]);
    if (!row) continue;
    result |= 9;
    ++handled;
    alert->SetSpecificAlert(row->specific);
    CString text;
    {
      wf::fw::ResourceHandleSwitch resources(s_resources);
      text = BuildAlertString(row->text, row->colour, 0);
    }
    CompleteAlert(alert, CWFAlert::ACTIVE, result, subType, text, row->help,
                  app ? app->GetWaveFile(row->sound) : CFilename(), row->canContinue, row->canReset,
                  row->hardError);
  }
  return result;
}

#define WF_HC_DECODER(Name, Table, SubType)                                                         \
  UINT CWFHalcIcon::Name(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT handled) { \
    UINT result = decode(Table, SubType, alert, count, data, handled);                              \
    if (handled < count) result |= CWFMeridianIcon::Name(alert, count, data, handled);              \
    return result;                                                                                  \
  }
WF_HC_DECODER(ProcessSupplyAlerts, kSupplies, ALERT_SUBTYPE_SUPPLIES)
WF_HC_DECODER(ProcessPaperJamAlerts, kJams, ALERT_SUBTYPE_PAPERJAM)
WF_HC_DECODER(ProcessWarningAlerts, kWarnings, ALERT_SUBTYPE_WARNING)
WF_HC_DECODER(ProcessUIRAlerts, kInterventions, ALERT_SUBTYPE_INTERVENTION)
#undef WF_HC_DECODER

// ---- alert choices and help ----

void CWFHalcIcon::ShowHelpforError() {
  // The family's small ids mean its alerts only within device-status
  // messages: another message's specific id 0 is no empty toner.
  const std::optional<UINT> specific = topAlertSpecific(true);
  WFAppServices* app = WFGetApp();
  if (specific && app)
    for (const auto& [id, help] : kHelp)
      if (id == *specific) return void(app->WinHelp(help, HELP_CONTEXT));
  CWFMeridianIcon::ShowHelpforError();
}

void CWFHalcIcon::UpdateAlertList(CWFAlertDlgList* list) {
  listFamilyAlerts(list, kFamilyAlerts, m_familyAlerts);
}

void CWFHalcIcon::SetBceAlerts(CWFAlertDlgList* list, ALERTS* alerts, int store) {
  if (store) takeFamilyAlerts(list, kFamilyAlerts, m_familyAlerts);
  CWFMeridianIcon::SetBceAlerts(list, alerts, TRUE);
  for (const ClassRows& rows : kClassRows) {
    if (alerts->mask & rows.bit) continue;
    for (int i = rows.first; i <= rows.last; ++i)
      if (list->GetAlertState(kFamilyAlerts[i].id)) {
        alerts->mask |= rows.bit;
        break;
      }
    if (rows.bit == 0x20 && !(alerts->mask & rows.bit) && list->GetAlertState(kAlsoWarning))
      alerts->mask |= rows.bit;
  }
}

CWFPrinterIcon::ALERT_ACTION CWFHalcIcon::FilterAlerts(CWFAlertMsg* message) {
  const ALERT_ACTION inherited = CWFMeridianIcon::FilterAlerts(message);
  if (inherited != ALERT_FAMILY || !message || message->GetAlert()->GetType() != WM_BCE_DSA_ALERT)
    return inherited;
  const int index = familyAlertIndex(message->GetAlert()->GetSpecificAlert());
  if (index < 0) return ALERT_FAMILY;
  return m_familyAlerts[index] ? ALERT_SHOW : ALERT_SUPPRESS;
}

// ---- job statistics ----

WFPrtObj::JSALERTDATA* CWFHalcIcon::AllocJobStatData() {
  return new (std::nothrow) HALCYONJSALERTDATA;
}

const char* CWFHalcIcon::GetExtraJobStatFields(WFPrtObj::JSALERTDATA* data, USHORT count) {
  constexpr int kSlots = HALCYONJSALERTDATA::kPairs;
  thread_local std::string text;
  ULONG slots[kSlots][2] = {};
  const auto* record = dynamic_cast<const HALCYONJSALERTDATA*>(data);
  // The record has ten pairs whatever the printer counts; the tenth
  // source's entry has no slot in the tray table.
  const int entries = record ? std::min<int>(count, kSlots) : 0;
  for (int k = 0; k < entries; ++k) {
    const UINT entry = static_cast<UINT>(k) + 1;
    if (entry >= kInputCodes) continue;
    CMutex mutex(GetMutexName("InputChars"));
    mutex.Wait(wf::kInfinite);
    const UINT slot = GetInputCode(entry);
    mutex.Release();
    if (slot >= static_cast<UINT>(kSlots)) continue;
    slots[slot][0] = record->pairs[k][0];
    slots[slot][1] = record->pairs[k][1];
  }
  text.clear();
  for (int slot = 0; slot < kSlots; ++slot) {
    if (slot) text += ',';
    text += std::to_string(slots[slot][0]) + "," + std::to_string(slots[slot][1]);
  }
  return text.c_str();
}
