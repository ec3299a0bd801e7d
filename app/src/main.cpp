// wrenfld: the printer utility. The one static application object runs it.
#include <QApplication>

#include "app/wf_app.h"
#include "framework/qt_shell.h"
#include "platform/module.h"

namespace {
CWFApp theApp;
}

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  // The download tool kit is built into a directory of its own beside ours.
  wf::setModuleSearchPath({wf::moduleDirectory().parent_path() / "toolkit"});
  // Message boxes, sounds and program starts go through Qt from here on.
  wf::fw::QtShell shell;
  return AfxWinMain(argc, argv);
}
