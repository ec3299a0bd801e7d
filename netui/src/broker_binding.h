#pragma once
// The broker, bound by file name for each operation, and the two request
// wrappers every read and change goes through: each request lasts at least
// 500 ms behind the shared please-wait box, keeps its result for the caller,
// and a failure the caller does not handle asks the user to Retry or Cancel.
#include <cstdint>
#include <functional>
#include <string>

#include "broker/corbce.h"
#include "framework/wnd.h"
#include "platform/module.h"

namespace wf::netui {

using BceGetNetInfoFn = int32_t (*)(uint32_t printer, uint32_t protocol, uint32_t item, void* buffer,
                                    uint16_t* length, BCENETITEMPROC callback);
using BceSetNetInfoFn = int32_t (*)(uint32_t printer, uint32_t protocol, uint32_t item, const void* buffer,
                                    uint16_t length);
using BceGetNetsFn = int32_t (*)(uint32_t* mask);
using BceGetPrtInfoFn = int32_t (*)(uint32_t printer, PRTINFO* info, uint32_t refresh);

struct BrokerState {
  wf::ModuleHandle module = nullptr;
  BceGetNetInfoFn getNetInfo = nullptr;
  BceSetNetInfoFn setNetInfo = nullptr;
  BceGetNetsFn getNets = nullptr;
  BceGetPrtInfoFn getPrtInfo = nullptr;
  uint32_t lastResult = 0;  // a 16-bit code
  // The dotted address of the adapter being added, shown by notice 2199.
  std::string lastAddedAddress;
};
BrokerState& broker();

constexpr const char* kBrokerLibrary = "CORBCE.DLL";
constexpr uint32_t kRequestFloorMs = 500;

// Binds "CORBCE.DLL" and its four procedures; box 2180 offers Retry for a
// library that does not load and for a missing procedure. FALSE: nothing bound.
BOOL LoadBceFunctions();
// The caller's end of an operation: frees the library and clears the handle.
void FreeBceFunctions();

// An operation's use of the broker: binds it unless an outer operation has,
// and frees only the binding it made, so a nested check leaves its caller's
// binding usable.
class BrokerScope {
 public:
  BrokerScope() : owned_(!broker().module && LoadBceFunctions()) {}
  ~BrokerScope() {
    if (owned_) FreeBceFunctions();
  }
  BrokerScope(const BrokerScope&) = delete;
  BrokerScope& operator=(const BrokerScope&) = delete;
  bool bound() const { return broker().module != nullptr; }

 private:
  bool owned_;
};

BOOL BceGetNetInfoRetry(USHORT printer, UINT protocol, USHORT item, void* buffer, USHORT* length,
                        BCENETITEMPROC callback, CWnd* wnd);
BOOL BceSetNetInfoRetry(USHORT printer, UINT protocol, USHORT item, const void* buffer, USHORT length,
                        CWnd* wnd);

// What a failure code means to its caller.
enum class Outcome {
  RetryBox,          // ask; Cancel leaves last result 0
  RetryKeepingCode,  // ask; Cancel leaves the code as last result
  Reported,          // FALSE, no box, the code as last result
  Success,           // TRUE, the code as last result
  NotFoundNotice,    // notice 2199 with the added address, then as Success
};
Outcome classifySet(UINT protocol, USHORT item, uint16_t code);
Outcome classifyGet(UINT protocol, USHORT item, uint16_t code);

// The request floor's clock: the tick count around the broker call and the
// sleep for the rest. Tests replace it; empty members restore the platform's.
struct RequestClock {
  std::function<uint32_t()> ticks;
  std::function<void(uint32_t)> sleep;
};
void setRequestClockForTest(RequestClock clock);

}  // namespace wf::netui
