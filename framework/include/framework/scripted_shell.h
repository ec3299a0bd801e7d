#pragma once
// Test doubles of the shell services: each records every call and answers
// from a script (first in, first out), falling back to a default answer or
// to a responder function when the script is empty. Constructing a
// ScriptedShell installs all of them; destroying it restores what was there.
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "framework/dialog.h"
#include "framework/shell_services.h"

namespace wf::fw {

template <class Request, class Answer>
class Scripted {
 public:
  explicit Scripted(Answer fallback) : fallback_(std::move(fallback)) {}

  void script(Answer answer) {
    std::lock_guard lock(mutex_);
    script_.push_back(std::move(answer));
  }
  // Answers every call the script does not; runs on the caller's thread.
  void respondWith(std::function<Answer(const Request&)> responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
  }
  std::vector<Request> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }

 protected:
  Answer answer(const Request& request) {
    std::function<Answer(const Request&)> responder;
    {
      std::lock_guard lock(mutex_);
      calls_.push_back(request);
      if (!script_.empty()) {
        Answer a = std::move(script_.front());
        script_.pop_front();
        return a;
      }
      if (!responder_) return fallback_;
      responder = responder_;
    }
    return responder(request);
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Request> calls_;
  std::deque<Answer> script_;
  std::function<Answer(const Request&)> responder_;
  Answer fallback_;
};

class ScriptedMessageBox : public MessageBoxService, public Scripted<MessageBoxRequest, int> {
 public:
  ScriptedMessageBox() : Scripted(IDOK) {}
  int show(const MessageBoxRequest& request) override { return answer(request); }
};

class ScriptedFileDialog : public FileDialogService, public Scripted<FileDialogRequest, FileDialogResult> {
 public:
  ScriptedFileDialog() : Scripted(FileDialogResult{}) {}
  FileDialogResult run(const FileDialogRequest& request) override { return answer(request); }
};

class ScriptedHelp : public HelpService, public Scripted<HelpRequest, BOOL> {
 public:
  ScriptedHelp() : Scripted(TRUE) {}
  BOOL help(const HelpRequest& request) override { return answer(request); }
};

// A played file, or a tone (empty file, its frequency and duration).
struct SoundRequest {
  std::string file;
  DWORD flags = 0;
  DWORD frequency = 0;
  DWORD durationMs = 0;
};

class ScriptedSound : public SoundService, public Scripted<SoundRequest, BOOL> {
 public:
  ScriptedSound() : Scripted(TRUE) {}
  BOOL play(const std::string& file, DWORD flags) override { return answer({file, flags}); }
  UINT deviceCount() override { return devices_; }
  BOOL tone(DWORD frequency, DWORD durationMs) override { return answer({"", 0, frequency, durationMs}); }
  void setDeviceCount(UINT devices) { devices_ = devices; }

 private:
  std::atomic<UINT> devices_{1};
};

class ScriptedLauncher : public ProgramLauncher, public Scripted<ProgramStart, BOOL> {
 public:
  ScriptedLauncher() : Scripted(TRUE) {}
  BOOL start(const ProgramStart& request) override { return answer(request); }
};

// Counts begins and ends; shown while more begins than ends were made.
class ScriptedWaitCursor : public WaitCursorService {
 public:
  void begin() override {
    std::lock_guard lock(mutex_);
    ++depth_;
    events_.push_back(true);
  }
  void end() override {
    std::lock_guard lock(mutex_);
    --depth_;
    events_.push_back(false);
  }
  int depth() const {
    std::lock_guard lock(mutex_);
    return depth_;
  }
  std::vector<bool> events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }  // true = begin

 private:
  mutable std::mutex mutex_;
  int depth_ = 0;
  std::vector<bool> events_;
};

// Acts on modal dialogs of given templates once they are initialised (see
// setModalDialogHook); counts the runs and removes its hooks when destroyed.
class ScriptedDialogs {
 public:
  ScriptedDialogs() = default;
  ~ScriptedDialogs();
  ScriptedDialogs(const ScriptedDialogs&) = delete;
  ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

  void on(UINT templateId, DialogAction action);
  int runs(UINT templateId) const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<UINT, int>> runs_;
};

class ScriptedShell {
 public:
  ScriptedShell();
  ~ScriptedShell();
  ScriptedShell(const ScriptedShell&) = delete;
  ScriptedShell& operator=(const ScriptedShell&) = delete;

  ScriptedMessageBox messageBox;
  ScriptedFileDialog fileDialog;
  ScriptedHelp help;
  ScriptedSound sound;
  ScriptedLauncher programs;
  ScriptedWaitCursor waitCursor;

 private:
  ShellServices previous_;
};

}  // namespace wf::fw
