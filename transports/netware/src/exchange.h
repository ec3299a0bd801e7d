#pragma once
// One request to an adapter and, when wanted, its reply within a time-out:
// text commands read by the text reader, NPA packets by the NPA reader,
// which joins a reply sent in numbered fragments.
#include <array>
#include <bitset>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/ipx.h"
#include "transports/common/adapter_layout.h"

namespace wf::netware {

using Bytes = std::vector<std::uint8_t>;
using View = std::span<const std::uint8_t>;

// The pieces of one fragmented NPA reply. Fragments under 6 bytes, numbers
// 32 and above, repeated numbers and pieces past the 2048-byte area are
// dropped.
class NpaAssembler {
 public:
  void add(View datagram);
  bool complete() const;
  // The joined packet into `out`: its length, or 0 when it does not fit.
  std::uint32_t join(std::span<std::uint8_t> out) const;

 private:
  std::array<Bytes, adapter::kMaxFragments> pieces_;
  std::bitset<adapter::kMaxFragments> have_;
  int last_ = -1;
  std::size_t used_ = 0;
};

// The text reply's bytes: the first datagram, and a second one appended (up
// to the room left) for "LPA Defined Servers" and "LPA Server Listing" with
// a count above 5.
bool needsSecondDatagram(View first);

struct ExchangeRequest {
  IpxAddress to;  // network, node and socket (host order)
  View request;
  std::uint8_t* reply = nullptr;         // null: no reply wanted
  std::uint32_t* replyLength = nullptr;  // in: capacity; out: bytes
  std::uint32_t timeoutMs = 0;           // 0: send and answer 0 at once
  bool npa = false;
  IpxSocket* shared = nullptr;  // send from this socket, read nothing
  bool hostPacketSizeFirst = false;
  IpxAddress* source = nullptr;  // where the reply came from
};

// 0 (or a "Command Received" status: 1, -1150), NET_WRITEFAIL, NET_READFAIL,
// or 1 when no socket could be made.
int sendToTheBox(const ExchangeRequest& r);

}  // namespace wf::netware
