#include "alert_service.h"

#include <future>

#include "common/alert_delivery.h"
#include "platform/window_messages.h"

namespace wf::testing {

AlertServiceDouble::AlertServiceDouble(std::function<short(HWND)> registerApp) {
  std::promise<HWND> ready;
  auto created = ready.get_future();
  thread_ = std::jthread([this, &ready](std::stop_token stop) {
    const HWND window = wf::createWindow("WFAlertService", [this](HWND, std::uint32_t m, WPARAM w, LPARAM l) {
      if (WFIsAlertMessage(m)) handle(m, w, l);
      return LRESULT{0};
    });
    ready.set_value(window);
    wf::Message message;
    while (wf::getMessage(message, stop)) wf::dispatchMessage(message);
    if (window) wf::destroyWindow(window);
  });
  window_ = created.get();
  if (registerApp && window_) appId_ = registerApp(window_);
}

AlertServiceDouble::~AlertServiceDouble() {
  thread_.request_stop();
  thread_.join();
}

std::size_t AlertServiceDouble::handled() const {
  std::lock_guard lock(m_);
  return results_.size();
}

std::vector<std::string> AlertServiceDouble::results() const {
  std::lock_guard lock(m_);
  return results_;
}

void AlertServiceDouble::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  WFAppServices* app = WFGetApp();
  const UINT result = WFHandleAlertMessage(app, message, wParam, lParam,
                                           [app](CWFAlert* alert) { return WFDeliverAlert(app, alert); });
  std::lock_guard lock(m_);
  results_.push_back(std::to_string(message) + " " + std::to_string(result));
}

}  // namespace wf::testing
