#pragma once
// Loading the system's libraries by their original file names ("CORIPX32.DLL",
// "Cornw32"), binding entry points by name or ordinal, and running each
// library's attach/detach work at the right moments.
//
// A name is matched case-insensitively: its directory-free base name, less a
// ".dll"/".exe" extension, lower-cased, becomes lib<name>.so, searched in the
// test override list, then $WRENFIELD_MODULE_PATH (colon-separated), then the
// program's own directory; the first hit wins.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace wf {

// Opaque; equal for every load of the same library. Null means failure.
struct ModuleTag;
using ModuleHandle = ModuleTag*;

// The directory of the running program (/proc/self/exe).
std::filesystem::path moduleDirectory();

// The directories of $WRENFIELD_MODULE_PATH, in order.
std::vector<std::filesystem::path> modulePathDirectories();

// Directories searched before $WRENFIELD_MODULE_PATH and the program's own.
void setModuleSearchPath(std::vector<std::filesystem::path> dirs);

// "CoRipx32.DLL" -> "libcoripx32.so". Empty for a name that cannot be a
// module (empty base, or a path).
std::string moduleFileName(std::string_view name);

// Where loadModule(name) would load from; empty when no such file exists.
std::optional<std::filesystem::path> findModuleFile(std::string_view name);

// Reference-counted: loading a loaded library returns the same handle and
// needs one more freeModule. The first load runs the library's attach; a
// refused attach unloads it again and fails the load.
ModuleHandle loadModule(std::string_view name);

// Runs detach before the last reference goes. False for an unknown handle.
bool freeModule(ModuleHandle module);

// The handle of the library that holds `address` (a library finding its own
// handle), without taking a reference; null when no library holds it.
ModuleHandle moduleContaining(const void* address);

// Exact, case-sensitive name exported by the library itself (never by one of
// its dependencies); null when it has none.
void* moduleEntry(ModuleHandle module, const char* name);

// Entry of the library's ordinal table; null when it has none.
void* moduleOrdinal(ModuleHandle module, std::uint16_t ordinal);

template <typename Fn>
Fn moduleEntryAs(ModuleHandle module, const char* name) {
  return reinterpret_cast<Fn>(moduleEntry(module, name));
}

template <typename Fn>
Fn moduleOrdinalAs(ModuleHandle module, std::uint16_t ordinal) {
  return reinterpret_cast<Fn>(moduleOrdinal(module, ordinal));
}

// ---- Declarations inside a library -------------------------------------

struct OrdinalExport {
  std::uint16_t ordinal;
  void* function;
};

// An attach that refuses says why first; the loader reports it with the
// refusal (on standard error when the program cannot run without it).
void setAttachRefusal(std::string_view reason);

namespace detail {
using AttachFn = bool (*)();
using DetachFn = void (*)();
// `anchor` is any address inside the library; it names the library without
// going through its exported (and so interposable) symbols.
void attachLinkedModule(const void* anchor, AttachFn attach);
void detachLinkedModule(const void* anchor, DetachFn detach);
}  // namespace detail

}  // namespace wf

#define WF_MODULE_EXPORT extern "C" __attribute__((visibility("default")))

// A library that exports by ordinal lists its (ordinal, function) pairs once.
// The functions themselves stay hidden, so they are not found by name. The
// table is reached through a function: every such library exports the same
// name, and a data symbol of one name in several libraries of a process is
// an ODR violation to the address sanitizer.
#define WF_ORDINAL_EXPORTS(...)                                             \
  WF_MODULE_EXPORT const ::wf::OrdinalExport* wfOrdinalExports() {          \
    static const ::wf::OrdinalExport table[] = {__VA_ARGS__, {0, nullptr}}; \
    return table;                                                           \
  }                                                                         \
  static_assert(true, "takes the caller's semicolon")

#define WF_ORDINAL(number, function)           \
  ::wf::OrdinalExport {                        \
    number, reinterpret_cast<void*>(&function) \
  }

// attach: bool(), false refuses the load. detach: void(). The loader calls
// them after the first load and before the last free. A library that anything
// links against uses WF_MODULE_ENTRY_WHEN_LINKED instead: the loader cannot
// see those other references.
#define WF_MODULE_ENTRY(attach, detach)    \
  WF_MODULE_EXPORT bool wfModuleAttach() { \
    return attach();                       \
  }                                        \
  WF_MODULE_EXPORT void wfModuleDetach() { \
    detach();                              \
  }

// For a library that programs or other libraries link against and that may
// also be loaded by name: attach runs from its own load-time constructor,
// once per process, and detach when the library really leaves the process.
// The loader sees it attached and neither repeats nor undoes it. Attach then
// runs under the dynamic linker's lock: it must not wait for other threads.
// A refused attach fails the load by name that pulled it in; at program
// start it ends the program.
#define WF_MODULE_ENTRY_WHEN_LINKED(attach, detach)                                                \
  WF_MODULE_ENTRY(attach, detach)                                                                  \
  __attribute__((constructor)) static void wfAttachWhenLinked() {                                  \
    ::wf::detail::attachLinkedModule(reinterpret_cast<const void*>(&wfAttachWhenLinked), &attach); \
  }                                                                                                \
  __attribute__((destructor)) static void wfDetachWhenLinked() {                                   \
    ::wf::detail::detachLinkedModule(reinterpret_cast<const void*>(&wfAttachWhenLinked), &detach); \
  }
