#pragma once
// WFPrtMgr, the printer manager: holds one request object per printer the
// broker reports and calls an enumeration callback for each printer found.
// The user-interface modules reach it only through its virtual operations.
#include <cstdint>
#include <memory>

#include "broker/corbce.h"
#include "prtobj/wfprtobj.h"

// (printer or null at the end, request data, reason) -> 0 when nothing was
// made of the printer. Reasons: 1 before a known printer is initialised
// again, 2 after it; 0 otherwise.
using WFENUMPRINTERSPROC = WFPrtObj::ULONG (*)(WFPrtObj* printer, std::uintptr_t data,
                                               WFPrtObj::ULONG reason);

constexpr WFPrtObj::ULONG WF_ENUM_REASON_NEW = 0;
constexpr WFPrtObj::ULONG WF_ENUM_REASON_REINIT_START = 1;
constexpr WFPrtObj::ULONG WF_ENUM_REASON_REINIT_DONE = 2;

class WFPrtMgr {
 public:
  explicit WFPrtMgr(short appId);
  WFPrtMgr(const WFPrtMgr&) = delete;
  WFPrtMgr& operator=(const WFPrtMgr&) = delete;
  // Waits for enumerations still running, then frees every object.
  virtual ~WFPrtMgr();

  short getBceAppId() const;
  // The application registered again (its broker primary went away): the
  // manager and every request object it made ask under the new id.
  void setBceAppId(short appId);

  // The request object of a handle, null for one the manager does not know.
  virtual WFPrtObj* getPrinterObj(WFPrtObj::USHORT handle);
  // Forgets the handle; its object lives until the manager goes.
  virtual void removePrinter(WFPrtObj::USHORT handle);
  // A fresh enumeration of every transport: one call per printer, then one
  // null call. Returns the broker's result.
  virtual WFPrtObj::LONG enumAllPrinters(WFENUMPRINTERSPROC callback, std::uintptr_t data);
  // Exactly one call, made on the manager's own thread: the printer found
  // at `address`, or null. Returns at once.
  virtual WFPrtObj::LONG enumSpecificPrinter(const NETADDRESS* address, WFENUMPRINTERSPROC callback,
                                             std::uintptr_t data, WFPrtObj::BOOL tryAll);
  // Taken before another thread is started to enumerate and released by it
  // once its enumeration returned: the destructor waits for it too.
  virtual void holdEnumeration();
  virtual void releaseEnumeration();

  struct State;  // inside the library

 private:
  std::unique_ptr<State> state_;
};
