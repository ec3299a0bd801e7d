#pragma once
// The status poll: one pass over the printer list after each enumeration.
#include <mutex>

#include "platform/thread.h"

namespace wf::bce {

// The poll's thread, owned by the process's Broker.
struct StatusPoll {
  std::mutex lock;  // the three below
  Thread thread;    // may still run while the process ends
  bool running = false;
  bool again = false;  // asked for while a pass ran: one more pass after it
};

// Starts a pass unless one runs.
void startStatusPoll();
// Runs one pass on the calling thread (the poll thread's body).
void statusPollPass();

}  // namespace wf::bce
