#pragma once
// File names for named cross-process objects below the runtime directory.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace wf::detail {

// A file name standing for the object name `name`: bytes other than
// [A-Za-z0-9_.-] become %XX, so distinct names never share a file and no
// name can reach outside its directory.
std::string encodeObjectName(std::string_view name);

// `<runtime dir>/<kind>/<encoded name><suffix>`, with the kind directory
// created private. Empty with *error set when the directory is unusable or
// the path would not fit a socket address (never cut short).
std::optional<std::filesystem::path> runtimeObjectPath(std::string_view kind, std::string_view name,
                                                       std::string_view suffix, std::string* error);

}  // namespace wf::detail
