#include "sim/adapter/adapter_model.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_codec.h"
#include "transports/common/adapter_layout.h"

namespace wf::sim::adapter {

namespace wire = ::wf::adapter;
namespace kestrel = ::wf::adapter::kestrel;
namespace multiport = ::wf::adapter::multiport;

namespace {

// Per group: runs of (count, size), variables numbered from 0.
struct Run {
  int count;
  std::uint8_t size;
};
const std::map<std::uint8_t, std::vector<Run>>& sizeRuns() {
  static const std::map<std::uint8_t, std::vector<Run>> runs = {
      {6, {{2, 6}, {3, 1}, {2, 7}, {1, 3}, {2, 1}, {2, 64}, {1, 16}, {1, 8}, {1, 1}, {1, 0}}},
      {7, {{2, 1}, {1, 27}, {1, 0}}},
      {8,
       {{2, 1},
        {1, 44},
        {4, 1},
        {16, 48},
        {16, 16},
        {18, 1},
        {6, 2},
        {2, 1},
        {16, 39},
        {6, 1},
        {3, 2},
        {6, 0},
        {1, 6}}},
      {9, {{2, 1}, {1, 0}}},
      {10, {{2, 1}, {3, 4}, {1, 1}, {1, 4}, {1, 31}, {3, 1}, {1, 0}}},
      {11, {{5, 1}, {1, 0}}},
      {129, {{1, 1}, {1, 37}, {1, 1}, {2, 2}, {2, 1}, {1, 255}, {1, 1}}},
      {144, {{1, 1}, {1, 37}, {1, 1}, {4, 2}, {8, 1}, {1, 255}, {1, 1}}},
  };
  return runs;
}

int groupLength(std::uint8_t group) {
  const auto& runs = sizeRuns();
  const auto it = runs.find(group >= 129 && group <= 133 ? 129 : group);
  int n = 0;
  if (it != runs.end())
    for (const Run& r : it->second) n += r.count;
  return n;
}

void put(Bytes& b, std::size_t at, View v) {
  if (b.size() < at + v.size()) b.resize(at + v.size());
  std::copy(v.begin(), v.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
}
void putText(Bytes& b, std::size_t at, std::string_view text, std::size_t width) {
  Bytes field(width, 0);
  std::copy_n(text.begin(), std::min(text.size(), width), field.begin());
  put(b, at, field);
}
void put16(Bytes& b, std::size_t at, std::uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  storeBe16(&b[at], v);
}

// Letters, digits and a few marks in EBCDIC; anything else as a blank.
std::uint8_t toEbcdic(char c) {
  if (c >= 'A' && c <= 'I') return static_cast<std::uint8_t>(0xC1 + (c - 'A'));
  if (c >= 'J' && c <= 'R') return static_cast<std::uint8_t>(0xD1 + (c - 'J'));
  if (c >= 'S' && c <= 'Z') return static_cast<std::uint8_t>(0xE2 + (c - 'S'));
  if (c >= 'a' && c <= 'i') return static_cast<std::uint8_t>(0x81 + (c - 'a'));
  if (c >= 'j' && c <= 'r') return static_cast<std::uint8_t>(0x91 + (c - 'j'));
  if (c >= 's' && c <= 'z') return static_cast<std::uint8_t>(0xA2 + (c - 's'));
  if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(0xF0 + (c - '0'));
  switch (c) {
    case '_':
      return 0x6D;
    case '-':
      return 0x60;
    case '.':
      return 0x4B;
    case '/':
      return 0x61;
    default:
      return 0x40;
  }
}
void putEbcdic(Bytes& b, std::size_t at, std::string_view text, std::size_t width) {
  put(b, at, ebcdicField(text, width));
}

Bytes tagged(std::string_view tag, std::size_t size) {
  Bytes b(size, 0);
  putText(b, 0, tag, wire::kTagField);  // the first 21 characters; a longer tag loses its last
  return b;
}

bool tagIs(View d, std::string_view tag) {
  for (std::size_t i = 0; i < wire::kTagField; ++i) {
    const std::uint8_t want = i < tag.size() ? static_cast<std::uint8_t>(tag[i]) : 0;
    if (d[i] != want) return false;
  }
  return true;
}

std::string textAt(View v, std::size_t at, std::size_t width) {
  std::string s;
  for (std::size_t i = at; i < std::min(v.size(), at + width) && v[i]; ++i)
    s.push_back(static_cast<char>(v[i]));
  return s;
}

bool anyBytes(View v) {
  return std::any_of(v.begin(), v.end(), [](std::uint8_t b) { return b != 0; });
}

Node canonicalOf(const Bytes& tokenRing, std::uint8_t media) {
  Node n{};
  std::copy_n(tokenRing.begin(), std::min<std::size_t>(6, tokenRing.size()), n.begin());
  return tokenRingOrder(n, media);  // the reversal is its own inverse
}

}  // namespace

Bytes ebcdicField(std::string_view text, std::size_t width) {
  Bytes field(width, 0x40);
  for (std::size_t i = 0; i < std::min(text.size(), width); ++i) field[i] = toEbcdic(text[i]);
  return field;
}

std::uint8_t storedSize(std::uint8_t group, std::uint8_t number) {
  const auto& runs = sizeRuns();
  const auto it = runs.find(group >= 129 && group <= 133 ? 129 : group);
  if (it == runs.end()) return 0;
  int first = 0;
  for (const Run& r : it->second) {
    if (number < first + r.count) return r.size;
    first += r.count;
  }
  return 0;
}

AdapterModel::AdapterModel(AdapterConfig config) : config_(std::move(config)) {
  current_ = config_.ipxNode.value_or(config_.universal);
  saved_ = config_;
  if (config_.kind != Kind::MultiPort) return;
  std::vector<std::uint8_t> groups = {6, 7, 8, 9, 10, 11};
  for (const auto& [n, port] : config_.ports)
    if (n == 0 && config_.serialPort)
      groups.push_back(wire::var::kSerialGroup);
    else if (n >= 1 && n <= 5)
      groups.push_back(static_cast<std::uint8_t>(128 + n));
  for (std::uint8_t g : groups)
    for (int v = 0; v < groupLength(g); ++v)
      if (const std::uint8_t size = storedSize(g, static_cast<std::uint8_t>(v)))
        store_[{g, static_cast<std::uint8_t>(v)}] = Bytes(size, 0);
  const Node universal = tokenRingOrder(config_.universal, config_.media);
  const Node current = tokenRingOrder(current_, config_.media);
  store_[{6, 0}].assign(universal.begin(), universal.end());
  store_[{6, 1}].assign(current.begin(), current.end());
  store_[{6, 2}] = {config_.media};
  putText(store_[{6, 5}], 0, config_.product, 7);
  putText(store_[{6, 6}], 0, config_.model, 7);
  store_[{6, 7}].assign(config_.firmware.begin(), config_.firmware.end());
  putText(store_[{6, 13}], 0, config_.password, 8);
  putText(store_[{8, 2}], 0, config_.name, 44);
  store_[{8, 3}] = {static_cast<std::uint8_t>(config_.printMode == 1 ? 1 : 0)};
  std::uint8_t enabled = 0;
  for (const auto& [n, port] : config_.ports) {
    if (port.enabled) enabled |= static_cast<std::uint8_t>(1u << n);
    if (n <= 5) put16(store_[{8, static_cast<std::uint8_t>(57 + n)}], 0, port.polling);
    store_[{11, static_cast<std::uint8_t>(n)}] = {0x60};
    const std::uint8_t group = n == 0 ? wire::var::kSerialGroup : static_cast<std::uint8_t>(128 + n);
    if (store_.count({group, 0})) store_[{group, 0}] = {0xC0};  // data channel available
  }
  store_[{8, 55}] = {enabled};
  for (const auto& [key, value] : config_.variables) {
    Bytes& stored = store_[key] = value;
    if (const std::uint8_t size = storedSize(key.first, key.second)) stored.resize(size, 0);
  }
}

Bytes AdapterModel::variable(std::uint8_t group, std::uint8_t number) const {
  const auto it = store_.find({group, number});
  return it == store_.end() ? Bytes{} : it->second;
}

// ---- Text commands ------------------------------------------------------------------

Response AdapterModel::onCommand(View request) {
  Response r;
  if (config_.knobs.silent) return r.note = "silent", r;
  if (request.size() < wire::kTagField) return r.note = "text command shorter than its tag", r;
  if (tagIs(request, wire::kTagQueryParameters)) {
    if (++queries_ < config_.knobs.answerFrom)
      return r.note = "query " + std::to_string(queries_) + " unanswered", r;
    r.datagrams.push_back(finish(config_.kind == Kind::MultiPort ? lpaParameters() : kestrelParameters()));
    return r;
  }
  static const std::string_view kKnown[] = {
      wire::kTagSetParameters, wire::kTagControl,      wire::kTagPollingControl, wire::kTagQueryServers,
      wire::kTagSetServers,    wire::kTagListServers,  wire::kTagQueryAdvance,   wire::kTagAdvanceSettings,
      wire::kTagUpdateNvram,   wire::kTagPowerOnReset, wire::kTagResetLpa,       wire::kTagFlashOpen,
      wire::kTagFlashWrite,    wire::kTagFlashClose};
  for (std::string_view tag : kKnown)
    if (tagIs(request, tag)) return textEffect(tag, request);
  return r.note = "unknown text command", r;
}

std::uint8_t AdapterModel::statusOf(std::string_view tag) const {
  const auto it = config_.knobs.statusFor.find(std::string(tag));
  return it == config_.knobs.statusFor.end() ? config_.knobs.commandStatus : it->second;
}

Bytes AdapterModel::received(std::string_view tag) const {
  Bytes b = tagged(wire::kTagCommandReceived, wire::kStatusByte + 1);
  b[wire::kStatusByte] = statusOf(tag);
  return finish(std::move(b));
}

Bytes AdapterModel::flashResponse(std::string_view tag, std::uint8_t status, std::uint16_t sequence) const {
  Bytes b = tagged(wire::kTagFlashResponse, wire::kFlashSequence + 2);
  b[wire::kStatusByte] = statusOf(tag) ? statusOf(tag) : status;
  storeLe16(&b[wire::kFlashSequence], sequence);
  return finish(std::move(b));
}

Response AdapterModel::textEffect(std::string_view tag, View q) {
  Response r;
  const bool nvramText = config_.kind != Kind::MultiPort && config_.nvram;
  const bool accepted = statusOf(tag) == 0;
  if (tag == wire::kTagFlashOpen) {
    flashOpen_ = accepted;
    flashExpected_ = 16;
    if (accepted) flashImage_.clear();
    r.datagrams.push_back(flashResponse(tag, 0, 0));
    return r;
  }
  if (tag == wire::kTagFlashWrite) {
    const std::uint16_t sequence = q.size() >= wire::kTextData + 2 ? loadLe16(&q[wire::kTextData]) : 0;
    const bool inOrder = flashOpen_ && q.size() >= wire::kTextData + 2 && sequence == flashExpected_;
    if (inOrder && accepted) {
      flashImage_.insert(flashImage_.end(), q.begin() + wire::kTextData + 2, q.end());
      ++flashExpected_;
    }
    const auto echo = static_cast<std::uint16_t>(sequence + (config_.knobs.flashSequenceError ? 1 : 0));
    r.datagrams.push_back(flashResponse(tag, inOrder ? 0 : 1, echo));
    return r;
  }
  if (tag == wire::kTagFlashClose) {
    r.datagrams.push_back(flashResponse(tag, flashOpen_ ? 0 : 1, 0));
    if (flashOpen_ && accepted) {
      r.after = Response::After::Restart;
      // The image's first three bytes are the new version.
      if (flashImage_.size() >= 3) {
        std::copy_n(flashImage_.begin(), 3, config_.firmware.begin());
        if (config_.kind == Kind::MultiPort)
          store_[{6, 7}].assign(config_.firmware.begin(), config_.firmware.end());
      }
    }
    flashOpen_ = false;
    programMode_ = false;
    return r;
  }
  if (tag == wire::kTagQueryServers) return r.datagrams = definedServers(), r;
  if (tag == wire::kTagListServers) return r.datagrams = serverListing(), r;
  if (tag == wire::kTagQueryAdvance) {
    Bytes b = tagged(wire::kTagAdvanceSettings, wire::kTextData + config_.advance.size());
    put(b, wire::kTextData, config_.advance);
    r.datagrams.push_back(finish(std::move(b)));
    return r;
  }
  r.datagrams.push_back(received(tag));
  if (!accepted) return r;
  const View data = q.subspan(std::min(q.size(), wire::kTextData));
  if (tag == wire::kTagAdvanceSettings) {
    std::copy_n(data.begin(), std::min(data.size(), config_.advance.size()), config_.advance.begin());
    unsaved_ = unsaved_ || nvramText;
  } else if (tag == wire::kTagSetServers) {
    if (data.size() < 1 + 8 * 48 || data[0] > 1) return r.datagrams.back()[wire::kStatusByte] = 1, r;
    config_.servers.resize(16);
    for (std::size_t i = 0; i < 8; ++i) config_.servers[data[0] * 8 + i] = textAt(data, 1 + 48 * i, 48);
    trimServers();
    unsaved_ = unsaved_ || nvramText;
  } else if (tag == wire::kTagPollingControl) {
    pollingControl(data);
    unsaved_ = unsaved_ || nvramText;
  } else if (tag == wire::kTagSetParameters) {
    setParameters(q.subspan(std::min(q.size(), wire::kTextData)));
    unsaved_ = unsaved_ || nvramText;
  } else if (tag == wire::kTagControl) {
    if (!controlItems(q.subspan(std::min(q.size(), wire::kTextData)), r)) {
      r.datagrams.back()[wire::kStatusByte] = 1;
      return r;
    }
    unsaved_ = unsaved_ || nvramText;
  } else if (tag == wire::kTagUpdateNvram) {
    const Knobs knobs = config_.knobs;
    saved_ = config_;
    saved_.knobs = knobs;
    unsaved_ = false;
  } else if (tag == wire::kTagPowerOnReset || tag == wire::kTagResetLpa) {
    r.after = Response::After::Restart;
  }
  return r;
}

// "Set LPA Parameters" on a 7390: the written settings of one port block.
void AdapterModel::setParameters(View d) {
  if (config_.kind != Kind::External7390 || d.size() < 2) return;
  const bool serial = d[0] == 12 && d[1] == 0x40 && d.size() >= 12;
  const bool parallel = d[0] == 7 && d[1] == 0x81 && d.size() >= 7;
  if (!serial && !parallel) return;
  PortConfig& port = config_.ports[serial ? 0 : 1];
  Bytes& s = port.settings;
  if (serial) {
    s.resize(16, 0);
    std::copy_n(&d[2], 2, &s[2]);  // var 6
    s[5] = d[4];                   // vars 8, 10, 12, 14
    s[7] = d[5];
    s[9] = d[6];
    s[11] = d[7];
    std::copy_n(&d[8], 2, &s[14]);  // var 4
    port.polling = loadBe16(&d[10]);
  } else {
    s.resize(6, 0);
    s[1] = d[2];                   // var 6
    std::copy_n(&d[3], 2, &s[4]);  // var 4
    port.polling = loadBe16(&d[5]);
  }
}

// "Control LPA" items: length (counting itself and the id), id, value.
bool AdapterModel::controlItems(View items, Response& r) {
  for (std::size_t at = 0; at < items.size();) {
    const std::size_t length = items[at];
    if (length < 2 || at + length > items.size()) return false;
    const std::uint8_t id = items[at + 1];
    const View value = items.subspan(at + 2, length - 2);
    at += length;
    if (id == wire::kItemAddress && value.size() == 7) {
      pendingNode_ =
          value[6] ? canonicalOf(Bytes(value.begin(), value.begin() + 6), config_.media) : config_.universal;
      // Without NVRAM the adapter moves at once.
      if (config_.kind == Kind::External7390 || !config_.nvram) r.after = Response::After::Restart;
    } else if (id == wire::kItemProgramMode && value.size() == 1) {
      programMode_ = value[0] == 1;
    } else if (id == wire::kItemLanguage && value.size() == 1) {
      config_.language = value[0];
    } else if (id == wire::kItemPrintMode && value.size() == 1) {
      config_.printMode = value[0] == 1 ? 1 : 2;
    } else if (id == wire::kItemLoginName && value.size() == wire::kLoginNameField) {
      config_.name = textAt(value, 0, wire::kLoginNameField);
    } else if (id == wire::kItemNameSlot && value.size() == 1 + wire::kNameSlotField && value[0] < 16) {
      const std::string name = textAt(value, 1, wire::kNameSlotField);
      if (config_.nvram && config_.kind == Kind::SinglePort) {
        // An NVRAM-based single-port adapter keeps its file servers in these slots.
        config_.servers.resize(std::max<std::size_t>(config_.servers.size(), value[0] + 1u));
        config_.servers[value[0]] = name;
        trimServers();
      } else if (value[0] < 2) {
        // Slot 0 the parallel (or only) port's print server, slot 1 the serial one's.
        if (config_.kind == Kind::SinglePort)
          (value[0] == 0 ? config_.ports[1].printServer : config_.ports[1].printServer2) = name;
        else
          config_.ports[value[0] == 0 ? 1 : 0].printServer = name;
      }
    }
  }
  return true;
}

void AdapterModel::trimServers() {
  while (!config_.servers.empty() && config_.servers.back().empty()) config_.servers.pop_back();
}

// "LPA Polling Control": 7390 port selector (1 parallel, 0 serial) and on/off;
// single-port on/off and its two polling words.
void AdapterModel::pollingControl(View d) {
  if (config_.kind == Kind::External7390 && d.size() >= 2 && d[0] <= 1) {
    config_.ports[d[0] == 1 ? 1 : 0].enabled = d[1] != 0;
  } else if (config_.kind == Kind::SinglePort && d.size() >= 5) {
    PortConfig& port = config_.ports[1];
    port.enabled = d[0] != 0;
    port.polling = loadBe16(&d[1]);
    port.polling2 = loadBe16(&d[3]);
  }
}

// "LPA Defined Servers": two datagrams of eight entries each.
std::vector<Bytes> AdapterModel::definedServers() const {
  std::vector<Bytes> out;
  for (std::uint8_t block = 1; block <= 2; ++block) {
    Bytes b = tagged(wire::kTagDefinedServers, 30 + 8 * 48);
    b[21] = config_.knobs.serverBlock.value_or(block);
    for (std::size_t n = 0; n < 8; ++n) {
      const std::size_t i = (block - 1) * 8u + n;
      if (i >= config_.servers.size()) break;
      b[22 + n] = config_.servers[i].empty() ? 0 : 1;
      putText(b, 30 + 48 * n, config_.servers[i].substr(0, 47), 48);
    }
    out.push_back(finish(std::move(b)));
  }
  return out;
}

// "LPA Server Listing": five names in the first datagram, the rest in a second.
std::vector<Bytes> AdapterModel::serverListing() const {
  const std::size_t n = config_.servers.size();
  const std::size_t first = wire::listing::kFirstDatagramNames;
  Bytes a = tagged(wire::kTagServerListing, wire::listing::kFirstDatagram);
  a[wire::listing::kCount] = config_.knobs.listingCount.value_or(static_cast<std::uint8_t>(n));
  for (std::size_t i = 0; i < std::min(n, first); ++i)
    putText(a, wire::listing::kNames + 48 * i, config_.servers[i], 48);
  const bool more = a[wire::listing::kCount] > first;
  std::vector<Bytes> out{finish(std::move(a))};
  if (more) {
    Bytes b = tagged(wire::kTagServerListing, wire::listing::kNames + 48 * (n > first ? n - first : 0));
    for (std::size_t i = first; i < n; ++i)
      putText(b, wire::listing::kNames + 48 * (i - first), config_.servers[i], 48);
    out.push_back(finish(std::move(b)));
  }
  return out;
}

void AdapterModel::onRestart() {
  if (config_.kind == Kind::MultiPort) return;
  if (config_.nvram && unsaved_) {
    const Knobs knobs = config_.knobs;
    config_ = saved_;
    config_.knobs = knobs;
    pendingNode_.reset();
    unsaved_ = false;
  }
  if (pendingNode_) current_ = *pendingNode_;
  pendingNode_.reset();
}

Bytes AdapterModel::lpaParameters() const {
  Bytes b = tagged(wire::kTagParameters, multiport::kReplySize);
  put16(b, multiport::kLength,
        static_cast<std::uint16_t>(multiport::kReplySize + (config_.knobs.lengthBeyond ? 40 : 0)));
  // The NetWare group holds the login name and print mode the adapter reports.
  const auto name = store_.find({8, 2});
  const auto mode = store_.find({8, 3});
  putText(b, multiport::kName,
          name == store_.end() ? config_.name : textAt(name->second, 0, multiport::kNameField),
          multiport::kNameField);
  b[multiport::kPrintMode] = mode == store_.end() ? config_.printMode : mode->second[0] == 1 ? 1 : 2;
  b[multiport::kFlags] = static_cast<std::uint8_t>((config_.nvram ? multiport::kFlagNvram : 0) |
                                                   (config_.knobs.ignoreFlag ? multiport::kFlagIgnore : 0));
  for (const auto& [n, port] : config_.ports) {
    if (n == 0 && !config_.serialPort) continue;
    b[multiport::kPortMask] |= static_cast<std::uint8_t>(1u << n);
    if (port.busy) b[multiport::kBusyMask] |= static_cast<std::uint8_t>(1u << n);
  }
  b[multiport::kMedia] = config_.media == 1 ? 1 : 0;
  const Node node = tokenRingOrder(current_, config_.media);
  put(b, multiport::kNode, node);
  return b;
}

Bytes AdapterModel::parameterBlock() const {
  Bytes block(kestrel::kBlockSize, 0);
  put(block, kestrel::kAddress, tokenRingOrder(current_, config_.media));
  putText(block, kestrel::kName, config_.name, 44);
  block[kestrel::kMedia] = config_.media & 0x0F;
  block[kestrel::kPrintMode] = config_.printMode;
  block[kestrel::kFlags] = static_cast<std::uint8_t>((config_.nvram ? kestrel::kFlagNvram : 0) |
                                                     (config_.powerOnReset ? kestrel::kFlagPowerOnReset : 0));
  put(block, kestrel::kVersion, config_.firmware);
  putEbcdic(block, kestrel::kProduct, config_.product, 7);
  if (config_.kind == Kind::External7390) {
    putEbcdic(block, kestrel::kMachineType, config_.machineType, 4);
    putEbcdic(block, kestrel::kModel, config_.model, 3);
    putEbcdic(block, kestrel::kLevel, config_.level, 3);
  } else {
    putEbcdic(block, kestrel::kModelTag, config_.modelTag, 7);
  }
  return block;
}

std::vector<Bytes> AdapterModel::portBlocks() const {
  std::vector<Bytes> blocks;
  auto portOr = [&](int n) {
    const auto it = config_.ports.find(n);
    return it == config_.ports.end() ? PortConfig{} : it->second;
  };
  if (config_.kind == Kind::SinglePort) {
    const PortConfig p = portOr(1);
    Bytes port(kestrel::kSingleBlockSize, 0);
    port[0] = static_cast<std::uint8_t>(kestrel::kSingleBlockSize);
    port[1] = kestrel::kKindSinglePort;
    put16(port, kestrel::kSinglePolling, p.polling);
    port[kestrel::kSingleFlags] =
        static_cast<std::uint8_t>((p.enabled ? 0x01 : 0) | (config_.npa ? 0x80 : 0));
    put16(port, kestrel::kSinglePolling + 2, p.polling2);
    putText(port, kestrel::kSinglePrintServer, p.printServer, 48);
    putText(port, kestrel::kSinglePrintServer2, p.printServer2, 48);
    blocks.push_back(std::move(port));
    Bytes id(kestrel::kIdentitySecondName + 48, 0);
    id[0] = static_cast<std::uint8_t>(id.size());
    id[1] = config_.secondName.empty() ? 0x48 : kestrel::kKindIdentityWithSecondName;
    putText(id, kestrel::kIdentityName, config_.name, kestrel::kIdentityNameField);
    put(id, kestrel::kIdentityNode,
        config_.knobs.identityNode.value_or(tokenRingOrder(current_, config_.media)));
    putText(id, kestrel::kIdentitySecondName, config_.secondName, 48);
    blocks.push_back(std::move(id));
    return blocks;
  }
  // 7390: the serial port (0), then the parallel port (1).
  struct Layout {
    int port;
    std::size_t size;
    std::uint8_t kind;
    std::size_t busy, server, polling, enabled;
  };
  static constexpr Layout k7390Blocks[] = {
      {0, kestrel::kSerialBlockSize, kestrel::kKindSerial7390, kestrel::kSerialBusy,
       kestrel::kSerialPrintServer, kestrel::kSerialPolling, kestrel::kSerialEnabled},
      {1, kestrel::kParallelBlockSize, kestrel::kKindParallel7390, kestrel::kParallelBusy,
       kestrel::kParallelPrintServer, kestrel::kParallelPolling, kestrel::kParallelEnabled},
  };
  for (const Layout& l : k7390Blocks) {
    const PortConfig port = portOr(l.port);
    Bytes block(l.size, 0);
    block[0] = static_cast<std::uint8_t>(l.size);
    block[1] = l.kind;
    put(block, 2, View(port.settings).first(std::min(port.settings.size(), l.busy - 2)));
    block[l.busy] = port.busy;
    putText(block, l.server, port.printServer, 48);
    put16(block, l.polling, port.polling);
    block[l.enabled] = port.enabled;
    blocks.push_back(std::move(block));
  }
  return blocks;
}

Bytes AdapterModel::kestrelParameters() const {
  Bytes b = tagged(wire::kTagKestrelParameters, kestrel::kPortBlocks);
  put(b, kestrel::kBlock, parameterBlock());
  std::vector<Bytes> blocks = portBlocks();
  if (config_.knobs.portBlock == Knobs::PortBlockFault::Empty) blocks.front()[0] = 0;
  if (config_.knobs.portBlock == Knobs::PortBlockFault::PastEnd) blocks.front()[0] = 0xFF;
  for (const Bytes& block : blocks) b.insert(b.end(), block.begin(), block.end());
  put16(b, kestrel::kLength, static_cast<std::uint16_t>(b.size() + (config_.knobs.lengthBeyond ? 40 : 0)));
  return b;
}

Bytes AdapterModel::finish(Bytes reply) const {
  if (config_.knobs.garbage) {
    reply.assign(48, 0);
    for (std::size_t i = 0; i < reply.size(); ++i) reply[i] = static_cast<std::uint8_t>(0xE5 ^ (i * 37));
  }
  if (config_.knobs.oversize && reply.size() <= wire::kReplyBuffer) reply.resize(wire::kReplyBuffer + 88, 0);
  return reply;
}

// ---- Variables ------------------------------------------------------------------------

Response AdapterModel::onVariables(View q) {
  Response r;
  if (config_.kind != Kind::MultiPort) return r.note = "no variables on this adapter", r;
  if (config_.knobs.silent) return r.note = "silent", r;
  if (q.size() < wire::kVariableHeader || q[0] != wire::kNpaStart || q[4] != wire::kVariableCommand ||
      q[5] != wire::kVariableMarker || q[6] > wire::kModeWrite)
    return r.note = "not a variable request", r;
  if (std::size_t{loadBe16(&q[1])} + 3 != q.size()) return r.note = "length field disagrees", r;
  const bool write = q[6] == wire::kModeWrite;
  Bytes entries;
  bool error = config_.knobs.errorFlag;
  auto entry = [&](std::uint8_t g, std::uint8_t v, View value) {
    entries.insert(entries.end(), {g, v, static_cast<std::uint8_t>(value.size())});
    entries.insert(entries.end(), value.begin(), value.end());
  };
  bool reset = false, brief = false, save = false, addressWritten = false;
  if (!write) {
    if ((q.size() - wire::kVariableHeader) % 2) return r.note = "odd read entries", r;
    for (std::size_t at = wire::kVariableHeader; at < q.size(); at += 2) {
      const std::uint8_t g = q[at], v = q[at + 1];
      if (v == wire::kWholeGroup) {
        for (const auto& [key, value] : store_)
          if (key.first == g) entry(g, key.second, value);
      } else {
        const auto it = store_.find({g, v});
        entry(g, v, it == store_.end() ? View{} : View(it->second));
      }
    }
  } else {
    for (std::size_t at = wire::kVariableHeader; at < q.size();) {
      if (at + 3 > q.size() || at + 3 + q[at + 2] > q.size())
        return r.note = "write entry crosses the end", r;
      const std::uint8_t g = q[at], v = q[at + 1], size = q[at + 2];
      const View value = q.subspan(at + 3, size);
      at += 3 + size;
      const auto it = store_.find({g, v});
      // The name may come shorter than it is kept (the IPX hosts send 25 bytes); NULs fill the rest.
      const bool shortName = g == 7 && v == 2 && it != store_.end() && size < it->second.size();
      if (it == store_.end() || (it->second.size() != size && !shortName)) {
        error = true;
        entry(g, v, {});
        continue;
      }
      const std::size_t kept = it->second.size();
      it->second.assign(value.begin(), value.end());
      it->second.resize(kept, 0);
      entry(g, v, value);
      const bool one = size == 1 && value[0] == 1;
      if (g == 6 && v == wire::var::kReset && one) reset = true;
      if (g == 8 && v == wire::var::kNwSave && one) save = true;
      if (g == 8 && v == wire::var::kNwReset && one) brief = true;
      if (g == 6 && v == wire::var::kAddress) addressWritten = true;
    }
  }
  const std::size_t length = 4 + entries.size() + (config_.knobs.lengthBeyond ? 10 : 0);
  Bytes packet = {wire::kNpaStart,
                  0,
                  0,
                  static_cast<std::uint8_t>(wire::kNpaReply | (error ? wire::kNpaError : 0)),
                  wire::kVariableCommand,
                  wire::kVariableMarker,
                  q[6]};
  storeBe16(&packet[1], static_cast<std::uint16_t>(length));
  packet.insert(packet.end(), entries.begin(), entries.end());
  if (config_.knobs.fragmentOrder.size() > 1) {
    r.datagrams = fragments(packet);
  } else {
    Bytes d = {0, 0};
    d.insert(d.end(), packet.begin(), packet.end());
    r.datagrams.push_back(finish(std::move(d)));
  }
  // The IPX hosts move an adapter with the address and a reset, without the save.
  if (addressWritten && (save || reset)) {
    const Bytes written = store_[{6, 1}];
    current_ = anyBytes(written) ? canonicalOf(written, config_.media) : config_.universal;
    const Node now = tokenRingOrder(current_, config_.media);
    store_[{6, 1}].assign(now.begin(), now.end());
    reset = true;
  }
  r.after = reset   ? Response::After::Restart
            : brief ? Response::After::BriefRestart
                    : Response::After::Nothing;
  return r;
}

// The reply as a run of NPA packets, one per fragment: the entries split
// evenly, every packet but the last flagged "more", sent in the knob's order.
std::vector<Bytes> AdapterModel::fragments(const Bytes& packet) const {
  const auto& order = config_.knobs.fragmentOrder;
  const std::size_t n = *std::max_element(order.begin(), order.end()) + 1;
  const std::size_t bodyStart = wire::kNpaHeader;
  const std::size_t body = packet.size() - bodyStart;
  std::vector<Bytes> pieces(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t from = bodyStart + body * i / n, to = bodyStart + body * (i + 1) / n;
    const std::size_t length = 2 + (to - from);
    Bytes d = {0,        0, wire::kNpaStart,
               0,        0, static_cast<std::uint8_t>(packet[3] | (i + 1 < n ? wire::kNpaMore : 0)),
               packet[4]};
    storeBe16(&d[0], static_cast<std::uint16_t>(i));
    storeBe16(&d[3], static_cast<std::uint16_t>(length));
    d.insert(d.end(), packet.begin() + static_cast<std::ptrdiff_t>(from),
             packet.begin() + static_cast<std::ptrdiff_t>(to));
    pieces[i] = std::move(d);
  }
  std::vector<Bytes> sent;
  for (std::uint16_t i : order)
    if (i < n) sent.push_back(pieces[i]);
  return sent;
}

// ---- The IPX side ------------------------------------------------------------------------

Bytes AdapterModel::ipxParameters2(std::uint8_t number) const {
  namespace p2 = wire::coripx::params2;
  Bytes b(p2::kReplySize, 0);
  b[wire::coripx::kFunction] = wire::coripx::kReplyQuery;
  b[wire::coripx::kPort] = wire::coripx::kFormLpa;
  b[wire::coripx::kNumber] = number;
  putText(b, wire::coripx::kShortTag, wire::coripx::kTagParameters2, wire::kTagField);
  put16(b, wire::coripx::kShortLength, static_cast<std::uint16_t>(b.size() - wire::coripx::kShortLength));
  put(b, p2::kNode, tokenRingOrder(current_, config_.media));
  put(b, p2::kOtherAddress, tokenRingOrder(config_.universal, config_.media));
  if (config_.knobs.nameUnterminated)
    std::fill(b.begin() + p2::kName, b.begin() + p2::kMedia, static_cast<std::uint8_t>('N'));
  else
    putText(b, p2::kName, config_.name, 24);
  b[p2::kMedia] = static_cast<std::uint8_t>((config_.media == 1 ? p2::kMediaAsIs : 0) | (config_.npa ? 0x40 : 0));
  b[p2::kFeature] = config_.flashCapable ? p2::kFeatureBit : 0;
  put(b, p2::kFirmware, config_.firmware);
  putText(b, p2::kProduct, config_.product, 7);
  putEbcdic(b, p2::kModelTag, config_.modelTag, p2::kModelTagSize);
  const std::uint8_t length = config_.knobs.entryLength == Knobs::EntryLength::Zero      ? 0
                              : config_.knobs.entryLength == Knobs::EntryLength::PastEnd ? 0xFF
                                                                                         : 3;
  const std::uint8_t flags =
      static_cast<std::uint8_t>(p2::kEntryPresent | (config_.npa ? p2::kEntryNpa | 0x30 : 0));
  put(b, p2::kEntries, Bytes{length, p2::kEntryPortKind, flags});
  return finish(std::move(b));
}

Bytes AdapterModel::ipxEnumeration() const {
  Bytes packet = {wire::kNpaStart, 0, 0,
                  static_cast<std::uint8_t>(wire::kNpaReply | (config_.knobs.npaError ? wire::kNpaError : 0)),
                  wire::kVariableCommand, wire::kVariableMarker, 2};
  auto item = [&](std::uint8_t g, std::uint8_t v, std::size_t size, View value) {
    packet.insert(packet.end(), {g, v, static_cast<std::uint8_t>(size)});
    const std::size_t n = std::min(size, value.size());
    packet.insert(packet.end(), value.begin(), value.begin() + static_cast<std::ptrdiff_t>(n));
    packet.insert(packet.end(), size - n, 0);
  };
  auto stored = [&](std::uint8_t g, std::uint8_t v) {
    const std::uint8_t size = storedSize(g, v);
    const auto it = store_.find({g, v});
    item(g, v, size, it == store_.end() ? View{} : View(it->second));
  };
  Bytes name;
  putText(name, 0, config_.name, storedSize(7, 2));
  stored(7, 1);
  stored(6, 1);
  stored(6, 0);
  item(7, 2, name.size(), name);
  const Bytes type = {static_cast<std::uint8_t>((config_.media & 0x0F) | (config_.flashCapable ? 0x40 : 0))};
  item(6, 2, 1, type);
  for (std::uint8_t v : {6, 7, 5, 13}) stored(6, v);
  const std::uint8_t own = wire::var::kSerialGroup;
  for (std::uint8_t v : {0, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}) stored(own, v);
  item(wire::var::kNpaModeGroup, 0, 1, variable(wire::var::kNpaModeGroup, 0));
  for (std::uint8_t port = 1; port <= 5; ++port) {
    const auto g = static_cast<std::uint8_t>(0x80 | port);
    for (std::uint8_t v : {0, 3, 4, 5, 6}) stored(g, v);
    item(wire::var::kNpaModeGroup, port, 1, variable(wire::var::kNpaModeGroup, port));
  }
  storeBe16(&packet[1], static_cast<std::uint16_t>(packet.size() - 3));
  return packet;
}

bool AdapterModel::ipxControlItems(View items, Response::After& after) {
  Response r;
  const bool ok = controlItems(items, r);
  after = r.after;
  return ok;
}

std::optional<Bytes> AdapterModel::ipxVariables(View npa, Response::After* after) {
  const Response r = onVariables(npa);
  if (after) *after = r.after;
  if (r.datagrams.empty() || r.datagrams.front().size() < 2) return std::nullopt;
  return Bytes(r.datagrams.front().begin() + 2, r.datagrams.front().end());
}

}  // namespace wf::sim::adapter
