#pragma once
// The NetWare client's calls, bound by name from "Cornwthk.DLL" at attach.
#include <memory>

#include "cornwthk/cornwthk.h"
#include "platform/module.h"

namespace wf::netware {

struct NwClient {
#define WF_NW_CALL(name) decltype(&::name) name = nullptr
  WF_NW_CALL(NWCallsInit);
  WF_NW_CALL(NWGetRequesterVersion);
  WF_NW_CALL(NWGetDefaultConnectionID);
  WF_NW_CALL(NWGetNumConnections);
  WF_NW_CALL(NWGetConnectionList);
  WF_NW_CALL(NWGetConnectionHandle);
  WF_NW_CALL(NWGetConnectionStatus);
  WF_NW_CALL(NWGetBinderyAccessLevel);
  WF_NW_CALL(NWGetFileServerName);
  WF_NW_CALL(NWGetFileServerVersion);
  WF_NW_CALL(NWAttachToFileServer);
  WF_NW_CALL(NWDetachFromFileServer);
  WF_NW_CALL(NWLoginToFileServer);
  WF_NW_CALL(NWLogoutFromFileServer);
  WF_NW_CALL(NWScanObject);
  WF_NW_CALL(NWReadPropertyValue);
  WF_NW_CALL(NWScanProperty);
  WF_NW_CALL(NWGetObjectName);
  WF_NW_CALL(NWCreateObject);
  WF_NW_CALL(NWCreateProperty);
  WF_NW_CALL(NWAddObjectToSet);
  WF_NW_CALL(NWDeleteObjectFromSet);
  WF_NW_CALL(NWCreateQueue);
  WF_NW_CALL(NWDestroyQueue);
  WF_NW_CALL(NWPSCommAttachToPrintServer);
  WF_NW_CALL(NWPSCommLoginToPrintServer);
  WF_NW_CALL(NWPSComGetPrintersServicingQ);
  WF_NW_CALL(NWPSComGetPrinterStatus);
  WF_NW_CALL(NWPSCommDetachFromPrintServer);
#undef WF_NW_CALL
};

// Loads the library and binds every call; null (library freed) when it is
// missing or lacks a call.
class NwClientLibrary {
 public:
  static std::unique_ptr<NwClientLibrary> load();
  ~NwClientLibrary();
  NwClientLibrary(const NwClientLibrary&) = delete;
  NwClientLibrary& operator=(const NwClientLibrary&) = delete;
  const NwClient& calls() const { return calls_; }

 private:
  explicit NwClientLibrary(ModuleHandle module) : module_(module) {}
  ModuleHandle module_;
  NwClient calls_;
};

}  // namespace wf::netware
