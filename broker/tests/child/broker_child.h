#pragma once
// Typed client of wf-testchild's broker commands (broker_commands.cpp and
// transport_commands.cpp): a broker process driven from a test.
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "typed_child.h"

namespace wf::testing {

// One export called through the `call` command: its result and what it gave
// back, by name ("len", "reply", "items", ...).
struct ExportCall {
  ExportCall() = default;
  // Not explicit: in a table of cases a bare result is a call that gave nothing back.
  ExportCall(std::int32_t r, NamedValues values = {}) : result(r), out(std::move(values)) {}
  std::int32_t result = 0;
  NamedValues out;
  bool operator==(const ExportCall&) const = default;
};

// BceStartTrace's and BceStopTrace's results.
struct TraceCalls {
  std::int32_t start = 0;
  std::int32_t stop = 0;
  bool operator==(const TraceCalls&) const = default;
};

// Calls of several threads at once: how many came back wrong, how many done.
struct ConcurrentCalls {
  int wrong = 0;
  int done = 0;
  bool operator==(const ConcurrentCalls&) const = default;
};

// A slow enumeration while other threads call.
struct BusyEnumeration {
  std::int32_t result = 0;
  int items = 0;
  bool ordered = false;
  int wrong = 0;
  bool othersCalled = false;
  bool operator==(const BusyEnumeration&) const = default;
};

// A printer as an enumeration's callback saw it.
struct FoundPrinter {
  int handle = 0;
  std::uint32_t connections = 0;
  std::string node;  // 12 hex digits
  bool operator==(const FoundPrinter&) const = default;
};

struct Enumeration {
  std::int32_t result = 0;
  std::vector<FoundPrinter> printers;
  bool operator==(const Enumeration&) const = default;
};

struct Nets {
  std::int32_t result = 0;
  std::uint32_t mask = 0;
  bool operator==(const Nets&) const = default;
};

struct PrinterInfo {
  std::int32_t result = 0;
  int handle = 0;
  std::uint32_t connections = 0;
  std::string node;
  std::string name;
  int packetSize = 0;
  bool operator==(const PrinterInfo&) const = default;
};

struct PrinterNames {
  std::int32_t result = 0;
  std::string name;
  std::string second;
  bool operator==(const PrinterNames&) const = default;
};

struct PrinterAddress {
  std::int32_t result = 0;
  std::string ipx;
  std::string corlink;
  std::string local;
  bool operator==(const PrinterAddress&) const = default;
};

// BceGetNetInfo into a buffer (`data`) or through its item callback (`items`).
struct NetInfo {
  std::int32_t result = 0;
  std::string data;
  std::vector<std::string> items;
  bool operator==(const NetInfo&) const = default;
};

// BceGetVersion or BceGetVersionEx: per file, its version as the helper wrote it.
struct Versions {
  std::int32_t result = 0;
  std::vector<std::pair<std::string, std::string>> files;
  bool operator==(const Versions&) const = default;
};

// A message posted to one of the helper's windows.
struct PostedMessage {
  std::uint32_t message = 0;
  std::uint32_t key = 0;   // wParam
  std::uint32_t mask = 0;  // lParam
  bool operator==(const PostedMessage&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ExportCall& c);
std::ostream& operator<<(std::ostream& out, const TraceCalls& t);
std::ostream& operator<<(std::ostream& out, const ConcurrentCalls& c);
std::ostream& operator<<(std::ostream& out, const BusyEnumeration& e);
std::ostream& operator<<(std::ostream& out, const FoundPrinter& p);
std::ostream& operator<<(std::ostream& out, const Enumeration& e);
std::ostream& operator<<(std::ostream& out, const Nets& n);
std::ostream& operator<<(std::ostream& out, const PrinterInfo& i);
std::ostream& operator<<(std::ostream& out, const PrinterNames& n);
std::ostream& operator<<(std::ostream& out, const PrinterAddress& a);
std::ostream& operator<<(std::ostream& out, const NetInfo& n);
std::ostream& operator<<(std::ostream& out, const Versions& v);
std::ostream& operator<<(std::ostream& out, const PostedMessage& m);

class BrokerChild : public TypedChild {
 public:
  BrokerChild() : TypedChild(ChildProcess::withCommands("broker")) {}

  // ---- The broker itself (broker_commands.cpp)
  bool isPrimary();
  // BceRegisterApp for the helper's window, or for `window`: the id or an error.
  std::int32_t registerApp();
  std::int32_t registerApp(std::uint32_t window);
  // BceUnregisterApp for the helper's own id, or for `id`.
  void unregisterApp();
  void unregisterApp(std::uint32_t id);
  // The window registered in slot `id` (0 when free).
  std::uint32_t slot(unsigned id);
  // Workers in this (primary) process that answer from their arguments.
  void useEchoWorkers();
  void pacing(bool on);
  int dispatchers();
  int outstanding();
  TraceCalls traceTo(const std::string& file);
  int heldReplies();
  ExportCall call(const std::string& what, int realMs = 30000);
  // Requests without a reply as the echo workers saw them, in order.
  std::vector<std::string> primaryLog();
  void captureTrace();
  int traceCount(const std::string& prefix);
  ConcurrentCalls concurrent(int threads, int calls);
  BusyEnumeration enumerateBusy(int printers, int callers);
  // Ends the process the ordinary way; it answers nothing.
  void quit();

  // ---- The printer list and the transports (transport_commands.cpp)
  // A command to the mock transport `file` that answers nothing else.
  void mock(const std::string& file, const std::string& command);
  std::string mockLog(const std::string& file);
  bool mockLoaded(const std::string& file);
  // Raises a transport event; the number of callbacks that got it.
  int mockEvent(const std::string& file, const std::string& event);
  // BceEnumPrinters with `mask`; the callback says stop once `stopAfter` arrived.
  Enumeration enumerate(std::uint32_t mask, int stopAfter = -1);
  // BceEnumSpecific for `node` in the address part `part` (ipx, corlink, ip, netware).
  Enumeration enumerateSpecific(const std::string& part, const std::string& node);
  Nets nets();
  PrinterInfo printerInfo(std::uint32_t handle);
  PrinterNames printerNames(std::uint32_t handle, std::uint32_t mask);
  PrinterAddress printerAddress(std::uint32_t handle, std::uint32_t mask);
  NetInfo netInfo(std::uint32_t handle, std::uint32_t mask, std::uint32_t code);
  NetInfo netInfoItems(std::uint32_t handle, std::uint32_t mask, std::uint32_t code);
  std::int32_t setNetInfo(std::uint32_t handle, std::uint32_t mask, std::uint32_t code,
                          const std::string& data);
  Versions version();
  Versions versionEx();
  void reportLocalPort(const std::string& port);
  // Messages posted to this thread's windows since the last time.
  std::vector<PostedMessage> messages();
  std::uint32_t loadTransports();
  int stopFlag();
  int shutdownCalls();
  // Enumerations from `threads` threads, `rounds` each; how many finished.
  int enumerationStorm(int threads, int rounds);
};

}  // namespace wf::testing
