#pragma once
// In-memory form of one hive and its text form (internal to the registry).
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

namespace wf::reg {

// Bounds on what a hive may hold, in files as through the calls: no key path
// deeper, no name longer, no value larger.
constexpr std::size_t kMaxKeyDepth = 512;
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueSize = std::size_t{1} << 24;

// Orders names as the registry compares them: ASCII letter case ignored.
struct CaseLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};
bool sameName(std::string_view a, std::string_view b);

struct Value {
  std::string name;
  DWORD type = 0;
  std::string data;  // exact bytes
};

struct Key {
  bool isVolatile = false;
  std::map<std::string, Key, CaseLess> children;  // map key: the name as created
  std::vector<Value> values;                      // in the order first set

  Value* findValue(std::string_view name);
};

// The text of a hive: a header line, then one "[path]" section per key (the
// key's values follow as "name"=value lines). A section whose path is long and
// that is a direct child of the section before it names only the child, as
// "[\\name]", so the text stays linear in the keys however deep they go.
// Volatile keys are left out.
std::string serializeHive(const Key& root);
// Parses `text` into *root; on failure *error says which line and why.
bool parseHive(std::string_view text, Key* root, std::string* error);

// The section text of `key` (at `path`) and its subtree, volatile keys included.
std::string serializeSubtree(const Key& key, const std::vector<std::string>& path);

std::string formatValue(DWORD type, std::string_view data);

}  // namespace wf::reg
