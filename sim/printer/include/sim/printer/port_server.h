#pragma once
// Serves one PrinterModel at the endpoint of a local port (LPT1..LPT9), as the
// printer end of platform/port_wire.h: one host at a time, others get Busy.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/port_wire.h"
#include "sim/printer/printer.h"

namespace wf::sim {

class PortServer {
 public:
  // Listens at the endpoint of LPT`port`. Empty with *error when the port
  // number is not 1..9, another printer serves it, or the socket fails.
  static std::unique_ptr<PortServer> start(int port, std::shared_ptr<PrinterModel> printer,
                                           std::string* error = nullptr);
  ~PortServer();  // stops serving and removes the endpoint
  PortServer(const PortServer&) = delete;
  PortServer& operator=(const PortServer&) = delete;

  int port() const;
  PrinterModel& printer();
  bool hostConnected() const;

  // Alerts and other unsolicited bytes; false when no host has the port open
  // or the host has not enabled the alert's class.
  bool raiseDeviceStatus(std::uint32_t mask);
  bool raiseClassAlert(std::string_view data);
  bool raisePanelAlert();
  bool sendRaw(std::string_view bytes);

  // Host writes fail with this class until it is set back to None. A host
  // that opens the port meanwhile learns it together with Welcome.
  void setWriteError(portwire::WriteErrorClass error);
  // Another client holds the port: every host that opens it is told Busy.
  void setHeld(bool held);

  enum class DeviceIdAnswer { Id, Failure, Nothing };
  // How device-ID requests are answered: the ID, DeviceIdFailed, or not at all.
  void setDeviceIdAnswer(DeviceIdAnswer answer);
  // Drops the host's connection as a printer switched off would.
  void disconnect();

 private:
  struct State;
  explicit PortServer(std::shared_ptr<State> state);
  bool sendAlert(const std::function<std::optional<std::string>(PrinterModel&)>& make);
  std::shared_ptr<State> state_;
};

}  // namespace wf::sim
