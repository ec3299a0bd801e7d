// The job statistics service: its thread, its window and the file work.
#include "app/jsf_manager.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>

#include "app/jsf_files.h"
#include "app/wf_app.h"
#include "common/notebook_messages.h"
#include "common/printer_icon.h"
#include "common/text_helpers.h"
#include "common/wait_objects.h"
#include "framework/global_memory.h"
#include "framework/shell_calls.h"
#include "platform/clock.h"
#include "platform/paths.h"

namespace {

constexpr DWORD kJsfStartWait = 3000;
constexpr DWORD kJsfEndWait = 10000;
constexpr UINT kJsfIoError = 130, kAboutToExceed = 131, kAbortText = 132, kRetryFileText = 133,
               kRetryFileOrSizeText = 134, kIgnoreText = 135, kFileErrorCaption = 136, kChangeSettings = 137;
constexpr UINT kReopenFailed = 847, kCloseFailed = 848, kTempWriteFailed = 849, kTempOpenFailed = 850,
               kReadOpenFailed = 851, kOverLimit = 853, kSizeUnknown = 854, kOpenFailed = 855,
               kWarningCaption = 856, kErrorCaption = 857;
constexpr LPARAM kSettingsJobStatsPage = 4;
// Kept lines go to the temporary in pieces of about this size.
constexpr std::size_t kCopyChunk = 64 * 1024;

CEvent& startJsfEvent() {
  static CEvent event;
  return event;
}

// Set while one of the record boxes is up: records then wait in the list.
std::atomic<bool> boxShowing{false};

// Without an application: no notebooks to tell, no owner for the boxes.
class NoHost : public WFJSFHost {
 public:
  void LockInJSFile() override {}
  void TraverseOnThread(BOOL (*)(CWFPrinterIcon*, void*), void*) override {}
  HWND GetMainWindowHandle() override { return 0; }
};

WFJSFHost* applicationHost() {
  static NoHost none;
  CWFApp* app = WFGetWFApp();
  return app ? static_cast<WFJSFHost*>(app) : &none;
}

CString loadText(UINT id) {
  CString text;
  text.LoadString(id);
  return text;
}

// The text with the name in place of its "%s"; the name is never a format.
CString jsfWithName(UINT id, const CString& name) {
  std::string text = loadText(id).str();
  if (const auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, name.str());
  return text.c_str();
}

// For every printer: tracking off; an open notebook shows it.
BOOL trackingOff(CWFPrinterIcon* icon, void*) {
  icon->SetTrackingJS(FALSE);
  if (HWND notebook = icon->GetOpenDlgHandle()) PostMessage(notebook, WM_WF_JOBSTAT, 0, 0);
  return TRUE;
}

// An open notebook shows the new file's totals.
BOOL showNewFile(CWFPrinterIcon* icon, void*) {
  if (HWND notebook = icon->GetOpenDlgHandle()) PostMessage(notebook, WM_WF_JOBSTAT, 0, 0);
  return TRUE;
}

std::string blockText(HGLOBAL block) {
  const auto* bytes = static_cast<const char*>(GlobalLock(block));
  if (!bytes) return {};
  std::string text(bytes, strnlen(bytes, GlobalSize(block)));
  GlobalUnlock(block);
  return text;
}

}  // namespace

// "JobStatsFile", taken for the life of the object unless given back.
class JsFileLock {
 public:
  JsFileLock() : m_mutex(WF_JSFILE_MUTEX) { take(); }
  ~JsFileLock() { release(); }
  JsFileLock(const JsFileLock&) = delete;
  JsFileLock& operator=(const JsFileLock&) = delete;
  void take() {
    if (!m_held) m_held = (m_mutex.Wait(INFINITE) & ~0x80u) == WAIT_OBJECT_0;
  }
  void release() {
    if (m_held) m_mutex.Release();
    m_held = false;
  }

 private:
  CMutex m_mutex;
  bool m_held = false;
};

BEGIN_MESSAGE_MAP(CWFJSFWnd, CWFHiddenWnd)
ON_MESSAGE(WM_WF_JSFRECORD, OnRecord)
ON_MESSAGE(WM_WF_JSFSETFILE, OnSetFile)
ON_MESSAGE(WM_WF_JSFDELETEJOBS, OnDeleteJobs)
ON_MESSAGE(WM_WF_JSFSETLIMIT, OnSetLimit)
END_MESSAGE_MAP()

