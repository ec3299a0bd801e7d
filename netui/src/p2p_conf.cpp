#include "p2p_conf.h"

#include <memory>

#include "factories.h"

namespace wf::netui {
namespace {

constexpr DWORD kP2PConfHelp[] = {1071, 9000, 1005, 9001, 1211, 9001, 1066, 9002, 1212, 9002,
                                  1067, 9003, 1068, 9004, 1069, 9005, 1070, 9006, 0,    0};
constexpr DWORD kP2PAddWGHelp[] = {1072, 9100, 0, 0};
constexpr DWORD kP2PAddPCHelp[] = {1073, 9200, 0, 0};

WsListLayout p2pLayout() {
  WsListLayout layout;
  layout.templateId = 2157;
  layout.bit = 16;
  layout.listItem = 1;
  layout.flagsItem = 4;
  layout.addItem = 2;
  layout.removeItem = 3;
  layout.lists = {1005, 1066};
  layout.addButtons = {1068, 1069};
  layout.checks = {1071};
  layout.helpIds = kP2PConfHelp;
  return layout;
}

CObject* makeP2PConf(const MakerContext& context) {
  return new P2PConf(context.parent);
}
const bool p2pConfRegistered = (setFactoryMaker(Factory::P2PConf, &makeP2PConf), true);

}  // namespace

P2PConf::P2PConf(CWnd* parent) : WsListDialog(p2pLayout(), parent) {}

bool P2PConf::askName(int kind, CString& name) {
  std::unique_ptr<P2PAddEntry> entry;
  if (kind == 1)
    entry = std::make_unique<P2PAddWG>(this);
  else
    entry = std::make_unique<P2PAddPC>(this);
  if (entry->DoModal() != IDOK) return false;
  name = entry->m_name;
  return true;
}

P2PAddEntry::P2PAddEntry(int templateId, int editId, const DWORD* helpIds, CWnd* parent)
    : CWFDialog(templateId, parent), entry_(editId, nullptr), helpIds_(helpIds) {}

const DWORD* P2PAddEntry::GetHelpIDs() {
  return helpIds_;
}

BOOL P2PAddEntry::OnInitDialog() {
  CWFDialog::OnInitDialog();
  entry_.init(*this);
  return TRUE;
}

BOOL P2PAddEntry::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (entry_.command(*this, wParam)) return TRUE;
  if (LOWORD(wParam) == IDOK && HIWORD(wParam) == BN_CLICKED) m_name = entry_.text();
  return CWFDialog::OnCommand(wParam, lParam);
}

P2PAddWG::P2PAddWG(CWnd* parent) : P2PAddEntry(2158, 1072, kP2PAddWGHelp, parent) {}
P2PAddPC::P2PAddPC(CWnd* parent) : P2PAddEntry(2159, 1073, kP2PAddPCHelp, parent) {}

}  // namespace wf::netui
