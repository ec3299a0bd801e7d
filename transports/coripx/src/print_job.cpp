// A print job on an adapter port: the port captured, the job opened and
// described, data in packets of the largest size with one outstanding, then
// ended and released. Every wait on the adapter gives up after two minutes,
// so a silent adapter cannot hold later jobs.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

#include "coripx_transport.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "platform/sync.h"
#include "transports/common/adapter_layout.h"

namespace wf::coripx {
namespace {

namespace jobwire = ::wf::adapter::coripx;
constexpr std::uint32_t kJobGiveUpMs = 120'000;
constexpr std::uint32_t kStartDocPollMs = 500, kCaptureRetryMs = 100;
constexpr std::uint32_t kWriteAckWaitMs = 1000, kEndAckWaitMs = 1500, kFirstResendWaitMs = 1500;
constexpr std::uint32_t kJobReplyRoom = 256, kEndReplyRoom = 512;
// Each job text is kept to this many characters: the four with their
// "XX:" and ";" stay within the texts' one-byte length.
constexpr std::size_t kJobTextLimit = 59;

const std::uint8_t kNpaJobStart1[] = {0xA5, 0x00, 0x07, 0x40, 0xE0, 0xEB, 0x01, 0x00, 0xC9, 0x00};
const std::uint8_t kNpaJobEnd[] = {0xA5, 0x00, 0x06, 0x40, 0x05, 0x01, 0x00, 0x00, 0x00};
constexpr char kJobStart2Text[] = "UR:DBC;";

class JobLockHeld {
 public:
  explicit JobLockHeld(SyncHandle lock) : lock_(lock) { waitForObject(lock_, kInfinite); }
  ~JobLockHeld() { releaseSemaphore(lock_, 1); }
  JobLockHeld(const JobLockHeld&) = delete;
  JobLockHeld& operator=(const JobLockHeld&) = delete;

