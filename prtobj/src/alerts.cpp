// Alert lists, status records and the data of posted alerts. Every count and
// length inside the data is checked against what arrived.
#include <algorithm>
#include <cctype>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include "broker/corbce.h"
#include "platform/byte_codec.h"
#include "protocol/alert_classes.h"
#include "protocol/replies.h"
#include "prtobj/prtobj_util.h"
#include "prtobj/wfprtobj.h"

namespace {

using WFPALERTDATA = WFPrtObj::WFPALERTDATA;
using ULONG = WFPrtObj::ULONG;
using LONG = WFPrtObj::LONG;
using BYTE = WFPrtObj::BYTE;
using USHORT = WFPrtObj::USHORT;
using wf::ByteReader;
namespace layout = wf::protocol::reply;

constexpr LONG kBadReply = -2;
constexpr LONG kNoMemory = -18;

// Query types of parseAlertData.
enum : WFPrtObj::UINT {
  kPaperJams = 3,
  kOperatorIV = 4,
  kWarnings = 5,
  kServiceReq = 6,
  kConfigChg = 7,
  kSupplies = 8,
  kSuppliesStatus = 9,
};

struct KeyId {
  ULONG key;
  USHORT id;
};

constexpr KeyId kPaperJamIds[] = {
    {0x01FF01, 6104}, {0x01FFFF, 6104}, {0x01FF02, 6190}, {0x02FFFF, 6106}, {0x030101, 6182},
    {0x030102, 6105}, {0x0301FF, 6105}, {0x03FFFF, 6105}, {0x04FFFF, 6107}, {0x07FFFF, 6187},
    {0x080101, 6183}, {0x080102, 6184}, {0x080103, 6188},
};

constexpr KeyId kOperatorIVIds[] = {
    {0x0101FF, 6137}, {0x010201, 6156}, {0x0102FF, 6133}, {0x0103FF, 6127}, {0x0104FF, 6121},
    {0x010501, 6228}, {0x0105FF, 6122}, {0x030101, 6102}, {0x03FF01, 6102}, {0x0301FF, 6134},
    {0x0302FF, 6124}, {0x0303FF, 6130}, {0x0304FF, 6120}, {0x0305FF, 6131}, {0x0306FF, 6119},
    {0x0307FF, 6129}, {0x0308FF, 6139}, {0x0309FF, 6136}, {0x030AFF, 6126}, {0x030BFF, 6138},
    {0x030CFF, 6125}, {0x030DFF, 6132}, {0x030FFF, 6219}, {0x0310FF, 6175}, {0x0311FF, 6176},
    {0x0312FF, 6177}, {0x0313FF, 6178}, {0x0316FF, 6135}, {0x0401FF, 6123}, {0x0402FF, 6128},
    {0x04FF01, 6103}, {0x04FF02, 6171}, {0x04FF03, 6172}, {0x04FF04, 6173}, {0x0801FF, 6174},
    {0x0804FF, 6166}, {0x0805FF, 6167}, {0x0806FF, 6168}, {0x0807FF, 6169}, {0x0901FF, 6141},
    {0x0902FF, 6140},
};

// Warnings: the first three rows carry detail 0, the rest detail b.
constexpr KeyId kWarningIdsNoDetail[] = {{0x0316FF, 6135}, {0x0801FF, 6226}, {0x080606, 6168}};
constexpr ULONG kWarningSupplyKeys[] = {0x080101, 0x080102, 0x080201, 0x080202, 0x080301,
                                        0x080302, 0x080401, 0x080402, 0x080506, 0x08FF01};

constexpr KeyId kConfigChgIds[] = {
    {0x01FF09, 6198}, {0x01FF0A, 6199}, {0x03FF05, 6194}, {0x03FF06, 6195}, {0x03FF07, 6196},
    {0x03FF08, 6197}, {0x04FF0A, 6200}, {0x09FF01, 6191}, {0x09FF02, 6192},
};

constexpr KeyId kSuppliesIds[] = {
    {0x0801FF, 6227}, {0x0802FF, 6227}, {0x0803FF, 6227}, {0x0804FF, 6227}, {0x08FF01, 6223},
    {0x080101, 6221}, {0x080102, 6221}, {0x080201, 6221}, {0x080202, 6221}, {0x080301, 6221},
    {0x080302, 6221}, {0x080401, 6221}, {0x080402, 6221},
};

constexpr struct {
  ULONG key;
  ULONG bit;
} kUirBits[] = {
    {0x0101FF, 0x40000}, {0x0102FF, 0x4000}, {0x0103FF, 0x100},    {0x0104FF, 0x4},     {0x0105FF, 0x8},
    {0x0301FF, 0x8000},  {0x0302FF, 0x20},   {0x0303FF, 0x800},    {0x0304FF, 0x2},     {0x0305FF, 0x1000},
    {0x0306FF, 0x1},     {0x0307FF, 0x400},  {0x0308FF, 0x100000}, {0x0309FF, 0x20000}, {0x030AFF, 0x80},
    {0x030BFF, 0x80000}, {0x030CFF, 0x40},   {0x030DFF, 0x2000},   {0x0316FF, 0x10000}, {0x0401FF, 0x10},
    {0x0402FF, 0x200},
};

template <std::size_t N>
std::optional<USHORT> lookup(const KeyId (&table)[N], ULONG key) {
  for (const auto& row : table)
    if (row.key == key) return row.id;
  return std::nullopt;
}

std::optional<WFPALERTDATA> alertOf(WFPrtObj::UINT type, BYTE a, BYTE b, BYTE c, BYTE d) {
  const ULONG key = ULONG{a} << 16 | ULONG{b} << 8 | c;
  auto with = [](USHORT id, USHORT detail) { return std::optional<WFPALERTDATA>(WFPALERTDATA{id, detail}); };
  switch (type) {
    case kPaperJams:
      return with(lookup(kPaperJamIds, key).value_or(6108), 0);
    case kOperatorIV:
      return with(lookup(kOperatorIVIds, key).value_or(6118), 0);
    case kWarnings:
      if (auto id = lookup(kWarningIdsNoDetail, key)) return with(*id, 0);
      if (std::ranges::find(kWarningSupplyKeys, key) != std::end(kWarningSupplyKeys)) return with(6223, b);
      return a == 1 ? with(6203, b) : with(6208, 0);
    case kServiceReq:
      if (key == 0x03FF01 || key == 0x03FF02) return with(6115, 0);
      return std::nullopt;
    case kConfigChg:
      if (auto id = lookup(kConfigChgIds, key)) return with(*id, 0);
      if (a != 1) return with(6201, 0);
      if (c == 4) return with(6193, b);
      if (c == 0xFF) return with(6202, b);
      return std::nullopt;
    case kSupplies:
      if (auto id = lookup(kSuppliesIds, key)) return with(*id, b);
      if (c == 4) return with(6222, b);
      if (c == 5) return with(6221, b);
      if (c == 6) return with(6220, b);
      return std::nullopt;
    case kSuppliesStatus:
      return with(6224, static_cast<USHORT>(b << 8 | d));
    default:
      return std::nullopt;
  }
}

// Replaces the caller's array by one holding its alerts and `more`.
LONG appendAlerts(const std::vector<WFPALERTDATA>& more, WFPALERTDATA** alerts, WFPrtObj::UINT* count) {
  if (more.empty()) return 0;
  auto* grown = new (std::nothrow) WFPALERTDATA[*count + more.size()];
  if (!grown) return kNoMemory;
  std::copy_n(*alerts, *count, grown);
  std::ranges::copy(more, grown + *count);
  delete[] * alerts;
  *alerts = grown;
  *count += static_cast<WFPrtObj::UINT>(more.size());
  return 0;
}

const BYTE* bytes(std::string_view s) {
  return reinterpret_cast<const BYTE*>(s.data());
}

std::uint8_t listCount(const std::string& r) {
  ByteReader in(r);
  std::uint8_t count = 0;
  in.u8(count);
  return count;
}

// Walks the complete records of a list reply; `size` gives a record's length
// from its first bytes, which are there when `fixed` are.
template <typename Size, typename Visit>
void forEachRecord(std::string_view r, std::size_t fixed, Size size, Visit visit) {
  ByteReader list(r);
  std::uint8_t count = 0;
  list.u8(count);
  for (unsigned i = 0; i < count; ++i) {
    std::string_view record;
    if (!list.has(fixed) || !list.bytes(size(bytes(list.rest())), record)) return;
    visit(bytes(record));
  }
}

std::size_t alertRecordSize(const BYTE* record) {
  return layout::alert_list::kHeaderSize + std::size_t{record[layout::alert_list::kLength]};
}
std::size_t fourBytes(const BYTE*) {
  return 4;
}
std::size_t threeBytes(const BYTE*) {
  return 3;
}

bool startsWithNoCase(std::string_view text, std::string_view tag) {
  if (text.size() < tag.size()) return false;
  for (std::size_t i = 0; i < tag.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(text[i])) != tag[i]) return false;
  return true;
}

}  // namespace

