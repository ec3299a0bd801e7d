// Alerts reaching the icon: the broker's printer events, the device-status
// alert with its classes, the decoding of each class's alert list into
// stored messages, the operator-panel alert and the initial status.
#include <iterator>
#include <memory>

#include "common/app_services.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "framework/shell_calls.h"
#include "framework/wnd.h"
#include "icon_mutex.h"
#include "icon_strings.h"
#include "wfprtmgr/wfprtmgr.h"

using wf::prtgui::loadString;
using wf::prtgui::underIconMutex;

namespace {

constexpr ULONG kDisconnected = 100;
constexpr ULONG kResync = 101;
constexpr ULONG kRemoved = 102;
constexpr ULONG kChanged = 200;
constexpr ULONG kDeviceStatus = 1524;
constexpr ULONG kOpPanel = 1527;

constexpr UINT kShown = 0x1;
constexpr UINT kEventShown = 0x2;
constexpr UINT kPanelQueued = 0x4;
constexpr UINT kStored = 0x8 | kShown;
constexpr UINT kAllGone = 0x10;

constexpr UINT kConnectionLostTitle = 161;
constexpr UINT kConnectionLostText = 162;
constexpr UINT kOfflineText = 104;
constexpr ULONG kAllConnections = 0xFFF;
constexpr ULONG kLiveConnections = 0x1FF1F;

// One row of a decoder's table; element 0 is the decoder's remainder row.
struct DecoderRow {
  ALERTSUBTYPE subType;
  UINT element;
  UINT detail;    // the wrapped condition a 6223 element must carry; 0 for others
  UINT specific;  // 0: handled without an alert
  UINT text;
  int soundEvent;
  UINT help;
  BOOL enableContinue, enableReset, hardError;
};
constexpr UINT kRemainder = 0;
constexpr UINT kWrapper = 6223;

constexpr DecoderRow kDecoderRows[] = {
    {1, 6113, 0, 6113, 467, 2, 3509, 1, 1, 1},
    {1, 6117, 0, 6117, 465, 15, 3509, 0, 0, 1},
    {1, 6209, 0, 0, 0, 0, 0, 0, 0, 0},
    {1, kRemainder, 0, 21, 610, 5, 3504, 0, 0, 1},
    {2, 6114, 0, 6114, 462, 4, 3515, 1, 0, 1},
    {2, kRemainder, 0, 22, 609, 5, 3504, 0, 0, 1},
    {3, 6104, 0, 6104, 464, 21, 3510, 1, 0, 1},
    {3, 6105, 0, 6105, 530, 0, 3512, 1, 0, 1},
    {3, 6106, 0, 6106, 508, 22, 3511, 1, 0, 1},
    {3, 6107, 0, 6107, 532, 23, 3513, 1, 0, 1},
    {3, 6108, 0, 6108, 534, 0, 3510, 1, 0, 1},
    {3, kRemainder, 0, 23, 614, 0, 3504, 0, 0, 1},
    {4, kWrapper, 6116, 17, 538, 6, 3514, 1, 0, 0},
    {4, kRemainder, 0, 24, 613, 5, 3504, 0, 0, 1},
    {5, 6102, 0, 6102, 10, 1, 3505, 0, 0, 1},
    {5, 6103, 0, 6103, 456, 3, 3506, 0, 0, 1},
    {5, 6118, 0, 6118, 458, 5, 3504, 0, 0, 1},
    {5, kRemainder, 0, 20, 609, 5, 3504, 0, 0, 1},
    {6, 6135, 0, 6135, 631, 5, 3504, 1, 0, 0},
    {6, 6226, 0, 6226, 631, 5, 3504, 1, 0, 0},
    {6, kWrapper, 6116, 17, 538, 6, 3514, 1, 0, 0},
    {8, 6115, 0, 6115, 536, 7, 3504, 0, 0, 1},
    {8, kRemainder, 0, 25, 615, 5, 3504, 0, 0, 1},
};

const DecoderRow* findRow(ALERTSUBTYPE subType, const WFPrtObj::WFPALERTDATA& element) {
  for (const DecoderRow& row : kDecoderRows)
    if (row.subType == subType && row.element != kRemainder && row.element == element.alertId &&
        (row.element != kWrapper || row.detail == element.detail))
      return &row;
  return nullptr;
}

const DecoderRow* remainderRow(ALERTSUBTYPE subType) {
  for (const DecoderRow& row : kDecoderRows)
    if (row.subType == subType && row.element == kRemainder) return &row;
  return nullptr;
}

CFilename waveFile(int soundEvent) {
  WFAppServices* app = WFGetApp();
  return app ? app->GetWaveFile(soundEvent) : CFilename();
}

// The printer object borrowed for one scope, given back exactly once.
class Borrowed {
 public:
  explicit Borrowed(CWFPrinterIcon* icon) : icon_(icon), object_(icon->GetPrinterObj()) {}
  ~Borrowed() { giveBack(); }
  Borrowed(const Borrowed&) = delete;
  Borrowed& operator=(const Borrowed&) = delete;
  WFPrtObj* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  void giveBack() {
    if (std::exchange(object_, nullptr)) icon_->ReleasePrinterObj();
  }

