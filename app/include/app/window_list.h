#pragma once
// CWFWindowList, the open printer windows in title order. Windows join and
// leave on the user-interface thread; other threads find and walk them
// through a lock over copies of their titles and names and never touch a
// widget: view changes they ask for are sent to the window's own thread.
#include <mutex>
#include <thread>
#include <vector>

#include "common/app_services.h"
#include "framework/cstring.h"

class CMainFrame;
class CWFPrinterIcon;

class CWFWindowList : public WFWindowListServices {
 public:
  enum REMOVEFLAG { REMOVE_AND_DESTROY = 0, REMOVE_ONLY = 1 };

  CWFWindowList();

  BOOL Add(CMainFrame* window);
  // Index of the first window whose title compares >= `title`; -1 when none.
  int GetNewWindowPos(const CString& title) const;
  BOOL Remove(CMainFrame* window, REMOVEFLAG flag);
  BOOL RemoveAllWindows(REMOVEFLAG flag);
  CMainFrame* GetAnotherWindow(CMainFrame* window) const;
  void SetNewMainWnd(CMainFrame* window);
  CMainFrame* FindWindowA(const CString& title) const;
  CMainFrame* FindWindowA(int index) const;
  BOOL ShowExistingWindow(const CString& name);
  BOOL ReSortRenamedWindow(CMainFrame* window);
  BOOL IsInWindowList(CMainFrame* window) const;
  void RemovePrinter(USHORT printer, CWnd* except) override;
  void WFOnTop(BOOL onTop);
  int Traverse(BOOL (*fn)(CWFPrinterIcon*, void*), void* data) const;
  void AnyAlerts() override;
  std::vector<CMainFrame*> Windows() const;

  void PostToAll(UINT message, WPARAM wParam, LPARAM lParam) override;
  void ReplacePrinter(CWFPrinterIcon* oldIcon, CWFPrinterIcon* newIcon) override;
  void UpdatePrinterViews(USHORT printer, CWnd* except) override;
  BOOL AnyNormalWndFound(USHORT printer) override;
  void RestoreOnError(USHORT printer) override;
  int GetCount() override;

  // Titles order byte-wise, case-sensitively.
  static bool TitleBefore(const CString& a, const CString& b);

 private:
  struct Entry {
    CMainFrame* window;
    HWND hwnd;
    HWND view;
    CString title;
    CString name;
  };
  bool onOwnThread() const { return std::this_thread::get_id() == m_guiThread; }
  std::vector<Entry> entries() const;
  int indexOf(CMainFrame* window) const;

  mutable std::mutex m_lock;
  std::vector<Entry> m_entries;
  std::thread::id m_guiThread;
};
