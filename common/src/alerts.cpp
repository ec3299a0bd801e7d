#include "common/alerts.h"

#include <new>

#include "common/app_services.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"

IMPLEMENT_DYNAMIC(CWFAlert, CObject)
IMPLEMENT_DYNAMIC(CWFAlertMsg, CObject)
IMPLEMENT_DYNAMIC(CWFAlertMsgList, CObList)
IMPLEMENT_DYNAMIC(CWFPanelAlertMsg, CObject)
IMPLEMENT_DYNAMIC(CWFPanelAlertMsgList, CObList)

namespace {

bool sameAlert(const CWFAlert* a, const CWFAlert* b) {
  return a->GetType() == b->GetType() && a->GetSpecificAlert() == b->GetSpecificAlert();
}

template <class T>
void deleteAll(CObList& list) {
  while (!list.IsEmpty()) delete static_cast<T*>(list.RemoveHead());
}

}  // namespace

CWFAlert::CWFAlert() = default;

CWFAlert::CWFAlert(USHORT printer, WFPrtObj* object, UINT alertId, ULONG type, ACTIVESTATE state, long extra,
                   UINT specific, BOOL enableContinue, BOOL enableReset, BOOL hardError, BOOL deleteFlag)
    : m_printer(printer),
      m_object(object),
      m_alertId(alertId),
      m_type(type),
      m_state(state),
      m_extra(extra),
      m_time(CTime::GetCurrentTime()),
      m_specific(specific),
      m_enableContinue(enableContinue),
      m_enableReset(enableReset),
      m_hardError(hardError),
      m_deleteFlag(deleteFlag) {}

CWFAlert& CWFAlert::operator=(const CWFAlert& other) {
  m_printer = other.m_printer;
  m_object = other.m_object;
  m_alertId = other.m_alertId;
  m_type = other.m_type;
  m_subType = other.m_subType;
  m_state = other.m_state;
  m_extra = other.m_extra;
  m_time = other.m_time;
  m_specific = other.m_specific;
  m_enableContinue = other.m_enableContinue;
  m_enableReset = other.m_enableReset;
  m_hardError = other.m_hardError;
  m_deleteFlag = other.m_deleteFlag;
  return *this;
}

CWFAlertMsg::CWFAlertMsg(const CWFAlertMsg* other)
    : m_alert(other->m_alert), m_file(other->m_file), m_text(other->m_text), m_bitmap(other->m_bitmap) {}

CWFAlertMsg::CWFAlertMsg(const CWFAlert* alert, const CString& text, const CFilename& file, UINT bitmap)
    : m_alert(*alert), m_file(file), m_text(text), m_bitmap(bitmap) {}

CWFAlertMsgList::~CWFAlertMsgList() {
  deleteAll<CWFAlertMsg>(*this);
}

CWFAlertMsg* CWFAlertMsgList::Add(const CWFAlert* alert, const CString& text, const CFilename& file,
                                  UINT bitmap) {
  if (!alert) return nullptr;
  // Built before the old message goes: `alert` may be the old message's own.
  auto* message = new (std::nothrow) CWFAlertMsg(alert, text, file, bitmap);
  if (!message) return nullptr;
  if (POSITION old = Find(message)) {
    delete static_cast<CWFAlertMsg*>(GetAt(old));
    RemoveAt(old);
  }
  AddHead(message);
  return message;
}

POSITION CWFAlertMsgList::Find(const CWFAlertMsg* like) const {
  if (!like) return nullptr;
  for (POSITION p = GetHeadPosition(); p;) {
    POSITION at = p;
    if (sameAlert(static_cast<const CWFAlertMsg*>(GetNext(p))->GetAlert(), like->GetAlert())) return at;
  }
  return nullptr;
}

void CWFAlertMsgList::SetDeleteFlag(ALERTSUBTYPE subType) {
  for (POSITION p = GetHeadPosition(); p;) {
    CWFAlert* alert = static_cast<CWFAlertMsg*>(GetNext(p))->GetAlert();
    if (subType == ALERT_SUBTYPE_ALL || alert->GetSubType() == subType) alert->SetDeleteFlag(TRUE);
  }
}

CWFAlert* CWFAlertMsgList::GetClearedAlerts() {
  for (POSITION p = GetHeadPosition(); p;) {
    CWFAlert* alert = static_cast<CWFAlertMsg*>(GetNext(p))->GetAlert();
    if (alert->GetDeleteFlag()) return alert;
  }
  return nullptr;
}

CWFAlertMsg* CWFAlertMsgList::GetTopMessage() {
  return IsEmpty() ? nullptr : static_cast<CWFAlertMsg*>(GetHead());
}

BOOL CWFAlertMsgList::Remove(const CWFAlertMsg* like) {
  POSITION at = Find(like);
  if (!at) return FALSE;
  // `like` may be the stored message itself.
  auto* stored = static_cast<CWFAlertMsg*>(GetAt(at));
  RemoveAt(at);
  delete stored;
  return TRUE;
}

CWFPanelAlertMsg::CWFPanelAlertMsg(const CWFAlert* alert, void* data) : m_data(data) {
  if (alert) m_alert = *alert;
}

CWFPanelAlertMsg::~CWFPanelAlertMsg() {
  if (!m_data) return;
  WFAppServices* app = WFGetApp();
  CWFPrinterList* list = app ? app->GetPrinterList() : nullptr;
  CWFPrinterIcon* icon = list ? list->FindPrinterIcon(m_alert.GetPrinterHandle()) : nullptr;
  if (!icon) return;
  icon->FreeOPPanelData(m_data);
  icon->ThreadUnlock();
}

void* CWFPanelAlertMsg::DetachPanelData() {
  void* data = m_data;
  m_data = nullptr;
  return data;
}

CWFPanelAlertMsgList::~CWFPanelAlertMsgList() {
  deleteAll<CWFPanelAlertMsg>(*this);
}

CWFPanelAlertMsg* CWFPanelAlertMsgList::Add(const CWFAlert* alert, void* data) {
  auto* message = new (std::nothrow) CWFPanelAlertMsg(alert, data);
  if (!message) return nullptr;
  AddTail(message);
  return message;
}

CWFPanelAlertMsg* CWFPanelAlertMsgList::GetTopMessage() {
  return IsEmpty() ? nullptr : static_cast<CWFPanelAlertMsg*>(GetHead());
}

BOOL CWFPanelAlertMsgList::RemoveTopMessage() {
  if (IsEmpty()) return FALSE;
  delete static_cast<CWFPanelAlertMsg*>(RemoveHead());
  return TRUE;
}
