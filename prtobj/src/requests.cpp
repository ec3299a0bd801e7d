// The request families and their reply decoders. R is the reply without the
// printer's first byte; no count or length inside it is trusted.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string_view>
#include <vector>

#include "broker/corbce.h"
#include "platform/byte_codec.h"
#include "platform/module.h"
#include "protocol/replies.h"
#include "protocol/requests.h"
#include "prtobj/prtobj_util.h"
#include "prtobj/wfprtobj.h"

namespace {

using ULONG = WFPrtObj::ULONG;
using LONG = WFPrtObj::LONG;
using BYTE = WFPrtObj::BYTE;
using wf::ByteReader;
namespace layout = wf::protocol::reply;
namespace request = wf::protocol::request;

// The object's own request names are the broker's codes.
static_assert(WFPrtObj::DC_DEVICE_STATUS == request::kDeviceStatus &&
              WFPrtObj::DC_SUMMARY == request::kSummary &&
              WFPrtObj::DC_INPUT_CHARS == request::kInputCharacteristics &&
              WFPrtObj::DC_OUTPUT_CHARS == request::kOutputCharacteristics &&
              WFPrtObj::DC_STORAGE_OPTIONS == request::kStorageOptions &&
              WFPrtObj::DC_PAGE_COUNTS == request::kPageCounts &&
              WFPrtObj::DC_POR == request::kPowerOnReset &&
              WFPrtObj::DC_RESET_HOST_PAGE_COUNT == request::kResetHostPageCount &&
              WFPrtObj::DC_ROP_BUTTON == request::kPanelButton &&
              WFPrtObj::DC_ROP_DATA == request::kPanelData &&
              WFPrtObj::DC_READ_OM_VAR == request::kReadOmVariable &&
              WFPrtObj::DC_SET_OM_VAR == request::kSetOmVariable &&
              WFPrtObj::DC_READ_MISC_VAR == request::kReadMiscVariable &&
              WFPrtObj::DC_ROP_COMMAND == request::kPanelCommand);

constexpr LONG kRequestBadReply = -2;
constexpr LONG kRequestNoMemory = -18;

// The exact capacity bytes 01 F4 41 64 stand for 500 (the BE16 in front).
ULONG inputCapacity(ULONG value) {
  return value == layout::input::kCapacity500Bytes ? value >> 16 : value;
}

// A list reply's announced count; 0 for an empty reply.
unsigned listCount(ByteReader& in) {
  std::uint8_t count = 0;
  in.u8(count);
  return count;
}

std::vector<std::string> split(std::string_view text, char separator) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    pieces.emplace_back(
        text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return pieces;
    start = end + 1;
  }
}

std::string after(const std::string& text, std::size_t n) {
  return text.size() > n ? text.substr(n) : std::string();
}

long decimalAfter(const std::vector<std::string>& pieces, std::size_t index, std::size_t skip) {
  return index < pieces.size() ? std::strtol(after(pieces[index], skip).c_str(), nullptr, 10) : 0;
}

// Flash and disk items alike: size in the second piece, free space in the third.
void readDeviceSizes(const std::vector<std::string>& pieces, ULONG* size, ULONG* freeSpace) {
  *size = static_cast<ULONG>(decimalAfter(pieces, 1, 7));
  const long free = decimalAfter(pieces, 2, 12);
  *freeSpace = free == -1 ? 0 : static_cast<ULONG>(free);
}

constexpr WFPrtObj::USHORT kBinManualPaper = 7101, kBinManualEnvelope = 7102, kBinTray1 = 7103,
                           kBinTray2 = 7104, kBinTray3 = 7105, kBinEnvelopeFeeder = 7106, kBinFeeder = 7107,
                           kBinDualFirst = 7108, kBinFeeder2 = 7109;
constexpr WFPrtObj::UINT kEnvelopeSizeCodes = 80;  // form size codes from here on are envelopes

}  // namespace

