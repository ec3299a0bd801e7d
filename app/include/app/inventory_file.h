#pragma once
// The printer inventory data file: a 13-byte header, then one record per
// printer as the icons write them. No user interface here, so the writer,
// the checked reader and the folding of one device's entries test alone.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct _WF_PRINTER_INFO;

namespace wf::inventory {

constexpr std::size_t kHeaderSize = 13;
constexpr std::size_t kFixedPart = 66;
constexpr std::size_t kMaxRecord = 10240;
constexpr std::uint8_t kVersion = 1;
constexpr std::size_t kCountOffset = 11;

// What went wrong, as the dialogs tell it.
enum class Failure {
  none,
  io,       // the system refused a read or write
  damaged,  // not a file of ours, or its contents break the format
  missing,  // the file cannot be opened
};

struct Header {
  std::uint16_t checksum = 0;
  char tag[3] = {0, 0, 0};
  std::uint8_t version = 0;
  std::uint8_t zero = 0;
  std::uint32_t created = 0;
  std::uint16_t count = 0;
};

struct Input {
  std::uint16_t id = 0;
  std::uint8_t form = 0;
  std::uint8_t type = 0;
  std::uint32_t capacity = 0;
};

struct Output {
  std::uint16_t id = 0;
  std::uint32_t capacity = 0;
};

enum Text : std::size_t {
  kModel,
  kSerial,
  kBaseLevel,
  kEngineLevel,
  kBootLevel,
  kPanelLevel,
  kDuplexLevel,
  kIna1Level,
  kIna2Level,
  kEnaLevel,
  kCartridgeType,
  kCartridgeName,
  kTextCount
};

struct Record {
  std::uint8_t communication = 0;
  std::uint32_t protocols = 0;
  std::uint8_t speed = 0;
  std::uint8_t duplex = 0;
  std::uint32_t pages = 0;
  std::uint32_t ram = 0;
  std::uint32_t diskSize = 0;
  std::uint32_t diskFree = 0;
  std::uint8_t spoolPercent = 0;
  std::uint32_t flashSize = 0;
  std::uint32_t flashFree = 0;
  std::string name;
  std::vector<std::string> names;  // further names, one report line each
  std::array<std::string, kTextCount> texts;
  std::vector<Input> inputs;
  std::vector<Output> outputs;
};

// Writer side. Each returns false when the system refuses the write.
bool WriteHeader(int file, std::uint32_t created);
bool WriteRecordBytes(int file, const char* record, std::size_t length);
bool PatchCount(int file, std::uint16_t count);
// Computes the checksum over the whole file and stores it at offset 0.
bool PatchChecksum(int file);

// Reads one record out of `bytes` (its own length first); damaged when any
// part lies outside `length` or the length is outside the record range. A
// record without details is read through its names only.
Failure ParseRecord(const unsigned char* bytes, std::size_t length, Record& record);

// Reads a data file record by record, never past its own buffer.
class Reader {
 public:
  Reader() = default;
  ~Reader();
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  // Opens and accepts the file: missing, io, or damaged for a wrong tag,
  // version or checksum (a stored checksum of 0 is not checked).
  Failure Open(const std::string& path);
  const Header& header() const { return header_; }
  // Every record the header counts, each well formed; leaves the reader at
  // the first record.
  Failure CheckAll();
  // Back to the first record.
  Failure Rewind();
  Failure Next(Record& record);

 private:
  int file_ = -1;
  Header header_;
  std::array<unsigned char, kMaxRecord> buffer_{};
};

// One entry's serial number, asked once: nullopt when its icon is gone;
// inside, nullopt when the printer gives none.
using SerialAnswer = std::optional<std::optional<std::string>>;

// Chains the entries of one device (equal non-empty serial numbers) behind
// the first of them, in entry order, and removes the chained ones from
// `entries`. Entries that give no serial number are marked as without
// details. `ask` is called once per entry.
void FoldEntries(std::vector<_WF_PRINTER_INFO*>& entries,
                 const std::function<SerialAnswer(const _WF_PRINTER_INFO&)>& ask);

}  // namespace wf::inventory
