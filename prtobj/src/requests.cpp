// The request families and their reply decoders. R is the reply without the
// printer's first byte; no count or length inside it is trusted.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string_view>
#include <vector>

#include "broker/corbce.h"
#include "platform/module.h"
#include "prtobj/prtobj_util.h"
#include "prtobj/wfprtobj.h"

namespace {

using ULONG = WFPrtObj::ULONG;
using LONG = WFPrtObj::LONG;
using BYTE = WFPrtObj::BYTE;

constexpr LONG kBadReply = -2;
constexpr LONG kNoMemory = -18;

const BYTE* bytes(const std::string& s) { return reinterpret_cast<const BYTE*>(s.data()); }

std::string printerText(const std::string& r, std::size_t at, std::size_t len) {
  return cp850ToUtf8(std::string_view(r).substr(at, len));
}

// The exact capacity bytes 01 F4 41 64 stand for 500 (the BE16 in front).
ULONG inputCapacity(const BYTE* at) {
  const ULONG value = MakeULONG(at);
  return value == 0x01F44164 ? MakeUSHORT(at) : value;
}

std::vector<std::string> split(std::string_view text, char separator) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    pieces.emplace_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return pieces;
    start = end + 1;
  }
}

std::string after(const std::string& text, std::size_t n) { return text.size() > n ? text.substr(n) : std::string(); }

long decimalAfter(const std::vector<std::string>& pieces, std::size_t index, std::size_t skip) {
  return index < pieces.size() ? std::strtol(after(pieces[index], skip).c_str(), nullptr, 10) : 0;
}

// Flash and disk items alike: size in the second piece, free space in the third.
void readDeviceSizes(const std::vector<std::string>& pieces, ULONG* size, ULONG* freeSpace) {
  *size = static_cast<ULONG>(decimalAfter(pieces, 1, 7));
  const long free = decimalAfter(pieces, 2, 12);
  *freeSpace = free == -1 ? 0 : static_cast<ULONG>(free);
}

constexpr WFPrtObj::USHORT kBinManualPaper = 7101, kBinManualEnvelope = 7102, kBinTray1 = 7103, kBinTray2 = 7104,
                           kBinTray3 = 7105, kBinEnvelopeFeeder = 7106, kBinFeeder = 7107, kBinDualFirst = 7108,
                           kBinFeeder2 = 7109;
constexpr WFPrtObj::UINT kEnvelopeSizeCodes = 80;  // form size codes from here on are envelopes

}  // namespace

WFPrtObj::LONG WFPrtObj::queryReply(USHORT code, const void* data, ULONG dataLen, std::string* reply, BOOL force) {
  void* raw = nullptr;
  ULONG len = 0;
  const LONG rc = bidiQuery(code, data, dataLen, &raw, &len, 1, force);
  if (rc == 0 && raw) reply->assign(static_cast<const char*>(raw), len);
  wfPrtObjFree(raw);
  return rc;
}

// ---- Device characteristics -------------------------------------------------

WFPrtObj::LONG WFPrtObj::bidiGetDeviceChars(DEVICECHARS* chars) {
  if (!chars) return kNoMemory;
  chars->model.clear();
  chars->revisionLevel.clear();
  chars->serialNumber.clear();
  std::string r;
  const LONG rc = queryReply(DC_SUMMARY, nullptr, 0, &r);
  if (rc != 0) return rc;
  if (r.size() < 34) return kBadReply;
  const BYTE* R = bytes(r);
  chars->duplex = R[7];
  chars->byte2 = R[2];
  chars->speed = R[11];
  chars->memoryKb = MakeULONG(R + 19) >> 10;
  // Each text is a length byte and its bytes; a text cut short ends the decoding.
  std::string* texts[] = {&chars->model, &chars->revisionLevel, &chars->serialNumber};
  std::size_t at = 33;
  for (std::string* text : texts) {
    if (at >= r.size() || at + 1 + R[at] > r.size()) break;
    *text = printerText(r, at + 1, R[at]);
    at += 1 + R[at];
  }
  revisionLevel_ = chars->revisionLevel;
  return 0;
}

// ---- Input sources -------------------------------------------------------------

