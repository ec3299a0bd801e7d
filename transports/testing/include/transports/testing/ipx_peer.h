#pragma once
// A socket standing at an adapter's IPX address in a transport's tests: it
// records each datagram that reaches it (with when it came) and may answer
// each with scripted ones, sent back to the sender.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/ipx.h"
#include "platform/thread.h"
#include "testing/eventually.h"

namespace wf::transports::testing {

class IpxPeer {
 public:
  using Bytes = std::vector<std::uint8_t>;
  using Answer = std::function<std::vector<Bytes>(const Bytes& in)>;
  struct Arrival {
    Bytes bytes;
    std::chrono::steady_clock::time_point at;
  };

  IpxPeer(const IpxAddress& at, std::uint8_t packetType) {
    EXPECT_EQ(socket_.bind(at.toSockaddr()), 0);
    socket_.setPacketType(packetType);
    reader_ = Thread("ipx-peer", [this](std::stop_token stop) { read(stop); });
  }
  ~IpxPeer() {
    socket_.close();
    reader_ = Thread();
  }
  IpxPeer(const IpxPeer&) = delete;
  IpxPeer& operator=(const IpxPeer&) = delete;

  void answerWith(Answer a) {
    std::lock_guard g(mutex_);
    answer_ = std::move(a);
  }
  std::vector<Arrival> arrivals() const {
    std::lock_guard g(mutex_);
    return in_;
  }
  std::size_t received() const {
    std::lock_guard g(mutex_);
    return in_.size();
  }
  Bytes datagram(std::size_t i) const {
    std::lock_guard g(mutex_);
    return in_.at(i).bytes;
  }
  bool waitFor(std::size_t count) const {
    return wf::testing::eventually([&] { return received() >= count; });
  }
  // Where the last datagram came from.
  IpxAddress lastSource() const {
    std::lock_guard g(mutex_);
    return last_;
  }
  void sendTo(const Bytes& bytes, const IpxAddress& to) {
    EXPECT_EQ(socket_.sendTo(bytes.data(), bytes.size(), to.toSockaddr()).error, 0);
  }

 private:
  void read(std::stop_token stop) {
    Bytes buffer(4096);
    for (;;) {
      SOCKADDR_IPX from{};
      const IpxIo in = socket_.receiveFrom(buffer.data(), buffer.size(), &from, nullptr, stop);
      if (in.error != 0 && in.error != WSAEMSGSIZE) return;  // closed, or nothing more to read
      const Bytes got(buffer.begin(), buffer.begin() + in.bytes);
      Answer answer;
      {
        std::lock_guard g(mutex_);
        in_.push_back({got, std::chrono::steady_clock::now()});
        last_ = IpxAddress::from(from);
        answer = answer_;
      }
      if (answer)
        for (const Bytes& out : answer(got)) socket_.sendTo(out.data(), out.size(), from);
    }
  }

  IpxSocket socket_;
  mutable std::mutex mutex_;
  std::vector<Arrival> in_;
  IpxAddress last_;
  Answer answer_;
  Thread reader_;
};

}  // namespace wf::transports::testing
