#pragma once
// Answers the fake broker's requests from a simulated printer: each request
// code becomes its NPA packet, the printer's reply comes back as the broker
// returns it (the reply's data, the sub-code byte first).
#include <memory>
#include <string>
#include <vector>

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
  // Class alerts the printer sent, filed with the fake broker in arrival
  // order; their keys, once each.
  std::vector<std::uint16_t> takeAlertKeys();

 private:
  std::shared_ptr<wf::sim::PrinterModel> model_;
  std::string alert_;             // a class alert whose last packet is still to come
  std::uint16_t nextKey_ = 1000;  // clear of the keys tests file by hand
  std::vector<std::uint16_t> keys_;
};

}  // namespace prtobjtest
