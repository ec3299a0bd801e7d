#include "sim/peer/peer_config.h"

#include <charconv>

#include "platform/scenario.h"

namespace wf::sim::peer {
namespace {

template <typename Number>
bool parsePeerNumber(std::string_view text, Number& out, int base = 10) {
  if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out, base);
  return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool peerSettingError(std::string* error, std::string why) {
  if (error) *error = std::move(why);
  return false;
}

}  // namespace

bool applyPeerSetting(PeerConfig& config, std::string_view key, std::string_view value, std::string* error) {
  auto flag = [&](bool& out) {
    if (value != "0" && value != "1") return peerSettingError(error, std::string(key) + " is 0 or 1");
    out = value == "1";
    return true;
  };
  PeerKnobs& k = config.knobs;
  if (key == "printer") {
    const auto fields = splitScenarioFields(value);
    PeerPrinterConfig p;
    if (fields.size() != 4 || fields[0].empty() || fields[0].size() > 79 || !parsePeerNumber(fields[1], p.id) ||
        !parsePeerNumber(fields[2], p.flags, 16) || fields[3].empty())
      return peerSettingError(error, "printer is <share> | <id> | <hex flags> | <profile>");
    p.share = fields[0];
    p.profile = fields[3];
    for (const auto& other : config.printers) {
      if (other.id == p.id) return peerSettingError(error, "printer id " + fields[1] + " is taken");
    }
    config.printers.push_back(std::move(p));
    return true;
  }
  if (key == "silent") return flag(k.silent);
  if (key == "down") return flag(config.down);
  if (key == "enum-fails") return flag(k.enumFails);
  if (key == "reply-beyond") return flag(k.replyBeyond);
  if (key == "short-advise") return flag(k.shortAdvise);
  if (key == "unterminated-share") return flag(k.unterminatedShare);
  if (key == "delay") {
    return parsePeerNumber(value, k.delayMs) || peerSettingError(error, "delay is milliseconds");
  }
  if (key == "count") {
    std::int32_t n;
    if (!parsePeerNumber(value, n)) return peerSettingError(error, "count is a number");
    k.count = n;
    return true;
  }
  if (key == "list-fails-at") {
    std::uint32_t i;
    if (!parsePeerNumber(value, i)) return peerSettingError(error, "list-fails-at is an index");
    k.listFailsAt = i;
    return true;
  }
  if (key == "poke-fails") {
    return (parsePeerNumber(value, k.pokeFails) && k.pokeFails >= 0) ||
           peerSettingError(error, "poke-fails is a count");
  }
  if (key == "reply-status") {
    std::uint16_t s;
    if (!parsePeerNumber(value, s)) return peerSettingError(error, "reply-status is a number");
    k.replyStatus = s;
    return true;
  }
  return peerSettingError(error, "unknown setting " + std::string(key));
}

}  // namespace wf::sim::peer
