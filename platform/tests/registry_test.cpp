#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/trace.h"
#include "platform_child.h"

namespace wf {
namespace {

namespace fs = std::filesystem;

// Opens (creating) a key and closes it at scope end.
class Key {
 public:
  explicit Key(const char* path, HKEY root = HKEY_CURRENT_USER, DWORD options = REG_OPTION_NON_VOLATILE) {
    result_ = RegCreateKeyExA(root, path, 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &key_, &disposition_);
  }
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  HKEY get() const { return key_; }
  LONG result() const { return result_; }
  DWORD disposition() const { return disposition_; }

 private:
  HKEY key_ = nullptr;
  LONG result_;
  DWORD disposition_ = 0;
};

LONG setBytes(HKEY key, const char* name, DWORD type, std::string_view bytes) {
  return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                        static_cast<DWORD>(bytes.size()));
}

LONG setDword(HKEY key, const char* name, DWORD v) {
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
}

// The value's type and bytes, or the failure code in `result`.
struct Read {
  LONG result;
  DWORD type = 0;
  std::string data;
};

Read readValue(HKEY key, const char* name) {
  Read r{};
  DWORD size = 0;
  r.result = RegQueryValueExA(key, name, nullptr, &r.type, nullptr, &size);
  if (r.result != ERROR_SUCCESS) return r;
  r.data.assign(size, '\x55');
  r.result = RegQueryValueExA(key, name, nullptr, &r.type, reinterpret_cast<BYTE*>(r.data.data()), &size);
  r.data.resize(size);
  return r;
}

std::vector<std::string> subkeyNames(HKEY key) {
  std::vector<std::string> names;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    LONG r = RegEnumKeyExA(key, i, name, &size);
    if (r == ERROR_NO_MORE_ITEMS) break;
    EXPECT_EQ(r, ERROR_SUCCESS);
    if (r != ERROR_SUCCESS) break;
    EXPECT_EQ(size, std::strlen(name));
    names.emplace_back(name);
  }
  return names;
}

std::string fileText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A value as reg-get lists it: its type, then its bytes in hexadecimal (none when empty).
// A value as another process reads it, successfully.
testing::RegistryRead typedBytes(DWORD type, std::string_view bytes) {
  return {ERROR_SUCCESS, type, std::string(bytes)};
}

const std::string kPadded = [] {
  std::string s = "c:\\js.dat";
  s.resize(260, '\0');
  return s;
}();
const std::string kBinary("\x01\x00\x00\xff\x00\"\\\n", 8);

TEST(Registry, ValueWrittenByOneProcessIsReadByAnotherAtOnce) {
  testing::PlatformChild child;
  Key k("Software\\Corvane\\Wrenfield\\1.0\\Settings");
  ASSERT_EQ(k.result(), ERROR_SUCCESS);
  // Each step reads what the other process wrote just before, back and forth.
  for (DWORD i = 1; i <= 5; ++i) {
    ASSERT_EQ(setDword(k.get(), "windowcount", i), ERROR_SUCCESS);
    ASSERT_EQ(child.registryGet("hkcu", "Software\\Corvane\\Wrenfield\\1.0\\Settings", "windowcount"),
              typedBytes(REG_DWORD, std::string_view(reinterpret_cast<const char*>(&i), 4)));
    ASSERT_EQ(
        child.registrySetDword("hkcu", "Software\\Corvane\\Wrenfield\\1.0\\Settings", "windowcount", i * 100),
        ERROR_SUCCESS);
    Read r = readValue(k.get(), "windowcount");
    ASSERT_EQ(r.result, ERROR_SUCCESS);
    DWORD v;
    std::memcpy(&v, r.data.data(), 4);
    EXPECT_EQ(v, i * 100);
  }
  // A key another process created is there for this one at once.
  ASSERT_EQ(child.registrySetDword("hklm", "SOFTWARE\\Corvane\\Wrenfield\\CorPeer", "NumComp", 2),
            ERROR_SUCCESS);
  HKEY peer = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Wrenfield\\CorPeer", 0, KEY_READ, &peer),
            ERROR_SUCCESS);
  EXPECT_EQ(readValue(peer, "NumComp").data, std::string("\x02\x00\x00\x00", 4));
  RegCloseKey(peer);
}

