#pragma once
// One adapter's answers, bytes in and datagrams out: the parameter query
// and other text commands on socket 0x83C1, and (multi-port adapters)
// variable reads and writes on 0x861C. Built from the wire rules with the
// simulator's own code; only the offsets are shared with the transports.
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "sim/adapter/adapter_config.h"

namespace wf::sim::adapter {

using View = std::span<const std::uint8_t>;

struct Response {
  std::vector<Bytes> datagrams;  // sent in this order to the requester
  enum class After { Nothing, Restart, BriefRestart } after = After::Nothing;
  std::string note;  // why nothing was answered, for the log
};

class AdapterModel {
 public:
  explicit AdapterModel(AdapterConfig config);

  AdapterConfig& config() { return config_; }
  const AdapterConfig& config() const { return config_; }
  // The adapter's IPX node, canonical: the current address.
  Node node() const { return current_; }

  Response onCommand(View request);
  Response onVariables(View request);

  // The IPX side (corlink-ipx): a single-port adapter's "LPA Parameters2"
  // to a query numbered `number`; a multi-port adapter's NPA enumeration
  // reply packet; the NPA reply packet of a variable read or write.
  Bytes ipxParameters2(std::uint8_t number) const;
  Bytes ipxEnumeration() const;
  // `after`, when given, says whether the adapter restarts once it answered.
  std::optional<Bytes> ipxVariables(View npa, Response::After* after = nullptr);
  // The items of a "Control LPA" datagram (from its length byte); false
  // when they do not parse. `after` as above.
  bool ipxControlItems(View items, Response::After& after);

  // A variable's current value (empty when the store has none).
  Bytes variable(std::uint8_t group, std::uint8_t number) const;

  // Called as the adapter comes back: an NVRAM-based adapter forgets the
  // text-command changes made since its last "LPA Update NVRAM"; an address
  // set by "Control LPA" takes effect.
  void onRestart();
  // The firmware image of the last flash download, and whether program mode is on.
  const Bytes& flashImage() const { return flashImage_; }
  bool programMode() const { return programMode_; }

 private:
  Bytes lpaParameters() const;
  Bytes kestrelParameters() const;
  Bytes parameterBlock() const;
  std::vector<Bytes> portBlocks() const;
  Bytes finish(Bytes reply) const;  // garbage and oversize knobs
  std::vector<Bytes> fragments(const Bytes& packet) const;

  AdapterConfig config_;
  Node current_{};
  std::map<std::pair<std::uint8_t, std::uint8_t>, Bytes> store_;
  std::uint32_t queries_ = 0;

  Response textEffect(std::string_view tag, View request);
  std::uint8_t statusOf(std::string_view tag) const;
  Bytes received(std::string_view tag) const;
  Bytes flashResponse(std::string_view tag, std::uint8_t status, std::uint16_t sequence) const;
  void setParameters(View data);
  bool controlItems(View items, Response& r);
  void pollingControl(View data);
  void trimServers();
  std::vector<Bytes> definedServers() const;
  std::vector<Bytes> serverListing() const;

  // NVRAM-based text adapters: what survives a restart.
  AdapterConfig saved_;
  bool unsaved_ = false;
  std::optional<Node> pendingNode_;  // "Control LPA" item 43, at the next restart
  bool flashOpen_ = false;
  std::uint16_t flashExpected_ = 0;
  Bytes flashImage_;
  bool programMode_ = false;
};

// `text` in EBCDIC, blank-padded or cut to `width` bytes.
Bytes ebcdicField(std::string_view text, std::size_t width);

// The size of a variable as the adapter keeps it; 0 for none.
std::uint8_t storedSize(std::uint8_t group, std::uint8_t number);

}  // namespace wf::sim::adapter
