// Stand-in of the network adapter configuration library for the printer
// icon's tests: scripted answers per printer and protocol, a placeholder
// page on a template of its own, every query and factory call recorded.
#include "mock_netui.h"

#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "framework/resources.h"
#include "platform/module.h"
#include "prtgui/net_ui.h"
#include "prtgui/wf_property_page.h"

namespace {

struct Answer {
  BOOL answer = TRUE;
  int factory = kMockFactoryPage;
};

struct State {
  std::mutex m;
  std::map<std::pair<USHORT, UINT>, Answer> script;
  std::vector<std::pair<USHORT, UINT>> queries;
  std::vector<std::pair<int, void*>> factoryCalls;
  int lastFactory = kMockFactoryPage;
};

State& state() {
  static State s;
  return s;
}

class PlaceholderPage : public CWFPropertyPage {
 public:
  PlaceholderPage() : CWFPropertyPage(static_cast<int>(kMockPageTemplate), "CORNETUI.HLP") {}
};

CPropertyPage* makePage(int first, void* second) {
  State& s = state();
  std::lock_guard lock(s.m);
  s.factoryCalls.emplace_back(first, second);
  return s.lastFactory == kMockFactoryNoPage ? nullptr : new PlaceholderPage;
}

// Records the query and hands out the scripted answer.
BOOL query(USHORT printer, UINT protocol, Answer fallback, NetUIFactoryProc* factory, CString* title,
           UINT titleId) {
  State& s = state();
  Answer a = fallback;
  {
    std::lock_guard lock(s.m);
    s.queries.emplace_back(printer, protocol);
    if (auto found = s.script.find({printer, protocol}); found != s.script.end()) a = found->second;
    s.lastFactory = a.factory;
  }
  if (!a.answer) return FALSE;
  if (factory) *factory = a.factory == kMockFactoryNull ? nullptr : &makePage;
  if (title) title->LoadString(titleId);
  return TRUE;
}

HINSTANCE self = nullptr;

bool attach() {
  self = wf::moduleContaining(reinterpret_cast<const void*>(&attach));
  return self && wf::fw::joinResourceChain(self);
}

void detach() {
  if (self) wf::fw::leaveResourceChain(self);
}

}  // namespace

WF_MODULE_ENTRY(attach, detach)

WF_MODULE_EXPORT BOOL NetUIQueryPIPPage(USHORT printer, NetUIFactoryProc* factory, CString* title) {
  return query(printer, 0, Answer{}, factory, title, 2103);
}

#ifdef WF_MOCK_NET_PAGE
WF_MODULE_EXPORT BOOL NetUIQueryNetPage(USHORT printer, UINT protocol, NetUIFactoryProc* factory,
                                        CString* title) {
  const bool known = protocol == 1 || protocol == 2 || protocol == 4 || protocol == 8;
  const UINT titleId = protocol == 1 ? 2137 : protocol == 2 ? 2136 : 2135;
  return query(printer, protocol, Answer{known ? TRUE : FALSE, kMockFactoryPage}, factory, title, titleId);
}
#endif

WF_MODULE_EXPORT void MockNetUIReset() {
  State& s = state();
  std::lock_guard lock(s.m);
  s.script.clear();
  s.queries.clear();
  s.factoryCalls.clear();
}

WF_MODULE_EXPORT void MockNetUIScript(USHORT printer, UINT protocol, BOOL answer, int factory) {
  State& s = state();
  std::lock_guard lock(s.m);
  s.script[{printer, protocol}] = Answer{answer, factory};
}

WF_MODULE_EXPORT BOOL MockNetUIQuery(int index, USHORT* printer, UINT* protocol) {
  State& s = state();
  std::lock_guard lock(s.m);
  if (index < 0 || index >= static_cast<int>(s.queries.size())) return FALSE;
  std::tie(*printer, *protocol) = s.queries[static_cast<std::size_t>(index)];
  return TRUE;
}

WF_MODULE_EXPORT BOOL MockNetUIFactoryCall(int index, int* first, void** second) {
  State& s = state();
  std::lock_guard lock(s.m);
  if (index < 0 || index >= static_cast<int>(s.factoryCalls.size())) return FALSE;
  std::tie(*first, *second) = s.factoryCalls[static_cast<std::size_t>(index)];
  return TRUE;
}
