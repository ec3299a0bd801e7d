#pragma once
// What the transport benchmarks share as the broker's primary: the window it
// registers, the printers it finds, and alerts timed into that window.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "broker/corbce.h"
#include "call_timing.h"
#include "platform/message_queue.h"
#include "platform/window_messages.h"

namespace wf::bench {

inline LResult ignoreMessages(Hwnd, std::uint32_t, WParam, LParam) {
  return LResult{0};
}

// This process registered as the broker's primary for its lifetime.
class BrokerPrimary {
 public:
  explicit BrokerPrimary(const char* windowClass) : window_(createWindow(windowClass, ignoreMessages)) {
    registered_ = BceRegisterApp(window_) == 0;
    if (!registered_) std::fprintf(stderr, "this process did not become the broker's primary\n");
  }
  ~BrokerPrimary() {
    if (registered_) BceUnregisterApp(0);
    destroyWindow(window_);
  }
  BrokerPrimary(const BrokerPrimary&) = delete;
  BrokerPrimary& operator=(const BrokerPrimary&) = delete;
  bool registered() const { return registered_; }

 private:
  Hwnd window_;
  bool registered_ = false;
};

// The handles a forced enumeration of `nets` gives.
inline std::vector<std::uint16_t> enumeratePrinters(std::uint32_t nets) {
  static std::vector<std::uint16_t> found;  // the callback takes no context
  found.clear();
  BceEnumPrinters(0, nets | BCE_NET_FORCE, [](const PRTINFO* info) -> std::uint16_t {
    if (info) found.push_back(info->handle);
    return 1;
  });
  return found;
}

// The first of `printers` named `name` on `net` for which `also` holds.
inline std::optional<std::uint16_t> findPrinter(const std::vector<std::uint16_t>& printers, std::uint32_t net,
                                                std::string_view name,
                                                const std::function<bool(std::uint16_t)>& also = {}) {
  for (std::uint16_t h : printers) {
    char first[BCE_NAME_LENGTH] = {}, second[BCE_NAME_LENGTH] = {};
    if (BceGetPrinterName(h, net, first, second) == BCE_OK && name == first && (!also || also(h))) return h;
  }
  return std::nullopt;
}

// Times n requests `code` to the open printer `handle` through BceSendBidi;
// a reply shorter than `atLeast` bytes counts as a failure.
inline std::optional<Figures> timedRequests(const char* what, int n, std::uint16_t handle, std::uint32_t code,
                                            std::uint32_t atLeast) {
  return timed(what, n, [&] {
    char reply[512];
    std::uint32_t length = sizeof reply;
    return BceSendBidi(0, handle, 0, code, reply, &length, nullptr, 0) == BCE_OK && length >= atLeast;
  });
}

// Times n device-status alerts, each raised by `raise(i)` and taken from a
// window of `windowClass` that captures them; empty when one failed.
inline std::optional<Figures> timedAlerts(const char* what, int n, std::uint16_t handle, const char* windowClass,
                                          const std::function<bool(int)>& raise) {
  const Hwnd window = createWindow(windowClass, ignoreMessages);
  const ALERTS deviceStatus{0x4};
  if (BceCaptureAlerts(0, handle, &deviceStatus, window, 0) != BCE_OK) {
    std::fprintf(stderr, "the capture failed\n");
    destroyWindow(window);
    return std::nullopt;
  }
  int i = 0;
  auto figures = timed(what, n, [&] {
    if (!raise(i++)) return false;
    Message m;
    do {
      if (!getMessage(m)) return false;
    } while (m.message != WM_BCE_DSA_ALERT);
    return true;
  });
  BceReleaseAlerts(0, handle, 1);
  destroyWindow(window);
  return figures;
}

}  // namespace wf::bench
