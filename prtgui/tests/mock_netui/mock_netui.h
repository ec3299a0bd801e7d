#pragma once
// How the tests steer the stand-in of the network adapter configuration
// library (CORNETUI) and read what it was asked. The tests bind these entry
// points by name on the handle the application loaded.
#include "platform/win_types.h"

// Protocol 0 stands for the adapter page (NetUIQueryPIPPage).
enum MockNetUIFactory : int {
  kMockFactoryPage = 0,       // the factory makes a placeholder page
  kMockFactoryNull = 1,       // TRUE without a factory
  kMockFactoryNoPage = 2,     // the factory makes nothing
  kMockFactoryNotDialog = 3,  // the settings factory makes an object that is no dialog
};

using MockNetUIResetFn = void (*)();
// The answer to queries for (printer, protocol) from now on; unscripted
// queries answer as the real library does for a printer whose adapter has a page.
using MockNetUIScriptFn = void (*)(USHORT printer, UINT protocol, BOOL answer, int factory);
// The queries in order as (printer, protocol), and the factory calls as
// (first argument, second argument); `index` past the end answers FALSE.
using MockNetUIQueryFn = BOOL (*)(int index, USHORT* printer, UINT* protocol);
using MockNetUIFactoryCallFn = BOOL (*)(int index, int* first, void** second);

// NetUIQuerySettings from now on answers `offer` for that bit, with the
// factory kind and the title (null: the library's own caption).
using MockNetUIScriptSettingsFn = void (*)(UINT protocol, BOOL offer, int factory, const char* title);
// The settings side's events in order: "query <bit>", "modal", "shown",
// "destroyed"; `index` past the end answers FALSE.
using MockNetUISettingsEventFn = BOOL (*)(int index, char* text, int size);

constexpr UINT kMockPageTemplate = 2190;
constexpr UINT kMockSettingsTemplate = 2191;
