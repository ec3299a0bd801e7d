#pragma once
// The test side of the helper's window commands (window_commands.cpp): each
// returns what the helper's window calls answered, parsed.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "child_process.h"
#include "platform/window_messages.h"

namespace wf::testing {

// A message as a helper's window received it.
struct ChildReceived {
  std::uint32_t message = 0;
  WParam wParam = 0;
  LParam lParam = 0;
  std::string payload;
};

class WindowClient {
 public:
  explicit WindowClient(ChildProcess& child) : child_(child) {}

  // A window of `className` on a thread of the helper; 0 when none was made.
  // `how`: "child" for a child window, "agree" for one that lets the session end.
  Hwnd create(const std::string& className, const std::string& how = "") {
    const auto a = child_.ask("win-create " + className + (how.empty() ? "" : " " + how));
    return a.ok ? a.hex() : 0;
  }
  bool destroy(Hwnd h) { return child_.ask("win-destroy " + hex(h)).ok; }
  Hwnd find(const std::string& className) { return ok("win-find " + className).hex(); }
  bool isWindow(Hwnd h) { return ok("win-is " + hex(h)).number() != 0; }
  // Posts `count` messages WM_USER+1 (wParam i, lParam -i, payload prefix+i,
  // none for "-"); the number of posts that failed.
  int post(Hwnd h, int count, const std::string& prefix) {
    return static_cast<int>(ok("win-post " + hex(h) + " " + std::to_string(count) + " " + prefix).number());
  }
  // The result of a send from the helper; empty when the message was not handled.
  std::optional<LResult> send(Hwnd h, std::uint32_t message, WParam wParam, LParam lParam) {
    const auto a = child_.ask("win-send " + hex(h) + " " + std::to_string(message) + " " +
                              std::to_string(wParam) + " " + std::to_string(lParam));
    if (!a.ok) return std::nullopt;
    return static_cast<LResult>(a.number());
  }
  // What the helper's window `h` received, once `count` messages are there or the wait ends.
  std::vector<ChildReceived> log(Hwnd h, std::size_t count) {
    const auto a = ok("win-log " + hex(h) + " " + std::to_string(count));
    std::vector<ChildReceived> out;
    for (std::size_t i = 1; i < a.fields.size(); ++i) {
      std::istringstream item(a.fields[i]);
      ChildReceived r;
      std::string f;
      std::getline(item, f, ':');
      r.message = static_cast<std::uint32_t>(std::stoul(f));
      std::getline(item, f, ':');
      r.wParam = static_cast<WParam>(std::stoull(f));
      std::getline(item, f, ':');
      r.lParam = static_cast<LParam>(std::stoll(f));
      std::getline(item, r.payload);
      out.push_back(r);
    }
    if (out.size() != static_cast<std::size_t>(a.number(0)))
      throw std::runtime_error("win-log: count mismatch");
    return out;
  }
  // Whether the helper's window procedure is holding a send (and, for release, lets it go).
  bool held() { return child_.ask("win-held").ok; }
  bool release() { return child_.ask("win-release").ok; }

  static std::string hex(Hwnd h) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", h);
    return text;
  }

 private:
  ChildAnswer ok(const std::string& command) {
    auto a = child_.ask(command);
    if (!a.ok) throw std::runtime_error(command + ": " + a.error);
    return a;
  }
  ChildProcess& child_;
};

}  // namespace wf::testing
