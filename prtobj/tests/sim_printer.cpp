#include "sim_printer.h"

#include <optional>
#include <utility>

#include "sim/printer/npa.h"

namespace prtobjtest {
namespace {

struct Template {
  std::uint8_t command;
  std::string prefix;
};

// The broker's request templates for the codes the object sends.
std::optional<Template> templateFor(std::uint32_t code) {
  auto bytes = [](std::initializer_list<int> b) {
    std::string s;
    for (int v : b) s.push_back(static_cast<char>(v));
    return s;
  };
  if (code >= 1 && code <= 13) return Template{0x04, bytes({static_cast<int>(code - 1)})};
  if (code >= 49 && code <= 56) return Template{0x03, bytes({static_cast<int>(code - 48)})};
  switch (code) {
    case 16:
      return Template{0x01, bytes({0x00})};
    case 18:
      return Template{0x01, bytes({0x02, 0x00})};
    case 19:
      return Template{0x01, bytes({0x03, 0x00})};
    case 20:
      return Template{0x01, bytes({0x04})};
    case 64:
      return Template{0xE0, bytes({0xE0})};
    case 67:
      return Template{0xE0, bytes({0xE1, 0x04})};
    case 78:
      return Template{0xE0, bytes({0xE7, 0x00})};
    case 79:
      return Template{0xE0, bytes({0xE7, 0x01})};
    case 86:
      return Template{0xE0, bytes({0xEB, 0x00})};
    case 87:
      return Template{0xE0, bytes({0xEB, 0x01})};
    case 91:
      return Template{0xE0, bytes({0x03})};
    case 113:
      return Template{0xE1, bytes({0x00})};
    default:
      return std::nullopt;
  }
}

}  // namespace

wf::sim::Profile shippedProfile(const std::string& name) {
  auto profile = wf::sim::loadProfile(std::string(WF_SIM_PROFILE_DIR) + "/" + name);
  return profile ? *profile : wf::sim::Profile{};
}

SimPrinter::SimPrinter(wf::sim::Profile profile)
    : model_(std::make_shared<wf::sim::PrinterModel>(std::move(profile))) {}

void SimPrinter::attach() {
  fakebce::setResponder(
      [this](std::uint32_t code, const std::string& request) { return ask(code, request); });
}

fakebce::Reply SimPrinter::ask(std::uint32_t code, const std::string& request) {
  namespace npa = wf::sim::npa;
  const auto t = templateFor(code);
  if (!t) return {BCE_ERR_BAD_REQUEST, {}};
  std::string out;
  for (const auto& o :
       model_->receive(std::string(npa::kSyncPacket) + npa::encode(0x50, t->command, t->prefix + request)))
    out += o.bytes;
  fakebce::Reply reply;
  bool error = false;
  while (!out.empty()) {
    const auto size = npa::packetSize(out);
    if (!size) return {NET_READFAIL, {}};
    const npa::Packet p = npa::decode(out.substr(0, *size));
    out.erase(0, *size);
    if (p.command == wf::sim::npa::kClassAlert) {
      alert_ += p.data;
      if (p.flags & npa::kFlagMore) continue;
      fakebce::setAlert(nextKey_, std::exchange(alert_, {}));
      keys_.push_back(nextKey_++);
      continue;
    }
    if (p.command != t->command) continue;  // device-status alerts and the like
    reply.bytes += p.data;
    error = error || (p.flags & npa::kFlagError);
  }
  if (error) return {BCE_ERR_ERROR_RESPONSE, {}};
  return reply;
}

std::vector<std::uint16_t> SimPrinter::takeAlertKeys() {
  return std::exchange(keys_, {});
}

}  // namespace prtobjtest