 private:
  CWFPrinterIcon* icon_;
  WFPrtObj* object_;
};

}  // namespace

UINT CWFPrinterIcon::ProcessAlert(CWFAlert* alert) {
  switch (alert->GetType()) {
    case kDisconnected:
    case kResync:
    case kRemoved:
    case kChanged:
      return ProcessBCEGeneralMsg(alert);
    case kDeviceStatus:
      return GetBidiActive() ? ProcessDeviceStatusAlert(alert) : 0;
    case kOpPanel:
      return GetBidiActive() ? ProcessOpPanelAlert(alert) : 0;
    default:
      return GetBidiActive() ? ProcessUnknownAlert(alert) : 0;
  }
}

UINT CWFPrinterIcon::ProcessUnknownAlert(CWFAlert*) {
  return 0;
}

UINT CWFPrinterIcon::ProcessBCEGeneralMsg(CWFAlert* alert) {
  Borrowed object(this);
  if (!object) return 0;
  switch (alert->GetType()) {
    case kDisconnected: {
      object.get()->setBidiOff();
      object.giveBack();
      CWnd* notebook = m_hOpenDlg ? CWnd::FromHandle(m_hOpenDlg) : nullptr;
      CWnd* frame = notebook ? notebook->GetParent() : nullptr;
      if (frame) {
        frame->PostMessage(WM_CLOSE, 0, 0);
        CString text;
        AfxFormatString1(text, kConnectionLostText, GetLongName());
        MessageBox(frame->GetSafeHwnd(), text, GetLongName(), MB_OK | MB_ICONSTOP);
      }
      const UINT result = kStored | kEventShown;
      CompleteAlert(alert, CWFAlert::ACTIVE, result, ALERT_SUBTYPE_NONE, loadString(kConnectionLostTitle), 0,
                    CFilename(), FALSE, FALSE, FALSE);
      return result;
    }
    case kResync: {
      NETADDRESS address{};
      object.get()->getBCENetAddress(&address, 0);
      object.giveBack();
      WFAppServices* app = WFGetApp();
      WFPrtMgr* manager = app ? app->GetPrtMgr() : nullptr;
      if (!manager) return 0;
      auto request = std::make_unique<ENUMPRTDATA>();
      request->pList = app->GetPrinterList();
      request->mode = 3;
      request->pStoredRecord = CreateRefreshData();
      request->address = address;
      manager->enumSpecificPrinter(&request->address, &EnumPrintersCallback,
                                   reinterpret_cast<std::uintptr_t>(request.get()), 1);
      request.release();  // the callback frees it
      alert->SetType(kDisconnected);
      const UINT result = kStored | kEventShown;
      CompleteAlert(alert, CWFAlert::CLEARED, result, ALERT_SUBTYPE_NONE, CString(), 0, CFilename(), FALSE,
                    FALSE, FALSE);
      return result;
    }
    case kRemoved:
      if (AllConnectionsGone(static_cast<ULONG>(alert->GetExtraData()))) return kAllGone;
      object.get()->bidiInitialize(1);
      object.giveBack();
      PrinterReEnum(nullptr);
      return kStored | kEventShown;
    default:  // printer changed
      object.get()->bidiInitialize(1);
      object.giveBack();
      PrinterReEnum(nullptr);
      return 0;
  }
}

int CWFPrinterIcon::AllConnectionsGone(UINT connections) {
  if (connections == kAllConnections) return TRUE;
  Borrowed object(this);
  if (!object) return TRUE;
  PRTINFO info{};
  if (object.get()->getPrinterInfo(&info) != 0) return TRUE;
  object.giveBack();
  m_connections = info.connections;
  OnConnectionUpdated();
  return (info.connections & kLiveConnections) ? FALSE : TRUE;
}

