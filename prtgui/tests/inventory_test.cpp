// The printer's record of the inventory data file, byte for byte against
// reviewed records under data/, and its names, limits and failures.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/app_services.h"
#include "common/oid_list.h"
#include "test_fixture.h"

namespace wf::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Hex bytes separated by white space; '#' starts a comment.
Bytes readHex(const std::string& name) {
  std::ifstream in(std::string(WF_PRTGUI_TEST_DATA) + "/" + name);
  EXPECT_TRUE(in) << name;
  Bytes bytes;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line.substr(0, line.find('#')));
    std::string word;
    while (words >> word) bytes.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
  }
  return bytes;
}

std::string hex(const Bytes& bytes) {
  std::ostringstream out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02x", bytes[i]);
    out << byte << ((i % 16 == 15) ? "\n" : " ");
  }
  return out.str();
}

// The record's texts and counts read back as the report reads them.
struct Parsed {
  std::size_t length = 0;
  int status = 0;
  std::uint32_t mask = 0;
  std::string name;
  std::vector<std::string> names;
  std::vector<std::string> texts;  // items 3 to 14
  std::vector<std::vector<std::uint32_t>> inputs, outputs;
  bool complete = false;  // every byte accounted for
};

Parsed parse(const Bytes& r) {
  Parsed p;
  std::size_t at = 0;
  auto u8 = [&] { return at < r.size() ? r[at++] : 0u; };
  auto u16 = [&] { return u8() | (u8() << 8); };
  auto u32 = [&] { return std::uint32_t(u16()) | (std::uint32_t(u16()) << 16); };
  auto text = [&] {
    const std::size_t n = u8();
    std::string s(r.begin() + static_cast<long>(std::min(at, r.size())),
                  r.begin() + static_cast<long>(std::min(at + n, r.size())));
    at += n;
    return s;
  };
  p.length = u16();
  p.status = static_cast<int>(u8());
  p.mask = u32();
  at = 66;
  p.name = text();
  for (std::size_t n = u8(); n > 0; --n) p.names.push_back(text());
  for (int i = 0; i < 12; ++i) p.texts.push_back(text());
  at += 5;
  for (std::size_t n = u8(); n > 0; --n) p.inputs.push_back({std::uint32_t(u16()), u8(), u8(), u32()});
  for (std::size_t n = u8(); n > 0; --n) p.outputs.push_back({std::uint32_t(u16()), u32()});
  p.complete = at == r.size() && p.length == r.size();
  return p;
}

class InventoryTest : public PrinterFixture {
 protected:
  // A bidi printer with every record filled, in the printer list.
  ScriptedPrtObj* printer(std::uint16_t handle, const char* port) {
    ScriptedPrtObj* object = addLocal(handle, port);
    fillRecords(*object);
    return object;
  }
  // Listed with its model text determined, as the refresh worker leaves it.
  CWFPrinterIcon* list(ScriptedPrtObj* object) {
    list_.NewPrinterIcon(object, nullptr);
    icons().back()->DetermineModel();
    return icons().back();
  }
  Bytes record(CWFPrinterIcon* icon, _WF_PRINTER_INFO& info) {
    std::vector<char> buffer(CWFPrinterIcon::kInventoryBufferSize, '\x55');
    const short length = icon->GetInventoryData(&info, buffer.data());
    EXPECT_GT(length, 0);
    return Bytes(buffer.begin(), buffer.begin() + std::max<short>(length, 0));
  }
  static _WF_PRINTER_INFO entry(USHORT handle, const char* name) {
    _WF_PRINTER_INFO info;
    info.hPrinter = handle;
    info.strName = name;
    return info;
  }
};

