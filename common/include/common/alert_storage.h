#pragma once
// A printer's alert messages and the last hour of its hard errors. An active
// alert is one with state 0 and a sub-type other than 7; a hard error is an
// active one with the hard-error flag. Searches run newest first.
#include <cstdint>

#include "common/alerts.h"

class CWFPrinterIcon;

class CWFAlertHistoryEntry : public CObject {
  DECLARE_DYNAMIC(CWFAlertHistoryEntry)
 public:
  // The message's alert time and text.
  explicit CWFAlertHistoryEntry(const CWFAlertMsg* message);
  CWFAlertHistoryEntry(const CWFAlertHistoryEntry& other)
      : CObject(), m_time(other.m_time), m_description(other.m_description) {}
  CTime GetTime() const { return m_time; }
  const CString& GetDescription() const { return m_description; }

 private:
  CTime m_time;
  CString m_description;
};

// Oldest first; entries one hour old or older leave at each add and enumeration.
class CWFAlertHistory : public CObList {
  DECLARE_DYNAMIC(CWFAlertHistory)
 public:
  using EnumProc = int (*)(CWFAlertHistoryEntry* entry, std::intptr_t lParam);

  CWFAlertHistory() : CObList(10) {}
  ~CWFAlertHistory() override;

  BOOL Add(const CWFAlertMsg* message);
  // Calls `callback` from the oldest entry on until it answers 0; 0.
  UINT Enumerate(EnumProc callback, std::intptr_t lParam);

 protected:
  void EarlyRetirement();
};

class CWFAlertStorage : public CObList {
  DECLARE_DYNAMIC(CWFAlertStorage)
 public:
  CWFAlertStorage() : CObList(10) {}

  void SetPrinterIconParent(CWFPrinterIcon* icon) { m_parent = icon; }
  CWFPrinterIcon* GetPrinterIconParent() const { return m_parent; }

  // Stores the message; a hard error (not of sub-type 7 or 10) also enters
  // the history.
  void LogEvent(const CWFAlert* alert, const CString& text, const CFilename& file, UINT bitmap);
  CWFAlertMsg* GetTopAlertMsg();
  BOOL RemoveAlertMsg(const CWFAlertMsg* message);

  BOOL GetAnyActiveAlerts();
  BOOL GetAnyHardErrors();
  UINT Get1stActiveAlertBMP();
  UINT Get1stHardErrorBMP();
  CString Get1stActiveAlertStr();
  CString Get1stHardErrorStr();
  CWFAlertMsg* Get1stActiveAlertMsg();
  CWFAlertMsg* Get1stHardErrorMsg();
  // The first message in state 0 for that specific alert, whatever its sub-type.
  CWFAlertMsg* IsAlertActive(UINT specific);

  void SetDeleteFlag(ALERTSUBTYPE subType) { m_messages.SetDeleteFlag(subType); }
  CWFAlert* GetClearedAlerts() { return m_messages.GetClearedAlerts(); }

  CWFAlertMsgList& GetMessages() { return m_messages; }
  CWFAlertHistory& GetHistory() { return m_history; }

 private:
  CWFAlertMsgList m_messages;
  CWFAlertHistory m_history;
  CWFPrinterIcon* m_parent = nullptr;
};
