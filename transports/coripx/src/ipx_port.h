#pragma once
// One adapter port found by discovery. Records are made by discovery, never
// freed before shutdown, so a pointer to one stays good while the transport
// runs; the flags the pacing thread and the senders share are atomic.
#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "broker/net_transport.h"
#include "platform/ipx.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace wf::coripx {

using Node = std::array<std::uint8_t, 6>;

// The packet an acknowledgement must answer: function << 8 | number.
constexpr int kNothingOutstanding = -1;

struct IPXPORT {
  std::uint16_t PortId = 0;
  IpxAddress Address;  // node as the adapter sent it, socket 0x861F
  std::array<std::uint8_t, 6> OtherAddress{};
  std::array<std::uint8_t, 6> Node{};
  char Name[25] = {};
  std::uint8_t PortNumber = 0;
  std::atomic<std::uint8_t> RequestNumber{1};
  std::atomic<std::uint8_t> DataNumber{1};
  std::atomic<std::uint32_t> PaceOff{0};
  std::atomic<std::uint32_t> DataLost{0};
  std::atomic<std::uint32_t> Captured{0};
  std::atomic<std::uint32_t> InJob{0};
  std::uint32_t ReplyFlag = 0;
  std::uint32_t DataSent = 0;
  std::uint32_t FirstWrite = 0;
  std::uint32_t HasNickname = 0;
  std::atomic<std::uint32_t> NodeAsIs{0};  // 0x8000: the node is used as received
  std::uint32_t NpaJob = 0;
  std::atomic<std::uint32_t> Nibble6{0};
  std::uint32_t LpaAdapter = 0;
  SyncHandle PortSem = kNoSyncHandle;
  SyncHandle JobAckSem = kNoSyncHandle;
  SyncHandle JobLock = kNoSyncHandle;
  // Job state: the data packet being filled or awaiting its acknowledgement,
  // the texts kept from the job's start, the back channel's reader.
  std::vector<std::uint8_t> DataBuffer;
  std::uint16_t DataLength = 0;
  std::string HostText, UserText, QueueText, JobText;
  std::atomic<bool> BackChannelRunning{false};
  std::mutex backChannelLock;  // guards BackChannel
  std::deque<std::vector<std::uint8_t>> BackChannel;
  std::atomic<NETDATAPROC> DataCallback{nullptr};
  std::uint16_t PortKind = 0;
  std::uint16_t AdapterClass = 0;
  std::uint16_t Flags = 0;
  std::array<std::uint8_t, 8> Password{};
  char AltName[80] = {};  // the CorLink nickname, when HasNickname

  // What the two semaphores may be released for.
  std::atomic<int> outstanding{kNothingOutstanding};
  std::atomic<int> outstandingJob{kNothingOutstanding};
  // A port's non-job acknowledged sends go one at a time.
  std::mutex sendOne;
  // Held while a found-again port's record is refreshed or copied into a report.
  std::mutex recordLock;
  // Last: joined before the members its reader uses go.
  Thread BackChannelThread;
};

// The next request or data number: 0 and 0xFF mark enumeration replies.
inline std::uint8_t nextPacketNumber(std::atomic<std::uint8_t>& counter) {
  std::uint8_t now = counter.load(), next = 0;
  do {
    next = static_cast<std::uint8_t>(now + 1);
    if (next == 0xFF) next = 1;
    if (next == 0) next = 1;
  } while (!counter.compare_exchange_weak(now, next));
  return next;
}

}  // namespace wf::coripx
