#pragma once
// The alerts a printer reports and the lists a printer keeps them in. Alert
// ids are the request object's (6102..6228) or a family module's own; the
// type is the number of the broker message that announced the alert. Lists
// own their messages. No locks here: callers hold the printer's "AlertLock".
#include "common/filename.h"
#include "framework/collections.h"
#include "framework/ctime.h"

class WFPrtObj;

// Sub-types; 9 is no sub-type but "every one" to SetDeleteFlag.
using ALERTSUBTYPE = UINT;
constexpr ALERTSUBTYPE ALERT_SUBTYPE_NONE = 0;
constexpr ALERTSUBTYPE ALERT_SUBTYPE_INPUT = 1;
constexpr ALERTSUBTYPE ALERT_SUBTYPE_OUTPUT = 2;
constexpr ALERTSUBTYPE ALERT_SUBTYPE_PAPERJAM = 3;
constexpr ALERTSUBTYPE ALERT_SUBTYPE_SUPPLIES = 4;
constexpr ALERTSUBTYPE ALERT_SUBTYPE_INTERVENTION = 5;
constexpr ALERTSUBTYPE ALERT_SUBTYPE_WARNING = 6;
constexpr ALERTSUBTYPE ALERT_SUBTYPE_CONFIGCHANGE = 7;
constexpr ALERTSUBTYPE ALERT_SUBTYPE_SERVICE = 8;
constexpr ALERTSUBTYPE ALERT_SUBTYPE_ALL = 9;
constexpr ALERTSUBTYPE ALERT_SUBTYPE_DSOFFLINE = 10;

class CWFAlert : public CObject {
  DECLARE_DYNAMIC(CWFAlert)
 public:
  enum ACTIVESTATE { ACTIVE = 0, CLEARED = 1, NOT_PROCESSED = 2 };

  // All zero, no printer object, not yet processed.
  CWFAlert();
  // Sub-type 0; the time is now.
  CWFAlert(USHORT printer, WFPrtObj* object, UINT alertId, ULONG type, ACTIVESTATE state, long extra,
           UINT specific, BOOL enableContinue, BOOL enableReset, BOOL hardError, BOOL deleteFlag);
  CWFAlert(const CWFAlert& other) : CObject() { *this = other; }
  // Every field, the time included.
  CWFAlert& operator=(const CWFAlert& other);

  USHORT GetPrinterHandle() const { return m_printer; }
  WFPrtObj* GetPrinterObj() const { return m_object; }
  UINT GetAlertID() const { return m_alertId; }
  ULONG GetType() const { return m_type; }
  ALERTSUBTYPE GetSubType() const { return m_subType; }
  ACTIVESTATE GetActiveState() const { return m_state; }
  long GetExtraData() const { return m_extra; }
  CTime GetTime() const { return m_time; }
  UINT GetSpecificAlert() const { return m_specific; }
  BOOL GetEnableContinue() const { return m_enableContinue; }
  BOOL GetEnableReset() const { return m_enableReset; }
  BOOL GetHardError() const { return m_hardError; }
  BOOL GetDeleteFlag() const { return m_deleteFlag; }

  void SetActiveState(ACTIVESTATE state) { m_state = state; }
  void SetSubType(ALERTSUBTYPE subType) { m_subType = subType; }
  void SetType(ULONG type) { m_type = type; }
  void SetSpecificAlert(UINT specific) { m_specific = specific; }
  void SetEnableContinue(BOOL value) { m_enableContinue = value; }
  void SetEnableReset(BOOL value) { m_enableReset = value; }
  void SetHardError(BOOL value) { m_hardError = value; }
  void SetDeleteFlag(BOOL value) { m_deleteFlag = value; }

 private:
  USHORT m_printer = 0;
  WFPrtObj* m_object = nullptr;  // borrowed
  UINT m_alertId = 0;
  ULONG m_type = 0;
  ALERTSUBTYPE m_subType = 0;
  ACTIVESTATE m_state = NOT_PROCESSED;
  long m_extra = 0;
  CTime m_time;
  UINT m_specific = 0;
  BOOL m_enableContinue = FALSE;
  BOOL m_enableReset = FALSE;
  BOOL m_hardError = FALSE;
  BOOL m_deleteFlag = FALSE;
};

class CWFAlertMsg : public CObject {
  DECLARE_DYNAMIC(CWFAlertMsg)
 public:
  CWFAlertMsg() = default;
  explicit CWFAlertMsg(const CWFAlertMsg* other);
  CWFAlertMsg(const CWFAlert* alert, const CString& text, const CFilename& file, UINT bitmap);

  CWFAlert* GetAlert() { return &m_alert; }
  const CWFAlert* GetAlert() const { return &m_alert; }
  const CString& GetText() const { return m_text; }
  const CFilename& GetFile() const { return m_file; }
  UINT GetBitmapID() const { return m_bitmap; }

 private:
  CWFAlert m_alert;
  CFilename m_file;  // sound or bitmap file
  CString m_text;
  UINT m_bitmap = 0;
};

// A printer's messages, newest at the head; one per (type, specific alert).
class CWFAlertMsgList : public CObList {
  DECLARE_DYNAMIC(CWFAlertMsgList)
 public:
  CWFAlertMsgList() : CObList(10) {}
  ~CWFAlertMsgList() override;

  // Replaces the message of the same type and specific alert; the new one
  // goes to the head.
  CWFAlertMsg* Add(const CWFAlert* alert, const CString& text, const CFilename& file, UINT bitmap);
  // The first message with the same type and specific alert, or null.
  POSITION Find(const CWFAlertMsg* like) const;
  // Marks the messages of one sub-type, or all of them for 9.
  void SetDeleteFlag(ALERTSUBTYPE subType);
  // The alert of the first marked message, or null.
  CWFAlert* GetClearedAlerts();
  CWFAlertMsg* GetTopMessage();
  // Removes and deletes what Find gives.
  BOOL Remove(const CWFAlertMsg* like);
};

// An operator-panel alert with its panel data. A message that goes with its
// data hands the data to its printer's icon to free; when the printer is
// gone the data is left untouched. Icons detach the data of their own queue
// before it goes.
class CWFPanelAlertMsg : public CObject {
  DECLARE_DYNAMIC(CWFPanelAlertMsg)
 public:
  CWFPanelAlertMsg() = default;
  CWFPanelAlertMsg(const CWFAlert* alert, void* data);
  ~CWFPanelAlertMsg() override;

  CWFAlert* GetAlert() { return &m_alert; }
  void* GetPanelData() const { return m_data; }
  // Hands the data over; the message forgets it.
  void* DetachPanelData();

 private:
  CWFAlert m_alert;
  void* m_data = nullptr;
};

// Operator-panel alerts, oldest at the head.
class CWFPanelAlertMsgList : public CObList {
  DECLARE_DYNAMIC(CWFPanelAlertMsgList)
 public:
  CWFPanelAlertMsgList() : CObList(10) {}
  ~CWFPanelAlertMsgList() override;

  CWFPanelAlertMsg* Add(const CWFAlert* alert, void* data);
  CWFPanelAlertMsg* GetTopMessage();
  BOOL RemoveTopMessage();
};
