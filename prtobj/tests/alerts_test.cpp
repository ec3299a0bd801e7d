// Alert lists, status words and the data of posted alerts.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "test_support.h"

namespace prtobjtest {
namespace {

std::vector<std::pair<int, int>> decode(TestObj& obj, unsigned type, const std::string& records, unsigned n) {
  WFPrtObj::WFPALERTDATA* alerts = nullptr;
  WFPrtObj::UINT count = 0;
  EXPECT_EQ(obj.parseAlertData(reinterpret_cast<const std::uint8_t*>(records.data()),
                               static_cast<WFPrtObj::ULONG>(records.size()), n, type, &alerts, &count),
            0);
  std::vector<std::pair<int, int>> out;
  for (WFPrtObj::UINT i = 0; i < count; ++i) out.emplace_back(alerts[i].alertId, alerts[i].detail);
  delete[] alerts;
  return out;
}

// "type key id detail": one record a b c 00 gives the alert (id 0: none).
constexpr const char* kKeyRows = R"(
3 01FF01 6104 0  3 01FFFF 6104 0  3 01FF02 6190 0  3 02FFFF 6106 0  3 030101 6182 0  3 030102 6105 0
3 0301FF 6105 0  3 03FFFF 6105 0  3 04FFFF 6107 0  3 07FFFF 6187 0  3 080101 6183 0  3 080102 6184 0
3 080103 6188 0  3 050000 6108 0  3 01FF03 6108 0
4 0101FF 6137 0  4 010201 6156 0  4 0102FF 6133 0  4 0103FF 6127 0  4 0104FF 6121 0  4 010501 6228 0
4 0105FF 6122 0  4 030101 6102 0  4 03FF01 6102 0  4 0301FF 6134 0  4 0302FF 6124 0  4 0303FF 6130 0
4 0304FF 6120 0  4 0305FF 6131 0  4 0306FF 6119 0  4 0307FF 6129 0  4 0308FF 6139 0  4 0309FF 6136 0
4 030AFF 6126 0  4 030BFF 6138 0  4 030CFF 6125 0  4 030DFF 6132 0  4 030FFF 6219 0  4 0310FF 6175 0
4 0311FF 6176 0  4 0312FF 6177 0  4 0313FF 6178 0  4 0316FF 6135 0  4 0401FF 6123 0  4 0402FF 6128 0
4 04FF01 6103 0  4 04FF02 6171 0  4 04FF03 6172 0  4 04FF04 6173 0  4 0801FF 6174 0  4 0804FF 6166 0
4 0805FF 6167 0  4 0806FF 6168 0  4 0807FF 6169 0  4 0901FF 6141 0  4 0902FF 6140 0  4 0314FF 6118 0
5 0316FF 6135 0  5 0801FF 6226 0  5 080606 6168 0  5 080101 6223 1  5 080102 6223 1  5 080201 6223 2
5 080202 6223 2  5 080301 6223 3  5 080302 6223 3  5 080401 6223 4  5 080402 6223 4  5 080506 6223 5
5 08FF01 6223 255  5 010709 6203 7  5 020709 6208 0
6 03FF01 6115 0  6 03FF02 6115 0  6 020304 0 0  6 03FF03 0 0
7 01FF09 6198 0  7 01FF0A 6199 0  7 03FF05 6194 0  7 03FF06 6195 0  7 03FF07 6196 0  7 03FF08 6197 0
7 04FF0A 6200 0  7 09FF01 6191 0  7 09FF02 6192 0  7 020304 6201 0  7 010504 6193 5  7 0106FF 6202 6
7 010203 0 0
8 0801FF 6227 1  8 0802FF 6227 2  8 0803FF 6227 3  8 0804FF 6227 4  8 08FF01 6223 255  8 080101 6221 1
8 080102 6221 1  8 080201 6221 2  8 080202 6221 2  8 080301 6221 3  8 080302 6221 3  8 080401 6221 4
8 080402 6221 4  8 070904 6222 9  8 070A05 6221 10  8 070B06 6220 11  8 070C07 0 0
2 01FF01 0 0  10 01FF01 0 0
)";

TEST(PrtObjAlerts, EveryKeyOfEveryListType) {
  std::unique_ptr<TestObj> obj(freshObject());
  std::istringstream rows(kKeyRows);
  unsigned type, id, detail;
  std::string key;
  int checked = 0;
  while (rows >> type >> key >> id >> detail) {
    const std::string record = hex(key) + '\0';
    const auto got = decode(*obj, type, record, 1);
    if (id == 0) {
      EXPECT_TRUE(got.empty()) << type << " " << key;
    } else {
      ASSERT_EQ(got.size(), 1u) << type << " " << key;
      EXPECT_EQ(got[0], std::make_pair(static_cast<int>(id), static_cast<int>(detail))) << type << " " << key;
    }
    ++checked;
  }
  EXPECT_EQ(checked, 108);  // the whole table was read
}

TEST(PrtObjAlerts, RecordsStepOverTheirFurtherData) {
  std::unique_ptr<TestObj> obj(freshObject());
  // Alert lists: 4 + d bytes a record. Supplies status: 4 whatever d says.
  EXPECT_EQ(decode(*obj, 4, hex("04FF01 02 AAAA 030101 00"), 2),
            (std::vector<std::pair<int, int>>{{6103, 0}, {6102, 0}}));
  EXPECT_EQ(decode(*obj, 9, hex("08020304 01020309"), 2),
            (std::vector<std::pair<int, int>>{{6224, 0x0204}, {6224, 0x0209}}));
  // A record cut short, or more records announced than arrived: complete ones only.
  EXPECT_EQ(decode(*obj, 3, hex("05000000 01FF01 05 AA"), 2), (std::vector<std::pair<int, int>>{{6108, 0}}));
  EXPECT_EQ(decode(*obj, 3, hex("05000000"), 200), (std::vector<std::pair<int, int>>{{6108, 0}}));
}

struct ListCase {
  const char* name;
  WFPrtObj::LONG (WFPrtObj::*query)(WFPrtObj::UINT*, WFPrtObj::WFPALERTDATA**);
  std::uint32_t code;
  const char* reply;
  std::vector<std::pair<int, int>> alerts;
};

TEST(PrtObjAlerts, ListRequestsFromRepliesOfThePrinter) {
  const ListCase cases[] = {
      {"jam", &WFPrtObj::bidiQueryPaperJams, 6, "00 01 05000000", {{6108, 0}}},
      {"warnings", &WFPrtObj::bidiQueryWarnings, 8, "00 02 01070900 02070900", {{6203, 7}, {6208, 0}}},
      {"service", &WFPrtObj::bidiQueryServiceReq, 9, "00 02 03FF0100 02030400", {{6115, 0}}},
      {"config short", &WFPrtObj::bidiQueryConfigChg, 10, "00 02 01FF0900 0000", {{6201, 0}}},
      {"config", &WFPrtObj::bidiQueryConfigChg, 10, "00 01 01FF0900", {{6198, 0}}},
      {"supplies status",
       &WFPrtObj::bidiQuerySuppliesStatus,
       13,
       "00 02 08020304 08020305",
       {{6224, 0x0204}, {6224, 0x0205}}},
      {"input status",
       &WFPrtObj::bidiQueryInputStatus,
       2,
       "00 02 020508 030107",
       {{6113, 2}, {6113, 2}, {6117, 2}, {6209, 0x0307}}},
      {"input empty tray", &WFPrtObj::bidiQueryInputStatus, 2, "00 01 040000", {{6209, 0x0400}}},
      {"output status", &WFPrtObj::bidiQueryOutputStatus, 3, "00 02 010107 020103", {{6114, 0}}},
      {"none", &WFPrtObj::bidiQueryPaperJams, 6, "00 00", {}},
  };
  for (const auto& c : cases) {
    std::unique_ptr<TestObj> obj(freshObject());
    fakebce::pushReply(0, hex(c.reply));
    WFPrtObj::UINT count = 99;
    WFPrtObj::WFPALERTDATA* alerts = nullptr;
    ASSERT_EQ(((*obj).*c.query)(&count, &alerts), 0) << c.name;
    std::vector<std::pair<int, int>> got;
    for (WFPrtObj::UINT i = 0; i < count; ++i) got.emplace_back(alerts[i].alertId, alerts[i].detail);
    EXPECT_EQ(got, c.alerts) << c.name;
    EXPECT_EQ(alerts == nullptr, count == 0) << c.name;
    delete[] alerts;
    const auto sent = fakebce::callsOf("BceSendBidi");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code, c.code) << c.name;
    EXPECT_EQ(sent[0].request, (c.code == 2 || c.code == 3 || c.code == 13) ? std::string(1, '\0') : "")
        << c.name;
  }
}

