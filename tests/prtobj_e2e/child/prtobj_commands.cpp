// The request object's helper commands (wf-testchild prtobj): one
// application of the real broker, its printers reached through request
// objects made by the factory the printer manager binds by ordinal. One window collects every post: the
// broker's alerts and the Quick Setup progress.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "broker/corbce.h"
#include "child_commands.h"
#include "eventually.h"
#include "platform/message_queue.h"
#include "platform/module.h"
#include "platform/window_messages.h"
#include "prtobj/thread_control.h"
#include "prtobj/wfprtobj.h"

using wf::testing::ChildArgs;

namespace {

wf::Hwnd window() {
  static wf::Hwnd w = wf::createWindow(
      "WfPrtObjEndToEnd", [](wf::Hwnd, std::uint32_t, wf::WParam, wf::LParam) { return wf::LResult{0}; });
  return w;
}

std::int16_t appId = -1;
std::map<std::uint16_t, std::unique_ptr<WFPrtObj>> objects;

std::uint32_t num(const std::string& s) {
  return static_cast<std::uint32_t>(std::stoul(s, nullptr, 0));
}
std::string str(unsigned long n) {
  return std::to_string(n);
}

WFPrtObj* object(const std::string& handle) {
  auto it = objects.find(static_cast<std::uint16_t>(num(handle)));
  return it == objects.end() ? nullptr : it->second.get();
}

// The next post to the window within the bound, if any.
bool nextPost(wf::Message& m) {
  return wf::testing::eventually([&] { return wf::peekMessage(m, wf::PeekMode::Remove); });
}

std::string alertList(WFPrtObj::LONG rc, WFPrtObj::UINT count, WFPrtObj::WFPALERTDATA* alerts) {
  std::string out = "ok " + std::to_string(rc);
  for (WFPrtObj::UINT i = 0; i < count; ++i)
    out += " " + str(alerts[i].alertId) + ":" + str(alerts[i].detail);
  delete[] alerts;
  return out;
}

thread_local std::vector<std::string>* enumerated = nullptr;
uint16_t collect(const PRTINFO* info) {
  if (info && enumerated) enumerated->push_back(std::string(info->name) + "=" + std::to_string(info->handle));
  return 1;
}

WF_CHILD_COMMAND("register",
                 [](const ChildArgs&) { return "ok " + std::to_string(appId = BceRegisterApp(window())); });

// nets -> "ok <result> <mask>": the networks the broker can reach
WF_CHILD_COMMAND("nets", [](const ChildArgs&) {
  std::uint32_t mask = 0;
  const std::int32_t rc = BceGetNets(&mask);
  return "ok " + std::to_string(rc) + " " + std::to_string(mask);
});

// enum [mask] -> "ok <result> <name=handle>..." of the printers (default: the local ones)
WF_CHILD_COMMAND("enum", [](const ChildArgs& a) {
  std::vector<std::string> got;
  enumerated = &got;
  const std::uint32_t mask = a.empty() ? BCE_NET_LOCAL | BCE_NET_FORCE : num(a.at(0));
  const std::int32_t rc = BceEnumPrinters(static_cast<std::uint32_t>(appId), mask, &collect);
  enumerated = nullptr;
  std::string out = "ok " + std::to_string(rc);
  for (const auto& p : got) out += " " + p;
  return out;
});

// object <handle> <type>: a request object from the factory bound by ordinal
WF_CHILD_COMMAND("object", [](const ChildArgs& a) {
  static auto create =
      wf::moduleOrdinalAs<CreatePrtObjFn>(wf::loadModule("WFPRTOBJ.DLL"), kCreatePrtObjOrdinal);
  if (!create) return std::string("err no factory");
  const auto handle = static_cast<std::uint16_t>(num(a.at(0)));
  WFPrtObj* obj = create(handle, appId, num(a.at(1)));
  if (!obj) return std::string("err null");
  objects[handle].reset(obj);
  return std::string("ok");
});

WF_CHILD_COMMAND("active", [](const ChildArgs& a) {
  WFPrtObj::BIDICAPABILITIES caps;
  object(a.at(0))->getBidiCaps(&caps);
  return "ok " + std::to_string(caps.bidiActive);
});

// chars <handle> -> "ok <rc>|model|revision|serial|memory KB|speed|duplex"
WF_CHILD_COMMAND("chars", [](const ChildArgs& a) {
  WFPrtObj::DEVICECHARS c;
  const auto rc = object(a.at(0))->bidiGetDeviceChars(&c);
  return "ok " + std::to_string(rc) + "|" + c.model + "|" + c.revisionLevel + "|" + c.serialNumber + "|" +
         str(c.memoryKb) + "|" + str(c.speed) + "|" + str(c.duplex);
});

// inputs <handle> -> "ok <rc>|name:bin:capacity|..."
WF_CHILD_COMMAND("inputs", [](const ChildArgs& a) {
  WFPrtObj::UINT count = 0;
  WFPrtObj::INPUTBIN* bins = nullptr;
  std::string out = "ok " + std::to_string(object(a.at(0))->bidiGetInputChars(&count, &bins));
  for (WFPrtObj::UINT i = 0; i < count; ++i)
    out += "|" + bins[i].name + ":" + str(bins[i].binNumber) + ":" + str(bins[i].capacity);
  delete[] bins;
  return out;
});

WF_CHILD_COMMAND("outputs", [](const ChildArgs& a) {
  WFPrtObj::UINT count = 0;
  WFPrtObj::OUTPUTBIN* bins = nullptr;
  std::string out = "ok " + std::to_string(object(a.at(0))->bidiGetOutputChars(&count, &bins));
  for (WFPrtObj::UINT i = 0; i < count; ++i)
    out += "|" + bins[i].name + ":" + str(bins[i].binNumber) + ":" + str(bins[i].capacity);
  delete[] bins;
  return out;
});

// storage <handle> -> "ok <rc>|flash size|flash free|disk size|disk free|cartridge|name|detail"
WF_CHILD_COMMAND("storage", [](const ChildArgs& a) {
  WFPrtObj::STORAGEOPTIONS s;
  const auto rc = object(a.at(0))->bidiGetStorageOptions(&s);
  return "ok " + std::to_string(rc) + "|" + str(s.flashSize) + "|" + str(s.flashFree) + "|" +
         str(s.diskSize) + "|" + str(s.diskFree) + "|" + str(s.fontCartridge) + "|" + s.cartridgeName + "|" +
         s.cartridgeDetail;
});

// levels <handle> -> "ok <rc>|revision|eng|engb|engf|ina|ina1|ina2|pnl|dpx|cont|flker"
WF_CHILD_COMMAND("levels", [](const ChildArgs& a) {
  WFPrtObj::CODELEVELS l;
  std::string out = "ok " + std::to_string(object(a.at(0))->bidiGetCodeLevels(&l));
  for (const auto* s : {&l.revisionLevel, &l.eng, &l.engb, &l.engf, &l.ina, &l.ina1, &l.ina2, &l.pnl, &l.dpx,
                        &l.cont, &l.flker})
    out += "|" + *s;
  return out;
});

// type <handle> -> "ok <rc> <type> <code>"; family <handle> -> "ok <rc> <family>"
WF_CHILD_COMMAND("type", [](const ChildArgs& a) {
  WFPrtObj::ULONG type = 77, code = 77;
  const auto rc = object(a.at(0))->bidiGetPrinterType(&type, &code);
  return "ok " + std::to_string(rc) + " " +
         std::to_string(static_cast<long>(static_cast<std::int32_t>(type))) + " " + str(code);
});
WF_CHILD_COMMAND("family", [](const ChildArgs& a) {
  WFPrtObj::ULONG family = 77;
  const auto rc = object(a.at(0))->bidiGetPrinterFamily(&family);
  return "ok " + std::to_string(rc) + " " + str(family);
});

// pages <handle> -> "ok <rc> <four counters>"
WF_CHILD_COMMAND("pages", [](const ChildArgs& a) {
  WFPrtObj::PAGECOUNTDATA p;
  std::string out = "ok " + std::to_string(object(a.at(0))->bidiGetPageCounts(&p));
  for (auto c : p.counters) out += " " + str(c);
  return out;
});

// jams <handle> -> "ok <rc> <alert:detail>..."
WF_CHILD_COMMAND("jams", [](const ChildArgs& a) {
  WFPrtObj::UINT count = 0;
  WFPrtObj::WFPALERTDATA* alerts = nullptr;
  const auto rc = object(a.at(0))->bidiQueryPaperJams(&count, &alerts);
  return alertList(rc, count, alerts);
});

// capture <handle> <mask> -> "ok <result>"
WF_CHILD_COMMAND("capture", [](const ChildArgs& a) {
  const ALERTS alerts{num(a.at(1))};
  return "ok " + std::to_string(
                     BceCaptureAlerts(static_cast<std::uint32_t>(appId), num(a.at(0)), &alerts, window(), 0));
});

// write <handle> <mask> <count> [raw] -> "ok <result>": BceWrite of count bytes (i % 251)
WF_CHILD_COMMAND("write", [](const ChildArgs& a) {
  std::vector<std::uint8_t> data(num(a.at(2)));
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i % 251);
  std::uint32_t length = static_cast<std::uint32_t>(data.size());
  const std::uint32_t raw = a.size() > 3 ? num(a.at(3)) : 0;
  return "ok " + std::to_string(BceWrite(static_cast<std::uint32_t>(appId), num(a.at(0)), num(a.at(1)),
                                         data.data(), &length, raw));
});

