#pragma once
// One adapter's answers, bytes in and datagrams out: the parameter query
// and other text commands on socket 0x83C1, and (multi-port adapters)
// variable reads and writes on 0x861C. Built from the wire rules with the
// simulator's own code; only the offsets are shared with the transports.
#include <map>
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

  // A variable's current value (empty when the store has none).
  Bytes variable(std::uint8_t group, std::uint8_t number) const;

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
};

// The size of a variable as the adapter keeps it; 0 for none.
std::uint8_t storedSize(std::uint8_t group, std::uint8_t number);

}  // namespace wf::sim::adapter