WFPrtObj::LONG WFPrtObj::queryReply(USHORT code, const void* data, ULONG dataLen, std::string* reply,
                                    BOOL force) {
  void* raw = nullptr;
  ULONG len = 0;
  const LONG rc = bidiQuery(code, data, dataLen, &raw, &len, 1, force);
  if (rc == 0 && raw) reply->assign(static_cast<const char*>(raw), len);
  wfPrtObjFree(raw);
  return rc;
}

// ---- Device characteristics -------------------------------------------------

WFPrtObj::LONG WFPrtObj::bidiGetDeviceChars(DEVICECHARS* chars) {
  if (!chars) return kRequestNoMemory;
  chars->model.clear();
  chars->revisionLevel.clear();
  chars->serialNumber.clear();
  std::string r;
  const LONG rc = queryReply(DC_SUMMARY, nullptr, 0, &r);
  if (rc != 0) return rc;
  namespace at = layout::summary;
  ByteReader in(r);
  std::uint8_t byte2 = 0, duplex = 0, speed = 0;
  std::uint32_t memory = 0;
  if (!(in.seek(at::kByte2) && in.u8(byte2) && in.seek(at::kDuplex) && in.u8(duplex) && in.seek(at::kSpeed) &&
        in.u8(speed) && in.seek(at::kMemoryBytes) && in.be32(memory) && in.seek(at::kTexts) && in.has(1)))
    return kRequestBadReply;
  chars->duplex = duplex;
  chars->byte2 = byte2;
  chars->speed = speed;
  chars->memoryKb = memory >> 10;
  // A text cut short ends the decoding.
  std::string* texts[] = {&chars->model, &chars->revisionLevel, &chars->serialNumber};
  for (std::string* text : texts) {
    std::string_view bytes;
    if (!in.text8(bytes)) break;
    *text = cp850ToUtf8(bytes);
  }
  revisionLevel_ = chars->revisionLevel;
  return 0;
}

// ---- Input sources -------------------------------------------------------------

void WFPrtObj::parseInputBinsByName(UINT size, const std::string& name, USHORT* binNumber) {
  static const struct {
    const char* name;
    USHORT bin;
  } kNames[] = {{"Manual Paper", kBinManualPaper},
                {"Manual Envelope", kBinManualEnvelope},
                {"Tray 1", kBinTray1},
                {"Tray 2", kBinTray2},
                {"Tray 3", kBinTray3}};
  for (const auto& n : kNames)
    if (name == n.name) {
      *binNumber = n.bin;
      return;
    }
  if (name == "Feeder")
    *binNumber = size < kEnvelopeSizeCodes ? kBinFeeder : kBinEnvelopeFeeder;
  else if (name == "Feeder 2")
    *binNumber = kBinFeeder2;
}

void WFPrtObj::parseInputBinsByID(UINT id, UINT size, ULONG capacity, UINT count, USHORT* binNumber) {
  if (id == 4 && !(count > 4 || capacity == 500)) id = 5;
  switch (id) {
    case 1:
      *binNumber = kBinManualPaper;
      break;
    case 2:
      *binNumber = kBinManualEnvelope;
      break;
    case 3:
      *binNumber = kBinTray1;
      break;
    case 4:
      *binNumber = kBinTray2;
      break;
    case 5:
      *binNumber = size < kEnvelopeSizeCodes ? kBinFeeder : kBinEnvelopeFeeder;
      break;
    default:
      break;
  }
}

namespace {

struct InputEntry {
  WFPrtObj::UINT id, size, type;
  ULONG capacity;
  std::string name;
};

// The complete entries of an input-sources reply; c is the announced count.
std::vector<InputEntry> inputEntries(const std::string& r, WFPrtObj::UINT* announced) {
  namespace at = layout::input;
  std::vector<InputEntry> entries;
  ByteReader list(r);
  *announced = listCount(list);
  for (WFPrtObj::UINT i = 0; i < *announced; ++i) {
    ByteReader e(list.rest());
    std::uint8_t id = 0, type = 0, size = 0, further = 0;
    std::uint32_t capacity = 0;
    std::string_view name;
    if (!(e.u8(id) && e.be32(capacity) && e.seek(at::kPaperType) && e.u8(type) && e.u8(size) &&
          e.seek(at::kName) && e.text8(name) && e.u8(further)))
      break;
    entries.push_back({id, size, type, inputCapacity(capacity), cp850ToUtf8(name)});
    if (!list.skip(e.position() + further)) break;
  }
  return entries;
}

}  // namespace

