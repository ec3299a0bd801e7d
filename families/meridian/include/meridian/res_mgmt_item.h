#pragma once
// One file on a printer's disk or flash, as a listing reports it; the
// resource page's list owns it once it is posted.
#include "framework/cstring.h"
#include "framework/object.h"
#include "prtobj/wfprtobj.h"

class CWFResMgmtItem : public CObject {
  DECLARE_DYNAMIC(CWFResMgmtItem)
 public:
  CWFResMgmtItem();
  // `deviceName` is the family's name of the entry's device.
  CWFResMgmtItem(const WFPrtObj::DEVICEDIRECTORYDATA& entry, const CString& deviceName);

  UINT GetResourceID() const { return m_device; }
  CString GetResourceName() const { return m_deviceName; }
  CString GetName() const { return m_name; }
  CString GetID() const { return m_id; }
  CString GetType() const { return m_type; }
  CString GetSize() const { return m_size; }
  ULONG GetSizeD() const { return m_sizeD; }
  CString GetDescription() const { return m_description; }

 private:
  UINT m_device = 0;
  CString m_name;
  CString m_id;
  CString m_type;
  CString m_size;
  ULONG m_value1 = 0;
  CString m_description;
  ULONG m_value2 = 0;
  CString m_deviceName;
  ULONG m_sizeD = 0;
};
