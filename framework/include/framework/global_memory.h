#pragma once
// Global memory blocks: how text and records cross a posted window message.
// The sender allocates, the receiver frees; a message that is never handled
// frees its block through the owner below. Every live block is known, so a
// second free of a block is refused and reported instead of corrupting the
// heap.
#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "framework/win_types.h"

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

// Null when the memory cannot be had. A block's handle is also its address.
HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes);
// Only GMEM_MOVEABLE lets a growing block move; null (the old block intact) on failure.
HGLOBAL GlobalReAlloc(HGLOBAL block, std::size_t bytes, UINT flags);
void* GlobalLock(HGLOBAL block);        // null for a block that is not live
BOOL GlobalUnlock(HGLOBAL block);       // FALSE: no lock is left on the block
std::size_t GlobalSize(HGLOBAL block);  // 0 for a block that is not live
// Null when freed; the handle itself when it was not a live block.
HGLOBAL GlobalFree(HGLOBAL block);

namespace wf::fw {

struct GlobalBlockDeleter {
  void operator()(void* block) const { GlobalFree(block); }
};
// Holds a block until someone takes it with release(): the form a posted
// message's owned payload keeps it in, so that a dropped message frees it.
using UniqueGlobalBlock = std::unique_ptr<void, GlobalBlockDeleter>;

// A posted message's payload is bytes (they may cross to another process).
// The sender's block goes into it and is freed at once, whatever becomes of
// the post; the receiving side makes a fresh fixed block of the same bytes
// just before the handler runs, and the handler frees that one.
std::vector<std::uint8_t> moveGlobalBlockToPayload(HGLOBAL block);
HGLOBAL globalBlockFromPayload(const std::vector<std::uint8_t>& payload);

// A fixed block holding a copy of `text` and its terminator; null on failure.
HGLOBAL globalTextCopy(std::string_view text);

// Blocks allocated and not yet freed in this process (leak checks).
std::size_t liveGlobalBlocks();

}  // namespace wf::fw
