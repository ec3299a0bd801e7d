#pragma once
// Typed client of wf-testchild's platform commands.
#include <cstdint>
#include <ostream>
#include <string>

#include "typed_child.h"

namespace wf::testing {

// One datagram a helper received: sender "NNNNNNNN:HHHHHHHHHHHH:SSSS",
// packet type and the bytes.
struct IpxDatagram {
  std::string from;
  int type = 0;
  std::string data;
  bool operator==(const IpxDatagram&) const = default;
};
std::ostream& operator<<(std::ostream& out, const IpxDatagram& d);

enum class MutexOpened { Created, Existed };
std::ostream& operator<<(std::ostream& out, MutexOpened m);

class PlatformChild : public TypedChild {
 public:
  PlatformChild() : TypedChild(ChildProcess()) {}

  // Binds a socket kept under `id`; its bound address as "net:node:socket".
  std::string ipxBind(const std::string& id, const std::string& at, bool broadcast = false);
  // Sends the bytes of `hexData` from socket `id`; the count sent.
  int ipxSend(const std::string& id, const std::string& to, const std::string& hexData);
  // `count` 90-byte datagrams at once, the first byte of each its number.
  void ipxBurst(const std::string& id, const std::string& to, int count);
  IpxDatagram ipxReceive(const std::string& id);

  MutexOpened mutexOpen(const std::string& name);
  // False when another holder has it (the helper's "busy").
  bool mutexAcquire(const std::string& name);
  void mutexRelease(const std::string& name);
};

}  // namespace wf::testing
