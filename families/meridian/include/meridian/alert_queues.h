#pragma once
// The icon's queues of decoded job-statistics and resource-management
// alerts: first in, first out; each message owns its copies.
#include "common/alerts.h"
#include "framework/collections.h"
#include "prtobj/wfprtobj.h"

class CWFJobStatAlertMsg : public CObject {
  DECLARE_DYNAMIC(CWFJobStatAlertMsg)
 public:
  // Takes `data`.
  CWFJobStatAlertMsg(const CWFAlert* alert, WFPrtObj::JSALERTDATA* data);
  ~CWFJobStatAlertMsg() override;
  CWFJobStatAlertMsg(const CWFJobStatAlertMsg&) = delete;
  CWFJobStatAlertMsg& operator=(const CWFJobStatAlertMsg&) = delete;

  CWFAlert* GetAlert() { return &m_alert; }
  WFPrtObj::JSALERTDATA* GetData() const { return m_pData; }

 private:
  CWFAlert m_alert;
  WFPrtObj::JSALERTDATA* m_pData;
};

class CWFJobStatAlertMsgList : public CObList {
  DECLARE_DYNAMIC(CWFJobStatAlertMsgList)
 public:
  CWFJobStatAlertMsgList() : CObList(10) {}
  ~CWFJobStatAlertMsgList() override;
  CWFJobStatAlertMsgList(const CWFJobStatAlertMsgList&) = delete;
  CWFJobStatAlertMsgList& operator=(const CWFJobStatAlertMsgList&) = delete;

  // The new message, which owns `data`; null (and `data` not taken) when
  // it cannot be made.
  CWFJobStatAlertMsg* Add(CWFAlert* alert, WFPrtObj::JSALERTDATA* data);
  CWFJobStatAlertMsg* GetTopMessage();
  // Deletes the oldest; FALSE when there is none.
  BOOL RemoveTopMessage();
};

class CWFResMgmtAlertMsg : public CObject {
  DECLARE_DYNAMIC(CWFResMgmtAlertMsg)
 public:
  CWFResMgmtAlertMsg(const CWFAlert* alert, const WFPrtObj::DEVICEMGMTALERTDATA& data)
      : m_alert(*alert), m_data(data) {}

  CWFAlert* GetAlert() { return &m_alert; }
  const WFPrtObj::DEVICEMGMTALERTDATA& GetData() const { return m_data; }

 private:
  CWFAlert m_alert;
  WFPrtObj::DEVICEMGMTALERTDATA m_data;
};

class CWFResMgmtAlertMsgList : public CObList {
  DECLARE_DYNAMIC(CWFResMgmtAlertMsgList)
 public:
  CWFResMgmtAlertMsgList() : CObList(10) {}
  ~CWFResMgmtAlertMsgList() override;
  CWFResMgmtAlertMsgList(const CWFResMgmtAlertMsgList&) = delete;
  CWFResMgmtAlertMsgList& operator=(const CWFResMgmtAlertMsgList&) = delete;

  // A copy of both; null when it cannot be made.
  CWFResMgmtAlertMsg* Add(CWFAlert* alert, WFPrtObj::DEVICEMGMTALERTDATA* data);
  CWFResMgmtAlertMsg* GetTopMessage();
  BOOL RemoveTopMessage();
};
