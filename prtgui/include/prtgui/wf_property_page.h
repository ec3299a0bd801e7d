#pragma once
// The base of every notebook page: a help file of its own with context help
// for each control (a table of control id and topic pairs ended by 0, 0), and
// a refresh the notebook calls when new printer data arrived.
#include "framework/cstring.h"
#include "framework/property_sheet.h"

class CWFPropertyPage : public CPropertyPage {
  DECLARE_DYNCREATE(CWFPropertyPage)
 public:
  CWFPropertyPage(int templateId, CString helpFile);
  // Dynamic creation: template 0 and "WRENFLD.HLP".
  CWFPropertyPage();
  static void Construct(void* place);

  virtual void UpdateDlg(int what);
  // Null in the base: help is still asked for, and shows no topic.
  virtual const DWORD* GetHelpIDs();

  LRESULT OnHelp(WPARAM wParam, LPARAM helpInfo);
  LRESULT OnHelpContextMenu(WPARAM window, LPARAM lParam);
  // The window that owns the notebook: the parent of the page's parent.
  CWnd* GetDlgWnd();

  const CString& GetHelpFile() const { return m_strHelpFile; }
  // The page's help file in the directory of the application's help file.
  CString HelpFilePath() const;

 protected:
  CString m_strHelpFile;
  DECLARE_MESSAGE_MAP()
};
