#include "fake_wf_app.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/printer_icon.h"
#include "framework/wnd.h"
#include "platform/module.h"
#include "platform/window_messages.h"
#include "wfprtmgr/wfprtmgr.h"

namespace wf::testing {

namespace {

std::string formatCall(const char* name, std::initializer_list<std::uintptr_t> values) {
  std::string line = name;
  for (auto v : values) line += " " + std::to_string(v);
  return line;
}

void postToEach(const std::vector<CWnd*>& windows, UINT message) {
  for (CWnd* window : windows) wf::postMessage(window->GetSafeHwnd(), message, 0, 0);
}

}  // namespace

void FakeWindowList::addWindow(HWND window) {
  std::lock_guard lock(m_);
  windows_.push_back(window);
}

std::vector<std::string> FakeWindowList::calls() const {
  std::lock_guard lock(m_);
  return calls_;
}

void FakeWindowList::record(std::string call) {
  std::lock_guard lock(m_);
  calls_.push_back(std::move(call));
}

void FakeWindowList::PostToAll(UINT message, WPARAM wParam, LPARAM lParam) {
  record(formatCall("PostToAll", {message, wParam, static_cast<std::uintptr_t>(lParam)}));
  std::vector<HWND> windows;
  {
    std::lock_guard lock(m_);
    windows = windows_;
  }
  for (HWND window : windows) wf::postMessage(window, message, wParam, lParam);
}

void FakeWindowList::ReplacePrinter(CWFPrinterIcon* oldIcon, CWFPrinterIcon* newIcon) {
  record(formatCall("ReplacePrinter",
                    {reinterpret_cast<std::uintptr_t>(oldIcon), reinterpret_cast<std::uintptr_t>(newIcon)}));
  // A window showing the old icon shows the new one: the usage moves.
  if (!oldIcon || !newIcon || oldIcon->GetUsageCount() == 0) return;
  oldIcon->DecrementUsageCount();
  newIcon->IncrementUsageCount();
}

void FakeWindowList::UpdatePrinterViews(USHORT printer, CWnd* skip) {
  record(formatCall("UpdatePrinterViews", {printer, reinterpret_cast<std::uintptr_t>(skip)}));
}

BOOL FakeWindowList::AnyNormalWndFound(USHORT printer) {
  record(formatCall("AnyNormalWndFound", {printer}));
  return normalWindowFound;
}

void FakeWindowList::RestoreOnError(USHORT printer) {
  record(formatCall("RestoreOnError", {printer}));
}

int FakeWindowList::GetCount() {
  return windowCount;
}

void FakeWindowList::RemovePrinter(USHORT printer, CWnd* skip) {
  record(formatCall("RemovePrinter", {printer, reinterpret_cast<std::uintptr_t>(skip)}));
}

void FakeWindowList::AnyAlerts() {
  record("AnyAlerts");
}

FakeAlertManager::FakeAlertManager() {
  window_ = wf::createWindow("WFAlertNotification", [this](HWND, std::uint32_t message, WPARAM w, LPARAM l) {
    std::lock_guard lock(m_);
    received_.push_back(formatCall("", {message, w, static_cast<std::uintptr_t>(l)}).substr(1));
    return LRESULT{0};
  });
}

FakeAlertManager::~FakeAlertManager() {
  if (window_) wf::destroyWindow(window_);
}

std::vector<std::string> FakeAlertManager::received() const {
  std::lock_guard lock(m_);
  return received_;
}

FakeJSFManager::FakeJSFManager() {
  window_ = wf::createWindow("WFJSFNotification", [this](HWND, std::uint32_t message, WPARAM, LPARAM) {
    wf::Payload* payload = wf::currentPayload();
    if (message == WM_WF_JSFRECORD && payload) {
      // The block's bytes: the line and its terminator.
      std::string line(payload->begin(), payload->end());
      line.resize(std::strlen(line.c_str()));
      std::lock_guard lock(m_);
      lines_.push_back(std::move(line));
    }
    return LRESULT{0};
  });
}

FakeJSFManager::~FakeJSFManager() {
  if (window_) wf::destroyWindow(window_);
}

std::vector<std::string> FakeJSFManager::lines() const {
  std::lock_guard lock(m_);
  return lines_;
}

FakeWFApp::FakeWFApp() : CWinApp("Wrenfield") {
  normalImages_.Create(32, 32, ILC_MASK | ILC_COLOR24, 0, 8);
  smallImages_.Create(16, 16, ILC_MASK | ILC_COLOR24, 0, 8);
  enumCounter_.create();
  queue_.create();
  queue_.setAccepting(true);
  programDir_ = wf::moduleDirectory().string();
  setHelpFilePath(programDir_ + "/WRENFLD.HLP");
}

FakeWFApp::~FakeWFApp() {
  freeToolKit();
  queue_.destroy();
  if (netSet) wf::freeModule(netSet);
}

BOOL FakeWFApp::loadNetSetDLL(const char* name) {
  if (netSet) wf::freeModule(netSet);
  netSet = wf::loadModule(name);
  return netSet != nullptr;
}

std::vector<CWnd*> FakeWFApp::flashList() const {
  std::lock_guard lock(m_);
  return flashList_;
}

HINSTANCE FakeWFApp::GetToolKitDLL() {
  std::lock_guard lock(m_);
  if (!toolKit) toolKit = wf::loadModule("CORWF32.DLL");
  return toolKit;
}

void FakeWFApp::freeToolKit() {
  std::lock_guard lock(m_);
  if (toolKit) wf::freeModule(toolKit);
  toolKit = nullptr;
}

std::vector<std::string> FakeWFApp::logLines() const {
  std::lock_guard lock(m_);
  return logLines_;
}

std::uint64_t FakeWFApp::queueChecks() const {
  std::lock_guard lock(m_);
  return queueChecks_;
}

std::vector<std::pair<UINT, std::uintptr_t>> FakeWFApp::helpCalls() const {
  std::lock_guard lock(m_);
  return helpCalls_;
}

void FakeWFApp::tickBlink() {
  std::lock_guard lock(m_);
  if (blinkRunning_) postToEach(blinkList_, WM_WF_BLINK);
}

void FakeWFApp::tickFlash() {
  std::lock_guard lock(m_);
  if (flashRunning_) postToEach(flashList_, WM_WF_FLASH);
}

bool FakeWFApp::blinkTimerRunning() const {
  std::lock_guard lock(m_);
  return blinkRunning_;
}

bool FakeWFApp::flashTimerRunning() const {
  std::lock_guard lock(m_);
  return flashRunning_;
}

void FakeWFApp::BeginThread(UINT (*proc)(void*), void* param, int priority, const char* name) {
  queue_.beginThread(proc, param, priority, name);
}

BOOL FakeWFApp::ThreadMgrQIsEmpty() {
  {
    std::lock_guard lock(m_);
    ++queueChecks_;
  }
  return queue_.isEmpty();
}

CWFThread* FakeWFApp::ThreadMgrQRemoveHead() {
  return queue_.removeHead();
}

void FakeWFApp::Log(ULONG level, const char* format, ...) {
  if (level > loggingLevel || !format) return;
  va_list args;
  va_start(args, format);
  CString line;
  line.FormatV(format, args);
  va_end(args);
  std::lock_guard lock(m_);
  logLines_.push_back(line.str());
}

WFPrtObj* FakeWFApp::GetPrinterFromHandle(USHORT printer) {
  auto found = printers.find(printer);
  if (found != printers.end()) return found->second;
  return prtMgr ? prtMgr->getPrinterObj(printer) : nullptr;
}

BOOL FakeWFApp::AddToBlinkList(CWnd* window) {
  std::lock_guard lock(m_);
  blinkRunning_ = true;
  blinkList_.push_back(window);
  return blinkRunning_;
}

BOOL FakeWFApp::RemoveFromBlinkList(CWnd* window) {
  std::lock_guard lock(m_);
  if (auto found = std::find(blinkList_.begin(), blinkList_.end(), window); found != blinkList_.end())
    blinkList_.erase(found);
  if (!blinkList_.empty()) return FALSE;
  const bool wasRunning = std::exchange(blinkRunning_, false);
  return wasRunning;
}

BOOL FakeWFApp::AddToFlashList(CWnd* window) {
  std::lock_guard lock(m_);
  if (!flashIcon) return flashRunning_;
  flashRunning_ = true;
  if (std::find(flashList_.begin(), flashList_.end(), window) == flashList_.end())
    flashList_.push_back(window);
  return flashRunning_;
}

BOOL FakeWFApp::RemoveFromFlashList(CWnd* window) {
  std::lock_guard lock(m_);
  std::erase(flashList_, window);
  if (flashList_.empty()) flashRunning_ = false;
  return flashRunning_;
}

CFilename FakeWFApp::GetWaveFile(int soundEvent) {
  auto found = waveFiles.find(soundEvent);
  return found == waveFiles.end() ? CFilename() : CFilename(found->second.c_str());
}

void FakeWFApp::WinHelp(std::uintptr_t data, UINT command) {
  std::lock_guard lock(m_);
  helpCalls_.emplace_back(command, data);
}

}  // namespace wf::testing
