#include "corwf32/corwf32.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>

#include "platform/byte_codec.h"
#include "platform/runtime_dir.h"
#include "platform/trace.h"

namespace {

// Tags whose value is a text; the others are numbers by their size.
bool isTextTag(unsigned tag) {
  return tag == 4 || tag == 5 || tag == 6;
}

struct Reading {
  std::size_t length = 0;  // bytes up to and including the end item
  std::string tags;
  std::string fault;  // empty when well formed
};

// Walks the items without reading past `size`.
Reading walk(const unsigned char* block, std::size_t size) {
  Reading r;
  std::size_t at = 0;
  while (true) {
    if (at + 4 > size) {
      r.fault = "no end item";
      return r;
    }
    const unsigned tag = wf::loadLe16(block + at), itemSize = wf::loadLe16(block + at + 2);
    if (itemSize < 6) {
      r.fault = "item at " + std::to_string(at) + " has size " + std::to_string(itemSize);
      return r;
    }
    if (at + itemSize > size) {
      r.fault = "item at " + std::to_string(at) + " runs past the block";
      return r;
    }
    const unsigned char* value = block + at + 4;
    if (!r.tags.empty()) r.tags += ' ';
    if (tag == 0) {
      if (itemSize != 6) {
        r.fault = "end item of size " + std::to_string(itemSize);
        return r;
      }
      r.tags += "0";
      r.length = at + itemSize;
      return r;
    }
    if (isTextTag(tag)) {
      const void* nul = std::memchr(value, 0, itemSize - 4);
      if (!nul) {
        r.fault = "text at " + std::to_string(at) + " without its terminator";
        return r;
      }
      r.tags += std::to_string(tag) + "=\"" + reinterpret_cast<const char*>(value) + "\"";
    } else if (itemSize >= 9) {
      r.tags += std::to_string(tag) + "=" + std::to_string(wf::loadLe32(value));
    } else if (itemSize >= 7) {
      r.tags += std::to_string(tag) + "=" + std::to_string(wf::loadLe16(value));
    } else {
      r.tags += std::to_string(tag) + "=" + std::to_string(value[0]);
    }
    at += itemSize;
  }
}

void appendLine(const std::string& line) {
  static std::mutex m;
  std::lock_guard lock(m);
  std::string error;
  auto dir = wf::runtimeDir(&error);
  if (!dir) {
    wf::platformTrace("corwf32: no log: " + error);
    return;
  }
  std::ofstream(*dir / wf::toolkit::kLogName, std::ios::app) << line << '\n';
}

int configuredResult() {
  const char* text = std::getenv("WRENFIELD_TOOLKIT_RESULT");
  if (!text || !*text) return 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 0);
  return *end == '\0' ? static_cast<int>(v) : 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int CVToolKit32(HWND parent, HINSTANCE instance,
                                                                  HGLOBAL block) {
  char head[64];
  std::snprintf(head, sizeof head, "parent %u instance %p ", static_cast<unsigned>(parent),
                static_cast<void*>(instance));
  std::string line = head;
  const std::size_t size = GlobalSize(block);
  const auto* bytes = static_cast<const unsigned char*>(size ? GlobalLock(block) : nullptr);
  if (!bytes) {
    appendLine(line + "malformed: no block");
    return wf::toolkit::kMalformed;
  }
  const Reading r = walk(bytes, size);
  if (!r.fault.empty())
    line += "malformed: " + r.fault;
  else
    line += "block " + wf::hexText(bytes, r.length) + " tags " + r.tags;
  GlobalUnlock(block);
  appendLine(line);
  return r.fault.empty() ? configuredResult() : wf::toolkit::kMalformed;
}