WFPrtObj::LONG WFPrtObj::parseAlertData(const BYTE* data, ULONG len, UINT n, UINT type, WFPALERTDATA** alerts,
                                        UINT* count) {
  std::vector<WFPALERTDATA> found;
  ByteReader in(std::string_view(reinterpret_cast<const char*>(data), data ? len : 0));
  for (UINT i = 0; i < n && in.has(layout::alert_list::kHeaderSize); ++i) {
    const BYTE* rec = bytes(in.rest());
    std::string_view record;
    if (!in.bytes(type == kSuppliesStatus ? layout::alert_list::kSuppliesStatusSize : alertRecordSize(rec),
                  record))
      break;
    if (auto alert = alertOf(type, rec[0], rec[1], rec[2], rec[3])) found.push_back(*alert);
  }
  return appendAlerts(found, alerts, count);
}

WFPrtObj::LONG WFPrtObj::queryAlertList(USHORT code, bool sendZero, UINT type, UINT* count,
                                        WFPALERTDATA** alerts) {
  *count = 0;
  *alerts = nullptr;
  static constexpr BYTE kZero = 0;
  std::string r;
  const LONG rc = queryReply(code, sendZero ? &kZero : nullptr, sendZero ? 1 : 0, &r);
  if (rc != 0) return rc;
  ByteReader in(r);
  std::uint8_t n = 0, firstLength = 0;
  if (!in.u8(n) || n == 0) return 0;
  // A configuration change list too short for its records is reported as one change.
  const bool whole = in.seek(layout::kListEntries + layout::alert_list::kLength) && in.u8(firstLength) &&
                     r.size() >= layout::kListEntries + 4 * std::size_t{n} + firstLength;
  if (type == kConfigChg && !whole) return appendAlerts({WFPALERTDATA{6201, 0}}, alerts, count);
  return parseAlertData(bytes(r) + 1, static_cast<ULONG>(r.size() - 1), n, type, alerts, count);
}

