#include "framework/global_memory.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/trace.h"

namespace {

struct BlockInfo {
  std::size_t size;
  int locks;
};

std::mutex blocksMutex;
std::unordered_map<void*, BlockInfo> blocks;

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes) {
  // A zero-byte request still yields a distinct live block.
  void* p = (flags & GMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
  if (!p) return nullptr;
  std::lock_guard lock(blocksMutex);
  blocks[p] = {bytes, 0};
  return p;
}

HGLOBAL GlobalReAlloc(HGLOBAL block, std::size_t bytes, UINT flags) {
  std::lock_guard lock(blocksMutex);
  auto it = blocks.find(block);
  if (it == blocks.end()) return nullptr;
  std::size_t old = it->second.size;
  if (bytes > old && !(flags & GMEM_MOVEABLE)) return nullptr;
  void* p = std::realloc(block, bytes ? bytes : 1);
  if (!p) return nullptr;
  if ((flags & GMEM_ZEROINIT) && bytes > old) std::memset(static_cast<char*>(p) + old, 0, bytes - old);
  BlockInfo info{bytes, it->second.locks};
  blocks.erase(it);
  blocks[p] = info;
  return p;
}

void* GlobalLock(HGLOBAL block) {
  std::lock_guard lock(blocksMutex);
  auto it = blocks.find(block);
  if (it == blocks.end()) return nullptr;
  ++it->second.locks;
  return block;
}

BOOL GlobalUnlock(HGLOBAL block) {
  std::lock_guard lock(blocksMutex);
  auto it = blocks.find(block);
  if (it == blocks.end() || it->second.locks == 0) return FALSE;
  return --it->second.locks > 0;
}

std::size_t GlobalSize(HGLOBAL block) {
  std::lock_guard lock(blocksMutex);
  auto it = blocks.find(block);
  return it == blocks.end() ? 0 : it->second.size;
}

HGLOBAL GlobalFree(HGLOBAL block) {
  if (!block) return nullptr;
  {
    std::lock_guard lock(blocksMutex);
    auto it = blocks.find(block);
    if (it != blocks.end()) {
      blocks.erase(it);
      std::free(block);
      return nullptr;
    }
  }
  wf::platformTrace("GlobalFree: not a live block (freed twice?)");
  return block;
}

namespace wf::fw {

HGLOBAL globalTextCopy(std::string_view text) {
  HGLOBAL block = GlobalAlloc(GMEM_FIXED, text.size() + 1);
  if (!block) return nullptr;
  std::memcpy(block, text.data(), text.size());
  static_cast<char*>(block)[text.size()] = '\0';
  return block;
}

std::vector<std::uint8_t> moveGlobalBlockToPayload(HGLOBAL block) {
  std::vector<std::uint8_t> bytes;
  {
    std::lock_guard lock(blocksMutex);
    auto it = blocks.find(block);
    if (it == blocks.end()) return bytes;
    auto* p = static_cast<const std::uint8_t*>(block);
    bytes.assign(p, p + it->second.size);
  }
  GlobalFree(block);
  return bytes;
}

HGLOBAL globalBlockFromPayload(const std::vector<std::uint8_t>& payload) {
  HGLOBAL block = GlobalAlloc(GMEM_FIXED, payload.size());
  if (block && !payload.empty()) std::memcpy(block, payload.data(), payload.size());
  return block;
}

std::size_t liveGlobalBlocks() {
  std::lock_guard lock(blocksMutex);
  return blocks.size();
}

}  // namespace wf::fw
