#include "corlink_transport.h"

#include <cstdio>

#include "cl_options.h"

namespace wf::corlink {

const char* noticeName(std::uint32_t code) {
  switch (code) {
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

namespace {

std::string hexBytes(const Bytes& data, std::size_t limit) {
  std::string out;
  char two[4];
  for (std::size_t i = 0; i < std::min(limit, data.size()); ++i) {
    std::snprintf(two, sizeof two, "%02X ", data[i]);
    out += two;
  }
  return out;
}

std::string blockAddress(const PortBlock& b) {
  char text[32];
  std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X:%02X:%02X", b.node[0], b.node[1], b.node[2],
                b.node[3], b.node[4], b.node[5], b.portHi, b.portLo);
  return text;
}

}  // namespace

CorLinkTransport::CorLinkTransport() : servers_(log_), discovery_(servers_, log_) {}

std::unique_ptr<CorLinkTransport> CorLinkTransport::start(std::string* error) {
  std::unique_ptr<CorLinkTransport> t(new CorLinkTransport());
  if (!t->log_.start(prepareStartUpOptions(), error)) return nullptr;
  // Until the port table takes them, what the alert readers read is logged and dropped.
  ClLog& log = t->log_;
  t->servers_.setAlertSink(AlertSink{
      [&log](ServerEntry&, const std::optional<PortBlock>& port, const Bytes& data) {
        if (port) log.write(kLogAlerts, {blockAddress(*port), " ReadDSA():  ", hexBytes(data, 64), "\r\n"});
      },
      [&log](ServerEntry&, std::uint32_t code, const std::optional<PortBlock>& port, const Bytes&) {
        if (port)
          log.write(kLogAlerts, {blockAddress(*port), " Internal WFS Alert received - ", noticeName(code), "\r\n"});
        else
          log.write(kLogAlerts, {"Internal WFS Alert received - ", noticeName(code), "\r\n"});
      }});
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
  if (portId != NET_NO_PORT) return NET_BADID;
  switch (item) {
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
  if (portId != NET_NO_PORT) return NET_BADID;
  switch (item) {
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