void WFPrtObj::parseInputBinsByName(UINT size, const std::string& name, USHORT* binNumber) {
  static const struct {
    const char* name;
    USHORT bin;
  } kNames[] = {{"Manual Paper", kBinManualPaper}, {"Manual Envelope", kBinManualEnvelope},
                {"Tray 1", kBinTray1},             {"Tray 2", kBinTray2},
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
    case 1: *binNumber = kBinManualPaper; break;
    case 2: *binNumber = kBinManualEnvelope; break;
    case 3: *binNumber = kBinTray1; break;
    case 4: *binNumber = kBinTray2; break;
    case 5: *binNumber = size < kEnvelopeSizeCodes ? kBinFeeder : kBinEnvelopeFeeder; break;
    default: break;
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
  std::vector<InputEntry> entries;
  const BYTE* R = bytes(r);
  *announced = r.empty() ? 0 : R[0];
  std::size_t at = 1;
  for (WFPrtObj::UINT i = 0; i < *announced; ++i) {
    if (at + 31 > r.size()) break;
    const BYTE* E = R + at;
    const std::size_t g = E[30];
    if (at + 32 + g > r.size()) break;
    entries.push_back({E[0], E[9], E[8], inputCapacity(E + 1), printerText(r, at + 31, g)});
    at += 32 + g + E[31 + g];
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
  if (!out) return kNoMemory;
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

void WFPrtObj::parseInputCharsByID(UINT id, UINT size, UINT type, ULONG capacity, UINT count, INPUTCHARS* ic) {
  if (id == 4 && !(count > 4 || capacity == 500)) id = 5;
  static const char* const kById[] = {nullptr, "Manual Paper", "Manual Envelope", "Tray 1", "Tray 2", "Feeder"};
  if (id >= 1 && id <= 5) parseInputCharsByName(id, size, type, capacity, kById[id], ic);
}

WFPrtObj::LONG WFPrtObj::bidiGetInputChars(INPUTCHARS* chars) {
  if (!chars) return kNoMemory;
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
  const BYTE* R = bytes(r);
  std::vector<OUTPUTBIN> decoded;
  std::size_t at = 1;
  for (UINT i = 0; i < R[0]; ++i) {
    if (at + 9 > r.size() || at + 9 + R[at + 8] > r.size()) break;
    const BYTE* E = R + at;
    OUTPUTBIN bin;
    bin.binId = E[0];
    bin.type = E[1];
    bin.capacity = MakeULONG(E + 2);
    bin.name = printerText(r, at + 9, E[8]);
    for (int b = 0; b < 6; ++b) bin.flags[b] = (E[6] >> b) & 1;
    for (int b = 0; b < 3; ++b) bin.flags[6 + b] = (E[7] >> b) & 1;
    bin.flags[9] = (E[7] >> 7) & 1;
    if ((E[6] & 0x01) && E[1] == 1)
      bin.binNumber = 7203;
    else if ((E[6] & 0x20) && E[1] == 1)
      bin.binNumber = 7201;
    else if (E[7] & 0x07)
      bin.binNumber = 7204;
    decoded.push_back(std::move(bin));
    at += 9 + E[8];
  }
  if (decoded.empty()) return 0;
  auto* out = new (std::nothrow) OUTPUTBIN[decoded.size()];
  if (!out) return kNoMemory;
  for (std::size_t i = 0; i < decoded.size(); ++i) out[i] = std::move(decoded[i]);
  *bins = out;
  *count = static_cast<UINT>(decoded.size());
  return 0;
}

WFPrtObj::LONG WFPrtObj::bidiGetOutputChars(OUTPUTBINS* out) {
  if (!out) return kNoMemory;
  std::string r;
  const LONG rc = queryReply(DC_OUTPUT_CHARS, nullptr, 0, &r);
  if (rc != 0) return rc;
  if (r.size() < 7) return kBadReply;
  out->capacity = MakeULONG(bytes(r) + 3);
  out->capacityIs500 = out->capacity == 500;
  return 0;
}

// ---- Storage, code levels, page counts ---------------------------------------------

WFPrtObj::LONG WFPrtObj::bidiGetStorageOptions(STORAGEOPTIONS* options) {
  if (!options) return kNoMemory;
  options->fontCartridge = 0;
  options->flashSize = 0;
  options->diskSize = 0;
  options->cartridgeName.clear();
  options->cartridgeDetail.clear();
  std::string r;
  const LONG rc = queryReply(DC_STORAGE_OPTIONS, nullptr, 0, &r);
  if (rc != 0) return rc;
  const BYTE* R = bytes(r);
  std::size_t at = 1;
  for (UINT i = 0; i < R[0]; ++i) {
    if (at >= r.size() || at + 1 + R[at] > r.size()) break;
    const auto pieces = split(printerText(r, at + 1, R[at]), ';');
    at += 1 + R[at];
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
  if (!levels) return kNoMemory;
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
  } kTags[] = {{"ENGB", &CODELEVELS::engb}, {"ENGF", &CODELEVELS::engf}, {"ENG", &CODELEVELS::eng},
               {"PNL", &CODELEVELS::pnl},   {"DPX", &CODELEVELS::dpx},   {"INA1", &CODELEVELS::ina1},
               {"INA2", &CODELEVELS::ina2}, {"INA", &CODELEVELS::ina},   {"CONT", &CODELEVELS::cont},
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
  if (!counts) return kNoMemory;
  *counts = PAGECOUNTDATA{};
  std::string r;
  const LONG rc = queryReply(DC_PAGE_COUNTS, nullptr, 0, &r);
  if (rc != 0) return rc;
  const BYTE* R = bytes(r);
  for (std::size_t i = 0, at = 1; i < R[0] && at + 5 <= r.size(); ++i, at += 5) {
    const BYTE kind = R[at];
    if (kind == 1 || kind == 2 || kind == 4) counts->counters[kind - 1] = MakeULONG(R + at + 1);
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

// Both variable reads check the name echo in R[1..2]; `skip` is where the
// caller's copy begins (1: echo and value, 3: value only).
WFPrtObj::LONG WFPrtObj::readVariable(USHORT code, const BYTE name[2], void** value, ULONG* len, BOOL force,
                                      ULONG skip) {
  *value = nullptr;
  *len = 0;
  std::string r;
  const LONG rc = queryReply(code, name, 2, &r, force);
  if (rc != 0) return rc;
  if (r.size() < 3 || bytes(r)[1] != name[0] || bytes(r)[2] != name[1]) return kBadReply;
  const ULONG n = static_cast<ULONG>(r.size()) - skip;
  void* copy = wfPrtObjNew(n);
  if (!copy) return kNoMemory;
  std::memcpy(copy, r.data() + skip, n);
  *value = copy;
  *len = n;
  return 0;
}

WFPrtObj::LONG WFPrtObj::bidiReadOMVar(const BYTE name[2], void** value, ULONG* len) {
  return readVariable(DC_READ_OM_VAR, name, value, len, 0, 1);
}

WFPrtObj::LONG WFPrtObj::bidiReadMiscVar(const BYTE name[2], void** value, ULONG* len, BOOL force) {
  return readVariable(DC_READ_MISC_VAR, name, value, len, force, 3);
}

WFPrtObj::LONG WFPrtObj::bidiSetOMVar(const BYTE name[2], const void* value, ULONG len) {
  auto* request = static_cast<BYTE*>(wfPrtObjNew(len + 2));
  if (!request) return kNoMemory;
  request[0] = name[0];
  request[1] = name[1];
  if (len) std::memcpy(request + 2, value, len);
  std::string r;
  const LONG rc = queryReply(DC_SET_OM_VAR, request, len + 2, &r);
  wfPrtObjFree(request);
  if (rc != 0) return rc;
  if (r.size() < 3 || bytes(r)[1] != name[0] || bytes(r)[2] != name[1]) return kBadReply;
  return 0;
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
    return kBadReply;
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
  return r.size() >= 2 && r[0] == 0 && r[1] == 0 ? 0 : kBadReply;
}

namespace {

LONG checkCommandEcho(const std::string& r, BYTE command) {
  return r.size() >= 3 && r[1] == 0 && static_cast<BYTE>(r[2]) == command ? 0 : kBadReply;
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
  if (rc == 0 && len > 2 && locked) *locked = static_cast<const BYTE*>(value)[2] != 0 ? 1 : 0;
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
  if (!panel) return kNoMemory;
  panel->columns = panel_.columns;
  panel->lines = panel_.lines;
  const ULONG wanted = panel_.columns * panel_.lines;
  panel->text = cp850ToUtf8(std::string_view(static_cast<const char*>(data), wanted < len ? wanted : len));
  return 0;
}

WFPrtObj::LONG WFPrtObj::bidiROPQueryData(void** panel) {
  auto* record = new (std::nothrow) OPPANELDATA;
  *panel = record;
  if (!record) return kNoMemory;
  std::string r;
  const LONG rc = queryReply(DC_ROP_DATA, nullptr, 0, &r);
  if (rc != 0) return rc;
  return parseROPData(r.data(), static_cast<ULONG>(r.size()), record);
}

// ---- Version -------------------------------------------------------------------------

void WFPrtObj::getVersionNumber(const std::string& dir, std::string* out) {
  getWFDLLVersionNumber((std::filesystem::path(dir) / wf::moduleFileName("WFPRTOBJ.DLL")).string(), out);
}