CWFJSFWnd::~CWFJSFWnd() {
  for (auto& [message, lParam] : m_deferred)
    if (message != WM_WF_JSFDELETEJOBS) GlobalFree(reinterpret_cast<HGLOBAL>(lParam));
}

int CWFJSFWnd::showBox(HWND owner, const CString& text, UINT captionId, UINT type) {
  return MessageBox(owner, text, loadText(captionId), type);
}

int CWFJSFWnd::showBox(HWND owner, UINT textId, const CString& arg, UINT captionId, UINT type) {
  return showBox(owner, jsfWithName(textId, arg), captionId, type);
}

bool CWFJSFWnd::deferWhileBoxShows(UINT message, LPARAM lParam) {
  if (!boxShowing) return false;
  m_deferred.emplace_back(message, lParam);
  return true;
}

void CWFJSFWnd::repostDeferred() {
  if (boxShowing) return;
  for (auto& [message, lParam] : std::exchange(m_deferred, {})) PostMessage(message, 0, lParam);
}

HGLOBAL CWFJSFWnd::takePending() {
  std::lock_guard lock(m_pendingLock);
  if (m_pending.IsEmpty()) return nullptr;
  std::unique_ptr<CWFoid> head(static_cast<CWFoid*>(m_pending.RemoveHead()));
  return head->GetPointer();
}

std::uint64_t CWFJSFWnd::CountedSize() {
  JsFileLock lock;
  return m_size;
}

std::size_t CWFJSFWnd::PendingCount() {
  std::lock_guard lock(m_pendingLock);
  return static_cast<std::size_t>(m_pending.GetCount());
}

// ---- records -----------------------------------------------------------

LRESULT CWFJSFWnd::OnRecord(WPARAM, LPARAM lParam) {
  auto block = reinterpret_cast<HGLOBAL>(lParam);
  if (!block) return 0;
  if (!m_fileOpen) {
    GlobalFree(block);
    return 0;
  }
  if (boxShowing) {
    std::lock_guard lock(m_pendingLock);
    m_pending.Add(new CWFoid(block));
    return 0;
  }
  JsFileLock lock;
  writeRecords(block, lock);
  lock.release();
  repostDeferred();
  return 0;
}

bool CWFJSFWnd::appendLine(const char* line, std::size_t length) {
  std::string bytes;
  if (m_needsLineEnd) bytes = "\r\n";
  bytes.append(line, length);
  if (!wf::jsFiles().append(m_file.get(), bytes.data(), bytes.size())) return false;
  m_needsLineEnd = false;
  m_size += bytes.size();
  return true;
}

void CWFJSFWnd::writeRecords(HGLOBAL block, JsFileLock& lock) {
  while (block) {
    if (!m_fileOpen) {
      // The file went while a box was up: nothing can be written any more.
      GlobalFree(block);
      std::lock_guard pending(m_pendingLock);
      m_pending.RemoveAll();
      return;
    }
    const std::string line = blockText(block);
    const std::uint64_t limit = static_cast<std::uint64_t>(m_maxKB) * 1024;
    const bool over = m_bounded && m_size + line.size() + 2 > limit;
    if (!over && appendLine(line.data(), line.size())) {
      GlobalFree(block);
      block = takePending();
      continue;
    }
    CString text = loadText(over ? kAboutToExceed : kJsfIoError) + loadText(kAbortText) +
                   loadText(over ? kRetryFileOrSizeText : kRetryFileText) + loadText(kIgnoreText);
    const HWND owner = m_host->GetMainWindowHandle();
    boxShowing = true;
    int answer;
    if (over) {
      lock.release();
      answer = showBox(owner, text, kFileErrorCaption, MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION);
      lock.take();
    } else {
      answer = showBox(owner, text, kFileErrorCaption, MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION);
    }
    if (answer == IDRETRY) {
      {
        std::lock_guard pending(m_pendingLock);
        m_pending.Add(new CWFoid(block));
      }
      if (over) {
        showBox(owner, loadText(kChangeSettings), kFileErrorCaption, MB_OK);
        ::PostMessage(owner, WM_WF_OPENSETTINGS, 0, kSettingsJobStatsPage);
      }
      boxShowing = false;
      return;
    }
    boxShowing = false;
    GlobalFree(block);
    if (answer == IDABORT) {
      m_host->TraverseOnThread(trackingOff, nullptr);
      std::lock_guard pending(m_pendingLock);
      m_pending.RemoveAll();
      return;
    }
    block = takePending();
  }
}