WFPrtObj::LONG WFPrtObj::bidiQueryPaperJams(UINT* count, WFPALERTDATA** alerts) {
  return queryAlertList(DC_PAPER_JAMS, false, kPaperJams, count, alerts);
}
WFPrtObj::LONG WFPrtObj::bidiQueryOperatorIV(UINT* count, WFPALERTDATA** alerts) {
  return queryAlertList(DC_OPERATOR_IV, false, kOperatorIV, count, alerts);
}
WFPrtObj::LONG WFPrtObj::bidiQueryWarnings(UINT* count, WFPALERTDATA** alerts) {
  return queryAlertList(DC_WARNINGS, false, kWarnings, count, alerts);
}
WFPrtObj::LONG WFPrtObj::bidiQueryServiceReq(UINT* count, WFPALERTDATA** alerts) {
  return queryAlertList(DC_SERVICE_REQ, false, kServiceReq, count, alerts);
}
WFPrtObj::LONG WFPrtObj::bidiQueryConfigChg(UINT* count, WFPALERTDATA** alerts) {
  return queryAlertList(DC_CONFIG_CHG, false, kConfigChg, count, alerts);
}
WFPrtObj::LONG WFPrtObj::bidiQuerySupplies(UINT* count, WFPALERTDATA** alerts) {
  return queryAlertList(DC_SUPPLIES, false, kSupplies, count, alerts);
}
WFPrtObj::LONG WFPrtObj::bidiQuerySuppliesStatus(UINT* count, WFPALERTDATA** alerts) {
  return queryAlertList(DC_SUPPLIES_STATUS, true, kSuppliesStatus, count, alerts);
}

WFPrtObj::LONG WFPrtObj::queryStatusRecords(USHORT code, std::string* reply) {
  static constexpr BYTE kZero = 0;
  return queryReply(code, &kZero, 1, reply);
}

