#pragma once
// Scripted stand-ins for the printer modules' tests: a request object whose
// virtual requests answer from fields (and log their calls), a printer
// manager that hands out such objects and plays enumerations, a family icon
// class for a second family, and the application around them.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/printer_dll.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "fake_broker.h"
#include "fake_wf_app.h"
#include "wfprtmgr/wfprtmgr.h"

namespace wf::testing {

class ScriptedPrtObj : public WFPrtObj {
 public:
  explicit ScriptedPrtObj(USHORT handle, ULONG family = 0xFFFFFFFF)
      : WFPrtObj(handle, 0, FALSE), family(family) {}

  ULONG family;
  bool capsReadable = true;
  BIDICAPABILITIES caps;
  LONG deviceCharsRc = 0;
  DEVICECHARS deviceChars;

  std::vector<std::string> calls() const {
    std::lock_guard lock(m_);
    return calls_;
  }

  void getPrinterType(ULONG* type, ULONG* second) override {
    log("getPrinterType");
    if (type) *type = family;
    if (second) *second = 0;
  }
  BOOL getBidiCaps(BIDICAPABILITIES* out) override {
    log("getBidiCaps");
    if (!capsReadable) return FALSE;
    *out = caps;
    return TRUE;
  }
  LONG bidiGetDeviceChars(DEVICECHARS* out) override {
    log("bidiGetDeviceChars");
    if (deviceCharsRc == 0) *out = deviceChars;
    return deviceCharsRc;
  }
  // Trays and bins, handed out as the request object does (new[]).
  LONG trayRc = 0;
  std::vector<INPUTBIN> inputBins;
  std::vector<OUTPUTBIN> outputBins;
  LONG bidiGetInputChars(UINT* count, INPUTBIN** bins) override {
    log("bidiGetInputChars");
    return handOut(inputBins, count, bins);
  }
  LONG bidiGetOutputChars(UINT* count, OUTPUTBIN** bins) override {
    log("bidiGetOutputChars");
    return handOut(outputBins, count, bins);
  }
  // The cached records; a request named in `rejects` answers that code.
  std::map<std::string, LONG> rejects;
  STORAGEOPTIONS storage;
  CODELEVELS codeLevels;
  PAGECOUNTDATA pageCounts;
  int panelLock = 1;
  LONG bidiGetStorageOptions(STORAGEOPTIONS* out) override {
    return answer("bidiGetStorageOptions", out, storage);
  }
  LONG bidiGetCodeLevels(CODELEVELS* out) override { return answer("bidiGetCodeLevels", out, codeLevels); }
  LONG bidiGetPageCounts(PAGECOUNTDATA* out) override { return answer("bidiGetPageCounts", out, pageCounts); }
  LONG bidiROPQueryLock(int* out) override { return answer("bidiROPQueryLock", out, panelLock); }
  std::string panelText;
  LONG lockRc = 0;
  LONG verifyRc = 0;
  LONG bidiROPPushButton(ULONG button) override {
    log("bidiROPPushButton " + std::to_string(button));
    return 0;
  }
  LONG bidiROPSetLock(BOOL lock) override {
    log("bidiROPSetLock " + std::to_string(lock));
    std::lock_guard guard(m_);
    if (lockRc == 0) panelLock = lock;
    return lockRc;
  }
  LONG verifyQuickSetupFile(std::FILE*) override {
    log("verifyQuickSetupFile");
    return verifyRc;
  }
  LONG bidiROPContinue() override {
    log("bidiROPContinue");
    return 0;
  }
  LONG bidiROPReset() override {
    log("bidiROPReset");
    return 0;
  }
  LONG bidiROPQueryData(void** out) override {
    OPPANELDATA panel;
    {
      std::lock_guard lock(m_);
      panel.text = panelText;
    }
    const LONG rc = answer("bidiROPQueryData", &panel, panel);
    if (rc == 0) *out = new OPPANELDATA(panel);
    return rc;
  }
  LONG bidiResetHostPageCount() override {
    int none = 0;
    const LONG rc = answer("bidiResetHostPageCount", &none, none);
    if (rc == 0) pageCounts.counters[3] = 0;
    return rc;
  }
  LONG bidiInitialize(BOOL force) override {
    log("bidiInitialize");
    return 0;
  }

  // Alerts: each list query answers alertListRc and a copy of its list.
  std::map<std::string, std::vector<WFPALERTDATA>> alertLists;
  LONG alertListRc = 0;
  PRINTERSTATUS deviceStatus = 0;
  LONG panelRc = 0;

