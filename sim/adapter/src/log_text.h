#pragma once
// How the adapters' log lines show bytes and addresses.
#include <cstdio>
#include <string>

#include "platform/ipx.h"
#include "sim/adapter/adapter_model.h"

namespace wf::sim::adapter {

inline std::string hexOf(View bytes) {
  std::string s;
  char b[4];
  for (std::uint8_t c : bytes) {
    std::snprintf(b, sizeof b, s.empty() ? "%02X" : " %02X", c);
    s += b;
  }
  return s;
}

inline std::string addressText(const SOCKADDR_IPX& a) {
  const IpxAddress x = IpxAddress::from(a);
  char text[32];
  std::snprintf(text, sizeof text, "%02X%02X%02X%02X:%02X%02X%02X%02X%02X%02X:%04X", x.network[0],
                x.network[1], x.network[2], x.network[3], x.node[0], x.node[1], x.node[2], x.node[3],
                x.node[4], x.node[5], x.socket);
  return text;
}

}  // namespace wf::sim::adapter
