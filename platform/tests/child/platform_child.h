#pragma once
// Typed client of wf-testchild's platform commands.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

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

// Whether a named object was made by this open or was there already.
enum class Opened { Created, Existed };
std::ostream& operator<<(std::ostream& out, Opened o);

// A registry value as another process reads it: the call's result, and on
// success the value's type and bytes.
struct RegistryRead {
  long result = 0;
  std::uint32_t type = 0;
  std::string bytes;
  bool operator==(const RegistryRead&) const = default;
};
std::ostream& operator<<(std::ostream& out, const RegistryRead& r);

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

  Opened mutexOpen(const std::string& name);
  // False when another holder has it (the helper's "busy").
  bool mutexAcquire(const std::string& name);
  void mutexRelease(const std::string& name);

  // Maps the shared block `name` and keeps it mapped.
  Opened sharedMemoryMap(const std::string& name, std::size_t size);
  // Every word of the block, in order.
  std::vector<std::uint32_t> sharedMemoryWords(const std::string& name);
  void sharedMemorySet(const std::string& name, std::size_t index, std::uint32_t value);

  // `hive` is "hkcu" or "hklm". The writes create the key when missing and
  // answer the registry's result.
  RegistryRead registryGet(const std::string& hive, const std::string& key, const std::string& name);
  long registrySetDword(const std::string& hive, const std::string& key, const std::string& name,
                        std::uint32_t value);
  // Values <prefix>0 .. <prefix>count-1, each its own write, holding their index.
  long registryFill(const std::string& hive, const std::string& key, const std::string& prefix, int count);

  // Mailslot ends kept in the helper; a failure throws ChildError with the
  // platform's description of the status.
  void mailslotCreate(const std::string& name);
  void mailslotOpen(const std::string& name);
  void mailslotWrite(const std::string& name, const std::string& text);
  // Messages "<tag>:<i>:" padded with the tag's first letter to `size` bytes.
  void mailslotWriteSeries(const std::string& name, const std::string& tag, int count, std::size_t size);
  // One message whose byte i is i * 7 mod 251.
  void mailslotWriteBig(const std::string& name, std::size_t size);

  // A pipe listener ("byte" or "message") that echoes what each client sends.
  void pipeEcho(const std::string& path, const std::string& mode);

  std::string runtimeDir();
  // A shared lock on `path` held until the helper ends.
  void holdLock(const std::string& path);
  // A write through the helper's own network connections: the result code.
  long netWrite(const std::string& remote, const std::string& data);
};

}  // namespace wf::testing
