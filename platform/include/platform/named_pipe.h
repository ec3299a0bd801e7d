#pragma once
// Named pipes between the user's processes: "\\SERVER\PIPE\name", one
// listener per name and any number of connected clients. A byte-mode pipe is
// a stream, a message-mode pipe keeps message boundaries. Server and pipe
// names are compared without regard to case. Every result is the original
// platform's error number (ERROR_SUCCESS when the call succeeded).
//
// Blocking calls take a time-out in system milliseconds (kInfinite: none)
// and end early with ERROR_OPERATION_ABORTED when the caller's stop token is
// requested or another thread cancels the pipe.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/win_types.h"

namespace wf {

// Read modes and pipe kinds, numbered as the original pipe state.
enum class PipeMode : DWORD { Byte = 0, Message = 2 };

// The largest message a message-mode pipe carries.
constexpr std::size_t kPipeMaxMessage = 64 * 1024;

// A pipe name split into its server and pipe parts, both upper-cased.
struct PipeName {
  std::string server;  // "SRV1"
  std::string pipe;    // "PIPE\CORVANE\DSAS"
};
// Empty for a name that is not "\\SERVER\PIPE\name".
std::optional<PipeName> parsePipeName(std::string_view path);

// One end of a connected pipe (a client's, or one a listener accepted).
class NamedPipe {
 public:
  // Connects to the pipe `path` names: ERROR_FILE_NOT_FOUND when nobody
  // listens, ERROR_BAD_PATHNAME when the name is malformed or too long.
  static std::optional<NamedPipe> open(std::string_view path, DWORD* error = nullptr);

  NamedPipe(NamedPipe&&) noexcept;
  NamedPipe& operator=(NamedPipe&&) noexcept;
  ~NamedPipe();  // cancels waiting calls and closes once they have left

  PipeMode kind() const;
  // Byte read mode fits a byte pipe, message read mode a message pipe;
  // another gives ERROR_INVALID_PARAMETER.
  DWORD setReadMode(PipeMode mode);

  // Writes all of `data` (one message on a message pipe). ERROR_NO_DATA when
  // the other end is gone; never raises SIGPIPE.
  DWORD write(const void* data, std::size_t size, std::uint32_t ms = kInfinite, std::stop_token stop = {});

  // Byte pipe: what is there, at least one byte. Message pipe: the next
  // message; ERROR_MORE_DATA when it is larger than `capacity`, the rest
  // kept for the next read. ERROR_BROKEN_PIPE when the other end is gone (a
  // read of nothing is that), ERROR_TIMEOUT when `ms` passed.
  DWORD read(void* buffer, std::size_t capacity, std::size_t* got, std::uint32_t ms = kInfinite,
             std::stop_token stop = {});

  // Without taking: the bytes waiting (0 when none). ERROR_BROKEN_PIPE when
  // nothing waits and the other end is gone.
  DWORD peek(std::size_t* available = nullptr);

  // One message out, one back (message pipes); `ms` bounds each half.
  DWORD transact(const void* out, std::size_t outSize, void* in, std::size_t capacity, std::size_t* got,
                 std::uint32_t ms = kInfinite, std::stop_token stop = {});

  // From any thread: every call waiting on this pipe, and every later
  // blocking call, ends with ERROR_OPERATION_ABORTED. For a pipe about to be
  // closed while another thread reads it.
  void cancel();

 private:
  friend class PipeListener;
  struct State;
  explicit NamedPipe(std::shared_ptr<State> state);
  std::shared_ptr<State> state_;
};

// The server's end: accepts clients of one pipe name. While it lives its
// endpoint carries a liveness lock, so the endpoint of a killed server is
// taken over by the next listener.
class PipeListener {
 public:
  // ERROR_PIPE_BUSY when a live listener holds the name; ERROR_BAD_PATHNAME
  // for a malformed name or one too long for the runtime directory.
  static std::optional<PipeListener> listen(std::string_view path, PipeMode mode, DWORD* error = nullptr);

  PipeListener(PipeListener&&) noexcept;
  PipeListener& operator=(PipeListener&&) noexcept;
  ~PipeListener();  // opens fail with ERROR_FILE_NOT_FOUND from then on

  std::optional<NamedPipe> accept(DWORD* error = nullptr, std::uint32_t ms = kInfinite, std::stop_token stop = {});
  void cancel();  // as NamedPipe::cancel, for accept

 private:
  struct State;
  explicit PipeListener(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

// Where the socket of pipe `path` lives (empty for a bad name).
std::optional<std::filesystem::path> pipeSocketPath(std::string_view path);

}  // namespace wf
