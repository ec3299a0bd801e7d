#include "peer_server.h"

#include <future>
#include <numeric>

#include "platform/byte_codec.h"
#include "platform/clock.h"
#include "platform/window_messages.h"
#include "protocol/alert_classes.h"
#include "sim/peer/simulator.h"
#include "sim/printer/npa.h"

namespace wf::sim::peer {
namespace {

constexpr const char* kPeerTopic = "CORPPS$";
constexpr const char* kAlertsItem = "PrinterAlerts";
constexpr std::uint32_t kRunOnPeer = WM_USER + 0x7E0;
constexpr std::size_t kRecordSize = 100;
constexpr std::size_t kShareOffset = 6;
constexpr std::size_t kShareEnd = 86;  // the id follows the share text
constexpr std::size_t kWriteHeader = 12;
constexpr std::size_t kWriteReplyHeader = 16;
// Write reply statuses.
constexpr std::uint16_t kReplyNone = 2, kReplyError = 3, kReplyCut = 4;

// The one peer whose callback runs on this thread.
thread_local PeerServer* tCurrentPeer = nullptr;

HDDEDATA flagAnswer(DWORD flags) {
  return reinterpret_cast<HDDEDATA>(std::uintptr_t{flags});
}

std::string hexOfBytes(const std::vector<std::uint8_t>& bytes) {
  return hexText(bytes.data(), bytes.size());
}

// The message the broker posts for a class byte.
std::uint32_t alertKindOfClass(std::uint8_t classByte) {
  switch (classByte) {
    case 0x01:
      return 1526;
    case 0x02:
      return 1525;
    case 0x04:
      return 1530;
    case 0x08:
      return 1528;
    case 0x10:
      return 1529;
    default:
      return 0;
  }
}

// The printer's three device-status bytes in the two bytes a peer reports,
// the inverse of the mapping its client applies.
std::array<std::uint8_t, 2> peerStatusBytes(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2) {
  std::uint8_t d0 = 0, d1 = 0;
  if (b0 & 0x80) d1 |= 0x02;
  if (b0 & 0x40) d1 |= 0x01;
  const std::uint8_t fromB1[4] = {0x08, 0x04, 0x02, 0x01};  // for 1, 2, 4, 8
  const std::uint8_t fromB2[4] = {0x80, 0x20, 0x40, 0x10};
  for (int i = 0; i < 4; ++i) {
    if (b1 & (1 << i)) d0 |= fromB1[i];
    if (b2 & (1 << i)) d0 |= fromB2[i];
  }
  return {d0, d1};
}

}  // namespace

PeerServer::PeerServer(std::string name, PeerConfig config, std::filesystem::path profiles, Log log)
    : name_(std::move(name)), profiles_(std::move(profiles)), log_(std::move(log)), config_(std::move(config)) {
  for (const auto& p : config_.printers) printers_.push_back({p, nullptr, 0, false});
}

std::unique_ptr<PeerServer> PeerServer::start(std::string name, PeerConfig config, std::filesystem::path profiles,
                                              Log log, std::string* error) {
  std::unique_ptr<PeerServer> server(new PeerServer(std::move(name), std::move(config), std::move(profiles),
                                                    std::move(log)));
  std::promise<std::string> started;
  auto answer = started.get_future();
  PeerServer* self = server.get();
  server->loop_ = Thread("peer-" + self->name_, [self, &started](std::stop_token stop) {
    self->thread_ = currentThreadId();
    tCurrentPeer = self;
    if (DdeInitializeA(&self->instance_, &PeerServer::callback, CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS,
                       0) != DMLERR_NO_ERROR) {
      started.set_value("DDE would not start");
      return;
    }
    self->service_ = DdeCreateStringHandleA(self->instance_, ("\\\\" + self->name_ + "\\NDDE$").c_str(), 0);
    self->topic_ = DdeCreateStringHandleA(self->instance_, kPeerTopic, 0);
    self->alertsItem_ = DdeCreateStringHandleA(self->instance_, kAlertsItem, 0);
    bool down;
    {
      std::lock_guard lock(self->mutex_);
      down = self->config_.down;
    }
    if (!down && !self->registerService(true)) {
      started.set_value("service of " + self->name_ + " not registered");
      DdeUninitialize(self->instance_);
      return;
    }
    started.set_value("");
    self->run(stop);
    DdeUninitialize(self->instance_);
  });
  const std::string why = answer.get();
  if (!why.empty()) {
    if (error) *error = why;
    return nullptr;
  }
  return server;
}

PeerServer::~PeerServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  loop_.requestStop();
  loop_.joinFor(kInfinite);
}

