#pragma once
// The broker's internals that programs outside the broker may reach:
// benchmarks and cross-module test helpers that carry the broker itself
// (wf_link_broker_internals). Nothing of the product uses it; the broker's
// own tests compile against its src/ instead.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "broker/corbce.h"

namespace wf::bce::internal_testing {

// The primary's worker behind BceSendBidi; set before any request arrives.
// The replacement may call BceSendBidiMF to reach the broker's own.
using SendBidiWorker = decltype(&BceSendBidiMF);
void replaceSendBidiWorker(SendBidiWorker worker);

// Replies to secondaries go out unpaced while off.
void setReplyPacing(bool on);

// The printer list: a printer's cached summary dropped, or every printer.
void forgetSummary(std::uint16_t handle);
void clearPrinterList();

// This process's part: primary or not, its application id, and the alert
// window an application slot holds (0 for a free slot).
bool isPrimary();
int ownAppId();
std::uint32_t registrationWindow(unsigned appId);

// The packets the broker writes to a local port, as the port sees them.
std::optional<std::string> requestPacket(std::uint32_t code, std::string_view data, std::size_t maxPacket);
std::string printDataPacket(std::string_view chunk);

}  // namespace wf::bce::internal_testing
