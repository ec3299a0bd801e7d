#pragma once
// SPOOLOAK stand-in: tells the family registry which printer-family modules
// to load. Its one function is exported by ordinal 100 only, so callers bind
// it through the module loader:
//
//   const char* GetPrinterDLLList(int kind);   // ordinal 100; `kind` is ignored
//
// The answer comes from the [spooloak] section of the scenario file
// ($WRENFIELD_SCENARIO, else "scenario" in the data root):
//
//   [spooloak]
//   modules = MRPRTGUI.DLL,TWPRTGUI.DLL     # the text handed back as it is
//   modules =                               # an empty list
//   modules = none                          # no list at all (null)
//
// Without the section, or without a "modules" line in it, the answer is
// "WFPRTGUI.DLL,MRPRTGUI.DLL,TWPRTGUI.DLL,KYPRTGUI.DLL,HCPRTGUI.DLL". An
// unreadable or malformed scenario answers null. The text stays valid until
// the next call or until the library is unloaded.

namespace wf::spooloak {

constexpr const char* kDefaultModules = "WFPRTGUI.DLL,MRPRTGUI.DLL,TWPRTGUI.DLL,KYPRTGUI.DLL,HCPRTGUI.DLL";

}  // namespace wf::spooloak
