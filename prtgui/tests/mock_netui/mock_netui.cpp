// Stand-in of the network adapter configuration library for its hosts'
// tests: scripted answers per printer and protocol and per settings bit, a
// placeholder page and a placeholder dialog on templates of their own,
// every query and factory call recorded.
#include "mock_netui.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "framework/dialog.h"
#include "framework/resources.h"
#include "platform/module.h"
#include "prtgui/net_ui.h"
#include "prtgui/wf_property_page.h"

namespace {

struct Answer {
  BOOL answer = TRUE;
  int factory = kMockFactoryPage;
};

struct SettingsAnswer {
  BOOL offer = FALSE;
  int factory = kMockFactoryPage;
  std::string title;  // empty: the library's own caption
};

struct State {
  std::mutex m;
  std::map<std::pair<USHORT, UINT>, Answer> script;
  std::map<UINT, SettingsAnswer> settingsScript;
  std::vector<std::string> settingsEvents;
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

CObject* makePage(int first, void* second) {
  State& s = state();
  std::lock_guard lock(s.m);
  s.factoryCalls.emplace_back(first, second);
  return s.lastFactory == kMockFactoryNoPage ? nullptr : new PlaceholderPage;
}

void noteSettings(const std::string& event) {
  State& s = state();
  std::lock_guard lock(s.m);
  s.settingsEvents.push_back(event);
}

// The workstation dialog's stand-in: it says it was run, then ends with OK.
class PlaceholderDialog : public CDialog {
 public:
  explicit PlaceholderDialog(CWnd* parent) : CDialog(kMockSettingsTemplate, parent) {}
  ~PlaceholderDialog() override { noteSettings("destroyed"); }
  INT_PTR DoModal() override {
    noteSettings("modal");
    return CDialog::DoModal();
  }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    PostMessage(WM_COMMAND, IDOK);
    return TRUE;
  }
  // Reached through the modal loop, so the box is up by then.
  void OnOK() override {
    noteSettings(IsWindowVisible() ? "shown" : "hidden");
    CDialog::OnOK();
  }
};

class NotADialog : public CObject {
 public:
  ~NotADialog() override { noteSettings("destroyed"); }
};

#ifdef WF_MOCK_NET_PAGE
CObject* makeSettingsDialog(int appId, void* parent) {
  State& s = state();
  int mode = kMockFactoryPage;
  {
    std::lock_guard lock(s.m);
    s.factoryCalls.emplace_back(appId, parent);
    mode = s.lastFactory;
  }
  if (mode == kMockFactoryNoPage) return nullptr;
  if (mode == kMockFactoryNotDialog) return new NotADialog;
  return new PlaceholderDialog(static_cast<CWnd*>(parent));
}
#endif

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

// A host asks for a record of the detach: whether a printer window still existed.
void detach() {
  if (const char* log = std::getenv("WF_MOCK_NETUI_DETACH_LOG"); log && *log) {
    std::ofstream(log, std::ios::app)
        << "detach windows=" << (FindWindow("WrenfieldMainFrame", nullptr) ? 1 : 0) << "\n";
  }
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

#ifdef WF_MOCK_NET_PAGE
// As the real library: 0x1, 0x2, 0x8 and 0x10 offer a dialog, 0x4 none.
WF_MODULE_EXPORT BOOL NetUIQuerySettings(UINT protocol, NetUIFactoryProc* factory, CString* title) {
  State& s = state();
  SettingsAnswer a;
  UINT titleId = 0;
  switch (protocol) {
    case 0x1:
      titleId = 2145;
      break;
    case 0x2:
      titleId = 2102;
      break;
    case 0x8:
      titleId = 2129;
      break;
    case 0x10:
      titleId = 2134;
      break;
    default:
      break;
  }
  a.offer = titleId != 0;
  {
    std::lock_guard lock(s.m);
    s.settingsEvents.push_back("query " + std::to_string(protocol));
    if (auto found = s.settingsScript.find(protocol); found != s.settingsScript.end()) a = found->second;
    s.lastFactory = a.factory;
  }
  if (!a.offer) {
    if (titleId == 0) {
      if (factory) *factory = nullptr;
      if (title) *title = " ";
    }
    return FALSE;
  }
  if (factory) *factory = a.factory == kMockFactoryNull ? nullptr : &makeSettingsDialog;
  if (title) {
    if (!a.title.empty())
      *title = a.title.c_str();
    else if (titleId)
      title->LoadString(titleId);
    else
      *title = "Protocol";
  }
  return TRUE;
}
#endif

WF_MODULE_EXPORT void MockNetUIScriptSettings(UINT protocol, BOOL offer, int factory, const char* title) {
  State& s = state();
  std::lock_guard lock(s.m);
  s.settingsScript[protocol] = SettingsAnswer{offer, factory, title ? title : ""};
}

WF_MODULE_EXPORT BOOL MockNetUISettingsEvent(int index, char* text, int size) {
  State& s = state();
  std::lock_guard lock(s.m);
  if (index < 0 || index >= static_cast<int>(s.settingsEvents.size()) || !text || size <= 0) return FALSE;
  const std::string& event = s.settingsEvents[static_cast<std::size_t>(index)];
  const std::size_t n = std::min(event.size(), static_cast<std::size_t>(size - 1));
  std::memcpy(text, event.data(), n);
  text[n] = '\0';
  return TRUE;
}

WF_MODULE_EXPORT void MockNetUIReset() {
  State& s = state();
  std::lock_guard lock(s.m);
  s.settingsScript.clear();
  s.settingsEvents.clear();
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
