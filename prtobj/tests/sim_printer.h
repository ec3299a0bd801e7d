#pragma once
// Answers the fake broker's requests from a simulated printer: each request
// code becomes its NPA packet, the printer's reply comes back as the broker
// returns it (the reply's data, the sub-code byte first).
#include <memory>
#include <string>

#include "fake_broker.h"
#include "sim/printer/printer.h"

namespace prtobjtest {

wf::sim::Profile shippedProfile(const std::string& name);

class SimPrinter {
 public:
  explicit SimPrinter(wf::sim::Profile profile);
  // Makes this printer the fake broker's responder.
  void attach();
  fakebce::Reply ask(std::uint32_t code, const std::string& request);
  wf::sim::PrinterModel& model() { return *model_; }

 private:
  std::shared_ptr<wf::sim::PrinterModel> model_;
};

}  // namespace prtobjtest
