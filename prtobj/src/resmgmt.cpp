// Disk and flash resource management lives in the outside WFPRM library,
// loaded by name on first use; each operation is one call into it.
#include <mutex>

#include "platform/module.h"
#include "prtobj/wfprtobj.h"

namespace {

constexpr WFPrtObj::LONG kRefused = -2;  // no WFPRM, or it lacks the entry

void* resMgmtEntry(const char* name) {
  static std::once_flag once;
  static wf::ModuleHandle module = nullptr;
  std::call_once(once, [] { module = wf::loadModule("WFPRM.DLL"); });
  return module ? wf::moduleEntry(module, name) : nullptr;
}

template <typename Fn, typename... Args>
WFPrtObj::LONG forward(const char* name, Args&&... args) {
  auto fn = reinterpret_cast<Fn>(resMgmtEntry(name));
  return fn ? fn(std::forward<Args>(args)...) : kRefused;
}

using ObjDevice = WFPrtObj::LONG (*)(WFPrtObj&, WFPrtObj::DEVICEID);

}  // namespace

WFPrtObj::LONG WFPrtObj::bidiDeviceFileListing(DEVICEID device) {
  return forward<ObjDevice>("bidiResMgmtFileListing", *this, device);
}

WFPrtObj::LONG WFPrtObj::bidiDeviceFormat(DEVICEID device) {
  return forward<ObjDevice>("bidiResMgmtFormat", *this, device);
}

WFPrtObj::LONG WFPrtObj::bidiDeviceDeleteFile(const std::string& file, DEVICEID device) {
  return forward<LONG (*)(WFPrtObj&, const std::string&, DEVICEID)>("bidiResMgmtDeleteFile", *this, file,
                                                                    device);
}

WFPrtObj::LONG WFPrtObj::bidiDeviceCopyFile(const std::string& file, DEVICEID from, DEVICEID to, int move) {
  return forward<LONG (*)(WFPrtObj&, const std::string&, DEVICEID, DEVICEID, int)>(
      "bidiResMgmtCopyFile", *this, file, from, to, move);
}

WFPrtObj::LONG WFPrtObj::bidiDeviceQueryAlert(USHORT key, DEVICEMGMTALERTDATA* record) {
  return forward<LONG (*)(WFPrtObj&, USHORT, void*)>("bidiResMgmtQueryAlert", *this, key,
                                                     static_cast<void*>(record));
}

WFPrtObj::LONG WFPrtObj::parseDeviceAlertData(const void* data, long len, DEVICEMGMTALERTDATA* record) {
  return forward<LONG (*)(const void*, long, DEVICEMGMTALERTDATA*)>("parseResMgmtAlertData", data, len,
                                                                    record);
}

WFPrtObj::LONG WFPrtObj::parseDeviceDirectoryData(const std::string& entry, DEVICEDIRECTORYDATA* record) {
  return forward<LONG (*)(const std::string&, DEVICEDIRECTORYDATA*)>("parseResMgmtDirectoryData", entry,
                                                                     record);
}