void PeerServer::run(std::stop_token stop) {
  Message m;
  while (getMessage(m, stop)) {
    if (m.hwnd == 0 && m.message == kRunOnPeer) {
      auto* work = reinterpret_cast<std::function<void()>*>(m.lParam);
      (*work)();
      delete work;
      continue;
    }
    dispatchMessage(m);
  }
}

bool PeerServer::onThread(std::function<void()> work) {
  if (currentThreadId() == thread_) {
    work();
    return true;
  }
  std::packaged_task<void()> task(std::move(work));
  auto done = task.get_future();
  auto* heap = new std::function<void()>([&task] { task(); });
  if (!postThreadMessage(thread_, kRunOnPeer, 0, reinterpret_cast<LParam>(heap))) {
    delete heap;
    return false;
  }
  done.wait();
  return true;
}

bool PeerServer::registerService(bool on) {
  if (on == registered_) return true;
  if (!DdeNameService(instance_, service_, nullptr, on ? DNS_REGISTER : DNS_UNREGISTER)) return false;
  registered_ = on;
  return true;
}

std::string PeerServer::text(HSZ hsz) const {
  char buffer[256] = {};
  DdeQueryStringA(instance_, hsz, buffer, sizeof buffer, CP_WINANSI);
  return buffer;
}

bool PeerServer::holdAnswer() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !config_.knobs.silent || stopping_; });
  if (const std::uint32_t delay = config_.knobs.delayMs) {
    changed_.wait_until(lock, deadlineAfter(delay), [this] { return stopping_; });
  }
  return !stopping_;
}

HDDEDATA PeerServer::callback(UINT type, UINT, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data, ULONG_PTR,
                              ULONG_PTR) {
  return tCurrentPeer ? tCurrentPeer->serve(type, conv, hsz1, hsz2, data) : nullptr;
}

HDDEDATA PeerServer::serve(UINT type, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data) {
  switch (type) {
    case XTYP_CONNECT: {
      const bool ok = DdeCmpStringHandles(hsz1, topic_) == 0;
      log_(name_ + " connect " + text(hsz1) + (ok ? "" : " refused"));
      return flagAnswer(ok ? 1 : 0);
    }
    case XTYP_CONNECT_CONFIRM:
      conversations_[conv] = {};
      return nullptr;
    case XTYP_DISCONNECT:
      conversations_.erase(conv);
      log_(name_ + " disconnect");
      return nullptr;
    case XTYP_POKE: {
      std::vector<std::uint8_t> bytes(DdeGetData(data, nullptr, 0, 0));
      DdeGetData(data, bytes.data(), static_cast<DWORD>(bytes.size()), 0);
      const std::string item = text(hsz2);
      if (!holdAnswer()) return nullptr;
      const DWORD answer = poke(conv, item, bytes);
      log_(name_ + " poke " + item + " " + hexOfBytes(bytes) + (answer == DDE_FACK ? "" : " refused"));
      return flagAnswer(answer);
    }
    case XTYP_REQUEST: {
      const std::string item = text(hsz2);
      if (!holdAnswer()) return nullptr;
      auto answer = request(conv, item);
      log_(name_ + " request " + item + (answer ? " " + hexOfBytes(*answer) : " refused"));
      if (!answer) return nullptr;
      return DdeCreateDataHandle(instance_, answer->data(), static_cast<DWORD>(answer->size()), 0, hsz2, CF_TEXT,
                                 0);
    }
    case XTYP_ADVSTART: {
      const bool ok = DdeCmpStringHandles(hsz2, alertsItem_) == 0;
      log_(name_ + " advstart " + text(hsz2) + (ok ? "" : " refused"));
      return flagAnswer(ok ? 1 : 0);
    }
    case XTYP_ADVSTOP:
      log_(name_ + " advstop " + text(hsz2));
      return nullptr;
    case XTYP_ADVREQ:
      return DdeCreateDataHandle(instance_, advising_.data(), static_cast<DWORD>(advising_.size()), 0, hsz2,
                                 CF_TEXT, 0);
    default:
      return nullptr;
  }
}

