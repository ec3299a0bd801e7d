#pragma once
// Loads one transport library by file name, binds it as the broker does and
// plays the broker's side of the contract: the enumeration, data and event
// callbacks record what the transport hands over, and the information calls
// translate handles as the broker's exports do. Tests wait for packets and
// events with a deadline on the platform clock.
//
// The callbacks are plain functions, so one harness may be live per process.
#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "broker/net_entry_points.h"

namespace wf::transports::testing {

struct DataPacket {
  int transportIndex = -1;  // 0 NetWare, 1 IP, 2 IPX, 3 CorLink, 4 peer
  std::uint16_t portId = 0;
  std::vector<std::uint8_t> bytes;
};

struct TransportEvent {
  std::uint32_t kind = 0;
  std::uint32_t portId = 0;
  std::uint32_t code = 0;
  std::string name;                    // NETEVENT_RENAMED: the new name (80 bytes, terminated)
  std::array<std::uint8_t, 6> node{};  // NETEVENT_ADDRESS_CHANGED: the new node
  bool toAlternate = false;            // reached the alternate callback (see registerEvents)
};

struct WriteOutcome {
  std::int32_t result = 0;
  std::uint16_t status = 0;
  std::uint32_t replyLength = 0;    // as the transport set it
  std::vector<std::uint8_t> reply;  // the bytes it copied (at most the capacity)
};

// The harness's printer handles, as the broker hands them out: 101 upwards.
constexpr std::uint16_t kFirstHandle = 101;

class TransportHarness {
 public:
  // Loads `fileName` through the module loader; null with *error when the
  // library does not load or another harness is live.
  static std::unique_ptr<TransportHarness> load(std::string_view fileName, std::uint32_t networkBit,
                                                std::string* error = nullptr);
  ~TransportHarness();  // unregisters nothing: frees the library
  TransportHarness(const TransportHarness&) = delete;
  TransportHarness& operator=(const TransportHarness&) = delete;

  const NetEntryPoints& entries() const { return entries_; }
  ModuleHandle module() const { return module_; }
  std::uint32_t networkBit() const { return networkBit_; }
  int transportIndex() const;

  // ---- Enumeration ----
  // The next answers of the enumeration callback, in order; 1 once they run out.
  void scriptEnumAnswers(std::vector<std::uint16_t> answers);
  // NetEnumerate, NetEnumSpecific, NetEnumSpecificPort with the harness's
  // callback; 1 when the entry point is missing.
  std::int32_t enumerate();
  std::int32_t enumSpecific(const NETADDRESS& address);
  std::int32_t enumSpecificPort(const void* descriptor);
  std::vector<NETPORTINFO> reports() const;  // every report so far, in order
  std::size_t nullReports() const;
  void clearReports();
  // The handle the harness gave the port id (on its first report); 0 when unreported.
  std::uint16_t handleOf(std::uint16_t portId) const;

  // ---- Data and events ----
  std::int32_t open(std::uint16_t portId);  // with the data callback of this transport's index
  std::int32_t close(std::uint16_t portId);
  std::vector<DataPacket> packets() const;
  bool waitForPackets(std::size_t count, std::uint32_t ms) const;
  // The primary callback records events; the alternate one marks them, so a
  // test sees which registration a transport kept.
  std::int32_t registerEvents(bool alternate = false);
  void unregisterEvents();
  std::vector<TransportEvent> events() const;
  bool waitForEvents(std::size_t count, std::uint32_t ms) const;

  // ---- Requests ----
  // NetWrite with the broker's status hint for this transport (128 for bit 2,
  // the data length for bit 16, else 0). replyCapacity 0: no reply buffer.
  WriteOutcome write(std::uint16_t portId, const std::vector<std::uint8_t>& data, std::uint32_t replyCapacity,
                     std::uint16_t command);
  // As the broker's exports: 0xFFFF passes as port id 0xFFFF, another handle
  // maps to its reported port id (0xFFF8 when unreported), a missing entry
  // point gives 1, and the result comes back zero-extended from 16 bits.
  std::int32_t getInfo(std::uint16_t handle, std::uint16_t item, void* buffer, std::uint16_t* length,
                       NETITEMPROC itemProc = nullptr);
  std::int32_t setInfo(std::uint16_t handle, std::uint16_t item, const void* buffer, std::uint16_t length);
  // False when the library has no "NetShutDown".
  bool shutDown();

 private:
  TransportHarness(ModuleHandle module, std::uint32_t networkBit);
  friend struct HarnessCallbacks;

  std::uint16_t onEnumerate(const NETPORTINFO* port);
  void onData(int index, std::uint16_t portId, const std::uint8_t* data, std::uint32_t length);
  void onEvent(bool alternate, std::uint32_t kind, std::uint32_t portId, std::uint32_t code, void* data);
  bool portFor(std::uint16_t handle, std::uint16_t& port) const;

  ModuleHandle module_;
  std::uint32_t networkBit_;
  NetEntryPoints entries_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::deque<std::uint16_t> enumAnswers_;
  std::vector<NETPORTINFO> reports_;
  std::size_t nullReports_ = 0;
  std::map<std::uint16_t, std::uint16_t> handles_;  // port id -> handle
  std::vector<DataPacket> packets_;
  std::vector<TransportEvent> events_;
};

}  // namespace wf::transports::testing
