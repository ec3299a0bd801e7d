#include "meridian/job_lines.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "common/ports.h"
#include "common/text_helpers.h"

namespace wf::meridian {

namespace {

constexpr int kSlots = 10;
constexpr std::size_t kLineBuffer = 2048;
// With its CR LF, within what a reader's buffer holds beside the NUL.
constexpr std::size_t kLongestLine = kLineBuffer - 1;
constexpr std::uint64_t kJobCounterMax = 0xFFFFFFFFu;  // ULONG, and the writer's counters
constexpr std::uint64_t kJobSumMax = ~std::uint64_t{0};

std::string number(unsigned long value) {
  return std::to_string(value);
}

void cutOnCharacter(std::string& text, std::size_t limit) {
  if (text.size() <= limit) return;
  std::size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  text.resize(cut);
}

// The texts share what the rest of the line leaves of a reader's line
// buffer; only the longest are cut, down to one common length.
void fitTexts(const std::vector<std::string*>& texts, std::size_t fixed) {
  const std::size_t room = kLongestLine > fixed ? kLongestLine - fixed : 0;
  const auto within = [&texts](std::size_t cap) {
    std::size_t total = 0;
    for (const std::string* text : texts) total += std::min(text->size(), cap);
    return total;
  };
  std::size_t longest = 0;
  for (const std::string* text : texts) longest = std::max(longest, text->size());
  if (within(longest) <= room) return;
  std::size_t low = 0, high = longest;  // within(low) fits, within(high) does not
  while (high - low > 1) {
    const std::size_t middle = low + (high - low) / 2;
    (within(middle) <= room ? low : high) = middle;
  }
  for (std::string* text : texts) cutOnCharacter(*text, low);
}

}  // namespace

std::string lineText(std::string_view text, std::size_t limit) {
  std::string out;
  for (char c : text) out += (c == '\r' || c == '\n' || c == '\0') ? ' ' : c == ',' ? ';' : c;
  cutOnCharacter(out, limit);
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
  std::string counts = "," + time + "," + number(data.entryCount) + "," + number(data.word1) + "," +
                       number(data.word2) + "," + number(data.seconds);
  for (const auto& triple : triples)
    counts += "," + number(triple.sheets) + "," + number(triple.sides) + "," + number(triple.third);
  counts += "," + number(data.field);
  const std::string tail = std::string(",,,") + (extra ? extra : "") + "\r\n";
  std::string portText = lineText(port);
  std::string texts[7];
  std::vector<std::string*> cut{&portText};
  std::size_t fixed = counts.size() + tail.size();
  int at = 0;
  for (const std::string* text :
       {&data.host, &data.user, &data.sc, &data.jobName, &data.queue, &data.remaining, &data.secondText}) {
    texts[at] = lineText(*text);
    cut.push_back(&texts[at++]);
    ++fixed;  // its comma
  }
  fitTexts(cut, fixed);
  std::string& t = line.text;
  t = portText + counts;
  for (const std::string& text : texts) t += "," + text;
  t += tail;
  return line;
}

std::string buildStatusLine(const std::string& port, const std::string& time, const std::string& serial,
                            const std::string& status) {
  std::string portText = lineText(port), serialText = lineText(serial), statusText = lineText(status);
  std::string zeros = "," + time + ",";
  for (int i = 0; i < 35; ++i) zeros += "0,";
  zeros += ",,,,,,";
  const std::string comma = ",", end = "\r\n";
  fitTexts({&portText, &serialText, &statusText}, zeros.size() + comma.size() + end.size());
  return portText + zeros + serialText + comma + statusText + end;
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
  std::uint64_t jobs = 0, seconds = 0, sheets = 0, sides = 0;
  const auto add = [](std::uint64_t& total, std::uint64_t value) {
    total = value > kJobSumMax - total ? kJobSumMax : total + value;
  };
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
    // Each counter is at most 32 bits, so a line's sums fit; the totals saturate.
    std::uint64_t lineSheets = 0, lineSides = 0;
    for (int field = 11; field <= 38; field += 3) {
      lineSheets += static_cast<std::uint64_t>(values[field]);
      lineSides += static_cast<std::uint64_t>(values[field + 1]);
    }
    add(jobs, 1);
    add(seconds, static_cast<std::uint64_t>(values[10]));
    add(sheets, lineSheets);
    add(sides, lineSides);
  }
  const auto capped = [&totals](std::uint64_t value) {
    if (value <= kJobCounterMax) return static_cast<ULONG>(value);
    totals.saturated = true;
    return static_cast<ULONG>(kJobCounterMax);
  };
  totals.jobs = capped(jobs);
  totals.seconds = capped(seconds);
  totals.sheets = capped(sheets);
  totals.duplex = capped(sides > sheets ? sides - sheets : 0);
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
    // As the writer prints a 32-bit counter: digits only, no sign, no more than 32 bits.
    std::uint64_t value = 0;
    for (const char* digit = field; *digit; ++digit) {
      if (*digit < '0' || *digit > '9') return FALSE;
      value = value * 10 + static_cast<std::uint64_t>(*digit - '0');
      if (value > wf::meridian::kJobCounterMax) return FALSE;
    }
    values[n] = static_cast<long>(value);
  }
  return TRUE;
}
