#include "framework/scripted_shell.h"

namespace wf::fw {

ScriptedShell::ScriptedShell()
    : previous_(installShellServices({&messageBox, &fileDialog, &help, &sound, &programs, &waitCursor})) {}

ScriptedShell::~ScriptedShell() {
  installShellServices(previous_);
}

ScriptedDialogs::~ScriptedDialogs() {
  for (const auto& [id, count] : runs_) setModalDialogHook(id, {});
}

void ScriptedDialogs::on(UINT templateId, DialogAction action) {
  {
    std::lock_guard lock(mutex_);
    bool known = false;
    for (const auto& r : runs_) known = known || r.first == templateId;
    if (!known) runs_.emplace_back(templateId, 0);
  }
  setModalDialogHook(templateId, [this, templateId, action = std::move(action)](CDialog& dialog) {
    {
      std::lock_guard lock(mutex_);
      for (auto& r : runs_)
        if (r.first == templateId) ++r.second;
    }
    if (action) action(dialog);
  });
}

int ScriptedDialogs::runs(UINT templateId) const {
  std::lock_guard lock(mutex_);
  for (const auto& r : runs_)
    if (r.first == templateId) return r.second;
  return 0;
}

}  // namespace wf::fw