void CWFJSFWnd::retryPending() {
  if (boxShowing || !m_fileOpen) return;
  if (HGLOBAL block = takePending()) {
    JsFileLock lock;
    writeRecords(block, lock);
  }
}

// ---- the file ----------------------------------------------------------

bool CWFJSFWnd::closeFile() {
  const bool closed = wf::jsFiles().close(m_file);
  m_fileName.Empty();
  m_path.clear();
  m_fileOpen = false;
  m_needsLineEnd = false;
  return closed;
}

bool CWFJSFWnd::sameFile(const std::filesystem::path& path) const {
  if (!m_fileOpen) return false;
  if (path == m_path) return true;
  struct stat mine {
  }, theirs{};
  return ::fstat(m_file.get(), &mine) == 0 && ::stat(path.c_str(), &theirs) == 0 &&
         mine.st_dev == theirs.st_dev && mine.st_ino == theirs.st_ino;
}

bool CWFJSFWnd::openForAppend(const CString& name, const std::filesystem::path& path, UINT failedText) {
  wf::UniqueFd file = path.empty() ? wf::UniqueFd() : wf::jsFiles().openAppend(path);
  if (!file) {
    // The open failure of a new name has no owner; that of a delete has.
    showBox(failedText == kOpenFailed ? HWND(0) : m_host->GetMainWindowHandle(), failedText, name,
            kErrorCaption, MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  const auto size = wf::jsFiles().size(file.get());
  // After a delete the file stays in use even when its size cannot be read.
  if (!size && failedText == kOpenFailed) {
    showBox(m_host->GetMainWindowHandle(), kSizeUnknown, name, kErrorCaption, MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  m_file = std::move(file);
  m_fileName = name;
  m_path = path;
  m_fileOpen = true;
  m_size = size.value_or(0);
  char last = '\n';
  m_needsLineEnd =
      m_size > 0 && wf::jsFiles().readAt(m_file.get(), &last, 1, m_size - 1) == 1 && last != '\n';
  if (m_bounded && static_cast<std::uint64_t>(m_maxKB) * 1024 < m_size)
    showBox(m_host->GetMainWindowHandle(), kOverLimit, name, kWarningCaption, MB_OK | MB_ICONINFORMATION);
  return true;
}

LRESULT CWFJSFWnd::OnSetFile(WPARAM, LPARAM lParam) {
  if (deferWhileBoxShows(WM_WF_JSFSETFILE, lParam)) return 0;
  auto block = reinterpret_cast<HGLOBAL>(lParam);
  const CString name = blockText(block).c_str();
  GlobalFree(block);
  const std::filesystem::path path = name.IsEmpty()
                                         ? std::filesystem::path()
                                         : wf::mapSystemPath(name.str()).value_or(std::filesystem::path());
  if (!name.IsEmpty() && !path.empty() && sameFile(path)) return 0;
  {
    JsFileLock lock;
    if (m_fileOpen) closeFile();
    if (!name.IsEmpty() && openForAppend(name, path, kOpenFailed)) {
      m_host->LockInJSFile();
      m_host->TraverseOnThread(showNewFile, nullptr);
    }
  }
  retryPending();
  repostDeferred();
  return 0;
}

LRESULT CWFJSFWnd::OnSetLimit(WPARAM, LPARAM lParam) {
  if (deferWhileBoxShows(WM_WF_JSFSETLIMIT, lParam)) return 0;
  auto block = reinterpret_cast<HGLOBAL>(lParam);
  WF_JSF_LIMIT limit{};
  if (const void* bytes = GlobalLock(block); bytes && GlobalSize(block) >= sizeof limit) {
    std::memcpy(&limit, bytes, sizeof limit);
    GlobalUnlock(block);
    JsFileLock lock;
    m_bounded = limit.bounded;
    m_maxKB = limit.maxKB;
  }
  GlobalFree(block);
  retryPending();
  repostDeferred();
  return 0;
}

LRESULT CWFJSFWnd::OnDeleteJobs(WPARAM, LPARAM cutOff) {
  if (deferWhileBoxShows(WM_WF_JSFDELETEJOBS, cutOff)) return 0;
  deleteJobs(static_cast<std::time_t>(cutOff));
  repostDeferred();
  return 0;
}

void CWFJSFWnd::deleteJobs(std::time_t cutOff) {
  JsFileLock lock;
  if (m_fileName.IsEmpty() || !m_fileOpen) return;
  const CString name = m_fileName;
  const std::filesystem::path path = m_path;
  const HWND owner = m_host->GetMainWindowHandle();
  const auto fail = [&](UINT text) { showBox(owner, text, name, kErrorCaption, MB_OK | MB_ICONEXCLAMATION); };
  if (!closeFile()) {
    fail(kCloseFailed);
    // The records still to come go on into the file as it is.
    openForAppend(name, path, kReopenFailed);
    return;
  }
  wf::UniqueFd source = wf::jsFiles().openRead(path);
  if (!source) {
    fail(kReadOpenFailed);
    return;
  }
  // The copy replaces the file in one step, or the file stays as it was.
  std::filesystem::path tempName;
  wf::UniqueFd temp = wf::jsFiles().createTemporary(path.parent_path(), &tempName);
  if (!temp) {
    fail(kTempOpenFailed);
  } else {
    std::uint64_t offset = 0;
    wf::LineReader reader([&](char* buffer, std::size_t bytes) {
      const long n = wf::jsFiles().readAt(source.get(), buffer, bytes, offset);
      if (n > 0) offset += static_cast<std::uint64_t>(n);
      return n;
    });
    bool ok = true;
    std::string line, kept;
    const auto writeKept = [&] {
      ok = ok && wf::jsFiles().write(temp.get(), kept.data(), kept.size());
      kept.clear();
    };
    while (ok && reader.next(line)) {
      if (!wf::jsKeepRecord(line, cutOff)) continue;
      kept.append(line).append("\r\n");
      if (kept.size() >= kCopyChunk) writeKept();
    }
    writeKept();
    ok = ok && !reader.failed() && wf::jsFiles().flush(temp.get());
    source.reset();
    temp.reset();
    if (ok && !wf::jsFiles().rename(tempName, path)) ok = false;
    if (!ok) {
      wf::jsFiles().remove(tempName);
      fail(kTempWriteFailed);
    }
  }
  source.reset();
  openForAppend(name, path, kReopenFailed);
}

void CWFJSFWnd::CloseAtShutdown() {
  if (m_fileOpen) {
    // One more try for what waited on a full or failing file; no boxes now.
    while (HGLOBAL block = takePending()) {
      const std::string line = blockText(block);
      GlobalFree(block);
      const bool over = m_bounded && m_size + line.size() + 2 > static_cast<std::uint64_t>(m_maxKB) * 1024;
      if (!over) appendLine(line.data(), line.size());
    }
  }
  closeFile();
}

void CWFJSFWnd::OnHiddenDestroy() {
  JsFileLock lock;
  closeFile();
  std::lock_guard pending(m_pendingLock);
  m_pending.RemoveAll();
}

// ---- the thread and the manager -------------------------------------------

IMPLEMENT_DYNCREATE(CWFJSFWndThread, CWinThread)

CWFJSFWndThread::CWFJSFWndThread() = default;

BOOL CWFJSFWndThread::InitInstance() {
  const BOOL created = m_wnd.CreateHidden();
  if (created) {
    m_hWndJSF = m_wnd.GetSafeHwnd();
    m_pMainWnd = &m_wnd;
  }
  startJsfEvent().Signal();
  return created;
}

CWFJSFManager::~CWFJSFManager() {
  Shutdown();
}

BOOL CWFJSFManager::Initialize() {
  startJsfEvent().Reset();
  auto* thread = static_cast<CWFJSFWndThread*>(
      AfxBeginThread(RUNTIME_CLASS(CWFJSFWndThread), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED));
  if (!thread) return FALSE;
  thread->m_wnd.SetHost(m_host ? m_host : applicationHost());
  // Kept even when it is late, so Shutdown can still end it.
  m_pThread = thread;
  m_hThread = thread->m_hThread;
  thread->ResumeThread();
  return startJsfEvent().Wait(kJsfStartWait) == WAIT_OBJECT_0 && thread->m_hWndJSF ? TRUE : FALSE;
}

void CWFJSFManager::Shutdown() {
  if (!m_pThread) return;
  if (HWND window = m_pThread->m_hWndJSF) {
    // One budget for the lock and the thread together.
    const auto deadline = wf::deadlineAfter(kJsfEndWait);
    const auto left = [&] { return static_cast<DWORD>(wf::msUntil(deadline) / wf::timeScale()); };
    CMutex mutex(WF_JSFILE_MUTEX);
    const DWORD taken = mutex.Wait(left());
    if ((taken & ~0x80u) == WAIT_OBJECT_0) {
      m_pThread->m_wnd.CloseAtShutdown();
      mutex.Release();
    }
    ::PostMessage(window, WM_CLOSE, 0, 0);
    if (WaitForThread(m_hThread, left()) != WAIT_OBJECT_0) {
      // Inside one of its boxes: it ends once the user answers.
      if (WFAppServices* app = WFGetApp()) app->Log(1, "Job statistics service did not end within 10 s\n");
    }
  }
  m_pThread = nullptr;
  m_hThread = nullptr;
}

HWND CWFJSFManager::GetNotificationWindow() {
  return m_pThread ? m_pThread->m_hWndJSF.load() : 0;
}

CWFJSFWnd* CWFJSFManager::GetWindowObject() {
  return m_pThread ? &m_pThread->m_wnd : nullptr;
}

// ---- the keep rule of a delete ------------------------------------------

namespace wf {

bool jsKeepRecord(std::string_view line, std::time_t cutOff) {
  std::string_view fields[6];
  std::size_t start = 0;
  for (int i = 0; i < 6; ++i) {
    const std::size_t comma = line.find(',', start);
    if (comma == std::string_view::npos) return false;  // fewer than six commas
    fields[i] = line.substr(start, comma - start);
    start = comma + 1;
  }
  // Only a date read whole can make a line go: a field that cannot be read
  // (the empty port of a printer without ports among them) keeps it.
  for (const std::string_view field : fields)
    if (field.find_first_not_of(" \t") == std::string_view::npos) return true;
  static constexpr std::string_view kWeekdays[] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
  const std::string_view weekday = fields[1];
  if (std::none_of(std::begin(kWeekdays), std::end(kWeekdays), [weekday](std::string_view name) {
        return weekday.size() == name.size() && ::strncasecmp(weekday.data(), name.data(), name.size()) == 0;
      }))
    return true;
  const int month = StrMonthToInt(std::string(fields[2]).c_str());
  if (month == 0) return true;
  const auto number = [](std::string_view field, long* value) {
    const std::string text(field);
    char* end = nullptr;
    errno = 0;
    *value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && end != text.c_str();
  };
  long day = 0, year = 0;
  // A date the C library cannot place is kept.
  if (!number(fields[3], &day) || !number(fields[5], &year) || year < INT_MIN + 1900L || year > INT_MAX ||
      day < INT_MIN || day > INT_MAX)
    return true;
  // Records come in date order, so the last day's midnight is mostly the next one's.
  thread_local long lastYear = 0, lastMonth = 0, lastDay = 0;
  thread_local std::time_t lastMidnight = -1;
  if (year != lastYear || month != lastMonth || day != lastDay) {
    std::tm midnight{};
    midnight.tm_year = static_cast<int>(year - 1900);
    midnight.tm_mon = month - 1;
    midnight.tm_mday = static_cast<int>(day);
    midnight.tm_isdst = -1;
    lastMidnight = std::mktime(&midnight);
    lastYear = year;
    lastMonth = month;
    lastDay = day;
  }
  if (lastMidnight == static_cast<std::time_t>(-1)) return true;
  return lastMidnight >= cutOff;
}

}  // namespace wf