WFPrtObj::LONG WFPrtObj::bidiGetInputChars(UINT* count, INPUTBIN** bins) {
  *count = 0;
  *bins = nullptr;
  std::string r;
  const LONG rc = queryReply(DC_INPUT_CHARS, nullptr, 0, &r);
  if (rc != 0) return rc;
  UINT c = 0;
  const auto entries = inputEntries(r, &c);
  if (entries.empty()) return 0;
  auto* out = new (std::nothrow) INPUTBIN[entries.size()];
  if (!out) return kRequestNoMemory;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const InputEntry& e = entries[i];
    INPUTBIN& bin = out[i];
    bin.sourceId = static_cast<USHORT>(e.id);
    bin.formSize = static_cast<USHORT>(e.size);
    bin.paperType = static_cast<USHORT>(e.type);
    bin.capacity = e.capacity;
    bin.name = e.name;
    if (!e.name.empty())
      parseInputBinsByName(e.size, e.name, &bin.binNumber);
    else
      parseInputBinsByID(e.id, e.size, e.capacity, c, &bin.binNumber);
    // A second feeder makes the one before it the first of a pair.
    if (bin.binNumber == kBinFeeder2 && i > 0) out[i - 1].binNumber = kBinDualFirst;
  }
  *bins = out;
  *count = static_cast<UINT>(entries.size());
  return 0;
}

void WFPrtObj::parseInputCharsByName(UINT id, UINT size, UINT type, ULONG capacity, const std::string& name,
                                     INPUTCHARS* ic) {
  if (name == "Manual Paper") {
    ic->manualPaperId = id, ic->manualPaperSize = size, ic->manualPaperType = type;
  } else if (name == "Manual Envelope") {
    ic->manualEnvelopeId = id, ic->manualEnvelopeSize = size, ic->manualEnvelopeType = type;
  } else if (name == "Tray 1") {
    ic->tray1Id = id, ic->tray1Size = size, ic->tray1Type = type, ic->tray1Capacity = capacity;
  } else if (name == "Tray 2") {
    ic->tray2Id = id, ic->tray2Size = size, ic->tray2Type = type, ic->tray2Capacity = capacity;
  } else if (name == "Tray 3") {
    ic->tray3Id = id, ic->tray3Size = size, ic->tray3Type = type, ic->tray3Capacity = capacity;
  } else if (name == "Feeder") {
    if (size < kEnvelopeSizeCodes)
      ic->paperFeederId = id;
    else
      ic->envelopeFeederId = id;
    ic->feederSize = size, ic->feederType = type;
  } else if (name == "Feeder 2") {
    ic->feeder2Size = size;
    ic->dualFeeder = 1;
    ic->dualSecondFeederId = size >= kEnvelopeSizeCodes ? id : 0;
    ic->feeder2Type = type;
    ic->dualFirstFeederSize = ic->feederSize;
    ic->dualFirstFeederId = ic->envelopeFeederId != 0 ? id : 0;
    ic->envelopeFeederId = 0;
    ic->paperFeederId = 0;
    ic->dualFirstFeederType = ic->feederType;
  }
}

void WFPrtObj::parseInputCharsByID(UINT id, UINT size, UINT type, ULONG capacity, UINT count,
                                   INPUTCHARS* ic) {
  if (id == 4 && !(count > 4 || capacity == 500)) id = 5;
  static const char* const kById[] = {nullptr,  "Manual Paper", "Manual Envelope",
                                      "Tray 1", "Tray 2",       "Feeder"};
  if (id >= 1 && id <= 5) parseInputCharsByName(id, size, type, capacity, kById[id], ic);
}

