// wrenfld: the printer utility. The one static application object runs it.
#include "app/wf_app.h"

namespace {
CWFApp theApp;
}

int main(int argc, char** argv) {
  return AfxWinMain(argc, argv);
}
