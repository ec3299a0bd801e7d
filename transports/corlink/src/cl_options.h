#pragma once
// CORCL32's options: HKLM "SOFTWARE\Corvane\Wrenfield\CorLink\StartUp Options".
// A value of another type or size counts as its default for the call and is
// left as it is; a missing one is written back where the load or the
// enumeration says so.
#include <cstdint>
#include <optional>
#include <string>

namespace wf::corlink {

class ClLog;

constexpr const char* kStartUpKey = "SOFTWARE\\Corvane\\Wrenfield\\CorLink\\StartUp Options";
constexpr const char* kValueLoggingLevel = "Logging Level";
constexpr const char* kValueOnlyQueues = "Enumerate Only Queues";
constexpr const char* kValueEnumerateDomain = "Enumerate Domain";
constexpr const char* kValueDomains = "Domains";
constexpr const char* kValueServers = "Servers";
// "Domains" and "Servers" are read into and written as this many bytes.
constexpr std::size_t kListBytes = 1024;

// Load: creates the key with all five defaults when it cannot be opened,
// else writes "Logging Level" 0 when missing. The logging level.
std::uint32_t prepareStartUpOptions();

struct EnumerationOptions {
  std::uint32_t onlyQueues = 0;
  std::uint32_t enumerateDomain = 0;
  std::string domains;
  std::string servers;
};
// At each enumeration; a missing value is written back with its default.
// Empty when the key cannot be opened.
std::optional<EnumerationOptions> readEnumerationOptions(ClLog& log);

// One list as it stands (empty when unreadable); empty optional when the key cannot be opened.
std::optional<std::string> readList(const char* name, ClLog& log);
// Writes the text in its 1024 bytes; false when the key or the write fails.
bool writeList(const char* name, const std::string& text);
bool writeDword(const char* name, std::uint32_t value);

}  // namespace wf::corlink
