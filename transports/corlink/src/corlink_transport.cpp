#include "corlink_transport.h"

#include <cstdio>

#include "cl_options.h"

namespace wf::corlink {

const char* noticeName(std::uint32_t code) {
  switch (code) {
    case 128:
      return "NETALERT_WFS_SHUTDOWN (ignoring)";
    case 129:
      return "NETALERT_INACTIVE";
    case 130:
      return "NETALERT_ACTIVATE";
    case 131:
      return "NETALERT_ASSOCIATE (ignoring)";
    case 132:
      return "NETALERT_DISASSOCIATE (ignoring)";
    case 133:
      return "NETALERT_QUEUE_STATUS (ignoring)";
    case 135:
      return "NETALERT_ADDRESS_CHANGE";
    default:
      return "Unknown Alert";
  }
}

CorLinkTransport::CorLinkTransport() : servers_(log_), discovery_(servers_, log_) {}

std::unique_ptr<CorLinkTransport> CorLinkTransport::start(std::string* error) {
  std::unique_ptr<CorLinkTransport> t(new CorLinkTransport());
  if (!t->log_.start(prepareStartUpOptions(), error)) return nullptr;
  CorLinkTransport* self = t.get();
  t->servers_.setAlertSink(AlertSink{
      [self](ServerEntry& server, const std::optional<PortBlock>& port, const Bytes& data) {
        self->deliver(server, port, data);
      },
      [self](ServerEntry&, std::uint32_t code, const std::optional<PortBlock>& port, const Bytes& data) {
        self->notice(code, port, data);
      }});
  t->discovery_.setDropped([self](const std::string& server) { self->dropPorts(server); });
  t->log_.write(kLogLoad, {"CORCL32.DLL started\r\n"});
  return t;
}

CorLinkTransport::~CorLinkTransport() {
  shutdown();
}

void CorLinkTransport::shutdown() {
  std::lock_guard hold(callLock_);
  if (shutDown_) return;
  log_.write(kLogLoad, {"CORCL32.DLL shutting down\r\n"});
  servers_.clear();
  log_.stop();
  shutDown_ = true;
}

bool CorLinkTransport::discover() {
  log_.write(kLogConnections, {"NetEnumerate() called\r\n"});
  const auto options = readEnumerationOptions(log_);
  if (options) options_ = *options;
  if (!options) {
    log_.write(kLogLoad, {"Unable to read enumeration parameters from registry\r\n"});
    return false;
  }
  if (!discovery_.run(*options)) {
    log_.write(kLogConnections, {"Can not find any servers to connect to\r\n"});
    return false;
  }
  return true;
}

std::int32_t CorLinkTransport::getInfo(std::uint16_t portId, std::uint16_t item, void* buffer, std::uint16_t* length,
                                       NETITEMPROC proc) {
  std::lock_guard hold(callLock_);
  if (shutDown_) return NET_FAIL;
  if (portId != NET_NO_PORT) return portGetInfo(portId, item, buffer, length);
  switch (item) {
    case 135:
      return workstationAccess(buffer, length);
    case 2:
      return discovery_.getLists(proc);
    case 5:
      return discovery_.getFlags(buffer, length);
    default:
      return NET_BADID;
  }
}

std::int32_t CorLinkTransport::setInfo(std::uint16_t portId, std::uint16_t item, const void* buffer,
                                       std::uint32_t length) {
  std::lock_guard hold(callLock_);
  if (shutDown_) return NET_FAIL;
  if (portId != NET_NO_PORT) return portSetInfo(portId, item, buffer, length);
  switch (item) {
    case 137:
      return knownAddress(buffer, length);
    case 3:
      return discovery_.addName(buffer, length);
    case 4:
      return discovery_.removeName(buffer, length);
    case 5:
      return discovery_.setFlags(buffer, length);
    default:
      return NET_BADID;
  }
}

}  // namespace wf::corlink
