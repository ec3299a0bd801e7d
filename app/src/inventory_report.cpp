#include "app/inventory_report.h"

#include <strings.h>

#include <cstdio>
#include <ctime>
#include <utility>

#include "framework/cstring.h"

namespace wf::inventory {

namespace {

enum ReportStringId : unsigned {
  kPrinterName = 1170,
  kCommunication = 1171,
  kBidirectional = 1172,
  kNonBidirectional = 1173,
  kProtocol = 1174,
  kUnknown = 1175,
  kDuplexer = 1180,
  kLongEdge = 1181,
  kShortEdge = 1182,
  kSummary = 1183,
  kModelLabel = 1184,
  kSerialLabel = 1185,
  kSpeedLabel = 1186,
  kCodeLevels = 1187,
  kInputs = 1197,
  kCapacity = 1198,
  kFormSize = 1199,
  kTypeLabel = 1215,
  kOutputs = 1219,
  kResources = 1220,
  kRam = 1221,
  kSize = 1222,
  kFlash = 1223,
  kFree = 1224,
  kDisk = 1225,
  kSpool = 1226,
  kCartridge = 1227,
  kCartridgeNameLabel = 1228,
  kCartridgeTypeLabel = 1229,
  kFirstInput = 1230,
  kFirstOutput = 1238,
  kPpm = 1243,
  kSheets = 1244,
  kPercentOfDisk = 1245,
  kMb = 1246,
  kPage = 1264,
  kIndent = 1267,
  kPageCount = 1278,
};

constexpr std::uint16_t kLastInputId = 7;
constexpr std::uint16_t kLastOutputId = 2;
constexpr std::uint32_t kNotKnown = 0xFFFFFFFF;
constexpr std::uint8_t kSpoolNotKnown = 100;

constexpr struct {
  std::uint32_t bit;
  unsigned name;
} kProtocols[] = {{1, 1176},  {2, 1268},   {4, 1177},   {8, 1178},   {16, 1179},   {32, 1269},
                  {64, 1265}, {128, 1270}, {256, 1271}, {512, 1272}, {1024, 1273}, {2048, 1266}};

constexpr struct {
  std::uint8_t code;
  unsigned name;
} kForms[] = {{1, 1200},  {2, 1201},   {7, 1202},   {9, 1203},   {21, 1204},
              {22, 1205}, {23, 1206},  {53, 1207},  {83, 1208},  {84, 1209},
              {88, 1210}, {128, 1211}, {129, 1212}, {130, 1213}, {254, 1214}},
  kTypes[] = {{1, 1216}, {2, 1217}, {3, 1218}, {254, 1214}, {255, 1277}};

template <class Table>
unsigned reportNameOf(const Table& table, std::uint32_t code) {
  for (const auto& entry : table)
    if (entry.code == code) return entry.name;
  return kUnknown;
}

std::string format(const char* pattern, unsigned long value) {
  char text[32];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

// Code levels, each shown only with a real value.
constexpr struct {
  std::size_t text;
  unsigned label;
} kLevels[] = {{kBaseLevel, 1279},   {kEngineLevel, 1188}, {kBootLevel, 1189}, {kPanelLevel, 1191},
               {kDuplexLevel, 1192}, {kIna1Level, 1194},   {kIna2Level, 1195}, {kEnaLevel, 1196}};

}  // namespace

StringSource ResourceStrings() {
  return [](unsigned id) {
    CString text;
    text.LoadString(id);
    return text.str();
  };
}

std::string Megabytes(std::uint32_t bytes, const StringSource& strings) {
  const std::uint64_t value = std::uint64_t{bytes} + 5243;
  char text[64];
  std::snprintf(text, sizeof text, "%lu.%02lu %s", static_cast<unsigned long>(value / 1048576),
                static_cast<unsigned long>((value / 1024) % 1024 * 100 / 1024), strings(kMb).c_str());
  return text;
}

ReportLayout::ReportLayout(ReportMetrics metrics, ReportOptions options, StringSource strings, Emit emit)
    : metrics_(std::move(metrics)),
      options_(std::move(options)),
      strings_(std::move(strings)),
      emit_(std::move(emit)) {
  y_ = options_.header.empty() ? 0 : 2 * metrics_.lineHeight;
}

void ReportLayout::decorate() {
  auto centred = [&](const std::string& text) {
    const int width = metrics_.textWidth ? metrics_.textWidth(text) : 0;
    return (metrics_.pageWidth - width) / 2;
  };
  if (!options_.header.empty()) current_.lines.push_back({centred(options_.header), 0, options_.header});
  const std::time_t created = options_.created;
  std::tm local{};
  localtime_r(&created, &local);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%u/%u/%u %u:%02u  -  ", static_cast<unsigned>(local.tm_year + 1900),
                static_cast<unsigned>(local.tm_mon + 1), static_cast<unsigned>(local.tm_mday),
                static_cast<unsigned>(local.tm_hour), static_cast<unsigned>(local.tm_min));
  const std::string footer = stamp + str(kPage) + format(" %lu", static_cast<unsigned long>(page_));
  current_.lines.push_back({centred(footer), metrics_.pageHeight - metrics_.lineHeight, footer});
}

bool ReportLayout::breakPage() {
  decorate();
  if (!emit_(current_)) return failed_ = true, false;
  current_ = ReportPage{};
  ++page_;
  y_ = options_.header.empty() ? 0 : 2 * metrics_.lineHeight;
  return true;
}

void ReportLayout::line(const std::string& text) {
  if (failed_) return;
  if (y_ + 3 * metrics_.lineHeight > metrics_.pageHeight && !breakPage()) return;
  current_.lines.push_back({0, y_, text});
  y_ += metrics_.lineHeight;
}

void ReportLayout::labelled(unsigned label, const std::string& value) {
  line(str(label) + value);
}

void ReportLayout::summary(const Record& record) {
  line(str(kSummary));
  labelled(kModelLabel, record.texts[kModel]);
  if (!record.texts[kSerial].empty()) labelled(kSerialLabel, record.texts[kSerial]);
  labelled(kSpeedLabel, format("%lu ", record.speed) + str(kPpm));
  labelled(kPageCount, format("%lu ", record.pages) + str(kSheets));
  line(str(kCodeLevels));
  for (const auto& level : kLevels) {
    const std::string& value = record.texts[level.text];
    if (!value.empty() && ::strcasecmp(value.c_str(), "N/A") != 0) labelled(level.label, value);
  }
}

void ReportLayout::inputsAndOutputs(const Record& record) {
  // An id past the table shows as unknown, indented as the names are.
  auto named = [&](unsigned first, std::uint16_t id, std::uint16_t last) {
    const std::string known = str(first);
    return id <= last ? str(first + id) : known.substr(0, known.find_first_not_of(' ')) + str(kUnknown);
  };
  auto capacity = [&](std::uint32_t sheets) {
    if (sheets != kNotKnown) labelled(kCapacity, format("%lu ", sheets) + str(kSheets));
  };
  line(str(kInputs));
  for (const Input& input : record.inputs) {
    line(named(kFirstInput, input.id, kLastInputId));
    capacity(input.capacity);
    labelled(kFormSize, str(reportNameOf(kForms, input.form)));
    labelled(kTypeLabel, str(reportNameOf(kTypes, input.type)));
  }
  line(str(kOutputs));
  for (const Output& output : record.outputs) {
    line(named(kFirstOutput, output.id, kLastOutputId));
    capacity(output.capacity);
  }
}

void ReportLayout::resources(const Record& record) {
  const std::string& cartridge = record.texts[kCartridgeName];
  if (!record.ram && !record.flashSize && !record.diskSize && cartridge.empty()) return;
  line(str(kResources));
  if (record.ram) {
    line(str(kRam));
    labelled(kSize, Megabytes(record.ram, strings_));
  }
  if (record.flashSize) {
    line(str(kFlash));
    labelled(kSize, Megabytes(record.flashSize, strings_));
    labelled(kFree, Megabytes(record.flashFree, strings_));
  }
  if (record.diskSize) {
    line(str(kDisk));
    labelled(kSize, Megabytes(record.diskSize, strings_));
    labelled(kFree, Megabytes(record.diskFree, strings_));
    if (record.spoolPercent <= kSpoolNotKnown)
      labelled(kSpool, format("%lu", record.spoolPercent) + " " + str(kPercentOfDisk));
  }
  if (!cartridge.empty()) {
    line(str(kCartridge));
    labelled(kCartridgeNameLabel, cartridge);
    labelled(kCartridgeTypeLabel, record.texts[kCartridgeType]);
  }
}

bool ReportLayout::Add(const Record& record) {
  if (failed_) return false;
  if (!record.communication && !options_.includeNonBidirectional) return true;
  const std::string indent = str(kIndent);
  if (!options_.newPage) line(std::string(65, '-'));
  labelled(kPrinterName, record.name);
  for (const std::string& name : record.names) line(indent + name);
  labelled(kCommunication, str(record.communication ? kBidirectional : kNonBidirectional));

  bool first = true;
  for (const auto& protocol : kProtocols) {
    if (!(record.protocols & protocol.bit)) continue;
    if (first)
      labelled(kProtocol, str(protocol.name));
    else
      line(indent + str(protocol.name));
    first = false;
  }
  if (first) labelled(kProtocol, str(kUnknown));

  if (record.communication) {
    summary(record);
    if (record.duplex) {
      line(str(kDuplexer));
      if (record.duplex & 1) line(str(kShortEdge));
      if (record.duplex & 2) line(str(kLongEdge));
    }
    inputsAndOutputs(record);
    resources(record);
  }
  if (options_.newPage) y_ = metrics_.pageHeight;
  return !failed_;
}

bool ReportLayout::Finish() {
  if (failed_) return false;
  decorate();
  if (!emit_(current_)) return failed_ = true, false;
  return true;
}

std::vector<ReportPage> LayoutReport(const std::vector<Record>& records, const ReportMetrics& metrics,
                                     const ReportOptions& options, const StringSource& strings) {
  std::vector<ReportPage> pages;
  ReportLayout layout(metrics, options, strings, [&](const ReportPage& page) {
    pages.push_back(page);
    return true;
  });
  for (const Record& record : records) layout.Add(record);
  layout.Finish();
  return pages;
}

}  // namespace wf::inventory
