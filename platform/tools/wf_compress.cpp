// wf-compress: makes a compressed distribution file ("WRENFLD.EX_") that the
// expansion calls of lz.h read back.
//   wf-compress [-n <expanded name>] <source> <target>
// The expanded name's last character is stored for the target's trailing
// '_' (default: the source's own name).
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/lz.h"

int main(int argc, char** argv) {
  std::string expandedName;
  int first = 1;
  if (argc > 2 && std::strcmp(argv[1], "-n") == 0) {
    expandedName = argv[2];
    first = 3;
  }
  if (argc - first != 2) {
    std::fprintf(stderr, "usage: wf-compress [-n <expanded name>] <source> <target>\n");
    return 2;
  }
  std::string source = argv[first];
  if (expandedName.empty()) expandedName = source.substr(source.find_last_of("/\\") + 1);
  std::string error;
  if (!wf::lzCompressFile(source, argv[first + 1], expandedName.empty() ? '\0' : expandedName.back(), &error)) {
    std::fprintf(stderr, "wf-compress: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
