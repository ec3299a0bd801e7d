// The saved printer record: what an icon writes into its registry subkey
// and what the main program rebuilds from it.
#include <map>
#include <string>

#include "platform/registry.h"
#include "test_fixture.h"

namespace wf::testing {
namespace {

class RecordTest : public PrinterFixture {
 protected:
  void SetUp() override {
    PrinterFixture::SetUp();
    ASSERT_EQ(wf::RegCreateKeyExA(wf::HKEY_CURRENT_USER, "Software\\Test\\printers\\p", 0, nullptr, 0,
                                  wf::KEY_ALL_ACCESS, nullptr, &key_, nullptr),
              0);
  }
  void TearDown() override {
    wf::RegCloseKey(key_);
    wf::RegDeleteKeyA(wf::HKEY_CURRENT_USER, "Software\\Test");
    PrinterFixture::TearDown();
  }
  // Every value of the subkey by name, then forgets them.
  std::map<std::string, std::string> takeValues() {
    std::map<std::string, std::string> values;
    for (DWORD i = 0;; ++i) {
      char name[64];
      DWORD nameSize = sizeof name, type = 0;
      BYTE data[512];
      DWORD dataSize = sizeof data;
      if (wf::RegEnumValueA(key_, i, name, &nameSize, nullptr, &type, data, &dataSize) != 0) break;
      values[name] = std::string(reinterpret_cast<char*>(data), dataSize);
    }
    for (const auto& [name, data] : values) wf::RegDeleteValueA(key_, name.c_str());
    return values;
  }
  static NETADDRESS sampleAddress() {
    NETADDRESS address{};
    auto* bytes = reinterpret_cast<BYTE*>(&address);
    for (std::size_t i = 0; i < sizeof address; ++i) bytes[i] = static_cast<BYTE>(i * 7 + 1);
    std::strcpy(address.local, "LPT5");
    return address;
  }
  static std::vector<std::string> names(const std::map<std::string, std::string>& values) {
    std::vector<std::string> out;
    for (const auto& [name, data] : values) out.push_back(name);
    return out;
  }
  // The address as the main program rebuilds it from the values.
  static NETADDRESS readBack(const std::map<std::string, std::string>& values) {
    static const std::pair<const char*, std::size_t> kOffsets[] = {{"localport", 340}, {"enump2p", 258},
                                                                   {"enumipx", 136},   {"enumip", 24},
                                                                   {"corlink", 166},   {"netware", 0}};
    NETADDRESS address{};
    for (const auto& [name, offset] : kOffsets)
      if (auto it = values.find(name); it != values.end())
        std::memcpy(reinterpret_cast<BYTE*>(&address) + offset, it->second.data(), it->second.size());
    return address;
  }