PeerServer::SharedPrinter* PeerServer::byLocalId(std::uint16_t id) {
  for (auto& p : printers_) {
    if (p.localId == id && id != 0) return &p;
  }
  return nullptr;
}

PeerServer::SharedPrinter* PeerServer::byId(std::uint16_t id) {
  for (auto& p : printers_) {
    if (p.config.id == id) return &p;
  }
  return nullptr;
}

PrinterModel* PeerServer::model(SharedPrinter& printer) {
  if (printer.model) return printer.model.get();
  std::filesystem::path file = printer.config.profile;
  if (file.is_relative()) file = profiles_ / file;
  std::string error;
  auto profile = loadProfile(file, &error);
  if (!profile) {
    log_(name_ + " no printer " + error);
    return nullptr;
  }
  printer.model = std::make_unique<PrinterModel>(std::move(*profile));
  return printer.model.get();
}

DWORD PeerServer::poke(HCONV conv, const std::string& item, const std::vector<std::uint8_t>& data) {
  auto at = conversations_.find(conv);
  if (at == conversations_.end()) return DDE_FNOTPROCESSED;
  Conversation& c = at->second;
  PeerKnobs knobs;
  {
    std::lock_guard lock(mutex_);
    knobs = config_.knobs;
  }
  if (item == "CorHi") return DDE_FACK;
  if (item == "ListPrinters") {
    if (data.size() < 6) return DDE_FNOTPROCESSED;
    const std::uint32_t index = loadLe32(&data[0]);
    if (knobs.listFailsAt && *knobs.listFailsAt == index) return DDE_FNOTPROCESSED;
    c.listIndex = index;
    if (index < printers_.size()) printers_[index].localId = loadLe16(&data[4]);
    return DDE_FACK;
  }
  if (item == "UpdateID") {
    if (data.size() < 6) return DDE_FNOTPROCESSED;
    SharedPrinter* p = byId(loadLe16(&data[4]));
    if (!p) return DDE_FNOTPROCESSED;
    p->localId = static_cast<std::uint16_t>(loadLe32(&data[0]));
    return DDE_FACK;
  }
  if (item == "Capture" || item == "Release") {
    SharedPrinter* p = data.size() >= 2 ? byLocalId(loadLe16(&data[0])) : nullptr;
    if (!p || !model(*p)) return DDE_FNOTPROCESSED;
    capture(*p, item == "Capture");
    return DDE_FACK;
  }
  if (item == "WriteData") {
    {
      std::lock_guard lock(mutex_);
      if (config_.knobs.pokeFails > 0) {
        --config_.knobs.pokeFails;
        return DDE_FNOTPROCESSED;
      }
    }
    SharedPrinter* p = data.size() >= kWriteHeader ? byLocalId(loadLe16(&data[0])) : nullptr;
    if (!p || loadLe32(&data[4]) != data.size() - kWriteHeader || !model(*p)) return DDE_FNOTPROCESSED;
    c.writeReply = write(*p, data);
    c.replyPending = true;
    return DDE_FACK;
  }
  return DDE_FNOTPROCESSED;
}

std::optional<std::vector<std::uint8_t>> PeerServer::request(HCONV conv, const std::string& item) {
  auto at = conversations_.find(conv);
  if (at == conversations_.end()) return std::nullopt;
  Conversation& c = at->second;
  PeerKnobs knobs;
  {
    std::lock_guard lock(mutex_);
    knobs = config_.knobs;
  }
  if (item == "EnumPrinters") {
    if (knobs.enumFails) return std::nullopt;
    std::vector<std::uint8_t> count(4);
    storeLe32(count.data(), static_cast<std::uint32_t>(knobs.count.value_or(static_cast<std::int32_t>(printers_.size()))));
    return count;
  }
  if (item == "ListPrinters") {
    if (c.listIndex >= printers_.size()) return std::nullopt;
    auto record = printerRecord(printers_[c.listIndex]);
    if (knobs.unterminatedShare) std::fill(record.begin() + kShareOffset, record.begin() + kShareEnd, 'X');
    return record;
  }
  if (item == "WriteData") {
    if (!c.replyPending) return std::nullopt;
    c.replyPending = false;
    return std::move(c.writeReply);
  }
  return std::nullopt;
}

