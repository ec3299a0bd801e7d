#include "hostile_places.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "platform/unique_fd.h"

namespace wf::testing {

const std::vector<HostilePlace>& hostilePlaces() {
  static const std::vector<HostilePlace> places = {
      {"a directory", Hostile::directory, false},     {"a FIFO", Hostile::fifo, false},
      {"a character device", Hostile::device, false}, {"a file of 100 MB", Hostile::large, true},
      {"a symlink loop", Hostile::loop, false},
  };
  return places;
}

void makeHostile(Hostile kind, const std::filesystem::path& at) {
  namespace fs = std::filesystem;
  const fs::path partner = fs::path(at) += ".loop";
  fs::remove_all(at);
  fs::remove(partner);
  fs::create_directories(at.parent_path());
  switch (kind) {
    case Hostile::directory:
      fs::create_directory(at);
      break;
    case Hostile::fifo:
      if (::mkfifo(at.c_str(), 0600) != 0) throw std::runtime_error("mkfifo " + at.string());
      break;
    case Hostile::device:
      fs::create_symlink("/dev/zero", at);
      break;
    case Hostile::large: {
      const UniqueFd sparse(::open(at.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
      if (!sparse || ::ftruncate(sparse.get(), 100 * 1024 * 1024) != 0)
        throw std::runtime_error("sparse file " + at.string());
      break;
    }
    case Hostile::loop:
      fs::create_symlink(partner, at);
      fs::create_symlink(at, partner);
      break;
  }
}

std::optional<std::filesystem::path> mountFullTmpfs(const std::filesystem::path& at, std::string* why) {
  const auto fail = [why](const std::string& what) {
    *why = what + ": " + std::strerror(errno);
    return std::nullopt;
  };
  if (::unshare(CLONE_NEWNS) != 0) return fail("unshare");
  if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return fail("private mounts");
  std::filesystem::create_directories(at);
  if (::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0)
    return fail("mount " + at.string());
  const UniqueFd filler(::open((at / "filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
  const std::string block(4096, 'f');
  while (filler && ::write(filler.get(), block.data(), block.size()) > 0) {
  }
  if (errno != ENOSPC) return fail("fill " + at.string());
  return at;
}

bool namesInOneLine(const std::string& error, const std::filesystem::path& path) {
  return error.find(path.string()) != std::string::npos && error.find('\n') == std::string::npos;
}

void expectHostilePlacesRefused(const std::filesystem::path& at,
                                const std::function<bool(std::string* error)>& read, bool takesLarge) {
  for (const auto& place : hostilePlaces()) {
    SCOPED_TRACE(place.what);
    makeHostile(place.kind, at);
    std::string error;
    const bool taken = read(&error);
    EXPECT_EQ(taken, place.regular && takesLarge);
    if (!taken) {
      EXPECT_TRUE(namesInOneLine(error, at)) << error;
    }
  }
}

}  // namespace wf::testing
