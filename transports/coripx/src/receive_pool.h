#pragma once
// The 75 slots every received adapter datagram waits in until a consumer
// takes it. One lock covers the slots: a consumer tests and takes a
// datagram in one step. Consumers wait for the pool's generation to move
// (a datagram was queued) rather than for it to be empty.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <vector>

#include "platform/ipx.h"

namespace wf::coripx {

struct Received {
  std::vector<std::uint8_t> bytes;
  IpxAddress from;
  std::uint32_t ticks = 0;
  std::uint64_t sequence = 0;  // order of arrival, set when queued
};

class ReceivePool {
 public:
  static constexpr std::size_t kSlots = 75;
  static constexpr std::uint32_t kOldAfterMs = 60'000;

  // Queues the datagram; when every slot is taken, datagrams queued more
  // than a minute ago are freed first. The count after it, or 0 when no
  // room was left.
  std::size_t put(Received d);
  // The first datagram `select` accepts, removed from the pool.
  std::optional<Received> take(const std::function<bool(const Received&)>& select);
  // Every datagram `select` accepts, in their order of arrival.
  std::vector<Received> takeAll(const std::function<bool(const Received&)>& select);
  // Frees datagrams queued more than a minute ago; how many.
  std::size_t sweep();
  std::size_t count() const;

  std::uint64_t generation() const;
  // Waits up to `ms` system milliseconds until a datagram is queued after
  // generation `seen`; false on time-out or stop.
  bool waitNewer(std::uint64_t seen, std::uint32_t ms, std::stop_token stop = {});
  bool waitNewerUntil(std::uint64_t seen, std::chrono::steady_clock::time_point deadline,
                      std::stop_token stop = {});

 private:
  std::size_t sweepLocked();
  mutable std::mutex mutex_;
  std::condition_variable_any queued_;
  std::vector<std::optional<Received>> slots_ = std::vector<std::optional<Received>>(kSlots);
  std::size_t count_ = 0;
  std::uint64_t generation_ = 0;
};

}  // namespace wf::coripx
