#include "npa.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "broker/corbce.h"
#include "platform/byte_codec.h"
#include "protocol/alert_classes.h"

namespace wf::bce::npa {

namespace wire = protocol::npa;
namespace alerts = protocol::alerts;
namespace request = protocol::request;
namespace characteristics = wire::characteristics;
namespace control = wire::control;
namespace panel = wire::panel;
namespace resources = wire::resources;
namespace status = wire::status;

namespace {

constexpr std::uint32_t kTemplateCount = 140;

struct Templates {
  std::array<std::string, kTemplateCount> byCode;

  // A request that wants a reply, and one that does not.
  static constexpr std::uint8_t kAsk = wire::kFlagRequest | wire::kFlagReply;
  static constexpr std::uint8_t kTell = wire::kFlagRequest;

  void packet(std::uint32_t code, std::uint8_t flags, std::uint8_t command, std::span<const int> data) {
    ByteWriter w;
    w.u8(wire::kStart)
        .be16(static_cast<std::uint32_t>(wire::kLengthCounted + data.size()))
        .u8(flags)
        .u8(command);
    for (int b : data) w.u8(static_cast<std::uint32_t>(b));
    byCode[code] = w.take();
  }
  void packet(std::uint32_t code, std::uint8_t flags, std::uint8_t command, std::initializer_list<int> data) {
    packet(code, flags, command, std::span(data.begin(), data.size()));
  }
  // Codes first..last: the same packet with its last data byte counting up from `start`.
  void counted(std::uint32_t first, std::uint32_t last, std::uint8_t flags, std::uint8_t command,
               std::initializer_list<int> data, int start) {
    std::vector<int> all(data);
    all.push_back(start);
    for (std::uint32_t c = first; c <= last; ++c, ++all.back()) packet(c, flags, command, all);
  }

