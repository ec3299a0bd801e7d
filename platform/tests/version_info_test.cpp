#include "platform/version_info.h"

#include <dlfcn.h>
#include <elf.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/module.h"
#include "platform/runtime_dir.h"
#include "platform/version_stamp.h"

namespace wf {
namespace {

std::filesystem::path testModule(const char* file) {
  return moduleDirectory() / "testmodules" / file;
}

std::vector<char> readAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::filesystem::path writeFile(const std::string& name, const std::vector<char>& bytes) {
  auto path = *runtimePath(name);
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
  return path;
}

bool mapped(const std::filesystem::path& file) {
  std::ifstream maps("/proc/self/maps");
  std::stringstream all;
  all << maps.rdbuf();
  return all.str().find(file.filename().string()) != std::string::npos;
}

TEST(VersionInfo, ReadFromTheFileWithoutLoadingIt) {
  auto file = testModule("libtestnet32.so");
  VersionRead read = readVersionInfo(file);
  ASSERT_EQ(read.status, VersionStatus::Found);
  EXPECT_FALSE(mapped(file));

  const VersionInfo& v = read.info;
  EXPECT_EQ(v.fileVersionMS, 0x00010002u);
  EXPECT_EQ(v.fileVersionLS, 0x00030004u);
  EXPECT_EQ(v.productVersionMS, 0x00050006u);
  EXPECT_EQ(v.productVersionLS, 0x00070008u);
  ASSERT_NE(v.value("FileDescription"), nullptr);
  EXPECT_EQ(*v.value("FileDescription"), "Test \\Net\\ \"DLL\"");  // escaped through the build intact
  ASSERT_NE(v.value("fileversion"), nullptr);
  EXPECT_EQ(*v.value("fileversion"), "1, 2, 3, 4");
  ASSERT_NE(v.value("ProductVersion"), nullptr);
  EXPECT_EQ(*v.value("ProductVersion"), "5, 6, 7, 8");
  EXPECT_EQ(v.value("CompanyName"), nullptr);
}

TEST(VersionInfo, EveryDeliverableIsStamped) {
  Dl_info self{};
  ASSERT_NE(dladdr(reinterpret_cast<const void*>(&readVersionInfo), &self), 0);
  for (const std::filesystem::path& file :
       {std::filesystem::path(self.dli_fname), moduleDirectory() / "wf-selfcheck"}) {
    VersionRead read = readVersionInfo(file);
    ASSERT_EQ(read.status, VersionStatus::Found) << file;
    EXPECT_EQ(read.info.fileVersionMS, 0x00010000u) << file;
    ASSERT_NE(read.info.value("FileDescription"), nullptr) << file;
    EXPECT_NE(read.info.value("FileDescription")->find("Wrenfield"), std::string::npos) << file;
  }
}

TEST(VersionInfo, NoneForAFileWithoutTheRecordAndUnreadableForNoFile) {
  EXPECT_EQ(readVersionInfo(testModule("libtestfamily.so")).status, VersionStatus::None);
  EXPECT_EQ(readVersionInfo(testModule("libnosuch.so")).status, VersionStatus::Unreadable);
  EXPECT_EQ(readVersionInfo(moduleDirectory()).status, VersionStatus::Unreadable);
  auto fifo = *runtimePath("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(readVersionInfo(fifo).status, VersionStatus::Unreadable);  // and does not block
}

// Damaged copies of a stamped library: each is refused, none crashes.
class DamagedFile : public ::testing::Test {
 protected:
  void SetUp() override {
    original = readAll(testModule("libtestnet32.so"));
    ASSERT_GT(original.size(), sizeof(Elf64_Ehdr));
    std::memcpy(&header, original.data(), sizeof header);
    for (unsigned i = 0; i < header.e_shnum; ++i) {
      Elf64_Shdr sh = sectionHeader(original, i);
      Elf64_Shdr names = sectionHeader(original, header.e_shstrndx);
      if (std::strcmp(original.data() + names.sh_offset + sh.sh_name, ".wf_version") == 0) stamp = i;
    }
    ASSERT_NE(stamp, 0u);
  }

  Elf64_Shdr sectionHeader(const std::vector<char>& bytes, unsigned i) const {
    Elf64_Shdr sh;
    std::memcpy(&sh, bytes.data() + header.e_shoff + i * sizeof sh, sizeof sh);
    return sh;
  }
  void setSectionHeader(std::vector<char>& bytes, unsigned i, const Elf64_Shdr& sh) const {
    std::memcpy(bytes.data() + header.e_shoff + i * sizeof sh, &sh, sizeof sh);
  }
  template <typename T>
  void poke(std::vector<char>& bytes, std::uint64_t offset, T value) const {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
  }

  std::vector<char> original;
  Elf64_Ehdr header{};
  unsigned stamp = 0;
};

TEST_F(DamagedFile, IsRejectedSafely) {
  using Damage = std::function<void(std::vector<char>&)>;
  const std::uint64_t stampAt = sectionHeader(original, stamp).sh_offset;
  const std::uint64_t huge = ~std::uint64_t(0) - 8;
  struct Case {
    const char* what;
    Damage damage;
  } cases[] = {
      {"empty file", [](auto& b) { b.clear(); }},
      {"magic only", [](auto& b) { b.resize(4); }},
      {"cut inside the header", [](auto& b) { b.resize(40); }},
      {"cut before the section table", [&](auto& b) { b.resize(header.e_shoff + 10); }},
      {"cut at the record", [&](auto& b) { b.resize(stampAt + 10); }},
      {"not ELF", [](auto& b) { b[1] = 'X'; }},
      {"32-bit class", [](auto& b) { b[EI_CLASS] = ELFCLASS32; }},
      {"big-endian", [](auto& b) { b[EI_DATA] = ELFDATA2MSB; }},
      {"section table past the end", [&](auto& b) { poke(b, offsetof(Elf64_Ehdr, e_shoff), huge); }},
      {"section count past the end",
       [&](auto& b) { poke(b, offsetof(Elf64_Ehdr, e_shnum), std::uint16_t(0xFF00)); }},
      {"name table index out of range",
       [&](auto& b) { poke(b, offsetof(Elf64_Ehdr, e_shstrndx), std::uint16_t(header.e_shnum)); }},
      {"wrong section entry size",
       [&](auto& b) { poke(b, offsetof(Elf64_Ehdr, e_shentsize), std::uint16_t(40)); }},
      {"name table offset wraps",
       [&](auto& b) {
         auto sh = sectionHeader(b, header.e_shstrndx);
         sh.sh_offset = huge;
         setSectionHeader(b, header.e_shstrndx, sh);
       }},
      {"name past the name table",
       [&](auto& b) {
         auto sh = sectionHeader(b, stamp);
         sh.sh_name = 0xFFFFFFF0u;
         setSectionHeader(b, stamp, sh);
       }},
      {"record offset past the end",
       [&](auto& b) {
         auto sh = sectionHeader(b, stamp);
         sh.sh_offset = b.size() - 4;
         setSectionHeader(b, stamp, sh);
       }},
      {"record size enormous",
       [&](auto& b) {
         auto sh = sectionHeader(b, stamp);
         sh.sh_size = huge;
         setSectionHeader(b, stamp, sh);
       }},
      {"record shorter than its header",
       [&](auto& b) {
         auto sh = sectionHeader(b, stamp);
         sh.sh_size = 12;
         setSectionHeader(b, stamp, sh);
       }},
      {"record magic", [&](auto& b) { b[stampAt] = 'X'; }},
      {"record layout", [&](auto& b) { poke(b, stampAt + offsetof(version_stamp::Header, layout), 2u); }},
      {"string bytes past the record",
       [&](auto& b) { poke(b, stampAt + offsetof(version_stamp::Header, stringBytes), 0x7FFFFFFFu); }},
      {"strings without terminator",
       [&](auto& b) {
         version_stamp::Header h;
         std::memcpy(&h, b.data() + stampAt, sizeof h);
         std::memset(b.data() + stampAt + sizeof h, 'A', h.stringBytes);
       }},
      {"value missing after a name",
       [&](auto& b) {
         // "FileDescription\0" then the end: the name has no value.
         poke(b, stampAt + offsetof(version_stamp::Header, stringBytes), std::uint32_t(16));
       }},
  };
  for (const auto& c : cases) {
    std::vector<char> bytes = original;
    c.damage(bytes);
    VersionRead read = readVersionInfo(writeFile("damaged", bytes));
    EXPECT_EQ(read.status, VersionStatus::Malformed) << c.what;
  }

  // Random bytes behind a valid ELF identification.
  std::vector<char> noise(4096);
  unsigned seed = 12345;
  for (char& ch : noise) ch = char((seed = seed * 1103515245u + 12345u) >> 16);
  std::memcpy(noise.data(), original.data(), EI_NIDENT);
  EXPECT_EQ(readVersionInfo(writeFile("noise", noise)).status, VersionStatus::Malformed);

  // A copy damaged nowhere reads as the original.
  EXPECT_EQ(readVersionInfo(writeFile("intact", original)).status, VersionStatus::Found);
}

}  // namespace
}  // namespace wf