// startdoc|enddoc <handle> <mask> -> "ok <result>"
WF_CHILD_COMMAND("startdoc", [](const ChildArgs& a) {
  return "ok " + std::to_string(BceStartDoc(num(a.at(0)), num(a.at(1)), 0));
});
WF_CHILD_COMMAND("enddoc", [](const ChildArgs& a) {
  return "ok " + std::to_string(BceEndDoc(num(a.at(0)), num(a.at(1))));
});

// again <handle> <mask> -> "ok <networks found> <handle>...": the printer's
// address, enumerated again (the broker may call back from a thread of its own)
std::mutex againMutex;
std::vector<std::uint16_t> againFound;
uint16_t collectAgain(const PRTINFO* info) {
  std::lock_guard g(againMutex);
  if (info) againFound.push_back(info->handle);
  return 1;
}
WF_CHILD_COMMAND("again", [](const ChildArgs& a) {
  NETADDRESS address{};
  if (!BceGetPrinterAddr(num(a.at(0)), num(a.at(1)), &address)) return std::string("err no address");
  {
    std::lock_guard g(againMutex);
    againFound.clear();
  }
  const std::int32_t rc = BceEnumSpecific(static_cast<std::uint32_t>(appId), &address, &collectAgain, 0);
  std::lock_guard g(againMutex);
  std::string out = "ok " + std::to_string(rc);
  for (const std::uint16_t h : againFound) out += " " + std::to_string(h);
  return out;
});

