#pragma once
// A printer window's filter: which printers the window shows.
#include "framework/cstring.h"
#include "platform/registry.h"
#include "prtobj/wfprtobj.h"

class CWFPrinterIcon;

struct WINDOWFILTER {
  BOOL showLocal = TRUE;
  BOOL showNetwork = TRUE;
  BOOL bidiOnly = FALSE;
  BOOL showMissing = TRUE;
  CString name = "*";
  CString connection = "*";
  CString netAddress = "*";
  CString nwLogin = "*";
  CString clNickname = "*";
  CString tcpHost = "*";
  BOOL portbay = TRUE;
  BOOL portbayXL = TRUE;
  BOOL serial = TRUE;
  BOOL parallel = TRUE;

  void SetDefaults() { *this = WINDOWFILTER{}; }
};

// What the filter asks of a printer; each text is asked only when its
// pattern is not "*".
class WFFilterSubject {
 public:
  virtual ~WFFilterSubject() = default;
  virtual BOOL IsLocal() = 0;
  virtual BOOL IsNetwork() = 0;
  virtual BOOL IsMissing() = 0;
  virtual BOOL BidiActive() = 0;
  virtual WFPrtObj::PORTTYPE PortType() = 0;
  virtual CString Name() = 0;
  virtual CString Connection() = 0;
  virtual CString NetAddress() = 0;
  virtual CString NWLogin() = 0;
  virtual CString CLNickname() = 0;
  virtual CString TCPHost() = 0;
};

using WFFilterMatcher = BOOL (*)(CString pattern, CString text);

// The window's filter test; `matcher` is COMMON's DoMatch unless given.
BOOL PassesFilter(const WINDOWFILTER& filter, WFFilterSubject& printer, WFFilterMatcher matcher = nullptr);
// The same for a printer icon the caller holds locked.
BOOL PassesFilter(const WINDOWFILTER& filter, CWFPrinterIcon* icon);

// The stored form of a filter: subkey `name` of `parent`, rewritten whole.
void WriteFilter(wf::HKEY parent, const char* name, const WINDOWFILTER& filter);
// Fields whose values are missing or unreadable keep their values.
void ReadFilter(wf::HKEY parent, const char* name, WINDOWFILTER& filter);
