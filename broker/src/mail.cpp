#include "mail.h"

#include <string>

namespace wf::bce {

std::string appMailslotName(unsigned appId) {
  return "\\\\.\\mailslot\\bce\\app" + std::to_string(appId);
}

Bytes encodeMail(const BCEMAILHEADER& h, std::span<const std::uint8_t> data) {
  ByteWriter w;
  w.u32(h.sender).u32(h.serial).u32(h.code).u32(h.word).u32(static_cast<std::uint32_t>(data.size()));
  w.raw(data.data(), data.size());
  return w.take();
}

std::optional<Mail> decodeMail(std::span<const std::uint8_t> message) {
  ByteReader r(message);
  Mail m;
  BCEMAILHEADER& h = m.header;
  if (!r.u32(h.sender) || !r.u32(h.serial) || !r.u32(h.code) || !r.u32(h.word) || !r.u32(h.length))
    return std::nullopt;
  if (h.length != r.remaining()) return std::nullopt;
  m.data.assign(message.begin() + sizeof(BCEMAILHEADER), message.end());
  return m;
}

}  // namespace wf::bce