TEST_F(InventoryTest, ABidiPrinterOnLpt1GivesTheFullRecord) {
  CWFPrinterIcon* icon = list(printer(70, "LPT1:"));
  _WF_PRINTER_INFO info = entry(70, "Front desk");
  const Bytes actual = record(icon, info);
  EXPECT_EQ(actual, readHex("inventory_full.hex")) << hex(actual);
  const Parsed p = parse(actual);
  EXPECT_TRUE(p.complete);
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.mask, 0x1u);
  EXPECT_EQ(p.names, std::vector<std::string>{"LPT1:"});
  // Engine from ENGF, first adapter from INA1, the external adapter "N/A",
  // a cartridge without a name "Unknown".
  EXPECT_EQ(p.texts, (std::vector<std::string>{"Corvane 12 Laser Printer", "SN-4711", "2.10", "1.02", "B1",
                                               "P3", "D1", "4.4", "4.5", "N/A", "Bitmap", "Unknown"}));
  // Trays 1 and 2 under NPA 1 and 2; the tray under NPA 12 has no code.
  EXPECT_EQ(p.inputs, (std::vector<std::vector<std::uint32_t>>{{2, 1, 1, 500}, {3, 7, 2, 200}}));
  EXPECT_EQ(p.outputs, (std::vector<std::vector<std::uint32_t>>{{0, 250}}));
  EXPECT_EQ(actual[25], 0xFF);  // the base icon has no spool buffer
  EXPECT_EQ(info.dwNoBidiData, 0u);
}

TEST_F(InventoryTest, APrinterWithoutBidiGivesTheFixedPartNamesAndTheEmptyLayout) {
  ScriptedPrtObj* object = addLocal(71, "LPT2:");
  object->caps.bidiActive = FALSE;
  CWFPrinterIcon* icon = list(object);
  _WF_PRINTER_INFO info = entry(71, "Back office");
  const Bytes actual = record(icon, info);
  EXPECT_EQ(actual, readHex("inventory_nobidi.hex")) << hex(actual);
  EXPECT_EQ(actual.size(), 66u + 12 + 1 + 6 + 19);
  const auto requests = object->calls();
  EXPECT_EQ(std::count(requests.begin(), requests.end(), "bidiGetCodeLevels"), 0);
}

TEST_F(InventoryTest, ARejectedCodeLevelRequestKeepsStatusOneOnceAndMarksTheEntry) {
  ScriptedPrtObj* object = printer(72, "LPT1:");
  object->rejects["bidiGetCodeLevels"] = 5;
  CWFPrinterIcon* icon = list(object);
  _WF_PRINTER_INFO info = entry(72, "Front desk");
  const Bytes first = record(icon, info);
  EXPECT_EQ(first, readHex("inventory_rejected.hex")) << hex(first);
  Parsed p = parse(first);
  EXPECT_TRUE(p.complete);
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.texts, std::vector<std::string>(12));
  EXPECT_NE(info.dwNoBidiData, 0u);
  p = parse(record(icon, info));
  EXPECT_EQ(p.status, 0);
  EXPECT_TRUE(p.complete);
}

TEST_F(InventoryTest, AChainJoinsTheProtocolsAndNamesOfItsIcons) {
  CWFPrinterIcon* local = list(printer(73, "LPT1:"));
  ScriptedPrtObj* network = printer(74, "LPT3:");
  network->caps.portType = WFPrtObj::PORT_ADAPTER_PARALLEL_1;
  network->caps.portName.clear();
  network->caps.transports = 0x2;
  network->caps.ipName = "host.example";
  CWFPrinterIcon* remote = list(network);
  _WF_PRINTER_INFO second = entry(74, "Front desk");
  _WF_PRINTER_INFO first = entry(73, "Front desk");
  first.pNext = &second;
  const Parsed p = parse(record(local, first));
  EXPECT_TRUE(p.complete);
  EXPECT_EQ(p.mask, 0x11u);
  CString adapter = remote->GetNetAddress() + ":" + remote->GetJSAdapterType();
  adapter.MakeUpper();
  EXPECT_EQ(p.names, (std::vector<std::string>{"LPT1:", adapter.str(), "TCP/IP Host:  host.example"}));

  std::unique_ptr<CWFoidList> names(local->GetPINameList(&first));
  ASSERT_NE(names, nullptr);
  EXPECT_EQ(names->GetCount(), 3);
  EXPECT_EQ(local->GetPIValidProtocols(&first), UINT{BCE_NET_LOCAL | BCE_NET_IP});
}

// A family's spool buffer answer: 1 with a percentage, 2 when asking failed.
class SpoolIcon : public CWFPrinterIcon {
 public:
  using CWFPrinterIcon::CWFPrinterIcon;
  short answer = 1;
  short GetSpoolBufferPercent(int, unsigned char* percent) override {
    *percent = 42;
    return answer;
  }
};

