#include "broker/internal_testing.h"

#include "broker_state.h"
#include "dispatcher.h"
#include "npa.h"
#include "printer_list.h"
#include "workers.h"

namespace wf::bce::internal_testing {

void replaceSendBidiWorker(SendBidiWorker worker) {
  Workers replacement;
  replacement.sendBidi = worker;
  setWorkersForTest(replacement);
}

void setReplyPacing(bool on) {
  setReplyPacingForTest(on);
}

void forgetSummary(std::uint16_t handle) {
  PrinterListLock lock;
  if (PrinterEntry* e = printerList().findByHandle(handle)) e->forgetSummary();
}

void clearPrinterList() {
  PrinterListLock lock;
  printerList().clear();
}

bool isPrimary() {
  return bce::isPrimary();
}

int ownAppId() {
  return bce::ownAppId();
}

std::uint32_t registrationWindow(unsigned appId) {
  return bce::registrationWindow(appId).load();
}

std::optional<std::string> requestPacket(std::uint32_t code, std::string_view data, std::size_t maxPacket) {
  return npa::buildRequest(code, data, true, maxPacket);
}

std::string printDataPacket(std::string_view chunk) {
  return npa::printDataPacket(chunk);
}

}  // namespace wf::bce::internal_testing