TEST(PrtObjAlerts, SummaryMasks) {
  std::unique_ptr<TestObj> obj(freshObject());
  WFPrtObj::PRTALERTS mask = 0x80000000 | 0x08;
  fakebce::pushReply(0, hex("00 02 01FF0100 04FFFF00"));
  ASSERT_EQ(obj->bidiQueryPaperJams(&mask), 0);
  EXPECT_EQ(mask, 0x80000000u | 0x10 | 0x08);

  WFPrtObj::UIRALERTS uir = 0xFFFF;
  mask = 0;
  fakebce::pushReply(0, hex("00 02 0306FF00 04FF0100"));
  ASSERT_EQ(obj->bidiQueryOperatorIV(&mask, &uir), 0);
  EXPECT_EQ(mask, 0x4u);
  EXPECT_EQ(uir, 0x1u);
  fakebce::pushReply(0, hex("00 01 07070700"));  // unknown key: 0x4000 stays
  ASSERT_EQ(obj->bidiQueryOperatorIV(&mask, &uir), 0);
  EXPECT_EQ(mask, 0x4000u);
  EXPECT_EQ(obj->bidiQueryOperatorIV(nullptr, &uir), BCE_ERR_REPLY_TOO_LONG);
}

TEST(PrtObjAlerts, DeviceStatusBitsKeepTheRest) {
  std::unique_ptr<TestObj> obj(freshObject());
  WFPrtObj::PRINTERSTATUS status = 0xF000F800;
  const auto s = hex("C1 0F 05");
  ASSERT_EQ(obj->parseDeviceStatusData(reinterpret_cast<const std::uint8_t*>(s.data()), 3, &status), 0);
  EXPECT_EQ(status, 0xF000F800u | 0x7 | (0xF << 3) | (0x5 << 7));
  EXPECT_EQ(obj->parseDeviceStatusData(reinterpret_cast<const std::uint8_t*>(s.data()), 2, &status),
            kBadReply);

  fakebce::setAlert(0x0102, hex("40 00 01"));
  status = 0;
  ASSERT_EQ(obj->bidiQueryDSAAlert(0x0102, &status), 0);
  EXPECT_EQ(status, 0x2u | (0x1 << 7));
  EXPECT_EQ(obj->bidiQueryDSAAlert(0x0999, &status), 1);  // unknown key: the broker's answer
}

