// The Halcyon family in the helper process.
#include <string>

#include "child_commands.h"
#include "common/app_services.h"
#include "common/printer_dll.h"
#include "fake_wf_app.h"
#include "halcyon/hc_family.h"

namespace {

// halcyon -> "ok": the Halcyon family takes key 6, its yellow toner and oil
// bottle sounds (events 28 and 40) have files
WF_CHILD_COMMAND("halcyon", [](const wf::testing::ChildArgs&) -> std::string {
  auto* app = dynamic_cast<wf::testing::FakeWFApp*>(WFGetApp());
  if (!app) return "err no application";
  InitHalcyonGuiDLL(nullptr, &RegisterDLL);
  app->waveFiles[28] = "yellowempty.wav";
  app->waveFiles[40] = "oillow.wav";
  return "ok";
});

}  // namespace
