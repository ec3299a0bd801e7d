#include "common/text_helpers.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// Port lists are parsed on several threads at once, so each keeps its own place.
thread_local char* parseNext = nullptr;

// The run of wildcards skipped before a literal accepts `skipped` characters.
bool runAccepts(std::string_view run, std::size_t skipped) {
  const auto singles = static_cast<std::size_t>(std::count(run.begin(), run.end(), '?'));
  return run.find('*') != std::string_view::npos ? skipped >= singles : skipped == singles;
}

bool match(std::string_view pattern, std::string_view text) {
  std::size_t literal = 0;
  while (literal < pattern.size() && (pattern[literal] == '*' || pattern[literal] == '?')) ++literal;
  const std::string_view run = pattern.substr(0, literal);
  if (literal == pattern.size()) return run.empty() ? text.empty() : runAccepts(run, text.size());
  const char c = pattern[literal];
  const std::string_view rest = pattern.substr(literal + 1);
  for (std::size_t from = 0;;) {
    std::size_t at;
    if (run.empty()) {
      if (from >= text.size() || text[from] != c) return false;
      at = from;
    } else {
      at = text.find(c, from);
      if (at == std::string_view::npos) return false;
    }
    if (match(rest, text.substr(at + 1))) {
      if (run.empty() || runAccepts(run, at)) return true;
    } else if (run.empty()) {
      return false;
    }
    from = at + 1;
  }
}

}  // namespace

BOOL GetLine(int file, char* buffer, std::size_t capacity) {
  if (!buffer || capacity == 0) return FALSE;
  std::size_t length = 0;
  for (;;) {
    char c;
    const ssize_t got = ::read(file, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      buffer[length] = '\0';
      return FALSE;
    }
    if (c == '\n') {
      if (length > 0 && buffer[length - 1] == '\r') --length;
      buffer[length] = '\0';
      return TRUE;
    }
    if (length + 1 >= capacity) {
      buffer[length] = '\0';
      return FALSE;
    }
    buffer[length++] = c;
  }
}

BOOL GenFileCheckSumChecked(UINT position, int file, WORD* sum) {
  if (::lseek(file, 0, SEEK_SET) < 0) return FALSE;
  WORD total = 0;
  WORD counter = 0;
  // Kept between reads: an odd last byte replaces only the low byte.
  unsigned char word[2] = {0, 0};
  for (;;) {
    const ssize_t got = ::read(file, word, 2);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return FALSE;
    if (got == 0) break;
    ++counter;
    if (counter != position) total = static_cast<WORD>(total - (word[0] | (word[1] << 8)));
  }
  if (sum) *sum = total;
  return TRUE;
}

WORD GenFileCheckSum(UINT position, int file) {
  WORD sum = 0;
  if (position == 0 || !GenFileCheckSumChecked(position, file, &sum)) return 0;
  return sum;
}

CString FormatNumberString(DWORD number) {
  const DWORD millions = number / 1000000, thousands = number % 1000000 / 1000, units = number % 1000;
  CString text;
  if (millions)
    text.Format("%u,%03u,%03u", millions, thousands, units);
  else if (thousands)
    text.Format("%3u,%03u", thousands, units);
  else
    text.Format("%3u", units);
  return text;
}

void SizeToString(DWORD number, char* buffer) {
  if (!buffer) return;
  const DWORD millions = number / 1000000, thousands = number % 1000000 / 1000, units = number % 1000;
  // The longest text, "4294,967,295", takes 13 bytes.
  constexpr std::size_t kRoom = 14;
  if (millions)
    std::snprintf(buffer, kRoom, "%u,%03u,%03u", millions, thousands, units);
  else if (thousands)
    std::snprintf(buffer, kRoom, "%u,%03u", thousands, units);
  else if (units)
    std::snprintf(buffer, kRoom, "%3u", units);
  else
    std::snprintf(buffer, kRoom, "0");
}

DWORD StringToSize(LPCSTR text) {
  DWORD value = 0;
  for (const char* p = text; p && *p; ++p)
    if (std::isdigit(static_cast<unsigned char>(*p))) value = value * 10 + static_cast<DWORD>(*p - '0');
  return value;
}

char* StrStrip(char* text) {
  if (!text) return nullptr;
  std::size_t end = std::strlen(text);
  while (end > 0 && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  text[end] = '\0';
  std::size_t start = 0;
  while (start < end && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  std::memmove(text, text + start, end - start + 1);
  return text;
}

char* StrParse(char* text, char separator) {
  if (text) parseNext = text;
  char* field = parseNext;
  if (!field) return nullptr;
  char* end = std::strchr(field, separator);
  if (end) {
    *end = '\0';
    parseNext = end + 1;
  } else {
    parseNext = nullptr;
  }
  return field;
}

int StrMonthToInt(LPCSTR text) {
  static constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                            "jul", "aug", "sep", "oct", "nov", "dec"};
  if (!text) return 0;
  for (int i = 0; i < 12; ++i)
    if (::strcasecmp(text, kMonths[i]) == 0) return i + 1;
  return 0;
}

BOOL DoMatch(CString pattern, CString text) {
  pattern.MakeUpper();
  text.MakeUpper();
  return match(pattern.str(), text.str());
}

namespace wf {

bool LineReader::next(std::string& line, bool* complete) {
  line.clear();
  for (;;) {
    if (begin_ == end_) {
      if (done_) break;
      const long n = source_(buffer_.data(), buffer_.size());
      if (n <= 0) {
        failed_ = n < 0;
        done_ = true;
        break;
      }
      begin_ = 0;
      end_ = static_cast<std::size_t>(n);
    }
    const char* start = buffer_.data() + begin_;
    const auto* lf = static_cast<const char*>(std::memchr(start, '\n', end_ - begin_));
    if (!lf) {
      line.append(start, end_ - begin_);
      begin_ = end_;
      continue;
    }
    line.append(start, static_cast<std::size_t>(lf - start));
    begin_ += static_cast<std::size_t>(lf - start) + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (complete) *complete = true;
    return true;
  }
  if (line.empty()) return false;
  if (complete) *complete = false;
  return true;
}

}  // namespace wf