std::vector<std::uint8_t> PeerServer::printerRecord(const SharedPrinter& printer) const {
  std::vector<std::uint8_t> record(kRecordSize);
  const std::string& share = printer.config.share;
  std::copy(share.begin(), share.end(), record.begin() + kShareOffset);
  storeLe16(&record[kShareEnd], printer.config.id);
  storeLe16(&record[kShareEnd + 2], printer.config.flags);
  return record;
}

// The poked bytes go to the printer as a stream; its reply packets' data,
// joined, make the reply. Alerts it sends meanwhile go to the advise loops.
std::vector<std::uint8_t> PeerServer::write(SharedPrinter& printer, const std::vector<std::uint8_t>& poke) {
  const std::uint32_t capacity = loadLe32(&poke[8]);
  const std::string_view bytes(reinterpret_cast<const char*>(poke.data() + kWriteHeader), poke.size() - kWriteHeader);
  std::string data;
  bool replied = false, failed = false;
  for (const Outgoing& out : printer.model->receive(bytes)) {
    for (std::string_view rest = out.bytes; !rest.empty();) {
      const std::size_t size = npa::packetSize(rest).value_or(rest.size());
      const auto packet = npa::decode(rest.substr(0, size));
      if (packet.command >= npa::kFirstAlert) {
        postAlerts(printer, rest.substr(0, size));
      } else if (packet.command != npa::kPrintData) {
        replied = true;
        failed = failed || (packet.flags & npa::kFlagError);
        data += packet.data;
      }
      rest.remove_prefix(size);
    }
  }
  std::uint16_t status = failed ? kReplyError : kReplyNone;
  if (data.size() > capacity) {
    data.resize(capacity);
    status = kReplyCut;
  }
  if (!replied) data.clear();
  PeerKnobs knobs;
  {
    std::lock_guard lock(mutex_);
    knobs = config_.knobs;
  }
  if (knobs.replyStatus) status = *knobs.replyStatus;
  std::vector<std::uint8_t> reply(kWriteReplyHeader + data.size());
  storeLe32(&reply[8], static_cast<std::uint32_t>(data.size() + (knobs.replyBeyond ? 100 : 0)));
  storeLe16(&reply[12], status);
  std::copy(data.begin(), data.end(), reply.begin() + kWriteReplyHeader);
  return reply;
}

// The peer is the printer's host: it captures every class for itself.
void PeerServer::capture(SharedPrinter& printer, bool on) {
  const std::uint8_t all = on ? 0xFF : 0x00;
  const std::string packets =
      std::string(npa::kSyncPacket) +
      npa::encode(protocol::npa::kFlagRequest, protocol::npa::kControl,
                  std::string{char(protocol::npa::control::kCaptureDeviceStatus), char(all & 0xC0), char(all & 0x0F),
                              char(all & 0x0F)}) +
      npa::encode(protocol::npa::kFlagRequest, protocol::npa::kPanel,
                  std::string{char(protocol::npa::panel::kAlertClasses), char(all & 0x1F)}) +
      npa::encode(protocol::npa::kFlagRequest, protocol::npa::kPanel,
                  std::string{char(protocol::npa::panel::kDisplay), char(protocol::npa::panel::kDisplayAlerts),
                              char(on ? 1 : 0)});
  printer.model->receive(packets);
  printer.captured = on;
}

