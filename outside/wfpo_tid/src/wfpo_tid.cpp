#include "wfpo_tid/wfpo_tid.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <span>
#include <string>

#include "broker/corbce.h"
#include "protocol/replies.h"
#include "prtobj/prtobj_util.h"

namespace {

using LONG = WFPrtObj::LONG;
using USHORT = WFPrtObj::USHORT;
using BYTE = WFPrtObj::BYTE;
namespace layout = wf::protocol::reply;

constexpr LONG kBadReply = -2;
constexpr LONG kBadRequest = BCE_ERR_BAD_REQUEST;

// Request codes of the broker's PJL lines.
enum Code : USHORT {
  kPaperSource = 4096,
  kTray1Size = 4097,
  kTray2Size = 4098,
  kManualPaperSize = 4099,
  kManualEnvelopeSize = 4100,
  kTray1Type = 4101,
  kTray2Type = 4102,
  kManualPaperType = 4103,
  kTrayLinking = 4104,
  kCopies = 4105,
  kFontNumber = 4106,
  kPointSize = 4107,
  kPitch = 4108,
  kSymbolSet = 4109,
  kResolution = 4110,
  kDensity = 4111,
  kFormLines = 4112,
  kEconomyMode = 4113,
  kRet = 4114,
  kOrientation = 4115,
  kTopMargin = 4116,
  kLeftMargin = 4117,
  kTimeout = 4118,
  kPageProtect = 4119,
  kAutoContinue = 4120,
  kPowerSaver = 4121,
  kJamRecovery = 4122,
  kHonorInit = 4123,
  kAutoCrLf = 4124,
  kAutoLfCr = 4125,
  kUsDefaults = 4126,
  kPrintTestPage = 4127,
  kPrintDirectory = 4128,
  kInitialize = 4129,
  kPpds = 4130,
};
constexpr USHORT kFirstCode = kPaperSource;
constexpr USHORT kFirstVariable = 0x0400;

// Sizes and types per source 1 to 4; 0: the source has none.
constexpr USHORT kSizeCodes[4] = {kManualPaperSize, kManualEnvelopeSize, kTray1Size, kTray2Size};
constexpr USHORT kTypeCodes[4] = {kManualPaperType, 0, kTray1Type, kTray2Type};

constexpr long kPaperSizes[] = {1, 7, 9, 22, 23, 53, 83, 84, 88, 128, 129, 130, 255};
constexpr long kResolutions[] = {300, 600};
constexpr long kJamRecoveries[] = {1, 2};

// Longer than any value of a setting: "-128", "1008".
constexpr std::size_t kLongestNumber = 5;

bool validSource(long source) {
  return source >= 1 && source <= 4;
}

}  // namespace

namespace wfpo_tid {

// A setting's accepted values: min to max, or only those listed.
struct Range {
  long min = 0;
  long max = 0;
  std::span<const long> only{};

  bool holds(long v) const {
    if (only.empty()) return v >= min && v <= max;
    for (long o : only)
      if (o == v) return true;
    return false;
  }
};

}  // namespace wfpo_tid

namespace {

using wfpo_tid::Range;
const Range kFlag{0, 1};
const Range kMargin{-128, 127};
const Range kJam{0, 0, kJamRecoveries};
const Range kPowerSaverRange{0, 120};
const Range kTimeoutRange{0, 255};
const Range kCopiesRange{1, 99};
const Range kFontRange{0, 25};
const Range kLinesRange{1, 255};
const Range kPitchRange{1, 100};
const Range kPointSizeRange{1, 1008};
const Range kSourceRange{1, 4};
const Range kOrientationRange{0, 1};
const Range kResolutionRange{0, 0, kResolutions};
const Range kDarknessRange{1, 5};
const Range kSizeRange{0, 0, kPaperSizes};
const Range kTypeRange{0, 4};

// Whole decimal text, a sign only where negative values exist.
bool parseNumber(std::string_view text, bool sign, long* out) {
  if (text.empty() || text.size() > kLongestNumber) return false;
  bool negative = false;
  if (sign && text.front() == '-') {
    negative = true;
    text.remove_prefix(1);
    if (text.empty()) return false;
  }
  long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *out = negative ? -v : v;
  return true;
}

}  // namespace

