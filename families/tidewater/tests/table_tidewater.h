// A Tidewater printer object whose panel variables are texts in a table by
// request code; the pages' tests build their printers on it.
#pragma once

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "broker/corbce.h"
#include "protocol/replies.h"
#include "prtobj/prtobj_util.h"
#include "wfpo_tid/wfpo_tid.h"

namespace wf::testing {

class TableTidewater : public WFTidewaterPrtObj {
 public:
  TableTidewater(USHORT handle, std::map<int, std::string> initial)
      : WFTidewaterPrtObj(handle, 0, FALSE), values(std::move(initial)) {}

  std::map<int, std::string> values;
  std::set<int> failing;   // codes whose read fails
  std::vector<int> reads;  // codes read, in order

  LONG bidiReadOMVar(const BYTE name[2], void** value, ULONG* len) override {
    const int code = 4096 + ((name[0] << 8 | name[1]) - 0x400);
    reads.push_back(code);
    if (failing.count(code)) return BCE_ERR_NOT_CAPABLE;
    const std::string text = values[code];
    constexpr std::size_t kAt = protocol::reply::variable::kValue - protocol::reply::variable::kName;
    auto* bytes = static_cast<char*>(wfPrtObjNew(static_cast<std::uint32_t>(kAt + text.size())));
    std::memcpy(bytes + kAt, text.data(), text.size());
    *value = bytes;
    *len = static_cast<ULONG>(kAt + text.size());
    return 0;
  }
};

}  // namespace wf::testing
