#pragma once
// The eighteen entry points of one loaded transport, bound by exactly their
// names (letters and case must match); a name the library lacks stays null.
// The broker and the transport test harness bind alike through this.
#include "broker/net_transport.h"
#include "platform/module.h"

namespace wf {

struct NetEntryPoints {
  NetEnumerateFn NetEnumerate = nullptr;
  NetGetSpecificAddrFn NetGetSpecificAddr = nullptr;
  NetEnumSpecificFn NetEnumSpecific = nullptr;
  NetEnumSpecificPortFn NetEnumSpecificPort = nullptr;
  NetEnumQueuesFn NetEnumQueues = nullptr;
  NetOpenFn NetOpen = nullptr;
  NetCloseFn NetClose = nullptr;
  NetWriteFn NetWrite = nullptr;
  NetShutDownFn NetShutDown = nullptr;
  NetIsAdminFn NetIsAdmin = nullptr;
  NetIsQueueAdminFn NetIsQueueAdmin = nullptr;
  NetGetVersionFn NetGetVersion = nullptr;
  NetGetInfoFn NetGetInfo = nullptr;
  NetSetInfoFn NetSetInfo = nullptr;
  NetRegisterCallbackFn NetRegisterCallback = nullptr;
  NetUnregisterCallbackFn NetUnregisterCallback = nullptr;
  NetStartDocFn NetStartDoc = nullptr;
  NetEndDocFn NetEndDoc = nullptr;
};

inline NetEntryPoints bindNetEntryPoints(ModuleHandle module) {
  NetEntryPoints f;
#define WF_BIND_NET_ENTRY(name) f.name = moduleEntryAs<name##Fn>(module, #name)
  WF_BIND_NET_ENTRY(NetEnumerate);
  WF_BIND_NET_ENTRY(NetGetSpecificAddr);
  WF_BIND_NET_ENTRY(NetEnumSpecific);
  WF_BIND_NET_ENTRY(NetEnumSpecificPort);
  WF_BIND_NET_ENTRY(NetEnumQueues);
  WF_BIND_NET_ENTRY(NetOpen);
  WF_BIND_NET_ENTRY(NetClose);
  WF_BIND_NET_ENTRY(NetWrite);
  WF_BIND_NET_ENTRY(NetShutDown);
  WF_BIND_NET_ENTRY(NetIsAdmin);
  WF_BIND_NET_ENTRY(NetIsQueueAdmin);
  WF_BIND_NET_ENTRY(NetGetVersion);
  WF_BIND_NET_ENTRY(NetGetInfo);
  WF_BIND_NET_ENTRY(NetSetInfo);
  WF_BIND_NET_ENTRY(NetRegisterCallback);
  WF_BIND_NET_ENTRY(NetUnregisterCallback);
  WF_BIND_NET_ENTRY(NetStartDoc);
  WF_BIND_NET_ENTRY(NetEndDoc);
#undef WF_BIND_NET_ENTRY
  return f;
}

}  // namespace wf
