#pragma once
// The registry lists the peer walk visits, and the readers of what a peer sends.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wf::peer {

constexpr const char* kComputersKey = "SOFTWARE\\Corvane\\Wrenfield\\CorPeer\\Computers";
constexpr const char* kWorkgroupsKey = "SOFTWARE\\Corvane\\Wrenfield\\CorPeer\\WorkGroups";
constexpr std::size_t kPeerEntryBytes = 17;  // PEERENTRY: kind, char[16] name

enum class PeerList { Computers, Workgroups };

// Creates the lists (empty) and "DoDefaultWorkGroup" = 1 when the computer list is missing.
void ensurePeerKeys();
bool readDoDefaultWorkgroup();
// The readable, non-empty names of a list, in order; empty when its key is missing.
std::optional<std::vector<std::string>> readPeerNames(PeerList list);

// The packet for the broker's data callback from a peer's alert advise
// (PEERALERT); empty when the advise is too short for what it counts.
std::optional<std::vector<std::uint8_t>> peerAlertPacket(const std::vector<std::uint8_t>& alert);

}  // namespace wf::peer
