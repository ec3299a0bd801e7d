#include "workers.h"

#include "broker.h"

namespace wf::bce {

const Workers& workers() {
  return Broker::instance().workers;
}
void setWorkersForTest(const Workers& replacement) {
  Broker::instance().workers = replacement;
}

}  // namespace wf::bce
