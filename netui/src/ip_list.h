#pragma once
// The workstation's TCP/IP adapters as the configuration dialog lists them:
// one list line per adapter ("a.b.c.d", tab, community, tab, host name, tab,
// port name), its parse back into the record items 3 and 4 send, and the
// receiver of item 1's entries.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "transports/common/ip_items.h"

namespace wf::netui {

std::string ipListLine(const wf::net::IpAdapterEntry& entry);
// The four numbers up to the first three dots and the texts between the
// tabs; null for a line without three tabs or a malformed address.
std::optional<wf::net::IpAdapterEntry> parseIpListLine(std::string_view line);

// Item 1's callback (BCENETITEMPROC): each whole entry is kept in arrival
// order, a cut or oversized one is dropped; answers 0.
int32_t receiveIpAdapter(const void* entry, uint16_t length);
// The entries received since the last take.
std::vector<wf::net::IpAdapterEntry> takeReceivedIpAdapters();

}  // namespace wf::netui