TEST_F(InventoryTest, TheSpoolBufferAnswerFillsItsByteOrEndsTheRecord) {
  ScriptedPrtObj* object = printer(77, "LPT1:");
  SpoolIcon icon(object, nullptr);
  _WF_PRINTER_INFO info = entry(77, "Front desk");
  Bytes r = record(&icon, info);
  EXPECT_EQ(r[25], 42);
  EXPECT_EQ(parse(r).inputs.size(), 2u);
  icon.answer = 2;
  r = record(&icon, info);
  const Parsed p = parse(r);
  EXPECT_TRUE(p.complete);
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.texts, std::vector<std::string>(12));
  EXPECT_TRUE(p.inputs.empty());
  EXPECT_NE(info.dwNoBidiData, 0u);
}

TEST_F(InventoryTest, NoCartridgeGivesTwoEmptyTexts) {
  ScriptedPrtObj* object = printer(75, "LPT1:");
  object->storage.fontCartridge = FALSE;
  object->storage.cartridgeName = "Courier";
  _WF_PRINTER_INFO info = entry(75, "Front desk");
  const Parsed p = parse(record(list(object), info));
  EXPECT_EQ(p.texts[10], "");
  EXPECT_EQ(p.texts[11], "");
}

TEST_F(InventoryTest, LongTextsAreCutAndTheRecordStaysWithinTheBuffer) {
  ScriptedPrtObj* object = printer(76, "LPT1:");
  object->caps.nameCount = 1;
  object->caps.displayName = "[IP]  " + std::string(199, 'h') + "\xC3\xA9";
  object->deviceChars.serialNumber = std::string(126, 's') + "\xC3\xA9";
  object->storage.cartridgeName = std::string(70, 'c');
  object->deviceChars.memoryKb = 0xFFFFFFFF;
  CWFPrinterIcon* icon = list(object);
  _WF_PRINTER_INFO info = entry(76, std::string(200, 'n').c_str());
  const Bytes cut = record(icon, info);
  Parsed p = parse(cut);
  EXPECT_TRUE(p.complete);
  EXPECT_EQ(Bytes(cut.begin() + 13, cut.begin() + 17), Bytes(4, 0xFF));  // memory past 32 bits
  EXPECT_EQ(p.name, std::string(127, 'n'));
  ASSERT_EQ(p.names.size(), 2u);
  EXPECT_EQ(p.names[0], "IP:" + std::string(124, 'H'));
  EXPECT_EQ(p.texts[1], std::string(126, 's'));  // the two-byte character would pass 127
  EXPECT_EQ(p.texts[11], std::string(63, 'c'));

  // A chain whose names overflow the buffer: the count stays within 255 and
  // the record within the buffer, its tail complete.
  std::vector<_WF_PRINTER_INFO> chain;
  chain.reserve(80);
  chain.push_back(entry(76, "Front desk"));
  for (std::uint16_t h = 100; h < 179; ++h) {
    ScriptedPrtObj* other = printer(h, ("Q" + std::to_string(h) + ":").c_str());
    other->caps.nameCount = 1;
    other->caps.displayName = "[IPX]  " + std::to_string(h) + std::string(147, 'x');
    list(other);
    chain.push_back(entry(h, "Front desk"));
  }
  for (std::size_t i = 0; i + 1 < chain.size(); ++i) chain[i].pNext = &chain[i + 1];
  ASSERT_EQ(icons().size(), 80u);
  const Bytes big = record(icon, chain[0]);
  p = parse(big);
  EXPECT_TRUE(p.complete);
  EXPECT_LE(big.size(), std::size_t(CWFPrinterIcon::kInventoryBufferSize));
  EXPECT_LE(p.names.size(), 255u);
  EXPECT_GT(p.names.size(), 40u);
  EXPECT_LT(p.names.size(), 2u + 79 * 2);  // the buffer, not the chain, ended the names
  EXPECT_EQ(p.texts[0], "Corvane 12 Laser Printer");
  EXPECT_EQ(p.inputs.size(), 2u);
}

}  // namespace
}  // namespace wf::testing
