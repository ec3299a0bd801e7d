#include "cl_servers.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "cl_log.h"
#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "platform/net_connections.h"

namespace wf::corlink {
namespace {

// How long closing the administration pipe may wait to say so.
constexpr std::uint32_t kAdminCloseWait = 1'000;
constexpr std::size_t kTransactionReply = 275;
constexpr std::size_t kAdminNameOffset = 14;
constexpr std::size_t kServerNameLimit = 15;

std::string upperName(std::string_view name) {
  std::string out(name);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string pipePath(const std::string& server, const char* name) {
  // "\\%s\%s", or "\\%s%s" for a name with its own leading backslash.
  return "\\\\" + server + (name[0] == '\\' ? "" : "\\") + name;
}

// *done counts what came, also when the read failed part way.
DWORD readExact(NamedPipe& pipe, std::uint8_t* out, std::size_t size, std::uint32_t ms, std::stop_token stop,
                std::size_t* done = nullptr) {
  std::size_t have = 0;
  DWORD r = ERROR_SUCCESS;
  while (have < size) {
    std::size_t got = 0;
    if ((r = pipe.read(out + have, size - have, &got, ms, stop)) != ERROR_SUCCESS) break;
    have += got;
  }
  if (done) *done = have;
  return r;
}

// Takes the list lock unless the caller's stop comes first: a reader being
// joined by a holder of the lock must not wait for it.
bool lockUnlessStopped(std::recursive_mutex& m, std::stop_token stop) {
  while (!m.try_lock()) {
    if (stop.stop_requested()) return false;
    sleepFor(1);
  }
  return true;
}

}  // namespace

std::uint8_t portKindOfClass(std::uint16_t adapterClass) {
  if (adapterClass == 1 || adapterClass == 16) return 2;
  if (adapterClass == 2 || adapterClass == 4) return 3;
  return 1;
}

Bytes frameHeader(std::size_t dataSize, std::uint32_t command, const PortBlock* port) {
  const std::size_t block = port ? kPortBlockBytes : 0;
  Bytes h(kFrameHeaderSize + block, 0);
  storeBe16(h.data(), static_cast<std::uint16_t>(kFrameHeaderSize + block + dataSize));
  h[2] = 2;
  storeLe32(h.data() + 3, command);  // the one little-endian field
  storeBe16(h.data() + 7, static_cast<std::uint16_t>(block));
  if (port) {
    std::copy(std::begin(port->node), std::end(port->node), h.begin() + 9);
    h[15] = port->portHi;
    h[16] = port->portLo;
    h[17] = port->portNumber;
    h[18] = port->kind;
  }
  return h;
}

ServerTable::ServerTable(ClLog& log) : log_(log) {}

ServerTable::~ServerTable() {
  clear();
}

void ServerTable::setAlertSink(AlertSink sink) {
  std::lock_guard hold(listMutex_);
  sink_ = std::move(sink);
}

ServerEntry* ServerTable::find(std::string_view name) {
  const std::string wanted = upperName(name);
  std::lock_guard hold(listMutex_);
  for (auto& e : entries_)
    if (e->name == wanted) return e.get();
  return nullptr;
}

std::vector<std::string> ServerTable::names() {
  std::lock_guard hold(listMutex_);
  std::vector<std::string> out;
  for (auto& e : entries_) out.push_back(e->name);
  return out;
}

std::optional<ServerTable::Opened> ServerTable::openPipes(const std::string& name) {
  Opened o;
  for (auto [target, pipeName] : {std::pair{&o.request, kRequestPipeName}, std::pair{&o.alert, kAlertPipeName}}) {
    const std::string path = pipePath(name, pipeName);
    DWORD error = 0;
    auto pipe = NamedPipe::open(path, &error);
    if (!pipe) {
      log_.write(kLogConnections, {"Error opening ", path, " (rc = ", hex8(error), ")\r\n"});
      return std::nullopt;  // what was opened closes with `o`
    }
    *target = std::make_shared<NamedPipe>(std::move(*pipe));
    if (target == &o.request) {
      const DWORD mode = o.request->setReadMode(PipeMode::Byte);
      if (mode != ERROR_SUCCESS) {
        log_.write(kLogConnections, {"SetNamedPipeHandleState() failed (rc = ", hex8(mode), ")\r\n"});
        return std::nullopt;
      }
    }
  }
  return o;
}

ServerEntry* ServerTable::connect(std::string_view requested) {
  const std::string name = upperName(requested);
  log_.write(kLogConnections, {"Attempting to connect to server ", name, "\r\n"});
  if (name.empty() || name.size() > kServerNameLimit) {
    log_.write(kLogConnections, {"Server name ", name, " is not 1 to 15 characters; skipped\r\n"});
    return nullptr;
  }
  auto pipes = openPipes(name);
  if (!pipes) return nullptr;
  ServerEntry* entry = nullptr;
  {
    std::lock_guard hold(listMutex_);
    entries_.push_front(std::make_unique<ServerEntry>());
    entry = entries_.front().get();
    entry->name = name;
    entry->requestPipe = std::move(pipes->request);
    entry->alertPipe = std::move(pipes->alert);
    entry->connected = true;
  }
  log_.write(kLogConnections, {"Connected to server ", name, "\r\n"});
  if (sendRequest(*entry, nullptr, nullptr, 0, kCmdVersion) == kStatusDownLevel) {
    log_.write(kLogConnections, {"Server ", name, " contains downlevel Wrenfield Server code\r\n"});
    remove(*entry);
    return nullptr;
  }
  std::lock_guard hold(listMutex_);
  if (entry->connected) startReader(*entry);
  return entry;
}

void ServerTable::startReader(ServerEntry& entry) {
  entry.thread = Thread("corcl32-dsa", [this, &entry, pipe = entry.alertPipe](std::stop_token stop) {
    readAlerts(entry, pipe, stop);
  });
}

bool ServerTable::reconnect(ServerEntry& entry) {
  log_.write(kLogConnections, {"Attempting to reconnect to server ", entry.name, "\r\n"});
  auto pipes = openPipes(entry.name);
  if (!pipes) return false;
  entry.requestPipe = std::move(pipes->request);
  entry.alertPipe = std::move(pipes->alert);
  entry.connected = true;
  log_.write(kLogConnections, {"Connected to server ", entry.name, "\r\n"});
  startReader(entry);
  return true;
}

bool ServerTable::checkConnection(ServerEntry& entry, PipeKind kind) {
  std::lock_guard hold(listMutex_);
  if (!entry.connected && !reconnect(entry)) return false;
  const auto& pipe = kind == PipeKind::Request ? entry.requestPipe : entry.alertPipe;
  const DWORD r = pipe->peek();
  if (r != ERROR_SUCCESS) {
    log_.write(kLogConnections, {kind == PipeKind::Request ? "CheckServerConnection():Peek NPA Pipe failed (rc = "
                                                           : "CheckServerConnection():Peek DSA Pipe failed (rc = ",
                                 hex8(r), ")\r\n"});
    return false;
  }
  return true;
}

void ServerTable::disconnect(ServerEntry& entry, PipeKind by) {
  Thread reader;
  {
    std::lock_guard hold(listMutex_);
    log_.write(kLogConnections, {"Disconnecting from server ", entry.name, "\r\n"});
    // A reader disconnecting its own server is on its way out: it is not
    // waited for. Another is stopped before its pipe is cancelled, so it
    // ends quietly.
    if (by != PipeKind::Alert) {
      reader = std::move(entry.thread);
      reader.requestStop();
    }
    if (entry.alertPipe) entry.alertPipe->cancel();
    if (entry.requestPipe) entry.requestPipe->cancel();
    closeAdminPipe(entry);
    entry.requestPipe.reset();
    entry.alertPipe.reset();
    entry.connected = false;
    entry.admin = false;
    entry.adminChecked = false;
  }
  reader = Thread();  // stopped and joined outside the lock it may be waiting for
}

void ServerTable::disconnectPipe(ServerEntry& entry, const std::shared_ptr<NamedPipe>& failed, PipeKind kind,
                                 std::stop_token stop) {
  if (!lockUnlessStopped(listMutex_, stop)) return;
  std::lock_guard hold(listMutex_, std::adopt_lock);
  // A pipe already replaced or closed needs nothing more.
  const auto& current = kind == PipeKind::Request ? entry.requestPipe : entry.alertPipe;
  if (current == failed) disconnect(entry, kind);
}

void ServerTable::remove(ServerEntry& entry) {
  disconnect(entry, PipeKind::Request);
  std::lock_guard hold(listMutex_);
  entries_.remove_if([&](const auto& e) { return e.get() == &entry; });
}

void ServerTable::clear() {
  std::list<std::unique_ptr<ServerEntry>> gone;
  {
    std::lock_guard hold(listMutex_);
    for (auto& e : entries_) {
      e->thread.requestStop();
      if (e->alertPipe) e->alertPipe->cancel();
      closeAdminPipe(*e);
    }
    gone.swap(entries_);
  }
  // Readers end on their cancelled reads and are joined as the entries go.
  for (auto& e : gone) e->thread = Thread();
}

std::uint32_t ServerTable::sendRequest(ServerEntry& entry, const PortBlock* port, const std::uint8_t* data,
                                       std::size_t size, std::uint8_t command) {
  const std::size_t block = port ? kPortBlockBytes : 0;
  if (size > kMessageLimit) {
    log_.write(kLogFrames, {"Request of ", std::to_string(size), " bytes to server ", entry.name, " is over 1 MiB\r\n"});
    return 1;
  }
  std::size_t offset = 0;
  for (;;) {
    const std::size_t remaining = size - offset;
    const bool final = kFrameHeaderSize + block + remaining <= kFrameLimit;
    const std::size_t part = final ? remaining : kFrameLimit - kFrameHeaderSize - block;
    const Bytes header = frameHeader(part, command | (final ? kFrameFinal : 0), port);
    const auto pipe = usableRequestPipe(entry);
    if (!pipe) return 1;
    DWORD w = pipe->write(header.data(), header.size(), kServerReplyWait);
    if (w != ERROR_SUCCESS) {
      log_.write(kLogFrames, {"Error writing WFS Header (rc = ", hex8(w), ") to server ", entry.name, "\r\n"});
      disconnectPipe(entry, pipe, PipeKind::Request, {});
      return 1;
    }
    if (part && (w = pipe->write(data + offset, part, kServerReplyWait)) != ERROR_SUCCESS) {
      log_.write(kLogFrames, {"Error writing WFS Data (rc = ", hex8(w), ") to server ", entry.name, "\r\n"});
      disconnectPipe(entry, pipe, PipeKind::Request, {});
      return 1;
    }
    const std::uint32_t acked = readMessage(entry, pipe, PipeKind::Request, nullptr, nullptr, false, true);
    if (acked != 0) return acked == kStatusDownLevel ? kStatusDownLevel : 1;
    offset += part;
    if (final) return 0;
  }
}

std::shared_ptr<NamedPipe> ServerTable::usableRequestPipe(ServerEntry& entry) {
  if (!checkConnection(entry, PipeKind::Request)) {
    disconnect(entry, PipeKind::Request);
    return nullptr;
  }
  std::lock_guard hold(listMutex_);
  return entry.requestPipe;
}

std::uint32_t ServerTable::readReply(ServerEntry& entry, Bytes* data, std::optional<PortBlock>* port) {
  const auto pipe = usableRequestPipe(entry);
  return pipe ? readMessage(entry, pipe, PipeKind::Request, data, port, true, false) : 1;
}

std::uint32_t ServerTable::readMessage(ServerEntry& entry, const std::shared_ptr<NamedPipe>& pipe, PipeKind kind,
                                       Bytes* data, std::optional<PortBlock>* port, bool ack, bool expectAck,
                                       std::stop_token stop) {
  const std::uint32_t wait = kind == PipeKind::Request ? kServerReplyWait : kInfinite;
  auto failed = [&](const char* text, DWORD error) -> std::uint32_t {
    // A read ended by a stop or a cancel belongs to whoever ended it.
    if (stop.stop_requested() || error == ERROR_OPERATION_ABORTED) return 1;
    log_.write(kLogFrames, {text, hex8(error), ") from server ", entry.name, "\r\n"});
    disconnectPipe(entry, pipe, kind, stop);
    return 1;
  };
  auto framing = [&](const std::string& why) -> std::uint32_t {
    log_.write(kLogFrames, {"Framing error (", why, ") from server ", entry.name, "\r\n"});
    disconnectPipe(entry, pipe, kind, stop);
    return 1;
  };
  Bytes gathered;
  for (;;) {
    std::uint8_t head[kFrameHeaderSize + kPortBlockBytes];
    // The length (2 bytes) and the rest of the header (7) in one read where
    // they came together; a failure is told by the part it ended in.
    std::size_t came = 0;
    DWORD r = readExact(*pipe, head, kFrameHeaderSize, wait, stop, &came);
    if (r != ERROR_SUCCESS)
      return failed(came < 2 ? "Error reading WFS Data Length (rc = " : "Error reading WFS Header (rc = ", r);
    const std::size_t length = loadBe16(head);
    const std::uint32_t command = loadLe32(head + 3);
    const std::size_t block = loadBe16(head + 7);
    if (block != 0 && block != kPortBlockBytes) return framing("port block length " + std::to_string(block));
    if (length < kFrameHeaderSize + block || length > kFrameLimit)
      return framing("frame length " + std::to_string(length));
    if (expectAck && !(command & kFrameAck)) return framing("a frame where an acknowledgement was due");
    if (block && (r = readExact(*pipe, head + kFrameHeaderSize, block, wait, stop)) != ERROR_SUCCESS)
      return failed("Error reading WFS Port Information (rc = ", r);
    if (block && port && !*port) {
      PortBlock b;
      std::copy_n(head + 9, 6, b.node);
      b.portHi = head[15];
      b.portLo = head[16];
      b.portNumber = head[17];
      b.kind = head[18];
      *port = b;
    }
    const std::size_t dataLength = length - kFrameHeaderSize - block;
    if (dataLength) {
      if (gathered.size() + dataLength > kMessageLimit) return framing("message over 1 MiB");
      const std::size_t at = gathered.size();
      gathered.resize(at + dataLength);
      if ((r = readExact(*pipe, gathered.data() + at, dataLength, wait, stop)) != ERROR_SUCCESS)
        return failed("Error reading WFS Data (rc = ", r);
      if (expectAck) gathered.resize(at);  // an acknowledgement's data is dropped
    }
    if (ack && !(command & kFrameAck)) {
      Bytes reply(head, head + kFrameHeaderSize + block);
      storeBe16(reply.data(), static_cast<std::uint16_t>(kFrameHeaderSize + block));
      storeLe32(reply.data() + 3, command | kFrameAck);
      const DWORD w = pipe->write(reply.data(), reply.size(), kServerReplyWait, stop);
      if (w != ERROR_SUCCESS) {
        if (stop.stop_requested()) return 1;
        log_.write(kLogFrames, {"Error writing WFS ACK (rc = ", hex8(w), ") to server ", entry.name, "\r\n"});
        disconnectPipe(entry, pipe, kind, stop);
        return 1;
      }
    }
    // An acknowledgement is one frame, whatever its bit 21 says.
    if (expectAck) return command & kFrameStatus;
    if (command & kFrameFinal) {
      if (data) *data = std::move(gathered);
      const std::uint32_t code = command & 0xFF;
      // An alert frame of code 128 is the server's shutdown notice, not printer data.
      if (code > 128 || (code == 128 && kind == PipeKind::Alert)) return code;
      return command & kFrameStatus;
    }
  }
}

void ServerTable::readAlerts(ServerEntry& entry, std::shared_ptr<NamedPipe> pipe, std::stop_token stop) {
  for (;;) {
    Bytes data;
    std::optional<PortBlock> port;
    const std::uint32_t r = readMessage(entry, pipe, PipeKind::Alert, &data, &port, false, false, stop);
    if (r >= 1 && r < 128) {
      if (!stop.stop_requested())
        log_.write(kLogAlerts, {"ReadDSA() error (rc = ", hex8(r), "), thread terminating\r\n"});
      return;
    }
    AlertSink sink;
    {
      if (!lockUnlessStopped(listMutex_, stop)) return;
      std::lock_guard hold(listMutex_, std::adopt_lock);
      sink = sink_;
    }
    if (r == 0) {
      if (sink.data) sink.data(entry, port, data);
    } else if (sink.notice) {
      sink.notice(entry, r, port, data);
    }
  }
}

void ServerTable::checkAdministrator(ServerEntry& entry) {
  char user[kUserNameLimit + 1] = {};
  DWORD length = sizeof user;
  bool admin = false;
  if (WNetGetUserA(nullptr, user, &length) == NO_ERROR) {
    const std::size_t size = std::strlen(user);
    Bytes reply;
    admin = sendRequest(entry, nullptr, reinterpret_cast<const std::uint8_t*>(user), size, kCmdAdministrator) == 0 &&
            readReply(entry, &reply) == 0 && !reply.empty() && (reply[0] == 1 || reply[0] == 2);
  }
  std::lock_guard hold(listMutex_);
  entry.admin = admin;
  entry.adminChecked = true;
}

bool ServerTable::openAdminPipe(ServerEntry& entry) {
  const std::string transactionPath = pipePath(entry.name, kTransactionPipeName);
  DWORD error = 0;
  auto transaction = NamedPipe::open(transactionPath, &error);
  if (!transaction) {
    log_.write(kLogConnections, {"Error opening ", transactionPath, " (rc = ", hex8(error), ")\r\n"});
    return false;
  }
  std::uint8_t reply[kTransactionReply] = {};
  std::size_t got = 0;
  const std::uint8_t ask[4] = {0x00, 0x04, 0xCC, 0xFC};
  error = transaction->setReadMode(PipeMode::Message);
  if (error == ERROR_SUCCESS) error = transaction->transact(ask, sizeof ask, reply, sizeof reply, &got, kServerReplyWait);
  if (error != ERROR_SUCCESS) {
    log_.write(kLogConnections, {"TransactNamedPipe() failed (rc = ", hex8(error), ")\r\n"});
    return false;
  }
  const std::uint8_t* begin = reply + std::min(got, kAdminNameOffset);
  const std::uint8_t* end = std::find(begin, static_cast<const std::uint8_t*>(reply + got), std::uint8_t{0});
  if (got <= kAdminNameOffset || end == reply + got) {
    log_.write(kLogConnections, {"Administration pipe name of server ", entry.name, " does not end in its reply\r\n"});
    return false;
  }
  const std::string adminPath = "\\\\" + entry.name + std::string(begin, end);
  auto admin = NamedPipe::open(adminPath, &error);
  if (!admin) {
    log_.write(kLogConnections, {"Error opening ", adminPath, " (rc = ", hex8(error), ")\r\n"});
    return false;
  }
  std::lock_guard hold(listMutex_);
  entry.adminPipe = std::make_shared<NamedPipe>(std::move(*admin));
  return true;
}

void ServerTable::closeAdminPipe(ServerEntry& entry) {
  std::lock_guard hold(listMutex_);
  if (!entry.adminPipe) return;
  const std::uint8_t bye[4] = {0x00, 0x04, 0xCC, 0xDD};
  entry.adminPipe->write(bye, sizeof bye, kAdminCloseWait);
  entry.adminPipe.reset();
}

}  // namespace wf::corlink