WFPrtObj::LONG WFPrtObj::bidiQueryInputStatus(UINT* count, WFPALERTDATA** alerts) {
  *count = 0;
  *alerts = nullptr;
  std::string r;
  const LONG rc = queryStatusRecords(DC_INPUT_STATUS, &r);
  if (rc != 0) return rc;
  std::vector<WFPALERTDATA> found;
  forEachRecord(r, 3, threeBytes, [&](const BYTE* rec) {
    const BYTE s = rec[0], v = rec[1], t = rec[2];
    if ((t & 7) || v == 0)
      found.push_back({6209, static_cast<USHORT>(s << 8 | (t & 7))});
    else
      found.push_back({6113, s});
    if ((t & 8) && v != 0) {
      found.push_back({6113, s});
      found.push_back({6117, s});
    }
  });
  return appendAlerts(found, alerts, count);
}

WFPrtObj::LONG WFPrtObj::bidiQueryOutputStatus(UINT* count, WFPALERTDATA** alerts) {
  *count = 0;
  *alerts = nullptr;
  std::string r;
  const LONG rc = queryStatusRecords(DC_OUTPUT_STATUS, &r);
  if (rc != 0) return rc;
  std::vector<WFPALERTDATA> found;
  forEachRecord(r, 3, threeBytes, [&](const BYTE* rec) {
    if ((rec[2] & 7) == 7) found.push_back({6114, 0});
  });
  return appendAlerts(found, alerts, count);
}

// ---- PRTALERTS summaries ------------------------------------------------------------

WFPrtObj::LONG WFPrtObj::bidiQueryInputStatus(PRTALERTS* mask) {
  if (!mask) return kNoMemory;
  std::string r;
  const LONG rc = queryStatusRecords(DC_INPUT_STATUS, &r);
  if (rc != 0) return rc;
  *mask &= ~(0x2000u | 0x100u);
  forEachRecord(r, 3, threeBytes, [&](const BYTE* rec) {
    const BYTE v = rec[1], t = rec[2];
    if (v != 0 && (t & 7) == 0)
      *mask = (*mask | 0x100) & ~0x2000u;
    else if (v != 0 && (t & 8))
      *mask |= 0x100 | 0x2000;
  });
  return 0;
}

WFPrtObj::LONG WFPrtObj::bidiQueryOutputStatus(PRTALERTS* mask) {
  if (!mask) return kNoMemory;
  std::string r;
  const LONG rc = queryStatusRecords(DC_OUTPUT_STATUS, &r);
  if (rc != 0) return rc;
  *mask &= ~0x400u;
  forEachRecord(r, 3, threeBytes, [&](const BYTE* rec) {
    if ((rec[2] & 7) == 7) *mask |= 0x400;
  });
  return 0;
}

WFPrtObj::LONG WFPrtObj::bidiQueryPaperJams(PRTALERTS* mask) {
  if (!mask) return kNoMemory;
  std::string r;
  const LONG rc = queryReply(DC_PAPER_JAMS, nullptr, 0, &r);
  if (rc != 0) return rc;
  *mask &= ~(0x08u | 0x10u | 0x20u | 0x40u | 0x80u);
  forEachRecord(r, 4, fourBytes, [&](const BYTE* rec) {
    switch (rec[0]) {
      case 1:
        *mask |= 0x10;
        break;
      case 2:
        *mask |= 0x80;
        break;
      case 3:
        *mask |= 0x20;
        break;
      case 4:
        *mask |= 0x08;
        break;
      default:
        break;
    }
  });
  return 0;
}

WFPrtObj::LONG WFPrtObj::bidiQueryWarnings(PRTALERTS* mask) {
  if (!mask) return kNoMemory;
  std::string r;
  const LONG rc = queryReply(DC_WARNINGS, nullptr, 0, &r);
  if (rc != 0) return rc;
  *mask &= ~0x1000u;
  forEachRecord(r, 4, fourBytes, [&](const BYTE* rec) {
    if (rec[0] == 8) *mask |= 0x1000;
  });
  return 0;
}

