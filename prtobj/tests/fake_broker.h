#pragma once
// A scripted stand-in for the broker's exports that WFPrtObj calls, linked
// into the tests in place of the real broker. Every call is logged.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "broker/corbce.h"

namespace fakebce {

struct Call {
  std::string function;  // "BceSendBidi", "BceQueryAlerts", ...
  std::uint32_t appId = 0, handle = 0, netMask = 0, code = 0;
  std::string request;  // request data, or the alert key as two bytes
};

struct Reply {
  std::int32_t rc = 0;
  std::string bytes;  // whole reply, its first byte included
};

// Forgets every script and the call log; PRTINFO answers zeroed with rc 0.
void reset();
// Answers to BceSendBidi in order; once used up, the responder answers.
void pushReply(std::int32_t rc, std::string bytes = {});
void setResponder(std::function<Reply(std::uint32_t code, const std::string& request)> responder);
void setPrtInfo(const PRTINFO& info, std::int32_t rc = 0);
void setPrinterName(std::uint32_t netBit, std::string name, std::string secondName, std::int32_t rc = 0);
void setAlert(std::uint16_t key, std::string data);
// What BceCaptureAlerts answers (0 until set); its call is logged with the mask as netMask.
void setCaptureResult(std::int32_t rc);
std::vector<Call> calls();
std::vector<Call> callsOf(const std::string& function);

// ---- Printers of several handles, print data and enumerations ----

// PRTINFO and address of one handle, ahead of setPrtInfo's.
void setPrtInfoFor(std::uint16_t handle, const PRTINFO& info, std::int32_t rc = 0);
void setPrinterAddr(std::uint16_t handle, const NETADDRESS& address);
// Results of the print-data calls; BceWrite's data lands in its call's `request`.
void setDocResults(std::int32_t startDoc, std::int32_t write);
// What BceEnumPrinters reports (in order) and what BceEnumSpecific finds
// for an address whose local port name is the key.
void setEnumPrinters(std::vector<PRTINFO> printers, std::int32_t rc = 0);
void setSpecificPrinter(const std::string& localPort, const PRTINFO& info);

// ---- Network information: BceGetNets, BceGetNetInfo, BceSetNetInfo ----

struct NetAnswer {
  std::int32_t rc = 0;
  std::string bytes;               // copied into the caller's buffer, at most its length
  std::vector<std::string> items;  // handed to the item callback in order, before returning
  std::uint32_t delayMs = 0;       // real time spent before answering
  std::uint16_t lengthOnFailure = 0;  // what a failure leaves in the length word, as the broker's own
};
// Answers to (handle, bit, item), used in order; the last one repeats.
// Unscripted requests answer 1, as for a transport that is not loaded.
void pushGetNetInfo(std::uint16_t handle, std::uint32_t bit, std::uint16_t item, NetAnswer answer);
void pushSetNetInfo(std::uint16_t handle, std::uint32_t bit, std::uint16_t item, NetAnswer answer);
// What BceGetNets writes and answers (0 and rc 0 until set).
void setNets(std::uint32_t mask, std::int32_t rc = 0);
// Logged as "BceGetNetInfo" / "BceSetNetInfo" with handle, netMask = the bit,
// code = the item and request = the buffer's bytes as the call began.

}  // namespace fakebce