// move <handle> <12 hex digits> -> "ok <result>": the adapter of a NetWare
// printer given that address (item 129 read, then written with the change bit)
WF_CHILD_COMMAND("move", [](const ChildArgs& a) {
  const std::uint32_t handle = num(a.at(0));
  std::uint8_t parms[70] = {};
  std::uint16_t length = sizeof parms;
  std::int32_t rc = BceGetNetInfo(handle, BCE_NET_NETWARE, 129, parms, &length, nullptr);
  if (rc != 0) return "ok " + std::to_string(rc);
  parms[0] = 0x80;  // Control: change the address
  for (std::size_t i = 0; i < 6; ++i)
    parms[6 + i] = static_cast<std::uint8_t>(std::stoul(a.at(1).substr(2 * i, 2), nullptr, 16));
  rc = BceSetNetInfo(handle, BCE_NET_NETWARE, 129, parms, sizeof parms);
  return "ok " + std::to_string(rc);
});

// rename <handle> <login name> -> "ok <result>": item 1 read, then written with that login name
WF_CHILD_COMMAND("rename", [](const ChildArgs& a) {
  const std::uint32_t handle = num(a.at(0));
  char settings[147] = {};
  std::uint16_t length = sizeof settings;
  std::int32_t rc = BceGetNetInfo(handle, BCE_NET_NETWARE, 1, settings, &length, nullptr);
  if (rc != 0) return "ok " + std::to_string(rc);
  std::snprintf(settings + 7, 44, "%s", a.at(1).c_str());  // LoginName
  rc = BceSetNetInfo(handle, BCE_NET_NETWARE, 1, settings, sizeof settings);
  return "ok " + std::to_string(rc);
});