  using WFPrtObj::bidiQueryConfigChg;
  using WFPrtObj::bidiQueryInputStatus;
  using WFPrtObj::bidiQueryOperatorIV;
  using WFPrtObj::bidiQueryOutputStatus;
  using WFPrtObj::bidiQueryPaperJams;
  using WFPrtObj::bidiQueryServiceReq;
  using WFPrtObj::bidiQuerySupplies;
  using WFPrtObj::bidiQueryWarnings;
  LONG bidiQueryInputStatus(UINT* n, WFPALERTDATA** a) override { return list("bidiQueryInputStatus", n, a); }
  LONG bidiQueryOutputStatus(UINT* n, WFPALERTDATA** a) override {
    return list("bidiQueryOutputStatus", n, a);
  }
  LONG bidiQueryPaperJams(UINT* n, WFPALERTDATA** a) override { return list("bidiQueryPaperJams", n, a); }
  LONG bidiQuerySupplies(UINT* n, WFPALERTDATA** a) override { return list("bidiQuerySupplies", n, a); }
  LONG bidiQueryOperatorIV(UINT* n, WFPALERTDATA** a) override { return list("bidiQueryOperatorIV", n, a); }
  LONG bidiQueryWarnings(UINT* n, WFPALERTDATA** a) override { return list("bidiQueryWarnings", n, a); }
  LONG bidiQueryServiceReq(UINT* n, WFPALERTDATA** a) override { return list("bidiQueryServiceReq", n, a); }
  LONG bidiQueryConfigChg(UINT* n, WFPALERTDATA** a) override { return list("bidiQueryConfigChg", n, a); }
  LONG bidiQueryDeviceStatus(PRINTERSTATUS* status) override {
    log("bidiQueryDeviceStatus");
    *status = deviceStatus;
    return 0;
  }
  LONG bidiROPQueryAlert(USHORT key, void** panel) override {
    log("bidiROPQueryAlert " + std::to_string(key));
    *panel = nullptr;
    return panelRc;
  }
  void setBidiOff() override {
    log("setBidiOff");
    caps.bidiActive = FALSE;
  }

  // Disk and flash requests: each is logged with its arguments and answers
  // the code `rejects` holds for its name (0 without). Alert records by key;
  // a key without a record answers -2, as a record of another kind would.
  std::map<USHORT, DEVICEMGMTALERTDATA> resAlerts;
  LONG bidiDeviceFileListing(DEVICEID device) override {
    return request("bidiDeviceFileListing " + std::to_string(device), "bidiDeviceFileListing");
  }
  LONG bidiDeviceFormat(DEVICEID device) override {
    return request("bidiDeviceFormat " + std::to_string(device), "bidiDeviceFormat");
  }
  LONG bidiDeviceDeleteFile(const std::string& file, DEVICEID device) override {
    return request("bidiDeviceDeleteFile " + file + " " + std::to_string(device), "bidiDeviceDeleteFile");
  }
  LONG bidiDeviceCopyFile(const std::string& file, DEVICEID from, DEVICEID to, int move) override {
    return request("bidiDeviceCopyFile " + file + " " + std::to_string(from) + " " + std::to_string(to) +
                       " " + std::to_string(move),
                   "bidiDeviceCopyFile");
  }
  LONG bidiDeviceQueryAlert(USHORT key, DEVICEMGMTALERTDATA* record) override {
    log("bidiDeviceQueryAlert " + std::to_string(key));
    std::lock_guard lock(m_);
    if (auto it = rejects.find("bidiDeviceQueryAlert"); it != rejects.end()) return it->second;
    auto it = resAlerts.find(key);
    if (it == resAlerts.end()) return -2;
    *record = it->second;
    return 0;
  }
  // "device;name;id;type;size;description", device 1 or 2.
  LONG parseDeviceDirectoryData(const std::string& entry, DEVICEDIRECTORYDATA* record) override {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t at; fields.size() < 5 && (at = entry.find(';', start)) != std::string::npos;
         start = at + 1)
      fields.push_back(entry.substr(start, at - start));
    fields.push_back(entry.substr(start));
    if (fields.size() < 6 || (fields[0] != "1" && fields[0] != "2")) return -2;
    record->device = fields[0] == "1" ? 1 : 2;
    record->name = fields[1];
    record->id = fields[2];
    record->type = fields[3];
    record->size = fields[4];
    record->description = fields[5];
    return 0;
  }

 private:
  template <class T>
  LONG answer(const char* call, T* out, const T& value) {
    log(call);
    std::lock_guard lock(m_);
    auto it = rejects.find(call);
    if (it != rejects.end()) return it->second;
    *out = value;
    return 0;
  }
  template <class T>
  LONG handOut(const std::vector<T>& from, UINT* count, T** out) {
    if (trayRc != 0) return trayRc;
    *count = static_cast<UINT>(from.size());
    *out = nullptr;
    if (!from.empty()) {
      *out = new T[from.size()];
      std::copy(from.begin(), from.end(), *out);
    }
    return 0;
  }
  LONG request(std::string call, const char* name) {
    log(std::move(call));
    std::lock_guard lock(m_);
    auto it = rejects.find(name);
    return it == rejects.end() ? 0 : it->second;
  }
  void log(std::string call) {
    std::lock_guard lock(m_);
    calls_.push_back(std::move(call));
  }
  LONG list(const char* query, UINT* count, WFPALERTDATA** alerts) {
    log(query);
    *count = 0;
    *alerts = nullptr;
    if (alertListRc != 0) return alertListRc;
    const std::vector<WFPALERTDATA>& found = alertLists[query];
    if (found.empty()) return 0;
    *alerts = new WFPALERTDATA[found.size()];
    std::copy(found.begin(), found.end(), *alerts);
    *count = static_cast<UINT>(found.size());
    return 0;
  }
  mutable std::mutex m_;
  std::vector<std::string> calls_;
};

