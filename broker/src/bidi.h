#pragma once
// The status poll: one pass over the printer list after each enumeration.
namespace wf::bce {

// Starts a pass unless one runs.
void startStatusPoll();
// Runs one pass on the calling thread (the poll thread's body).
void statusPollPass();

}  // namespace wf::bce
