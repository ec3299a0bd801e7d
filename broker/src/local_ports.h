#pragma once
// The primary's table of the local ports LPT1 to LPT9: which application has
// which port open, the combined alert mask the printer was told, the hold
// by the spooler side, and the scan that finds printers on the ports.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "local_port.h"
#include "platform/thread.h"

namespace wf::bce {

constexpr int kLocalPorts = 9;
constexpr std::uint16_t kFirstLocalHandle = 11;
constexpr std::uint16_t kLastLocalHandle = 19;

namespace timeouts {
constexpr std::uint32_t kHeldPortWait = 2'000;   // before asking the spooler side for a held port
constexpr std::uint32_t kWatcherRetry = 10'000;  // the watcher's next try for a held port
constexpr std::uint32_t kScanPause = 250;        // after a scan and after a specific find
}  // namespace timeouts

struct PortSlot {
  std::mutex writeLock;  // serialises opening, closing, writes and the response slot
  std::unique_ptr<LocalPort> channel;
  std::uint16_t handle = 0;  // 0: not open
  std::string name;
  std::uint32_t openedBy[16] = {};
  std::uint32_t combinedMask = 0;
  bool held = false;
  std::string heldPrinter;
  Thread watcher;
};

// The nine slots, owned by the process's Broker.
struct LocalPortTable {
  PortSlot slots[kLocalPorts];
  std::mutex spoolerScanLock;  // one scan of the spooler's printers at a time
  Thread spoolerScan;          // may still run while the process ends
};

// Index 0-8 of "LPT1".."LPT9" (any case, optional ':'), else -1.
int portIndexOf(std::string_view name);
PortSlot& portSlot(int index);

// Local printers' handles 11-19; the port index of such a printer, else -1.
int portIndexOfHandle(std::uint16_t handle);

// Both with the slot's write lock held. Open: 0, -8, -10, -19; a mask is
// ORed into the combined mask, else the application's opened-by flag is set.
std::int32_t openPortLocked(PortSlot& slot, int index, std::uint32_t appId, std::uint16_t handle,
                            const std::uint32_t* mask);
// mode 2: the application closes; 1: only look whether the port may close.
void closePortLocked(PortSlot& slot, std::uint32_t appId, int mode);

// For a request: opens the port when the application has it not open or it
// is held; closes it again after.
class PortUse {
 public:
  PortUse(int index, std::uint32_t appId, std::uint16_t handle);
  ~PortUse();
  std::int32_t result() const { return result_; }
  LocalPort& port() const { return *slot_.channel; }

 private:
  PortSlot& slot_;
  std::unique_lock<std::mutex> lock_;
  std::uint32_t appId_;
  bool openedForCall_ = false;
  std::int32_t result_ = 0;
};

// The local part of an enumeration: every LPT port of the spooler's list
// whose printer is one of ours goes to EnumCallback.
void scanLocalPorts(std::uint32_t appId, bool forced);
// After a local scan: asks the spooler side once for the ports our port
// monitor holds; a start while one runs does nothing.
void startSpoolerScan();
// BceEnumSpecific for a local port name; true when a printer was found there.
bool findLocalPrinter(std::uint32_t appId, std::string_view portName);

// A refreshing BceGetPrtInfo of a local printer: its NPA flags probed anew.
void refreshLocalPrinter(std::uint32_t appId, std::uint16_t handle);

// Closes every port for the application (unregistration).
void closeLocalPortsOf(std::uint32_t appId);

// Sets the port's combined mask (a release recomputes it).
void setCombinedMask(int index, std::uint32_t mask);
std::uint32_t combinedMask(int index);

}  // namespace wf::bce
