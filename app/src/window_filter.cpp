#include "app/window_filter.h"

#include "common/printer_icon.h"
#include "common/text_helpers.h"

namespace {

class IconSubject : public WFFilterSubject {
 public:
  explicit IconSubject(CWFPrinterIcon* icon) : icon_(icon) {}
  BOOL IsLocal() override { return icon_->IsLocalPrinter(); }
  BOOL IsNetwork() override { return icon_->IsNetworkPrinter(); }
  BOOL IsMissing() override { return icon_->IsGhost(); }
  BOOL BidiActive() override { return icon_->GetBidiActive(); }
  WFPrtObj::PORTTYPE PortType() override { return icon_->GetPortType(); }
  CString Name() override { return icon_->GetName(); }
  CString Connection() override { return icon_->GetPort(); }
  CString NetAddress() override { return icon_->GetNetAddress(); }
  CString NWLogin() override { return icon_->GetNWLogin(); }
  CString CLNickname() override { return icon_->GetCLNickname(); }
  CString TCPHost() override { return icon_->GetTCPHost(); }

 private:
  CWFPrinterIcon* icon_;
};

bool matches(WFFilterMatcher matcher, const CString& pattern, WFFilterSubject& printer,
             CString (WFFilterSubject::*text)()) {
  if (pattern == "*") return true;
  return matcher(pattern, (printer.*text)());
}

}  // namespace

BOOL PassesFilter(const WINDOWFILTER& filter, WFFilterSubject& printer, WFFilterMatcher matcher) {
  if (!matcher) matcher = &DoMatch;
  const BOOL missing = printer.IsMissing();
  const BOOL local = printer.IsLocal();
  if (missing && !filter.showMissing) return FALSE;
  if (local && !filter.showLocal) return FALSE;
  if (printer.IsNetwork() && !filter.showNetwork) return FALSE;
  if (missing && !local && !filter.showNetwork) return FALSE;
  if (filter.bidiOnly && !printer.BidiActive()) return FALSE;
  if (!matches(matcher, filter.name, printer, &WFFilterSubject::Name) ||
      !matches(matcher, filter.connection, printer, &WFFilterSubject::Connection) ||
      !matches(matcher, filter.netAddress, printer, &WFFilterSubject::NetAddress) ||
      !matches(matcher, filter.nwLogin, printer, &WFFilterSubject::NWLogin) ||
      !matches(matcher, filter.clNickname, printer, &WFFilterSubject::CLNickname) ||
      !matches(matcher, filter.tcpHost, printer, &WFFilterSubject::TCPHost))
    return FALSE;
  using P = WFPrtObj;
  switch (printer.PortType()) {
    case P::PORT_PORTBAY:
      return filter.portbay;
    case P::PORT_PORTBAY_XL:
      return filter.portbayXL;
    case P::PORT_ADAPTER_PARALLEL_1:
    case P::PORT_ADAPTER_PARALLEL_2:
    case P::PORT_ADAPTER8_PARALLEL:
      return filter.parallel;
    case P::PORT_ADAPTER_SERIAL:
    case P::PORT_ADAPTER8_SERIAL:
      return filter.serial;
    default:
      return TRUE;
  }
}

BOOL PassesFilter(const WINDOWFILTER& filter, CWFPrinterIcon* icon) {
  if (!icon) return FALSE;
  IconSubject subject(icon);
  return PassesFilter(filter, subject);
}
