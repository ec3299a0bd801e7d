#pragma once
// The compiled form of a resource library: constant data that wf-rc
// generates from a library's .wrc source (see wf_add_resources). Plain
// aggregates only, so a library is data without start-up code and needs no
// framework to be built. Lookups go through framework/resources.h.
#include <cstddef>

#include "framework/win_types.h"

namespace wf::fw::res {

enum class Type : UINT { String = 1, Dialog, Menu, Accelerators, Toolbar, Bitmap, Icon };

struct DialogItem {
  UINT id;
  LPCSTR className;  // "Button", "Edit", "Static", "ListBox", "ComboBox", "SysListView32", ...
  LPCSTR text;
  DWORD style;
  DWORD exStyle;
  short x, y, cx, cy;  // dialog units
};

struct Dialog {
  LPCSTR caption;
  LPCSTR fontName;
  WORD fontSize;  // points
  DWORD style;
  DWORD exStyle;
  short x, y, cx, cy;  // dialog units
  const DialogItem* items;
  UINT itemCount;
};

// Menu item flags, the original platform's values.
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_POPUP = 0x0010;
constexpr UINT MF_SEPARATOR = 0x0800;

struct MenuItem {
  UINT id;      // 0 for popups and separators
  LPCSTR text;  // "&File", "&Refresh\tF5"; empty for separators
  UINT flags;
  const MenuItem* children;  // a popup's items
  UINT childCount;
};

struct Menu {
  const MenuItem* items;
  UINT count;
};

// Accelerator flags, the original platform's values.
constexpr BYTE FVIRTKEY = 0x01;
constexpr BYTE FSHIFT = 0x04;
constexpr BYTE FCONTROL = 0x08;
constexpr BYTE FALT = 0x10;

struct Accelerator {
  BYTE fVirt;
  WORD key;  // virtual key with FVIRTKEY, else the character
  WORD cmd;
};

struct AcceleratorTable {
  const Accelerator* entries;
  UINT count;
};

// A toolbar's button size and its command ids in order; 0 is a separator.
// The button images are the bitmap of the same id, one per non-zero id.
struct Toolbar {
  WORD width, height;
  const UINT* items;
  UINT count;
};

// A bitmap or icon: the bytes of its image file (PNG, BMP or XPM).
struct Image {
  const unsigned char* bytes;
  std::size_t size;
};

struct Entry {
  Type type;
  UINT id;      // 0 when the resource is named
  LPCSTR name;  // upper case; null when numbered
  // LPCSTR for strings, else the record of the type above.
  const void* data;
};

constexpr UINT kTableVersion = 1;

struct Table {
  UINT version;
  const Entry* entries;
  UINT count;
};

}  // namespace wf::fw::res

// The one export of a resource library, found by the framework by name.
#define WF_RESOURCE_TABLE_ENTRY "wfResourceTable"
#define WF_RESOURCE_TABLE(table)                                                                    \
  extern "C" __attribute__((visibility("default"))) const ::wf::fw::res::Table* wfResourceTable() { \
    return &(table);                                                                                \
  }
