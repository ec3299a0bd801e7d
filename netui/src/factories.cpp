#include "factories.h"

namespace wf::netui {
namespace {

CObject* make(Factory factory, CWnd* parent) {
  const FactoryMaker maker = factoryMakers()[static_cast<std::size_t>(factory)];
  if (!maker) return nullptr;
  const ModuleState& state = moduleState();
  return maker(MakerContext{state.record, state.printer, state.protocol, parent});
}

}  // namespace

ModuleState& moduleState() {
  static ModuleState state;
  return state;
}

std::array<FactoryMaker, static_cast<std::size_t>(Factory::Count)>& factoryMakers() {
  static std::array<FactoryMaker, static_cast<std::size_t>(Factory::Count)> makers{};
  return makers;
}

#define WF_NETUI_FACTORY(name)                              \
  CObject* Create##name(int, void* parent) {                \
    return make(Factory::name, static_cast<CWnd*>(parent)); \
  }
WF_NETUI_FACTORY(ConAdIn)
WF_NETUI_FACTORY(ConAdP4)
WF_NETUI_FACTORY(ConAdS4)
WF_NETUI_FACTORY(ConAdPR)
WF_NETUI_FACTORY(ConAdSR)
WF_NETUI_FACTORY(NPPCL)
WF_NETUI_FACTORY(NPPIP)
WF_NETUI_FACTORY(NWConf)
WF_NETUI_FACTORY(NWSearch)
WF_NETUI_FACTORY(IPConf)
WF_NETUI_FACTORY(CLConf)
WF_NETUI_FACTORY(P2PConf)
#undef WF_NETUI_FACTORY

}  // namespace wf::netui
