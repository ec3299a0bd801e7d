#include "cl_conf.h"

#include <memory>

#include "factories.h"

namespace wf::netui {
namespace {

constexpr DWORD kCLConfHelp[] = {1170, 7100, 1175, 7105, 1171, 7101, 1193, 7101, 1172, 7102, 1194,
                                 7102, 1067, 9003, 1173, 7103, 1174, 7104, 1070, 9006, 0,    0};
constexpr const char* kCLRefusedChars = "/\\{};:,|><+=?*";

WsListLayout clLayout() {
  WsListLayout layout;
  layout.templateId = 2187;
  layout.bit = 8;
  layout.listItem = 2;
  layout.flagsItem = 5;
  layout.addItem = 3;
  layout.removeItem = 4;
  layout.lists = {1171, 1172};
  layout.addButtons = {1173, 1174};
  layout.checks = {1170, 1175};
  layout.helpIds = kCLConfHelp;
  return layout;
}

CObject* makeCLConf(const MakerContext& context) {
  return new CLConf(context.parent);
}
const bool clConfRegistered = (setFactoryMaker(Factory::CLConf, &makeCLConf), true);

}  // namespace

CLConf::CLConf(CWnd* parent) : WsListDialog(clLayout(), parent) {}

bool CLConf::askName(int kind, CString& name) {
  std::unique_ptr<CLAddEntry> entry;
  if (kind == 1)
    entry = std::make_unique<CLAddDom>(this);
  else
    entry = std::make_unique<CLAddSrv>(this);
  if (entry->DoModal() != IDOK) return false;
  name = entry->m_name;
  return true;
}

CLAddEntry::CLAddEntry(int templateId, int editId, CWnd* parent)
    : CDialog(static_cast<UINT>(templateId), parent), entry_(editId, kCLRefusedChars) {}

BOOL CLAddEntry::OnInitDialog() {
  CDialog::OnInitDialog();
  entry_.init(*this);
  return TRUE;
}

BOOL CLAddEntry::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (entry_.command(*this, wParam)) return TRUE;
  if (LOWORD(wParam) == IDOK && HIWORD(wParam) == BN_CLICKED) m_name = entry_.text();
  return CDialog::OnCommand(wParam, lParam);
}

CLAddDom::CLAddDom(CWnd* parent) : CLAddEntry(2188, 1175, parent) {}
CLAddSrv::CLAddSrv(CWnd* parent) : CLAddEntry(2189, 1176, parent) {}

}  // namespace wf::netui