  Templates() {
    byCode[0] = ByteWriter().u8(wire::kStart).be16(0).take();  // print data: no command of its own
    counted(1, 13, kAsk, wire::kStatus, {}, status::kDevice);
    packet(16, kAsk, wire::kCharacteristics, {characteristics::kSummary});
    packet(18, kAsk, wire::kCharacteristics, {characteristics::kInputs, 0x00});
    packet(19, kAsk, wire::kCharacteristics, {characteristics::kOutputs, 0x00});
    counted(20, 21, kAsk, wire::kCharacteristics, {}, characteristics::kStorage);
    for (std::uint32_t c = 32; c <= 35; ++c) packet(c, kAsk, 0x02, {static_cast<int>(c - 32), 0x00});
    counted(48, 56, kAsk, wire::kControl, {}, 0x00);
    packet(60, kAsk, wire::kControl, {control::kCaptureDeviceStatus, 0x00, 0x00, 0x00});
    packet(64, kAsk, wire::kPanel, {panel::kButton});
    counted(65, 66, kAsk, wire::kPanel, {panel::kDisplay}, 0x00);
    packet(67, kAsk, wire::kPanel, {panel::kDisplay, panel::kDisplayRead});
    counted(68, 69, kAsk, wire::kPanel, {panel::kDisplay, panel::kDisplayAlerts}, 0x00);
    counted(70, 72, kAsk, wire::kPanel, {}, 0xE2);
    counted(73, 74, kAsk, wire::kPanel, {0xE5}, 0x00);
    counted(75, 77, kAsk, wire::kPanel, {0xE6}, 0x00);
    counted(78, 82, kAsk, wire::kPanel, {panel::kOmVariable}, panel::kVariableRead);
    counted(83, 84, kAsk, wire::kPanel, {0xE8}, 0x00);
    packet(85, kAsk, wire::kPanel, {0xEA});
    counted(86, 87, kAsk, wire::kPanel, {panel::kMiscVariable}, panel::kVariableRead);
    packet(88, kAsk, wire::kPanel, {0xEC});
    packet(89, kAsk, wire::kPanel,
           {panel::kMiscVariable, panel::kVariableSet, 0x00, panel::kCommandStartDocument, 0x00});
    packet(90, kAsk, wire::kPanel,
           {panel::kMiscVariable, panel::kVariableSet, 0x00, panel::kCommandStartDocument,
            panel::kStartDocumentBegin});
    packet(91, kAsk, wire::kPanel, {panel::kAlertClasses});
    counted(92, 96, kAsk, wire::kPanel, {}, 0x10);
    packet(97, kAsk, wire::kPanel, {0x16});
    counted(99, 102, kTell, wire::kPanel, {}, 0x09);
    packet(103, kAsk, wire::kPanel, {0xE1, 0x03, 0x01});
    packet(104, kAsk, wire::kPanel, {0xE1, 0x03, 0x00});
    packet(105, kAsk, wire::kPanel, {0x0E});
    packet(106, kAsk, wire::kPanel, {0xE1, 0x02});
    packet(107, kAsk, wire::kPanel, {0x0B, 0x03});
    packet(108, kAsk, wire::kPanel, {0x0B, 0x02});
    packet(109, kAsk, wire::kPanel, {0xE7, 0x08, 0x00});
    packet(110, kAsk, wire::kPanel, {0xEB, 0x00, 0x00, 0xC8});
    packet(111, kTell, wire::kPanel, {0x0B, 0x01});
    packet(112, kAsk, wire::kPanel, {0x0B, 0x04});
    counted(113, 115, kAsk, wire::kResources, {}, resources::kCommand);
    packet(116, kAsk, wire::kPanel, {0x40});
    counted(117, 119, kAsk, wire::kPanel, {}, 0x33);
    counted(120, 126, kAsk, wire::kPanel, {}, 0x18);
    packet(127, kAsk, wire::kPanel, {0x17});
    packet(128, kAsk, wire::kPanel, {0x30});
    packet(129, kTell, 0x05, {0x01});
    packet(130, kTell, wire::kPanel, {0x31});
    packet(131, kAsk, wire::kPanel, {0x36});
    counted(132, 135, kAsk, wire::kPanel, {}, 0x50);
    packet(136, kAsk, wire::kPanel,
           {panel::kMiscVariable, panel::kVariableSet, 0x00, panel::kCommandStartDocument, 0x08});
    counted(137, 138, kAsk, 0x05, {}, 0x00);
  }
};

const Templates& templates() {
  static const Templates t;
  return t;
}

constexpr const char* kPjlLines[request::kLastPjl - request::kFirstPjl + 1] = {
    "@PJL DEFAULT LPAPERSOURCE=!",
    "@PJL DEFAULT LTRAY1SIZE=!",
    "@PJL DEFAULT LTRAY2SIZE=!",
    "@PJL DEFAULT LMANUALPAPERSIZE=!",
    "@PJL DEFAULT LMANUALENVELOPESIZE=!",
    "@PJL DEFAULT LTRAY1PAPERTYPE=!",
    "@PJL DEFAULT LTRAY2PAPERTYPE=!",
    "@PJL DEFAULT LMANUALPAPERTYPE=!",
    "@PJL DEFAULT LTRAYLINKING=!",
    "@PJL DEFAULT COPIES=!",
    "@PJL DEFAULT LPARM : PCL FONTNUMBER=!",
    "@PJL DEFAULT LPARM : PCL PTSIZE=!",
    "@PJL DEFAULT LPARM : PCL PITCH=!",
    "@PJL DEFAULT LPARM : PCL SYMSET = !",
    "@PJL DEFAULT RESOLUTION=!",
    "@PJL DEFAULT DENSITY=!",
    "@PJL DEFAULT FORMLINES=!",
    "@PJL DEFAULT ECONOMODE=!",
    "@PJL DEFAULT RET=!",
    "@PJL DEFAULT ORIENTATION=!",
    "@PJL DEFAULT LTOPMARGINOFFSET=!",
    "@PJL DEFAULT LLEFTMARGINOFFSET=!",
    "@PJL DEFAULT TIMEOUT=!",
    "@PJL DEFAULT PAGEPROTECT=!",
    "@PJL DEFAULT AUTOCONT=!",
    "@PJL DEFAULT LPOWERSAVER=!",
    "@PJL DEFAULT LJAMRECOVERY=!",
    "@PJL DEFAULT LHONORINIT=!",
    "@PJL DEFAULT LAUTOCRLF=!",
    "@PJL DEFAULT LAUTOLFCR=!",
    "@PJL DEFAULT LUSDEFAULTS=!",
    "@PJL LPRINTTESTPAGE",
    "@PJL LPRINTDIRECTORY",
    "@PJL INITIALIZE",
    "@PJL DEFAULT LPPDS=!",
};

constexpr std::string_view kUel = "\x1B%-12345X";

}  // namespace

bool isCaptureCommand(std::uint32_t code) {
  return code == request::kCaptureDeviceStatus || code == request::kReleaseDeviceStatus ||
         code == request::kPanelAlertsOff || code == request::kPanelAlertsOn ||
         code == request::kCaptureAlertClasses;
}

std::string_view requestTemplate(std::uint32_t code) {
  return code < kTemplateCount ? std::string_view(templates().byCode[code]) : std::string_view();
}

std::optional<std::string> buildRequest(std::uint32_t code, std::string_view data, bool wantReply,
                                        std::size_t maxPacket) {
  ByteReader t(requestTemplate(code));
  std::uint16_t templateLength = 0;
  if (!t.skip(wire::kLengthOffset) || !t.be16(templateLength)) return std::nullopt;
  const std::string_view rest = t.rest();
  const std::size_t size = t.position() + rest.size() + data.size();
  if (size > std::min(maxPacket, kMaxRequestPacket)) return std::nullopt;
  std::string packet = ByteWriter()
                           .reserve(size)
                           .u8(wire::kStart)
                           .be16(static_cast<std::uint32_t>(templateLength + data.size()))
                           .bytes(rest)
                           .bytes(data)
                           .take();
  // Templates shorter than a header (code 0) carry no flags to change.
  if (packet.size() >= wire::kHeaderSize && !wantReply)
    packet[wire::kFlagsOffset] = static_cast<char>(packet[wire::kFlagsOffset] & ~wire::kFlagReply);
  return packet;
}

const char* pjlLine(std::uint32_t code) {
  if (code < request::kFirstPjl || code > request::kLastPjl) return nullptr;
  return kPjlLines[code - request::kFirstPjl];
}

std::optional<std::string> buildPjlText(std::uint32_t code, std::optional<std::string_view> data) {
  const char* line = pjlLine(code);
  if (!line) return std::nullopt;
  std::string_view l(line);
  std::string text(kUel);
  text += "@PJL\n";
  if (l.ends_with('!')) {
    if (!data) return std::nullopt;
    text += l.substr(0, l.size() - 1);
    text += *data;
  } else {
    text += l;
  }
  text += '\n';
  text += kUel;
  if (text.size() + 1 > kPjlTextLimit) return std::nullopt;
  return text;
}

namespace {
std::uint8_t headerByte(std::string_view packet, std::size_t offset) {
  ByteReader r(packet);
  std::uint8_t b = 0;
  if (r.has(wire::kHeaderSize) && r.seek(offset)) r.u8(b);
  return b;
}
}  // namespace

std::uint8_t packetFlags(std::string_view packet) {
  return headerByte(packet, wire::kFlagsOffset);
}

std::uint8_t packetCommand(std::string_view packet) {
  return headerByte(packet, wire::kCommandOffset);
}

std::string printDataPacket(std::string_view chunk) {
  return ByteWriter()
      .reserve(wire::kHeaderSize + chunk.size())
      .u8(wire::kStart)
      .be16(static_cast<std::uint32_t>(chunk.size() + wire::kLengthCounted))
      .u8(wire::kFlagReply)
      .u8(wire::kPrintData)
      .bytes(chunk)
      .take();
}

namespace {
// byte, bit, mask bit when capturing, mask bit when alerting
struct DsaBit {
  int byte;
  std::uint8_t bit;
  std::uint32_t capture;
  std::uint32_t alert;
};
constexpr DsaBit kDsaBits[] = {
    {0, 0x40, 0x100, 0x100}, {0, 0x80, 0x200, 0x200}, {1, 0x01, 0x8, 0x8},   {1, 0x02, 0x4, 0x4},
    {1, 0x04, 0x1, 0x2},     {1, 0x08, 0x2, 0x1},     {2, 0x01, 0x80, 0x80}, {2, 0x02, 0x20, 0x20},
    {2, 0x04, 0x40, 0x40},   {2, 0x08, 0x10, 0x10},
};
}  // namespace

std::array<std::uint8_t, 3> dsaCaptureBytes(std::uint32_t mask) {
  std::array<std::uint8_t, 3> out{};
  for (const DsaBit& b : kDsaBits)
    if (mask & b.capture) out[static_cast<std::size_t>(b.byte)] |= b.bit;
  return out;
}

std::uint32_t dsaAlertMask(std::span<const std::uint8_t> bytes) {
  std::uint32_t mask = 0;
  for (const DsaBit& b : kDsaBits)
    if (static_cast<std::size_t>(b.byte) < bytes.size() && (bytes[static_cast<std::size_t>(b.byte)] & b.bit))
      mask |= b.alert;
  return mask;
}

std::uint8_t alertClassByte(std::uint32_t mask) {
  std::uint8_t b = 0;
  std::uint8_t classByte = alerts::kFirstClassByte;
  for (std::uint32_t bit = alerts::kJobStatistics; bit & alerts::kClassBits; bit <<= 1, classByte <<= 1)
    if (mask & bit) b |= classByte;
  return b;
}

AlertClass classifyAlert(std::uint8_t command, std::string_view data) {
  if (command != wire::kClassAlert) return {};
  ByteReader r(data);
  std::uint8_t tag = 0, classByte = 0;
  if (!r.u8(tag)) return {};
  if (tag == alerts::kPanelAlertTag) return {WM_BCE_ROP_ALERT, BCE_ALERT_ROP};
  if (!r.u8(classByte)) return {};
  switch (classByte) {
    case 0x01:
      return {WM_BCE_JS_ALERT, BCE_ALERT_JOB_STATS};
    case 0x02:
      return {WM_BCE_ALERT_2, BCE_ALERT_CLASS_2};
    case 0x04:
      return {WM_BCE_ALERT_4, BCE_ALERT_CLASS_4};
    case 0x08:
      return {WM_BCE_ALERT_8, BCE_ALERT_CLASS_8};
    case 0x10:
      return {WM_BCE_ALERT_16, BCE_ALERT_CLASS_16};
    default:
      return {};
  }
}

Message unpackPackets(std::string_view bytes, Joining joining, std::size_t maxData) {
  Message m;
  ByteReader r(bytes);
  std::uint8_t start = 0;
  std::uint16_t length = 0;
  std::string_view body;
  // Each packet must fit whole in what arrived; reading stops at the first that does not.
  while (r.has(wire::kHeaderSize) && r.u8(start) && start == wire::kStart && r.be16(length) &&
         length >= wire::kLengthCounted && r.bytes(length, body)) {
    ByteReader packet(body);
    packet.u8(m.flags);
    packet.u8(m.command);
    const std::string_view data = packet.rest();
    m.data.append(data.substr(0, maxData - std::min(maxData, m.data.size())));
    ++m.packets;
    if (joining == Joining::WhileMore && !(m.flags & wire::kFlagMore)) break;
  }
  return m;
}

// ---- StreamReader ------------------------------------------------------------

namespace {
constexpr int kEmptyReadsBeforeDrop = 100;
}

bool StreamReader::midMessage() const {
  return state_ != State::Idle || responseOpen_ || alertOpen_;
}

void StreamReader::dropPartial(const char* why) {
  state_ = State::Idle;
  body_.clear();
  response_.clear();
  alert_.clear();
  responseOpen_ = alertOpen_ = overflow_ = false;
  lengthHave_ = 0;
  if (events_.dropped) events_.dropped(why);
}

std::size_t StreamReader::bytesWanted() const {
  switch (state_) {
    case State::Idle:
      return inText_ ? 0 : wire::kHeaderSize;
    case State::Length:
      return 2 - static_cast<std::size_t>(lengthHave_) + 2;
    case State::Body:
      return bodyLength_ - body_.size();
  }
  return 0;
}

bool StreamReader::emptyRead() {
  inText_ = false;  // a whole read without bytes: any text has ended
  if (!midMessage()) {
    emptyReads_ = 0;
    return false;
  }
  if (++emptyReads_ < kEmptyReadsBeforeDrop) return false;
  emptyReads_ = 0;
  dropPartial("printer stopped mid-response");
  return true;
}

void StreamReader::feed(std::string_view bytes) {
  if (!bytes.empty()) emptyReads_ = 0;
  std::size_t i = 0;
  while (i < bytes.size()) {
    switch (state_) {
      case State::Idle: {
        const std::size_t start = bytes.find(static_cast<char>(wire::kStart), i);
        const std::size_t end = start == std::string_view::npos ? bytes.size() : start;
        if (end > i && events_.otherBytes) events_.otherBytes(bytes.substr(i, end - i));
        inText_ = start == std::string_view::npos;
        if (inText_) return;
        i = start + 1;
        state_ = State::Length;
        lengthHave_ = 0;
        break;
      }
      case State::Length:
        lengthBytes_[lengthHave_++] = static_cast<std::uint8_t>(bytes[i++]);
        if (lengthHave_ == 2) {
          bodyLength_ = loadBe16(lengthBytes_);
          if (bodyLength_ < wire::kLengthCounted) {
            // No room for flags and command: look for the next packet.
            state_ = State::Idle;
            if (events_.dropped) events_.dropped("packet length below 2");
          } else {
            body_.clear();
            state_ = State::Body;
          }
        }
        break;
      case State::Body: {
        const std::size_t take = std::min(bodyLength_ - body_.size(), bytes.size() - i);
        body_.append(bytes.substr(i, take));
        i += take;
        if (body_.size() == bodyLength_) finishPacket();
        break;
      }
    }
  }
}

void StreamReader::finishPacket() {
  state_ = State::Idle;
  ByteReader packet(body_);
  std::uint8_t flags = 0, command = 0;
  packet.u8(flags);  // the length was at least 2
  packet.u8(command);
  std::string_view data = packet.rest();
  if (data.empty()) {
    if (command == wire::kPrintData) {
      if (events_.confirmation) events_.confirmation(flags);
    } else if (events_.dropped) {
      events_.dropped("empty packet that is no confirmation");
    }
    return;
  }
  const bool more = flags & wire::kFlagMore;
  std::string& message = command >= wire::kFirstAlert ? alert_ : response_;
  bool& open = command >= wire::kFirstAlert ? alertOpen_ : responseOpen_;
  if (message.size() + data.size() > kMaxMessage) {
    if (!overflow_ && events_.dropped) events_.dropped("message over 64 KiB cut");
    overflow_ = true;
    data = data.substr(0, kMaxMessage - message.size());
  }
  message.append(data);
  open = more;
  if (more) return;
  std::string whole = std::move(message);
  message.clear();
  overflow_ = false;
  if (command >= wire::kFirstAlert) {
    if (events_.alert) events_.alert(command, std::move(whole));
  } else if (events_.response) {
    events_.response(flags, command, std::move(whole));
  }
}

}  // namespace wf::bce::npa
