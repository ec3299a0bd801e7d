// Quick Setup: a printer's settings to a .PSF file and back, on a thread of
// its own. File: the header text, then per variable its two number bytes,
// the value and ":".
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/regular_file.h"
#include "platform/window_messages.h"
#include "prtobj/prtobj_util.h"
#include "prtobj/thread_control.h"

namespace {

using OMVARIABLE = WFPrtObj::OMVARIABLE;

// A Quick Setup file holds one value per variable: far less than this.
constexpr std::size_t kMaxQuickSetupBytes = 16 * 1024 * 1024;

constexpr OMVARIABLE var(std::uint16_t number) {
  return OMVARIABLE{{static_cast<std::uint8_t>(number >> 8), static_cast<std::uint8_t>(number & 0xFF)}};
}

constexpr OMVARIABLE QuickSetupVarsBidi[] = {
    var(0x0030), var(0x0031), var(0x0032), var(0x0033), var(0x003C), var(0x003D), var(0x0037), var(0x000B),
    var(0x000E), var(0x0007), var(0x003B), var(0x0141), var(0x0142), var(0x0143), var(0x0055), var(0x0034),
    var(0x0035), var(0x0036), var(0x003F), var(0x0138), var(0x0049), var(0x0003), var(0x0016), var(0x0050),
    var(0x0051), var(0x0054), var(0x006A), var(0x0052), var(0x0102), var(0x0001), var(0x0101), var(0x0053),
    var(0x0017), var(0x0085), var(0x0005), var(0x007D), var(0x007B), var(0x007C), var(0x00DD), var(0x00DC),
    var(0x0131), var(0x0139), var(0x00D6), var(0x00D5), var(0x0132), var(0x00E4), var(0x00E3), var(0x0130),
    var(0x004E), var(0x0004), var(0x0081), var(0x0082), var(0x011B), var(0x0008), var(0x0009), var(0x0040),
    var(0x0046), var(0x0083), var(0x0010), var(0x0006), var(0x0018), var(0x0019), var(0x0020), var(0x0021),
    var(0x0023), var(0x0022), var(0x000C), var(0x0060), var(0x0061), var(0x000F),
};
static_assert(std::size(QuickSetupVarsBidi) == 70);

constexpr OMVARIABLE QuickSetupVarsMerBidi[] = {
    var(0x0030), var(0x0031), var(0x0032), var(0x0033), var(0x003C), var(0x003D), var(0x0037), var(0x000B),
    var(0x000E), var(0x0007), var(0x003B), var(0x0141), var(0x0142), var(0x0143), var(0x0055), var(0x0034),
    var(0x0035), var(0x0036), var(0x003F), var(0x0138), var(0x0049), var(0x0003), var(0x014E), var(0x014F),
    var(0x0150), var(0x0016), var(0x0050), var(0x0051), var(0x0054), var(0x006A), var(0x0052), var(0x0001),
    var(0x0081), var(0x0082), var(0x0008), var(0x0101), var(0x0102), var(0x0005), var(0x0009), var(0x0004),
    var(0x011B), var(0x0053), var(0x0085), var(0x0017), var(0x004E), var(0x000F), var(0x00DD), var(0x00DC),
    var(0x0131), var(0x0139), var(0x0010), var(0x0006), var(0x014C), var(0x014D), var(0x00D6), var(0x00D5),
    var(0x0132), var(0x0018), var(0x0019), var(0x0020), var(0x0021), var(0x0023), var(0x0022), var(0x000C),
    var(0x0060), var(0x0061), var(0x0040), var(0x0046), var(0x0151), var(0x0152), var(0x007D), var(0x007B),
    var(0x007C), var(0x0083),
};
static_assert(std::size(QuickSetupVarsMerBidi) == 74);

std::filesystem::path localPath(const std::string& file) {
  auto mapped = wf::mapSystemPath(file);
  return mapped ? *mapped : std::filesystem::path(file);
}

}  // namespace

// ---- Controls ---------------------------------------------------------------------

WFThreadControl::WFThreadControl(std::uint32_t count) {
  semaphore_ = wf::createSemaphore("", static_cast<std::int32_t>(count), static_cast<std::int32_t>(count));
  count_ = semaphore_ == wf::kNoSyncHandle ? 0 : count;
}

WFThreadControl::~WFThreadControl() {
  if (semaphore_ != wf::kNoSyncHandle) wf::closeSyncHandle(semaphore_);
}