TEST(Registry, ExactBytesAndTypesSurviveTheFileAndAnotherProcess) {
  const std::string kNoTerminator = "abc";
  const std::string kExpand("%windir%\\x\0", 11);
  struct Case {
    const char* name;
    DWORD type;
    std::string bytes;
  } cases[] = {
      {"padded", REG_SZ, kPadded},
      {"terminated", REG_SZ, std::string("Cover Open\0", 11)},
      {"unterminated", REG_SZ, kNoTerminator},
      {"quotes and controls", REG_SZ, std::string("a\"b\\c\td\x01\0", 10)},
      {"utf8 \xc3\xa9", REG_SZ,
       std::string("Gr\xc3\xbc\xc3\x9f"
                   "e\0",
                   8)},
      {"expand", REG_EXPAND_SZ, kExpand},
      {"binary", REG_BINARY, kBinary},
      {"empty binary", REG_BINARY, ""},
      {"dword", REG_DWORD, std::string("\xf0\x12\x00\x80", 4)},
      {"short dword", REG_DWORD, std::string("\x01\x02", 2)},
      {"other type", 7, std::string("a\0b\0\0", 5)},
      {"", REG_SZ, std::string("default\0", 8)},
  };
  {
    Key k("Software\\Types");
    ASSERT_EQ(k.result(), ERROR_SUCCESS);
    for (const auto& c : cases)
      ASSERT_EQ(setBytes(k.get(), c.name, c.type, c.bytes), ERROR_SUCCESS) << c.name;
  }
  testing::PlatformChild child;  // reads them from the file alone
  for (const auto& c : cases) {
    if (std::strchr(c.name, ' ') || !*c.name) continue;  // the child's command line splits at blanks
    EXPECT_EQ(child.registryGet("hkcu", "Software\\Types", c.name), typedBytes(c.type, c.bytes)) << c.name;
  }
  // Rereading the file here too (after another writer touched it) keeps every byte.
  ASSERT_EQ(child.registrySetDword("hkcu", "Software\\Types", "touch", 1), ERROR_SUCCESS);
  Key k("Software\\Types");
  for (const auto& c : cases) {
    Read r = readValue(k.get(), c.name);
    ASSERT_EQ(r.result, ERROR_SUCCESS) << c.name;
    EXPECT_EQ(r.type, c.type) << c.name;
    EXPECT_EQ(r.data, c.bytes) << c.name;
  }
  // And the file is readable text.
  std::string text = fileText(*registryHivePath(HKEY_CURRENT_USER));
  EXPECT_NE(text.find("[Software\\Types]\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"padded\"=sz[260]:\"c:\\\\js.dat\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"terminated\"=sz:\"Cover Open\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"dword\"=dword:0x800012f0\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"binary\"=binary:01 00 00 ff 00 22 5c 0a\n"), std::string::npos) << text;
}

