#pragma once
// The library's internals in the test process: its resources joined from
// their own resource library, an application object with a help path, the
// shell's scripted services and modal-dialog hooks, the scripted broker
// loaded by name as "CORBCE.DLL", and the request floor's clock replaced by
// a recording one.
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <vector>

#include "broker_binding.h"
#include "factories.h"
#include "fake_broker.h"
#include "framework/scripted_shell.h"
#include "framework/win_app.h"
#include "module.h"
#include "notices.h"
#include "platform/module.h"

namespace wf::netui::testing {

class NetUIFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    app_.m_pszHelpFilePath = "/opt/wrenfield/WRENFLD.HLP";
    wf::setModuleSearchPath({WF_SCRIPTED_CORBCE_DIR});
    resources_ = wf::loadModule("CORNETUIRES.DLL");
    ASSERT_NE(resources_, nullptr);
    ASSERT_TRUE(attachLibrary(resources_));
    fakebce::reset();
    broker() = BrokerState{};
    moduleState() = ModuleState{};
    factoryMakers().fill(nullptr);
    setRequestClockForTest({[this] { return nextTick(); }, [this](uint32_t ms) { sleeps_.push_back(ms); }});
  }

  void TearDown() override {
    setRequestClockForTest({});
    FreeBceFunctions();
    factoryMakers().fill(nullptr);
    detachLibrary();
    wf::freeModule(resources_);
    wf::setModuleSearchPath({});
  }

  // Each request reads the clock twice: before and after the broker call.
  void scriptRequestTimes(std::initializer_list<uint32_t> spentMs) {
    for (uint32_t spent : spentMs) {
      ticks_.push_back(clock_);
      clock_ += spent;
      ticks_.push_back(clock_);
    }
  }

  CWinApp app_{"netui_tests"};
  wf::fw::ScriptedShell shell_;
  wf::fw::ScriptedDialogs dialogs_;
  std::vector<uint32_t> sleeps_;

 private:
  uint32_t nextTick() {
    if (ticks_.empty()) return clock_ += 600;  // unscripted requests need no floor
    const uint32_t t = ticks_.front();
    ticks_.pop_front();
    return t;
  }

  HINSTANCE resources_ = nullptr;
  std::deque<uint32_t> ticks_;
  uint32_t clock_ = 100000;
};

// Answers a modal box with `button` as a click on it would.
inline wf::fw::DialogAction press(int button) {
  return [button](CDialog& box) { box.SendMessage(WM_COMMAND, MAKELONG(button, BN_CLICKED), 0); };
}

// Presses the buttons in turn, one per run of the box, the last one again.
class Presses {
 public:
  explicit Presses(std::vector<int> buttons) : buttons_(std::move(buttons)) {}
  wf::fw::DialogAction action() {
    return [this](CDialog& box) {
      const int button = buttons_[std::min(next_++, buttons_.size() - 1)];
      box.SendMessage(WM_COMMAND, MAKELONG(button, BN_CLICKED), 0);
    };
  }

 private:
  std::vector<int> buttons_;
  std::size_t next_ = 0;
};

}  // namespace wf::netui::testing