UINT CWFPrinterIcon::ProcessDeviceStatusAlert(CWFAlert* alert) {
  UINT result = 0;
  if (Borrowed(this)) {
    const ULONG old = m_dsaClassFlags;
    m_dsaClassFlags = static_cast<ULONG>(alert->GetExtraData());
    using Operation = UINT (CWFPrinterIcon::*)(CWFAlert*);
    static constexpr std::pair<ULONG, Operation> kClasses[] = {
        {0x1, &CWFPrinterIcon::ProcessDSAInput},       {0x2, &CWFPrinterIcon::ProcessDSAOutput},
        {0x4, &CWFPrinterIcon::ProcessDSAPaperJam},    {0x8, &CWFPrinterIcon::ProcessDSASupply},
        {0x10, &CWFPrinterIcon::ProcessDSA_UIR},       {0x20, &CWFPrinterIcon::ProcessDSAWarnings},
        {0x40, &CWFPrinterIcon::ProcessDSAServiceReq}, {0x80, &CWFPrinterIcon::ProcessDSA_CfgChg},
        {0x100, &CWFPrinterIcon::ProcessDSAOffLine}};
    bool called = false;
    for (const auto& [bit, operation] : kClasses) {
      if (!((m_dsaClassFlags | old) & bit)) continue;
      called = true;
      result |= (this->*operation)(alert);
    }
    if (!called) result |= ProcessDSAUnknown(alert);
  }
  return result | ClearAlerts();
}

UINT CWFPrinterIcon::processAlertClass(CWFAlert* alert, ULONG classBit, ALERTSUBTYPE subType,
                                       AlertListQuery query, AlertDecoder decoder) {
  Borrowed object(this);
  if (!object) return 0;
  underIconMutex(this, "AlertLock", [&] { m_alertStorage.SetDeleteFlag(subType); });
  if (!(m_dsaClassFlags & classBit)) return 0;
  UINT count = 0;
  WFPrtObj::WFPALERTDATA* data = nullptr;
  const LONG rc = (object.get()->*query)(&count, &data);
  std::unique_ptr<WFPrtObj::WFPALERTDATA[]> owned(data);
  if (!BCEReturnCheck(rc)) return 0;
  object.giveBack();
  return (this->*decoder)(alert, data ? count : 0, data, 0);
}

UINT CWFPrinterIcon::ProcessDSAInput(CWFAlert* alert) {
  return processAlertClass(alert, 0x1, ALERT_SUBTYPE_INPUT, &WFPrtObj::bidiQueryInputStatus,
                           &CWFPrinterIcon::ProcessInputAlerts);
}
UINT CWFPrinterIcon::ProcessDSAOutput(CWFAlert* alert) {
  return processAlertClass(alert, 0x2, ALERT_SUBTYPE_OUTPUT, &WFPrtObj::bidiQueryOutputStatus,
                           &CWFPrinterIcon::ProcessOutputAlerts);
}
UINT CWFPrinterIcon::ProcessDSAPaperJam(CWFAlert* alert) {
  return processAlertClass(alert, 0x4, ALERT_SUBTYPE_PAPERJAM, &WFPrtObj::bidiQueryPaperJams,
                           &CWFPrinterIcon::ProcessPaperJamAlerts);
}
UINT CWFPrinterIcon::ProcessDSASupply(CWFAlert* alert) {
  return processAlertClass(alert, 0x8, ALERT_SUBTYPE_SUPPLIES, &WFPrtObj::bidiQuerySupplies,
                           &CWFPrinterIcon::ProcessSupplyAlerts);
}
UINT CWFPrinterIcon::ProcessDSA_UIR(CWFAlert* alert) {
  return processAlertClass(alert, 0x10, ALERT_SUBTYPE_INTERVENTION, &WFPrtObj::bidiQueryOperatorIV,
                           &CWFPrinterIcon::ProcessUIRAlerts);
}
UINT CWFPrinterIcon::ProcessDSAWarnings(CWFAlert* alert) {
  return processAlertClass(alert, 0x20, ALERT_SUBTYPE_WARNING, &WFPrtObj::bidiQueryWarnings,
                           &CWFPrinterIcon::ProcessWarningAlerts);
}
UINT CWFPrinterIcon::ProcessDSAServiceReq(CWFAlert* alert) {
  return processAlertClass(alert, 0x40, ALERT_SUBTYPE_SERVICE, &WFPrtObj::bidiQueryServiceReq,
                           &CWFPrinterIcon::ProcessServiceReqAlerts);
}
UINT CWFPrinterIcon::ProcessDSA_CfgChg(CWFAlert* alert) {
  return processAlertClass(alert, 0x80, ALERT_SUBTYPE_CONFIGCHANGE, &WFPrtObj::bidiQueryConfigChg,
                           &CWFPrinterIcon::ProcessCfgChgAlerts);
}

