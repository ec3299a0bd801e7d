#include "platform/lz.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "platform/byte_codec.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/unique_fd.h"

namespace wf {
namespace {

constexpr std::array<std::uint8_t, 8> kLzMagic{0x53, 0x5A, 0x44, 0x44, 0x88, 0xF0, 0x27, 0x33};
constexpr std::size_t kLzHeaderBytes = 14;
constexpr char kLzModeA = 'A';
constexpr std::size_t kLzWindow = 4096;
constexpr std::size_t kLzWindowMask = kLzWindow - 1;
constexpr std::size_t kLzFirstWrite = 4080;
constexpr std::size_t kLzMinMatch = 3;
constexpr std::size_t kLzMaxMatch = 18;
constexpr std::size_t kLzIoBytes = 64 * 1024;

struct LzHandle {
  UniqueFd fd;
  bool forWriting = false;
  bool compressed = false;
  char stored = 0;
  std::uint32_t size = 0;
  mode_t mode = 0;
};

std::mutex lzTableMutex;
std::map<INT, std::shared_ptr<LzHandle>> lzTable;
INT lzNextHandle = 0;

std::shared_ptr<LzHandle> lzFind(INT handle) {
  std::lock_guard lock(lzTableMutex);
  auto it = lzTable.find(handle);
  return it == lzTable.end() ? nullptr : it->second;
}

INT lzAdd(std::shared_ptr<LzHandle> file) {
  std::lock_guard lock(lzTableMutex);
  while (lzTable.count(lzNextHandle)) lzNextHandle = lzNextHandle == 0x7FFFFFFF ? 0 : lzNextHandle + 1;
  INT handle = lzNextHandle;
  lzNextHandle = lzNextHandle == 0x7FFFFFFF ? 0 : lzNextHandle + 1;
  lzTable[handle] = std::move(file);
  return handle;
}

// Reads until `size` bytes or the end; -1 on a read error.
ssize_t readFully(int fd, void* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::read(fd, static_cast<char*>(data) + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

bool writeFully(int fd, const void* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, static_cast<const char*>(data) + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

struct LzHeader {
  bool compressed = false;  // the magic is there
  bool complete = false;    // all 14 bytes are there
  char mode = 0;
  char stored = 0;
  std::uint32_t size = 0;
};

LzHeader parseLzHeader(const std::uint8_t* bytes, std::size_t length) {
  LzHeader header;
  if (length < kLzMagic.size() || !std::equal(kLzMagic.begin(), kLzMagic.end(), bytes)) return header;
  header.compressed = true;
  if (length > 8) header.mode = static_cast<char>(bytes[8]);
  if (length > 9) header.stored = static_cast<char>(bytes[9]);
  if (length >= kLzHeaderBytes) {
    header.complete = true;
    header.size = loadLe32(bytes + 10);
  }
  return header;
}

void fillOpenInfo(OFSTRUCT* info, const std::string& path, int error) {
  if (!info) return;
  std::memset(info, 0, sizeof *info);
  info->cBytes = sizeof *info;
  info->fFixedDisk = 1;
  info->nErrCode = static_cast<WORD>(error);
  std::size_t n = std::min(path.size(), OFS_MAXPATHNAME - 1);
  std::memcpy(info->szPathName, path.data(), n);
}

// Fixed input and output buffers over two descriptors.
class LzStreams {
 public:
  LzStreams(int in, int out) : in_(in), out_(out), inBuf_(kLzIoBytes), outBuf_(kLzIoBytes) {}

  // False at the end or on a read error (then readFailed()).
  bool get(std::uint8_t& byte) {
    if (inPos_ == inEnd_ && !refill()) return false;
    byte = inBuf_[inPos_++];
    return true;
  }
  void put(std::uint8_t byte) {
    if (outUsed_ == outBuf_.size()) flush();
    outBuf_[outUsed_++] = byte;
  }
  bool flush() {
    if (outUsed_ && !writeFailed_ && !writeFully(out_, outBuf_.data(), outUsed_)) writeFailed_ = true;
    written_ += outUsed_;
    outUsed_ = 0;
    return !writeFailed_;
  }
  // Passes the rest of the input through unchanged.
  void copyRest() {
    while (refill()) {
      if (!writeFully(out_, inBuf_.data(), inEnd_)) {
        writeFailed_ = true;
        return;
      }
      written_ += inEnd_;
      inPos_ = inEnd_;
    }
  }
  bool readFailed() const { return readFailed_; }
  bool writeFailed() const { return writeFailed_; }
  std::uint64_t written() const { return written_; }

 private:
  bool refill() {
    ssize_t n = readFully(in_, inBuf_.data(), inBuf_.size());
    if (n < 0) readFailed_ = true;
    inPos_ = 0;
    inEnd_ = n > 0 ? static_cast<std::size_t>(n) : 0;
    return inEnd_ > 0;
  }

  int in_, out_;
  std::vector<std::uint8_t> inBuf_, outBuf_;
  std::size_t inPos_ = 0, inEnd_ = 0, outUsed_ = 0;
  bool readFailed_ = false, writeFailed_ = false;
  std::uint64_t written_ = 0;
};

// Stops at the stated size; an early end of the stream leaves `remaining` above 0.
void expandLzss(LzStreams& io, std::uint32_t size, std::uint32_t& remaining) {
  std::array<std::uint8_t, kLzWindow> window;
  window.fill(' ');
  std::size_t r = kLzFirstWrite;
  remaining = size;
  auto emit = [&](std::uint8_t c) {
    io.put(c);
    window[r] = c;
    r = (r + 1) & kLzWindowMask;
    --remaining;
  };
  std::uint8_t control = 0;
  while (remaining > 0 && io.get(control)) {
    for (int bit = 0; bit < 8 && remaining > 0; ++bit) {
      std::uint8_t b0 = 0, b1 = 0;
      if (control & (1u << bit)) {
        if (!io.get(b0)) return;
        emit(b0);
        continue;
      }
      if (!io.get(b0) || !io.get(b1)) return;
      std::size_t offset = b0 | ((b1 & 0xF0u) << 4);
      std::size_t length = (b1 & 0x0Fu) + kLzMinMatch;
      for (std::size_t i = 0; i < length && remaining > 0; ++i) emit(window[(offset + i) & kLzWindowMask]);
    }
  }
}

LONG toCopyResult(std::uint64_t written) {
  return static_cast<LONG>(std::min<std::uint64_t>(written, 0x7FFFFFFF));
}

// Greedy LZSS over the input with 4096 spaces before it, which is what the
// window holds at the start; a match source less than 4096 bytes back is
// exactly what the expansion reads, its overlap with the bytes being written
// included.
class LzEncoder {
 public:
  explicit LzEncoder(std::function<void(const std::uint8_t*, std::size_t)> sink)
      : sink_(std::move(sink)), buf_(kLzWindow, ' '), head_(kHashSize, -1), prev_(kLzWindow, -1) {
    pos_ = kLzWindow;
  }

  void feed(const std::uint8_t* data, std::size_t size) {
    buf_.insert(buf_.end(), data, data + size);
    encode(false);
  }
  void finish() {
    encode(true);
    if (groupItems_) closeGroup();
    flushOut();
  }

 private:
  static constexpr std::size_t kHashBits = 13;
  static constexpr std::size_t kHashSize = std::size_t{1} << kHashBits;
  static constexpr int kChainDepth = 128;

  std::int64_t end() const { return base_ + static_cast<std::int64_t>(buf_.size()); }
  std::uint8_t at(std::int64_t a) const { return buf_[static_cast<std::size_t>(a - base_)]; }
  std::size_t hashAt(std::int64_t a) const {
    std::uint32_t v = (std::uint32_t{at(a)} << 16) | (std::uint32_t{at(a + 1)} << 8) | at(a + 2);
    return (v * 2654435761u) >> (32 - kHashBits);
  }
  void insertBefore(std::int64_t limit) {
    for (; inserted_ < limit && inserted_ + 2 < end(); ++inserted_) {
      std::size_t h = hashAt(inserted_);
      prev_[static_cast<std::size_t>(inserted_) & kLzWindowMask] = head_[h];
      head_[h] = inserted_;
    }
  }

  void encode(bool last) {
    while (pos_ < end() && (last || end() - pos_ >= static_cast<std::int64_t>(kLzMaxMatch))) {
      insertBefore(pos_);
      std::size_t limit = static_cast<std::size_t>(std::min<std::int64_t>(kLzMaxMatch, end() - pos_));
      std::size_t best = 0;
      std::int64_t bestFrom = 0;
      if (limit >= kLzMinMatch) {
        std::int64_t candidate = head_[hashAt(pos_)];
        for (int depth = 0; candidate >= 0 && candidate < pos_ &&
                            pos_ - candidate < static_cast<std::int64_t>(kLzWindow) && depth < kChainDepth;
             ++depth) {
          std::size_t n = 0;
          while (n < limit && at(candidate + static_cast<std::int64_t>(n)) == at(pos_ + static_cast<std::int64_t>(n)))
            ++n;
          if (n > best) {
            best = n;
            bestFrom = candidate;
            if (n == limit) break;
          }
          std::int64_t next = prev_[static_cast<std::size_t>(candidate) & kLzWindowMask];
          if (next >= candidate) break;
          candidate = next;
        }
      }
      if (best >= kLzMinMatch) {
        std::size_t offset = static_cast<std::size_t>(bestFrom - static_cast<std::int64_t>(kLzWindow - kLzFirstWrite)) &
                             kLzWindowMask;
        item(false, static_cast<std::uint8_t>(offset & 0xFF),
             static_cast<std::uint8_t>(((offset >> 4) & 0xF0) | (best - kLzMinMatch)));
        pos_ += static_cast<std::int64_t>(best);
      } else {
        item(true, at(pos_), 0);
        ++pos_;
      }
    }
    // Keep the window and the unread rest; drop what lies before.
    std::int64_t keepFrom = pos_ - static_cast<std::int64_t>(kLzWindow);
    if (keepFrom - base_ >= static_cast<std::int64_t>(kLzIoBytes)) {
      buf_.erase(buf_.begin(), buf_.begin() + (keepFrom - base_));
      base_ = keepFrom;
    }
  }

  void item(bool literal, std::uint8_t b0, std::uint8_t b1) {
    if (groupItems_ == 0) {
      controlAt_ = out_.size();
      out_.push_back(0);
    }
    if (literal) {
      out_[controlAt_] |= static_cast<std::uint8_t>(1u << groupItems_);
      out_.push_back(b0);
    } else {
      out_.push_back(b0);
      out_.push_back(b1);
    }
    if (++groupItems_ == 8) closeGroup();
  }
  void closeGroup() {
    groupItems_ = 0;
    if (out_.size() >= kLzIoBytes) flushOut();
  }
  void flushOut() {
    if (!out_.empty()) sink_(out_.data(), out_.size());
    out_.clear();
  }

  std::function<void(const std::uint8_t*, std::size_t)> sink_;
  std::vector<std::uint8_t> buf_;  // bytes from absolute index base_ on
  std::int64_t base_ = 0;
  std::int64_t pos_ = 0;
  std::int64_t inserted_ = 0;
  std::vector<std::int64_t> head_, prev_;
  std::vector<std::uint8_t> out_;
  std::size_t controlAt_ = 0;
  int groupItems_ = 0;
};

std::array<std::uint8_t, kLzHeaderBytes> lzHeaderBytes(char stored, std::uint32_t size) {
  std::array<std::uint8_t, kLzHeaderBytes> header{};
  std::copy(kLzMagic.begin(), kLzMagic.end(), header.begin());
  header[8] = static_cast<std::uint8_t>(kLzModeA);
  header[9] = static_cast<std::uint8_t>(stored);
  storeLe32(header.data() + 10, size);
  return header;
}

bool lzFail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

}  // namespace

INT LZOpenFileA(const char* fileName, OFSTRUCT* reOpenBuffer, WORD style) {
  if (!fileName || (style != OF_READ && style != OF_CREATE)) return LZERROR_BADVALUE;
  auto path = mapSystemPath(fileName);
  if (!path) {
    fillOpenInfo(reOpenBuffer, fileName, ERROR_FILE_NOT_FOUND);
    return LZERROR_BADINHANDLE;
  }
  auto file = std::make_shared<LzHandle>();
  file->forWriting = style == OF_CREATE;
  if (file->forWriting)
    file->fd = UniqueFd(::open(path->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  else
    file->fd = UniqueFd(::open(path->c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (!file->fd || ::fstat(file->fd.get(), &st) != 0 || S_ISDIR(st.st_mode)) {
    fillOpenInfo(reOpenBuffer, path->string(),
                 file->fd ? ERROR_ACCESS_DENIED : static_cast<int>(systemErrorFromErrno(errno)));
    return LZERROR_BADINHANDLE;
  }
  fillOpenInfo(reOpenBuffer, path->string(), 0);
  file->mode = st.st_mode & 07777;
  if (!file->forWriting) {
    std::uint8_t bytes[kLzHeaderBytes];
    ssize_t n = readFully(file->fd.get(), bytes, sizeof bytes);
    if (n < 0) return LZERROR_READ;
    LzHeader header = parseLzHeader(bytes, static_cast<std::size_t>(n));
    if (header.compressed && !header.complete) return LZERROR_READ;
    if (header.compressed && header.mode != kLzModeA) return LZERROR_UNKNOWNALG;
    if (header.compressed) {
      file->compressed = true;
      file->stored = header.stored;
      file->size = header.size;
    } else if (::lseek(file->fd.get(), 0, SEEK_SET) != 0) {
      return LZERROR_READ;
    }
  }
  return lzAdd(std::move(file));
}

LONG LZCopy(INT source, INT destination) {
  auto in = lzFind(source);
  if (!in || in->forWriting) return LZERROR_BADINHANDLE;
  auto out = lzFind(destination);
  if (!out || !out->forWriting) return LZERROR_BADOUTHANDLE;
  try {
    // Kept, so an installer copied or expanded stays runnable.
    if (::fchmod(out->fd.get(), in->mode) != 0) return LZERROR_WRITE;
    LzStreams io(in->fd.get(), out->fd.get());
    std::uint32_t remaining = 0;
    if (in->compressed)
      expandLzss(io, in->size, remaining);
    else
      io.copyRest();
    io.flush();
    if (io.readFailed()) return LZERROR_READ;
    if (io.writeFailed()) return LZERROR_WRITE;
    if (remaining > 0) return LZERROR_READ;
    return toCopyResult(io.written());
  } catch (const std::bad_alloc&) {
    return LZERROR_GLOBALLOC;
  }
}

void LZClose(INT file) {
  std::shared_ptr<LzHandle> closing;
  std::lock_guard lock(lzTableMutex);
  auto it = lzTable.find(file);
  if (it == lzTable.end()) return;
  closing = std::move(it->second);
  lzTable.erase(it);
}

INT GetExpandedNameA(const char* source, char* buffer) {
  if (!source || !buffer) return LZERROR_BADVALUE;
  std::string name(source);
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  auto path = mapSystemPath(name);
  if (!path) return LZERROR_BADINHANDLE;
  UniqueFd fd(::open(path->c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return LZERROR_BADINHANDLE;
  std::uint8_t bytes[kLzHeaderBytes];
  ssize_t n = readFully(fd.get(), bytes, sizeof bytes);
  if (n < 0) return LZERROR_BADINHANDLE;
  LzHeader header = parseLzHeader(bytes, static_cast<std::size_t>(n));
  if (!header.compressed || n < 10 || name.empty() || name.back() != '_') return TRUE;
  name.pop_back();
  if (header.stored != 0) {
    char stored = header.stored;
    // The case of the name's last letter, looked for within its own component.
    for (auto it = name.rbegin(); it != name.rend() && *it != '\\' && *it != '/'; ++it) {
      unsigned char c = static_cast<unsigned char>(*it);
      if (std::isalpha(c)) {
        if (std::islower(c)) stored = static_cast<char>(std::tolower(static_cast<unsigned char>(stored)));
        break;
      }
    }
    name.push_back(stored);
  }
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  return TRUE;
}

bool lzCompressFile(const std::string& source, const std::string& target, char stored, std::string* error) {
  auto from = mapSystemPath(source, error);
  auto to = from ? mapSystemPath(target, error) : std::nullopt;
  if (!from || !to) return false;
  UniqueFd in(::open(from->c_str(), O_RDONLY | O_CLOEXEC));
  if (!in) return lzFail(error, "cannot open " + from->string() + ": " + std::strerror(errno));
  UniqueFd out(::open(to->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!out) return lzFail(error, "cannot create " + to->string() + ": " + std::strerror(errno));
  auto header = lzHeaderBytes(stored, 0);
  bool written = writeFully(out.get(), header.data(), header.size());
  LzEncoder encoder([&](const std::uint8_t* data, std::size_t size) {
    written = written && writeFully(out.get(), data, size);
  });
  std::vector<std::uint8_t> chunk(kLzIoBytes);
  std::uint64_t total = 0;
  for (;;) {
    ssize_t n = readFully(in.get(), chunk.data(), chunk.size());
    if (n < 0) return lzFail(error, "cannot read " + from->string() + ": " + std::strerror(errno));
    if (n == 0) break;
    total += static_cast<std::uint64_t>(n);
    if (total > 0xFFFFFFFFu) return lzFail(error, from->string() + " is too large to compress (4 GiB or more)");
    encoder.feed(chunk.data(), static_cast<std::size_t>(n));
  }
  encoder.finish();
  header = lzHeaderBytes(stored, static_cast<std::uint32_t>(total));
  if (!written || ::pwrite(out.get(), header.data(), header.size(), 0) != static_cast<ssize_t>(header.size()))
    return lzFail(error, "cannot write " + to->string() + ": " + std::strerror(errno));
  return true;
}

std::string lzCompress(const std::string& data, char stored) {
  auto header = lzHeaderBytes(stored, static_cast<std::uint32_t>(data.size()));
  std::string out(header.begin(), header.end());
  LzEncoder encoder([&](const std::uint8_t* bytes, std::size_t size) {
    out.append(reinterpret_cast<const char*>(bytes), size);
  });
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
  for (std::size_t at = 0; at < data.size(); at += kLzIoBytes)
    encoder.feed(bytes + at, std::min(kLzIoBytes, data.size() - at));
  encoder.finish();
  return out;
}

}  // namespace wf