// ipxname <handle> <name> -> "ok <result>": CORIPX32 item 5 set (25 bytes)
WF_CHILD_COMMAND("ipxname", [](const ChildArgs& a) {
  char name[25] = {};
  std::snprintf(name, sizeof name, "%s", a.at(1).c_str());
  return "ok " + std::to_string(BceSetNetInfo(num(a.at(0)), BCE_NET_IPX, 5, name, sizeof name));
});

// ipxget <handle> <item> -> "ok <result> <length> <hex bytes>": a CORIPX32 item read into 70 bytes
WF_CHILD_COMMAND("ipxget", [](const ChildArgs& a) {
  std::uint8_t record[70] = {};
  std::uint16_t length = sizeof record;
  const std::int32_t rc = BceGetNetInfo(num(a.at(0)), BCE_NET_IPX, num(a.at(1)), record, &length, nullptr);
  std::string hex;
  for (std::uint16_t i = 0; i < length && i < sizeof record; ++i) {
    char two[3];
    std::snprintf(two, sizeof two, "%02X", record[i]);
    hex += two;
  }
  return "ok " + std::to_string(rc) + " " + std::to_string(length) + " " + hex;
});

// ipxcheck <node hex> -> "ok <result>": CORIPX32 item 137 for the workstation
WF_CHILD_COMMAND("ipxcheck", [](const ChildArgs& a) {
  std::uint8_t node[6] = {};
  for (std::size_t i = 0; i < 6; ++i)
    node[i] = static_cast<std::uint8_t>(std::stoul(a.at(0).substr(2 * i, 2), nullptr, 16));
  return "ok " + std::to_string(BceSetNetInfo(BCE_WORKSTATION_HANDLE, BCE_NET_IPX, 137, node, sizeof node));
});

// ipxports -> "ok <result> <name>/<kind>...": CORIPX32 item 2, the ports without a nickname
thread_local std::string* availablePorts = nullptr;
int32_t noteAvailable(const void* item, uint16_t length) {
  if (availablePorts && length == 169) {
    const auto* e = static_cast<const std::uint8_t*>(item);
    std::uint16_t kind = 0;
    std::memcpy(&kind, e + 7, 2);
    *availablePorts += " " + std::string(reinterpret_cast<const char*>(e + 9)) + "/" + std::to_string(kind);
  }
  return 1;
}
WF_CHILD_COMMAND("ipxports", [](const ChildArgs&) {
  std::string listed;
  availablePorts = &listed;
  std::uint16_t length = 0;
  const std::int32_t rc = BceGetNetInfo(BCE_WORKSTATION_HANDLE, BCE_NET_IPX, 2, nullptr, &length, noteAvailable);
  availablePorts = nullptr;
  return "ok " + std::to_string(rc) + listed;
});

// ipxnick <node hex> <class> <kind> <nickname> -> "ok <result>": CORIPX32 item 3
WF_CHILD_COMMAND("ipxnick", [](const ChildArgs& a) {
  std::uint8_t e[169] = {};
  for (std::size_t i = 0; i < 6; ++i)
    e[i] = static_cast<std::uint8_t>(std::stoul(a.at(0).substr(2 * i, 2), nullptr, 16));
  e[6] = static_cast<std::uint8_t>(num(a.at(1)));
  const auto kind = static_cast<std::uint16_t>(num(a.at(2)));
  std::memcpy(e + 7, &kind, 2);
  std::snprintf(reinterpret_cast<char*>(e + 89), 80, "%s", a.at(3).c_str());
  return "ok " + std::to_string(BceSetNetInfo(BCE_WORKSTATION_HANDLE, BCE_NET_IPX, 3, e, sizeof e));
});

// name <handle> <bit> -> "ok <result> <name>": the printer's name on that network
WF_CHILD_COMMAND("name", [](const ChildArgs& a) {
  char name[BCE_NAME_LENGTH + 1] = {}, second[BCE_NAME_LENGTH + 1] = {};
  const std::int32_t rc = BceGetPrinterName(num(a.at(0)), num(a.at(1)), name, second);
  return "ok " + std::to_string(rc) + " " + name + " " + second;
});

