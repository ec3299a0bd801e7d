#pragma once
// Answers of helpers that call the broker's exports, shared by the typed
// clients of every module whose helpers carry the broker.
#include <cstdint>
#include <ostream>
#include <string>

#include "child_process.h"

namespace wf::testing {

// An alert the broker posted to a helper's window, written by the helpers as
// "message:wParam:lParam" (wParam and lParam in hexadecimal): the alert's
// key (high word of wParam), printer handle (low word) and class mask.
struct PostedAlert {
  std::uint32_t message = 0;
  std::uint16_t key = 0;
  std::uint16_t handle = 0;
  std::uint32_t mask = 0;
  bool operator==(const PostedAlert&) const = default;

  // Throws ChildError when `word` is not of that form.
  static PostedAlert parse(const std::string& word);
};

// BceSendBidi or BceQueryAlerts: the result, the length it reported and the
// bytes it put in the buffer, as hexadecimal digits ("" for none). Written
// by the helpers as "<result> <length> <hex or ->".
struct BufferReply {
  std::int32_t result = 0;
  std::uint32_t length = 0;
  std::string data;
  bool operator==(const BufferReply&) const = default;

  static BufferReply parse(const ChildAnswer& answer);
};

// BceWrite: the result and the length it reported written ("<result> <length>").
struct Written {
  std::int32_t result = 0;
  std::uint32_t length = 0;
  bool operator==(const Written&) const = default;

  static Written parse(const ChildAnswer& answer);
};

std::ostream& operator<<(std::ostream& out, const PostedAlert& p);
std::ostream& operator<<(std::ostream& out, const BufferReply& r);
std::ostream& operator<<(std::ostream& out, const Written& w);

}  // namespace wf::testing
