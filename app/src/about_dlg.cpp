#include "app/about_dlg.h"

#include <algorithm>

#include "app/more_info_dlg.h"
#include "app/wf_app.h"
#include "framework/controls.h"
#include "framework/gdi.h"
#include "platform/version_info.h"

namespace {

constexpr UINT kTemplate = 100;
constexpr UINT kVersionControl = 102;
constexpr UINT kBlockPrefix = 100;
constexpr UINT kIconTimer = 2;
constexpr UINT kIconTick = 200;
constexpr UINT kFirstIcon = 104;
constexpr UINT kLastIcon = 109;
// Id -1 of the template, kept as 16 bits; the icon is the first such control.
constexpr int kIconControl = 0xFFFF;
constexpr UINT kMoreInfo = 155;

}  // namespace

std::optional<std::string> WFReadFileVersionText(const char* file, const std::string& query) {
  if (!file || !*file) return std::nullopt;
  // The record holds one block of strings: the name after the block's
  // prefix names the value.
  CString prefix;
  prefix.LoadString(kBlockPrefix);
  std::string name = query;
  if (const std::string p = prefix.str(); !p.empty() && name.compare(0, p.size(), p) == 0)
    name.erase(0, p.size());
  if (name.empty()) return std::nullopt;
  const wf::VersionRead read = wf::readVersionInfo(file);
  if (read.status != wf::VersionStatus::Found) return std::nullopt;
  const std::string* value = read.info.value(name);
  if (!value || value->empty()) return std::nullopt;
  std::string text = *value;
  std::replace(text.begin(), text.end(), ',', '.');
  return text;
}

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
ON_WM_TIMER()
ON_WM_CLOSE()
ON_BN_CLICKED(kMoreInfo, OnMoreInfo)
END_MESSAGE_MAP()

CAboutDlg::CAboutDlg(CWnd* parent) : CDialog(kTemplate, parent) {}

CAboutDlg::~CAboutDlg() {
  if (m_current) DestroyIcon(m_current);
}

BOOL CAboutDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  CenterWindow();
  CFilename program;
  CWFApp::GetModuleFilename(program);
  CString prefix;
  prefix.LoadString(kBlockPrefix);
  CString name;
  GetDlgItemText(kVersionControl, name);
  if (auto version = WFReadFileVersionText(program.GetPath().str().c_str(), prefix.str() + name.str()))
    SetDlgItemText(kVersionControl, version->c_str());
  m_icon = kFirstIcon;
  SetTimer(kIconTimer, kIconTick);
  return TRUE;
}

void CAboutDlg::OnTimer(UINT_PTR id) {
  if (id != kIconTimer) return;
  HICON icon = LoadIcon(nullptr, m_icon);
  if (auto* picture = dynamic_cast<CStatic*>(GetDlgItem(kIconControl))) {
    picture->SetIcon(icon);
  }
  if (m_current) DestroyIcon(m_current);
  m_current = icon;
  m_shown = m_icon;
  m_icon = m_icon == kLastIcon ? kFirstIcon : m_icon + 1;
}

void CAboutDlg::stopAnimation() {
  KillTimer(kIconTimer);
}

void CAboutDlg::OnClose() {
  stopAnimation();
  CDialog::OnCancel();
}

void CAboutDlg::OnOK() {
  stopAnimation();
  CDialog::OnOK();
}

void CAboutDlg::OnCancel() {
  stopAnimation();
  CDialog::OnCancel();
}

void CAboutDlg::OnMoreInfo() {
  CMoreInfoDlg more(this);
  more.DoModal();
}
