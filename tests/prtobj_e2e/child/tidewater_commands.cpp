// The Tidewater printer object's helper commands (wf-testchild tidewater):
// one application of the real broker whose printer manager made the
// objects; each setting is reached by the name of its Get/Set members.
#include <cstdio>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <string>

#include "broker/corbce.h"
#include "child_commands.h"
#include "platform/window_messages.h"
#include "wfpo_tid/wfpo_tid.h"
#include "wfprtmgr/wfprtmgr.h"

using wf::testing::ChildArgs;
using W = WFTidewaterPrtObj;

namespace {

std::int16_t appId = -1;
std::unique_ptr<WFPrtMgr> manager;
std::string found;

WFPrtObj::ULONG collect(WFPrtObj* printer, std::uintptr_t, WFPrtObj::ULONG) {
  if (!printer) return 1;
  WFPrtObj::ULONG family = 0;
  printer->getPrinterType(&family, nullptr);
  found += " " + std::to_string(printer->getBCEHandle()) + ":" + std::to_string(family) + ":" +
           (dynamic_cast<W*>(printer) ? "tidewater" : "plain");
  return 1;
}

W* tidewater(const std::string& handle) {
  return manager ? dynamic_cast<W*>(manager->getPrinterObj(static_cast<WFPrtObj::USHORT>(std::stoul(handle))))
                 : nullptr;
}

// A setting: Set from the arguments after the name; Get into text.
struct Setting {
  std::function<long(W*, const ChildArgs&)> set;
  std::function<long(W*, const ChildArgs&, std::string*)> get;
};

template <typename T>
Setting number(WFPrtObj::LONG (W::*get)(T*), WFPrtObj::LONG (W::*set)(T)) {
  return {[set](W* o, const ChildArgs& a) { return (o->*set)(static_cast<T>(std::stol(a.at(2)))); },
          [get](W* o, const ChildArgs&, std::string* out) {
            T v{};
            const long rc = (o->*get)(&v);
            *out = std::to_string(static_cast<long>(v));
            return rc;
          }};
}

Setting real(WFPrtObj::LONG (W::*get)(float*), WFPrtObj::LONG (W::*set)(float)) {
  return {[set](W* o, const ChildArgs& a) { return (o->*set)(std::stof(a.at(2))); },
          [get](W* o, const ChildArgs&, std::string* out) {
            float v = 0;
            const long rc = (o->*get)(&v);
            char text[32];
            std::snprintf(text, sizeof text, "%g", static_cast<double>(v));
            *out = text;
            return rc;
          }};
}

template <typename T>
Setting perSource(WFPrtObj::LONG (W::*get)(W::PAPERSOURCES, T*),
                  WFPrtObj::LONG (W::*set)(W::PAPERSOURCES, T)) {
  auto source = [](const ChildArgs& a) { return static_cast<W::PAPERSOURCES>(std::stol(a.at(2))); };
  return {[set, source](W* o, const ChildArgs& a) {
            return (o->*set)(source(a), static_cast<T>(std::stol(a.at(3))));
          },
          [get, source](W* o, const ChildArgs& a, std::string* out) {
            T v{};
            const long rc = (o->*get)(source(a), &v);
            *out = std::to_string(static_cast<long>(v));
            return rc;
          }};
}

const std::map<std::string, Setting>& settings() {
  static const std::map<std::string, Setting> table = {
      {"PageProtect", number(&W::bidiROPGetPageProtect, &W::bidiROPSetPageProtect)},
      {"AutoContinue", number(&W::bidiROPGetAutoContinue, &W::bidiROPSetAutoContinue)},
      {"HonorInit", number(&W::bidiROPGetHonorInit, &W::bidiROPSetHonorInit)},
      {"LFafterCR", number(&W::bidiROPGetLFafterCR, &W::bidiROPSetLFafterCR)},
      {"CRafterLF", number(&W::bidiROPGetCRafterLF, &W::bidiROPSetCRafterLF)},
      {"NonUSDefaults", number(&W::bidiROPGetNonUSDefaults, &W::bidiROPSetNonUSDefaults)},
      {"PPDSEnable", number(&W::bidiROPGetPPDSEnable, &W::bidiROPSetPPDSEnable)},
      {"TrayLinking", number(&W::bidiROPGetTrayLinking, &W::bidiROPSetTrayLinking)},
      {"EconomyMode", number(&W::bidiROPGetEconomyMode, &W::bidiROPSetEconomyMode)},
      {"PQET", number(&W::bidiROPGetPQET, &W::bidiROPSetPQET)},
      {"TopMargin", number(&W::bidiROPGetTopMargin, &W::bidiROPSetTopMargin)},
      {"LeftMargin", number(&W::bidiROPGetLeftMargin, &W::bidiROPSetLeftMargin)},
      {"JamRecovery", number(&W::bidiROPGetJamRecovery, &W::bidiROPSetJamRecovery)},
      {"PowerSaver", number(&W::bidiROPGetPowerSaver, &W::bidiROPSetPowerSaver)},
      {"PrintTimeout", number(&W::bidiROPGetPrintTimeout, &W::bidiROPSetPrintTimeout)},
      {"NumOfCopies", number(&W::bidiROPGetNumOfCopies, &W::bidiROPSetNumOfCopies)},
      {"FontNumber", number(&W::bidiROPGetFontNumber, &W::bidiROPSetFontNumber)},
      {"LinesPerPage", number(&W::bidiROPGetLinesPerPage, &W::bidiROPSetLinesPerPage)},
      {"Pitch", real(&W::bidiROPGetPitch, &W::bidiROPSetPitch)},
      {"PointSize", real(&W::bidiROPGetPointSize, &W::bidiROPSetPointSize)},
      {"PaperSource", number(&W::bidiROPGetPaperSource, &W::bidiROPSetPaperSource)},
      {"Orientation", number(&W::bidiROPGetOrientation, &W::bidiROPSetOrientation)},
      {"Resolution", number(&W::bidiROPGetResolution, &W::bidiROPSetResolution)},
      {"PrintDarkness", number(&W::bidiROPGetPrintDarkness, &W::bidiROPSetPrintDarkness)},
      {"PaperSize", perSource(&W::bidiROPGetPaperSize, &W::bidiROPSetPaperSize)},
      {"PaperType", perSource(&W::bidiROPGetPaperType, &W::bidiROPSetPaperType)},
      {"SymbolSet",
       {[](W* o, const ChildArgs& a) { return o->bidiROPSetSymbolSet(CString(a.at(2))); },
        [](W* o, const ChildArgs&, std::string* out) {
          CString v("unset");
          const long rc = o->bidiROPGetSymbolSet(&v);
          *out = v.str();
          return rc;
        }}},
  };
  return table;
}

wf::Hwnd window() {
  static wf::Hwnd w = wf::createWindow(
      "WfTidewaterEndToEnd", [](wf::Hwnd, std::uint32_t, wf::WParam, wf::LParam) { return wf::LResult{0}; });
  return w;
}

// start -> "ok <app> <handle:family:tidewater|plain>...": the manager's objects
WF_CHILD_COMMAND("start", [](const ChildArgs&) {
  appId = static_cast<std::int16_t>(BceRegisterApp(window()));
  manager = std::make_unique<WFPrtMgr>(appId);
  found.clear();
  manager->enumAllPrinters(&collect, 0);
  return "ok " + std::to_string(appId) + found;
});

// set <handle> <Name> <value...> -> "ok <result>"
WF_CHILD_COMMAND("set", [](const ChildArgs& a) {
  W* o = tidewater(a.at(0));
  if (!o) return std::string("err no Tidewater object");
  return "ok " + std::to_string(settings().at(a.at(1)).set(o, a));
});

// get <handle> <Name> [source] -> "ok <result> <value>"
WF_CHILD_COMMAND("get", [](const ChildArgs& a) {
  W* o = tidewater(a.at(0));
  if (!o) return std::string("err no Tidewater object");
  std::string value;
  const long rc = settings().at(a.at(1)).get(o, a, &value);
  return "ok " + std::to_string(rc) + " " + value;
});

// do <handle> test|directory|factory -> "ok <result>"
WF_CHILD_COMMAND("do", [](const ChildArgs& a) {
  W* o = tidewater(a.at(0));
  if (!o) return std::string("err no Tidewater object");
  const std::string& what = a.at(1);
  const long rc = what == "test"        ? o->bidiROPPrintTestPage()
                  : what == "directory" ? o->bidiROPPrintDirectory()
                                        : o->bidiROPSetFactoryDefaults();
  return "ok " + std::to_string(rc);
});

// lock <handle> -> "ok <query result> <locked> <set result>"
WF_CHILD_COMMAND("lock", [](const ChildArgs& a) {
  W* o = tidewater(a.at(0));
  if (!o) return std::string("err no Tidewater object");
  int locked = 7;
  const long query = o->bidiROPQueryLock(&locked);
  return "ok " + std::to_string(query) + " " + std::to_string(locked) + " " +
         std::to_string(o->bidiROPSetLock(1));
});

WF_CHILD_COMMAND("active", [](const ChildArgs& a) {
  W* o = tidewater(a.at(0));
  if (!o) return std::string("err no Tidewater object");
  WFPrtObj::BIDICAPABILITIES caps;
  o->getBidiCaps(&caps);
  return "ok " + std::to_string(caps.bidiActive);
});

// Ends the process the ordinary way, so the broker's unload work runs.
WF_CHILD_COMMAND("quit", [](const ChildArgs&) -> std::string {
  manager.reset();
  if (appId >= 0) BceUnregisterApp(static_cast<std::uint32_t>(appId));
  std::cout.flush();
  std::exit(0);
});

}  // namespace
