#include "framework/file_dialog.h"

#include "platform/trace.h"

IMPLEMENT_DYNAMIC(CFileDialog, CDialog)

CFileDialog::CFileDialog(BOOL open, LPCSTR defaultExtension, LPCSTR fileName, DWORD flags, LPCSTR filter,
                         CWnd* parent) {
  m_pParentWnd = parent;
  m_request.open = open != FALSE;
  m_request.defaultExtension = defaultExtension ? defaultExtension : "";
  m_request.fileName = fileName ? fileName : "";
  m_request.filter = filter ? filter : "";
  m_request.flags = flags;
}

CFileDialog::~CFileDialog() = default;

BOOL CFileDialog::OnInitDialog() {
  // No controls of its own to fill: the platform's dialog has them.
  return TRUE;
}

void CFileDialog::CenterWindow() {
  m_request.centred = true;
}

INT_PTR CFileDialog::DoModal() {
  m_request.owner = m_pParentWnd ? m_pParentWnd->GetSafeHwnd() : 0;
  m_request.centred = false;
  m_path.Empty();
  OnInitDialog();
  wf::fw::FileDialogService* service = wf::fw::shellServices().fileDialog;
  if (!service) {
    wf::platformTrace("file dialog: no service installed");
    return IDCANCEL;
  }
  const wf::fw::FileDialogResult result = service->run(m_request);
  if (result.answer != IDOK) return IDCANCEL;
  m_path = result.path.c_str();
  return IDOK;
}

CString CFileDialog::GetFileName() const {
  const std::string& path = m_path.str();
  const auto slash = path.find_last_of("\\/");
  return CString(slash == std::string::npos ? path.c_str() : path.c_str() + slash + 1);
}
