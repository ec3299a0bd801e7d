#pragma once
// The test side of the prtobj helper's commands: each returns what the
// helper's request object answered, parsed into the fields it decoded.
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "child_process.h"

namespace prtobje2e {

struct DeviceChars {
  long rc = 0;
  std::string model, revision, serial;
  unsigned long memoryKb = 0, speed = 0, duplex = 0;
  bool operator==(const DeviceChars&) const = default;
};

struct Bin {
  std::string name;
  unsigned long number = 0, capacity = 0;
  bool operator==(const Bin&) const = default;
};
struct Bins {
  long rc = 0;
  std::vector<Bin> bins;
  bool operator==(const Bins&) const = default;
};

struct Storage {
  long rc = 0;
  unsigned long flashSize = 0, flashFree = 0, diskSize = 0, diskFree = 0, fontCartridge = 0;
  std::string cartridgeName, cartridgeDetail;
  bool operator==(const Storage&) const = default;
};

// The revision, then ENG, ENGB, ENGF, INA, INA1, INA2, PNL, DPX, CONT, FLKER.
struct CodeLevels {
  long rc = 0;
  std::vector<std::string> levels;
  bool operator==(const CodeLevels&) const = default;
};

struct PrinterType {
  long rc = 0;
  long type = 0;
  unsigned long code = 0;
  bool operator==(const PrinterType&) const = default;
};

struct Family {
  long rc = 0;
  unsigned long family = 0;
  bool operator==(const Family&) const = default;
};

struct PageCounts {
  long rc = 0;
  std::array<unsigned long, 4> counters{};
  bool operator==(const PageCounts&) const = default;
};

struct Alert {
  unsigned long id = 0, detail = 0;
  bool operator==(const Alert&) const = default;
};
struct Alerts {
  long rc = 0;
  std::vector<Alert> alerts;
  bool operator==(const Alerts&) const = default;
};

struct Post {
  std::uint32_t message = 0, wParam = 0, lParam = 0;
};

struct Progress {
  unsigned long wParam = 0;
  long lParam = 0;
  bool operator==(const Progress&) const = default;
};
// A Quick Setup run: the call's result and step count, then every progress post.
struct QuickSetup {
  long rc = 0;
  unsigned long steps = 0;
  std::vector<Progress> posts;
  bool operator==(const QuickSetup&) const = default;
};

// One decoded class-2 alert of a listing; `entry` is "device;name;id;type;size;description" or empty.
struct ListedEntry {
  unsigned long kind = 0, more = 0, result = 0;
  std::string entry;
  bool operator==(const ListedEntry&) const = default;
};
struct Listing {
  long rc = 0;
  std::vector<ListedEntry> entries;
  bool operator==(const Listing&) const = default;
};

std::vector<std::string> split(const std::string& text, char separator);

class PrtObjApp {
 public:
  PrtObjApp() : child_(wf::testing::ChildProcess::withCommands("prtobj")) {}

  long registerApp();
  // BceGetNets: its result and the network mask.
  std::pair<long, std::uint32_t> nets();
  // Printers of the networks in `mask` (default: the local ones) as (port name, handle).
  std::pair<long, std::vector<std::pair<std::string, std::uint16_t>>> enumerate(std::uint32_t mask = 0);
  // A request object of `type` for the printer; false when the factory made none.
  bool object(std::uint16_t handle, std::uint32_t type);
  bool bidiActive(std::uint16_t handle);
  long capture(std::uint16_t handle, std::uint32_t mask);
  // BceWrite of `count` bytes (byte i is i % 251) through the networks of `mask`.
  long write(std::uint16_t handle, std::uint32_t mask, std::size_t count, bool raw = false);
  long startDoc(std::uint16_t handle, std::uint32_t mask);
  long endDoc(std::uint16_t handle, std::uint32_t mask);
  // BceGetPrinterAddr, then BceEnumSpecific with that address: the networks it found there and the handles.
  std::pair<long, std::vector<std::uint16_t>> findAgain(std::uint16_t handle, std::uint32_t mask);

  DeviceChars chars(std::uint16_t handle);
  Bins inputs(std::uint16_t handle);
  Bins outputs(std::uint16_t handle);
  Storage storage(std::uint16_t handle);
  CodeLevels levels(std::uint16_t handle);
  PrinterType type(std::uint16_t handle);
  Family family(std::uint16_t handle);
  PageCounts pages(std::uint16_t handle);
  Alerts jams(std::uint16_t handle);
  // Up to `count` posts of `message` within the helper's wait.
  std::vector<Post> posts(std::size_t count, std::uint32_t message);
  // Item 129 set with a new address (12 hex digits) through the broker: its result.
  long moveAdapter(std::uint16_t handle, const std::string& node);
  // Item 1 set with a new login name through the broker: its result.
  long renameAdapter(std::uint16_t handle, const std::string& loginName);
  // The printer's name on the NetWare network (bit 1), as the broker holds it.
  std::string netWareName(std::uint16_t handle);
  // Item 4 through the broker: its result and the Count of each block.
  std::pair<long, std::vector<unsigned>> knownServers(std::uint16_t handle);
  // Item 2 (add) or 3 (remove) of the peer lists, through the broker: its result.
  long peerEntry(unsigned item, unsigned kind, const std::string& name);
  // Item 1 of the peer transport: its result and "<kind>:<name>" of each entry.
  std::pair<long, std::vector<std::string>> peerList();
  // The printer's name on the network of `bit`, as the broker holds it.
  std::string nameOn(std::uint16_t handle, std::uint32_t bit);
  // The node the broker holds for the printer, as 12 hex digits.
  std::string node(std::uint16_t handle);
  // BceGetPrtInfo: the printer's adapter class, port kind and connections.
  struct Info {
    long rc = 0;
    unsigned adapterClass = 0, portKind = 0;
    unsigned long connections = 0;
  };
  Info info(std::uint16_t handle);
  // BceGetPrinterName on network `bit`: the name and the second name.
  std::pair<std::string, std::string> names(std::uint16_t handle, std::uint32_t bit);
  // The IPX part of BceGetPrinterAddr's record, as hex (30 bytes from offset 136).
  std::string ipxAddress(std::uint16_t handle);
  // BceEnumSpecificPort: its result and the handles reported.
  std::pair<long, std::vector<std::uint16_t>> enumSpecificPort(std::uint32_t bit, const std::string& name);
  QuickSetup quickSetup(std::uint16_t handle, bool send, const std::string& file, unsigned step);
  Listing list(std::uint16_t handle, unsigned device);

  // CORIPX32's items through the broker: the answer's fields (result first).
  // ipxname <handle> <name>, ipxget <handle> <item>, ipxcheck <node hex>,
  // ipxports, ipxnick <node hex> <class> <kind> <nickname>.
  std::vector<std::string> ipxItem(const std::string& command) { return ask(command).fields; }

  // Ends the helper the ordinary way; its exit status (raw).
  int quit();

 private:
  wf::testing::ChildAnswer ask(const std::string& command);
  std::vector<std::string> barFields(const std::string& command, long* rc);
  wf::testing::ChildProcess child_;
};

}  // namespace prtobje2e