WFPrtObj::LONG WFPrtObj::bidiGetInputChars(INPUTCHARS* chars) {
  if (!chars) return kRequestNoMemory;
  chars->manualPaperId = chars->manualEnvelopeId = chars->envelopeFeederId = chars->paperFeederId = 0;
  chars->dualFeeder = chars->dualFirstFeederId = chars->dualSecondFeederId = 0;
  chars->tray1Id = chars->tray2Id = chars->tray3Id = 0;
  std::string r;
  const LONG rc = queryReply(DC_INPUT_CHARS, nullptr, 0, &r);
  if (rc != 0) return rc;
  UINT c = 0;
  for (const InputEntry& e : inputEntries(r, &c)) {
    if (!e.name.empty())
      parseInputCharsByName(e.id, e.size, e.type, e.capacity, e.name, chars);
    else
      parseInputCharsByID(e.id, e.size, e.type, e.capacity, c, chars);
  }
  return 0;
}

// ---- Output bins ---------------------------------------------------------------

WFPrtObj::LONG WFPrtObj::bidiGetOutputChars(UINT* count, OUTPUTBIN** bins) {
  *count = 0;
  *bins = nullptr;
  std::string r;
  const LONG rc = queryReply(DC_OUTPUT_CHARS, nullptr, 0, &r);
  if (rc != 0) return rc;
  ByteReader list(r);
  std::vector<OUTPUTBIN> decoded;
  for (UINT i = 0, count = listCount(list); i < count; ++i) {
    std::uint8_t id = 0, type = 0, flags1 = 0, flags2 = 0;
    std::uint32_t capacity = 0;
    std::string_view name;
    if (!(list.u8(id) && list.u8(type) && list.be32(capacity) && list.u8(flags1) && list.u8(flags2) &&
          list.text8(name)))
      break;
    OUTPUTBIN bin;
    bin.binId = id;
    bin.type = type;
    bin.capacity = capacity;
    bin.name = cp850ToUtf8(name);
    for (int b = 0; b < 6; ++b) bin.flags[b] = (flags1 >> b) & 1;
    for (int b = 0; b < 3; ++b) bin.flags[6 + b] = (flags2 >> b) & 1;
    bin.flags[9] = (flags2 >> 7) & 1;
    if ((flags1 & 0x01) && type == 1)
      bin.binNumber = 7203;
    else if ((flags1 & 0x20) && type == 1)
      bin.binNumber = 7201;
    else if (flags2 & 0x07)
      bin.binNumber = 7204;
    decoded.push_back(std::move(bin));
  }
  if (decoded.empty()) return 0;
  auto* out = new (std::nothrow) OUTPUTBIN[decoded.size()];
  if (!out) return kRequestNoMemory;
  for (std::size_t i = 0; i < decoded.size(); ++i) out[i] = std::move(decoded[i]);
  *bins = out;
  *count = static_cast<UINT>(decoded.size());
  return 0;
}

WFPrtObj::LONG WFPrtObj::bidiGetOutputChars(OUTPUTBINS* out) {
  if (!out) return kRequestNoMemory;
  std::string r;
  const LONG rc = queryReply(DC_OUTPUT_CHARS, nullptr, 0, &r);
  if (rc != 0) return rc;
  ByteReader in(r);
  std::uint32_t capacity = 0;
  if (!(in.seek(layout::kListEntries + layout::output::kCapacity) && in.be32(capacity))) return kRequestBadReply;
  out->capacity = capacity;
  out->capacityIs500 = out->capacity == 500;
  return 0;
}

// ---- Storage, code levels, page counts ---------------------------------------------

