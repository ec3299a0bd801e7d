#pragma once
// One open parallel port: its reader thread, which alone reads the port and
// separates responses, print-data confirmations and alerts, and the response
// slot that hands a response to the one request waiting for it.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/parallel_port.h"
#include "platform/thread.h"

namespace wf::bce {

namespace timeouts {
constexpr std::uint32_t kResponseWait = 10'000;      // a request's reply
constexpr std::uint32_t kConfirmationWait = 40'000;  // a print-data packet's confirmation
constexpr std::uint32_t kProbeAnswer = 200;          // the NPA probe of a PJL-silent printer
}  // namespace timeouts

// The PJL query's answers: the printer's NPA mode.
constexpr int kNpaOff = 0;
constexpr int kNpaAuto = 1;
constexpr int kNpaOn = 2;

// The PJL query on a port that no reader reads (the scan's probe): 0 off,
// 1 auto, 2 on, -17 read failure.
int pjlQuery(ParallelPort& port, int portNumber);

class LocalPort {
 public:
  using AlertSink = std::function<void(std::uint8_t command, std::string data)>;

  // Opens "LPTn" exclusively with the reader's time-outs and starts its reader.
  static std::unique_ptr<LocalPort> open(std::string_view name, AlertSink sink, PortError& error);
  ~LocalPort();  // stops the reader cooperatively and joins it, then closes
  LocalPort(const LocalPort&) = delete;
  LocalPort& operator=(const LocalPort&) = delete;

  int number() const { return number_; }
  PortWrite write(std::string_view bytes);
  // The total write budget in system ms from now on; returns the one before.
  std::uint32_t setWriteTimeout(std::uint32_t ms);
  PortError deviceControl(std::uint32_t code, std::string_view input, std::span<char> output,
                          std::size_t& returned);

  // Before writing a request that expects a response: the slot starts empty
  // and responses from now on are kept for the waiter.
  void expectResponse();
  // The response of `command` (0: a print-data confirmation) within `ms`:
  // 0, -18 cut to the buffer, -17 none in time. Responses of another command
  // are dropped and the wait goes on within the same deadline. The slot is
  // given up on return.
  std::int32_t awaitResponse(std::uint8_t command, void* buffer, std::uint32_t* length, std::uint8_t* flags,
                             std::uint32_t ms);

  // The PJL query through the reader, which diverts bytes outside packets to it.
  int pjlQuery();

 private:
  struct Response {
    bool failed = false;  // the printer stopped mid-response
    std::uint8_t flags = 0;
    std::uint8_t command = 0;
    std::string data;
  };
  LocalPort(std::unique_ptr<ParallelPort> port, int number, AlertSink sink);
  void readLoop(std::stop_token stop);
  void offer(Response response);

  std::unique_ptr<ParallelPort> port_;
  int number_;
  AlertSink sink_;

  std::mutex mutex_;
  std::condition_variable changed_;
  bool waiting_ = false;
  std::deque<Response> responses_;
  // A request that timed out leaves its response owed: the printer answers
  // in order, so the next response of that command within another wait's
  // time is the late one, not the answer to whoever asks next.
  struct Owed {
    std::uint8_t command;
    std::chrono::steady_clock::time_point until;
  };
  std::optional<Owed> owed_;
  bool divertOther_ = false;
  std::string other_;

  Thread reader_;  // last: stopped and joined before the members above go
};

}  // namespace wf::bce