void PeerServer::postAlerts(const SharedPrinter& printer, std::string_view packets) {
  PeerKnobs knobs;
  {
    std::lock_guard lock(mutex_);
    knobs = config_.knobs;
  }
  for (std::string_view rest = packets; !rest.empty();) {
    const std::size_t size = npa::packetSize(rest).value_or(rest.size());
    const auto packet = npa::decode(rest.substr(0, size));
    rest.remove_prefix(size);
    std::string data;
    std::uint32_t kind = 0;
    if (packet.command == npa::kDeviceStatusAlert && packet.data.size() >= 3) {
      const auto d = peerStatusBytes(static_cast<std::uint8_t>(packet.data[0]),
                                     static_cast<std::uint8_t>(packet.data[1]),
                                     static_cast<std::uint8_t>(packet.data[2]));
      kind = kPeerStatusAlert;
      data = {char(d[0]), char(d[1]), '\0'};
    } else if (packet.command == npa::kClassAlert && packet.data.size() >= 2) {
      kind = packet.data[0] == char(protocol::alerts::kPanelAlertTag)
                 ? 1527
                 : alertKindOfClass(static_cast<std::uint8_t>(packet.data[1]));
      data = packet.data;
    }
    if (!kind) continue;
    advising_.assign(8 + data.size(), 0);
    storeLe16(&advising_[0], printer.config.id);
    storeLe16(&advising_[2], static_cast<std::uint16_t>(data.size() + (knobs.shortAdvise ? 4 : 0)));
    storeLe32(&advising_[4], kind);
    std::copy(data.begin(), data.end(), advising_.begin() + 8);
    log_(name_ + " advise " + hexOfBytes(advising_));
    DdePostAdvise(instance_, topic_, alertsItem_);
  }
}

bool PeerServer::applySetting(std::string_view key, std::string_view value, std::string* error) {
  bool ok = false;
  bool down = false;
  {
    std::lock_guard lock(mutex_);
    PeerConfig changed = config_;
    ok = applyPeerSetting(changed, key, value, error);
    if (ok && key == "printer") {
      if (error) *error = "printers are set in the scenario";
      return false;
    }
    if (ok) config_ = std::move(changed);
    down = config_.down;
  }
  changed_.notify_all();
  if (ok && key == "down") {
    onThread([&] {
      if (down) {
        registerService(false);
        for (auto& [conv, state] : std::map(conversations_)) DdeDisconnect(conv);
        conversations_.clear();
      } else {
        ok = registerService(true);
        if (!ok && error) *error = "service not registered";
      }
    });
  }
  return ok;
}

bool PeerServer::raiseStatus(std::uint16_t id, std::uint32_t mask, std::string* error) {
  bool sent = false;
  onThread([&] {
    SharedPrinter* p = byId(id);
    if (!p || !p->captured) return;
    auto alert = p->model->deviceStatusAlert(mask);
    if (!alert || alert->empty()) return;
    postAlerts(*p, *alert);
    sent = true;
  });
  if (!sent && error) *error = "printer " + std::to_string(id) + " sent no alert";
  return sent;
}

bool PeerServer::raiseAlert(std::uint16_t id, std::uint8_t classByte, std::string* error) {
  bool sent = false;
  onThread([&] {
    SharedPrinter* p = byId(id);
    if (!p || !p->captured) return;
    const std::string data{char(protocol::alerts::kClassAlertTag), char(classByte)};
    auto alert = p->model->classAlert(data);
    if (!alert || alert->empty()) return;
    postAlerts(*p, *alert);
    sent = true;
  });
  if (!sent && error) *error = "printer " + std::to_string(id) + " sent no alert";
  return sent;
}

void PeerServer::disconnectAll() {
  onThread([&] {
    for (auto& [conv, state] : conversations_) DdeDisconnect(conv);
    conversations_.clear();
  });
}

bool PeerServer::withPrinter(std::uint16_t id, const std::function<void(PrinterModel&)>& use) {
  bool found = false;
  onThread([&] {
    SharedPrinter* p = byId(id);
    PrinterModel* m = p ? model(*p) : nullptr;
    if (!m) return;
    use(*m);
    found = true;
  });
  return found;
}

std::optional<std::string> PeerServer::jobs(std::uint16_t id, std::string* error) {
  std::optional<std::string> answer;
  onThread([&] {
    SharedPrinter* p = byId(id);
    PrinterModel* m = p ? model(*p) : nullptr;
    if (!m) return;
    const auto jobs = m->printJobs();
    std::string sizes;
    std::uint32_t sum = 0;
    for (const auto& job : jobs) {
      sizes += (sizes.empty() ? "" : ",") + std::to_string(job.size());
      for (unsigned char ch : job) sum = sum * 31 + ch;
    }
    answer = std::to_string(jobs.size()) + " " + (sizes.empty() ? "-" : sizes) + " " + std::to_string(sum);
  });
  if (!answer && error) *error = "no printer " + std::to_string(id);
  return answer;
}

}  // namespace wf::sim::peer
