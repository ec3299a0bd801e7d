#include "sim/corlink/corlink_world.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include "platform/byte_codec.h"
#include "sim/adapter/adapter_model.h"

namespace wf::sim::corlink {
namespace {

bool sameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

std::string trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t");
  return std::string(s.substr(first, last - first + 1));
}

// A text field of `width` bytes: NUL-padded, or (knob) filled to the end without one.
void putField(Bytes& record, std::size_t at, std::string_view text, std::size_t width, bool unterminated) {
  std::string field(text.substr(0, width - 1));
  if (unterminated) field.resize(width, 'X');
  std::copy(field.begin(), field.end(), record.begin() + static_cast<std::ptrdiff_t>(at));
}

bool failWith(std::string* error, std::string why) {
  if (error) *error = std::move(why);
  return false;
}

}  // namespace

std::uint16_t CorLinkAdapter::adapterClass() const {
  switch (config.kind) {
    case adapter::Kind::MultiPort:
      return config.serialPort ? 4 : 2;
    case adapter::Kind::SinglePort:
      return config.modelTag == "RU_VA_1" ? 16 : 1;
    case adapter::Kind::External7390:
      return 8;
  }
  return 1;
}

PortAddress CorLinkAdapter::address(const CorLinkPort& port) const {
  PortAddress a;
  a.node = node;
  a.number = static_cast<std::uint8_t>(port.number);
  const std::uint16_t cls = adapterClass();
  if (cls == 1 || cls == 16) {
    a.hi = 0x80;
    a.lo = 0;
  } else if (port.number == 0) {
    a.hi = 1;
    a.lo = 1;
  } else {
    a.hi = 0;
    a.lo = static_cast<std::uint8_t>(port.number);
  }
  a.kind = cls == 1 || cls == 16 ? 2 : cls == 2 || cls == 4 ? 3 : 1;
  return a;
}

bool CorLinkServer::isAdministrator(std::string_view user) const {
  return std::any_of(administrators.begin(), administrators.end(),
                     [&](const std::string& a) { return sameText(a, user); });
}

std::optional<std::pair<CorLinkAdapter*, CorLinkPort*>> CorLinkServer::find(const PortAddress& block) {
  for (auto& a : adapters)
    for (auto& p : a.ports) {
      const PortAddress at = a.address(p);
      if (at.node == block.node && at.hi == block.hi && at.lo == block.lo) return std::pair{&a, &p};
    }
  return std::nullopt;
}

std::optional<std::pair<CorLinkAdapter*, CorLinkPort*>> CorLinkServer::findByQueue(std::string_view queue) {
  for (auto& a : adapters)
    for (auto& p : a.ports)
      if (!p.queue.empty() && sameText(p.queue, queue)) return std::pair{&a, &p};
  return std::nullopt;
}

std::optional<std::pair<CorLinkAdapter*, CorLinkPort*>> CorLinkServer::findByNickname(std::string_view nickname) {
  for (auto& a : adapters)
    for (auto& p : a.ports)
      if (sameText(p.nickname, nickname)) return std::pair{&a, &p};
  return std::nullopt;
}

CorLinkAdapter* CorLinkServer::adapter(std::string_view id) {
  for (auto& a : adapters)
    if (sameText(a.id, id)) return &a;
  return nullptr;
}

Bytes portRecord(const CorLinkServer& server, const CorLinkAdapter& adapter, const CorLinkPort& port) {
  Bytes r(kPortRecordSize, 0);
  putField(r, 0, port.nickname, 25, server.knobs.unterminatedTexts);
  putField(r, 25, port.queue, 65, server.knobs.unterminatedTexts && !port.queue.empty());
  const PortAddress at = adapter.address(port);
  storeLe16(&r[90], port.flags);
  std::copy(at.node.begin(), at.node.end(), r.begin() + 92);
  std::copy(adapter.config.network.begin(), adapter.config.network.end(), r.begin() + 98);
  const std::uint16_t socket = adapter.config.kind == adapter::Kind::External7390 ? 0
                               : adapter.config.kind == adapter::Kind::SinglePort
                                   ? 0x862C
                                   : static_cast<std::uint16_t>(0x862C + port.number);
  storeLe16(&r[102], socket);
  storeLe16(&r[104], adapter.adapterClass());
  r[106] = at.hi;
  r[107] = at.lo;
  r[108] = at.number;
  return r;
}