void WFThreadControl::lock(std::uint32_t k) {
  for (std::uint32_t i = 0; i < std::min(k, count_); ++i) wf::waitForObject(semaphore_, wf::kInfinite);
}

void WFThreadControl::unlock(std::uint32_t k) {
  const std::uint32_t n = std::min(k, count_);
  if (n) wf::releaseSemaphore(semaphore_, static_cast<std::int32_t>(n));
}

WFQSThreadControl::WFQSThreadControl(std::string file, const WFPrtObj::OMVARIABLE* vars, std::uint32_t count,
                                     WFPrtObj* obj, WFPrtObj::BOOL send, WFPrtObj::HWND window,
                                     std::uint32_t step, WFThreadAction action)
    : WFThreadControl(1),
      send_(send),
      file_(std::move(file)),
      vars_(vars),
      varCount_(count),
      obj_(obj),
      action_(action),
      window_(window),
      step_(window ? step : 0) {}

WFQSThreadControl::WFThreadAction WFQSThreadControl::getWFThreadAction() {
  lock(1);
  const WFThreadAction action = action_;
  unlock(1);
  return action;
}

void WFQSThreadControl::setWFThreadAction(WFThreadAction action) {
  lock(1);
  action_ = action;
  unlock(1);
}

// ---- The transfer thread ---------------------------------------------------------------

// What the worker needs, copied when it starts: the dialog may delete the
// control as soon as it sees the first terminal post.
struct QuickSetupJob {
  WFQSThreadControl* control;
  WFPrtObj* obj;
  bool send;
  std::string file;
  std::vector<OMVARIABLE> vars;
  WFPrtObj::HWND window;
  std::uint32_t step;
  std::string header;

  explicit QuickSetupJob(WFQSThreadControl* c)
      : control(c),
        obj(c->obj_),
        send(c->send_ != 0),
        file(c->file_),
        vars(c->vars_, c->vars_ + c->varCount_),
        window(c->window_),
        step(c->step_),
        header(c->obj_->getPsfHeader()) {}

  void post(std::uintptr_t what, std::intptr_t reason = 0) const {
    if (window && wf::isWindow(window)) wf::postMessage(window, WM_WF_NOTIFICATION, what, reason);
  }
  bool stopAsked() const { return control->getWFThreadAction() == WFQSThreadControl::WF_ACTION_STOP; }
  bool stepDue(std::uint32_t n) const { return step != 0 && n % step == 0; }

  void run() {
    if (stopAsked()) return post(QS_NOTIFY_DONE);
    send ? sendFile() : receiveFile();
  }

  void sendFile() {
    std::FILE* f = wf::openRegularStream(localPath(file), O_RDONLY, "rb");
    if (!f) return post(QS_NOTIFY_ERROR, QS_ERR_OPEN);
    if (obj->verifyQuickSetupFile(f) != 0) {
      std::fclose(f);
      return post(QS_NOTIFY_ERROR, QS_ERR_HEADER);
    }
    std::vector<std::uint8_t> data;
    const bool read = readWhole(f, &data);
    std::fclose(f);
    if (!read) return post(QS_NOTIFY_ERROR, QS_ERR_READ);

    std::size_t at = header.size();
    std::uint32_t sent = 0;
    while (at < data.size()) {
      const auto* colon =
          static_cast<const std::uint8_t*>(std::memchr(data.data() + at, ':', data.size() - at));
      if (!colon) break;
      std::size_t end = static_cast<std::size_t>(colon - data.data());
      if (end < at + 2) {  // the number itself holds ':' — the file is corrupt
        post(QS_NOTIFY_ERROR, QS_ERR_VARIABLE);
        break;
      }
      std::size_t valueEnd = end;
      if (end + 1 < data.size() && data[end + 1] == ':') valueEnd = ++end;  // a value ending in ':'
      if (obj->bidiSetOMVar(data.data() + at, data.data() + at + 2,
                            static_cast<std::uint32_t>(valueEnd - at - 2)) != 0) {
        post(QS_NOTIFY_ERROR, QS_ERR_VARIABLE);
        break;
      }
      if (stepDue(++sent)) post(QS_NOTIFY_STEP);
      at = end + 1;
      if (stopAsked()) break;
    }
    post(QS_NOTIFY_DONE);
  }