WFPrtObj::LONG WFPrtObj::bidiGetStorageOptions(STORAGEOPTIONS* options) {
  if (!options) return kRequestNoMemory;
  options->fontCartridge = 0;
  options->flashSize = 0;
  options->diskSize = 0;
  options->cartridgeName.clear();
  options->cartridgeDetail.clear();
  std::string r;
  const LONG rc = queryReply(DC_STORAGE_OPTIONS, nullptr, 0, &r);
  if (rc != 0) return rc;
  ByteReader list(r);
  for (UINT i = 0, count = listCount(list); i < count; ++i) {
    std::string_view item;
    if (!list.text8(item)) break;
    const auto pieces = split(cp850ToUtf8(item), ';');
    const std::string& head = pieces[0];
    if (head.starts_with("FLASH: 1")) {
      readDeviceSizes(pieces, &options->flashSize, &options->flashFree);
    } else if (head.starts_with("DISK: 1")) {
      readDeviceSizes(pieces, &options->diskSize, &options->diskFree);
    } else if (head.starts_with("FONT CARTRIDGE: 1")) {
      options->fontCartridge = 1;
      if (pieces.size() > 1) options->cartridgeName = after(pieces[1], 9);
      if (pieces.size() > 3) {
        const std::string detail = after(pieces[3], 11);
        options->cartridgeDetail = detail.starts_with("-1") ? std::string() : detail;
      }
    }
  }
  return 0;
}

WFPrtObj::LONG WFPrtObj::bidiGetCodeLevels(CODELEVELS* levels) {
  if (!levels) return kRequestNoMemory;
  *levels = CODELEVELS{};
  static constexpr BYTE kCodeLevels[2] = {0x00, 0xA6};
  void* value = nullptr;
  ULONG len = 0;
  const LONG rc = bidiReadMiscVar(kCodeLevels, &value, &len, 0);
  if (rc != 0 || !value) return rc;
  const std::string text = cp850ToUtf8(std::string_view(static_cast<const char*>(value), len));
  wfPrtObjFree(value);
  levels->revisionLevel = revisionLevel_;
  // Longer tags first, so "ENGB" is never taken for "ENG".
  const struct {
    const char* tag;
    std::string CODELEVELS::*field;
  } kTags[] = {{"ENGB", &CODELEVELS::engb},  {"ENGF", &CODELEVELS::engf}, {"ENG", &CODELEVELS::eng},
               {"PNL", &CODELEVELS::pnl},    {"DPX", &CODELEVELS::dpx},   {"INA1", &CODELEVELS::ina1},
               {"INA2", &CODELEVELS::ina2},  {"INA", &CODELEVELS::ina},   {"CONT", &CODELEVELS::cont},
               {"FLKER", &CODELEVELS::flker}};
  for (const std::string& piece : split(text.c_str(), '\n')) {
    for (const auto& t : kTags) {
      if (!piece.starts_with(t.tag)) continue;
      levels->*t.field = after(piece, std::strlen(t.tag) + 2);
      break;
    }
  }
  return 0;
}

WFPrtObj::LONG WFPrtObj::bidiGetPageCounts(PAGECOUNTDATA* counts) {
  if (!counts) return kRequestNoMemory;
  *counts = PAGECOUNTDATA{};
  std::string r;
  const LONG rc = queryReply(DC_PAGE_COUNTS, nullptr, 0, &r);
  if (rc != 0) return rc;
  namespace pages = layout::pages;
  ByteReader list(r);
  for (UINT i = 0, count = listCount(list); i < count; ++i) {
    std::uint8_t kind = 0;
    std::uint32_t value = 0;
    if (!(list.u8(kind) && list.be32(value))) break;
    if (kind == pages::kTotal || kind == pages::kSecond || kind == pages::kFourth)
      counts->counters[kind - 1] = value;
  }
  return 0;
}

WFPrtObj::LONG WFPrtObj::bidiResetHostPageCount() {
  return bidiQuery(DC_RESET_HOST_PAGE_COUNT, nullptr, 0, nullptr, nullptr, 0, 0);
}