TEST(Registry, QueryReportsSizesMoreDataAndMissingValues) {
  Key k("Software\\Sizes");
  ASSERT_EQ(setBytes(k.get(), "jsfilename", REG_SZ, kPadded), ERROR_SUCCESS);

  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExA(k.get(), "jsfilename", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 260u);
  EXPECT_EQ(type, REG_SZ);

  BYTE small[100];
  std::memset(small, 0x55, sizeof small);
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExA(k.get(), "jsfilename", nullptr, &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 260u);

  BYTE exact[260];
  size = sizeof exact;
  EXPECT_EQ(RegQueryValueExA(k.get(), "jsfilename", nullptr, nullptr, exact, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(exact), size), kPadded);

  EXPECT_EQ(RegQueryValueExA(k.get(), "jsfilename", nullptr, nullptr, exact, nullptr),
            ERROR_INVALID_PARAMETER);
  size = sizeof exact;
  EXPECT_EQ(RegQueryValueExA(k.get(), "nosuch", nullptr, &type, exact, &size), ERROR_FILE_NOT_FOUND);

  // Enumeration: a name buffer too small is "more data"; the data size comes back as for a query.
  char name[4];
  DWORD nameSize = sizeof name;
  size = 0;
  EXPECT_EQ(RegEnumValueA(k.get(), 0, name, &nameSize, nullptr, &type, nullptr, &size), ERROR_MORE_DATA);
  char big[32];
  nameSize = sizeof big;
  size = 10;
  EXPECT_EQ(RegEnumValueA(k.get(), 0, big, &nameSize, nullptr, &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 260u);
  nameSize = sizeof big;
  size = 0;
  EXPECT_EQ(RegEnumValueA(k.get(), 0, big, &nameSize, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_STREQ(big, "jsfilename");
  EXPECT_EQ(nameSize, 10u);
  EXPECT_EQ(size, 260u);
  nameSize = sizeof big;
  EXPECT_EQ(RegEnumValueA(k.get(), 1, big, &nameSize, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
}

TEST(Registry, NamesIgnoreCaseAndKeepTheirCase) {
  Key created("Software\\Corvane\\Wrenfield");
  ASSERT_EQ(created.disposition(), static_cast<DWORD>(REG_CREATED_NEW_KEY));
  ASSERT_EQ(setDword(created.get(), "GlobalFlags", 1), ERROR_SUCCESS);

  Key again("SOFTWARE\\CORVANE\\wrenfield");
  EXPECT_EQ(again.disposition(), static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  HKEY opened = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\corvane", 0, KEY_READ, &opened), ERROR_SUCCESS);
  EXPECT_EQ(subkeyNames(opened), std::vector<std::string>{"Wrenfield"});
  RegCloseKey(opened);

  // Rewriting under another case replaces the value and keeps its first name.
  ASSERT_EQ(setDword(again.get(), "GLOBALFLAGS", 2), ERROR_SUCCESS);
  EXPECT_EQ(readValue(created.get(), "globalflags").data, std::string("\x02\x00\x00\x00", 4));
  char name[32];
  DWORD nameSize = sizeof name;
  ASSERT_EQ(RegEnumValueA(created.get(), 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_STREQ(name, "GlobalFlags");
  nameSize = sizeof name;
  EXPECT_EQ(RegEnumValueA(created.get(), 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(RegDeleteValueA(again.get(), "globalFLAGS"), ERROR_SUCCESS);
  EXPECT_EQ(readValue(created.get(), "GlobalFlags").result, ERROR_FILE_NOT_FOUND);
}

TEST(Registry, SubkeysEnumerateInCaseInsensitiveOrder) {
  Key filters("Software\\Filters");
  for (const char* n : {"gamma", "Zeta", "_under", "beta", "Delta", "Alpha", "alphabet"}) {
    Key sub(n, filters.get());
    ASSERT_EQ(sub.result(), ERROR_SUCCESS);
  }
  // Compared as upper case, so '_' (0x5F) comes after every letter.
  std::vector<std::string> expected{"Alpha", "alphabet", "beta", "Delta", "gamma", "Zeta", "_under"};
  EXPECT_EQ(subkeyNames(filters.get()), expected);
  DWORD count = 0;
  ASSERT_EQ(RegQueryInfoKeyA(filters.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(count, 7u);

  char name[6];
  DWORD size = sizeof name;  // "alphabet" does not fit
  EXPECT_EQ(RegEnumKeyExA(filters.get(), 1, name, &size), ERROR_MORE_DATA);
}

TEST(Registry, CreateOpenAndDeleteKeys) {
  HKEY missing = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\A\\B", 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, nullptr);
  {
    Key deep("Software\\A\\B\\C");
    EXPECT_EQ(deep.disposition(), static_cast<DWORD>(REG_CREATED_NEW_KEY));
    ASSERT_EQ(setDword(deep.get(), "v", 1), ERROR_SUCCESS);
    Key sibling("Software\\A\\B2");
    ASSERT_EQ(sibling.result(), ERROR_SUCCESS);
  }
  Key again("Software\\A\\B\\C");
  EXPECT_EQ(again.disposition(), static_cast<DWORD>(REG_OPENED_EXISTING_KEY));

  Key software("Software");
  EXPECT_EQ(RegDeleteKeyA(software.get(), "A\\B"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(software.get(), "A\\B"), ERROR_FILE_NOT_FOUND);
  // The whole subtree went, for this process and for another.
  HKEY k = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\A\\B\\C", 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\A\\B2", 0, KEY_READ, &k), ERROR_SUCCESS);
  RegCloseKey(k);
  testing::PlatformChild child;
  EXPECT_EQ(child.registryGet("hkcu", "Software\\A\\B\\C", "v").result, ERROR_FILE_NOT_FOUND);
  // A handle left open on a deleted key says so.
  EXPECT_EQ(readValue(again.get(), "v").result, ERROR_KEY_DELETED);
  EXPECT_EQ(setDword(again.get(), "v", 2), ERROR_KEY_DELETED);

  // Bad paths and handles.
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\\\A", 0, KEY_READ, &k), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteKeyA(software.get(), ""), ERROR_INVALID_PARAMETER);
  HKEY closed = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &closed), ERROR_SUCCESS);
  ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(closed), ERROR_INVALID_HANDLE);
  EXPECT_EQ(readValue(closed, "v").result, ERROR_INVALID_HANDLE);
}

TEST(Registry, HivesAreSeparate) {
  Key user("Software\\Corvane\\Wrenfield");
  ASSERT_EQ(setDword(user.get(), "where", 1), ERROR_SUCCESS);
  Key machine("Software\\Corvane\\Wrenfield", HKEY_LOCAL_MACHINE);
  EXPECT_EQ(machine.disposition(), static_cast<DWORD>(REG_CREATED_NEW_KEY));
  EXPECT_EQ(readValue(machine.get(), "where").result, ERROR_FILE_NOT_FOUND);
  EXPECT_NE(*registryHivePath(HKEY_CURRENT_USER), *registryHivePath(HKEY_LOCAL_MACHINE));
}

TEST(Registry, VolatileKeysStayInThisProcess) {
  Key settings("Software\\Corvane\\Wrenfield\\1.0\\Settings");
  Key drivers("Drivers", settings.get(), REG_OPTION_VOLATILE);
  ASSERT_EQ(drivers.disposition(), static_cast<DWORD>(REG_CREATED_NEW_KEY));
  ASSERT_EQ(setBytes(drivers.get(), "PCL", REG_SZ, std::string("pcl5\0", 5)), ERROR_SUCCESS);
  Key inner("Inner", drivers.get(), REG_OPTION_VOLATILE);
  ASSERT_EQ(inner.result(), ERROR_SUCCESS);
  Key lasting("Lasting", drivers.get());
  EXPECT_EQ(lasting.result(), ERROR_CHILD_MUST_BE_VOLATILE);

  std::string text = fileText(*registryHivePath(HKEY_CURRENT_USER));
  EXPECT_NE(text.find("Settings]"), std::string::npos);
  EXPECT_EQ(text.find("Drivers"), std::string::npos) << text;
  EXPECT_EQ(text.find("pcl5"), std::string::npos) << text;

  testing::PlatformChild child;
  EXPECT_EQ(child.registryGet("hkcu", "Software\\Corvane\\Wrenfield\\1.0\\Settings\\Drivers", "PCL").result,
            ERROR_FILE_NOT_FOUND);
  // Another process's write makes this one reread the file; its volatile keys stay.
  ASSERT_EQ(child.registrySetDword("hkcu", "Software\\Corvane\\Wrenfield\\1.0\\Settings", "maxthreads", 20),
            ERROR_SUCCESS);
  EXPECT_EQ(readValue(settings.get(), "maxthreads").result, ERROR_SUCCESS);
  EXPECT_EQ(readValue(drivers.get(), "PCL").data, std::string("pcl5\0", 5));
  EXPECT_EQ(subkeyNames(settings.get()), std::vector<std::string>{"Drivers"});
}

TEST(Registry, DamagedHiveIsSetAsideAndReported) {
  struct Case {
    const char* what;
    std::string text;
  } cases[] = {
      {"empty file", ""},
      {"no header", "[Software]\n"},
      {"bad value", "WRENFIELD REGISTRY 1\n[Software]\n\"x\"=dword:zz\n"},
      {"value twice", "WRENFIELD REGISTRY 1\n[Software]\n\"x\"=dword:0x1\n\"X\"=dword:0x2\n"},
      {"value outside a key", "WRENFIELD REGISTRY 1\n\"x\"=binary:00\n"},
      {"string shorter than its size", "WRENFIELD REGISTRY 1\n[S]\n\"x\"=sz[2]:\"abc\"\n"},
      {"unterminated string", "WRENFIELD REGISTRY 1\n[S]\n\"x\"=sz:\"abc\n"},
      {"empty key name", "WRENFIELD REGISTRY 1\n[S\\\\T]\n"},
  };
  std::vector<std::string> traces;
  setPlatformTraceSink([&](std::string_view line) { traces.emplace_back(line); });
  fs::path hive = *registryHivePath(HKEY_CURRENT_USER);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    traces.clear();
    {
      Key k("Software\\Before");
      ASSERT_EQ(setDword(k.get(), "kept", 7), ERROR_SUCCESS);
    }
    { std::ofstream(hive, std::ios::binary | std::ios::trunc) << c.text; }

    HKEY k = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Before", 0, KEY_READ, &k), ERROR_BADDB);
    ASSERT_EQ(traces.size(), 1u);
    EXPECT_NE(traces[0].find("damaged"), std::string::npos) << traces[0];

    // The damaged text is kept aside, byte for byte.
    std::vector<fs::path> aside;
    for (const auto& e : fs::directory_iterator(hive.parent_path()))
      if (e.path().filename().string().find(".damaged-") != std::string::npos) aside.push_back(e.path());
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(fileText(aside[0]), c.text);
    EXPECT_NE(traces[0].find(aside[0].string()), std::string::npos) << traces[0];
    fs::remove(aside[0]);

    // A fresh, empty hive took its place and works.
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Before", 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
    Key fresh("Software\\After");
    EXPECT_EQ(setDword(fresh.get(), "v", 1), ERROR_SUCCESS);
    EXPECT_EQ(fileText(hive).rfind("WRENFIELD REGISTRY 1\n", 0), 0u);
    EXPECT_EQ(traces.size(), 1u);
  }
  setPlatformTraceSink({});
}

TEST(Registry, ConcurrentWritersInTwoProcessesLoseNoValue) {
  constexpr int kPerWriter = 150;
  testing::PlatformChild a, b;
  long answerA = -1, answerB = -1;
  std::thread ta([&] { answerA = a.registryFill("hkcu", "Software\\Race", "a", kPerWriter); });
  std::thread tb([&] { answerB = b.registryFill("hkcu", "Software\\Race", "b", kPerWriter); });
  // This process writes alongside them.
  {
    Key k("Software\\Race");
    for (DWORD i = 0; i < kPerWriter; ++i)
      ASSERT_EQ(setDword(k.get(), ("c" + std::to_string(i)).c_str(), i), ERROR_SUCCESS);
  }
  ta.join();
  tb.join();
  ASSERT_EQ(answerA, ERROR_SUCCESS);
  ASSERT_EQ(answerB, ERROR_SUCCESS);

  Key k("Software\\Race");
  DWORD values = 0;
  ASSERT_EQ(RegQueryInfoKeyA(k.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                             nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 3u * kPerWriter);
  for (const char* prefix : {"a", "b", "c"}) {
    for (DWORD i = 0; i < kPerWriter; ++i) {
      std::string name = prefix + std::to_string(i);
      Read r = readValue(k.get(), name.c_str());
      ASSERT_EQ(r.result, ERROR_SUCCESS) << name;
      EXPECT_EQ(r.data, std::string(reinterpret_cast<const char*>(&i), 4)) << name;
    }
  }
}

TEST(Registry, DumpShowsTheSubtreeWithVolatileKeys) {
  Key k("Software\\Corvane\\Wrenfield\\CorIpx");
  ASSERT_EQ(setBytes(k.get(), "Trace", REG_BINARY, std::string(1, '\0')), ERROR_SUCCESS);
  Key nick("Lab Printer", k.get());
  ASSERT_EQ(setBytes(nick.get(), "Address", REG_BINARY, std::string("\x00\x80\x12\x34\x56\x78", 6)),
            ERROR_SUCCESS);
  Key temp("Temp", k.get(), REG_OPTION_VOLATILE);
  std::string text;
  ASSERT_EQ(registryDump(HKEY_CURRENT_USER, "software\\corvane\\wrenfield\\coripx", &text), ERROR_SUCCESS);
  EXPECT_EQ(text,
            "[HKEY_CURRENT_USER\\Software\\Corvane\\Wrenfield\\CorIpx]\n"
            "\"Trace\"=binary:00\n"
            "[HKEY_CURRENT_USER\\Software\\Corvane\\Wrenfield\\CorIpx\\Lab Printer]\n"
            "\"Address\"=binary:00 80 12 34 56 78\n"
            "[HKEY_CURRENT_USER\\Software\\Corvane\\Wrenfield\\CorIpx\\Temp]\n");
  EXPECT_EQ(registryDump(HKEY_CURRENT_USER, "Software\\Nothing", &text), ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace wf