UINT CWFPrinterIcon::ProcessDSAOffLine(CWFAlert* alert) {
  underIconMutex(this, "AlertLock", [&] { m_alertStorage.SetDeleteFlag(ALERT_SUBTYPE_DSOFFLINE); });
  if (!(m_dsaClassFlags & 0x100)) return 0;
  alert->SetSpecificAlert(6001);
  CompleteAlert(alert, CWFAlert::ACTIVE, kStored, ALERT_SUBTYPE_DSOFFLINE, loadString(kOfflineText), 3504,
                CFilename(), FALSE, FALSE, FALSE);
  return kStored;
}

UINT CWFPrinterIcon::ProcessDSAUnknown(CWFAlert*) {
  underIconMutex(this, "AlertLock", [&] { m_alertStorage.SetDeleteFlag(ALERT_SUBTYPE_ALL); });
  return 0;
}

UINT CWFPrinterIcon::decodeAlertList(CWFAlert* alert, ALERTSUBTYPE subType, UINT count,
                                     WFPrtObj::WFPALERTDATA* data, UINT handled) {
  UINT result = 0;
  auto complete = [&](const DecoderRow& row) {
    alert->SetSpecificAlert(row.specific);
    result |= kStored;
    CompleteAlert(alert, CWFAlert::ACTIVE, result, subType, BuildAlertString(row.text, 0, 0), row.help,
                  waveFile(row.soundEvent), row.enableContinue, row.enableReset, row.hardError);
  };
  if (!data) count = 0;
  for (UINT i = 0; i < count; ++i) {
    alert->SetSpecificAlert(data[i].alertId);
    const DecoderRow* row = findRow(subType, data[i]);
    if (!row) continue;
    if (row->specific) complete(*row);
    ++handled;
  }
  const DecoderRow* remainder = remainderRow(subType);
  if (remainder && handled < count) complete(*remainder);
  return result;
}

UINT CWFPrinterIcon::ProcessInputAlerts(CWFAlert* a, UINT n, WFPrtObj::WFPALERTDATA* d, UINT handled) {
  return decodeAlertList(a, ALERT_SUBTYPE_INPUT, n, d, handled);
}
UINT CWFPrinterIcon::ProcessOutputAlerts(CWFAlert* a, UINT n, WFPrtObj::WFPALERTDATA* d, UINT handled) {
  return decodeAlertList(a, ALERT_SUBTYPE_OUTPUT, n, d, handled);
}
UINT CWFPrinterIcon::ProcessPaperJamAlerts(CWFAlert* a, UINT n, WFPrtObj::WFPALERTDATA* d, UINT handled) {
  return decodeAlertList(a, ALERT_SUBTYPE_PAPERJAM, n, d, handled);
}
UINT CWFPrinterIcon::ProcessSupplyAlerts(CWFAlert* a, UINT n, WFPrtObj::WFPALERTDATA* d, UINT handled) {
  return decodeAlertList(a, ALERT_SUBTYPE_SUPPLIES, n, d, handled);
}
UINT CWFPrinterIcon::ProcessUIRAlerts(CWFAlert* a, UINT n, WFPrtObj::WFPALERTDATA* d, UINT handled) {
  return decodeAlertList(a, ALERT_SUBTYPE_INTERVENTION, n, d, handled);
}
UINT CWFPrinterIcon::ProcessWarningAlerts(CWFAlert* a, UINT n, WFPrtObj::WFPALERTDATA* d, UINT handled) {
  return decodeAlertList(a, ALERT_SUBTYPE_WARNING, n, d, handled);
}
UINT CWFPrinterIcon::ProcessServiceReqAlerts(CWFAlert* a, UINT n, WFPrtObj::WFPALERTDATA* d, UINT handled) {
  return decodeAlertList(a, ALERT_SUBTYPE_SERVICE, n, d, handled);
}

