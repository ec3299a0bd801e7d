#include "framework/cstring.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "framework/resources.h"
#include "text_case.h"

namespace {

std::mutex lookupMutex;
wf::fw::StringLookup stringLookup;

bool isAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char asciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
char asciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
bool isBlank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

int sign(int v) {
  return (v > 0) - (v < 0);
}

}  // namespace

CString::CString(LPCSTR text, int length) {
  if (text && length > 0) text_.assign(text, static_cast<std::size_t>(length));
}

CString::CString(char ch, int repeat) {
  if (repeat > 0) text_.assign(static_cast<std::size_t>(repeat), ch);
}

CString& CString::operator=(LPCSTR text) {
  text_ = text ? text : "";
  return *this;
}

CString& CString::operator=(char ch) {
  text_.assign(1, ch);
  return *this;
}

CString& CString::operator+=(const CString& other) {
  text_ += other.text_;
  return *this;
}

CString& CString::operator+=(LPCSTR text) {
  if (text) text_ += text;
  return *this;
}

CString& CString::operator+=(char ch) {
  text_ += ch;
  return *this;
}

int CString::Compare(LPCSTR other) const {
  return sign(std::strcmp(text_.c_str(), other ? other : ""));
}

int CString::CompareNoCase(LPCSTR other) const {
  std::string_view b = other ? other : "";
  if (isAscii(text_) && isAscii(b)) {
    std::size_t n = std::min(text_.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
      char x = asciiLower(text_[i]), y = asciiLower(b[i]);
      if (x != y) return x < y ? -1 : 1;
    }
    return sign(static_cast<int>(text_.size()) - static_cast<int>(b.size()));
  }
  return wf::fw::compareNoCaseUtf8(text_, b);
}

int CString::Find(char ch, int start) const {
  if (start < 0 || start >= GetLength()) return -1;
  auto at = text_.find(ch, static_cast<std::size_t>(start));
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::Find(LPCSTR sub, int start) const {
  if (!sub || start < 0 || start > GetLength()) return -1;
  auto at = text_.find(sub, static_cast<std::size_t>(start));
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::ReverseFind(char ch) const {
  auto at = text_.rfind(ch);
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

CString CString::Left(int count) const {
  return Mid(0, count);
}

CString CString::Mid(int first) const {
  return Mid(first, GetLength());
}

CString CString::Mid(int first, int count) const {
  first = std::clamp(first, 0, GetLength());
  count = std::clamp(count, 0, GetLength() - first);
  return CString(text_.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(count)));
}

CString CString::Right(int count) const {
  count = std::clamp(count, 0, GetLength());
  return Mid(GetLength() - count, count);
}

void CString::MakeUpper() {
  if (isAscii(text_))
    std::transform(text_.begin(), text_.end(), text_.begin(), asciiUpper);
  else
    text_ = wf::fw::upperCaseUtf8(text_);
}

void CString::MakeLower() {
  if (isAscii(text_))
    std::transform(text_.begin(), text_.end(), text_.begin(), asciiLower);
  else
    text_ = wf::fw::lowerCaseUtf8(text_);
}

void CString::TrimLeft() {
  auto first = std::find_if_not(text_.begin(), text_.end(), isBlank);
  text_.erase(text_.begin(), first);
}

void CString::TrimRight() {
  auto last = std::find_if_not(text_.rbegin(), text_.rend(), isBlank);
  text_.erase(last.base(), text_.end());
}

void CString::Format(LPCSTR format, ...) {
  va_list args;
  va_start(args, format);
  FormatV(format, args);
  va_end(args);
}

void CString::FormatV(LPCSTR format, va_list args) {
  va_list measure;
  va_copy(measure, args);
  int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length < 0) {
    text_.clear();
    return;
  }
  std::string out(static_cast<std::size_t>(length) + 1, '\0');
  std::vsnprintf(out.data(), out.size(), format, args);
  out.resize(static_cast<std::size_t>(length));
  text_ = std::move(out);
}

BOOL CString::LoadString(UINT id) {
  wf::fw::StringLookup lookup;
  {
    std::lock_guard lock(lookupMutex);
    lookup = stringLookup;
  }
  std::string text;
  bool found = false;
  if (lookup) {
    found = lookup(id, text);
  } else if (LPCSTR resource = wf::fw::findString(id)) {
    text = resource;
    found = true;
  }
  if (found) {
    text_ = std::move(text);
    return TRUE;
  }
  text_.clear();
  return FALSE;
}

LPSTR CString::GetBuffer(int minLength) {
  if (minLength > GetLength()) text_.resize(static_cast<std::size_t>(minLength));
  return text_.data();
}

void CString::ReleaseBuffer(int newLength) {
  if (newLength < 0) newLength = static_cast<int>(std::strlen(text_.c_str()));
  text_.resize(static_cast<std::size_t>(std::min(newLength, GetLength())));
}

CString operator+(const CString& a, const CString& b) {
  return CString(a.str() + b.str());
}
CString operator+(const CString& a, LPCSTR b) {
  return CString(a) += b;
}
CString operator+(LPCSTR a, const CString& b) {
  return CString(a) += b;
}
CString operator+(const CString& a, char b) {
  return CString(a) += b;
}
CString operator+(char a, const CString& b) {
  return CString(a) += b;
}

void AfxFormatStrings(CString& result, LPCSTR format, const LPCSTR* texts, int count) {
  std::string out;
  for (const char* p = format ? format : ""; *p; ++p) {
    if (p[0] == '%' && p[1] >= '1' && p[1] <= '9' && p[1] - '1' < count) {
      if (const char* t = texts[p[1] - '1']) out += t;
      ++p;
    } else {
      out += *p;
    }
  }
  result = CString(std::move(out));
}

void AfxFormatString1(CString& result, UINT id, LPCSTR text1) {
  CString format;
  if (!format.LoadString(id)) {
    result.Empty();
    return;
  }
  AfxFormatStrings(result, format, &text1, 1);
}

void AfxFormatString2(CString& result, UINT id, LPCSTR text1, LPCSTR text2) {
  CString format;
  if (!format.LoadString(id)) {
    result.Empty();
    return;
  }
  const LPCSTR texts[] = {text1, text2};
  AfxFormatStrings(result, format, texts, 2);
}

namespace wf::fw {

void setStringLookup(StringLookup lookup) {
  std::lock_guard lock(lookupMutex);
  stringLookup = std::move(lookup);
}

}  // namespace wf::fw
