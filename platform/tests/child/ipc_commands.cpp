// Child commands for shared memory, mailslots and named pipes.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "child_commands.h"
#include "platform/mailslot.h"
#include "platform/named_pipe.h"
#include "platform/thread.h"
#include "platform/shared_memory.h"

namespace wf::testing {
namespace {

std::map<std::string, SharedMemory>& mappings() {
  static std::map<std::string, SharedMemory> held;
  return held;
}

std::map<std::string, Mailslot>& readers() {
  static std::map<std::string, Mailslot> held;
  return held;
}

std::map<std::string, MailslotWriter>& writers() {
  static std::map<std::string, MailslotWriter> held;
  return held;
}

std::string statusAnswer(MailslotStatus s) {
  return s == MailslotStatus::Ok ? "ok" : "err " + std::string(describe(s));
}

}  // namespace

// shm-map <name> <size>: maps and keeps the block; answers "ok created" or "ok existed".
WF_CHILD_COMMAND("shm-map", [](const ChildArgs& a) -> std::string {
  if (a.size() != 2) return "err usage: shm-map <name> <size>";
  std::string error;
  auto block = SharedMemory::open(a[0], std::stoul(a[1]), &error);
  if (!block) return "err " + error;
  const bool created = block->created();
  mappings().insert_or_assign(a[0], std::move(*block));
  return created ? "ok created" : "ok existed";
});

// shm-get <name>: every word of the block, in order.
WF_CHILD_COMMAND("shm-get", [](const ChildArgs& a) -> std::string {
  auto it = a.empty() ? mappings().end() : mappings().find(a[0]);
  if (it == mappings().end()) return "err not mapped";
  std::string out = "ok";
  for (std::size_t i = 0; i < it->second.size() / 4; ++i)
    out += " " + std::to_string(it->second.word(i).load());
  return out;
});

// shm-set <name> <index> <value>
WF_CHILD_COMMAND("shm-set", [](const ChildArgs& a) -> std::string {
  auto it = a.size() != 3 ? mappings().end() : mappings().find(a[0]);
  if (it == mappings().end()) return "err usage: shm-set <mapped name> <index> <value>";
  it->second.word(std::stoul(a[1])).store(static_cast<std::uint32_t>(std::stoul(a[2])));
  return "ok";
});

// ms-create <name>: creates and keeps the reading end.
WF_CHILD_COMMAND("ms-create", [](const ChildArgs& a) -> std::string {
  if (a.size() != 1) return "err usage: ms-create <name>";
  MailslotStatus status;
  auto slot = Mailslot::create(a[0], &status);
  if (slot) readers().insert_or_assign(a[0], std::move(*slot));
  return statusAnswer(status);
});

// ms-open <name>: opens and keeps a writing end.
WF_CHILD_COMMAND("ms-open", [](const ChildArgs& a) -> std::string {
  if (a.size() != 1) return "err usage: ms-open <name>";
  MailslotStatus status;
  auto writer = MailslotWriter::open(a[0], &status);
  if (writer) writers().insert_or_assign(a[0], std::move(*writer));
  return statusAnswer(status);
});

// ms-write <name> <text>: one message, the text as it stands.
WF_CHILD_COMMAND("ms-write", [](const ChildArgs& a) -> std::string {
  auto it = a.size() != 2 ? writers().end() : writers().find(a[0]);
  if (it == writers().end()) return "err usage: ms-write <opened name> <text>";
  return statusAnswer(it->second.write(a[1].data(), a[1].size()));
});

// ms-write-series <name> <tag> <count> <size>: messages "<tag>:<i>:" padded
// with the tag's first letter to <size> bytes, for i = 0 .. count-1.
WF_CHILD_COMMAND("ms-write-series", [](const ChildArgs& a) -> std::string {
  auto it = a.size() != 4 ? writers().end() : writers().find(a[0]);
  if (it == writers().end()) return "err usage: ms-write-series <opened name> <tag> <count> <size>";
  const unsigned long count = std::stoul(a[2]), size = std::stoul(a[3]);
  for (unsigned long i = 0; i < count; ++i) {
    std::string m = a[1] + ":" + std::to_string(i) + ":";
    m.resize(std::max<std::size_t>(size, m.size()), a[1][0]);
    if (auto s = it->second.write(m.data(), m.size()); s != MailslotStatus::Ok)
      return "err message " + std::to_string(i) + ": " + std::string(describe(s));
  }
  return "ok";
});

// ms-write-big <name> <size>: one message whose byte i is i * 7 mod 251.
WF_CHILD_COMMAND("ms-write-big", [](const ChildArgs& a) -> std::string {
  auto it = a.size() != 2 ? writers().end() : writers().find(a[0]);
  if (it == writers().end()) return "err usage: ms-write-big <opened name> <size>";
  std::vector<std::uint8_t> m(std::stoul(a[1]));
  for (std::size_t i = 0; i < m.size(); ++i) m[i] = static_cast<std::uint8_t>(i * 7 % 251);
  return statusAnswer(it->second.write(m.data(), m.size()));
});

}  // namespace wf::testing

namespace wf::testing {
namespace {

// Listeners that echo every byte or message back, each client on a thread of its own.
struct EchoServer {
  explicit EchoServer(PipeListener l)
      : listener(std::move(l)), acceptor("pipe-echo", [this](std::stop_token stop) { serve(stop); }) {}
  ~EchoServer() {
    acceptor.requestStop();
    listener.cancel();
  }

  void serve(std::stop_token stop) {
    std::vector<Thread> clients;
    while (auto pipe = listener.accept(nullptr, kInfinite, stop)) {
      clients.emplace_back("pipe-echo-client", [p = std::make_shared<NamedPipe>(std::move(*pipe))](std::stop_token s) {
        char buffer[4096];
        std::size_t got = 0;
        while (p->read(buffer, sizeof buffer, &got, kInfinite, s) == ERROR_SUCCESS &&
               p->write(buffer, got) == ERROR_SUCCESS) {
        }
      });
    }
  }

  PipeListener listener;
  Thread acceptor;
};

std::map<std::string, std::unique_ptr<EchoServer>>& echoServers() {
  static std::map<std::string, std::unique_ptr<EchoServer>> held;
  return held;
}

}  // namespace

// pipe-echo <path> <byte|message>: listens and echoes until the helper ends.
WF_CHILD_COMMAND("pipe-echo", [](const ChildArgs& a) -> std::string {
  if (a.size() != 2 || (a[1] != "byte" && a[1] != "message")) return "err usage: pipe-echo <path> <byte|message>";
  DWORD error = 0;
  auto listener = PipeListener::listen(a[0], a[1] == "byte" ? PipeMode::Byte : PipeMode::Message, &error);
  if (!listener) return "err " + std::to_string(error);
  echoServers()[a[0]] = std::make_unique<EchoServer>(std::move(*listener));
  return "ok";
});

}  // namespace wf::testing