UINT CWFPrinterIcon::ProcessCfgChgAlerts(CWFAlert* alert, UINT count, WFPrtObj::WFPALERTDATA* data, UINT) {
  UINT result = 0;
  if (!data) count = 0;
  for (UINT i = 0; i < count; ++i) {
    const UINT id = data[i].alertId;
    alert->SetSpecificAlert(id);
    if (id < 6191 || id > 6202) continue;
    switch (id) {
      case 6193:
      case 6198:
      case 6199:
        result |= kStored;
        UpdateInputChars();
        break;
      case 6194:
      case 6195:
        result |= kStored;
        UpdateStorageOptions();
        break;
      case 6200:
        result |= kStored;
        UpdateDeviceChars();
        break;
      case 6201:
        result |= kStored;
        PrinterReEnum(nullptr);
        break;
      case 6202:
        result |= kStored;
        GetInputLevels();
        break;
      default:
        break;
    }
    CompleteAlert(alert, CWFAlert::ACTIVE, result, ALERT_SUBTYPE_CONFIGCHANGE, CString(), 0, CFilename(),
                  FALSE, FALSE, FALSE);
  }
  return result;
}

void CWFPrinterIcon::CompleteAlert(CWFAlert* alert, CWFAlert::ACTIVESTATE state, UINT viewFlags, UINT subType,
                                   CString text, UINT helpId, CFilename soundFile, int enableContinue,
                                   int enableReset, int hardError) {
  alert->SetActiveState(state);
  alert->SetSubType(subType);
  alert->SetEnableContinue(enableContinue);
  alert->SetEnableReset(enableReset);
  alert->SetHardError(hardError);
  if (alert->GetDeleteFlag()) alert->SetDeleteFlag(FALSE);
  // The alert may be a stored message's own, which LogEvent replaces: not read after.
  underIconMutex(this, "AlertLock", [&] { m_alertStorage.LogEvent(alert, text, soundFile, helpId); });
  if (viewFlags) UpdateViews(viewFlags);
}

CString CWFPrinterIcon::BuildAlertString(UINT id1, UINT id2, UINT id3) {
  return BuildAlertString(loadString(id1), id2 ? loadString(id2) : CString(),
                          id3 ? loadString(id3) : CString());
}

CString CWFPrinterIcon::BuildAlertString(CString text1, CString text2, CString text3) {
  CString joined;
  for (const CString* part : {&text1, &text2, &text3}) {
    if (part->IsEmpty()) continue;
    if (!joined.IsEmpty()) joined += " - ";
    joined += *part;
  }
  return joined;
}

UINT CWFPrinterIcon::ProcessOpPanelAlert(CWFAlert* alert) {
  Borrowed object(this);
  if (!object) return 0;
  void* panel = nullptr;
  const LONG rc = object.get()->bidiROPQueryAlert(static_cast<USHORT>(alert->GetAlertID()), &panel);
  object.giveBack();
  if (!BCEReturnCheck(rc)) {
    if (panel) FreeOPPanelData(panel);
    return 0;
  }
  underIconMutex(this, "AlertLock", [&] { m_panelAlerts.Add(alert, panel); });
  UpdateViews(kPanelQueued);
  return kPanelQueued;
}

UINT CWFPrinterIcon::GetInitialAlerts() {
  Borrowed object(this);
  if (!object) return 0;
  WFPrtObj::PRINTERSTATUS status = 0;
  if (!GetBidiActive() || !BCEReturnCheck(object.get()->bidiQueryDeviceStatus(&status))) return 0;
  WFPrtObj* const printer = object.get();
  object.giveBack();
  using Operation = UINT (CWFPrinterIcon::*)(CWFAlert*);
  struct StatusClass {
    ULONG status, classBit;
    Operation operation;
  };
  static constexpr StatusClass kOrder[] = {{0x2, 0x100, &CWFPrinterIcon::ProcessDSAOffLine},
                                           {0x8, 0x8, &CWFPrinterIcon::ProcessDSASupply},
                                           {0x10, 0x4, &CWFPrinterIcon::ProcessDSAPaperJam},
                                           {0x20, 0x2, &CWFPrinterIcon::ProcessDSAOutput},
                                           {0x40, 0x1, &CWFPrinterIcon::ProcessDSAInput},
                                           {0x80, 0x80, &CWFPrinterIcon::ProcessDSA_CfgChg},
                                           {0x100, 0x20, &CWFPrinterIcon::ProcessDSAWarnings},
                                           {0x200, 0x40, &CWFPrinterIcon::ProcessDSAServiceReq},
                                           {0x400, 0x10, &CWFPrinterIcon::ProcessDSA_UIR}};
  UINT result = 0;
  for (const StatusClass& entry : kOrder) {
    if (!(status & entry.status)) continue;
    CWFAlert alert(m_hPrinter, printer, 0, kDeviceStatus, CWFAlert::NOT_PROCESSED, 0, 0, FALSE, FALSE, FALSE,
                   FALSE);
    m_dsaClassFlags |= entry.classBit;
    result |= (this->*entry.operation)(&alert);
  }
  return result;
}