WFPrtObj::LONG WFPrtObj::bidiPORPrinter() {
  static constexpr BYTE kOne = 1;
  return bidiQuery(DC_POR, &kOne, 1, nullptr, nullptr, 0, 0);
}

// ---- Printer variables -------------------------------------------------------------

namespace {

bool nameEchoed(const std::string& r, const BYTE name[2]) {
  ByteReader in(r);
  std::uint16_t echo = 0;
  return in.seek(layout::variable::kName) && in.be16(echo) && echo == wf::loadBe16(name);
}

}  // namespace

// Both variable reads check the name echo; `skip` is where the caller's copy
// begins (the name echo and the value, or the value only).
WFPrtObj::LONG WFPrtObj::readVariable(USHORT code, const BYTE name[2], void** value, ULONG* len, BOOL force,
                                      ULONG skip) {
  *value = nullptr;
  *len = 0;
  std::string r;
  const LONG rc = queryReply(code, name, 2, &r, force);
  if (rc != 0) return rc;
  if (!nameEchoed(r, name)) return kRequestBadReply;
  const ULONG n = static_cast<ULONG>(r.size()) - skip;
  void* copy = wfPrtObjNew(n);
  if (!copy) return kRequestNoMemory;
  std::memcpy(copy, r.data() + skip, n);
  *value = copy;
  *len = n;
  return 0;
}

WFPrtObj::LONG WFPrtObj::bidiReadOMVar(const BYTE name[2], void** value, ULONG* len) {
  return readVariable(DC_READ_OM_VAR, name, value, len, 0, layout::variable::kName);
}

WFPrtObj::LONG WFPrtObj::bidiReadMiscVar(const BYTE name[2], void** value, ULONG* len, BOOL force) {
  return readVariable(DC_READ_MISC_VAR, name, value, len, force, layout::variable::kValue);
}

WFPrtObj::LONG WFPrtObj::bidiSetOMVar(const BYTE name[2], const void* value, ULONG len) {
  auto* request = static_cast<BYTE*>(wfPrtObjNew(len + 2));
  if (!request) return kRequestNoMemory;
  request[0] = name[0];
  request[1] = name[1];
  if (len) std::memcpy(request + 2, value, len);
  std::string r;
  const LONG rc = queryReply(DC_SET_OM_VAR, request, len + 2, &r);
  wfPrtObjFree(request);
  if (rc != 0) return rc;
  return nameEchoed(r, name) ? 0 : kRequestBadReply;
}

// ---- Printer type and family -------------------------------------------------------

WFPrtObj::LONG WFPrtObj::bidiGetPrinterType(ULONG* type, ULONG* code) {
  static constexpr BYTE kTypeCode[2] = {0x00, 0xA7};
  void* value = nullptr;
  ULONG len = 0;
  const LONG rc = bidiReadMiscVar(kTypeCode, &value, &len, 0);
  if (rc != 0) return rc;
  if (len == 0) {
    wfPrtObjFree(value);
    return kRequestBadReply;
  }
  const BYTE c = *static_cast<const BYTE*>(value);
  wfPrtObjFree(value);
  if (code) *code = c;
  if (type) {
    if (c == 0 || c == 2 || c == 3)
      *type = 0;
    else if (c >= 5 && c <= 8)
      *type = 1;
    else
      *type = kUnknownType;
  }
  return 0;
}

WFPrtObj::LONG WFPrtObj::bidiGetPrinterFamily(ULONG* family) {
  ULONG code = 0;
  const LONG rc = bidiGetPrinterType(family, &code);
  if (rc != BCE_ERR_ERROR_RESPONSE) return rc;
  static constexpr BYTE kFamilyCode[2] = {0x00, 0xB2};
  void* value = nullptr;
  ULONG len = 0;
  const LONG familyRc = bidiReadMiscVar(kFamilyCode, &value, &len, 1);
  if (familyRc == 0 && len > 0) *family = *static_cast<const BYTE*>(value);
  wfPrtObjFree(value);
  return familyRc;
}

