// setup: installs the product from the directory it is run from.
#include <QApplication>

#include "framework/qt_shell.h"
#include "setup/setup_app.h"

namespace {
wf::setup::CSetupApp theSetupApp;
}

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  // Message boxes and the wait cursor go through Qt from here on.
  wf::fw::QtShell shell;
  return AfxWinMain(argc, argv);
}
