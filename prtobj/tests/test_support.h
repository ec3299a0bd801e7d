#pragma once
// Shared pieces of the request-object tests: a bidi-on printer in the fake
// broker, and an object whose protected decoders the tests can reach.
#include <cstring>
#include <string>

#include "fake_broker.h"
#include "hex_bytes.h"
#include "prtobj/prtobj_util.h"
#include "prtobj/wfprtobj.h"

namespace prtobjtest {

using wf::testing::hex;

// What the object answers for a reply it cannot read.
constexpr long kBadReply = -2;

// A local NPA printer on `port` as the broker reports it.
inline PRTINFO localPrinter(const char* port = "LPT1:",
                            std::uint16_t flags = BCE_PRTINFO_FLAG_PRESENT | BCE_PRTINFO_FLAG_NPA) {
  PRTINFO info{};
  std::strncpy(info.name, port, sizeof info.name - 1);
  info.handle = 7;
  info.flags = flags;
  info.connections = BCE_NET_LOCAL;
  return info;
}

class TestObj : public WFPrtObj {
 public:
  using WFPrtObj::bidiQuery;
  using WFPrtObj::parseAlertData;
  using WFPrtObj::parseDeviceStatusData;
  using WFPrtObj::parseJSData;
  using WFPrtObj::parseROPData;
  using WFPrtObj::setPrinterType;
  using WFPrtObj::WFPrtObj;
};

// The fake broker's printer, bidi on, and an object of `type` initialised on it.
inline TestObj* freshObject(WFPrtObj::ULONG type = 1, const PRTINFO& info = localPrinter()) {
  fakebce::reset();
  fakebce::setPrtInfo(info);
  return new TestObj(7, type, 1);
}

}  // namespace prtobjtest
