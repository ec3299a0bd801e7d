#pragma once
// The IP world of the scenario: the adapters on the network and the
// workstation's list of adapters.
//
//   [tcpip.network]        # node | class | port type | media | supervisor | firmware
//   10.1.1.20 = 0000C0112233 | 2 | 2 | 2 | 1 | "3.10"
//   [tcpip.workstation]    # community | host name | port name
//   10.1.1.20 = public | pb-ip | LPT7
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/scenario.h"
#include "transports/common/ip_items.h"

namespace wf::corip {

struct NetworkAdapter {
  wf::net::IpAddress address{};
  std::array<std::uint8_t, 6> node{};
  std::uint8_t adapterClass = 0, portType = 0, media = 0, supervisor = 0;
  std::string firmware;
};

struct IpWorld {
  std::vector<NetworkAdapter> network;
  std::vector<wf::net::IpAdapterEntry> listed;  // in the list's order
};

// Null with *error ("[tcpip.network] entry 2: ...") for a malformed entry,
// or when the scenario has no [tcpip.*] section at all.
std::optional<IpWorld> readIpWorld(const wf::Scenario& scenario, std::string* error);

}  // namespace wf::corip
