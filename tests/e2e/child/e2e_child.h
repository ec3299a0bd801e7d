#pragma once
// Typed client of wf-testchild's e2e commands: one application of the broker
// per process.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "bce_answers.h"
#include "typed_child.h"

namespace wf::testing {

// BceEnumPrinters: its result and the handles delivered, in ascending order.
struct HandleListing {
  std::int32_t result = 0;
  std::vector<int> handles;
  bool operator==(const HandleListing&) const = default;
};
std::ostream& operator<<(std::ostream& out, const HandleListing& l);

class EndToEndChild : public TypedChild {
 public:
  EndToEndChild() : TypedChild(ChildProcess::withCommands("e2e")) {}

  bool isPrimary();
  std::int32_t registerApp();
  void unregisterApp();
  // Waits until the primary has cleared application `id`'s slot; false when it never did.
  bool gone(unsigned id);
  HandleListing enumerate(std::uint32_t mask);
  BufferReply bidi(std::uint32_t handle, std::uint32_t code, std::uint32_t room,
                   const std::string& requestHex = "");
  // BceWrite of `text` in confirmed packets.
  Written write(std::uint32_t handle, const std::string& text);
  std::int32_t startDoc(std::uint32_t handle);
  // Any bytes, carried as hex on the command line.
  Written writeBytes(std::uint32_t handle, const std::string& bytes);
  std::int32_t endDoc(std::uint32_t handle);
  std::int32_t capture(std::uint32_t handle, std::uint32_t mask, std::uint32_t flag);
  BufferReply query(std::uint32_t key, std::uint32_t room);
  // Waits for `count` posts to the application's window.
  std::vector<PostedAlert> posts(std::size_t count);

  // The mock transport `file` in the primary: a network printer with NPA on
  // port `id`, what its NetWrite answers, and unsolicited data for a port
  // (how many callbacks took it).
  void mockPort(const std::string& file, int id, const std::string& name);
  void mockReply(const std::string& file, const std::string& hexData);
  int mockAlert(const std::string& file, int id, const std::string& hexData);
  // Ends the process the ordinary way; it answers nothing.
  void quit();
};

}  // namespace wf::testing
