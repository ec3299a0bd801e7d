#pragma once
// Mailslots: named one-way message channels between the user's processes,
// one reader and any number of writers. Message boundaries are kept; a
// message may be of any size up to kMailslotMaxMessage. Names have the form
// "\\.\mailslot\<path>" and are case-insensitive.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/unique_fd.h"

namespace wf {

enum class MailslotStatus {
  Ok,
  NotFound,        // open for writing: no reader has created the mailslot
  AlreadyExists,   // create: a live reader owns the name
  BadName,         // not a mailslot name, or too long for the runtime directory
  BufferTooSmall,  // read: the message is left in the mailslot, its size reported
  TimedOut,        // read: no message in time; write: the reader's queue stayed full
  Stopped,         // read: the stop token was triggered
  ReaderGone,      // write: the reader has closed the mailslot or died
  Failed,          // any other system failure
};

std::string_view describe(MailslotStatus status);

// The largest message; a larger write fails, a larger arrival is dropped.
constexpr std::size_t kMailslotMaxMessage = std::size_t{1} << 30;

// How long a write waits for room while the reader's queue is full (system ms).
constexpr std::uint32_t kMailslotWriteWait = 10'000;

// The reading end. Any thread of the owning process may read; each message
// goes to exactly one read. A mailslot left behind by a dead reader is reclaimed.
class Mailslot {
 public:
  static std::optional<Mailslot> create(std::string_view name, MailslotStatus* status = nullptr);

  Mailslot(Mailslot&&) noexcept;
  Mailslot& operator=(Mailslot&&) noexcept;
  ~Mailslot();  // writers fail from then on; no read may still be running

  // The size of the next message, without taking it; empty when none waits.
  std::optional<std::size_t> nextMessageSize();

  // Takes the next message into `buffer`, waiting up to `ms` system
  // milliseconds (kInfinite: no limit). *size is the message size on Ok and
  // on BufferTooSmall, when the message stays for a later read.
  MailslotStatus read(void* buffer, std::size_t capacity, std::size_t* size, std::uint32_t ms = kInfinite,
                      std::stop_token stop = {});

  // Takes the next message whole; the size cannot change between look and take.
  MailslotStatus read(std::vector<std::uint8_t>& message, std::uint32_t ms = kInfinite,
                      std::stop_token stop = {});

 private:
  struct State;
  explicit Mailslot(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

// A writing end; writes from any thread are whole messages, each up to
// kMailslotMaxMessage bytes.
class MailslotWriter {
 public:
  static std::optional<MailslotWriter> open(std::string_view name, MailslotStatus* status = nullptr);

  MailslotWriter(MailslotWriter&&) noexcept;
  MailslotWriter& operator=(MailslotWriter&&) noexcept;
  ~MailslotWriter();

  MailslotStatus write(const void* data, std::size_t size);

 private:
  explicit MailslotWriter(UniqueFd fd) : fd_(std::move(fd)) {}
  UniqueFd fd_;
};

// Whether a live reader holds mailslot `name` (its liveness lock is taken).
// Cheap enough to ask while waiting for an answer from that reader.
bool mailslotHasReader(std::string_view name);

// Where the socket of mailslot `name` lives (empty, *error set, for a bad name).
std::optional<std::filesystem::path> mailslotSocketPath(std::string_view name, std::string* error = nullptr);

}  // namespace wf
