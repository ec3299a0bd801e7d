// A family-shaped library: its start function is exported by ordinal only.
// No attach or detach, and no version record.
#include "platform/module.h"

namespace {

int initFamily(int base) {
  return base + 103;
}
int secondOrdinal(int base) {
  return base + 7;
}

}  // namespace

WF_ORDINAL_EXPORTS(WF_ORDINAL(103, initFamily), WF_ORDINAL(7, secondOrdinal));

WF_MODULE_EXPORT int FamilyName() {
  return 42;
}
