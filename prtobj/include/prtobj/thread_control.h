#pragma once
// The control a Quick Setup dialog shares with its transfer thread, and the
// counting lock it is built on.
#include <cstdint>
#include <string>

#include "platform/sync.h"
#include "prtobj/wfprtobj.h"

// Progress of a Quick Setup transfer, posted to the control's window.
constexpr std::uint32_t WM_WF_NOTIFICATION = 2024;
constexpr std::uintptr_t QS_NOTIFY_STEP = 9;
constexpr std::uintptr_t QS_NOTIFY_DONE = 10;
constexpr std::uintptr_t QS_NOTIFY_ERROR = 0x8001;

// Reasons carried by QS_NOTIFY_ERROR.
constexpr std::intptr_t QS_ERR_READ = 16;
constexpr std::intptr_t QS_ERR_WRITE = 17;
constexpr std::intptr_t QS_ERR_OPEN = 18;
constexpr std::intptr_t QS_ERR_HEADER = 20;
constexpr std::intptr_t QS_ERR_VARIABLE = 33;

// A counting lock over one unnamed semaphore of n counts.
class WFThreadControl {
 public:
  explicit WFThreadControl(std::uint32_t count = 1);
  WFThreadControl(const WFThreadControl&) = delete;
  WFThreadControl& operator=(const WFThreadControl&) = delete;
  virtual ~WFThreadControl();
  virtual void lock(std::uint32_t k);
  virtual void unlock(std::uint32_t k);

 private:
  wf::SyncHandle semaphore_ = wf::kNoSyncHandle;
  std::uint32_t count_ = 0;
};

class WFQSThreadControl : public WFThreadControl {
 public:
  enum WFThreadAction : std::uint32_t { WF_ACTION_NONE = 0, WF_ACTION_RUN = 1, WF_ACTION_STOP = 2 };

  // `step` is kept only when a window is given: without one nothing is posted.
  WFQSThreadControl(std::string file, const WFPrtObj::OMVARIABLE* vars, std::uint32_t count, WFPrtObj* obj,
                    WFPrtObj::BOOL send, WFPrtObj::HWND window, std::uint32_t step, WFThreadAction action);

  WFThreadAction getWFThreadAction();
  void setWFThreadAction(WFThreadAction action);

 private:
  friend class WFPrtObj;
  friend struct QuickSetupJob;

  WFPrtObj::BOOL send_;
  std::string file_;
  const WFPrtObj::OMVARIABLE* vars_;
  std::uint32_t varCount_;
  WFPrtObj* obj_;
  WFThreadAction action_;
  WFPrtObj::HWND window_;
  std::uint32_t step_;
};
