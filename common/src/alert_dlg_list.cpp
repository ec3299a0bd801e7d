#include "common/alert_dlg_list.h"

IMPLEMENT_DYNAMIC(CWFAlertDlgList, CObList)

namespace {
ALERT_DLG_STRUCT* item(CObject* object) {
  return reinterpret_cast<ALERT_DLG_STRUCT*>(object);
}
}  // namespace

CWFAlertDlgList::~CWFAlertDlgList() {
  for (POSITION p = GetHeadPosition(); p;) delete item(GetNext(p));
  RemoveAll();
  m_removed.RemoveAll();
}

BOOL CWFAlertDlgList::Add(ALERT_DLG_STRUCT* added) {
  for (POSITION p = GetHeadPosition(); p;) {
    ALERT_DLG_STRUCT* existing = item(GetNext(p));
    if (existing->key == added->key) {
      existing->state |= added->state;
      return TRUE;
    }
  }
  AddTail(reinterpret_cast<CObject*>(new ALERT_DLG_STRUCT(*added)));
  return TRUE;
}

void CWFAlertDlgList::UpdateState(CString name, int state) {
  for (POSITION p = GetHeadPosition(); p;) {
    ALERT_DLG_STRUCT* existing = item(GetNext(p));
    if (existing->name != name) continue;
    existing->state = static_cast<UINT>(state);
    if (state == 0) m_removed.AddTail(existing->key);
  }
}

UINT CWFAlertDlgList::GetAlertState(UINT key) {
  for (POSITION p = GetHeadPosition(); p;) {
    ALERT_DLG_STRUCT* existing = item(GetNext(p));
    if (existing->key == key) return existing->state;
  }
  return 0;
}
