#include "framework/scripted_shell.h"

namespace wf::fw {

ScriptedShell::ScriptedShell()
    : previous_(installShellServices({&messageBox, &fileDialog, &help, &sound, &programs, &waitCursor})) {}

ScriptedShell::~ScriptedShell() {
  installShellServices(previous_);
}

}  // namespace wf::fw
