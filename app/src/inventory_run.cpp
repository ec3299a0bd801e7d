// The inventory's two workers: the data file from the printers' records, and
// the report from a data file onto a printer context made on the GUI thread.
// Each reaches its dialog only through posts to the status dialog's handle.
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <mutex>
#include <new>

#include "app/inventory_dlg.h"
#include "app/inventory_file.h"
#include "app/inventory_report.h"
#include "app/list_view.h"
#include "common/app_services.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "framework/dc.h"
#include "framework/gdi.h"
#include "platform/clock.h"
#include "platform/regular_file.h"
#include "platform/trace.h"

namespace wf::inventory {

namespace {

constexpr int kReportPoints = 10;
constexpr std::uint32_t kStopPoll = 10;

// The one run whose worker may be running, for shutdown.
std::mutex activeLock;
std::weak_ptr<Run> activeRun;

void post(const Run& run, UINT message, WPARAM w = 0, LPARAM l = 0) {
  ::PostMessage(run.status, message, w, l);
}

void step(Run& run) {
  ++run.progress;
  post(run, WM_WF_INVSTEP);
}

void deleteChain(_WF_PRINTER_INFO* entry) {
  while (entry) delete std::exchange(entry, entry->pNext);
}

CWFPrinterList* printers() {
  WFAppServices* app = WFGetApp();
  return app ? app->GetPrinterList() : nullptr;
}

// The file's descriptor, closed however the run ends.
struct File {
  int fd = -1;
  ~File() {
    if (fd >= 0) ::close(fd);
  }
};

int writeRecords(Run& run, int fd, char* buffer, std::uint16_t& count) {
  CWFPrinterList* list = printers();
  for (_WF_PRINTER_INFO* entry : run.entries) {
    if (run.cancel) return kCancelled;
    if (CWFPrinterIcon* icon = list ? list->FindPrinterIcon(entry->hPrinter) : nullptr) {
      const short length = icon->GetInventoryData(entry, buffer);
      icon->ThreadUnlock();
      if (length < 0) return kRecordFailed;
      ++count;
      if (!WriteRecordBytes(fd, buffer, static_cast<std::size_t>(length))) return kIoError;
    }
    step(run);
  }
  return kOk;
}

}  // namespace

Run::~Run() {
  for (_WF_PRINTER_INFO* entry : entries) deleteChain(entry);
  if (printer) ::DeleteDC(printer);
}

int CreateDataFile(Run& run) {
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kMaxRecord]);
  if (!buffer) return kNoMemory;
  File file;
  file.fd = wf::openRegularFile(run.dataFile, O_RDWR | O_CREAT | O_TRUNC).release();
  if (file.fd < 0) return kIoError;
  if (!WriteHeader(file.fd, static_cast<std::uint32_t>(wf::now()))) return kIoError;
  if (run.entries.empty()) return kNoPrinters;

  post(run, WM_WF_INVSETRANGE, run.entries.size() + 2);
  run.progress = 0;
  if (!run.windowOnly)
    std::stable_sort(run.entries.begin(), run.entries.end(), [](auto* a, auto* b) {
      return ::strcasecmp(a->strName.str().c_str(), b->strName.str().c_str()) < 0;
    });
  step(run);

  // The icon answers in one buffer per thread: each answer is copied at once.
  CWFPrinterList* list = printers();
  FoldEntries(run.entries, [list](const _WF_PRINTER_INFO& entry) -> SerialAnswer {
    CWFPrinterIcon* icon = list ? list->FindPrinterIcon(entry.hPrinter) : nullptr;
    if (!icon) return std::nullopt;
    const char* serial = icon->GetPISerialNumber();
    std::optional<std::string> answer;
    if (serial) answer = std::string(serial);
    icon->ThreadUnlock();
    return answer;
  });
  step(run);

  std::uint16_t count = 0;
  const int written = writeRecords(run, file.fd, buffer.get(), count);
  if (written != kOk) return written;
  if (!PatchCount(file.fd, count) || !PatchChecksum(file.fd)) return kIoError;
  return kOk;
}

