#include "platform_child.h"

#include "hex_bytes.h"

namespace wf::testing {

std::ostream& operator<<(std::ostream& out, const IpxDatagram& d) {
  return out << "{from " << d.from << ", type " << d.type << ", data " << toHex(d.data) << "}";
}

std::ostream& operator<<(std::ostream& out, MutexOpened m) {
  return out << (m == MutexOpened::Created ? "created" : "existed");
}

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

MutexOpened PlatformChild::mutexOpen(const std::string& name) {
  return expectOk("xmutex-open " + name).field() == "new" ? MutexOpened::Created : MutexOpened::Existed;
}

bool PlatformChild::mutexAcquire(const std::string& name) {
  const ChildAnswer a = process().ask("xmutex-acquire " + name);
  if (!a.ok && a.error != "busy") throw ChildError("xmutex-acquire failed: " + a.error);
  return a.ok;
}

void PlatformChild::mutexRelease(const std::string& name) {
  expectOk("xmutex-release " + name);
}

}  // namespace wf::testing
