#include "common/alert_storage.h"

#include <new>

IMPLEMENT_DYNAMIC(CWFAlertHistoryEntry, CObject)
IMPLEMENT_DYNAMIC(CWFAlertHistory, CObList)
IMPLEMENT_DYNAMIC(CWFAlertStorage, CObList)

namespace {

constexpr std::time_t kSecondsKept = 3600;

bool isActive(const CWFAlert* alert) {
  return alert->GetActiveState() == CWFAlert::ACTIVE && alert->GetSubType() != ALERT_SUBTYPE_CONFIGCHANGE;
}

bool isHardError(const CWFAlert* alert) {
  return isActive(alert) && alert->GetHardError();
}

bool belongsInHistory(const CWFAlert* alert) {
  return isHardError(alert) && alert->GetSubType() != ALERT_SUBTYPE_DSOFFLINE;
}

template <class Test>
CWFAlertMsg* firstMessage(CWFAlertMsgList& messages, Test test) {
  for (POSITION p = messages.GetHeadPosition(); p;) {
    auto* message = static_cast<CWFAlertMsg*>(messages.GetNext(p));
    if (test(message->GetAlert())) return message;
  }
  return nullptr;
}

}  // namespace

CWFAlertHistoryEntry::CWFAlertHistoryEntry(const CWFAlertMsg* message)
    : m_time(message->GetAlert()->GetTime()), m_description(message->GetText()) {}

CWFAlertHistory::~CWFAlertHistory() {
  while (!IsEmpty()) delete static_cast<CWFAlertHistoryEntry*>(RemoveHead());
}

BOOL CWFAlertHistory::Add(const CWFAlertMsg* message) {
  if (!message) return FALSE;
  auto* entry = new (std::nothrow) CWFAlertHistoryEntry(message);
  if (!entry) return FALSE;
  AddTail(entry);
  EarlyRetirement();
  return TRUE;
}

UINT CWFAlertHistory::Enumerate(EnumProc callback, std::intptr_t lParam) {
  EarlyRetirement();
  if (!callback) return 0;
  for (POSITION p = GetHeadPosition(); p;)
    if (callback(static_cast<CWFAlertHistoryEntry*>(GetNext(p)), lParam) == 0) break;
  return 0;
}

void CWFAlertHistory::EarlyRetirement() {
  const CTime now = CTime::GetCurrentTime();
  while (!IsEmpty()) {
    auto* oldest = static_cast<CWFAlertHistoryEntry*>(GetHead());
    // A negative age (an entry from the future) ends the pass as well.
    if ((now - oldest->GetTime()).GetTotalSeconds() / kSecondsKept < 1) break;
    RemoveHead();
    delete oldest;
  }
}

void CWFAlertStorage::LogEvent(const CWFAlert* alert, const CString& text, const CFilename& file,
                               UINT bitmap) {
  // The new message's copy is read: `alert` may have belonged to the message it replaced.
  CWFAlertMsg* message = m_messages.Add(alert, text, file, bitmap);
  if (message && belongsInHistory(message->GetAlert())) m_history.Add(message);
}

CWFAlertMsg* CWFAlertStorage::GetTopAlertMsg() {
  return m_messages.GetTopMessage();
}

BOOL CWFAlertStorage::RemoveAlertMsg(const CWFAlertMsg* message) {
  return m_messages.Remove(message);
}

BOOL CWFAlertStorage::GetAnyActiveAlerts() {
  return Get1stActiveAlertMsg() != nullptr;
}

BOOL CWFAlertStorage::GetAnyHardErrors() {
  return Get1stHardErrorMsg() != nullptr;
}

UINT CWFAlertStorage::Get1stActiveAlertBMP() {
  const CWFAlertMsg* message = Get1stActiveAlertMsg();
  return message ? message->GetBitmapID() : 0;
}

UINT CWFAlertStorage::Get1stHardErrorBMP() {
  const CWFAlertMsg* message = Get1stHardErrorMsg();
  return message ? message->GetBitmapID() : 0;
}

CString CWFAlertStorage::Get1stActiveAlertStr() {
  const CWFAlertMsg* message = Get1stActiveAlertMsg();
  return message ? message->GetText() : CString();
}

CString CWFAlertStorage::Get1stHardErrorStr() {
  const CWFAlertMsg* message = Get1stHardErrorMsg();
  return message ? message->GetText() : CString();
}

CWFAlertMsg* CWFAlertStorage::Get1stActiveAlertMsg() {
  return firstMessage(m_messages, isActive);
}

CWFAlertMsg* CWFAlertStorage::Get1stHardErrorMsg() {
  return firstMessage(m_messages, isHardError);
}

CWFAlertMsg* CWFAlertStorage::IsAlertActive(UINT specific) {
  return firstMessage(m_messages, [specific](const CWFAlert* alert) {
    return alert->GetActiveState() == CWFAlert::ACTIVE && alert->GetSpecificAlert() == specific;
  });
}
