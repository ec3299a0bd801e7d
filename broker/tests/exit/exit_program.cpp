// A program that uses the broker and then ends without unregistering, in the
// way WF_EXIT_PLAN says: "<lock> <end>", where lock is "none", "main" (the
// main thread calls an export that takes the broker's locks) or "thread"
// (another thread does), and end is "return" (from main), "exit" or "wait"
// (until killed). Built linked against the broker and loading it by name.
// It answers the first line on standard input with its application id.
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "broker/corbce.h"
#include "platform/module.h"
#include "platform/window_messages.h"

namespace {

struct Broker {
  decltype(&BceRegisterApp) registerApp = nullptr;
  decltype(&BceGetNets) getNets = nullptr;
};

Broker broker() {
#ifdef WF_EXIT_LINKED
  return {&BceRegisterApp, &BceGetNets};
#else
  // Never freed: the library must unload at exit like a linked one.
  wf::ModuleHandle module = wf::loadModule("CORBCE.DLL");
  return {wf::moduleEntryAs<decltype(&BceRegisterApp)>(module, "BceRegisterApp"),
          wf::moduleEntryAs<decltype(&BceGetNets)>(module, "BceGetNets")};
#endif
}

}  // namespace

int main() {
  std::istringstream plan(std::getenv("WF_EXIT_PLAN") ? std::getenv("WF_EXIT_PLAN") : "");
  std::string lock, end;
  plan >> lock >> end;
  const Broker bce = broker();
  if (!bce.registerApp || !bce.getNets) return 3;
  std::string line;
  std::getline(std::cin, line);
  const wf::Hwnd window = wf::createWindow(
      "WfExitTest", [](wf::Hwnd, std::uint32_t, wf::WParam, wf::LParam) { return wf::LResult{0}; });
  const int16_t id = bce.registerApp(window);
  std::uint32_t nets = 0;
  if (lock == "main") bce.getNets(&nets);
  if (lock == "thread") std::thread([&] { bce.getNets(&nets); }).join();
  std::cout << "ok " << id << std::endl;
  if (end == "exit") std::exit(0);
  if (end == "wait") std::getline(std::cin, line);
  return 0;
}