bool WFTidewaterPrtObj::isSymbolSet(const char* text, std::size_t length) {
  if (!text || length < 2 || length > 4) return false;
  for (std::size_t i = 0; i + 1 < length; ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return std::isalpha(static_cast<unsigned char>(text[length - 1])) != 0 &&
         static_cast<unsigned char>(text[length - 1]) < 0x80;
}

// ---- Wire --------------------------------------------------------------------------

WFTidewaterPrtObj::LONG WFTidewaterPrtObj::setText(USHORT code, const char* text) {
  const ULONG length = text ? static_cast<ULONG>(std::char_traits<char>::length(text)) + 1 : 0;
  return bidiQuery(code, text, length, nullptr, nullptr, FALSE, FALSE);
}

WFTidewaterPrtObj::LONG WFTidewaterPrtObj::setNumber(USHORT code, long value, const wfpo_tid::Range& range) {
  if (!range.holds(value)) return kBadRequest;
  return setText(code, std::to_string(value).c_str());
}

WFTidewaterPrtObj::LONG WFTidewaterPrtObj::readText(USHORT code, std::string* text) {
  const USHORT variable = static_cast<USHORT>(kFirstVariable + (code - kFirstCode));
  const BYTE name[2] = {static_cast<BYTE>(variable >> 8), static_cast<BYTE>(variable & 0xFF)};
  void* value = nullptr;
  ULONG len = 0;
  const LONG rc = bidiReadOMVar(name, &value, &len);
  constexpr ULONG kAt = layout::variable::kValue - layout::variable::kName;
  if (rc == 0) {
    if (!value || len < kAt)
      text->clear();
    else
      text->assign(static_cast<const char*>(value) + kAt, len - kAt);
  }
  wfPrtObjFree(value);
  return rc;
}

WFTidewaterPrtObj::LONG WFTidewaterPrtObj::getNumber(USHORT code, const wfpo_tid::Range& range, long* value) {
  if (!value) return kBadRequest;
  std::string text;
  const LONG rc = readText(code, &text);
  if (rc != 0) return rc;
  long v = 0;
  if (!parseNumber(text, range.min < 0, &v) || !range.holds(v)) return kBadReply;
  *value = v;
  return 0;
}

namespace {

// Pitch and point size travel as whole numbers; a value that has none is out of every range.
long wholeOf(float value) {
  return std::isfinite(value) && std::fabs(value) < 1e6f ? std::lround(value) : LONG_MIN;
}
template <typename T>
long wholeOf(T value) {
  return static_cast<long>(value);
}

}  // namespace

#define WF_TID_NUMBER(Name, Type, code, range)                               \
  WFTidewaterPrtObj::LONG WFTidewaterPrtObj::bidiROPGet##Name(Type* value) { \
    if (!value) return kBadRequest;                                          \
    long v = 0;                                                              \
    const LONG rc = getNumber(code, range, &v);                              \
    if (rc == 0) *value = static_cast<Type>(v);                              \
    return rc;                                                               \
  }                                                                          \
  WFTidewaterPrtObj::LONG WFTidewaterPrtObj::bidiROPSet##Name(Type value) {  \
    return setNumber(code, wholeOf(value), range);                           \
  }

WF_TID_NUMBER(PageProtect, int, kPageProtect, kFlag)
WF_TID_NUMBER(AutoContinue, int, kAutoContinue, kFlag)
WF_TID_NUMBER(HonorInit, int, kHonorInit, kFlag)
WF_TID_NUMBER(LFafterCR, int, kAutoCrLf, kFlag)
WF_TID_NUMBER(CRafterLF, int, kAutoLfCr, kFlag)
WF_TID_NUMBER(PPDSEnable, int, kPpds, kFlag)
WF_TID_NUMBER(TrayLinking, int, kTrayLinking, kFlag)
WF_TID_NUMBER(EconomyMode, int, kEconomyMode, kFlag)
WF_TID_NUMBER(PQET, int, kRet, kFlag)
WF_TID_NUMBER(TopMargin, int, kTopMargin, kMargin)
WF_TID_NUMBER(LeftMargin, int, kLeftMargin, kMargin)
WF_TID_NUMBER(JamRecovery, int, kJamRecovery, kJam)
WF_TID_NUMBER(PowerSaver, unsigned int, kPowerSaver, kPowerSaverRange)
WF_TID_NUMBER(PrintTimeout, unsigned int, kTimeout, kTimeoutRange)
WF_TID_NUMBER(NumOfCopies, unsigned int, kCopies, kCopiesRange)
WF_TID_NUMBER(FontNumber, unsigned int, kFontNumber, kFontRange)
WF_TID_NUMBER(LinesPerPage, unsigned int, kFormLines, kLinesRange)
WF_TID_NUMBER(Pitch, float, kPitch, kPitchRange)
WF_TID_NUMBER(PointSize, float, kPointSize, kPointSizeRange)
WF_TID_NUMBER(PaperSource, PAPERSOURCES, kPaperSource, kSourceRange)
WF_TID_NUMBER(Orientation, ORIENTATIONS, kOrientation, kOrientationRange)
WF_TID_NUMBER(Resolution, Resolution, kResolution, kResolutionRange)
WF_TID_NUMBER(PrintDarkness, PrintDarkness, kDensity, kDarknessRange)

