#pragma once
// Windows as message targets. A handle is a process-slot field (slots are
// held by liveness locks in the runtime directory, freed when a process dies)
// plus an index that never repeats while the process lives; it is never 0
// or 0xFFFFFFFF. A window belongs to the thread that created it.
//
// Posting to a window of another process sends a datagram to that process's
// receiver, which queues the message on the owner thread, in order. Sending
// there is such a datagram plus a bounded wait for the answer datagram.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/message_queue.h"
#include "platform/win_types.h"

namespace wf {

using WindowProc = std::function<LResult(Hwnd, std::uint32_t, WParam, LParam)>;

constexpr std::size_t kMaxMessagePayload = 60 * 1024;
// A full receiver is retried this long (system ms); a dead one fails at once.
constexpr std::uint32_t kPostFullQueueWait = 2'000;
constexpr std::uint32_t kSendMessageWait = 60'000;

// Creates a window owned by the calling thread. 0 on failure (no usable
// runtime directory, handles of this process exhausted, a class name with a
// line break). Child windows (not `topLevel`) are left out of EnumWindows.
Hwnd createWindow(std::string_view className, WindowProc proc, bool topLevel = true);

// On the owner thread only: the procedure gets WM_DESTROY, then the handle
// is dead. Messages still queued for it are dropped.
bool destroyWindow(Hwnd hwnd);

// For posts whose lParam owns something: called when such a post, queued
// before its window went, reaches the dispatch of a gone window. Only one
// handler per message number; an empty one removes it.
using DroppedPostHandler = std::function<void(WParam, LParam)>;
void setDroppedPostHandler(std::uint32_t message, DroppedPostHandler handler);

// Also for windows of other processes: false once the window is destroyed or
// its process has died.
bool isWindow(Hwnd hwnd);

// A window made by the calling process (live or not).
bool isWindowOfThisProcess(Hwnd hwnd);

// A live window of that class (compared ignoring case) in any process of the
// user, this process first; 0 when there is none.
Hwnd findWindow(std::string_view className);

// The top-level windows of every process of the runtime directory, this
// process's first, each once; stops when the callback answers FALSE.
using WNDENUMPROC = BOOL (*)(Hwnd, LParam);
BOOL EnumWindows(WNDENUMPROC callback, LParam lParam);

// Never blocks on a dead or destroyed target: fails at once, dropping the
// payload. Payloads larger than kMaxMessagePayload are refused.
bool postMessage(Hwnd hwnd, std::uint32_t message, WParam wParam, LParam lParam, Payload payload = {});

// On the owner thread calls the procedure directly; otherwise waits up to `ms`
// system milliseconds for the owner thread (of this or another process) to
// run it, meanwhile running the sends addressed to the calling thread. Empty
// when the window is gone, its thread ends or its process dies first, or the
// wait ends.
std::optional<LResult> sendMessage(Hwnd hwnd, std::uint32_t message, WParam wParam, LParam lParam,
                                   std::uint32_t ms = kSendMessageWait);

// Calls the procedure of msg.hwnd (a live window of this process). The
// procedure reaches the payload through currentPayload(). 0 when no window.
LResult dispatchMessage(Message& msg);

// During dispatchMessage: the payload of the message being dispatched, which
// the procedure may move out. Null outside a dispatch.
Payload* currentPayload();

}  // namespace wf