// ---- Remote operator panel ----------------------------------------------------------

WFPrtObj::LONG WFPrtObj::bidiROPPushButton(ULONG button) {
  const BYTE request[3] = {0, 0, static_cast<BYTE>(button & 0xFF)};
  if (caps_.portType == PORT_LPT) return bidiQuery(DC_ROP_BUTTON, request, 3, nullptr, nullptr, 0, 0);
  std::string r;
  const LONG rc = queryReply(DC_ROP_BUTTON, request, 3, &r);
  if (rc != 0) return rc;
  ByteReader in(r);
  std::uint16_t status = 0xFFFF;
  return in.be16(status) && status == 0 ? 0 : kRequestBadReply;
}

namespace {

LONG checkCommandEcho(const std::string& r, BYTE command) {
  namespace at = layout::panel_command;
  ByteReader in(r);
  std::uint8_t zero = 1, echo = 0;
  const bool ok = in.seek(at::kZero) && in.u8(zero) && in.u8(echo) && zero == 0 && echo == command;
  return ok ? 0 : kRequestBadReply;
}

}  // namespace

WFPrtObj::LONG WFPrtObj::bidiROPReset() {
  const BYTE request[2] = {0, 0xB1};
  std::string r;
  const LONG rc = queryReply(DC_ROP_COMMAND, request, 2, &r);
  return rc != 0 ? rc : checkCommandEcho(r, request[1]);
}

WFPrtObj::LONG WFPrtObj::bidiROPContinue() {
  const BYTE request[2] = {0, 0xB0};
  std::string r;
  const LONG rc = queryReply(DC_ROP_COMMAND, request, 2, &r);
  return rc != 0 ? rc : checkCommandEcho(r, request[1]);
}

WFPrtObj::LONG WFPrtObj::bidiROPQueryLock(int* locked) {
  static constexpr BYTE kLock[2] = {0x00, 0x4D};
  void* value = nullptr;
  ULONG len = 0;
  const LONG rc = bidiReadOMVar(kLock, &value, &len);
  ByteReader in(std::string_view(static_cast<const char*>(value), value ? len : 0));
  std::uint8_t state = 0;
  if (rc == 0 && locked && in.seek(layout::variable::kValue - layout::variable::kName) && in.u8(state))
    *locked = state != 0 ? 1 : 0;
  wfPrtObjFree(value);
  return rc;
}

WFPrtObj::LONG WFPrtObj::bidiROPSetLock(BOOL lock) {
  static constexpr BYTE kLock[2] = {0x00, 0x4D};
  const BYTE value = lock ? 1 : 0;
  const LONG rc = bidiSetOMVar(kLock, &value, 1);
  if (rc == 0) bidiROPPushButton(0x40);
  return rc;
}

WFPrtObj::LONG WFPrtObj::parseROPData(const void* data, ULONG len, OPPANELDATA* panel) {
  if (!panel) return kRequestNoMemory;
  panel->columns = panel_.columns;
  panel->lines = panel_.lines;
  const ULONG wanted = panel_.columns * panel_.lines;
  panel->text = cp850ToUtf8(std::string_view(static_cast<const char*>(data), wanted < len ? wanted : len));
  return 0;
}

WFPrtObj::LONG WFPrtObj::bidiROPQueryData(void** panel) {
  auto* record = new (std::nothrow) OPPANELDATA;
  *panel = record;
  if (!record) return kRequestNoMemory;
  std::string r;
  const LONG rc = queryReply(DC_ROP_DATA, nullptr, 0, &r);
  if (rc != 0) return rc;
  return parseROPData(r.data(), static_cast<ULONG>(r.size()), record);
}

// ---- Version -------------------------------------------------------------------------

void WFPrtObj::getVersionNumber(const std::string& dir, std::string* out) {
  getWFDLLVersionNumber((std::filesystem::path(dir) / wf::moduleFileName("WFPRTOBJ.DLL")).string(), out);
}
