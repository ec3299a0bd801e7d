#pragma once
// The job statistics service: a hidden window on a thread of its own that
// alone opens, appends to, bounds and rewrites the job statistics file, so
// that a slow disk or one of its message boxes never holds up the user
// interface. Senders post to GetNotificationWindow(); "JobStatsFile" guards
// the file, its name and its limits against the readers in the families.
#include <atomic>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <vector>

#include "app/hidden_window.h"
#include "common/app_services.h"
#include "common/oid_list.h"
#include "framework/win_thread.h"
#include "platform/unique_fd.h"

// wParam 0; lParam: a global block with the name / the cut-off (seconds
// since 1970, local midnight of the chosen day) / a global block holding a
// WF_JSF_LIMIT.
constexpr UINT WM_WF_JSFSETFILE = 1133;
constexpr UINT WM_WF_JSFDELETEJOBS = 1134;
constexpr UINT WM_WF_JSFSETLIMIT = 1135;
// To the main window: open the settings sheet; lParam 4 is its Job Statistics page.
constexpr UINT WM_WF_OPENSETTINGS = 1146;

class JsFileLock;

struct WF_JSF_LIMIT {
  BOOL bounded;
  UINT maxKB;
};

// What the service asks of the application (the CWFApp by default).
class WFJSFHost {
 public:
  virtual ~WFJSFHost() = default;
  virtual void LockInJSFile() = 0;
  virtual void TraverseOnThread(BOOL (*fn)(CWFPrinterIcon*, void*), void* data) = 0;
  // The owner of the service's boxes and the receiver of WM_WF_OPENSETTINGS.
  virtual HWND GetMainWindowHandle() = 0;
};

class CWFJSFWnd : public CWFHiddenWnd {
 public:
  ~CWFJSFWnd() override;
  void SetHost(WFJSFHost* host) { m_host = host; }

  // Shutdown, under "JobStatsFile": held-back records get one more try
  // within the limit, then the file is closed.
  void CloseAtShutdown();
  // Tests: the counted size, whether a file is in use, records held back.
  std::uint64_t CountedSize();
  bool HasFile() const { return m_fileOpen; }
  std::size_t PendingCount();

 protected:
  LRESULT OnRecord(WPARAM, LPARAM block);
  LRESULT OnSetFile(WPARAM, LPARAM block);
  LRESULT OnDeleteJobs(WPARAM, LPARAM cutOff);
  LRESULT OnSetLimit(WPARAM, LPARAM block);
  void OnHiddenDestroy() override;
  DECLARE_MESSAGE_MAP()

 private:
  // Writes `block`, then the held-back records, asking the user on the way.
  void writeRecords(HGLOBAL block, JsFileLock& lock);
  // Writes held-back records once the file or its limit changed.
  void retryPending();
  bool appendLine(const char* line, std::size_t length);
  bool openForAppend(const CString& name, const std::filesystem::path& path, UINT failedText);
  // False when the close failed; the file is forgotten either way.
  bool closeFile();
  void deleteJobs(std::time_t cutOff);
  bool sameFile(const std::filesystem::path& path) const;
  int showBox(HWND owner, UINT textId, const CString& arg, UINT captionId, UINT type);
  int showBox(HWND owner, const CString& text, UINT captionId, UINT type);
  // Messages other than records that came in while a box was up.
  bool deferWhileBoxShows(UINT message, LPARAM lParam);
  void repostDeferred();
  HGLOBAL takePending();

  WFJSFHost* m_host = nullptr;
  CString m_fileName;
  std::filesystem::path m_path;
  wf::UniqueFd m_file;
  std::atomic<bool> m_fileOpen{false};
  BOOL m_bounded = FALSE;
  UINT m_maxKB = 0;
  std::uint64_t m_size = 0;
  // A file whose last byte is no line feed gets CR LF before its next record.
  bool m_needsLineEnd = false;
  std::mutex m_pendingLock;
  CWFoidList m_pending{OIDLIST_FREEGLOBAL};
  std::vector<std::pair<UINT, LPARAM>> m_deferred;
};

class CWFJSFWndThread : public CWinThread {
  DECLARE_DYNCREATE(CWFJSFWndThread)
 public:
  CWFJSFWndThread();
  BOOL InitInstance() override;

  CWFJSFWnd m_wnd;
  std::atomic<HWND> m_hWndJSF{0};
};

class CWFJSFManager : public CObject, public WFJSFManagerServices {
 public:
  // `host` null: the application object.
  explicit CWFJSFManager(WFJSFHost* host = nullptr) : m_host(host) {}
  ~CWFJSFManager() override;

  // Starts the thread and waits at most 3000 ms for its window.
  BOOL Initialize();
  // Closes the file and the window; waits at most 10 s in all.
  void Shutdown();
  HWND GetNotificationWindow() override;
  CWFJSFWnd* GetWindowObject();

 private:
  WFJSFHost* m_host;
  CWFJSFWndThread* m_pThread = nullptr;
  HANDLE m_hThread = nullptr;
};

namespace wf {

// Whether a record survives a delete of the records before `cutOff`.
bool jsKeepRecord(std::string_view line, std::time_t cutOff);

}  // namespace wf
