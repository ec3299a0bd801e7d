// wf-selfcheck: exercises the platform core end to end and says what it did.
// It is the main job until the main program exists.
#include <cstdio>
#include <string>

#include "platform/clock.h"
#include "platform/runtime_dir.h"
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
    report(t.joinFor(5'000) && worker != 0, "started and joined a named thread (tid " + std::to_string(worker) + ")");
  }

  std::printf("%s\n", failures ? "self-check FAILED" : "self-check passed");
  return failures ? 1 : 0;
}
