#include "spooloak/spooloak.h"

#include <strings.h>

#include <mutex>
#include <string>

#include "platform/module.h"
#include "platform/scenario.h"
#include "platform/trace.h"

namespace {

const char* GetPrinterDLLList(int /*kind*/) {
  static std::mutex m;
  static std::string answer;
  std::lock_guard lock(m);
  std::string error;
  const auto scenario = wf::loadScenario(&error);
  if (!scenario) {
    wf::platformTrace("spooloak: no module list: " + error);
    return nullptr;
  }
  auto found = scenario->sections.find("spooloak");
  answer = wf::spooloak::kDefaultModules;
  if (found == scenario->sections.end()) return answer.c_str();
  for (const auto& line : found->second) {
    std::string key, value;
    if (!wf::splitScenarioEntry(line, key, value) || ::strcasecmp(key.c_str(), "modules") != 0) continue;
    if (value == "none") return nullptr;
    answer = value;
  }
  return answer.c_str();
}

}  // namespace

WF_ORDINAL_EXPORTS(WF_ORDINAL(100, GetPrinterDLLList));