WFPrtObj::LONG WFPrtObj::bidiQueryServiceReq(PRTALERTS* mask) {
  if (!mask) return kNoMemory;
  std::string r;
  const LONG rc = queryReply(DC_SERVICE_REQ, nullptr, 0, &r);
  if (rc != 0) return rc;
  *mask &= ~0x800u;
  forEachRecord(r, 4, alertRecordSize, [&](const BYTE* rec) {
    if (rec[0] == 3) *mask |= 0x800;
  });
  return 0;
}

WFPrtObj::LONG WFPrtObj::bidiQueryConfigChg(PRTALERTS* mask) {
  if (!mask) return kNoMemory;
  std::string r;
  const LONG rc = queryReply(DC_CONFIG_CHG, nullptr, 0, &r);
  if (rc != 0) return rc;
  *mask &= ~0x1u;
  if (listCount(r) != 0) *mask |= 0x1;
  return 0;
}

WFPrtObj::LONG WFPrtObj::bidiQuerySupplies(PRTALERTS* mask) {
  if (!mask) return kNoMemory;
  std::string r;
  const LONG rc = queryReply(DC_SUPPLIES, nullptr, 0, &r);
  if (rc != 0) return rc;
  forEachRecord(r, 4, fourBytes, [&](const BYTE* rec) {
    if (rec[0] == 8) *mask |= 0x1000;
  });
  return 0;
}

WFPrtObj::LONG WFPrtObj::bidiQueryOperatorIV(PRTALERTS* mask, UIRALERTS* uir) {
  if (!mask || !uir) return kNoMemory;
  std::string r;
  const LONG rc = queryReply(DC_OPERATOR_IV, nullptr, 0, &r);
  if (rc != 0) return rc;
  *mask &= ~(0x2u | 0x4u | 0x4000u);
  *uir = 0;
  forEachRecord(r, 4, alertRecordSize, [&](const BYTE* rec) {
    const ULONG key = ULONG{rec[0]} << 16 | ULONG{rec[1]} << 8 | rec[2];
    *mask |= 0x4000;
    if (key == 0x030101 || key == 0x03FF01) {
      *mask = (*mask & ~0x4000u) | 0x2;
      return;
    }
    if (key == 0x04FF01) {
      *mask = (*mask & ~0x4000u) | 0x4;
      return;
    }
    for (const auto& row : kUirBits)
      if (row.key == key) {
        *mask &= ~0x4000u;
        *uir |= row.bit;
        return;
      }
  });
  return 0;
}

// ---- Device status ----------------------------------------------------------------

WFPrtObj::LONG WFPrtObj::parseDeviceStatusData(const BYTE* s, ULONG len, PRINTERSTATUS* status) {
  if (!s || len < wf::protocol::alerts::kDeviceStatusBytes) return kBadReply;
  ULONG v = *status & ~0x7FFu;
  v |= s[0] & 0x01;
  v |= ((s[0] >> 6) & 1) << 1;
  v |= ((s[0] >> 7) & 1) << 2;
  v |= ULONG{s[1] & 0x0Fu} << 3;
  v |= ULONG{s[2] & 0x0Fu} << 7;
  *status = v;
  return 0;
}

WFPrtObj::LONG WFPrtObj::bidiQueryDeviceStatus(PRINTERSTATUS* status) {
  if (!status) return kNoMemory;
  std::string r;
  const LONG rc = queryReply(DC_DEVICE_STATUS, nullptr, 0, &r);
  if (rc != 0) return rc;
  return parseDeviceStatusData(bytes(r), static_cast<ULONG>(r.size()), status);
}

namespace {

// The data of a posted alert, freed on every path.
struct AlertData {
  ~AlertData() { wfPrtObjFree(data); }
  void* data = nullptr;
  ULONG len = 0;
  const BYTE* at() const { return static_cast<const BYTE*>(data); }
  std::string_view view() const { return {static_cast<const char*>(data), data ? len : 0}; }
};

}  // namespace

WFPrtObj::LONG WFPrtObj::bidiQueryDSAAlert(USHORT key, PRINTERSTATUS* status) {
  if (!status) return kNoMemory;
  AlertData a;
  const LONG rc = bidiQueryAlert(key, WM_BCE_DSA_ALERT, &a.data, &a.len, 2);
  if (rc != 0) return rc;
  return parseDeviceStatusData(a.at(), a.len, status);
}

// ---- Job statistics -----------------------------------------------------------------