namespace {

int failureCode(Failure failure) {
  switch (failure) {
    case Failure::none:
      return kOk;
    case Failure::missing:
      return kNoFile;
    case Failure::damaged:
      return kDamaged;
    case Failure::io:
      break;
  }
  return kIoError;
}

// Draws each laid-out page on its own sheet.
class PageDrawer {
 public:
  explicit PageDrawer(CDC& dc) : dc_(dc) {}
  bool operator()(const ReportPage& page) {
    if (dc_.StartPage() <= 0) return fail(kDocumentFailed);
    for (const ReportLine& line : page.lines)
      if (!dc_.TextOut(line.x, line.y, CString(line.text))) return fail(kTextFailed);
    if (dc_.EndPage() <= 0) return fail(kDocumentFailed);
    return true;
  }
  int code() const { return code_; }

 private:
  bool fail(int code) {
    code_ = code;
    return false;
  }
  CDC& dc_;
  int code_ = kOk;
};

int printCopy(Run& run, Reader& reader, CDC& dc, const ReportMetrics& metrics) {
  if (dc.StartDoc(run.dataFile.c_str()) <= 0) return kDocumentFailed;
  PageDrawer drawer(dc);
  ReportOptions options{run.newPage, run.includeNonBidirectional, run.header, reader.header().created};
  ReportLayout layout(metrics, options, ResourceStrings(), std::ref(drawer));
  Record record;
  for (std::uint16_t i = 0; i < reader.header().count; ++i) {
    if (run.cancel) {
      dc.AbortDoc();
      return kCancelled;
    }
    step(run);
    if (Failure failure = reader.Next(record); failure != Failure::none) {
      dc.AbortDoc();
      return failureCode(failure);
    }
    if ((record.communication || run.includeNonBidirectional) && !layout.Add(record)) {
      dc.AbortDoc();
      return drawer.code();
    }
  }
  if (!layout.Finish()) {
    dc.AbortDoc();
    return drawer.code();
  }
  return dc.EndDoc() > 0 ? kOk : kDocumentFailed;
}

}  // namespace

int PrintDataFile(Run& run) {
  Reader reader;
  // The whole file is checked before a document starts.
  if (Failure failure = reader.Open(run.dataFile); failure != Failure::none) return failureCode(failure);
  if (Failure failure = reader.CheckAll(); failure != Failure::none) return failureCode(failure);
  post(run, WM_WF_INVSETRANGE, reader.header().count);
  step(run);

  CDC* dc = CDC::FromHandle(run.printer);
  if (!dc) return kDocumentFailed;
  // Labels align their values with blanks: a fixed-pitch font.
  CFont font;
  font.CreateFont(-(kReportPoints * dc->GetDeviceCaps(LOGPIXELSY) / 72), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                  FIXED_PITCH | FF_MODERN, nullptr);
  CFont* previous = dc->SelectObject(&font);
  TEXTMETRIC tm;
  dc->GetTextMetrics(&tm);
  ReportMetrics metrics;
  metrics.pageWidth = dc->GetDeviceCaps(HORZRES);
  metrics.pageHeight = dc->GetDeviceCaps(VERTRES);
  metrics.lineHeight = static_cast<int>(tm.tmHeight + tm.tmExternalLeading);
  metrics.textWidth = [dc](const std::string& text) { return static_cast<int>(dc->GetTextExtent(text).cx); };

  int code = kOk;
  for (int copy = 0; copy < std::max(1, run.copies) && code == kOk; ++copy) {
    if (copy > 0) {
      if (Failure failure = reader.Rewind(); failure != Failure::none) code = failureCode(failure);
      if (code != kOk) break;
    }
    code = printCopy(run, reader, *dc, metrics);
  }
  dc->SelectObject(previous);
  return code;
}

std::string SuggestedPdf(const std::string& dataFile) {
  const std::size_t slash = dataFile.find_last_of("/\\");
  const std::size_t dot = dataFile.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExtension ? dataFile.substr(0, dot) : dataFile) + ".pdf";
}

void RegisterActive(const std::shared_ptr<Run>& run) {
  std::lock_guard lock(activeLock);
  activeRun = run;
}

bool StopRunningWorker(std::uint32_t ms) {
  std::shared_ptr<Run> run;
  {
    std::lock_guard lock(activeLock);
    run = activeRun.lock();
  }
  if (!run || !run->running) return true;
  run->cancel = true;
  // The status dialog joins the worker on its end post; here it is only awaited.
  const auto deadline = wf::deadlineAfter(ms);
  while (run->running) {
    if (wf::msUntil(deadline) <= 0) {
      wf::platformTrace("inventory: a worker outlived the shutdown's bound");
      return false;
    }
    wf::sleepFor(kStopPoll);
  }
  return true;
}

}  // namespace wf::inventory
