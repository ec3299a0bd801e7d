#pragma once
// The shell services of the user-interface process: Qt dialogs, a player
// program for sounds, detached program starts. Needs the process's
// QApplication; dialogs run on the GUI thread.
#include <memory>

namespace wf::fw {

class QtShell {
 public:
  // Installs the services in the registry for as long as this object lives.
  QtShell();
  ~QtShell();
  QtShell(const QtShell&) = delete;
  QtShell& operator=(const QtShell&) = delete;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace wf::fw
