// The printer icon's life: construction, binding to a printer object,
// ghost addresses, family and address comparisons, and destruction.
#include <cstring>
#include <new>
#include <utility>

#include "common/app_services.h"
#include "common/printer_dll.h"
#include "common/printer_icon.h"
#include "common/wait_objects.h"
#include "icon_mutex.h"
#include "platform/clock.h"
#include "prtgui/generic_family.h"
#include "prtgui/supply_tables.h"

IMPLEMENT_DYNCREATE(CWFPrinterIcon, CObject)

using wf::prtgui::underIconMutex;

namespace {

CWFPrinterDLL* registration = nullptr;
HINSTANCE resourceModule = nullptr;

constexpr LONG kIconUnits = 50;

bool nodeIsZero(const BYTE* node) {
  for (int i = 0; i < 6; ++i)
    if (node[i]) return false;
  return true;
}

// The port text SetPort builds from a printer object's capabilities.
CString portTextOf(WFPrtObj* object) {
  WFPrtObj::BIDICAPABILITIES caps;
  if (!object->getBidiCaps(&caps)) return " ";
  if (!caps.redirected && caps.nameCount == 0) return caps.portName.c_str();
  CString text;
  if (caps.redirected) text = caps.redirections.c_str();
  if (caps.nameCount != 0) {
    if (caps.redirected) text += ",";
    text += caps.displayName.c_str();
  }
  return text;
}

}  // namespace

void CWFPrinterIcon::SetPrinterDLL(CWFPrinterDLL* dll) {
  registration = dll;
}

void CWFPrinterIcon::SetResourceInst(HINSTANCE module) {
  resourceModule = module;
}

CWFPrinterIcon::CWFPrinterIcon() {
  ConstructorInit();
  SetName(nullptr);
}

CWFPrinterIcon::CWFPrinterIcon(WFPrtObj* object, void* record) {
  ConstructorInit();
  m_pInputObj = new (std::nothrow) CWFInputCharArray(m_hPrinter, "InputObj", 7101, 7110);
  m_pOutputObj = new (std::nothrow) CWFOutputCharArray(m_hPrinter, "OutputObj", 7201, 7204);
  SetPrinterObj(object);
  m_prtObjUse.Create(GetMutexName("PrtObjUse"), kIconUnits, kIconUnits);
  m_threadLock.Create(GetMutexName("ThreadLock"), kIconUnits, kIconUnits);

  const auto* stored = static_cast<const ENUMBINARYDATA*>(record);
  if (stored && (stored->userDefinedName || m_bGhost)) {
    SetName(wf::recordName(*stored));
    m_bUserDefinedName = stored->userDefinedName != 0;
  } else {
    SetName(nullptr);
  }
  if (stored) {
    m_storedFamily = stored->familyKey;
    RestoreBaseAlerts(stored->storedAlerts);
    std::memcpy(m_node, stored->node, sizeof m_node);
    m_portType = static_cast<WFPrtObj::PORTTYPE>(stored->portType);
    if (WFPrtObj* bound = GetPrinterObj()) {
      PRTINFO info{};
      m_connections = bound->getPrinterInfo(&info) == 0 ? info.connections : 0;
      rememberAddress(bound);
      ReleasePrinterObj();
    }
  } else if (WFPrtObj* bound = GetPrinterObj()) {
    PRTINFO info{};
    WFPrtObj::BIDICAPABILITIES caps;
    if (bound->getPrinterInfo(&info) == 0) {
      std::memcpy(m_node, info.node, sizeof m_node);
      m_connections = info.connections;
      m_portType =
          bound->getBidiCaps(&caps) ? static_cast<WFPrtObj::PORTTYPE>(caps.portType) : WFPrtObj::PORT_UNKNOWN;
    }
    rememberAddress(bound);
    ReleasePrinterObj();
  }
  EstablishColumnData();
  SetPhysicalName();
}

void CWFPrinterIcon::ConstructorInit() {
  m_defaultView = 0;
  m_hOpenDlg = 0;
  m_pageCount = 0;
  std::memset(m_node, 0, sizeof m_node);
  m_bPrtObjLocked = FALSE;
  m_portType = WFPrtObj::PORT_UNKNOWN;
  m_hPrinter = 0;
  m_usageCount = 0;
  m_bOpPanelLock = FALSE;
  m_bGhost = FALSE;
  m_storedFamily = WF_GENERIC_FAMILY_KEY;
  m_bPageNumbering = FALSE;
  m_bUserDefinedName = FALSE;
  m_bPrevBidiName = FALSE;
  m_connections = 0;
  m_activeAlerts.mask = 0;
  for (int& flag : m_baseAlertFlags) flag = 1;
  m_bUseCapture = FALSE;
  m_cPowerOnPages = m_cTotalPages = m_cUserPageCount = 0;
  m_lastUpdate = static_cast<ULONG>(wf::tickCount());
  m_alertStorage.SetPrinterIconParent(this);
}