  HKEY key_ = nullptr;
};

TEST_F(RecordTest, AddressValuesFollowTheProtocols) {
  const NETADDRESS address = sampleAddress();
  struct Case {
    UINT transports;
    UINT portType;
    std::vector<std::string> values;
  } cases[] = {
      {0x0, WFPrtObj::PORT_LPT, {"data", "localport"}},
      {0x8, WFPrtObj::PORT_OTHER_LOCAL, {"data", "enump2p", "localport"}},
      {0x2 | 0x10, WFPrtObj::PORT_PORTBAY, {"data", "enumip", "enumipx"}},
      {0x1 | 0x4, WFPrtObj::PORT_PORTBAY, {"corlink", "data", "netware"}},
  };
  std::uint16_t handle = 11;
  for (const Case& c : cases) {
    SCOPED_TRACE(handle);
    auto object = localPrinter(handle, "LPT5");
    object->caps.transports = c.transports;
    object->caps.portType = c.portType;
    fakebce::setPrinterAddr(handle, address);
    CWFPrinterIcon icon(add(std::move(object)), nullptr);
    icon.SaveEnumInfo(key_);
    const auto values = takeValues();
    EXPECT_EQ(names(values), c.values);
    // Each value is its slice of the address, byte for byte.
    const NETADDRESS rebuilt = readBack(values);
    const NETADDRESS* expected = &address;
    if (values.count("localport")) {
      EXPECT_EQ(std::memcmp(rebuilt.local, expected->local, 80), 0);
    }
    if (values.count("enumip")) {
      EXPECT_EQ(std::memcmp(rebuilt.ip, expected->ip, 112), 0);
    }
    ASSERT_EQ(values.at("data").size(), 104u);
    ++handle;
  }
}

TEST_F(RecordTest, GhostsWriteEveryAddressValueOrNothing) {
  ENUMBINARYDATA stored{};
  stored.familyKey = 5;
  std::strcpy(stored.name, "Old desk");
  CWFPrinterIcon ghost(nullptr, &stored);
  ghost.SaveEnumInfo(key_);
  EXPECT_TRUE(takeValues().empty());

  const NETADDRESS address = sampleAddress();
  ghost.SetGhostAddress(&address);
  ghost.SaveEnumInfo(key_);
  const auto values = takeValues();
  EXPECT_EQ(names(values), (std::vector<std::string>{"corlink", "data", "enumip", "enumipx", "enump2p",
                                                     "localport", "netware"}));
  const NETADDRESS rebuilt = readBack(values);
  EXPECT_EQ(std::memcmp(&rebuilt, &address, sizeof address), 0);
}

TEST_F(RecordTest, AnIconThatCannotBeBorrowedSavesTheAddressItLastHad) {
  const NETADDRESS address = sampleAddress();
  fakebce::setPrinterAddr(11, address);
  CWFPrinterIcon icon(addLocal(11, "LPT5"), nullptr);
  forget(11);  // the object can no longer be borrowed
  icon.SaveEnumInfo(key_);
  const auto values = takeValues();
  EXPECT_EQ(names(values), (std::vector<std::string>{"data", "localport"}));
  EXPECT_EQ(std::string(values.at("localport").c_str()), "LPT5");
}

TEST_F(RecordTest, TheRecordRebuildsNameFlagFamilyAndAlerts) {
  ScriptedPrtObj* object = addLocal(11, "LPT5", 5);
  FamilyIcon icon(object, nullptr);
  icon.SetName("Reception");
  icon.SetUserDefinedName(TRUE);
  icon.SetBaseAlertFlag(0, 0);
  icon.SetBaseAlertFlag(21, 0);
  fakebce::setPrinterAddr(11, sampleAddress());
  icon.SaveEnumInfo(key_);
  const auto values = takeValues();
  const std::string& data = values.at("data");
  ASSERT_EQ(data.size(), 104u);
  ENUMBINARYDATA record;
  std::memcpy(&record, data.data(), sizeof record);
  EXPECT_EQ(record.storedAlerts, 0x1FFFFEu);
  EXPECT_EQ(record.familyKey, 5u);
  EXPECT_EQ(record.portType, static_cast<std::uint32_t>(WFPrtObj::PORT_LPT));

  FamilyIcon ghost(nullptr, &record);
  EXPECT_TRUE(ghost.IsGhost());
  EXPECT_EQ(ghost.GetName(), "Reception");
  EXPECT_TRUE(ghost.HasUserDefinedName());
  EXPECT_EQ(ghost.GetPrinterFamily(), 5u);
  EXPECT_EQ(ghost.GetBaseAlertFlag(0), 0);
  EXPECT_EQ(ghost.GetBaseAlertFlag(1), 1);
  EXPECT_EQ(ghost.GetBaseAlertFlag(21), 0);
  EXPECT_EQ(ghost.GetPortType(), WFPrtObj::PORT_LPT);
}

TEST_F(RecordTest, MasksAndNameLengths) {
  CWFPrinterIcon icon(addLocal(11, "LPT5"), nullptr);
  EXPECT_EQ(icon.CreateBaseStoredAlerts(), 0x3FFFFFu);
  icon.SetBaseAlertFlag(0, 0);
  EXPECT_EQ(icon.CreateBaseStoredAlerts(), 0x1FFFFFu);
  icon.RestoreBaseAlerts(0xFFC00000u | 0x200000u);  // bits 22-31 ignored
  EXPECT_EQ(icon.CreateBaseStoredAlerts(), 0x200000u);

  const std::pair<std::string, std::string> names[] = {
      {std::string(79, 'a'), std::string(79, 'a')},
      {std::string(80, 'b'), std::string(79, 'b')},
      {std::string(78, 'c') + "\xC3\xA9", std::string(78, 'c')},  // never half a character
  };
  for (const auto& [given, stored] : names) {
    icon.SetName(given.c_str());
    std::unique_ptr<BYTE[]> data(static_cast<BYTE*>(icon.CreateRefreshData()));
    const auto* record = reinterpret_cast<const ENUMBINARYDATA*>(data.get());
    EXPECT_EQ(std::string(record->name), stored);
    EXPECT_EQ(record->name[79], '\0');
  }

  // A stored name without terminator is cut at 79.
  ENUMBINARYDATA unterminated{};
  std::memset(unterminated.name, 'z', sizeof unterminated.name);
  unterminated.userDefinedName = 1;
  CWFPrinterIcon ghost(nullptr, &unterminated);
  EXPECT_EQ(ghost.GetName(), std::string(79, 'z'));
}

}  // namespace
}  // namespace wf::testing
