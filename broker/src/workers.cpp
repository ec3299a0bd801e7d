#include "workers.h"

namespace wf::bce {

namespace {
Workers& table() {
  static Workers* w = new Workers;  // still read while the process unloads the broker
  return *w;
}
}  // namespace

const Workers& workers() { return table(); }
void setWorkersForTest(const Workers& replacement) { table() = replacement; }

}  // namespace wf::bce
