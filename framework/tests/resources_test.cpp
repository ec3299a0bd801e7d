#include <gtest/gtest.h>

#include <QImage>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "framework/control_styles.h"
#include "framework/cstring.h"
#include "framework/resources.h"
#include "framework/virtual_keys.h"
#include "test_dirs.h"

namespace {

using wf::fw::findResourceIn;
namespace res = wf::fw::res;

class ResourceLibraries : public ::testing::Test {
 protected:
  void SetUp() override {
    first = wf::loadModule("wftestres1");
    second = wf::loadModule("wftestres2");
    ASSERT_TRUE(first && second);
  }
  void TearDown() override {
    wf::fw::leaveResourceChain(first);
    wf::fw::leaveResourceChain(second);
    wf::freeModule(first);
    wf::freeModule(second);
  }
  HINSTANCE first = nullptr;
  HINSTANCE second = nullptr;
};

TEST_F(ResourceLibraries, EveryKindReadsBackAsWritten) {
  auto text = static_cast<LPCSTR>(findResourceIn(first, res::Type::String, 11));
  ASSERT_TRUE(text);
  EXPECT_STREQ(text, "Tab\there, \"quoted\", Caf\xC3\xA9");

  auto dialog = static_cast<const res::Dialog*>(findResourceIn(first, res::Type::Dialog, 100));
  ASSERT_TRUE(dialog);
  EXPECT_STREQ(dialog->caption, "Settings");
  EXPECT_STREQ(dialog->fontName, "MS Sans Serif");
  EXPECT_EQ(dialog->fontSize, 8);
  EXPECT_EQ(dialog->style, DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CONTEXTHELP);
  EXPECT_EQ(dialog->cx, 180);
  EXPECT_EQ(dialog->cy, 90);
  ASSERT_EQ(dialog->itemCount, 4u);
  const res::DialogItem& edit = dialog->items[1];
  EXPECT_EQ(edit.id, 1001u);
  EXPECT_STREQ(edit.className, "Edit");
  EXPECT_EQ(edit.style, WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | ES_UPPERCASE | WS_BORDER | WS_TABSTOP);
  EXPECT_EQ(edit.exStyle, WS_EX_CLIENTEDGE);
  EXPECT_EQ(edit.x, 50);
  EXPECT_EQ(edit.cy, 14);
  EXPECT_EQ(dialog->items[0].id, 0xFFFFu);  // a label without an id of its own
  EXPECT_STREQ(dialog->items[2].text, "OK");

  auto menu = static_cast<const res::Menu*>(findResourceIn(first, res::Type::Menu, 128));
  ASSERT_TRUE(menu);
  ASSERT_EQ(menu->count, 2u);
  const res::MenuItem& file = menu->items[0];
  EXPECT_EQ(file.flags, res::MF_POPUP);
  ASSERT_EQ(file.childCount, 3u);
  EXPECT_STREQ(file.children[0].text, "&Refresh\tF5");
  EXPECT_EQ(file.children[0].id, 32771u);
  EXPECT_EQ(file.children[1].flags, res::MF_SEPARATOR);
  EXPECT_EQ(file.children[2].flags, res::MF_GRAYED);
  EXPECT_EQ(menu->items[1].flags, res::MF_CHECKED);

  auto accel = static_cast<const res::AcceleratorTable*>(findResourceIn(first, res::Type::Accelerators, 128));
  ASSERT_TRUE(accel);
  ASSERT_EQ(accel->count, 2u);
  EXPECT_EQ(accel->entries[0].key, VK_F5);
  EXPECT_EQ(accel->entries[0].fVirt, res::FVIRTKEY);
  EXPECT_EQ(accel->entries[1].key, 'N');
  EXPECT_EQ(accel->entries[1].fVirt, res::FVIRTKEY | res::FCONTROL);
  EXPECT_EQ(accel->entries[1].cmd, 57600);

  auto bar = static_cast<const res::Toolbar*>(findResourceIn(first, res::Type::Toolbar, 128));
  ASSERT_TRUE(bar);
  EXPECT_EQ(bar->width, 16);
  EXPECT_EQ(bar->height, 15);
  ASSERT_EQ(bar->count, 3u);
  EXPECT_EQ(bar->items[1], 0u);
  EXPECT_EQ(bar->items[2], 57670u);
}

TEST_F(ResourceLibraries, PicturesByNumberAndByNameDecode) {
  for (const wf::fw::ResourceId& id :
       {wf::fw::ResourceId(305), wf::fw::ResourceId(MAKEINTRESOURCE(305)),
        wf::fw::ResourceId("features_imagelist"), wf::fw::ResourceId("FEATURES_IMAGELIST")}) {
    auto image = static_cast<const res::Image*>(findResourceIn(first, res::Type::Bitmap, id));
    ASSERT_TRUE(image) << id.id() << id.name();
    QImage decoded;
    ASSERT_TRUE(decoded.loadFromData(image->bytes, static_cast<int>(image->size)));
    EXPECT_EQ(decoded.size(), QSize(16, 16));
    EXPECT_EQ(decoded.pixelColor(12, 8), QColor(0x20, 0xC0, 0x20));  // the status light
  }
  EXPECT_TRUE(findResourceIn(first, res::Type::Icon, 104));
  // A type is part of the key: bitmap 305 is no icon, icon 104 no bitmap.
  EXPECT_FALSE(findResourceIn(first, res::Type::Icon, 305));
  EXPECT_FALSE(findResourceIn(first, res::Type::Bitmap, 104));
}

TEST_F(ResourceLibraries, ChainIsSearchedInJoinOrder) {
  ASSERT_TRUE(wf::fw::joinResourceChain(first));
  ASSERT_TRUE(wf::fw::joinResourceChain(second));
  ASSERT_TRUE(wf::fw::joinResourceChain(first));  // keeps its place
  EXPECT_EQ(AfxGetResourceHandle(), first);

  CString text;
  EXPECT_TRUE(text.LoadString(10));
  EXPECT_EQ(text, CString("Cover Open"));
  EXPECT_TRUE(text.LoadString(30));
  EXPECT_EQ(text, CString("Only in the second library"));
  EXPECT_EQ(AfxFindResourceHandle(30, res::Type::String), second);
  EXPECT_EQ(AfxFindResourceHandle(305, res::Type::Bitmap), first);

  wf::fw::leaveResourceChain(first);
  EXPECT_TRUE(text.LoadString(10));
  EXPECT_EQ(text, CString("Cover Open (second)"));
  EXPECT_FALSE(text.LoadString(20));
  EXPECT_TRUE(text.IsEmpty());
}

TEST_F(ResourceLibraries, MissingResourcesFailCleanly) {
  ASSERT_TRUE(wf::fw::joinResourceChain(first));
  CString text = "stale";
  EXPECT_FALSE(text.LoadString(9999));
  EXPECT_TRUE(text.IsEmpty());
  EXPECT_EQ(wf::fw::findDialog(101), nullptr);
  EXPECT_EQ(wf::fw::findMenu("NOSUCHMENU"), nullptr);
  HINSTANCE where = first;
  EXPECT_EQ(wf::fw::findResource(res::Type::Toolbar, 129, &where), nullptr);
  EXPECT_EQ(where, nullptr);
  EXPECT_EQ(AfxFindResourceHandle(9999, res::Type::String), nullptr);
  EXPECT_FALSE(wf::fw::joinResourceChain(nullptr));
  // A library that is no resource library contributes nothing.
  HINSTANCE plain = wf::loadModule("wfplatform");
  ASSERT_TRUE(plain);
  EXPECT_EQ(wf::fw::resourceTableOf(plain), nullptr);
  EXPECT_EQ(findResourceIn(plain, res::Type::String, 10), nullptr);
  wf::freeModule(plain);
}

TEST_F(ResourceLibraries, SwitchIsPerThreadAndRestored) {
  ASSERT_TRUE(wf::fw::joinResourceChain(first));
  ASSERT_TRUE(wf::fw::joinResourceChain(second));
  std::promise<void> switched, checked;
  std::string workerSaw, workerAfter;
  HINSTANCE workerHandle = nullptr;
  std::thread worker([&] {
    {
      wf::fw::ResourceHandleSwitch guard(second);
      workerHandle = AfxGetResourceHandle();
      workerSaw = wf::fw::findString(10);
      switched.set_value();
      checked.get_future().wait();
    }
    workerAfter = wf::fw::findString(10);
  });
  switched.get_future().wait();
  // The worker's switch is not seen here.
  EXPECT_EQ(AfxGetResourceHandle(), first);
  EXPECT_STREQ(wf::fw::findString(10), "Cover Open");
  checked.set_value();
  worker.join();
  EXPECT_EQ(workerHandle, second);
  EXPECT_EQ(workerSaw, "Cover Open (second)");
  EXPECT_EQ(workerAfter, "Cover Open");

  {
    wf::fw::ResourceHandleSwitch none(nullptr);  // no library: nothing changes
    EXPECT_EQ(AfxGetResourceHandle(), first);
    wf::fw::ResourceHandleSwitch outer(second);
    {
      wf::fw::ResourceHandleSwitch inner(first);
      EXPECT_STREQ(wf::fw::findString(10), "Cover Open");
    }
    EXPECT_STREQ(wf::fw::findString(10), "Cover Open (second)");
    // The switched library is searched first but the chain still follows.
    EXPECT_STREQ(wf::fw::findString(20), "Only in the first library");
  }
  EXPECT_EQ(AfxGetResourceHandle(), first);
  AfxSetResourceHandle(second);
  EXPECT_EQ(AfxGetResourceHandle(), second);
  AfxSetResourceHandle(nullptr);
  EXPECT_EQ(AfxGetResourceHandle(), first);
}

// The resource compiler refuses what the framework could not read, naming the line.
TEST(ResourceCompiler, RefusesBadSources) {
  const std::filesystem::path dir = wf::testing::testDataRoot() / "rc";
  std::filesystem::create_directories(dir);
  const std::filesystem::path tool = wf::moduleDirectory() / "wf-rc";
  struct Case {
    const char* source;
    const char* message;
  } cases[] = {
      {"STRINGTABLE\nBEGIN\n  10 \"open\n", ":3: error: unterminated text"},
      {"STRINGTABLE\nBEGIN\n10 \"a\"\n10 \"b\"\nEND\n", ":4: error: duplicate String 10"},
      {"STRINGTABLE\nBEGIN\n0 \"a\"\nEND\n", ":3: error: resource id must be 1 to 65535"},
      {"STRINGS\n", ":1: error: unknown resource keyword STRINGS"},
      {"BITMAP 5 \"missing.png\"\n", ":1: error: cannot read"},
      {"ACCELERATORS 1\nBEGIN\nVK_F5, 100\nEND\n", ":3: error: a named key needs VIRTKEY"},
      {"DIALOG 1 0 0 10 10\nBEGIN\nCONTROL \"a\", 5, \"Button\", 0, 0, 0, 1, 1\n"
       "CONTROL \"b\", 5, \"Button\", 0, 0, 0, 1, 1\nEND\n",
       ":4: error: duplicate control id 5"},
      {"MENU 1\nBEGIN\nMENUITEM \"x\"\nEND\n", ":4: error: expected a number"},
  };
  for (const Case& c : cases) {
    const auto source = dir / "bad.wrc";
    std::ofstream(source) << c.source;
    const auto out = dir / "bad.cpp";
    const std::string command = tool.string() + " " + source.string() + " " + out.string() + " " +
                                (dir / "bad.d").string() + " 2>" + (dir / "err.txt").string();
    EXPECT_NE(std::system(command.c_str()), 0) << c.source;
    std::ifstream err(dir / "err.txt");
    const std::string message((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
    EXPECT_NE(message.find(c.message), std::string::npos) << c.source << "\n" << message;
    EXPECT_FALSE(std::filesystem::exists(out)) << c.source;
  }
}

}  // namespace
