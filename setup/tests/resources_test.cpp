#include <gtest/gtest.h>

#include <string>

#include "framework/resources.h"
#include "platform/module.h"

namespace wf {
namespace {

// Setup shows these texts by number; a missing one would show an empty box.
TEST(SetupResources, EveryTextAndTheSplashAreThere) {
  ModuleHandle library = loadModule("DLLRES.DLL");
  ASSERT_NE(library, nullptr);
  for (UINT id : {6u, 8u, 9u, 12u, 13u, 14u, 15u, 16u, 18u, 19u, 209u, 210u, 211u, 212u, 213u, 216u, 217u, 218u}) {
    SCOPED_TRACE(id);
    auto text = static_cast<LPCSTR>(fw::findResourceIn(library, fw::res::Type::String, id));
    ASSERT_NE(text, nullptr);
    EXPECT_NE(std::string(text), "");
  }
  // The removal failure's text takes the directory's name once.
  std::string removal = static_cast<LPCSTR>(fw::findResourceIn(library, fw::res::Type::String, 218u));
  EXPECT_EQ(removal.find("%s"), removal.rfind("%s"));
  EXPECT_NE(removal.find("%s"), std::string::npos);
  EXPECT_EQ(removal.find('%'), removal.find("%s"));

  auto splash = static_cast<const fw::res::Dialog*>(fw::findResourceIn(library, fw::res::Type::Dialog, 7u));
  ASSERT_NE(splash, nullptr);
  EXPECT_GT(splash->itemCount, 0u);
  freeModule(library);
}

}  // namespace
}  // namespace wf
