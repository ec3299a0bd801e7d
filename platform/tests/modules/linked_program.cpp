// A program that links testlinked at load time, as the programs link the
// broker; with an argument it also loads and frees it by name.
#include "platform/module.h"

extern "C" int LinkedQuery();

int main(int argc, char** argv) {
  if (LinkedQuery() != 7) return 1;
  if (argc > 1) {
    wf::setModuleSearchPath({wf::moduleDirectory()});
    wf::ModuleHandle self = wf::loadModule(argv[1]);
    if (!self || !wf::freeModule(self)) return 2;
  }
  return 0;
}
