#include "common/browse.h"

CWFBrowse::CWFBrowse(BOOL open, const char* defaultExtension, const char* fileName, DWORD flags,
                     const char* filter, int helpId, CWnd* parent)
    : CFileDialog(open, defaultExtension, fileName, flags, filter, parent) {
  m_nIDHelp = static_cast<UINT>(helpId);
}

BOOL CWFBrowse::OnInitDialog() {
  CenterWindow();
  CFileDialog::OnInitDialog();
  return TRUE;
}

void CWFBrowse::DoDataExchange(CDataExchange*) {}
