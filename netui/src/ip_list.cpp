#include "ip_list.h"

#include <span>
#include <utility>

namespace wf::netui {
namespace {

std::vector<wf::net::IpAdapterEntry>& received() {
  static std::vector<wf::net::IpAdapterEntry> entries;
  return entries;
}

}  // namespace

std::string ipListLine(const wf::net::IpAdapterEntry& entry) {
  return wf::net::dottedAddress(entry.address) + "\t" + entry.community + "\t" + entry.hostName + "\t" +
         entry.portName;
}

std::optional<wf::net::IpAdapterEntry> parseIpListLine(std::string_view line) {
  std::string_view parts[4];
  for (std::size_t i = 0; i < 3; ++i) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) return std::nullopt;
    parts[i] = line.substr(0, tab);
    line.remove_prefix(tab + 1);
  }
  parts[3] = line;
  const std::optional<wf::net::IpAddress> address = wf::net::parseDottedAddress(parts[0]);
  if (!address) return std::nullopt;
  return wf::net::IpAdapterEntry{*address, std::string(parts[3]), std::string(parts[2]), std::string(parts[1])};
}

int32_t receiveIpAdapter(const void* entry, uint16_t length) {
  if (!entry) return 0;
  const std::span<const std::uint8_t> bytes(static_cast<const std::uint8_t*>(entry), length);
  if (auto read = wf::net::readIpAdapterEntry(bytes)) received().push_back(std::move(*read));
  return 0;
}

std::vector<wf::net::IpAdapterEntry> takeReceivedIpAdapters() {
  return std::exchange(received(), {});
}

}  // namespace wf::netui