Bytes adapterRecord(const CorLinkServer& server, const CorLinkAdapter& adapter, const CorLinkPort& port) {
  const auto& c = adapter.config;
  Bytes r(kAdapterRecordSize, 0);
  r[0] = c.media;
  r[1] = c.kind == adapter::Kind::MultiPort ? 0x50 : c.kind == adapter::Kind::SinglePort ? 0x01 : 0;
  r[2] = c.kind == adapter::Kind::SinglePort ? 0x02 : 0x00;
  std::copy(c.universal.begin(), c.universal.end(), r.begin() + 3);
  const std::uint16_t cls = adapter.adapterClass();
  if (cls == 8) {
    const Bytes level = adapter::ebcdicField(c.level, 3);
    std::copy(level.begin(), level.end(), r.begin() + 9);
  } else {
    std::copy(c.firmware.begin(), c.firmware.end(), r.begin() + 9);
  }
  const bool asciiTexts = cls == 2 || cls == 4;
  const Bytes product = asciiTexts ? Bytes(c.product.begin(), c.product.end()) : adapter::ebcdicField(c.product, 7);
  std::copy_n(product.begin(), std::min<std::size_t>(product.size(), 7), r.begin() + 12);
  const std::string& model = cls == 1 || cls == 16 ? c.modelTag : c.model;
  const Bytes modelBytes = cls == 1 || cls == 16 ? adapter::ebcdicField(model, 7) : Bytes(model.begin(), model.end());
  std::copy_n(modelBytes.begin(), std::min<std::size_t>(modelBytes.size(), 7), r.begin() + 19);
  if (cls == 8) {
    const Bytes m = adapter::ebcdicField(c.model, 3);
    std::copy(m.begin(), m.end(), r.begin() + 28);
  }
  // The port's settings: a 7390's block bytes as configured, else the adapter's defaults.
  const auto configured = c.ports.find(port.number);
  const Bytes* settings = configured != c.ports.end() && !configured->second.settings.empty()
                              ? &configured->second.settings
                              : nullptr;
  const bool serial = adapter.address(port).hi != 0 && cls != 1 && cls != 16;
  Bytes area = serial ? Bytes{0x25, 0x80, 0x00, 0x60, 8, 0, 0, 0, 1, 0, 0, 0, 0x00, 0x1E, 0x00, 0x3C}
                      : Bytes{1, 0, 0x00, 0x1E, 0x00, 0x3C};
  if (settings) std::copy_n(settings->begin(), std::min(settings->size(), area.size()), area.begin());
  std::copy(area.begin(), area.end(), r.begin() + 31);
  if (server.knobs.shortAdapterRecord) r.resize(40);
  return r;
}

bool parsePort(std::string_view value, CorLinkPort& port, std::string* error) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in{std::string(value)};
  while (std::getline(in, part, ',')) parts.push_back(trimmed(part));
  if (parts.empty() || parts.size() > 4 || parts[0].empty())
    return failWith(error, "a port is <nickname>, <queue>, <hex flags>, <profile>");
  if (parts[0].size() > 24) return failWith(error, "nickname " + parts[0] + " is longer than 24 characters");
  port.nickname = parts[0];
  port.queue = parts.size() > 1 ? parts[1] : "";
  if (port.queue.size() > 64) return failWith(error, "queue " + port.queue + " is longer than 64 characters");
  port.flags = 0;
  if (parts.size() > 2 && !parts[2].empty()) {
    char* end = nullptr;
    const unsigned long flags = std::strtoul(parts[2].c_str(), &end, 16);
    if (*end || flags > 0xFFFF) return failWith(error, "flags " + parts[2] + " are not a 16-bit hex number");
    port.flags = static_cast<std::uint16_t>(flags);
  }
  port.printerProfile = parts.size() > 3 ? parts[3] : "";
  return true;
}

bool applyKnob(ServerKnobs& knobs, std::string_view key, std::string_view value, bool* known, std::string* error) {
  *known = true;
  long number = 0;
  std::istringstream in{std::string(value)};
  const bool numeric = static_cast<bool>(in >> number) && number >= 0;
  std::map<std::string_view, bool*> flags = {
      {"silent", &knobs.silent},
      {"ack-without-final", &knobs.ackWithoutFinal},
      {"ack-with-data", &knobs.ackWithData},
      {"oversize-frame", &knobs.oversizeFrame},
      {"block-length-7", &knobs.blockLengthSeven},
      {"short-frame", &knobs.shortFrame},
      {"adapter-error", &knobs.adapterError},
      {"refuse-stop-start", &knobs.refuseStopStart},
      {"never-back", &knobs.neverBack},
      {"transact-without-nul", &knobs.transactWithoutNul},
      {"partial-record", &knobs.partialRecord},
      {"unterminated-texts", &knobs.unterminatedTexts},
      {"short-adapter-record", &knobs.shortAdapterRecord},
  };
  if (auto it = flags.find(key); it != flags.end()) {
    if (!numeric || number > 1) return failWith(error, std::string(key) + " is 0 or 1");
    *it->second = number == 1;
    return true;
  }
  if (key == "reply-frame") {
    if (!numeric || number < 10 || number > 512) return failWith(error, "reply-frame is 10 to 512 bytes");
    knobs.replyFrame = static_cast<std::size_t>(number);
    return true;
  }
  if (key == "drop-after") {
    if (!numeric) return failWith(error, "drop-after is a count of frames");
    knobs.dropAfterFrames = number ? std::optional<int>(static_cast<int>(number)) : std::nullopt;
    return true;
  }
  *known = false;
  return false;
}

}  // namespace wf::sim::corlink
