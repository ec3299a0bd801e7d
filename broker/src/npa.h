#pragma once
// NPA packets and PJL texts as the broker writes and reads them: request
// templates, the probe and synchronisation packets, the DSA class encodings,
// and a packet reader that never trusts a length the printer sends.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "protocol/npa.h"
#include "protocol/requests.h"

namespace wf::bce::npa {

constexpr std::size_t kMaxMessage = 64 * 1024;  // a reassembled response or alert
constexpr std::size_t kMaxRequestPacket = 4096;

inline constexpr std::string_view kSyncPacket{
    "\xA5\x00\x10\x80\xA4\x5B\xA4\x5B\x10\xEF\xA4\x5B\x11\xEE\x00\xFF\x13\xEC\x2E", 19};
inline constexpr std::string_view kProbePacket{"\xA5\x00\x07\x50\x03\x04TEST\x00", 11};
// The printer drops the terminator that ends the query text.
inline constexpr std::string_view kPjlQuery{"\x1B%-12345X@PJL DINQUIRE LNPAP\r\n\x1B%-12345X", 40};

// Request codes the broker itself sends to arm alerts; applications may not.
bool isCaptureCommand(std::uint32_t code);

constexpr std::size_t kPjlTextLimit = 118;  // the whole text, with its terminator

// The fixed prefix of request `code` (A5, length, flags, command, data); empty
// when the code has no template.
std::string_view requestTemplate(std::uint32_t code);

// The request packet: template, then `data`, its length computed in full.
// The reply flag is cleared when no reply is wanted. Empty when the code has no
// template or the packet would exceed `maxPacket` or 4 KiB.
std::optional<std::string> buildRequest(std::uint32_t code, std::string_view data, bool wantReply,
                                        std::size_t maxPacket);

// The PJL line of codes 4096 to 4130, or null.
const char* pjlLine(std::uint32_t code);
// UEL, "@PJL" LF, the line with its "!" replaced by `data`, LF, UEL. Empty
// when a "!" line has no data or the text would not fit its 118 bytes.
std::optional<std::string> buildPjlText(std::uint32_t code, std::optional<std::string_view> data);

// The flags and command bytes of a packet; 0 when it is too short to have them.
std::uint8_t packetFlags(std::string_view packet);
std::uint8_t packetCommand(std::string_view packet);

// One print-data packet (command 0, reply expected).
std::string printDataPacket(std::string_view chunk);

// DSA classes: mask bits 0-9 to the three class bytes of capture command 51,
// and the three bytes of a device-status alert back to mask bits. The two
// directions differ in byte 1.
std::array<std::uint8_t, 3> dsaCaptureBytes(std::uint32_t mask);
std::uint32_t dsaAlertMask(std::span<const std::uint8_t> bytes);
// The alert-class byte of capture command 91.
std::uint8_t alertClassByte(std::uint32_t mask);

// Classification of a complete alert message: its window message and class
// bit, or 0/0 for an alert of no class (device-status alerts are handled apart).
struct AlertClass {
  std::uint32_t message = 0;
  std::uint32_t classBit = 0;
};
AlertClass classifyAlert(std::uint8_t command, std::string_view data);

// A run of packets held whole in a buffer (a network reply or alert): each
// packet is bounded by the bytes present; reading stops at the first that
// does not fit or does not start with A5. An alert is one message, so its
// packets are joined while flagged "more"; a transport's reply may hold
// several messages, all of whose data count. The last packet's flags and
// command are kept.
enum class Joining { WhileMore, EveryPacket };
struct Message {
  std::uint8_t flags = 0;
  std::uint8_t command = 0;
  std::string data;
  std::size_t packets = 0;
};
Message unpackPackets(std::string_view bytes, Joining joining, std::size_t maxData = kMaxMessage);

// The port's byte stream, as the reader thread sees it, cut into what the
// broker acts on. Partial reads of any size may be fed.
class StreamReader {
 public:
  struct Events {
    std::function<void(std::uint8_t flags, std::uint8_t command, std::string data)> response;
    std::function<void(std::uint8_t flags)> confirmation;
    std::function<void(std::uint8_t command, std::string data)> alert;
    std::function<void(std::string_view bytes)> otherBytes;  // outside any packet
    std::function<void(const char* what)> dropped;           // for the trace
  };
  explicit StreamReader(Events events) : events_(std::move(events)) {}

  void feed(std::string_view bytes);
  // A read that returned nothing. After 100 in a row in the middle of a
  // packet or message the partial data are dropped; true then.
  bool emptyRead();
  bool midMessage() const;
  // The bytes that complete what is being read: the rest of the packet once
  // its length is known, the rest of the header before, a header when idle.
  // 0 while bytes outside packets (a PJL reply) are arriving: their end is
  // known only by the gap after them.
  std::size_t bytesWanted() const;

 private:
  enum class State { Idle, Length, Body };
  void finishPacket();
  void dropPartial(const char* why);

  Events events_;
  State state_ = State::Idle;
  std::uint8_t lengthBytes_[2]{};
  int lengthHave_ = 0;
  bool inText_ = false;  // the last bytes fed were outside packets
  std::size_t bodyLength_ = 0;
  std::string body_;
  std::string response_;  // data of a response still flagged "more"
  bool responseOpen_ = false;
  std::string alert_;
  bool alertOpen_ = false;
  bool overflow_ = false;
  int emptyReads_ = 0;
};

}  // namespace wf::bce::npa
