#include "sim/printer/printer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <tuple>
#include <utility>

#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "protocol/alert_classes.h"
#include "protocol/replies.h"
#include "protocol/requests.h"
#include "sim/printer/alerts.h"
#include "sim/printer/npa.h"
#include "sim/printer/pjl.h"
#include "sim/printer/resources.h"
#include "sim/printer/tidewater.h"

namespace wf::sim {

namespace {

namespace wire = protocol::npa;
namespace layout = protocol::reply;
namespace request = protocol::request::request_data;

constexpr std::uint8_t kUserPageCountKind = 4;

std::string upper(std::string_view text) {
  std::string out(text);
  for (auto& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// The byte at `i`, or 0 past the end: a request cut short reads as zeros.
std::uint8_t byteAt(std::string_view s, std::size_t i) {
  ByteReader in(s);
  std::uint8_t b = 0;
  if (in.seek(i)) in.u8(b);
  return b;
}

std::string list(const std::vector<std::string>& records) {
  std::string out(1, static_cast<char>(records.size()));
  for (const auto& r : records) out += r;
  return out;
}

const char* kindName(LogKind kind) {
  switch (kind) {
    case LogKind::Packet:
      return "packet";
    case LogKind::Sync:
      return "sync";
    case LogKind::Pjl:
      return "pjl";
    case LogKind::PrintData:
      return "data";
    case LogKind::Noise:
      return "noise";
    case LogKind::DeviceId:
      return "devid";
    case LogKind::Connection:
      return "port";
  }
  return "?";
}

}  // namespace

std::string formatLogEntry(const LogEntry& entry) {
  std::string line = entry.direction == Direction::Received ? "in " : "out ";
  line += kindName(entry.kind);
  if (entry.kind == LogKind::Connection) return line + " " + entry.bytes;
  char hex[4];
  for (unsigned char c : entry.bytes) {
    std::snprintf(hex, sizeof hex, " %02X", c);
    line += hex;
  }
  return line;
}

PrinterModel::PrinterModel(Profile profile) : profile_(std::move(profile)) {
  if (keepsSettings())
    for (auto v = tidewater::kFirstVariable; v <= tidewater::kLastVariable; ++v)
      if (auto it = profile_.omVars.find(v); it != profile_.omVars.end()) factorySettings_[v] = it->second;
}

bool PrinterModel::keepsSettings() const {
  return profile_.family == "Tidewater";
}

std::vector<Outgoing> PrinterModel::receive(std::string_view bytes) {
  std::lock_guard lock(mutex_);
  pending_.append(bytes);
  std::vector<Outgoing> out;
  processPending(out);
  return out;
}

bool PrinterModel::packetMode() const {
  return profile_.npa == NpaMode::On || (profile_.npa == NpaMode::Auto && synced_);
}

// Splits the host's byte stream into PJL jobs, NPA packets and print data.
// Stops at an incomplete unit and goes on when more bytes come.
void PrinterModel::processPending(std::vector<Outgoing>& out) {
  const std::string_view uel = pjl::kUel;
  const std::string_view sync = npa::kSyncPacket;
  auto startsPartially = [&](std::string_view whole) {
    return pending_.size() < whole.size() && whole.starts_with(pending_);
  };
  while (!pending_.empty()) {
    if (inJob_) {
      auto end = pending_.find(uel);
      if (end == std::string::npos) {
        // Keep a possibly cut UEL for the next read.
        const auto keep = std::min(pending_.size(), uel.size() - 1);
        jobText_.append(pending_, 0, pending_.size() - keep);
        pending_.erase(0, pending_.size() - keep);
        return;
      }
      jobText_.append(pending_, 0, end);
      pending_.erase(0, end + uel.size());
      inJob_ = false;
      dropNul_ = true;
      std::string body;
      body.swap(jobText_);
      record(Direction::Received, LogKind::Pjl, std::string(uel) + body + std::string(uel));
      handleJob(body, out);
      continue;
    }
    const auto c = static_cast<std::uint8_t>(pending_[0]);
    if (c == npa::kStart && packetMode()) {
      auto size = npa::packetSize(pending_);
      if (!size) return;
      // A sync packet inside a packet still forming means the host started over.
      auto resync = pending_.find(sync, 1);
      if (resync != std::string::npos && resync < *size) {
        record(Direction::Received, LogKind::PrintData, pending_.substr(0, resync));
        pending_.erase(0, resync);
        continue;
      }
      std::string packet = pending_.substr(0, *size);
      pending_.erase(0, *size);
      dropNul_ = true;
      handlePacket(packet, out);
      continue;
    }
    if (c == npa::kStart && profile_.npa == NpaMode::Auto) {
      if (startsPartially(sync)) return;
      if (std::string_view(pending_).starts_with(sync)) {
        pending_.erase(0, sync.size());
        synced_ = true;
        record(Direction::Received, LogKind::Sync, sync);
        continue;
      }
    }
    if (c == 0x1B) {
      if (startsPartially(uel)) return;
      if (std::string_view(pending_).starts_with(uel)) {
        pending_.erase(0, uel.size());
        inJob_ = true;
        synced_ = false;  // PJL takes an AUTO printer out of packet mode
        continue;
      }
    }
    if (c == '@') {
      // A job that follows a job's closing UEL without its own.
      if (startsPartially(pjl::kPrefix)) return;
      if (std::string_view(pending_).starts_with(pjl::kPrefix)) {
        inJob_ = true;
        continue;
      }
    }
    if (c == 0 && dropNul_) {  // the NUL a host writes after a query text or the probe
      pending_.erase(0, 1);
      continue;
    }
    // Print data up to the next byte that may start something else.
    std::size_t end = 1;
    while (end < pending_.size()) {
      const auto b = static_cast<std::uint8_t>(pending_[end]);
      if (b == 0x1B || b == '@' || (b == npa::kStart && profile_.npa != NpaMode::Off)) break;
      ++end;
    }
    dropNul_ = false;
    record(Direction::Received, LogKind::PrintData, pending_.substr(0, end));
    printData(std::string_view(pending_).substr(0, end));
    tallyPages(std::string_view(pending_).substr(0, end));
    pending_.erase(0, end);
  }
}

void PrinterModel::handleJob(std::string_view body, std::vector<Outgoing>& out) {
  const auto job = pjl::parseJob(body);
  for (const auto& command : job.commands) {
    if (pjl::isNpaQuery(command)) {
      ++pjlQueries_;
      if (knobs_.silent || profile_.pjlSilent) continue;
      send(out, LogKind::Pjl, pjl::npaQueryReply(profile_.npa), knobs_.replyDelayMs);
    } else if (auto setting = pjl::parseDefault(command)) {
      pjlDefaults_[setting->first] = setting->second;
      // The printer keeps a value in range where its panel variable shows it.
      const auto variable = keepsSettings() ? tidewater::variableOf(setting->first) : std::nullopt;
      if (variable && tidewater::accepts(*variable, setting->second))
        profile_.omVars[*variable] = setting->second;
    } else {
      pjlCommands_.push_back(command);
      if (keepsSettings() && command == "INITIALIZE")
        for (const auto& [variable, value] : factorySettings_) profile_.omVars[variable] = value;
    }
  }
  tallyCommands(job.commands);
  if (!job.printData.empty()) {
    printData(job.printData);
    // The UEL that closed the job follows its print data: the job is done.
    tallyPages(job.printData);
    endTally();
    sendOutcomes(out);
  }
}

void PrinterModel::handlePacket(std::string_view packet, std::vector<Outgoing>& out) {
  if (packet == npa::kSyncPacket) {
    synced_ = true;
    record(Direction::Received, LogKind::Sync, packet);
    return;
  }
  record(Direction::Received, LogKind::Packet, packet);
  const auto p = npa::decode(packet);
  if (knobs_.silent) return;
  if (p.command == npa::kPrintData) {
    std::uint8_t flags = 0;
    if (knobs_.confirmErrors > 0) {
      --knobs_.confirmErrors;  // not kept: the host sends it again
      flags = npa::kFlagError;
    } else {
      printData(p.data);
      scanPrintStream(p.data);
    }
    if (!knobs_.withholdConfirmations)
      send(out, LogKind::Packet, npa::encode(flags, npa::kPrintData, {}), knobs_.confirmDelayMs);
    sendOutcomes(out);
    return;
  }
  if (p.command >= npa::kFirstAlert || p.data.empty()) return;
  auto reply = answer(p.data, p.command);
  if (reply && (p.flags & npa::kFlagReply)) sendReply(p.command, std::move(*reply), out);
  sendOutcomes(out);
}

// Outcomes of a resource command follow its acknowledgement, as class alerts
// like any other: only when captured, held with the others under deferAlerts.
void PrinterModel::sendOutcomes(std::vector<Outgoing>& out) {
  std::vector<std::string> outcomes;
  outcomes.swap(outcomes_);
  for (const auto& data : outcomes) {
    if (!(enabled_ & alerts::maskFromClassByte(byteAt(data, protocol::alerts::kClassByteOffset)))) continue;
    std::string packets = npa::encodeMessage(0, npa::kClassAlert, data, knobs_.replyPacketData);
    if (knobs_.deferAlerts)
      deferred_.push_back(std::move(packets));
    else
      send(out, LogKind::Packet, std::move(packets), 0);
  }
}

// The reply knobs act here. Each packet is its own log entry; held alerts go
// out after the reply's first packet, or before a reply of one packet, so the
// host meets them while it waits for the response.
void PrinterModel::sendReply(std::uint8_t command, Reply reply, std::vector<Outgoing>& out) {
  if (knobs_.replyCommand) command = *knobs_.replyCommand;
  if (knobs_.errorReplies > 0) {
    --knobs_.errorReplies;
    reply.flags |= npa::kFlagError;
  }
  reply.data.append(knobs_.replyPadding, '\0');
  if (knobs_.replyCut && reply.data.size() > *knobs_.replyCut) reply.data.resize(*knobs_.replyCut);
  std::uint32_t delay = knobs_.replyDelayMs;
  if (knobs_.lateReplies > 0) {
    --knobs_.lateReplies;
    delay = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(std::uint64_t{delay} + kLateReplyMs, kInfinite - 1));
  }
  std::string bytes = npa::encodeMessage(reply.flags, command, reply.data, knobs_.replyPacketData);
  if (knobs_.stallReplies) bytes.resize(bytes.size() / 2);
  std::vector<std::string> packets;
  for (std::string_view rest = bytes; !rest.empty();) {
    auto size = npa::packetSize(rest).value_or(rest.size());
    packets.emplace_back(rest.substr(0, size));
    rest.remove_prefix(size);
  }
  std::vector<std::string> alerts;
  alerts.swap(deferred_);
  const std::size_t alertsAfter = packets.size() > 1 ? 1 : 0;

  bool first = true;
  auto emit = [&](LogKind kind, std::string b) {
    send(out, kind, std::move(b), first ? delay : 0);
    first = false;
  };
  if (!knobs_.noise.empty()) emit(LogKind::Noise, knobs_.noise);
  if (knobs_.shortPacketFirst) emit(LogKind::Packet, npa::encode(0, command, {}));
  for (std::size_t i = 0; i <= packets.size(); ++i) {
    if (i == alertsAfter)
      for (auto& a : alerts) emit(LogKind::Packet, std::move(a));
    if (i < packets.size()) emit(LogKind::Packet, std::move(packets[i]));
  }
}

// Every reply's data starts with the request's first data byte (its sub-code).
std::optional<PrinterModel::Reply> PrinterModel::answer(const std::string& d, std::uint8_t command) {
  std::optional<Reply> reply;
  switch (command) {
    case wire::kCharacteristics:
      reply = answerCharacteristics(d);
      break;
    case wire::kControl:
      reply = answerControl(d);
      break;
    case wire::kStatus:
      reply = answerStatus(d);
      break;
    case wire::kPanel:
      reply = answerPanel(d);
      break;
    case wire::kResources:
      reply = answerResources(d);
      break;
    default:
      break;
  }
  if (!reply) reply = Reply{0, std::string{d[0], '\0'}};  // generic acknowledgement
  return reply;
}

std::optional<PrinterModel::Reply> PrinterModel::answerStatus(const std::string& d) {
  namespace status = wire::status;
  const auto sub = byteAt(d, request::kSubCode);
  std::string r(1, d[0]);
  if (sub == status::kDevice) {
    for (auto b : profile_.status) r.push_back(static_cast<char>(b));
  } else if (sub == status::kInputs) {
    r += list(profile_.inputStatus);
  } else if (sub == status::kOutputs) {
    r += list(profile_.outputStatus);
  } else if (sub >= status::kFirstAlertList && sub < status::kFirstAlertList + status::kAlertListCount) {
    r += list(profile_.alertLists[sub - status::kFirstAlertList]);
  } else if (sub == status::kPageCounts) {
    ByteWriter w;
    w.u8(static_cast<std::uint32_t>(profile_.pageCounts.size()));
    for (const auto& [kind, count] : profile_.pageCounts) w.u8(kind).be32(count);
    r += w.str();
  } else if (sub == status::kSupplies) {
    r += list(profile_.suppliesStatus);
  } else {
    return std::nullopt;
  }
  return Reply{0, r};
}

std::optional<PrinterModel::Reply> PrinterModel::answerCharacteristics(const std::string& d) {
  namespace chars = wire::characteristics;
  const auto sub = byteAt(d, request::kSubCode);
  ByteWriter w;
  w.u8(sub);
  if (sub == chars::kSummary) {
    writeSummary(w);
  } else if (sub == chars::kInputs) {
    w.u8(static_cast<std::uint32_t>(profile_.inputs.size()));
    for (const auto& in : profile_.inputs) {
      namespace entry = layout::input;
      ByteWriter e;
      e.u8(in.id).be32(in.capacity).padTo(entry::kPaperType).u8(in.paperType).u8(in.formSize);
      e.padTo(entry::kName).text8(in.name).u8(0);  // no further data
      w.bytes(e.str());
    }
  } else if (sub == chars::kOutputs) {
    w.u8(static_cast<std::uint32_t>(profile_.outputs.size()));
    for (const auto& bin : profile_.outputs)
      w.u8(bin.id).u8(bin.type).be32(bin.capacity).u8(bin.flags1).u8(bin.flags2).text8(bin.name);
  } else if (sub == chars::kStorage) {
    w.u8(static_cast<std::uint32_t>(profile_.storage.size()));
    for (const auto& item : profile_.storage) w.text8(resources::liveStorageText(item, profile_.devices));
  } else {
    return std::nullopt;
  }
  return Reply{0, w.take()};
}

// The summary's offsets count from the byte after the sub-code already written.
void PrinterModel::writeSummary(ByteWriter& w) const {
  namespace at = layout::summary;
  const std::size_t base = w.size();
  w.reserve(base + at::kTexts + 3 + profile_.model.size() + profile_.revision.size() +
            profile_.serial.size());
  w.padTo(base + at::kByte2).u8(profile_.summaryByte2);
  w.padTo(base + at::kDuplex).u8(profile_.duplex);
  w.padTo(base + at::kSpeed).u8(profile_.speed);
  w.padTo(base + at::kMemoryBytes).be32(profile_.memoryBytes).be16(profile_.maxPacket);
  w.padTo(base + at::kTexts).text8(profile_.model).text8(profile_.revision).text8(profile_.serial);
}

std::optional<PrinterModel::Reply> PrinterModel::answerControl(const std::string& d) {
  namespace control = wire::control;
  switch (byteAt(d, request::kSubCode)) {
    case control::kPowerOnReset:
      ++powerOnResets_;
      // The printer starts afresh: buffering as set, and no host's classes.
      resources::applyBufferingSettings(profile_);
      enabled_ = 0;
      return std::nullopt;
    case control::kCaptureDeviceStatus:
      if (constexpr auto at = request::capture::kClassBytes;
          d.size() >= at + protocol::alerts::kDeviceStatusBytes) {
        const auto mask = alerts::maskFromCapture(byteAt(d, at), byteAt(d, at + 1), byteAt(d, at + 2));
        // A release names no class and is never refused.
        if (mask && knobs_.failCaptures > 0) {
          --knobs_.failCaptures;
          return Reply{npa::kFlagError, std::string{d[0], '\0'}};
        }
        enabled_ = (enabled_ & ~alerts::kDeviceStatusBits) | mask;
      }
      return std::nullopt;
    case control::kProbe:
      return Reply{0, d};  // the probe is echoed
    case control::kResetHostPageCount:
      ++hostPageCountResets_;
      // The host's reset clears the user page count (kind 4).
      for (auto& [kind, count] : profile_.pageCounts)
        if (kind == kUserPageCountKind) count = 0;
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

std::optional<PrinterModel::Reply> PrinterModel::answerPanel(const std::string& d) {
  namespace panel = wire::panel;
  const auto sub = byteAt(d, request::kSubCode);
  const auto op = byteAt(d, request::kOperation);
  switch (sub) {
    case panel::kAlertClasses:
      enabled_ = (enabled_ & ~alerts::kClassBits);
      for (std::uint8_t bit = protocol::alerts::kFirstClassByte; bit <= protocol::alerts::kLastClassByte;
           bit <<= 1)
        if (op & bit) enabled_ |= alerts::maskFromClassByte(bit);
      return std::nullopt;
    case panel::kButton:
      buttons_.push_back(byteAt(d, request::button::kButton));
      return Reply{0, ByteWriter().u8(panel::kButton).zeros(2).take()};
    case panel::kDisplay:
      if (op == panel::kDisplayRead) return Reply{0, std::string(1, d[0]) + panelBytes()};
      if (constexpr auto at = request::panel_alerts::kSwitch; op == panel::kDisplayAlerts && d.size() > at) {
        enabled_ = byteAt(d, at) ? (enabled_ | alerts::kPanel) : (enabled_ & ~alerts::kPanel);
      }
      return std::nullopt;
    case panel::kOmVariable:
      if (op == panel::kVariableRead || op == panel::kVariableSet) return variable(d, false);
      return std::nullopt;
    case panel::kMiscVariable:
      if (op == panel::kVariableRead) return variable(d, true);
      if (constexpr auto at = request::panel_command::kCommand; op == panel::kVariableSet && d.size() > at) {
        constexpr auto argument = request::panel_command::kArgument;
        if (d.size() > argument && byteAt(d, at) == panel::kCommandStartDocument) {
          if (byteAt(d, argument) == panel::kStartDocumentBegin) finishJob();  // a document starts
        } else {
          panelCommands_.push_back(byteAt(d, at));
        }
        return Reply{0, d.substr(0, argument)};
      }
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

// Acknowledges a command it takes or refuses; the outcome follows as alerts.
std::optional<PrinterModel::Reply> PrinterModel::answerResources(const std::string& d) {
  namespace command = layout::resource_command;
  if (byteAt(d, request::kSubCode) != wire::resources::kCommand) return std::nullopt;
  ByteWriter ack;
  ack.u8(wire::resources::kCommand);
  const std::string_view bytes = std::string_view(d).substr(1);
  if (byteAt(bytes, 0) == command::kBufferingSummary)
    return Reply{0, ack.u8(command::kTaken).bytes(resources::bufferingSummary(profile_)).take()};
  // With a forced result the command is checked on a copy and changes nothing.
  Profile changed = profile_;
  auto outcomes = resources::carryOut(changed, bytes);
  if (!outcomes) return Reply{0, ack.u8(command::kRefused).take()};
  // A command that reports nothing (a partition of 0) leaves the knob for the next.
  if (knobs_.resourceResult && !outcomes->empty()) {
    const auto kind = static_cast<std::uint8_t>(outcomes->front().at(protocol::reply::resource_alert::kKind));
    outcomes_ = {alerts::encodeResourceAlert(kind, false, *knobs_.resourceResult)};
    knobs_.resourceResult.reset();
  } else {
    profile_ = std::move(changed);
    outcomes_ = std::move(*outcomes);
  }
  return Reply{0, ack.u8(command::kTaken).take()};
}

// Reads answer the request's four bytes then the value; sets answer the four bytes.
PrinterModel::Reply PrinterModel::variable(const std::string& d, bool misc) {
  ByteReader in(d);
  std::uint8_t sub = 0, op = 0;
  std::uint16_t name = 0;
  if (!(in.u8(sub) && in.u8(op) && in.be16(name))) return Reply{npa::kFlagError, d};
  const std::string echo = d.substr(0, in.position());
  auto& vars = misc ? profile_.miscVars : profile_.omVars;
  const bool set = !misc && op == wire::panel::kVariableSet;
  if (knobs_.failVariables.count(name) || (misc && profile_.miscErrors.count(name)))
    return Reply{npa::kFlagError, echo};
  if (set) {
    vars[name] = std::string(in.rest());
    return Reply{0, echo};
  }
  auto it = vars.find(name);
  if (it == vars.end()) return Reply{npa::kFlagError, echo};
  return Reply{0, echo + it->second};
}

std::string PrinterModel::panelBytes() const {
  std::string text = profile_.panelText.substr(0, layout::panel::kSize);
  text.resize(layout::panel::kSize, ' ');
  return text;
}

void PrinterModel::printData(std::string_view bytes) {
  currentJob_.append(bytes);
}

void PrinterModel::finishJob() {
  if (!currentJob_.empty()) jobs_.push_back(std::move(currentJob_));
  currentJob_.clear();
  const auto job = pjl::parseJob(printStream_);
  printStream_.clear();
  tallyCommands(job.commands);
  tallyPages(job.printData);
  endTally();
}

void PrinterModel::tallyCommands(const std::vector<std::string>& commands) {
  for (const auto& command : commands) {
    if (auto name = pjl::jobName(command)) tally_.name = *name;
    if (auto setting = pjl::parseSet(command); setting && upper(setting->first) == "DUPLEX")
      tally_.duplex = upper(setting->second) == "ON";
  }
}

void PrinterModel::tallyPages(std::string_view bytes) {
  for (char c : bytes) {
    if (c == '\f') ++tally_.formFeeds;
    tally_.bytesAfterLast = c != '\f';
  }
  tally_.printed = tally_.printed || !bytes.empty();
}

void PrinterModel::scanPrintStream(std::string_view bytes) {
  printStream_.append(bytes);
  const std::string_view uel = pjl::kUel;
  for (auto at = printStream_.find(uel); at != std::string::npos; at = printStream_.find(uel)) {
    const auto job = pjl::parseJob(std::string_view(printStream_).substr(0, at));
    printStream_.erase(0, at + uel.size());
    tallyCommands(job.commands);
    if (job.printData.empty()) continue;
    tallyPages(job.printData);
    endTally();
  }
}

// Pages are form feeds, and one more when bytes follow the last.
void PrinterModel::endTally() {
  JobTally tally = std::exchange(tally_, {});
  if (!tally.printed) return;
  const std::uint32_t pages = tally.formFeeds + (tally.bytesAfterLast ? 1 : 0);
  std::uint32_t sheets = tally.duplex ? (pages + 1) / 2 : pages, sides = pages;
  alerts::JobStatistics stats;
  stats.seconds = knobs_.jobSeconds;
  stats.entries.resize(knobs_.jobSource);
  if (!stats.entries.empty()) {
    // The host turns these back into the real counts for this revision.
    if (correctedRevision()) std::tie(sheets, sides) = std::pair(sides, 3 * sides - 2 * sheets);
    stats.entries.back() = {sheets, sides, 0xFFFFFFFF};
  }
  stats.text1 =
      "HT:" + knobs_.jobHost + ";UR:" + knobs_.jobUser + ";JN:" + tally.name + ";QU:" + knobs_.jobQueue;
  outcomes_.push_back(alerts::encodeJobStatistics(stats));
}

// Meridian revisions whose job counts the host corrects: 3.10.0 and up to 3.02.9.
bool PrinterModel::correctedRevision() const {
  if (profile_.family != "Meridian") return false;
  unsigned long level = 0;
  for (char c : profile_.revision)
    if (c >= '0' && c <= '9') level = level * 10 + static_cast<unsigned long>(c - '0');
  return level == 3100 || level <= 3029;
}

void PrinterModel::endSession() {
  std::lock_guard lock(mutex_);
  finishJob();
  pending_.clear();
  jobText_.clear();
  inJob_ = false;
  dropNul_ = false;
  deferred_.clear();  // nobody is left to wait for a reply
  outcomes_.clear();
}

std::string PrinterModel::deviceId() const {
  std::lock_guard lock(mutex_);
  return profile_.deviceId;
}

std::optional<std::string> PrinterModel::deviceStatusAlert(std::uint32_t mask) {
  std::lock_guard lock(mutex_);
  const std::uint32_t enabled = enabled_ & alerts::kDeviceStatusBits;
  // Mask 0 says every condition cleared: any host that captured device status hears it.
  if (mask == 0 ? !enabled : !(mask &= enabled)) return std::nullopt;
  const auto b = alerts::deviceStatusBytes(mask);
  return emitAlert(npa::encode(0, npa::kDeviceStatusAlert, std::string(b.begin(), b.end())));
}

std::optional<std::string> PrinterModel::classAlert(std::string_view data) {
  std::lock_guard lock(mutex_);
  if (data.size() < 2 || !(enabled_ & alerts::maskFromClassByte(static_cast<std::uint8_t>(data[1]))))
    return std::nullopt;
  return emitAlert(npa::encodeMessage(0, npa::kClassAlert, data, knobs_.replyPacketData));
}

std::optional<std::string> PrinterModel::panelAlert() {
  std::lock_guard lock(mutex_);
  if (!(enabled_ & alerts::kPanel)) return std::nullopt;
  return emitAlert(npa::encode(0, npa::kClassAlert,
                               std::string(1, static_cast<char>(alerts::kPanelAlertTag)) + panelBytes()));
}

std::optional<std::string> PrinterModel::emitAlert(std::string packets) {
  if (knobs_.deferAlerts) {
    deferred_.push_back(std::move(packets));
    return std::string();
  }
  record(Direction::Sent, LogKind::Packet, packets);
  return packets;
}

std::size_t PrinterModel::deferredAlerts() const {
  std::lock_guard lock(mutex_);
  return deferred_.size();
}

void PrinterModel::noteSent(LogKind kind, std::string_view bytes) {
  std::lock_guard lock(mutex_);
  record(Direction::Sent, kind, bytes);
}

void PrinterModel::noteConnection(std::string_view what) {
  std::lock_guard lock(mutex_);
  record(Direction::Received, LogKind::Connection, what);
}

void PrinterModel::setKnobs(const Knobs& knobs) {
  std::lock_guard lock(mutex_);
  knobs_ = knobs;
}

Knobs PrinterModel::knobs() const {
  std::lock_guard lock(mutex_);
  return knobs_;
}

void PrinterModel::update(const std::function<void(Profile&)>& change) {
  std::lock_guard lock(mutex_);
  change(profile_);
}

Profile PrinterModel::state() const {
  std::lock_guard lock(mutex_);
  return profile_;
}

std::uint32_t PrinterModel::enabledAlerts() const {
  std::lock_guard lock(mutex_);
  return enabled_;
}

int PrinterModel::pjlQueryCount() const {
  std::lock_guard lock(mutex_);
  return pjlQueries_;
}

std::map<std::string, std::string> PrinterModel::pjlDefaults() const {
  std::lock_guard lock(mutex_);
  return pjlDefaults_;
}

std::vector<std::string> PrinterModel::pjlCommands() const {
  std::lock_guard lock(mutex_);
  return pjlCommands_;
}

std::vector<std::string> PrinterModel::printJobs() const {
  std::lock_guard lock(mutex_);
  auto jobs = jobs_;
  if (!currentJob_.empty()) jobs.push_back(currentJob_);
  return jobs;
}

std::vector<std::uint8_t> PrinterModel::buttonsPressed() const {
  std::lock_guard lock(mutex_);
  return buttons_;
}

std::vector<std::uint8_t> PrinterModel::panelCommands() const {
  std::lock_guard lock(mutex_);
  return panelCommands_;
}

int PrinterModel::powerOnResets() const {
  std::lock_guard lock(mutex_);
  return powerOnResets_;
}

int PrinterModel::hostPageCountResets() const {
  std::lock_guard lock(mutex_);
  return hostPageCountResets_;
}

std::vector<std::string> PrinterModel::pjlJobFirstLines() const {
  std::vector<std::string> lines;
  for (const auto& e : log()) {
    if (e.direction != Direction::Received || e.kind != LogKind::Pjl) continue;
    const auto first = e.bytes.find("\n@PJL ");
    if (first == std::string::npos) continue;
    const auto end = e.bytes.find('\n', first + 1);
    lines.push_back(e.bytes.substr(first + 1, end - first - 1));
  }
  return lines;
}

std::vector<LogEntry> PrinterModel::log() const {
  std::lock_guard lock(mutex_);
  return log_;
}

void PrinterModel::setLogSink(std::function<void(const LogEntry&)> sink) {
  std::lock_guard lock(mutex_);
  sink_ = std::move(sink);
}

void PrinterModel::record(Direction direction, LogKind kind, std::string_view bytes) {
  if (bytes.empty() && kind != LogKind::Connection) return;
  log_.push_back(LogEntry{direction, kind, std::string(bytes)});
  if (sink_) sink_(log_.back());
}

void PrinterModel::send(std::vector<Outgoing>& out, LogKind kind, std::string bytes, std::uint32_t delayMs) {
  record(Direction::Sent, kind, bytes);
  out.push_back(Outgoing{delayMs, std::move(bytes)});
}

}  // namespace wf::sim
