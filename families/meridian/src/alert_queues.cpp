#include "meridian/alert_queues.h"

#include <new>

IMPLEMENT_DYNAMIC(CWFJobStatAlertMsg, CObject)
IMPLEMENT_DYNAMIC(CWFJobStatAlertMsgList, CObList)
IMPLEMENT_DYNAMIC(CWFResMgmtAlertMsg, CObject)
IMPLEMENT_DYNAMIC(CWFResMgmtAlertMsgList, CObList)

CWFJobStatAlertMsg::CWFJobStatAlertMsg(const CWFAlert* alert, WFPrtObj::JSALERTDATA* data)
    : m_alert(*alert), m_pData(data) {}

CWFJobStatAlertMsg::~CWFJobStatAlertMsg() {
  delete m_pData;
}

CWFJobStatAlertMsgList::~CWFJobStatAlertMsgList() {
  while (RemoveTopMessage()) {
  }
}

CWFJobStatAlertMsg* CWFJobStatAlertMsgList::Add(CWFAlert* alert, WFPrtObj::JSALERTDATA* data) {
  auto* message = new (std::nothrow) CWFJobStatAlertMsg(alert, data);
  if (message) AddTail(message);
  return message;
}

CWFJobStatAlertMsg* CWFJobStatAlertMsgList::GetTopMessage() {
  return IsEmpty() ? nullptr : static_cast<CWFJobStatAlertMsg*>(GetHead());
}

BOOL CWFJobStatAlertMsgList::RemoveTopMessage() {
  if (IsEmpty()) return FALSE;
  delete static_cast<CWFJobStatAlertMsg*>(RemoveHead());
  return TRUE;
}

CWFResMgmtAlertMsgList::~CWFResMgmtAlertMsgList() {
  while (RemoveTopMessage()) {
  }
}

CWFResMgmtAlertMsg* CWFResMgmtAlertMsgList::Add(CWFAlert* alert, WFPrtObj::DEVICEMGMTALERTDATA* data) {
  auto* message = new (std::nothrow) CWFResMgmtAlertMsg(alert, *data);
  if (message) AddTail(message);
  return message;
}

CWFResMgmtAlertMsg* CWFResMgmtAlertMsgList::GetTopMessage() {
  return IsEmpty() ? nullptr : static_cast<CWFResMgmtAlertMsg*>(GetHead());
}

BOOL CWFResMgmtAlertMsgList::RemoveTopMessage() {
  if (IsEmpty()) return FALSE;
  delete static_cast<CWFResMgmtAlertMsg*>(RemoveHead());
  return TRUE;
}
