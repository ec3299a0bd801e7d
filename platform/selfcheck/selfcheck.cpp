// wf-selfcheck: exercises the platform core end to end and says what it did.
// It is the main job until the main program exists.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/mailslot.h"
#include "platform/runtime_dir.h"
#include "platform/shared_memory.h"
#include "platform/thread.h"

namespace {

int failures = 0;

void report(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "[ok]  " : "[FAIL]", what.c_str());
  if (!ok) ++failures;
}

}  // namespace

int main() {
  std::string error;
  auto runtime = wf::runtimeDir(&error);
  report(bool(runtime), "runtime directory " + (runtime ? runtime->string() : error));
  auto data = wf::dataRoot(&error);
  report(bool(data), "data root " + (data ? data->string() : error));
  if (!runtime || !data) return 1;

  std::printf("       time scale %.4g\n", wf::timeScale());
  wf::ThreadId worker = 0;
  {
    wf::Thread t("selfcheck", [&](std::stop_token) { worker = wf::currentThreadId(); });
    const bool joined = t.joinFor(5'000);  // before the report text reads `worker`
    report(joined && worker != 0, "started and joined a named thread (tid " + std::to_string(worker) + ")");
  }

  {
    auto block = wf::SharedMemory::open("selfcheck", 128, &error);
    report(bool(block),
           block ? std::string("mapped 128 bytes of shared memory, ") +
                       (block->created() ? "created it (first holder)" : "it existed (another holder)")
                 : "shared memory: " + error);
  }

  {
    const char* name = "\\\\.\\mailslot\\wrenfield\\selfcheck";
    wf::MailslotStatus status;
    auto slot = wf::Mailslot::create(name, &status);
    auto writer = slot ? wf::MailslotWriter::open(name, &status) : std::nullopt;
    report(slot && writer, std::string("mailslot ") + name +
                               " created and opened for writing: " + std::string(wf::describe(status)));
    // One message that fits a datagram and one that travels as a memory file.
    for (std::size_t size : {std::size_t{64}, std::size_t{1} << 20}) {
      if (!slot || !writer) break;
      std::vector<std::uint8_t> sent(size), got;
      for (std::size_t i = 0; i < size; ++i) sent[i] = static_cast<std::uint8_t>(i * 13);
      auto written = writer->write(sent.data(), sent.size());
      auto waiting = slot->nextMessageSize();
      auto read = slot->read(got, 5'000);
      report(written == wf::MailslotStatus::Ok && waiting == size && read == wf::MailslotStatus::Ok &&
                 got == sent,
             "mailslot round trip: wrote " + std::to_string(size) + " bytes, next message size " +
                 (waiting ? std::to_string(*waiting) : std::string("none")) + ", read " +
                 std::to_string(got.size()) + " bytes (" + std::string(wf::describe(read)) + ")");
    }
  }

  std::printf("%s\n", failures ? "self-check FAILED" : "self-check passed");
  return failures ? 1 : 0;
}
