#pragma once
// The alert types that printers offer and whether each is monitored: filled
// by the printer icons, edited by the Alert Notification dialog, read back
// by the icons to arm and to drop what the user switched off.
#include "framework/collections.h"
#include "framework/cstring.h"

struct ALERT_DLG_STRUCT {
  CString name;
  UINT key = 0;
  UINT state = 0;  // bit set; 0 is not monitored
};

// Items are copies, in the order first added; owned by the list.
class CWFAlertDlgList : public CObList {
  DECLARE_DYNAMIC(CWFAlertDlgList)
 public:
  CWFAlertDlgList() : CObList(10) {}
  ~CWFAlertDlgList() override;
  CWFAlertDlgList(const CWFAlertDlgList&) = delete;
  CWFAlertDlgList& operator=(const CWFAlertDlgList&) = delete;

  // An existing key gets the union of both states; TRUE.
  BOOL Add(ALERT_DLG_STRUCT* item);
  // Every item of that exact name; a state of 0 records its key as removed.
  void UpdateState(CString name, int state);
  // The first item's state for the key, 0 when there is none.
  UINT GetAlertState(UINT key);

  // Keys switched off, one entry per switch.
  wf::fw::ListOf<UINT>& GetRemovedList() { return m_removed; }

 private:
  wf::fw::ListOf<UINT> m_removed;
};
