#include "broker_binding.h"

#include <utility>

#include "notices.h"
#include "platform/clock.h"

namespace wf::netui {
namespace {

RequestClock& requestClock() {
  static RequestClock clock;
  return clock;
}

uint32_t ticksNow() {
  return requestClock().ticks ? requestClock().ticks() : wf::tickCount();
}

void sleepRest(uint32_t ms) {
  if (requestClock().sleep)
    requestClock().sleep(ms);
  else
    wf::sleepFor(ms);
}

bool bindProcedures(BrokerState& b) {
  b.getNetInfo = wf::moduleEntryAs<BceGetNetInfoFn>(b.module, "BceGetNetInfo");
  b.setNetInfo = wf::moduleEntryAs<BceSetNetInfoFn>(b.module, "BceSetNetInfo");
  b.getNets = wf::moduleEntryAs<BceGetNetsFn>(b.module, "BceGetNets");
  b.getPrtInfo = wf::moduleEntryAs<BceGetPrtInfoFn>(b.module, "BceGetPrtInfo");
  return b.getNetInfo && b.setNetInfo && b.getNets && b.getPrtInfo;
}

// A row matches (protocol, item) with 0 as any protocol, and a code range.
struct CodeRule {
  UINT protocol;
  USHORT item;
  uint16_t low, high;
  Outcome outcome;
};

const CodeRule kSetRules[] = {
    // Item 20 answers a port mask in its low bits.
    {1, 20, 0xFBA0, 0xFBAF, Outcome::Reported},
    {1, 1, 0xFC15, 0xFC15, Outcome::Reported},
    {1, 2, 0xFC15, 0xFC15, Outcome::Reported},
    {1, 8, 0xFC16, 0xFC18, Outcome::Reported},
    {1, 17, 0xFC16, 0xFC17, Outcome::Reported},
    {1, 17, 1, 1, Outcome::Reported},
    {2, 2, 0xFBB4, 0xFBB4, Outcome::NotFoundNotice},
    {8, 1, 0xFB91, 0xFB91, Outcome::Success},
    {4, 5, 0xFB91, 0xFB91, Outcome::Success},
    {2, 10, 0xFB8C, 0xFB8C, Outcome::Success},
    {1, 5, 0xFB82, 0xFB82, Outcome::Success},
    // The NetWare page tells memory full apart after a Cancel.
    {1, 1, 0xFB82, 0xFB82, Outcome::RetryKeepingCode},
    {0, 137, 0xFB95, 0xFB96, Outcome::Success},
    {0, 137, 0xFFF8, 0xFFF8, Outcome::Success},
};

const CodeRule kGetRules[] = {
    {1, 8, 0xFC16, 0xFC18, Outcome::Reported},
};

template <std::size_t N>
Outcome classify(const CodeRule (&rules)[N], UINT protocol, USHORT item, uint16_t code) {
  for (const CodeRule& rule : rules)
    if ((rule.protocol == 0 || rule.protocol == protocol) && rule.item == item && code >= rule.low &&
        code <= rule.high)
      return rule.outcome;
  return Outcome::RetryBox;
}

void repaint(CWnd* wnd) {
  if (wnd && wnd->GetSafeHwnd()) wnd->InvalidateRect(nullptr, TRUE);
}

// One request with its floor, the please-wait box around it unless an outer
// operation shows it already; answers the broker's code.
template <class Call>
uint16_t timedRequest(CWnd* wnd, Call call) {
  const bool shown = ShowWaitUpdate(wnd) == 1;
  const uint32_t start = ticksNow();
  const int32_t rc = call();
  const uint32_t spent = ticksNow() - start;
  if (spent < kRequestFloorMs) sleepRest(kRequestFloorMs - spent);
  if (shown) HideWaitUpdate();
  return static_cast<uint16_t>(rc);
}

enum class Kind { Get, Set };

template <class Call>
BOOL requestWithRetry(Kind kind, UINT protocol, USHORT item, CWnd* wnd, Call call) {
  BrokerState& b = broker();
  for (;;) {
    const uint16_t code = timedRequest(wnd, call);
    if (kind == Kind::Set) b.lastResult = 0;
    if (code == 0) return TRUE;
    b.lastResult = code;
    const Outcome outcome =
        kind == Kind::Set ? classifySet(protocol, item, code) : classifyGet(protocol, item, code);
    switch (outcome) {
      case Outcome::Success:
        return TRUE;
      case Outcome::Reported:
        return FALSE;
      case Outcome::NotFoundNotice: {
        NtcIPNotFound notice(wnd);
        notice.m_strAddress = b.lastAddedAddress.c_str();
        notice.DoModal();
        repaint(wnd);
        return TRUE;
      }
      case Outcome::RetryBox:
      case Outcome::RetryKeepingCode:
        break;
    }
    if (outcome == Outcome::RetryBox) b.lastResult = 0;
    INT_PTR answer = IDCANCEL;
    if (kind == Kind::Set)
      answer = NtcCommErrSet(wnd).DoModal();
    else
      answer = NtcCommErrGet(wnd).DoModal();
    repaint(wnd);
    if (answer != IDOK) return FALSE;
  }
}

}  // namespace

BrokerState& broker() {
  static BrokerState state;
  return state;
}

void setRequestClockForTest(RequestClock clock) {
  requestClock() = std::move(clock);
}

Outcome classifySet(UINT protocol, USHORT item, uint16_t code) {
  return classify(kSetRules, protocol, item, code);
}

Outcome classifyGet(UINT protocol, USHORT item, uint16_t code) {
  return classify(kGetRules, protocol, item, code);
}

BOOL LoadBceFunctions() {
  BrokerState& b = broker();
  b.module = nullptr;
  for (;;) {
    b.module = wf::loadModule(kBrokerLibrary);
    if (b.module) break;
    if (NtcCommErrGet().DoModal() != IDOK) return FALSE;
  }
  while (!bindProcedures(b)) {
    if (NtcCommErrGet().DoModal() != IDOK) {
      FreeBceFunctions();
      return FALSE;
    }
  }
  return TRUE;
}

void FreeBceFunctions() {
  BrokerState& b = broker();
  if (b.module) wf::freeModule(b.module);
  b.module = nullptr;
  b.getNetInfo = nullptr;
  b.setNetInfo = nullptr;
  b.getNets = nullptr;
  b.getPrtInfo = nullptr;
}

BOOL BceGetNetInfoRetry(USHORT printer, UINT protocol, USHORT item, void* buffer, USHORT* length,
                        BCENETITEMPROC callback, CWnd* wnd) {
  BrokerState& b = broker();
  if (!b.getNetInfo) return FALSE;
  // A failure may leave a shorter length behind; a retry asks with the caller's.
  const USHORT asked = length ? *length : 0;
  return requestWithRetry(Kind::Get, protocol, item, wnd, [&] {
    if (length) *length = asked;
    return b.getNetInfo(printer, protocol, item, buffer, length, callback);
  });
}

BOOL BceSetNetInfoRetry(USHORT printer, UINT protocol, USHORT item, const void* buffer, USHORT length,
                        CWnd* wnd) {
  BrokerState& b = broker();
  if (!b.setNetInfo) return FALSE;
  return requestWithRetry(Kind::Set, protocol, item, wnd, [&] {
    return b.setNetInfo(printer, protocol, item, buffer, length);
  });
}

}  // namespace wf::netui
