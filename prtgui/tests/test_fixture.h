#pragma once
// The application around the printer modules' tests: the fake main program
// with its printer list, family registry (the generic family and FamilyIcon
// for keys 5 and 6) and a scripted printer manager, over the fake broker.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/alert_storage.h"
#include "common/printer_dll.h"
#include "common/printer_list.h"
#include "common/thread_mgr.h"
#include "framework/resources.h"
#include "platform/clock.h"
#include "platform/message_queue.h"
#include "platform/module.h"
#include "prtgui/generic_family.h"
#include "scripted.h"

namespace wf::testing {

class PrinterFixture : public ::testing::Test {
 protected:
  static constexpr DWORD kFamilyIds[] = {5, 6};

  void SetUp() override {
    fakebce::reset();
    // The main program's strings come first in the chain. WFGUIDLL joined
    // when WFPRTGUI was loaded, so it goes behind them, as in the program:
    // the two share some string numbers.
    guiResources_ = wf::loadModule("WFGUIDLL.DLL");
    wf::fw::leaveResourceChain(guiResources_);
    resources_ = wf::loadModule("WFRESDLL.DLL");
    wf::fw::joinResourceChain(resources_);
    wf::fw::joinResourceChain(guiResources_);
    app_.printerDLLManager = &families_;
    app_.printerList = &list_;
    app_.prtMgr = &manager_;
    InitBaseGuiDLL(nullptr, &RegisterDLL);
    families_.RegisterDLL(nullptr, "Family", 0, &FamilyIcon::create, kFamilyIds, 2, nullptr);
  }
  void TearDown() override {
    // Work left queued would leak its request; its waits run quickly here.
    wf::setTimeScaleForTest(0.001);
    runQueuedWork();
    wf::setTimeScaleForTest(1.0);
    list_.DeleteAllPrinters();
    wf::fw::leaveResourceChain(resources_);
    wf::freeModule(resources_);
    wf::freeModule(guiResources_);
  }

  // A printer the application and the manager know by its handle.
  ScriptedPrtObj* add(std::unique_ptr<ScriptedPrtObj> object) {
    ScriptedPrtObj* raw = object.get();
    app_.printers[raw->getBCEHandle()] = raw;
    manager_.objects[raw->getBCEHandle()] = raw;
    objects_.push_back(std::move(object));
    return raw;
  }
  ScriptedPrtObj* addLocal(std::uint16_t handle, const char* port, ULONG family = 0,
                           const char* model = "Quorra 1210") {
    return add(localPrinter(handle, port, family, model));
  }
  // Forgets the handle, as a printer gone from the broker.
  void forget(std::uint16_t handle) {
    app_.printers.erase(handle);
    manager_.objects.erase(handle);
  }
  // Runs the queued work items here, in order, then the posted messages;
  // returns the items' labels.
  std::vector<std::string> runQueuedWork() {
    std::vector<std::string> labels;
    while (!app_.ThreadMgrQIsEmpty()) {
      std::unique_ptr<CWFThread> item(app_.ThreadMgrQRemoveHead());
      labels.push_back(item->GetString().str());
      item->m_pfnProc(item->m_pParam);
    }
    wf::Message m;
    while (wf::peekMessage(m, wf::PeekMode::Remove)) wf::dispatchMessage(m);
    return labels;
  }
  // The specific alert of every message the icon stores, newest first.
  static std::vector<UINT> storedIds(CWFPrinterIcon* icon) {
    std::vector<UINT> out;
    CWFAlertMsgList& messages = icon->GetAlertStorage().GetMessages();
    for (POSITION p = messages.GetHeadPosition(); p;)
      out.push_back(static_cast<CWFAlertMsg*>(messages.GetNext(p))->GetAlert()->GetSpecificAlert());
    return out;
  }
  // The 32-bit word at `offset` of the record the icon refreshes from.
  static std::uint32_t refreshedWord(CWFPrinterIcon* icon, std::size_t offset) {
    std::unique_ptr<BYTE[]> data(static_cast<BYTE*>(icon->CreateRefreshData()));
    std::uint32_t word = 0;
    std::memcpy(&word, data.get() + offset, sizeof word);
    return word;
  }
  std::vector<CWFPrinterIcon*> icons() {
    std::vector<CWFPrinterIcon*> out;
    for (POSITION p = list_.GetHeadPosition(); p;)
      out.push_back(static_cast<CWFPrinterIcon*>(list_.GetNext(p)));
    return out;
  }
  // A bidi printer of family `key` on `port` whose icon the class Probe
  // makes (registered for `keys`), the broker reporting `connections`.
  template <class Probe, std::size_t N>
  Probe* addFamilyPrinter(std::uint16_t handle, const char* port, ULONG key, const char* model,
                          const DWORD (&keys)[N], std::uint32_t connections, void* record) {
    families_.RegisterDLL(nullptr, "Probe", 0, &Probe::create, keys, static_cast<int>(N), nullptr);
    ScriptedPrtObj* printer = addLocal(handle, port, key, model);
    fakebce::setPrtInfoFor(handle, prtInfo(handle, port, connections, static_cast<std::uint8_t>(handle)));
    list_.NewPrinterIcon(printer, record);
    return dynamic_cast<Probe*>(icons().back());
  }
  // String `id` of a family's resource library.
  static CString familyString(HINSTANCE library, UINT id) {
    wf::fw::ResourceHandleSwitch resources(library);
    CString text;
    text.LoadString(id);
    return text;
  }

  std::vector<std::unique_ptr<ScriptedPrtObj>> objects_;  // outlive everything below
  HINSTANCE resources_ = nullptr;
  HINSTANCE guiResources_ = nullptr;
  FakeWFApp app_;
  CWFPrinterDLLManager families_;
  CWFPrinterList list_;
  ScriptedPrtMgr manager_;
};

}  // namespace wf::testing
