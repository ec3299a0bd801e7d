#include "platform_child.h"

#include "hex_bytes.h"

namespace wf::testing {

std::ostream& operator<<(std::ostream& out, const IpxDatagram& d) {
  return out << "{from " << d.from << ", type " << d.type << ", data " << toHex(d.data) << "}";
}

std::ostream& operator<<(std::ostream& out, Opened o) {
  return out << (o == Opened::Created ? "created" : "existed");
}

std::ostream& operator<<(std::ostream& out, const RegistryRead& r) {
  return out << "{result " << r.result << ", type " << r.type << ", bytes " << toHex(r.bytes) << "}";
}

namespace {

// "ok ..." or "err <code>": the code, 0 for ok.
long resultCode(const ChildAnswer& a) {
  return a.ok ? 0 : std::stol(a.error);
}

}  // namespace

std::string PlatformChild::ipxBind(const std::string& id, const std::string& at, bool broadcast) {
  return expectOk("ipx-bind " + id + " " + at + (broadcast ? " broadcast" : "")).field();
}

int PlatformChild::ipxSend(const std::string& id, const std::string& to, const std::string& hexData) {
  return static_cast<int>(expectNumber("ipx-send " + id + " " + to + " " + hexData));
}

void PlatformChild::ipxBurst(const std::string& id, const std::string& to, int count) {
  expectOk("ipx-burst " + id + " " + to + " " + std::to_string(count));
}

IpxDatagram PlatformChild::ipxReceive(const std::string& id) {
  const ChildAnswer a = expectOk("ipx-recv " + id);
  IpxDatagram d{a.field(0), static_cast<int>(a.number(1)), {}};
  std::string bytes;
  for (std::size_t i = 2; i < a.fields.size(); ++i) bytes += a.fields[i] + " ";
  d.data = hex(bytes);
  return d;
}

Opened PlatformChild::mutexOpen(const std::string& name) {
  return expectOk("xmutex-open " + name).field() == "new" ? Opened::Created : Opened::Existed;
}

bool PlatformChild::mutexAcquire(const std::string& name) {
  const ChildAnswer a = process().ask("xmutex-acquire " + name);
  if (!a.ok && a.error != "busy") throw ChildError("xmutex-acquire failed: " + a.error);
  return a.ok;
}

void PlatformChild::mutexRelease(const std::string& name) {
  expectOk("xmutex-release " + name);
}

Opened PlatformChild::sharedMemoryMap(const std::string& name, std::size_t size) {
  return expectOk("shm-map " + name + " " + std::to_string(size)).field() == "created" ? Opened::Created
                                                                                       : Opened::Existed;
}

std::vector<std::uint32_t> PlatformChild::sharedMemoryWords(const std::string& name) {
  std::vector<std::uint32_t> words;
  for (const auto& w : expectOk("shm-get " + name).fields)
    words.push_back(static_cast<std::uint32_t>(std::stoul(w)));
  return words;
}

void PlatformChild::sharedMemorySet(const std::string& name, std::size_t index, std::uint32_t value) {
  expectOk("shm-set " + name + " " + std::to_string(index) + " " + std::to_string(value));
}

RegistryRead PlatformChild::registryGet(const std::string& hive, const std::string& key,
                                        const std::string& name) {
  const ChildAnswer a = process().ask("reg-get " + hive + " " + key + " " + name);
  if (!a.ok) return {resultCode(a), 0, {}};
  return {0, static_cast<std::uint32_t>(a.number(0)), a.fields.size() > 1 ? hex(a.field(1)) : std::string()};
}

long PlatformChild::registrySetDword(const std::string& hive, const std::string& key, const std::string& name,
                                     std::uint32_t value) {
  return resultCode(
      process().ask("reg-set-dword " + hive + " " + key + " " + name + " " + std::to_string(value)));
}

long PlatformChild::registryFill(const std::string& hive, const std::string& key, const std::string& prefix,
                                 int count) {
  return resultCode(
      process().ask("reg-fill " + hive + " " + key + " " + prefix + " " + std::to_string(count)));
}

void PlatformChild::mailslotCreate(const std::string& name) {
  expectOk("ms-create " + name);
}

void PlatformChild::pipeEcho(const std::string& path, const std::string& mode) {
  expectOk("pipe-echo " + path + " " + mode);
}

void PlatformChild::mailslotOpen(const std::string& name) {
  expectOk("ms-open " + name);
}

void PlatformChild::mailslotWrite(const std::string& name, const std::string& text) {
  expectOk("ms-write " + name + " " + text);
}

void PlatformChild::mailslotWriteSeries(const std::string& name, const std::string& tag, int count,
                                        std::size_t size) {
  expectOk("ms-write-series " + name + " " + tag + " " + std::to_string(count) + " " + std::to_string(size));
}

void PlatformChild::mailslotWriteBig(const std::string& name, std::size_t size) {
  expectOk("ms-write-big " + name + " " + std::to_string(size));
}

std::string PlatformChild::runtimeDir() {
  return expectText("runtime-dir");
}

void PlatformChild::holdLock(const std::string& path) {
  expectOk("hold-lock " + path);
}

long PlatformChild::netWrite(const std::string& remote, const std::string& data) {
  return resultCode(process().ask("net-write " + remote + " " + data));
}

}  // namespace wf::testing
