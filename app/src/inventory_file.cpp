#include "app/inventory_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <unordered_map>

#include "common/app_services.h"
#include "common/text_helpers.h"
#include "platform/regular_file.h"

namespace wf::inventory {

namespace {

constexpr char kTag[3] = {'W', 'F', 'I'};
constexpr std::size_t kReservedTail = 5;
constexpr std::size_t kInputSize = 8;
constexpr std::size_t kOutputSize = 6;

bool writeAt(int file, off_t offset, const void* bytes, std::size_t length) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  while (length > 0) {
    const ssize_t put = ::pwrite(file, p, length, offset);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    p += put;
    offset += put;
    length -= static_cast<std::size_t>(put);
  }
  return true;
}

bool writeAll(int file, const void* bytes, std::size_t length) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  while (length > 0) {
    const ssize_t put = ::write(file, p, length);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    p += put;
    length -= static_cast<std::size_t>(put);
  }
  return true;
}

// Bytes read, short only at the end of the file; -1 on a refused read.
ssize_t readAll(int file, void* bytes, std::size_t length) {
  auto* p = static_cast<unsigned char*>(bytes);
  std::size_t done = 0;
  while (done < length) {
    const ssize_t got = ::read(file, p + done, length - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

void put16(unsigned char* at, std::uint16_t value) {
  at[0] = static_cast<unsigned char>(value);
  at[1] = static_cast<unsigned char>(value >> 8);
}

void put32(unsigned char* at, std::uint32_t value) {
  put16(at, static_cast<std::uint16_t>(value));
  put16(at + 2, static_cast<std::uint16_t>(value >> 16));
}

std::uint16_t get16(const unsigned char* at) {
  return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

std::uint32_t get32(const unsigned char* at) {
  return get16(at) | (static_cast<std::uint32_t>(get16(at + 2)) << 16);
}

// Reads within one record; every read is checked against its end.
class Cursor {
 public:
  Cursor(const unsigned char* bytes, std::size_t length, std::size_t position)
      : bytes_(bytes), length_(length), pos_(position) {}

  bool has(std::size_t count) const { return count <= length_ - pos_; }
  bool byte(std::uint8_t& value) {
    if (!has(1)) return false;
    value = bytes_[pos_++];
    return true;
  }
  bool text(std::string& value) {
    std::uint8_t size = 0;
    if (!byte(size) || !has(size)) return false;
    value.assign(reinterpret_cast<const char*>(bytes_ + pos_), size);
    pos_ += size;
    return true;
  }
  bool skip(std::size_t count) {
    if (!has(count)) return false;
    pos_ += count;
    return true;
  }
  const unsigned char* take(std::size_t count) {
    if (!has(count)) return nullptr;
    const unsigned char* at = bytes_ + pos_;
    pos_ += count;
    return at;
  }

 private:
  const unsigned char* bytes_;
  std::size_t length_;
  std::size_t pos_;
};

template <class Item, class Read>
bool readTable(Cursor& in, std::size_t itemSize, std::vector<Item>& items, Read&& read) {
  std::uint8_t count = 0;
  if (!in.byte(count)) return false;
  items.clear();
  for (std::uint8_t i = 0; i < count; ++i) {
    const unsigned char* at = in.take(itemSize);
    if (!at) return false;
    items.push_back(read(at));
  }
  return true;
}

}  // namespace

bool WriteHeader(int file, std::uint32_t created) {
  unsigned char header[kHeaderSize] = {};
  std::memcpy(header + 2, kTag, sizeof kTag);
  header[5] = kVersion;
  put32(header + 7, created);
  return writeAt(file, 0, header, sizeof header) && ::lseek(file, kHeaderSize, SEEK_SET) >= 0;
}

bool WriteRecordBytes(int file, const char* record, std::size_t length) {
  return writeAll(file, record, length);
}

bool PatchCount(int file, std::uint16_t count) {
  unsigned char bytes[2];
  put16(bytes, count);
  return writeAt(file, kCountOffset, bytes, sizeof bytes);
}

bool PatchChecksum(int file) {
  WORD sum = 0;
  if (!GenFileCheckSumChecked(1, file, &sum)) return false;
  unsigned char bytes[2];
  put16(bytes, sum);
  return writeAt(file, 0, bytes, sizeof bytes);
}

Failure ParseRecord(const unsigned char* bytes, std::size_t length, Record& record) {
  if (length < kFixedPart || length > kMaxRecord || get16(bytes) != length) return Failure::damaged;
  record = Record{};
  record.communication = bytes[2];
  record.protocols = get32(bytes + 3);
  record.speed = bytes[7];
  record.duplex = bytes[8];
  record.pages = get32(bytes + 9);
  record.ram = get32(bytes + 13);
  record.diskSize = get32(bytes + 17);
  record.diskFree = get32(bytes + 21);
  record.spoolPercent = bytes[25];
  record.flashSize = get32(bytes + 26);
  record.flashFree = get32(bytes + 30);

  Cursor in(bytes, length, kFixedPart);
  std::uint8_t names = 0;
  if (!in.text(record.name) || !in.byte(names)) return Failure::damaged;
  record.names.resize(names);
  for (std::string& name : record.names)
    if (!in.text(name)) return Failure::damaged;
  // A record without details ends after its names, whatever its tail holds.
  if (record.communication == 0) return Failure::none;

  for (std::string& text : record.texts)
    if (!in.text(text)) return Failure::damaged;
  if (!in.skip(kReservedTail)) return Failure::damaged;
  const bool tables = readTable(in, kInputSize, record.inputs,
                                [](const unsigned char* at) {
                                  return Input{get16(at), at[2], at[3], get32(at + 4)};
                                }) &&
                      readTable(in, kOutputSize, record.outputs, [](const unsigned char* at) {
                        return Output{get16(at), get32(at + 2)};
                      });
  return tables ? Failure::none : Failure::damaged;
}

Reader::~Reader() {
  if (file_ >= 0) ::close(file_);
}

Failure Reader::Open(const std::string& path) {
  if (file_ >= 0) ::close(file_);
  file_ = wf::openRegularFile(path, O_RDONLY).release();
  // Something there that is no file (a FIFO, a device) is refused as unreadable.
  if (file_ < 0) return errno == EINVAL ? Failure::io : Failure::missing;
  WORD computed = 0;
  if (!GenFileCheckSumChecked(1, file_, &computed)) return Failure::io;
  unsigned char bytes[kHeaderSize];
  const ssize_t got = ::pread(file_, bytes, sizeof bytes, 0);
  if (got < 0) return Failure::io;
  if (static_cast<std::size_t>(got) < sizeof bytes) return Failure::damaged;
  header_.checksum = get16(bytes);
  std::memcpy(header_.tag, bytes + 2, sizeof header_.tag);
  header_.version = bytes[5];
  header_.zero = bytes[6];
  header_.created = get32(bytes + 7);
  header_.count = get16(bytes + 11);
  if (std::memcmp(header_.tag, kTag, sizeof kTag) != 0 || header_.version != kVersion || header_.zero != 0)
    return Failure::damaged;
  if (header_.checksum != 0 && header_.checksum != computed) return Failure::damaged;
  return Rewind();
}

Failure Reader::Rewind() {
  if (file_ < 0) return Failure::io;
  return ::lseek(file_, kHeaderSize, SEEK_SET) < 0 ? Failure::io : Failure::none;
}

Failure Reader::Next(Record& record) {
  if (file_ < 0) return Failure::io;
  const ssize_t head = readAll(file_, buffer_.data(), 2);
  if (head < 0) return Failure::io;
  if (head < 2) return Failure::damaged;
  const std::size_t length = get16(buffer_.data());
  if (length < kFixedPart || length > kMaxRecord) return Failure::damaged;
  const ssize_t rest = readAll(file_, buffer_.data() + 2, length - 2);
  if (rest < 0) return Failure::io;
  if (static_cast<std::size_t>(rest) < length - 2) return Failure::damaged;
  return ParseRecord(buffer_.data(), length, record);
}

Failure Reader::CheckAll() {
  if (Failure failure = Rewind(); failure != Failure::none) return failure;
  Record record;
  for (std::uint16_t i = 0; i < header_.count; ++i)
    if (Failure failure = Next(record); failure != Failure::none) return failure;
  return Rewind();
}

void FoldEntries(std::vector<_WF_PRINTER_INFO*>& entries,
                 const std::function<SerialAnswer(const _WF_PRINTER_INFO&)>& ask) {
  // The last link of each serial number's chain, so that one pass keeps the
  // entries of a chain in entry order.
  std::unordered_map<std::string, _WF_PRINTER_INFO*> chainEnds;
  std::vector<_WF_PRINTER_INFO*> kept;
  kept.reserve(entries.size());
  for (_WF_PRINTER_INFO* entry : entries) {
    const SerialAnswer answer = ask(*entry);
    if (!answer) {  // icon gone: left as it is, written only if found later
      kept.push_back(entry);
      continue;
    }
    if (!*answer) {
      entry->dwNoBidiData = 1;
      kept.push_back(entry);
      continue;
    }
    const std::string& serial = **answer;
    if (serial.empty()) {
      kept.push_back(entry);
      continue;
    }
    auto [place, fresh] = chainEnds.try_emplace(serial, entry);
    if (fresh) {
      kept.push_back(entry);
    } else {
      place->second->pNext = entry;
      place->second = entry;
    }
  }
  entries.swap(kept);
}

}  // namespace wf::inventory
