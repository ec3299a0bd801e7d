#pragma once
// The file dialog: a dialog object whose window is the platform's file
// dialog (the shell's file-dialog service). DoModal runs OnInitDialog, where
// derived dialogs set it up, then the service. On the GUI thread only.
#include "framework/dialog.h"
#include "framework/shell_services.h"

class CFileDialog : public CDialog {
  DECLARE_DYNAMIC(CFileDialog)
 public:
  // Null texts are empty; the filter is "desc|pattern|...||".
  explicit CFileDialog(BOOL open, LPCSTR defaultExtension = nullptr, LPCSTR fileName = nullptr,
                       DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCSTR filter = nullptr,
                       CWnd* parent = nullptr);
  ~CFileDialog() override;

  // IDOK with a path, else IDCANCEL (also when no file-dialog service is installed).
  INT_PTR DoModal() override;
  BOOL OnInitDialog() override;
  // The platform dialog is placed centred over its owner.
  void CenterWindow();

  CString GetPathName() const { return m_path; }
  // The path's last part.
  CString GetFileName() const;
  // What the service is asked for; DoModal fills the owner.
  const wf::fw::FileDialogRequest& GetRequest() const { return m_request; }

 protected:
  wf::fw::FileDialogRequest m_request;
  CString m_path;
};
