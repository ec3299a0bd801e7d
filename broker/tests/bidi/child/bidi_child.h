#pragma once
// Typed client of wf-testchild's bidi commands (bidi_commands.cpp and
// world_commands.cpp): the real broker in a helper process.
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "bce_answers.h"
#include "typed_child.h"

namespace wf::testing {

// A printer as the printer list or an enumeration's callback has it.
struct ListedPrinter {
  int handle = 0;
  int flags = 0;
  bool operator==(const ListedPrinter&) const = default;
};
using PrinterListing = std::vector<ListedPrinter>;

// BceEnumSpecific for a local port: the networks it found the printer on
// and the printers it delivered.
struct SpecificListing {
  std::uint32_t found = 0;
  PrinterListing printers;
  bool operator==(const SpecificListing&) const = default;
};

struct PrinterState {
  std::int32_t result = 0;
  int flags = 0;
  int packetSize = 0;
  bool operator==(const PrinterState&) const = default;
};

// The port monitor stand-in: how often it holds the port, how often it asked the broker.
struct MonitorState {
  int holds = 0;
  int asks = 0;
};

// The broker's side of a local port.
struct PortState {
  bool open = false;
  bool held = false;
  bool operator==(const PortState&) const = default;
};

using Posted = PostedAlert;

std::ostream& operator<<(std::ostream& out, const ListedPrinter& p);
std::ostream& operator<<(std::ostream& out, const SpecificListing& s);
std::ostream& operator<<(std::ostream& out, const PrinterState& s);
std::ostream& operator<<(std::ostream& out, const PortState& s);

class BidiChild : public TypedChild {
 public:
  BidiChild() : TypedChild(ChildProcess::withCommands("bidi")) {}

  bool isPrimary();
  std::int32_t registerApp();
  void unregisterApp();
  // The local scan as an enumeration runs it, then the whole printer list.
  PrinterListing scan();
  // BceSendBidi with a reply buffer of `room` bytes (none when absent) and the
  // request bytes `requestHex`, sent as `requestLength` bytes when given.
  BufferReply bidi(std::uint32_t handle, std::uint32_t code, std::optional<std::uint32_t> room,
                   const std::string& requestHex = "", std::optional<std::uint32_t> requestLength = {});
  BufferReply netBidi(std::uint32_t mask, std::uint32_t handle, std::uint32_t code,
                      std::optional<std::uint32_t> room, const std::string& requestHex = "");
  // BceWrite of `bytes` bytes "abc...".
  Written write(std::uint32_t handle, std::uint32_t bytes, bool raw);
  Written netWrite(std::uint32_t mask, std::uint32_t handle, std::uint32_t bytes, bool raw);
  std::int32_t open(std::uint32_t handle);
  std::int32_t close(std::uint32_t handle);
  std::int32_t startDoc(std::uint32_t handle);
  std::int32_t capture(std::uint32_t handle, std::uint32_t mask, std::uint32_t flag);
  std::int32_t release(std::uint32_t handle, std::uint32_t flag);
  BufferReply query(std::uint32_t key, std::optional<std::uint32_t> room, std::uint32_t flag);
  // What the alert window has been posted since the last asking.
  std::vector<Posted> posts();

  PrinterListing enumerate(std::uint32_t mask);
  SpecificListing enumerateLocal(const std::string& port);
  PrinterState printerInfo(std::uint32_t handle, std::uint32_t refresh = 0);
  // BceStartTrace with `file`, or with no name (the default file).
  std::int32_t traceStart(std::optional<std::string> file);
  std::int32_t traceStop();

  // A command to the mock transport `file` that answers nothing else.
  void net(const std::string& file, const std::string& command);
  std::string netWrites(const std::string& file);
  std::string netCalls(const std::string& file);
  // Data into the transport's callback of `port`: how many callbacks took it.
  int netInject(const std::string& file, int port, const std::string& hexData);

  // The port monitor stand-in in this process: start, give, refuse, delay <ms>.
  void monitor(const std::string& command);
  std::int32_t monitorTake(const std::string& port, const std::string& printer);
  MonitorState monitorState(const std::string& port);
  PortState portState(int lpt);
};

}  // namespace wf::testing
