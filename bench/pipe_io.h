#pragma once
// Whole reads from a named pipe, whose reads may stop short in byte mode.
#include <cstddef>
#include <cstdint>

#include "platform/named_pipe.h"

namespace wf::bench {

inline bool readAll(NamedPipe& pipe, void* out, std::size_t size) {
  auto* bytes = static_cast<std::uint8_t*>(out);
  std::size_t done = 0;
  while (done < size) {
    std::size_t got = 0;
    if (pipe.read(bytes + done, size - done, &got) != ERROR_SUCCESS) return false;
    done += got;
  }
  return true;
}

}  // namespace wf::bench
