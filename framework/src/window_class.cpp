#include "framework/window_class.h"

#include <QString>

#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "window_classes.h"

namespace wf::fw {
namespace {

struct ClassRecord {
  WNDCLASS data;
  std::string name;  // what data.lpszClassName points at
};

struct ClassRegistry {
  std::mutex m;
  std::map<std::string, ClassRecord> classes;  // by upper-case name; nodes never move
};

std::string key(LPCSTR name) {
  return QString::fromUtf8(name).toUpper().toStdString();
}

// Under the lock.
const ClassRecord& insert(ClassRegistry& r, const WNDCLASS& windowClass) {
  auto [it, added] = r.classes.try_emplace(key(windowClass.lpszClassName));
  if (added) {
    it->second.name = windowClass.lpszClassName;
    it->second.data = windowClass;
    it->second.data.lpszClassName = it->second.name.c_str();
  }
  return it->second;
}

ClassRegistry& classRegistry() {
  static auto* r = [] {
    auto* made = new ClassRegistry;  // leaked: windows may be made during process exit
    WNDCLASS frame;
    frame.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    frame.lpszClassName = kAfxFrameOrViewClass;
    insert(*made, frame);
    return made;
  }();
  return *r;
}

}  // namespace

HICON classIcon(LPCSTR className) {
  if (!className || !*className) return nullptr;
  ClassRegistry& r = classRegistry();
  std::lock_guard lock(r.m);
  auto it = r.classes.find(key(className));
  return it == r.classes.end() ? nullptr : it->second.data.hIcon;
}

}  // namespace wf::fw

BOOL AfxRegisterClass(WNDCLASS* windowClass) {
  if (!windowClass || !windowClass->lpszClassName || !*windowClass->lpszClassName) return FALSE;
  auto& r = wf::fw::classRegistry();
  std::lock_guard lock(r.m);
  wf::fw::insert(r, *windowClass);
  return TRUE;
}

LPCSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon) {
  char name[96];
  std::snprintf(name, sizeof name, "Afx:%x:%p:%p:%p", classStyle, cursor, background, icon);
  WNDCLASS windowClass;
  windowClass.style = classStyle;
  windowClass.hCursor = cursor;
  windowClass.hbrBackground = background;
  windowClass.hIcon = icon;
  windowClass.lpszClassName = name;
  auto& r = wf::fw::classRegistry();
  std::lock_guard lock(r.m);
  return wf::fw::insert(r, windowClass).name.c_str();
}

BOOL GetClassInfo(HINSTANCE, LPCSTR className, WNDCLASS* windowClass) {
  if (!className || !windowClass) return FALSE;
  auto& r = wf::fw::classRegistry();
  std::lock_guard lock(r.m);
  auto it = r.classes.find(wf::fw::key(className));
  if (it == r.classes.end()) return FALSE;
  *windowClass = it->second.data;
  return TRUE;
}
