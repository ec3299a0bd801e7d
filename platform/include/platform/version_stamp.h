#pragma once
// Layout of the version record that every deliverable carries in its
// ".wf_version" ELF section. The build writes it (wf_stamp_version in
// cmake/Wrenfield.cmake); version_info.h reads it back from the file.
#include <cstddef>
#include <cstdint>

namespace wf::version_stamp {

inline constexpr char kSectionName[] = ".wf_version";
inline constexpr char kMagic[4] = {'W', 'F', 'V', 'R'};
inline constexpr std::uint32_t kLayout = 1;

// Little-endian. Each version is two words: (a << 16 | b) and (c << 16 | d).
// The strings that follow are name\0value\0 pairs ended by an empty name;
// stringBytes counts all of them, the final \0 included.
struct Header {
  char magic[4];
  std::uint32_t layout;
  std::uint32_t fileVersionMS;
  std::uint32_t fileVersionLS;
  std::uint32_t productVersionMS;
  std::uint32_t productVersionLS;
  std::uint32_t stringBytes;
};
static_assert(sizeof(Header) == 28);

template <std::size_t N>
struct Record {
  Header header;
  char strings[N];
};

constexpr std::uint32_t versionWord(std::uint32_t high, std::uint32_t low) {
  return (high << 16) | (low & 0xFFFF);
}

}  // namespace wf::version_stamp

// STRINGS: one literal of name "\0" value "\0" pairs; its own terminating
// \0 is the empty name that ends the list.
#define WF_VERSION_RECORD(fa, fb, fc, fd, pa, pb, pc, pd, STRINGS)                                     \
  [[gnu::section(".wf_version"), gnu::used]] static const ::wf::version_stamp::Record<sizeof(STRINGS)> \
      wfVersionRecord = {{{'W', 'F', 'V', 'R'},                                                        \
                          ::wf::version_stamp::kLayout,                                                \
                          ::wf::version_stamp::versionWord(fa, fb),                                    \
                          ::wf::version_stamp::versionWord(fc, fd),                                    \
                          ::wf::version_stamp::versionWord(pa, pb),                                    \
                          ::wf::version_stamp::versionWord(pc, pd),                                    \
                          sizeof(STRINGS)},                                                            \
                         STRINGS}
