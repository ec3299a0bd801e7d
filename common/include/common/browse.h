#pragma once
// The main program's file dialog: the framework's file dialog with a help
// id, centred over its owner.
#include "framework/file_dialog.h"

class CWFBrowse : public CFileDialog {
 public:
  // `helpId` is kept as the dialog's help id (the main program gives 302).
  CWFBrowse(BOOL open, const char* defaultExtension, const char* fileName, DWORD flags, const char* filter,
            int helpId, CWnd* parent);

  BOOL OnInitDialog() override;
  // The dialog's title; empty: the platform's default.
  void SetTitle(const char* title) { m_request.title = title ? title : ""; }

 protected:
  void DoDataExchange(CDataExchange* dx) override;
};
