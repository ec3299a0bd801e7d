#include "local_port.h"

#include <algorithm>
#include <cstring>

#include "broker/corbce.h"
#include "npa.h"
#include "platform/clock.h"
#include "trace.h"

namespace wf::bce {

namespace {

constexpr CommTimeouts kReaderTimeouts{1, 0, 50, 0, 1000};
constexpr CommTimeouts kPjlTimeouts{50, 5, 1000, 10, 2500};
constexpr std::size_t kPjlReplyMax = 64;
constexpr std::size_t kProbeReplyMax = 11;
constexpr std::size_t kReadChunk = 4096;

int pjlAnswer(std::string reply) {
  // The reply may hold anything: search it only as the text it is up to a terminator.
  reply = reply.substr(0, reply.find('\0'));
  bceTrace("Reply from PJL query: %s\n", reply.c_str());
  if (reply.find("OFF") != std::string::npos) return kNpaOff;
  if (reply.find("ON") != std::string::npos) return kNpaOn;
  if (reply.find("AUTO") != std::string::npos) return kNpaAuto;
  bceTrace("OFF - got '%s' as a reply\n", reply.c_str());
  return kNpaOff;
}

std::string writeProbe() {
  std::string p(npa::kSyncPacket);
  p += npa::kProbePacket;
  return p;
}

}  // namespace

int pjlQuery(ParallelPort& port, int portNumber) {
  const CommTimeouts saved = port.timeouts();
  port.setTimeouts(kPjlTimeouts);
  int answer = kNpaOff;
  char buf[kPjlReplyMax];
  if (port.write(npa::kPjlQuery).written == npa::kPjlQuery.size()) {
    const PortRead r = port.read(buf);
    if (r.error != PortError::None) {
      bceTrace("PJL query read failed on LPT%d, error = %u\n", portNumber, static_cast<unsigned>(r.error));
      answer = NET_READFAIL;
    } else if (r.bytes > 0) {
      answer = pjlAnswer(std::string(buf, r.bytes));
    } else {
      port.write(writeProbe());
      sleepFor(timeouts::kProbeAnswer);
      const PortRead probe = port.read(std::span<char>(buf, kProbeReplyMax));
      answer = probe.bytes > 0 ? kNpaAuto : kNpaOff;
    }
  }
  port.setTimeouts(saved);
  return answer;
}

std::unique_ptr<LocalPort> LocalPort::open(std::string_view name, AlertSink sink, PortError& error) {
  PortOpen opened = openParallelPort(name);
  error = opened.error;
  if (!opened.port) return nullptr;
  opened.port->setTimeouts(kReaderTimeouts);
  std::unique_ptr<LocalPort> port(
      new LocalPort(std::move(opened.port), parallelPortNumber(name), std::move(sink)));
  port->reader_ = Thread("bce-lpt" + std::to_string(port->number_),
                         [p = port.get()](std::stop_token stop) { p->readLoop(stop); });
  return port;
}

LocalPort::LocalPort(std::unique_ptr<ParallelPort> port, int number, AlertSink sink)
    : port_(std::move(port)), number_(number), sink_(std::move(sink)) {}

LocalPort::~LocalPort() {
  reader_.requestStop();
  reader_ = Thread();  // joins: the reader's next read ends at the stop request
}

PortWrite LocalPort::write(std::string_view bytes) {
  return port_->write(bytes);
}

std::uint32_t LocalPort::setWriteTimeout(std::uint32_t ms) {
  CommTimeouts t = port_->timeouts();
  const std::uint32_t before = t.writeTotalTimeoutConstant;
  t.writeTotalTimeoutConstant = ms;
  port_->setTimeouts(t);
  return before;
}

PortError LocalPort::deviceControl(std::uint32_t code, std::string_view input, std::span<char> output,
                                   std::size_t& returned) {
  return port_->deviceControl(code, input, output, returned);
}

void LocalPort::offer(Response response) {
  std::lock_guard lock(mutex_);
  if (owed_ && !response.failed) {
    const bool late = response.command == owed_->command;
    if (late || std::chrono::steady_clock::now() >= owed_->until) owed_.reset();
    if (late) {
      bceTrace("LPT%d: late response 0x%02X discarded\n", number_, response.command);
      return;
    }
  }
  if (!waiting_) {
    if (!response.failed)
      bceTrace("LPT%d: response 0x%02X with nobody waiting, discarded\n", number_, response.command);
    return;
  }
  responses_.push_back(std::move(response));
  changed_.notify_all();
}

void LocalPort::readLoop(std::stop_token stop) {
  npa::StreamReader reader({
      .response =
          [this](std::uint8_t flags, std::uint8_t command, std::string data) {
            bceTrace("Getting %ld bytes of Response...\n", static_cast<long>(data.size()));
            bceTraceData("", number_, "Response", data);
            offer({false, flags, command, std::move(data)});
          },
      .confirmation =
          [this](std::uint8_t flags) {
            bceTrace("Confirm : LPT%d flags 0x%02X\n", number_, flags);
            offer({false, flags, 0, {}});
          },
      .alert =
          [this](std::uint8_t command, std::string data) {
            bceTrace("Got %ld bytes of Alert...\n", static_cast<long>(data.size()));
            bceTraceData("", number_, "Alert", data);
            if (sink_) sink_(command, std::move(data));
          },
      .otherBytes =
          [this](std::string_view bytes) {
            std::lock_guard lock(mutex_);
            if (!divertOther_ || other_.size() >= kPjlReplyMax) return;
            other_.append(bytes.substr(0, kPjlReplyMax - other_.size()));
            changed_.notify_all();
          },
      .dropped = [this](const char* why) { bceTrace("LPT%d reader: %s\n", number_, why); },
  });
  std::string buf(kReadChunk, '\0');
  while (!stop.stop_requested()) {
    // Asking for exactly what completes the packet ends the read with its last
    // byte instead of after the interval gap.
    const std::size_t wanted = reader.bytesWanted();
    const std::size_t ask = wanted == 0 ? kReadChunk : std::min(wanted, kReadChunk);
    const PortRead r = port_->read(std::span<char>(buf.data(), ask), stop);
    if (r.bytes > 0) {
      reader.feed(std::string_view(buf.data(), r.bytes));
    } else if (r.error == PortError::None) {
      if (reader.emptyRead()) offer({true, 0, 0, {}});
    } else if (r.error != PortError::OperationAborted) {
      // A printer gone from the wire: look again later instead of spinning.
      sleepFor(kReaderTimeouts.readTotalTimeoutConstant, stop);
    }
  }
}

void LocalPort::expectResponse() {
  std::lock_guard lock(mutex_);
  responses_.clear();
  waiting_ = true;
}

std::int32_t LocalPort::awaitResponse(std::uint8_t command, void* buffer, std::uint32_t* length,
                                      std::uint8_t* flags, std::uint32_t ms) {
  const auto deadline = deadlineAfter(ms);
  std::unique_lock lock(mutex_);
  waiting_ = true;
  std::int32_t result = NET_READFAIL;
  std::uint32_t copied = 0;
  for (;;) {
    if (!changed_.wait_until(lock, deadline, [&] { return !responses_.empty(); })) {
      owed_ = Owed{command, deadlineAfter(ms)};
      break;
    }
    Response r = std::move(responses_.front());
    responses_.pop_front();
    if (r.failed) break;
    if (r.command != command) {
      bceTrace("LPT%d: response 0x%02X while waiting for 0x%02X, dropped\n", number_, r.command, command);
      continue;
    }
    const std::uint32_t room = length ? *length : 0;
    copied = static_cast<std::uint32_t>(std::min<std::size_t>(room, r.data.size()));
    if (buffer && copied) std::memcpy(buffer, r.data.data(), copied);
    if (flags) *flags = r.flags;
    result = r.data.size() > room ? BCE_ERR_REPLY_TOO_LONG : BCE_OK;
    break;
  }
  waiting_ = false;
  responses_.clear();
  if (length) *length = copied;
  return result;
}

int LocalPort::pjlQuery() {
  {
    std::lock_guard lock(mutex_);
    other_.clear();
    divertOther_ = true;
  }
  int answer = kNpaOff;
  if (port_->write(npa::kPjlQuery).written == npa::kPjlQuery.size()) {
    std::unique_lock lock(mutex_);
    const CommTimeouts& t = kPjlTimeouts;
    const std::uint32_t budget = t.readTotalTimeoutConstant + t.readTotalTimeoutMultiplier * kPjlReplyMax;
    changed_.wait_until(lock, deadlineAfter(budget), [&] { return !other_.empty(); });
    if (!other_.empty()) {
      // The rest of the reply follows within the interval time-out.
      std::size_t seen;
      do {
        seen = other_.size();
        changed_.wait_for(lock, scaled(t.readIntervalTimeout), [&] { return other_.size() != seen; });
      } while (other_.size() != seen && other_.size() < kPjlReplyMax);
      std::string reply = other_;
      lock.unlock();
      answer = pjlAnswer(std::move(reply));
    } else {
      lock.unlock();
      expectResponse();
      port_->write(writeProbe());
      std::uint32_t none = 0;
      answer = awaitResponse(npa::packetCommand(npa::kProbePacket), nullptr, &none, nullptr,
                             timeouts::kProbeAnswer) == NET_READFAIL
                   ? kNpaOff
                   : kNpaAuto;
    }
  }
  std::lock_guard lock(mutex_);
  divertOther_ = false;
  other_.clear();
  return answer;
}

}  // namespace wf::bce