void WFPrtObj::parseJSUserDefinedData(const std::string& text, JSALERTDATA* j) {
  const struct {
    const char* tag;
    std::string JSALERTDATA::*field;
  } kTags[] = {{"HT:", &JSALERTDATA::host},
               {"UR:", &JSALERTDATA::user},
               {"SC:", &JSALERTDATA::sc},
               {"JN:", &JSALERTDATA::jobName},
               {"QU:", &JSALERTDATA::queue}};
  std::string_view rest(text);
  for (;;) {
    const std::size_t end = rest.find(';');
    const std::string_view piece = rest.substr(0, end);
    bool tagged = false;
    for (const auto& t : kTags)
      if (startsWithNoCase(piece, t.tag)) {
        j->*t.field = std::string(piece.substr(3));
        tagged = true;
        break;
      }
    if (!tagged) j->remaining += std::string(piece) + ";";
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
}

WFPrtObj::LONG WFPrtObj::parseJSData(const BYTE* d, ULONG len, JSALERTDATA* j) {
  ByteReader in(std::string_view(reinterpret_cast<const char*>(d), d ? len : 0));
  std::uint8_t entryCount = 0, word1 = 0, field = 0;
  std::uint16_t word2 = 0, seconds = 0;
  if (!(in.u8(entryCount) && in.u8(word1) && in.be16(word2) && in.be16(seconds))) return kBadReply;
  bool correct = false;
  if (printerType_ == 1) {
    const long level = StrCodeLevelToLong(revisionLevel_);
    correct = level == 3100 || level <= 3029;
  }
  j->entryCount = entryCount;
  j->word1 = word1;
  j->word2 = word2;
  j->seconds = seconds;
  for (unsigned i = 1; i <= entryCount; ++i) {
    std::uint32_t first = 0, second = 0, third = 0;
    if (!(in.be32(first) && in.be32(second) && in.be32(third))) return kBadReply;
    if (i >= kJobStatSlots) continue;  // no slot for it: stepped over
    if (correct) {
      const ULONG oldFirst = first;
      first = oldFirst - ((second - oldFirst) >> 1);
      second = oldFirst;
    }
    j->entries[i] = {first, second, third == 0xFFFFFFFF ? 0 : third};
  }
  if (!(in.skip(layout::job_statistics::kGapAfterEntries) && in.u8(field))) return kBadReply;
  j->field = field;
  std::string* texts[] = {nullptr, &j->secondText};
  for (std::string* text : texts) {
    std::string_view value;
    if (!in.text8(value)) return kBadReply;
    if (text)
      *text = cp850ToUtf8(value);
    else
      parseJSUserDefinedData(cp850ToUtf8(value), j);
  }
  return 0;
}

WFPrtObj::LONG WFPrtObj::bidiJSQueryAlert(USHORT key, JSALERTDATA* record) {
  if (!record) return kNoMemory;
  for (std::string* s : {&record->host, &record->user, &record->sc, &record->jobName, &record->queue,
                         &record->remaining, &record->secondText})
    s->clear();
  AlertData a;
  const LONG rc = bidiQueryAlert(key, WM_BCE_JS_ALERT, &a.data, &a.len, 2);
  if (rc != 0) return rc;
  namespace alerts = wf::protocol::alerts;
  ByteReader in(a.view());
  std::uint8_t tag = 0, classByte = 0;
  if (!(in.u8(tag) && in.u8(classByte)) || tag != alerts::kClassAlertTag ||
      classByte != alerts::kJobStatisticsByte)
    return kBadReply;
  return parseJSData(bytes(in.rest()), static_cast<ULONG>(in.remaining()), record);
}

// ---- Operator panel alert -----------------------------------------------------------

WFPrtObj::LONG WFPrtObj::bidiROPQueryAlert(USHORT key, void** panel) {
  auto* record = new (std::nothrow) OPPANELDATA;
  *panel = record;
  if (!record) return kNoMemory;
  AlertData a;
  const LONG rc = bidiQueryAlert(key, WM_BCE_ROP_ALERT, &a.data, &a.len, 2);
  if (rc != 0) return rc;
  ByteReader in(a.view());
  std::uint8_t tag = 0;
  if (!in.u8(tag) || tag != wf::protocol::alerts::kPanelAlertTag) return kBadReply;
  return parseROPData(in.rest().data(), static_cast<ULONG>(in.remaining()), record);
}