CWFPrinterIcon::~CWFPrinterIcon() {
  // The notebook, its frame and pages borrow the icon.
  closeOpenNotebook();
  underIconMutex(this, "DeviceChars", [&] { delete std::exchange(m_pDeviceChars, nullptr); });
  underIconMutex(this, "OutputBins", [&] { delete std::exchange(m_pOutputBins, nullptr); });
  underIconMutex(this, "StorageOpts", [&] { delete std::exchange(m_pStorageOptions, nullptr); });
  underIconMutex(this, "PageCount", [&] { delete std::exchange(m_pPageCounts, nullptr); });
  underIconMutex(this, "OpPanelData", [&] {
    FreeOPPanelData();
    // Queued panel alerts carry data of their own.
    for (POSITION p = m_panelAlerts.GetHeadPosition(); p;)
      FreeOPPanelData(static_cast<CWFPanelAlertMsg*>(m_panelAlerts.GetNext(p))->DetachPanelData());
  });
  underIconMutex(this, "CodeLevels", [&] { delete std::exchange(m_pCodeLevels, nullptr); });
  delete std::exchange(m_pGhostAddress, nullptr);
  delete std::exchange(m_pLastAddress, nullptr);
  WFAppServices* app = WFGetApp();
  if (app && app->IsThreadMgrActive())
    for (LONG i = 0; i < kIconUnits; ++i) m_threadLock.Wait(wf::kInfinite);
  delete m_pInputObj;
  delete m_pOutputObj;
}

int CWFPrinterIcon::SetPrinterObj(WFPrtObj* object) {
  if (object) {
    m_hPrinter = object->getBCEHandle();
    object->setUserData(reinterpret_cast<std::uintptr_t>(this));
  } else {
    m_hPrinter = 0;
    m_bGhost = TRUE;
  }
  return TRUE;
}

void CWFPrinterIcon::SetGhostAddress(const NETADDRESS* address) {
  delete std::exchange(m_pGhostAddress, nullptr);
  if (address) m_pGhostAddress = new (std::nothrow) NETADDRESS(*address);
}

ULONG CWFPrinterIcon::GetPrinterFamily() {
  if (m_bGhost) return m_storedFamily;
  WFPrtObj* object = GetPrinterObj();
  if (!object) return WF_GENERIC_FAMILY_KEY;
  ULONG key = WF_GENERIC_FAMILY_KEY;
  object->getPrinterType(&key, nullptr);
  ReleasePrinterObj();
  return key;
}

int CWFPrinterIcon::BelongsToFamily(ULONG key) {
  for (DWORD id : kGenericFamilyIds)
    if (id == key) return TRUE;
  return FALSE;
}

BOOL CWFPrinterIcon::IsSameAddress(WFPrtObj* object) {
  if (!object) return FALSE;
  PRTINFO info{};
  WFPrtObj::BIDICAPABILITIES caps;
  if (object->getPrinterInfo(&info) != 0 || !object->getBidiCaps(&caps)) return FALSE;
  if (caps.portType != m_portType || std::memcmp(info.node, m_node, sizeof m_node) != 0) return FALSE;
  if (!nodeIsZero(m_node)) return TRUE;
  const CString mine = m_bGhost ? CString(m_pGhostAddress ? m_pGhostAddress->local : "") : GetPort();
  return mine.Find(portTextOf(object)) >= 0;
}

BOOL CWFPrinterIcon::IsSameAddress(CWFPrinterIcon* other) {
  if (!other || other->m_portType != m_portType || std::memcmp(other->m_node, m_node, sizeof m_node) != 0)
    return FALSE;
  if (!nodeIsZero(m_node)) return TRUE;
  auto portOf = [](CWFPrinterIcon* icon) {
    if (!icon->m_bGhost) return icon->GetPort();
    return CString(icon->m_pGhostAddress ? icon->m_pGhostAddress->local : "");
  };
  return portOf(this).Find(portOf(other)) >= 0;
}

BOOL CWFPrinterIcon::IsDeleted(CWFPrinterIcon*) {
  return FALSE;
}

CWFPrinterDLL* CWFPrinterIcon::GetPrinterDLL() {
  return registration;
}

HINSTANCE CWFPrinterIcon::GetResourceInstance(UINT) {
  return resourceModule;
}

int CWFPrinterIcon::GetNormalIconIndex() {
  CWFPrinterDLL* dll = GetPrinterDLL();
  return dll ? dll->GetImageListOffset() : 0;
}

int CWFPrinterIcon::GetErrorIconIndex() {
  return GetNormalIconIndex() + 2;
}

ULONG CWFPrinterIcon::GetCPowerOnPages() {
  return m_cPowerOnPages;
}
ULONG CWFPrinterIcon::GetCTotalPages() {
  return m_cTotalPages;
}
ULONG CWFPrinterIcon::GetCUserPageCount() {
  return m_cUserPageCount;
}
void CWFPrinterIcon::UpdateCPowerOnPages(ULONG pages) {
  m_cPowerOnPages += pages;
}
void CWFPrinterIcon::UpdateCTotalPages(ULONG pages) {
  m_cTotalPages += pages;
}
void CWFPrinterIcon::UpdateCUserPageCount(ULONG pages) {
  m_cUserPageCount += pages;
}

void CWFPrinterIcon::FreeOPPanelData(void* data) {
  delete static_cast<WFPrtObj::OPPANELDATA*>(data);
}

void CWFPrinterIcon::FreeOPPanelData() {
  FreeOPPanelData(std::exchange(m_pOpPanelData, nullptr));
}

CString CWFPrinterIcon::getText(const CString& member) const {
  std::lock_guard lock(m_textLock);
  return member;
}

void CWFPrinterIcon::setText(CString& member, const CString& value) {
  std::lock_guard lock(m_textLock);
  member = value;
}
