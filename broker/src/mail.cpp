#include "mail.h"

#include <string>

namespace wf::bce {

std::string appMailslotName(unsigned appId) {
  return "\\\\.\\mailslot\\bce\\app" + std::to_string(appId);
}

Bytes encodeMail(const BCEMAILHEADER& h, std::span<const std::uint8_t> data) {
  Bytes out(sizeof(BCEMAILHEADER) + data.size());
  std::uint8_t* at = out.data();
  for (std::uint32_t field : {h.sender, h.serial, h.code, h.word, static_cast<std::uint32_t>(data.size())}) {
    storeLe32(at, field);
    at += sizeof field;
  }
  if (!data.empty()) std::memcpy(at, data.data(), data.size());
  return out;
}

std::optional<Mail> decodeMail(std::span<const std::uint8_t> message) {
  ByteReader r(message);
  Mail m;
  BCEMAILHEADER& h = m.header;
  if (!r.le32(h.sender) || !r.le32(h.serial) || !r.le32(h.code) || !r.le32(h.word) || !r.le32(h.length))
    return std::nullopt;
  if (h.length != r.remaining()) return std::nullopt;
  m.data.assign(message.begin() + sizeof(BCEMAILHEADER), message.end());
  return m;
}

}  // namespace wf::bce
