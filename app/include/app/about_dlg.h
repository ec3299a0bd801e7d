#pragma once
// The About box: the program's file version beside a turning icon, and the
// way to the More Info box.
#include <optional>
#include <string>

#include "framework/dialog.h"

class CAboutDlg : public CDialog {
 public:
  explicit CAboutDlg(CWnd* parent = nullptr);
  ~CAboutDlg() override;

  // The icon the animation set last; 0 before the first tick.
  UINT GetShownIcon() const { return m_shown; }

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  void OnTimer(UINT_PTR id);
  void OnClose();
  void OnMoreInfo();
  DECLARE_MESSAGE_MAP()

 private:
  void stopAnimation();

  UINT m_icon = 104;
  UINT m_shown = 0;
  HICON m_current = nullptr;  // owned while it is in the control
};

// The value a version query names in the version record of `file`, with
// every comma made a full stop; empty when the file has no such value or it
// is empty. `query` is the block prefix (string 100) followed by the name.
std::optional<std::string> WFReadFileVersionText(const char* file, const std::string& query);
