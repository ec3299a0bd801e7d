#include "nw_client.h"

#include "platform/trace.h"

namespace wf::netware {

std::unique_ptr<NwClientLibrary> NwClientLibrary::load() {
  const ModuleHandle module = loadModule("Cornwthk.DLL");
  if (!module) {
    platformTrace("cornw32: \"Cornwthk.DLL\" does not load");
    return nullptr;
  }
  std::unique_ptr<NwClientLibrary> lib(new NwClientLibrary(module));
  bool whole = true;
  auto bind = [&](auto& slot, const char* name) {
    slot = moduleEntryAs<std::remove_reference_t<decltype(slot)>>(module, name);
    if (!slot) {
      platformTrace(std::string("cornw32: \"Cornwthk.DLL\" lacks ") + name);
      whole = false;
    }
  };
  NwClient& c = lib->calls_;
#define WF_NW_BIND(name) bind(c.name, #name)
  WF_NW_BIND(NWCallsInit);
  WF_NW_BIND(NWGetRequesterVersion);
  WF_NW_BIND(NWGetDefaultConnectionID);
  WF_NW_BIND(NWGetNumConnections);
  WF_NW_BIND(NWGetConnectionList);
  WF_NW_BIND(NWGetConnectionHandle);
  WF_NW_BIND(NWGetConnectionStatus);
  WF_NW_BIND(NWGetBinderyAccessLevel);
  WF_NW_BIND(NWGetFileServerName);
  WF_NW_BIND(NWGetFileServerVersion);
  WF_NW_BIND(NWAttachToFileServer);
  WF_NW_BIND(NWDetachFromFileServer);
  WF_NW_BIND(NWLoginToFileServer);
  WF_NW_BIND(NWLogoutFromFileServer);
  WF_NW_BIND(NWScanObject);
  WF_NW_BIND(NWReadPropertyValue);
  WF_NW_BIND(NWScanProperty);
  WF_NW_BIND(NWGetObjectName);
  WF_NW_BIND(NWCreateObject);
  WF_NW_BIND(NWCreateProperty);
  WF_NW_BIND(NWAddObjectToSet);
  WF_NW_BIND(NWDeleteObjectFromSet);
  WF_NW_BIND(NWCreateQueue);
  WF_NW_BIND(NWDestroyQueue);
  WF_NW_BIND(NWPSCommAttachToPrintServer);
  WF_NW_BIND(NWPSCommLoginToPrintServer);
  WF_NW_BIND(NWPSComGetPrintersServicingQ);
  WF_NW_BIND(NWPSComGetPrinterStatus);
  WF_NW_BIND(NWPSCommDetachFromPrintServer);
#undef WF_NW_BIND
  if (!whole) return nullptr;  // frees the library
  return lib;
}

NwClientLibrary::~NwClientLibrary() {
  freeModule(module_);
}

}  // namespace wf::netware
