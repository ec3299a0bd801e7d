#include "alert_service.h"

#include <future>

#include "common/alerts.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "platform/window_messages.h"
#include "wfprtmgr/wfprtmgr.h"

namespace wf::testing {

namespace {

bool isAlertMessage(UINT message) {
  return message == 100 || message == 101 || message == 102 || message == 200 ||
         (message >= 1524 && message <= 1529) || message == 1531 || message == 1532;
}

}  // namespace

AlertServiceDouble::AlertServiceDouble(std::function<short(HWND)> registerApp) {
  std::promise<HWND> ready;
  auto created = ready.get_future();
  thread_ = std::jthread([this, &ready](std::stop_token stop) {
    const HWND window = wf::createWindow("WFAlertService", [this](HWND, std::uint32_t m, WPARAM w, LPARAM l) {
      if (isAlertMessage(m)) handle(m, w, l);
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
  const auto printer = static_cast<USHORT>(wParam & 0xFFFF);
  CWFAlert alert(printer, nullptr, static_cast<UINT>((wParam >> 16) & 0xFFFF), message,
                 CWFAlert::NOT_PROCESSED, static_cast<long>(lParam), 0, FALSE, FALSE, FALSE, FALSE);
  WFAppServices* app = WFGetApp();
  CWFPrinterList* list = app ? app->GetPrinterList() : nullptr;
  CWFPrinterIcon* icon = list ? list->FindPrinterIcon(printer) : nullptr;
  UINT result = 0;
  if (icon) {
    result = icon->ProcessAlert(&alert);
    if ((result & 0x3) && app->GetWindowList()) app->GetWindowList()->UpdatePrinterViews(printer, nullptr);
    icon->ThreadUnlock();
    if (message == 102 && result == 0x10) {
      if (WFPrtMgr* manager = app->GetPrtMgr()) manager->removePrinter(printer);
      list->DeletePrinterIcon(icon);
    }
  }
  std::lock_guard lock(m_);
  results_.push_back(std::to_string(message) + " " + std::to_string(result));
}

}  // namespace wf::testing
