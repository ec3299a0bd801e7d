#pragma once
// The print spooler as the system uses it: its ports, its printers with their
// port and driver, driver information with the port monitor's name, and
// printer data that the printer's port monitor answers. A stand-in, fed by the
// scenario file and by tests.
//
// Enumerations and information calls keep the original two-call form: a call
// whose buffer is too small fails with kInsufficientBuffer and sets `needed`
// to the bytes the answer takes; a call with that many bytes fills the buffer
// with the records followed by the texts they point to.
//
// Scenario sections:
//   [spooler.ports]      one port name a line ("LPT1:")
//   [spooler.printers]   printer name = port | driver name
//   [spooler.drivers]    driver name = driver path | monitor name
//   [spooler.failures]   ports = no size | error [code];  printers = likewise;
//                        open = printer name (one a line: that printer cannot be opened)
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/scenario.h"

namespace wf::spool {

// Results as the original spooler reported them.
constexpr std::uint32_t kSuccess = 0;
constexpr std::uint32_t kFileNotFound = 2;  // no such printer data value
constexpr std::uint32_t kAccessDenied = 5;
constexpr std::uint32_t kInvalidHandle = 6;
constexpr std::uint32_t kInvalidParameter = 87;  // no buffer, or one not aligned for records
constexpr std::uint32_t kInsufficientBuffer = 122;
constexpr std::uint32_t kInvalidLevel = 124;
constexpr std::uint32_t kMoreData = 234;  // printer data longer than the buffer
constexpr std::uint32_t kRpcServerUnavailable = 1722;
constexpr std::uint32_t kUnknownPrinterDriver = 1797;
constexpr std::uint32_t kInvalidPrinterName = 1801;

// Records by information level; the texts live in the same buffer.
struct PortInfo1 {
  char* name;
};
struct PrinterInfo2 {
  char* printerName;
  char* portName;
  char* driverName;
};
struct PrinterInfo5 {
  char* printerName;
  char* portName;
};
struct DriverInfo2 {
  char* name;
  char* driverPath;
};
struct DriverInfo3 {
  char* name;
  char* driverPath;
  char* monitorName;
};

using PrinterHandle = std::uint32_t;  // 0 is never a handle

enum class Enumeration { Ports, Printers };

// How an enumeration fails. NoSize: every call fails as too small but asks
// for 0 bytes. Error: the size query answers, the call that fills fails.
enum class EnumFailure { None, NoSize, Error };

// What a port monitor answers for one printer data value.
struct MonitorReply {
  std::uint32_t error = kSuccess;
  std::uint32_t type = 0;  // the value's registry type
  std::string data;
};
using MonitorHandler = std::function<MonitorReply(std::string_view printerName, std::string_view portName,
                                                  std::string_view valueName)>;

class Spooler {
 public:
  Spooler();
  ~Spooler();
  Spooler(const Spooler&) = delete;
  Spooler& operator=(const Spooler&) = delete;

  // Replaces ports, printers, drivers and failure modes with the scenario's;
  // nothing changes when it is malformed. Registered monitors stay.
  bool load(const Scenario& scenario, std::string* error = nullptr);
  void clear();
  void addPort(std::string name);
  void addPrinter(std::string name, std::string port, std::string driver);
  void addDriver(std::string name, std::string driverPath, std::string monitorName);
  void setEnumFailure(Enumeration which, EnumFailure mode, std::uint32_t error = kRpcServerUnavailable);
  // openPrinter of this printer answers kAccessDenied; the printer stays listed.
  void setOpenFailure(std::string printerName);
  // Printer data of printers whose driver names this monitor goes to `handler`,
  // called without the spooler's lock. An empty handler unregisters.
  void registerMonitor(std::string monitorName, MonitorHandler handler);

  // Level 1.
  std::uint32_t enumPorts(std::uint32_t level, std::byte* buffer, std::uint32_t size, std::uint32_t& needed,
                          std::uint32_t& returned);
  // Levels 2 and 5.
  std::uint32_t enumPrinters(std::uint32_t level, std::byte* buffer, std::uint32_t size,
                             std::uint32_t& needed, std::uint32_t& returned);
  std::uint32_t openPrinter(std::string_view name, PrinterHandle& handle);
  std::uint32_t closePrinter(PrinterHandle handle);
  // Levels 2 and 3.
  std::uint32_t getPrinterDriver(PrinterHandle handle, std::uint32_t level, std::byte* buffer,
                                 std::uint32_t size, std::uint32_t& needed);
  // The open printer's name, port and driver (what its property sheet shows).
  std::uint32_t getPrinterIdentity(PrinterHandle handle, std::string& name, std::string& port,
                                   std::string& driver);
  std::uint32_t getPrinterData(PrinterHandle handle, std::string_view valueName, std::uint32_t& type,
                               std::byte* data, std::uint32_t size, std::uint32_t& needed);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The process's spooler, loaded from the scenario file on first use (a
// malformed scenario is traced and leaves it empty).
Spooler& spooler();

}  // namespace wf::spool
