#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/runtime_dir.h"

namespace {

using wf::dataRoot;
using wf::ensurePrivateDir;
using wf::ERROR_SUCCESS;
using wf::HKEY_CURRENT_USER;
using wf::KEY_ALL_ACCESS;
using wf::mapSystemPath;
using wf::REG_BINARY;
using wf::REG_DWORD;
using wf::REG_SZ;
using wf::registryHivePath;
using wf::testing::AppFixture;

const std::string kSettingsKey = std::string(CWFApp::kAppKey) + "\\Settings";

HKEY createKey(const std::string& path) {
  HKEY key = nullptr;
  EXPECT_EQ(
      RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  return key;
}

void setValue(const std::string& path, const char* name, DWORD type, const void* data, DWORD size) {
  HKEY key = createKey(path);
  ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  RegCloseKey(key);
}

void setNumber(const char* name, DWORD value) {
  setValue(kSettingsKey, name, REG_DWORD, &value, 4);
}

std::vector<std::string> valueNames(const std::string& path) {
  HKEY key = createKey(path);
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[300];
    DWORD size = sizeof name;
    DWORD type = 0;
    DWORD dataSize = 0;
    if (RegEnumValueA(key, i, name, &size, nullptr, &type, nullptr, &dataSize) != ERROR_SUCCESS) break;
    names.emplace_back(name);
  }
  RegCloseKey(key);
  return names;
}

std::string rawValue(const std::string& path, const char* name, DWORD* type = nullptr) {
  HKEY key = createKey(path);
  BYTE data[1024];
  DWORD size = sizeof data;
  DWORD t = 0;
  const LONG result = RegQueryValueExA(key, name, nullptr, &t, data, &size);
  RegCloseKey(key);
  if (type) *type = t;
  return result == ERROR_SUCCESS ? std::string(reinterpret_cast<char*>(data), size) : std::string("<none>");
}

class Settings : public AppFixture {};

TEST_F(Settings, DefaultsFollowTheWaveDevices) {
  struct Case {
    UINT devices;
    UINT flags;
  };
  for (Case c : {Case{1, 0x12F0}, Case{3, 0x12F0}, Case{0, 0x10F0}}) {
    shell_.sound.setDeviceCount(c.devices);
    CWFApp app;
    app.SetGlobalDefaults();
    EXPECT_EQ(app.GetGlobalFlags(), c.flags) << c.devices << " devices";
    EXPECT_EQ(app.GetMaxThreads(), 20);
    EXPECT_EQ(app.GetWindowCount(), 1u);
    EXPECT_TRUE(app.GetUseGhosts());
    EXPECT_FALSE(app.GetFlashIcon());
  }
}

TEST_F(Settings, FlagSettersKeepBitZeroOfTheirArgument) {
  CWFApp app;
  app.SetGlobalFlags(0);
  EXPECT_EQ(app.SetDriverUpdateAuto(3), 1);
  EXPECT_EQ(app.GetGlobalFlags(), 1u << 14);
  EXPECT_EQ(app.SetDriverUpdateAuto(2), 0);
  EXPECT_EQ(app.GetGlobalFlags(), 0u);
  app.SetWFTopmost(TRUE);
  app.SetBidiTrace(TRUE);
  EXPECT_EQ(app.GetGlobalFlags(), 1u | (1u << 13));
}

TEST_F(Settings, MaxThreadsBelowTwentyReadsAsTwenty) {
  for (auto [stored, read] : {std::pair{5u, 20}, std::pair{19u, 20}, std::pair{30u, 30}}) {
    setNumber("maxthreads", stored);
    CWFApp app;
    EXPECT_TRUE(app.RetrieveRegistrySettings());
    EXPECT_EQ(app.GetMaxThreads(), read) << stored;
  }
}

TEST_F(Settings, UnknownFlagBitsAndLongTextsRoundTrip) {
  setNumber("globalflags", 0xABCD0000u | 0x0204u);
  const std::string longest(259, 'x');
  setValue(kSettingsKey, "jsfilename", REG_SZ, longest.c_str(), 260);
  {
    CWFApp app;
    ASSERT_TRUE(app.RetrieveRegistrySettings());
    EXPECT_EQ(app.GetGlobalFlags(), 0xABCD0204u);
    EXPECT_TRUE(app.GetFlashIcon());
    EXPECT_EQ(app.GetJSFilename().str(), longest);
    app.SetDriverUpdatePath(std::string(300, 'y').c_str());
    ASSERT_TRUE(app.SaveRegistrySettings());
  }
  CWFApp again;
  ASSERT_TRUE(again.RetrieveRegistrySettings());
  EXPECT_EQ(again.GetGlobalFlags(), 0xABCD0204u);
  EXPECT_EQ(again.GetJSFilename().str(), longest);
  // A text is cut to what 260 bytes with a terminator hold.
  EXPECT_EQ(again.GetDriverUpdatePath().str(), std::string(259, 'y'));
}

TEST_F(Settings, SaveWritesEightValuesInOrderAndEverySound) {
  CWFApp app;
  ASSERT_TRUE(app.RetrieveRegistrySettings());
  app.SetWaveFile(1, CFilename("/sounds/cover.wav"));
  ASSERT_TRUE(app.SaveRegistrySettings());
  EXPECT_EQ(valueNames(kSettingsKey),
            (std::vector<std::string>{"globalflags", "jsfilename", "jsfilesize", "maxthreads", "logginglevel",
                                      "driverupdatepath", "prtinvdatafile", "windowcount"}));
  const auto sounds = valueNames(kSettingsKey + "\\Sounds");
  ASSERT_EQ(sounds.size(), 41u);
  EXPECT_EQ(sounds.front(), "paperjam");
  EXPECT_EQ(sounds.back(), "oilbottlelow");
  DWORD type = 0;
  const std::string cover = rawValue(kSettingsKey + "\\Sounds", "coveropen", &type);
  EXPECT_EQ(type, REG_SZ);
  ASSERT_EQ(cover.size(), 260u);
  EXPECT_EQ(std::string(cover.c_str()), "/sounds/cover.wav");
  EXPECT_EQ(cover.find_first_not_of('\0', std::strlen("/sounds/cover.wav")), std::string::npos);
  const std::string flags = rawValue(kSettingsKey, "globalflags", &type);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(flags.size(), 4u);
}

TEST_F(Settings, BadValuesKeepTheirDefaults) {
  const std::string unterminated(260, 'u');
  const std::string tooLong = std::string(400, 'l');
  const DWORD number = 7;
  const std::uint16_t shortNumber = 9;
  const std::uint64_t wideNumber = 40;
  setValue(kSettingsKey, "jsfilename", REG_DWORD, &number, 4);                    // wrong type
  setValue(kSettingsKey, "driverupdatepath", REG_SZ, "", 1);                      // empty
  setValue(kSettingsKey, "prtinvdatafile", REG_SZ, unterminated.data(), 260);     // no terminator
  setValue(kSettingsKey + "\\Sounds", "paperjam", REG_SZ, tooLong.c_str(), 401);  // too long
  setValue(kSettingsKey + "\\Sounds", "coveropen", REG_BINARY, "/a.wav", 7);      // wrong type
  setValue(kSettingsKey, "maxthreads", REG_DWORD, &wideNumber, 8);                // wrong size
  setValue(kSettingsKey, "windowcount", REG_DWORD, &shortNumber, 2);              // wrong size
  setValue(kSettingsKey, "logginglevel", REG_BINARY, "\x02\x00\x00\x00", 4);      // four bytes
  CWFApp app;
  ASSERT_TRUE(app.RetrieveRegistrySettings());
  CWFApp defaults;
  defaults.SetGlobalDefaults();
  EXPECT_TRUE(app.GetJSFilename().IsEmpty());
  EXPECT_TRUE(app.GetDriverUpdatePath().IsEmpty());
  EXPECT_TRUE(app.GetPrtInvDataFile().IsEmpty());
  EXPECT_EQ(app.GetWaveFile(0).GetPath().str(), defaults.GetWaveFile(0).GetPath().str());
  EXPECT_EQ(app.GetWaveFile(1).GetPath().str(), defaults.GetWaveFile(1).GetPath().str());
  EXPECT_EQ(app.GetMaxThreads(), 20);
  EXPECT_EQ(app.GetWindowCount(), 1u);
  EXPECT_EQ(app.GetLoggingLevel(), 2u);
}

TEST_F(Settings, DamagedHiveGivesTheBoxAndDefaultsThenSavesAfresh) {
  setNumber("maxthreads", 40);
  const auto hive = registryHivePath(HKEY_CURRENT_USER);
  ASSERT_TRUE(hive);
  std::ofstream(*hive, std::ios::trunc) << "this is no hive {{{\n";
  CWFApp app;
  EXPECT_FALSE(app.RetrieveRegistrySettings());
  ASSERT_EQ(boxTexts().size(), 1u);
  EXPECT_EQ(boxTexts()[0],
            "Error with the Windows 95 registry. Default settings will be used for Wrenfield.\n");
  EXPECT_EQ(app.GetMaxThreads(), 20);
  app.SetMaxThreads(25);
  EXPECT_TRUE(app.SaveRegistrySettings());
  CWFApp again;
  EXPECT_TRUE(again.RetrieveRegistrySettings());
  EXPECT_EQ(again.GetMaxThreads(), 25);
  EXPECT_EQ(boxTexts().size(), 1u);
}

// What the process writes to standard error while `run` runs.
template <class Run>
std::string standardError(Run run) {
  std::fflush(stderr);
  const int saved = ::dup(2);
  FILE* capture = std::tmpfile();
  ::dup2(::fileno(capture), 2);
  run();
  std::fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  std::string text(static_cast<std::size_t>(std::ftell(capture)), '\0');
  std::rewind(capture);
  text.resize(std::fread(text.data(), 1, text.size(), capture));
  std::fclose(capture);
  return text;
}

TEST_F(Settings, ARegistryThatFailsSaysWhyBesideItsBox) {
  const auto root = *dataRoot();
  const auto hive = *registryHivePath(HKEY_CURRENT_USER);
  ASSERT_TRUE(ensurePrivateDir(hive.parent_path(), true, nullptr));
  const struct {
    const char* what;
    std::function<void()> spoil;
    std::string reason;
    bool logged;  // a refused data root holds the log too
  } cases[] = {
      {"a hive that is a directory", [&] { std::filesystem::create_directories(hive); },
       "cannot read hive " + hive.string() + ": is a directory, not a file", true},
      {"a refused data root", [&] { ::chmod(root.c_str(), 0755); },
       "refusing directory " + root.string() + ": mode 755", false},
  };
  CWFApp app;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.spoil();
    const std::size_t boxes = boxTexts().size();
    const std::string err = standardError([&] { EXPECT_FALSE(app.RetrieveRegistrySettings()); });
    EXPECT_EQ(boxTexts().size(), boxes + 1);
    EXPECT_NE(err.find("wrenfld: settings not read, defaults used: " + c.reason), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    if (c.logged) {
      std::ifstream log(*mapSystemPath("c:\\wf32.log"));
      const std::string text{std::istreambuf_iterator<char>(log), {}};
      EXPECT_NE(text.find("settings not read, defaults used: " + c.reason), std::string::npos) << text;
    }
  }
}

TEST_F(Settings, SoundEventTable) {
  CWFApp app;
  EXPECT_TRUE(app.GetWaveFile(41).GetPath().IsEmpty());
  EXPECT_TRUE(app.GetWaveFile(-1).GetPath().IsEmpty());
  EXPECT_EQ(app.GetWaveEventID(41), 42u);
  EXPECT_EQ(app.GetWaveEventID(-1), 42u);
  EXPECT_EQ(app.GetWaveEventID(0), 12u);
  EXPECT_EQ(app.GetWaveEventID(16), 40009u);
  EXPECT_EQ(app.GetWaveEventID(40), 95u);
  const std::string dir = app.GetProgramDirectory();
  EXPECT_EQ(app.GetWaveFile(1).GetPath().str(), dir + "/VC50.WAV");
  EXPECT_EQ(app.GetWaveFile(CString("coveropen")).str(), dir + "/VC50.WAV");
  EXPECT_TRUE(app.GetWaveFile(CString("CoverOpen")).IsEmpty());
  // The shipped tones lie where the defaults point.
  for (int i = 0; i < WF_SOUND_EVENTS; ++i)
    EXPECT_TRUE(std::filesystem::exists(app.GetWaveFile(i).GetPath().str()))
        << app.GetWaveFile(i).GetPath().str();
  app.SetWaveFile(41, CFilename("/x.wav"));
  app.SetWaveFile(40, CFilename("/y.wav"));
  EXPECT_EQ(app.GetWaveFile(40).GetPath().str(), "/y.wav");
}

TEST_F(Settings, OemAndHandedOverWindowName) {
  CWFApp app;
  EXPECT_FALSE(app.GetOEMInstall());
  EXPECT_TRUE(app.FindPrevInstFile().IsEmpty());
  setNumber("OEM", 1);
  EXPECT_TRUE(app.GetOEMInstall());
  EXPECT_TRUE(app.RegisterPrevInstFile("Second floor"));
  EXPECT_EQ(app.FindPrevInstFile().str(), "Second floor");
  EXPECT_EQ(rawValue(kSettingsKey + "\\PrevInst", "Filename").size(), 260u);
}

}  // namespace