std::string jobStats(int count, std::uint32_t first, std::uint32_t second, std::uint32_t third,
                     const std::string& text1, const std::string& text2) {
  std::string d = hex("03 01") + static_cast<char>(count) + hex("02 0003 003C");
  for (int i = 0; i < count; ++i)
    for (std::uint32_t v : {first + i, second + i, third})
      for (int shift = 24; shift >= 0; shift -= 8) d.push_back(static_cast<char>(v >> shift));
  return d + hex("0000 09") + static_cast<char>(text1.size()) + text1 + static_cast<char>(text2.size()) +
         text2;
}

TEST(PrtObjAlerts, JobStatisticsWithTagsInAnyCase) {
  std::unique_ptr<TestObj> obj(freshObject(0));
  fakebce::setAlert(5, jobStats(2, 10, 20, 0xFFFFFFFF, "ht:host1;UR:ann;odd;qu:Q1;JN:job;UR:bob", "second"));
  WFPrtObj::JSALERTDATA js;
  js.entries[0].sheets = 42;
  ASSERT_EQ(obj->bidiJSQueryAlert(5, &js), 0);
  EXPECT_EQ(js.entryCount, 2);
  EXPECT_EQ(js.word1, 2);
  EXPECT_EQ(js.word2, 3);
  EXPECT_EQ(js.seconds, 60);
  EXPECT_EQ(js.entries[0].sheets, 42u);  // slot 0 is never written
  EXPECT_EQ(js.entries[1].sheets, 10u);
  EXPECT_EQ(js.entries[2].sides, 21u);
  EXPECT_EQ(js.entries[2].third, 0u);
  EXPECT_EQ(js.field, 9u);
  EXPECT_EQ(js.host, "host1");
  EXPECT_EQ(js.user, "bob");
  EXPECT_EQ(js.queue, "Q1");
  EXPECT_EQ(js.jobName, "job");
  EXPECT_EQ(js.remaining, "odd;");
  EXPECT_EQ(js.secondText, "second");

  fakebce::setAlert(6, hex("03 02 00"));  // another class
  EXPECT_EQ(obj->bidiJSQueryAlert(6, &js), kBadReply);
  EXPECT_EQ(obj->bidiJSQueryAlert(5, nullptr), BCE_ERR_REPLY_TOO_LONG);
}

