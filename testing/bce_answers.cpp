#include "bce_answers.h"

#include <cstdio>
#include <iomanip>

#include "typed_child.h"

namespace wf::testing {

PostedAlert PostedAlert::parse(const std::string& word) {
  unsigned message = 0, wParam = 0, lParam = 0;
  if (std::sscanf(word.c_str(), "%u:%x:%x", &message, &wParam, &lParam) != 3)
    throw ChildError("bad post: " + word);
  return {message, static_cast<std::uint16_t>(wParam >> 16), static_cast<std::uint16_t>(wParam), lParam};
}

BufferReply BufferReply::parse(const ChildAnswer& a) {
  const std::string& data = a.field(2);
  return {static_cast<std::int32_t>(a.number(0)), static_cast<std::uint32_t>(a.number(1)),
          data == "-" ? "" : data};
}

Written Written::parse(const ChildAnswer& a) {
  return {static_cast<std::int32_t>(a.number(0)), static_cast<std::uint32_t>(a.number(1))};
}

std::ostream& operator<<(std::ostream& out, const PostedAlert& p) {
  return out << p.message << " key " << p.key << " handle " << p.handle << " mask 0x" << std::hex << p.mask
             << std::dec;
}
std::ostream& operator<<(std::ostream& out, const BufferReply& r) {
  return out << "{result " << r.result << ", length " << r.length << ", data " << std::quoted(r.data) << "}";
}
std::ostream& operator<<(std::ostream& out, const Written& w) {
  return out << "{result " << w.result << ", length " << w.length << "}";
}

}  // namespace wf::testing