 private:
  SyncHandle lock_;
};

bool pastGiveUp(std::chrono::steady_clock::time_point started) {
  return std::chrono::steady_clock::now() - started >= scaled(kJobGiveUpMs);
}

// System milliseconds left of the two minutes from `started` (0 when past).
std::uint32_t giveUpLeft(std::chrono::steady_clock::time_point started) {
  const auto left = started + scaled(kJobGiveUpMs) - std::chrono::steady_clock::now();
  const auto unit = std::max<std::chrono::steady_clock::duration>(scaled(1), std::chrono::nanoseconds(1));
  return left.count() > 0 ? static_cast<std::uint32_t>(left / unit) : 0;
}

// The NUL-terminated text at `offset` of an IPXJOBINFO block, within its
// Size; empty when it is outside the block or not terminated there.
std::string jobText(const std::uint8_t* block, std::uint16_t size, std::size_t field) {
  if (size < 18) return {};
  const std::uint32_t offset = loadLe32(block + field);
  if (offset >= size) return {};
  const auto* start = reinterpret_cast<const char*>(block + offset);
  const void* end = std::memchr(start, 0, size - offset);
  if (!end) return {};
  std::string text(start, static_cast<const char*>(end));
  if (text.size() > kJobTextLimit) text.resize(kJobTextLimit);
  return text;
}

std::uint8_t dataFormByte(const IPXPORT& port, bool kindForm) {
  return kindForm ? dataForm(kindFormByte(port)) : portFormByte(port);
}

Bytes jobPacket(std::uint8_t function, std::uint8_t portByte, std::uint8_t number, const std::uint8_t* body,
                std::size_t size) {
  Bytes p = headerWith(function, portByte, number);
  p.insert(p.end(), body, body + size);
  return p;
}

}  // namespace

int CorIpx::CapturePort(IPXPORT& port, bool capture) {
  const std::uint8_t number = nextPacketNumber(port.RequestNumber);
  Bytes p = headerWith(jobwire::kFnControl, portFormByte(port), number);
  p.resize(jobwire::kControlPacket, 0);
  putTag(p.data() + jobwire::kTag, jobwire::kTagControl);
  p[31] = jobwire::kControlCommand0;
  p[32] = jobwire::kControlCapture;
  const std::uint8_t form = port.LpaAdapter ? 0x10 : port.PortKind == 0x0101 ? 0x20 : 0x30;
  p[33] = static_cast<std::uint8_t>(port.PortNumber + form);
  p[34] = capture ? 1 : 0;
  if (SendAcknowledged(port, p.data(), p.size(), false) != 0) {
    log_.write("CaptureorReleasePort no ack");
    port.Captured = 0;
    return 1;
  }
  std::uint8_t answer[255];
  std::uint32_t length = sizeof answer, tag = 0;
  if (WaitTaggedReply(port, answer, length, jobwire::kTagControlAccept, jobwire::kTagControlReject, tag, number) ==
      kReplySilent) {
    port.Captured = 0;
    log_.write("CaptureorRelease - no response");
    return 1;
  }
  if (tag == 1) {
    port.Captured = capture ? 1 : 0;
    return 0;
  }
  return 5;
}

void CorIpx::startDoc(std::uint16_t id, const std::uint8_t* jobInfo) {
  std::lock_guard g(startDocMutex_);
  log_.write("Start Doc");
  IPXPORT* port = FindPortById(id);
  if (!port) return;
  const auto started = std::chrono::steady_clock::now();
  for (;;) {
    {
      JobLockHeld held(port->JobLock);
      if (!port->Captured && !port->InJob) {
        if (jobInfo) {
          const std::uint16_t size = loadLe16(jobInfo);
          port->HostText = jobText(jobInfo, size, 2);
          port->UserText = jobText(jobInfo, size, 6);
          port->QueueText = jobText(jobInfo, size, 10);
          port->JobText = jobText(jobInfo, size, 14);
        }
        port->FirstWrite = 1;
        port->InJob = 1;
        log_.write("StartDoc finished");
        return;
      }
    }
    if (pastGiveUp(started)) {
      log_.write("Start Doc: port %d stayed busy; job not started", id);
      return;
    }
    sleepFor(kStartDocPollMs);
  }
}

bool CorIpx::openJob(IPXPORT& port, bool kindForm, const std::uint8_t* data, std::uint32_t length) {
  startBackChannel(port);
  const std::uint8_t number = nextPacketNumber(port.DataNumber);
  port.NpaJob = kindForm ? 1 : 0;
  Bytes open = headerWith(jobwire::kFnOpenJob, dataFormByte(port, kindForm), number);
  if (SendAcknowledged(port, open.data(), open.size(), true) != 0) {
    log_.write("CorLink Open Failed");
    return false;
  }
  port.FirstWrite = 0;

  Bytes info = headerWith(jobwire::kFnJobInfo, portFormByte(port), number);
  info.resize(jobwire::kData, 0);
  putTag(info.data() + jobwire::kTag, jobwire::kTagJobInfo);
  const std::string* const described[] = {&port.HostText, nullptr, &port.JobText, &port.UserText, &port.QueueText};
  for (const std::string* text : described) {
    const std::string field = !text ? "Windows 95" : text->empty() ? " " : *text;
    info.insert(info.end(), field.begin(), field.end());
    info.push_back(0);
  }
  storeLe16(info.data() + jobwire::kLength, static_cast<std::uint16_t>(info.size() - jobwire::kData));
  SendAcknowledged(port, info.data(), info.size(), true);
  std::uint8_t answer[kJobReplyRoom];
  std::uint32_t room = sizeof answer, tag = 0;
  WaitTaggedReply(port, answer, room, jobwire::kTagJobInfoAccept, jobwire::kTagJobInfoReject, tag, number);

  if (!port.NpaJob) return true;
  const std::uint8_t npaForm = dataForm(kindFormByte(port));
  Bytes start1 = jobPacket(jobwire::kFnJobData, npaForm, nextPacketNumber(port.DataNumber), kNpaJobStart1,
                           sizeof kNpaJobStart1);
  SendAcknowledged(port, start1.data(), start1.size(), true);
  if (port.LpaAdapter) return true;

  const std::uint8_t start2Body[] = {0xA5, 0x00, 0x0E, 0x50, 0xE0, 0x30, length > 4 ? data[4] : std::uint8_t{0},
                                     0x00, 0x00, 0x07};
  Bytes start2 = jobPacket(jobwire::kFnJobData, npaForm, nextPacketNumber(port.DataNumber), start2Body,
                           sizeof start2Body);
  start2.insert(start2.end(), kJobStart2Text, kJobStart2Text + std::strlen(kJobStart2Text));
  SendAcknowledged(port, start2.data(), start2.size(), true);
  std::uint8_t back[64] = {};
  std::uint32_t backLength = sizeof back;
  const bool answered = TakeBackChannelData(port, jobwire::kBackChannelKey, backLength, back) == 0 && backLength >= 9;

  std::string texts;
  const std::pair<const char*, const std::string*> fields[] = {
      {"HT:", &port.HostText}, {"UR:", &port.UserText}, {"JN:", &port.JobText}, {"QU:", &port.QueueText}};
  for (const auto& [label, text] : fields)
    if (!text->empty()) texts += label + *text + ";";
  Bytes packet = headerWith(jobwire::kFnJobData, npaForm, nextPacketNumber(port.DataNumber));
  packet.insert(packet.end(), {0xA5, 0, 0, 0x40, 0xE0, 0x02, answered ? back[7] : std::uint8_t{0},
                               answered ? back[8] : std::uint8_t{0}, static_cast<std::uint8_t>(texts.size())});
  packet.insert(packet.end(), texts.begin(), texts.end());
  storeBe16(packet.data() + jobwire::kHeader + 1, static_cast<std::uint16_t>(packet.size() - 13));
  SendAcknowledged(port, packet.data(), packet.size(), true);
  return true;
}

// Waits for the acknowledgement of the data packet outstanding, resending it
// on loss or silence with doubling time-outs; false when it never came.
bool CorIpx::settleDataPacket(IPXPORT& port, std::uint32_t firstWait, bool atEnd,
                              std::chrono::steady_clock::time_point started) {
  std::uint8_t* bytes = port.DataBuffer.data();
  const std::uint32_t first = waitForObject(port.JobAckSem, firstWait);
  if (first == kWaitObject0 && !port.DataLost) return true;
  if (first != kWaitObject0 && first != kWaitTimeout) return false;
  if (atEnd)
    log_.write("Data loss in enddoc");
  else
    log_.write("Data lost flag detected; resending data for %d.", bytes[jobwire::kNumber]);
  bytes[jobwire::kKind] |= jobwire::kResent;
  std::uint32_t timeout = kFirstResendWaitMs;
  for (;;) {
    if (sendJobPacket(port, bytes, port.DataLength) != port.DataLength) log_.write("Error in resending data");
    const std::uint32_t r = waitForObject(port.JobAckSem, std::min(timeout, giveUpLeft(started)));
    if (r == kWaitObject0 && !port.DataLost) return true;
    if (r != kWaitObject0 && r != kWaitTimeout) return false;
    if (r == kWaitTimeout || !atEnd)
      timeout *= 2;
    else
      sleepFor(kEndAckWaitMs);
    if (timeout >= kJobGiveUpMs || pastGiveUp(started)) {
      if (!atEnd) log_.write("Timeout while sending data");
      return false;
    }
  }
}

std::int32_t CorIpx::jobWrite(std::uint16_t id, const std::uint8_t* data, std::uint32_t length,
                              std::uint16_t* status) {
  IPXPORT* port = FindPortById(id);
  if (!port) return 0;
  {
    JobLockHeld held(port->JobLock);
    if (!port->InJob) {
      log_.write("Job Flag not set");
      return 0;
    }
  }
  if (!data && length) return 0;
  const bool kindForm = (*status & 0xFF) >= 0x80;
  if (port->FirstWrite && !port->Captured) {
    log_.write("Received First NetWrite for new job");
    const auto started = std::chrono::steady_clock::now();
    int captured = CapturePort(*port, true);
    while (captured == 5 && !pastGiveUp(started)) {
      sleepFor(kCaptureRetryMs);
      captured = CapturePort(*port, true);
    }
    if (captured != 0) {
      log_.write("Couldn't capture port");
      return 0;
    }
    if (!openJob(*port, kindForm, data, length)) return 0;
  }

  const std::uint32_t packetSize = maxPacket();
  std::uint32_t taken = 0;
  while (taken < length) {
    if (!port->DataBuffer.empty() && port->DataSent) {
      const bool acknowledged = settleDataPacket(*port, kWriteAckWaitMs, false, std::chrono::steady_clock::now());
      port->DataBuffer.clear();
      port->DataLength = 0;
      port->DataSent = 0;
      if (!acknowledged) {
        *status = NET_STATUS_UNREADABLE;
        log_.write("I'm gonna return a failure now....");
        return static_cast<std::int32_t>(taken);
      }
    }
    if (port->DataBuffer.empty()) {
      port->DataBuffer.assign(packetSize, 0);
      const Bytes header = headerWith(jobwire::kFnJobData, dataFormByte(*port, kindForm),
                                      nextPacketNumber(port->DataNumber));
      std::copy(header.begin(), header.end(), port->DataBuffer.begin());
      port->DataLength = jobwire::kHeader;
    }
    const std::uint32_t n = std::min(packetSize - port->DataLength, length - taken);
    std::memcpy(port->DataBuffer.data() + port->DataLength, data + taken, n);
    port->DataLength = static_cast<std::uint16_t>(port->DataLength + n);
    taken += n;
    if (port->DataLength == packetSize) {
      bool sliced = false;
      if (!sendJobPacket(*port, port->DataBuffer.data(), port->DataLength, &sliced)) {
        port->DataBuffer.clear();
        port->DataLength = 0;
        log_.write("Failure to send a real data packet");
        return 0;
      }
      port->DataSent = 1;
      if (sliced) {  // every slice was acknowledged on the way
        port->DataBuffer.clear();
        port->DataLength = 0;
        port->DataSent = 0;
      }
    }
  }
  *status = NET_STATUS_COMPLETE;
  return static_cast<std::int32_t>(length);
}

void CorIpx::endDoc(std::uint16_t id) {
  std::lock_guard g(endDocMutex_);
  IPXPORT* port = FindPortById(id);
  if (!port) return;
  port->HostText.clear();
  port->UserText.clear();
  port->QueueText.clear();
  port->JobText.clear();
  log_.write("End Doc");
  // One bound for the leftover, the last packet and the end of the job.
  const auto started = std::chrono::steady_clock::now();
  if (port->InJob) {
    if (!port->DataBuffer.empty() && !port->DataSent) {
      log_.write("Sending leftover Data");
      bool sliced = false;
      while (sendJobPacket(*port, port->DataBuffer.data(), port->DataLength, &sliced) != port->DataLength &&
             !sliced && !pastGiveUp(started))
        sleepFor(kCaptureRetryMs);
      port->DataSent = sliced ? 0 : 1;
      if (sliced) port->DataBuffer.clear();
    }
    if (!port->DataBuffer.empty()) {
      settleDataPacket(*port, kEndAckWaitMs, true, started);
      log_.write("EndDoc - last packet sent okay, packet # = %d", port->DataNumber.load());
      port->DataBuffer.clear();
      port->DataLength = 0;
      port->DataSent = 0;
    }
    if (port->Captured) {
      const bool npa = port->NpaJob;
      if (npa && !port->LpaAdapter) {
        Bytes end = jobPacket(jobwire::kFnJobData, dataForm(kindFormByte(*port)), nextPacketNumber(port->DataNumber),
                              kNpaJobEnd, sizeof kNpaJobEnd);
        SendAcknowledged(*port, end.data(), end.size(), true);
      }
      const std::uint8_t number = nextPacketNumber(port->DataNumber);
      Bytes end = headerWith(jobwire::kFnEndJob, dataFormByte(*port, npa), number);
      bool ended = false;
      do {
        ended = SendAcknowledged(*port, end.data(), end.size(), true) == 0;
      } while (!ended && !pastGiveUp(started));
      port->NpaJob = 0;
      if (ended) {
        std::uint8_t answer[kEndReplyRoom];
        std::uint32_t room = sizeof answer, tag = 0;
        WaitTaggedReply(*port, answer, room, jobwire::kTagNpa, jobwire::kTagNpa, tag, number);
      }
      const auto releasing = std::chrono::steady_clock::now();
      int released = CapturePort(*port, false);
      while (released == 5 && !pastGiveUp(releasing)) {
        sleepFor(kCaptureRetryMs);
        released = CapturePort(*port, false);
      }
      if (released == 1) log_.write("Failure to release port in enddoc");
      port->Captured = 0;  // given up or released: the next job must not wait for it
    }
    JobLockHeld held(port->JobLock);
    port->FirstWrite = 0;
    port->InJob = 0;
  }
  log_.write("End Doc complete");
}

}  // namespace wf::coripx
