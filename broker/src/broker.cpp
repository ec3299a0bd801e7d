#include "broker.h"

namespace wf::bce {

Broker& Broker::instance() {
  static Broker* broker = new Broker;
  return *broker;
}

}  // namespace wf::bce