  static bool readWhole(std::FILE* f, std::vector<std::uint8_t>* data) {
    if (std::fseek(f, 0, SEEK_END) != 0) return false;
    const long size = std::ftell(f);
    if (size < 0 || static_cast<unsigned long>(size) > kMaxQuickSetupBytes || std::fseek(f, 0, SEEK_SET) != 0)
      return false;
    try {
      data->resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
      return false;
    }
    return std::fread(data->data(), 1, data->size(), f) == data->size();
  }

  void receiveFile() {
    const std::filesystem::path path = localPath(file);
    // Owner-only, and never written through a symbolic link.
    std::FILE* f = wf::openRegularStream(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, "wb");
    if (!f) return post(QS_NOTIFY_ERROR, QS_ERR_OPEN);
    if (std::fwrite(header.data(), 1, header.size(), f) != header.size()) {
      std::fclose(f);
      std::filesystem::remove(path);
      return post(QS_NOTIFY_ERROR, QS_ERR_WRITE);
    }
    bool failed = false;
    for (std::uint32_t i = 0; i < vars.size(); ++i) {
      void* value = nullptr;
      WFPrtObj::ULONG len = 0;
      const WFPrtObj::LONG rc = obj->bidiReadOMVar(vars[i].name, &value, &len);
      if (rc != 0 || !value || len < 2) {
        wfPrtObjFree(value);
        post(QS_NOTIFY_ERROR, QS_ERR_VARIABLE);
        failed = true;
        break;
      }
      // Built at its real length: a value may be longer than a fixed record area.
      std::string record(reinterpret_cast<const char*>(vars[i].name), 2);
      record.append(static_cast<const char*>(value) + 2, len - 2);
      record += ':';
      wfPrtObjFree(value);
      if (std::fwrite(record.data(), 1, record.size(), f) != record.size()) {
        post(QS_NOTIFY_ERROR, QS_ERR_WRITE);
        failed = true;
        break;
      }
      if (stepDue(i)) post(QS_NOTIFY_STEP);
      if (stopAsked()) break;
    }
    if (std::fclose(f) != 0 && !failed) {
      post(QS_NOTIFY_ERROR, QS_ERR_WRITE);
      failed = true;
    }
    if (failed) std::filesystem::remove(path);
    post(QS_NOTIFY_DONE);
  }
};

// ---- Object side -----------------------------------------------------------------------

WFPrtObj::LONG WFPrtObj::bidiQuickSetupSend(WFQSThreadControl* control, ULONG* steps) {
  if (printerType_ == kUnknownType || psfType_ == PSF_NONE) return QS_NO_PSF_TYPE;
  control->send_ = 1;
  control->vars_ = nullptr;
  control->varCount_ = 0;
  const ULONG total = psfType_ == PSF_BIDI ? std::size(QuickSetupVarsBidi) : std::size(QuickSetupVarsMerBidi);
  if (steps) *steps = control->step_ ? total / control->step_ : 0;
  return bidiQuickSetupStart(control);
}

WFPrtObj::LONG WFPrtObj::bidiQuickSetupReceive(WFQSThreadControl* control, ULONG* steps) {
  if (printerType_ == kUnknownType || psfType_ == PSF_NONE) return QS_NO_PSF_TYPE;
  control->send_ = 0;
  if (psfType_ == PSF_BIDI) {
    control->vars_ = QuickSetupVarsBidi;
    control->varCount_ = std::size(QuickSetupVarsBidi);
  } else {
    control->vars_ = QuickSetupVarsMerBidi;
    control->varCount_ = std::size(QuickSetupVarsMerBidi);
  }
  if (steps) *steps = control->step_ ? control->varCount_ / control->step_ : 0;
  return bidiQuickSetupStart(control);
}

WFPrtObj::LONG WFPrtObj::bidiQuickSetupStart(WFQSThreadControl* control) {
  try {
    auto job = std::make_unique<QuickSetupJob>(control);
    std::thread([job = std::move(job)] { job->run(); }).detach();
  } catch (const std::system_error&) {
    return QS_NO_THREAD;
  } catch (const std::bad_alloc&) {
    return QS_NO_THREAD;
  }
  return QS_STARTED;
}

WFPrtObj::LONG WFPrtObj::verifyQuickSetupFile(std::FILE* file) {
  std::rewind(file);
  std::string read(psfHeader_.size(), '\0');
  const std::size_t got = std::fread(read.data(), 1, read.size(), file);
  if (got != read.size() || read != psfHeader_) return QS_HEADER_MISMATCH;
  std::rewind(file);
  return 0;
}
