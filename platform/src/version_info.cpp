#include "platform/version_info.h"
#include "platform/unique_fd.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/version_stamp.h"

namespace wf {
namespace {

// Far above any real record or section-name table; keeps garbage sizes from
// turning into huge allocations.
constexpr std::uint64_t kMaxRecordBytes = 64 * 1024;
constexpr std::uint64_t kMaxNameTableBytes = 1024 * 1024;

class File {
 public:
  explicit File(const std::filesystem::path& path)
      // Non-blocking, so that a FIFO in place of a library cannot hang us.
      : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool openRegular() {
    struct stat st {};
    if (!fd_.get() || ::fstat(fd_.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    size_ = std::uint64_t(st.st_size);
    return true;
  }
  std::uint64_t size() const { return size_; }

  // The whole range or nothing; a range outside the file is refused.
  bool read(std::uint64_t offset, void* out, std::uint64_t length) const {
    if (offset > size_ || length > size_ - offset) return false;
    auto* dst = static_cast<char*>(out);
    while (length > 0) {
      ssize_t n = ::pread(fd_.get(), dst, length, off_t(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      dst += n;
      offset += std::uint64_t(n);
      length -= std::uint64_t(n);
    }
    return true;
  }

 private:
  UniqueFd fd_;
  std::uint64_t size_ = 0;
};

enum class Scan { Found, None, Malformed };

struct SectionBytes {
  Scan scan = Scan::Malformed;
  std::vector<char> bytes;
};

SectionBytes findSection(const File& file, const char* wanted) {
  SectionBytes result;
  Elf64_Ehdr eh;
  if (!file.read(0, &eh, sizeof eh)) return result;
  if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64 ||
      eh.e_ident[EI_DATA] != ELFDATA2LSB || eh.e_shentsize != sizeof(Elf64_Shdr))
    return result;
  if (eh.e_shoff == 0) {
    result.scan = Scan::None;  // no section table at all
    return result;
  }
  auto section = [&](std::uint64_t index, Elf64_Shdr& out) {
    return file.read(eh.e_shoff + index * sizeof(Elf64_Shdr), &out, sizeof out);
  };
  // Counts too large for the header live in the first section entry.
  Elf64_Shdr first;
  if (!section(0, first)) return result;
  std::uint64_t count = eh.e_shnum ? eh.e_shnum : first.sh_size;
  std::uint64_t nameIndex = eh.e_shstrndx == SHN_XINDEX ? first.sh_link : eh.e_shstrndx;
  if (count > file.size() / sizeof(Elf64_Shdr) || eh.e_shoff > file.size() - count * sizeof(Elf64_Shdr) ||
      nameIndex >= count)
    return result;

  Elf64_Shdr names;
  if (!section(nameIndex, names) || names.sh_type == SHT_NOBITS || names.sh_size == 0 ||
      names.sh_size > kMaxNameTableBytes)
    return result;
  std::vector<char> nameTable(names.sh_size);
  if (!file.read(names.sh_offset, nameTable.data(), names.sh_size)) return result;
  nameTable.back() = '\0';  // a name running off the end stops there

  const std::size_t wantedLength = std::strlen(wanted);
  for (std::uint64_t i = 0; i < count; ++i) {
    Elf64_Shdr sh;
    if (!section(i, sh)) return result;
    if (sh.sh_name >= nameTable.size()) return result;
    const char* name = nameTable.data() + sh.sh_name;
    if (std::strlen(name) != wantedLength || std::memcmp(name, wanted, wantedLength) != 0) continue;
    if (sh.sh_type == SHT_NOBITS || sh.sh_size > kMaxRecordBytes) return result;
    result.bytes.resize(sh.sh_size);
    if (!file.read(sh.sh_offset, result.bytes.data(), sh.sh_size)) return result;
    result.scan = Scan::Found;
    return result;
  }
  result.scan = Scan::None;
  return result;
}

std::optional<VersionInfo> parseRecord(const std::vector<char>& bytes) {
  using version_stamp::Header;
  Header h;
  if (bytes.size() < sizeof h) return std::nullopt;
  std::memcpy(&h, bytes.data(), sizeof h);
  if (std::memcmp(h.magic, version_stamp::kMagic, sizeof h.magic) != 0 ||
      h.layout != version_stamp::kLayout || h.stringBytes == 0 || h.stringBytes > bytes.size() - sizeof h)
    return std::nullopt;

  VersionInfo info{h.fileVersionMS, h.fileVersionLS, h.productVersionMS, h.productVersionLS, {}};
  const char* at = bytes.data() + sizeof h;
  const char* end = at + h.stringBytes;
  auto next = [&](std::string& out) {
    const void* nul = std::memchr(at, '\0', std::size_t(end - at));
    if (!nul) return false;
    out.assign(at, static_cast<const char*>(nul));
    at = static_cast<const char*>(nul) + 1;
    return true;
  };
  for (;;) {
    std::string name, value;
    if (!next(name)) return std::nullopt;
    if (name.empty()) return info;
    if (!next(value)) return std::nullopt;
    info.strings.emplace_back(std::move(name), std::move(value));
  }
}

bool equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

const std::string* VersionInfo::value(std::string_view name) const {
  for (const auto& [key, text] : strings)
    if (equalNoCase(key, name)) return &text;
  return nullptr;
}

VersionRead readVersionInfo(const std::filesystem::path& path) {
  VersionRead result;
  File file(path);
  if (!file.openRegular()) return result;
  auto section = findSection(file, version_stamp::kSectionName);
  switch (section.scan) {
    case Scan::None:
      result.status = VersionStatus::None;
      return result;
    case Scan::Malformed:
      result.status = VersionStatus::Malformed;
      return result;
    case Scan::Found:
      break;
  }
  auto info = parseRecord(section.bytes);
  result.status = info ? VersionStatus::Found : VersionStatus::Malformed;
  if (info) result.info = std::move(*info);
  return result;
}

}  // namespace wf
