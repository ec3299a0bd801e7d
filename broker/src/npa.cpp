#include "npa.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "broker/corbce.h"

namespace wf::bce::npa {

namespace {

constexpr std::uint32_t kTemplateCount = 140;

struct Templates {
  std::array<std::string, kTemplateCount> byCode;

  void set(std::uint32_t code, std::initializer_list<int> bytes) {
    std::string t;
    for (int b : bytes) t.push_back(static_cast<char>(b));
    byCode[code] = std::move(t);
  }
  // Codes first..last: the template with its last byte counting up from `start`.
  void range(std::uint32_t first, std::uint32_t last, std::initializer_list<int> prefix, int start) {
    for (std::uint32_t c = first; c <= last; ++c) {
      set(c, prefix);
      byCode[c].push_back(static_cast<char>(start + static_cast<int>(c - first)));
    }
  }

  Templates() {
    set(0, {0xA5, 0x00, 0x00});
    range(1, 13, {0xA5, 0x00, 0x03, 0x50, 0x04}, 0x00);
    set(16, {0xA5, 0x00, 0x03, 0x50, 0x01, 0x00});
    set(18, {0xA5, 0x00, 0x04, 0x50, 0x01, 0x02, 0x00});
    set(19, {0xA5, 0x00, 0x04, 0x50, 0x01, 0x03, 0x00});
    range(20, 21, {0xA5, 0x00, 0x03, 0x50, 0x01}, 0x04);
    for (std::uint32_t c = 32; c <= 35; ++c) set(c, {0xA5, 0x00, 0x04, 0x50, 0x02, static_cast<int>(c - 32), 0x00});
    range(48, 56, {0xA5, 0x00, 0x03, 0x50, 0x03}, 0x00);
    set(60, {0xA5, 0x00, 0x06, 0x50, 0x03, 0x03, 0x00, 0x00, 0x00});
    set(64, {0xA5, 0x00, 0x03, 0x50, 0xE0, 0xE0});
    range(65, 66, {0xA5, 0x00, 0x04, 0x50, 0xE0, 0xE1}, 0x00);
    set(67, {0xA5, 0x00, 0x04, 0x50, 0xE0, 0xE1, 0x04});
    range(68, 69, {0xA5, 0x00, 0x05, 0x50, 0xE0, 0xE1, 0x05}, 0x00);
    range(70, 72, {0xA5, 0x00, 0x03, 0x50, 0xE0}, 0xE2);
    range(73, 74, {0xA5, 0x00, 0x04, 0x50, 0xE0, 0xE5}, 0x00);
    range(75, 77, {0xA5, 0x00, 0x04, 0x50, 0xE0, 0xE6}, 0x00);
    range(78, 82, {0xA5, 0x00, 0x04, 0x50, 0xE0, 0xE7}, 0x00);
    range(83, 84, {0xA5, 0x00, 0x04, 0x50, 0xE0, 0xE8}, 0x00);
    set(85, {0xA5, 0x00, 0x03, 0x50, 0xE0, 0xEA});
    range(86, 87, {0xA5, 0x00, 0x04, 0x50, 0xE0, 0xEB}, 0x00);
    set(88, {0xA5, 0x00, 0x03, 0x50, 0xE0, 0xEC});
    set(89, {0xA5, 0x00, 0x07, 0x50, 0xE0, 0xEB, 0x01, 0x00, 0xC9, 0x00});
    set(90, {0xA5, 0x00, 0x07, 0x50, 0xE0, 0xEB, 0x01, 0x00, 0xC9, 0x02});
    set(91, {0xA5, 0x00, 0x03, 0x50, 0xE0, 0x03});
    range(92, 96, {0xA5, 0x00, 0x03, 0x50, 0xE0}, 0x10);
    set(97, {0xA5, 0x00, 0x03, 0x50, 0xE0, 0x16});
    range(99, 102, {0xA5, 0x00, 0x03, 0x40, 0xE0}, 0x09);
    set(103, {0xA5, 0x00, 0x05, 0x50, 0xE0, 0xE1, 0x03, 0x01});
    set(104, {0xA5, 0x00, 0x05, 0x50, 0xE0, 0xE1, 0x03, 0x00});
    set(105, {0xA5, 0x00, 0x03, 0x50, 0xE0, 0x0E});
    set(106, {0xA5, 0x00, 0x04, 0x50, 0xE0, 0xE1, 0x02});
    set(107, {0xA5, 0x00, 0x04, 0x50, 0xE0, 0x0B, 0x03});
    set(108, {0xA5, 0x00, 0x04, 0x50, 0xE0, 0x0B, 0x02});
    set(109, {0xA5, 0x00, 0x05, 0x50, 0xE0, 0xE7, 0x08, 0x00});
    set(110, {0xA5, 0x00, 0x06, 0x50, 0xE0, 0xEB, 0x00, 0x00, 0xC8});
    set(111, {0xA5, 0x00, 0x04, 0x40, 0xE0, 0x0B, 0x01});
    set(112, {0xA5, 0x00, 0x04, 0x50, 0xE0, 0x0B, 0x04});
    range(113, 115, {0xA5, 0x00, 0x03, 0x50, 0xE1}, 0x00);
    set(116, {0xA5, 0x00, 0x03, 0x50, 0xE0, 0x40});
    range(117, 119, {0xA5, 0x00, 0x03, 0x50, 0xE0}, 0x33);
    range(120, 126, {0xA5, 0x00, 0x03, 0x50, 0xE0}, 0x18);
    set(127, {0xA5, 0x00, 0x03, 0x50, 0xE0, 0x17});
    set(128, {0xA5, 0x00, 0x03, 0x50, 0xE0, 0x30});
    set(129, {0xA5, 0x00, 0x03, 0x40, 0x05, 0x01});
    set(130, {0xA5, 0x00, 0x03, 0x40, 0xE0, 0x31});
    set(131, {0xA5, 0x00, 0x03, 0x50, 0xE0, 0x36});
    range(132, 135, {0xA5, 0x00, 0x03, 0x50, 0xE0}, 0x50);
    set(136, {0xA5, 0x00, 0x07, 0x50, 0xE0, 0xEB, 0x01, 0x00, 0xC9, 0x08});
    range(137, 138, {0xA5, 0x00, 0x03, 0x50, 0x05}, 0x00);
  }
};

const Templates& templates() {
  static const Templates t;
  return t;
}

constexpr const char* kPjlLines[kLastPjlCode - kFirstPjlCode + 1] = {
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
  return code == kCaptureDsa || code == 60 || code == kPanelAlertsOff || code == kPanelAlertsOn ||
         code == kCaptureClasses;
}

std::string_view requestTemplate(std::uint32_t code) {
  return code < kTemplateCount ? std::string_view(templates().byCode[code]) : std::string_view();
}

std::optional<std::string> buildRequest(std::uint32_t code, std::string_view data, bool wantReply,
                                        std::size_t maxPacket) {
  const std::string_view t = requestTemplate(code);
  if (t.empty()) return std::nullopt;
  std::string packet(t);
  packet += data;
  if (packet.size() > std::min(maxPacket, kMaxRequestPacket)) return std::nullopt;
  // Templates shorter than a header (code 0) carry no flags to change.
  if (packet.size() >= kHeaderSize && !wantReply) packet[3] = static_cast<char>(packet[3] & ~kFlagReply);
  const std::size_t length = (static_cast<std::uint8_t>(t[1]) << 8 | static_cast<std::uint8_t>(t[2])) + data.size();
  packet[1] = static_cast<char>((length >> 8) & 0xFF);
  packet[2] = static_cast<char>(length & 0xFF);
  return packet;
}

const char* pjlLine(std::uint32_t code) {
  if (code < kFirstPjlCode || code > kLastPjlCode) return nullptr;
  return kPjlLines[code - kFirstPjlCode];
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

std::string printDataPacket(std::string_view chunk) {
  const std::size_t length = chunk.size() + 2;
  std::string p;
  p.reserve(kHeaderSize + chunk.size());
  p.push_back(static_cast<char>(kStart));
  p.push_back(static_cast<char>((length >> 8) & 0xFF));
  p.push_back(static_cast<char>(length & 0xFF));
  p.push_back(static_cast<char>(kFlagReply));
  p.push_back(0);
  p += chunk;
  return p;
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
  if (mask & BCE_ALERT_JOB_STATS) b |= 0x01;
  if (mask & BCE_ALERT_CLASS_2) b |= 0x02;
  if (mask & BCE_ALERT_CLASS_4) b |= 0x04;
  if (mask & BCE_ALERT_CLASS_8) b |= 0x08;
  if (mask & BCE_ALERT_CLASS_16) b |= 0x10;
  return b;
}

AlertClass classifyAlert(std::uint8_t command, std::string_view data) {
  if (command != kFirstAlertCommand || data.empty()) return {};
  if (static_cast<std::uint8_t>(data[0]) == 0xE1) return {WM_BCE_ROP_ALERT, BCE_ALERT_ROP};
  if (data.size() < 2) return {};
  switch (static_cast<std::uint8_t>(data[1])) {
    case 1: return {WM_BCE_JS_ALERT, BCE_ALERT_JOB_STATS};
    case 2: return {WM_BCE_ALERT_2, BCE_ALERT_CLASS_2};
    case 4: return {WM_BCE_ALERT_4, BCE_ALERT_CLASS_4};
    case 8: return {WM_BCE_ALERT_8, BCE_ALERT_CLASS_8};
    case 16: return {WM_BCE_ALERT_16, BCE_ALERT_CLASS_16};
    default: return {};
  }
}

Message unpackPackets(std::string_view bytes, Joining joining, std::size_t maxData) {
  Message m;
  std::size_t at = 0;
  while (at + kHeaderSize <= bytes.size() && static_cast<std::uint8_t>(bytes[at]) == kStart) {
    const std::size_t length =
        static_cast<std::uint8_t>(bytes[at + 1]) << 8 | static_cast<std::uint8_t>(bytes[at + 2]);
    if (length < 2 || at + 3 + length > bytes.size()) break;
    m.flags = static_cast<std::uint8_t>(bytes[at + 3]);
    m.command = static_cast<std::uint8_t>(bytes[at + 4]);
    const std::string_view data = bytes.substr(at + kHeaderSize, length - 2);
    m.data.append(data.substr(0, maxData - std::min(maxData, m.data.size())));
    ++m.packets;
    at += 3 + length;
    if (joining == Joining::WhileMore && !(m.flags & kFlagMore)) break;
  }
  return m;
}

// ---- StreamReader ------------------------------------------------------------

namespace {
constexpr int kEmptyReadsBeforeDrop = 100;
}

bool StreamReader::midMessage() const { return state_ != State::Idle || responseOpen_ || alertOpen_; }

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
    case State::Idle: return inText_ ? 0 : kHeaderSize;
    case State::Length: return 2 - static_cast<std::size_t>(lengthHave_) + 2;
    case State::Body: return bodyLength_ - body_.size();
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
        const std::size_t start = bytes.find(static_cast<char>(kStart), i);
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
          bodyLength_ = static_cast<std::size_t>(lengthBytes_[0]) << 8 | lengthBytes_[1];
          if (bodyLength_ < 2) {
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
  const auto flags = static_cast<std::uint8_t>(body_[0]);
  const auto command = static_cast<std::uint8_t>(body_[1]);
  std::string_view data = std::string_view(body_).substr(2);
  if (bodyLength_ == 2) {
    if (command == 0) {
      if (events_.confirmation) events_.confirmation(flags);
    } else if (events_.dropped) {
      events_.dropped("empty packet that is no confirmation");
    }
    return;
  }
  const bool more = flags & kFlagMore;
  std::string& message = command >= kFirstAlertCommand ? alert_ : response_;
  bool& open = command >= kFirstAlertCommand ? alertOpen_ : responseOpen_;
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
  if (command >= kFirstAlertCommand) {
    if (events_.alert) events_.alert(command, std::move(whole));
  } else if (events_.response) {
    events_.response(flags, command, std::move(whole));
  }
}

}  // namespace wf::bce::npa