// servers <handle> -> "ok <result> <count>...": item 4, the Count of each block handed back
thread_local std::vector<std::uint16_t>* serverCounts = nullptr;
int32_t countServers(const void* item, uint16_t length) {
  std::uint16_t count = 0;
  if (serverCounts && length >= 2) std::memcpy(&count, item, 2), serverCounts->push_back(count);
  return 1;
}
WF_CHILD_COMMAND("servers", [](const ChildArgs& a) {
  std::vector<std::uint16_t> counts;
  serverCounts = &counts;
  std::uint16_t length = 0;
  const std::int32_t rc = BceGetNetInfo(num(a.at(0)), BCE_NET_NETWARE, 4, nullptr, &length, &countServers);
  serverCounts = nullptr;
  std::string out = "ok " + std::to_string(rc);
  for (const std::uint16_t c : counts) out += " " + std::to_string(c);
  return out;
});

// peer-entry <item> <kind> <name> -> "ok <result>": a peer list entry added (2) or removed (3)
WF_CHILD_COMMAND("peer-entry", [](const ChildArgs& a) {
  std::uint8_t entry[17] = {};
  entry[0] = static_cast<std::uint8_t>(num(a.at(1)));
  std::snprintf(reinterpret_cast<char*>(entry + 1), 16, "%s", a.at(2).c_str());
  const std::int32_t rc = BceSetNetInfo(0xFFFF, BCE_NET_PEER, static_cast<std::uint16_t>(num(a.at(0))), entry,
                                        sizeof entry);
  return "ok " + std::to_string(rc);
});

// peer-list -> "ok <result> <kind>:<name>...": item 1, the listed computers and workgroups
thread_local std::vector<std::string>* peerEntries = nullptr;
int32_t collectPeerEntry(const void* item, uint16_t length) {
  const auto* p = static_cast<const char*>(item);
  if (peerEntries && length == 17) peerEntries->push_back(std::to_string(p[0]) + ":" + std::string(p + 1, strnlen(p + 1, 16)));
  return 1;
}
WF_CHILD_COMMAND("peer-list", [](const ChildArgs&) {
  std::vector<std::string> entries;
  peerEntries = &entries;
  std::uint16_t length = 0;
  const std::int32_t rc = BceGetNetInfo(0xFFFF, BCE_NET_PEER, 1, nullptr, &length, &collectPeerEntry);
  peerEntries = nullptr;
  std::string out = "ok " + std::to_string(rc);
  for (const auto& e : entries) out += " " + e;
  return out;
});

// node <handle> -> "ok <result> <12 hex digits>": the printer's node as the broker holds it
// prtinfo <handle> -> "ok <result> <class> <kind> <connections>" (hex)
WF_CHILD_COMMAND("prtinfo", [](const ChildArgs& a) {
  PRTINFO info{};
  const std::int32_t rc = BceGetPrtInfo(num(a.at(0)), &info, 0);
  char b[64];
  std::snprintf(b, sizeof b, " %x %x %x", info.adapterClass, info.portKind, static_cast<unsigned>(info.connections));
  return "ok " + std::to_string(rc) + b;
});

// ipxaddr <handle> -> "ok <hex>": the IPX part of BceGetPrinterAddr's record (30 bytes from 136)
WF_CHILD_COMMAND("ipxaddr", [](const ChildArgs& a) {
  NETADDRESS address{};
  if (!BceGetPrinterAddr(num(a.at(0)), BCE_NET_IPX, &address)) return std::string("err no address");
  std::string hex;
  char b[3];
  for (std::uint8_t c : address.ipx) std::snprintf(b, sizeof b, "%02X", c), hex += b;
  return "ok " + hex;
});

// specport <bit> <name> -> "ok <result> <handle>...": BceEnumSpecificPort
WF_CHILD_COMMAND("specport", [](const ChildArgs& a) {
  char descriptor[20] = {};
  std::strncpy(descriptor, a.at(1).c_str(), sizeof descriptor - 1);
  {
    std::lock_guard g(againMutex);
    againFound.clear();
  }
  const std::int32_t rc =
      BceEnumSpecificPort(static_cast<std::uint32_t>(appId), num(a.at(0)), descriptor, &collectAgain);
  std::lock_guard g(againMutex);
  std::string out = "ok " + std::to_string(rc);
  for (const std::uint16_t h : againFound) out += " " + std::to_string(h);
  return out;
});

