#include "meridian/job_lines.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/ports.h"
#include "common/text_helpers.h"

namespace wf::meridian {

namespace {

constexpr int kSlots = 10;
constexpr std::size_t kLineBuffer = 2048;

std::string number(unsigned long value) {
  return std::to_string(value);
}

}  // namespace

std::string lineText(std::string_view text, std::size_t limit) {
  std::string out;
  for (char c : text) out += (c == '\r' || c == '\n' || c == '\0') ? ' ' : c == ',' ? ';' : c;
  if (out.size() > limit) {
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out.resize(cut);
  }
  return out;
}

JobLine buildJobLine(const std::string& port, const std::string& time, const WFPrtObj::JSALERTDATA& data,
                     const UINT* slots, const char* extra) {
  JobLine line;
  WFPrtObj::JSSHEETS triples[kSlots];
  // The record holds ten sources; the tenth has no slot of its own.
  const int sources = std::min<int>(data.entryCount, WFPrtObj::kJobStatSlots - 1);
  for (int source = 1; source <= sources; ++source) {
    WFPrtObj::JSSHEETS entry = data.entries[source];
    if (entry.third == 0xFFFFFFFF) entry.third = 0;
    line.sheets += entry.sheets;
    line.sides += entry.sides;
    if (source < kSlots && slots[source] < static_cast<UINT>(kSlots)) triples[slots[source]] = entry;
  }
  std::string& t = line.text;
  t = port + "," + time + "," + number(data.entryCount) + "," + number(data.word1) + "," +
      number(data.word2) + "," + number(data.seconds);
  for (const auto& triple : triples)
    t += "," + number(triple.sheets) + "," + number(triple.sides) + "," + number(triple.third);
  t += "," + number(data.field);
  for (const std::string* text :
       {&data.host, &data.user, &data.sc, &data.jobName, &data.queue, &data.remaining, &data.secondText})
    t += "," + lineText(*text, 190);
  t += ",,,";
  if (extra) t += extra;
  t += "\r\n";
  return line;
}

std::string buildStatusLine(const std::string& port, const std::string& time, const std::string& serial,
                            const std::string& status) {
  std::string t = port + "," + time + ",";
  for (int i = 0; i < 35; ++i) t += "0,";
  return t + ",,,,,," + serial + "," + status + "\r\n";
}

std::string withName(const std::string& text, const std::string& name) {
  std::string out = text;
  if (const auto at = out.find("%s"); at != std::string::npos) out.replace(at, 2, name);
  return out;
}

JobTotals readTotals(int file, CWFPortList* ports) {
  JobTotals totals;
  LineReader reader(
      [file](char* buffer, std::size_t bytes) { return static_cast<long>(::read(file, buffer, bytes)); });
  std::string line, lastPort;
  bool lastMatched = false;
  bool complete = false;
  while (reader.next(line, &complete)) {
    if (!complete || line.size() >= kLineBuffer) continue;
    // Lines of one port follow each other: its port check is made once.
    const std::string port = line.substr(0, line.find(','));
    if (port != lastPort || lastPort.empty()) {
      CWFPortList own(port.c_str());
      lastMatched = !own.IsEmpty() && ports && own.Matches(ports);
      lastPort = port;
    }
    if (!lastMatched) continue;
    char buffer[kLineBuffer];
    std::memcpy(buffer, line.c_str(), line.size() + 1);
    char* month = nullptr;
    long values[50] = {};
    BOOL job = FALSE;
    if (!ParseJSDataEntry(buffer, FALSE, &month, values, &job, ports) || !job) continue;
    long sheets = 0, sides = 0;
    for (int field = 11; field <= 38; field += 3) {
      sheets += values[field];
      sides += values[field + 1];
    }
    ++totals.jobs;
    totals.seconds += static_cast<ULONG>(values[10]);
    totals.sheets += static_cast<ULONG>(sheets);
    totals.duplex += static_cast<ULONG>(sides - sheets);
  }
  return totals;
}

}  // namespace wf::meridian

BOOL ParseJSDataEntry(char* line, BOOL portCheck, char** month, long* values, BOOL* jobLine,
                      CWFPortList* ports) {
  char* comma = std::strchr(line, ',');
  if (!comma) return FALSE;
  if (portCheck) {
    const std::string text(line, static_cast<std::size_t>(comma - line));
    CWFPortList own(text.c_str());
    if (own.IsEmpty() || !ports || !own.Matches(ports)) return FALSE;
  }
  char* field = StrParse(line, ',');  // field 1
  for (int n = 2; n <= 49; ++n) {
    field = StrParse(nullptr, ',');
    if (!field) return FALSE;
    StrStrip(field);
    if (n == 2 || n == 5 || (n >= 42 && n <= 48)) continue;
    if (n == 3) {
      *month = field;
      continue;
    }
    if (n == 49) {
      *jobLine = *field == '\0';
      continue;
    }
    if (*field == '\0') {
      values[n] = 0;
      continue;
    }
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(field, &end, 10);
    if (errno != 0 || *end != '\0') return FALSE;
    values[n] = value;
  }
  return TRUE;
}