// A local printer as the broker reports it: handle, port, node and connections.
inline PRTINFO prtInfo(std::uint16_t handle, const char* port, std::uint32_t connections = BCE_NET_LOCAL,
                       std::uint8_t nodeByte = 0) {
  PRTINFO info{};
  info.handle = handle;
  std::strncpy(info.name, port, sizeof info.name - 1);
  info.connections = connections;
  if (nodeByte) info.node[5] = nodeByte;
  info.flags = BCE_PRTINFO_FLAG_PRESENT | BCE_PRTINFO_FLAG_NPA;
  return info;
}

// A bidi printer on a local port, known to the fake broker under its handle.
inline std::unique_ptr<ScriptedPrtObj> localPrinter(std::uint16_t handle, const char* port, ULONG family = 0,
                                                    const char* model = "Quorra 1210") {
  auto object = std::make_unique<ScriptedPrtObj>(handle, family);
  object->caps.bidiActive = TRUE;
  object->caps.portType = WFPrtObj::PORT_LPT;
  object->caps.portName = port;
  object->deviceChars.model = model;
  fakebce::setPrtInfoFor(handle, prtInfo(handle, port));
  return object;
}

// Every record of a bidi printer filled: a cartridge without a name, ENG
// and INA empty, trays 1 and 2 under NPA 1 and 2, a tray under NPA 12.
inline void fillRecords(ScriptedPrtObj& printer) {
  printer.deviceChars.serialNumber = "SN-4711";
  printer.deviceChars.revisionLevel = "R2";
  printer.deviceChars.speed = 12;
  printer.deviceChars.memoryKb = 4096;
  printer.deviceChars.duplex = 3;
  printer.storage.fontCartridge = TRUE;
  printer.storage.cartridgeName = "";
  printer.storage.cartridgeDetail = "Bitmap";
  printer.storage.flashSize = 0x200000;
  printer.storage.flashFree = 0x100000;
  printer.storage.diskSize = 0x2800000;
  printer.storage.diskFree = 0x1400000;
  printer.codeLevels.revisionLevel = " 2.10 ";
  printer.codeLevels.engf = "1.02";
  printer.codeLevels.engb = "B1";
  printer.codeLevels.ina1 = "4.4";
  printer.codeLevels.ina2 = "4.5";
  printer.codeLevels.pnl = "P3";
  printer.codeLevels.dpx = "D1";
  printer.pageCounts.counters[0] = 123456;
  printer.pageCounts.counters[1] = 40;
  printer.pageCounts.counters[3] = 12;
  printer.inputBins = {
      {1, 7103, 500, "Tray 1", 1, 1}, {2, 7104, 200, "Tray 2", 7, 2}, {12, 7105, 500, "Tray 3", 1, 1}};
  printer.outputBins = {{1, 7201, 250, "Top", 0, {}}};
}

// One call the manager makes to the callback: object (null: end), reason.
struct EnumStep {
  WFPrtObj* object;
  WFPrtObj::ULONG reason;
};

class ScriptedPrtMgr : public WFPrtMgr {
 public:
  ScriptedPrtMgr() : WFPrtMgr(0) {}

  std::map<WFPrtObj::USHORT, WFPrtObj*> objects;
  std::vector<EnumStep> allSteps;
  std::vector<WFPrtObj::ULONG> results;  // what the callback answered
  std::atomic<std::size_t> answered{0};  // results written so far

  WFPrtObj* getPrinterObj(WFPrtObj::USHORT handle) override {
    auto it = objects.find(handle);
    return it == objects.end() ? nullptr : it->second;
  }
  void answer(WFPrtObj::ULONG result) {
    results.push_back(result);
    ++answered;
  }
  WFPrtObj::LONG enumAllPrinters(WFENUMPRINTERSPROC callback, std::uintptr_t data) override {
    for (const EnumStep& step : allSteps) answer(callback(step.object, data, step.reason));
    answer(callback(nullptr, data, WF_ENUM_REASON_NEW));
    return 0;
  }
};

// The icon class of a second family (ids 5 and 6).
class FamilyIcon : public CWFPrinterIcon {
 public:
  using CWFPrinterIcon::CWFPrinterIcon;
  int BelongsToFamily(ULONG key) override { return key == 5 || key == 6; }
  static CWFPrinterIcon* create(WFPrtObj* object, void* record) { return new FamilyIcon(object, record); }
};

}  // namespace wf::testing