WF_CHILD_COMMAND("node", [](const ChildArgs& a) {
  PRTINFO info{};
  const std::int32_t rc = BceGetPrtInfo(num(a.at(0)), &info, 0);
  char hex[13] = {};
  for (std::size_t i = 0; i < 6; ++i) std::snprintf(hex + 2 * i, 3, "%02X", info.node[i]);
  return "ok " + std::to_string(rc) + " " + hex;
});

// posts <count> <message> -> "ok message:wParam:lParam ..." (hex) of posts of
// that message, each waited for with the bound of eventually(); others are
// passed over.
WF_CHILD_COMMAND("posts", [](const ChildArgs& a) {
  const std::size_t want = num(a.at(0));
  const std::uint32_t message = num(a.at(1));
  std::string out = "ok";
  wf::Message m;
  for (std::size_t got = 0; got < want && nextPost(m);) {
    if (m.message != message) continue;
    ++got;
    char b[64];
    std::snprintf(b, sizeof b, " %u:%x:%x", m.message, static_cast<unsigned>(m.wParam),
                  static_cast<unsigned>(m.lParam));
    out += b;
  }
  return out;
});

// qs <handle> recv|send <file> <step> -> "ok <rc> <steps> <wParam:lParam>..."
// of every progress post until done, or an error that ends the run early.
WF_CHILD_COMMAND("qs", [](const ChildArgs& a) {
  WFPrtObj* obj = object(a.at(0));
  const bool send = a.at(1) == "send";
  auto control = std::make_unique<WFQSThreadControl>(a.at(2), nullptr, 0, obj, send ? 1 : 0, window(),
                                                     num(a.at(3)), WFQSThreadControl::WF_ACTION_RUN);
  WFPrtObj::ULONG steps = 0;
  const auto rc = send ? obj->bidiQuickSetupSend(control.get(), &steps)
                       : obj->bidiQuickSetupReceive(control.get(), &steps);
  std::string out = "ok " + std::to_string(rc) + " " + str(steps);
  if (rc != 0) return out;
  wf::Message m;
  while (nextPost(m)) {
    if (m.message != WM_WF_NOTIFICATION) continue;
    out += " " + str(m.wParam) + ":" + std::to_string(m.lParam);
    if (m.wParam == QS_NOTIFY_DONE || (m.wParam == QS_NOTIFY_ERROR && m.lParam != QS_ERR_VARIABLE)) break;
  }
  return out;
});

// list <handle> <device> -> "ok <rc>|kind,more,result,device;name;id;type;size;description|..."
// The listing's class-2 alerts are fetched and decoded as they are posted,
// up to the one that says no more entries follow.
WF_CHILD_COMMAND("list", [](const ChildArgs& a) {
  WFPrtObj* obj = object(a.at(0));
  const auto rc = obj->bidiDeviceFileListing(static_cast<WFPrtObj::DEVICEID>(num(a.at(1))));
  std::string out = "ok " + std::to_string(rc);
  if (rc != 0) return out;
  wf::Message m;
  while (nextPost(m)) {
    if (m.message != WM_BCE_ALERT_2) continue;
    WFPrtObj::DEVICEMGMTALERTDATA record;
    const auto key = static_cast<WFPrtObj::USHORT>(m.wParam >> 16);
    if (const auto queried = obj->bidiDeviceQueryAlert(key, &record); queried != 0)
      return out + "|query " + std::to_string(queried);
    out += "|" + str(record.kind) + "," + str(record.moreEntries) + "," + str(record.result);
    if (record.entryFlag & 0xFFFF) {
      WFPrtObj::DEVICEDIRECTORYDATA d;
      if (obj->parseDeviceDirectoryData(record.entry, &d) != 0) return out + ",unparsed " + record.entry;
      out +=
          "," + str(d.device) + ";" + d.name + ";" + d.id + ";" + d.type + ";" + d.size + ";" + d.description;
    }
    if (!record.moreEntries) break;
  }
  return out;
});

// Ends the process the ordinary way, so the broker's unload work runs.
WF_CHILD_COMMAND("quit", [](const ChildArgs&) -> std::string {
  objects.clear();
  if (appId >= 0) BceUnregisterApp(static_cast<std::uint32_t>(appId));
  std::cout.flush();
  std::exit(0);
});

}  // namespace
