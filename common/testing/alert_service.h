#pragma once
// The main program's alert service as the icons meet it: a hidden window on
// a thread of its own that turns each broker alert message into a CWFAlert
// for the printer's icon, refreshes the printer's rows, and deletes the
// printer when a removal leaves it no connection.
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/app_services.h"

namespace wf::testing {

class AlertServiceDouble : public WFAlertManagerServices {
 public:
  // `registerApp` (BceRegisterApp end to end) is called with the window.
  explicit AlertServiceDouble(std::function<short(HWND)> registerApp = {});
  ~AlertServiceDouble() override;
  AlertServiceDouble(const AlertServiceDouble&) = delete;
  AlertServiceDouble& operator=(const AlertServiceDouble&) = delete;

  HWND GetNotificationWindow() override { return window_; }
  short appId() const { return appId_; }
  // "message result" for every alert message handled, in order.
  std::vector<std::string> results() const;
  // How many alert messages were handled so far.
  std::size_t handled() const;

 private:
  void handle(UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_ = 0;
  short appId_ = 0;
  mutable std::mutex m_;
  std::vector<std::string> results_;
  std::jthread thread_;
};

}  // namespace wf::testing