TEST(PrtObjAlerts, JobStatisticsCorrectionAndOverlongCount) {
  const struct {
    WFPrtObj::ULONG type;
    const char* revision;
    bool corrected;
  } cases[] = {{1, "3.10.0", true}, {1, "3.02.9", true}, {1, "3.03.0", false}, {0, "3.10.0", false}};
  for (const auto& c : cases) {
    std::unique_ptr<TestObj> obj(freshObject(c.type));
    // The revision level comes with the device characteristics.
    std::string summary(33, '\0');
    summary += std::string(1, '\0') + static_cast<char>(std::strlen(c.revision)) + c.revision + '\0';
    fakebce::pushReply(0, '\0' + summary);
    WFPrtObj::DEVICECHARS chars;
    ASSERT_EQ(obj->bidiGetDeviceChars(&chars), 0);
    ASSERT_EQ(chars.revisionLevel, c.revision);

    fakebce::setAlert(1, jobStats(12, 100, 140, 7, "", ""));
    WFPrtObj::JSALERTDATA js;
    ASSERT_EQ(obj->bidiJSQueryAlert(1, &js), 0) << c.revision;
    EXPECT_EQ(js.entryCount, 12);
    EXPECT_EQ(js.entries[1].sheets, c.corrected ? 100u - 20 : 100u) << c.revision;
    EXPECT_EQ(js.entries[1].sides, c.corrected ? 100u : 140u) << c.revision;
    EXPECT_EQ(js.entries[10].third, 7u);  // slots up to 10; entries 11 and 12 stepped over
    EXPECT_EQ(js.field, 9u);
  }
}

TEST(PrtObjAlerts, PanelAlertNeedsItsTag) {
  std::unique_ptr<TestObj> obj(freshObject());
  fakebce::setAlert(3,
                    "\xE1"
                    "PAPER JAM\x81");
  void* raw = nullptr;
  ASSERT_EQ(obj->bidiROPQueryAlert(3, &raw), 0);
  std::unique_ptr<WFPrtObj::OPPANELDATA> panel(static_cast<WFPrtObj::OPPANELDATA*>(raw));
  EXPECT_EQ(panel->text, "PAPER JAMü");
  fakebce::setAlert(4,
                    "\xE2"
                    "X");
  ASSERT_EQ(obj->bidiROPQueryAlert(4, &raw), kBadReply);
  delete static_cast<WFPrtObj::OPPANELDATA*>(raw);
}

}  // namespace
}  // namespace prtobjtest