#undef WF_TID_NUMBER

// The printer keeps US defaults; the caller speaks of the inverse.
WFTidewaterPrtObj::LONG WFTidewaterPrtObj::bidiROPGetNonUSDefaults(int* value) {
  if (!value) return kBadRequest;
  long us = 0;
  const LONG rc = getNumber(kUsDefaults, kFlag, &us);
  if (rc == 0) *value = us ? 0 : 1;
  return rc;
}

WFTidewaterPrtObj::LONG WFTidewaterPrtObj::bidiROPSetNonUSDefaults(int value) {
  if (!kFlag.holds(value)) return kBadRequest;
  return setNumber(kUsDefaults, value ? 0 : 1, kFlag);
}

WFTidewaterPrtObj::LONG WFTidewaterPrtObj::bidiROPGetPaperSize(PAPERSOURCES source, PAPERSIZES* value) {
  if (!value || !validSource(source)) return kBadRequest;
  long v = 0;
  const LONG rc = getNumber(kSizeCodes[source - 1], kSizeRange, &v);
  if (rc == 0) *value = static_cast<PAPERSIZES>(v);
  return rc;
}

WFTidewaterPrtObj::LONG WFTidewaterPrtObj::bidiROPSetPaperSize(PAPERSOURCES source, PAPERSIZES value) {
  if (!validSource(source)) return kBadRequest;
  return setNumber(kSizeCodes[source - 1], value, kSizeRange);
}

WFTidewaterPrtObj::LONG WFTidewaterPrtObj::bidiROPGetPaperType(PAPERSOURCES source, PAPERTYPES* value) {
  if (!value || !validSource(source)) return kBadRequest;
  const USHORT code = kTypeCodes[source - 1];
  if (code == 0) {
    *value = TYPE_PLAIN;
    return 0;
  }
  long v = 0;
  const LONG rc = getNumber(code, kTypeRange, &v);
  if (rc == 0) *value = static_cast<PAPERTYPES>(v);
  return rc;
}

WFTidewaterPrtObj::LONG WFTidewaterPrtObj::bidiROPSetPaperType(PAPERSOURCES source, PAPERTYPES value) {
  if (!validSource(source)) return kBadRequest;
  const USHORT code = kTypeCodes[source - 1];
  if (code == 0) return value == TYPE_PLAIN ? 0 : kBadRequest;
  return setNumber(code, value, kTypeRange);
}

WFTidewaterPrtObj::LONG WFTidewaterPrtObj::bidiROPGetSymbolSet(CString* value) {
  if (!value) return kBadRequest;
  std::string text;
  const LONG rc = readText(kSymbolSet, &text);
  if (rc != 0) return rc;
  if (!isSymbolSet(text.data(), text.size())) return kBadReply;
  *value = CString(text);
  return 0;
}

WFTidewaterPrtObj::LONG WFTidewaterPrtObj::bidiROPSetSymbolSet(const CString& value) {
  if (!isSymbolSet(value, static_cast<std::size_t>(value.GetLength()))) return kBadRequest;
  return setText(kSymbolSet, value);
}

WFTidewaterPrtObj::LONG WFTidewaterPrtObj::bidiROPPrintTestPage() {
  return setText(kPrintTestPage, nullptr);
}

WFTidewaterPrtObj::LONG WFTidewaterPrtObj::bidiROPPrintDirectory() {
  return setText(kPrintDirectory, nullptr);
}

WFTidewaterPrtObj::LONG WFTidewaterPrtObj::bidiROPSetFactoryDefaults() {
  return setText(kInitialize, nullptr);
}

WFTidewaterPrtObj::LONG WFTidewaterPrtObj::bidiROPQueryLock(int* locked) {
  if (locked) *locked = 0;
  return 0;
}

WFTidewaterPrtObj::LONG WFTidewaterPrtObj::bidiROPSetLock(BOOL) {
  return 0;
}
