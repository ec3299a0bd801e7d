#pragma once
// The dialog shown while the program shuts down: a turning icon and the
// step the shutdown worker is at. It closes once the worker has ended.
#include <string>
#include <vector>

#include "framework/dialog.h"
#include "framework/win_thread.h"

class CWFApp;

class CShutdownDlg : public CDialog {
 public:
  explicit CShutdownDlg(CWFApp* app) : CDialog(161, nullptr), m_app(app) {}

  // What the progress text showed and which icons the animation set, in order.
  static std::vector<std::string> shownTexts();
  static std::vector<UINT> shownIcons();
  // The system-menu commands greyed while the dialog was up, in menu order.
  static std::vector<UINT> greyedSystemCommands();
  static void noteText(const std::string& text);

 protected:
  BOOL OnInitDialog() override;
  void OnTimer(UINT_PTR id);
  void OnClose();
  DECLARE_MESSAGE_MAP()

 private:
  CWFApp* m_app;
  UINT m_icon = 104;
  HICON m_icons[6] = {};
  HANDLE m_worker = nullptr;
};
