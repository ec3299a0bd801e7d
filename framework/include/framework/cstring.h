#pragma once
// The framework's text value: UTF-8, lengths and positions in bytes.
// Comparisons are byte-wise; the no-case forms and the case changes fold
// letters outside ASCII as well.
#include <cstdarg>
#include <functional>
#include <string>
#include <string_view>

#include "framework/win_types.h"

class CString {
 public:
  CString() = default;
  CString(LPCSTR text) : text_(text ? text : "") {}
  CString(LPCSTR text, int length);
  CString(char ch, int repeat = 1);
  CString(std::string text) : text_(std::move(text)) {}
  CString(std::string_view text) : text_(text) {}

  int GetLength() const { return static_cast<int>(text_.size()); }
  BOOL IsEmpty() const { return text_.empty(); }
  void Empty() { text_.clear(); }
  char GetAt(int index) const { return text_.at(static_cast<std::size_t>(index)); }
  char operator[](int index) const { return GetAt(index); }
  void SetAt(int index, char ch) { text_.at(static_cast<std::size_t>(index)) = ch; }

  operator LPCSTR() const { return text_.c_str(); }
  const std::string& str() const { return text_; }

  CString& operator=(LPCSTR text);
  CString& operator=(char ch);
  CString& operator+=(const CString& other);
  CString& operator+=(LPCSTR text);
  CString& operator+=(char ch);

  // <0, 0, >0 like strcmp; the no-case form folds case first.
  int Compare(LPCSTR other) const;
  int CompareNoCase(LPCSTR other) const;

  // Byte positions; -1 when not found. `start` is where the search begins.
  int Find(char ch, int start = 0) const;
  int Find(LPCSTR sub, int start = 0) const;
  int ReverseFind(char ch) const;

  // Counts are clamped to the text, so out-of-range requests give what exists.
  CString Left(int count) const;
  CString Mid(int first) const;
  CString Mid(int first, int count) const;
  CString Right(int count) const;

  void MakeUpper();
  void MakeLower();
  void TrimLeft();  // white space as isspace in the C locale
  void TrimRight();

  // printf-style formatting into this string.
  void Format(LPCSTR format, ...) __attribute__((format(printf, 2, 3)));
  void FormatV(LPCSTR format, va_list args);

  // The text of string resource `id` through the installed lookup. Unknown
  // ids (or no lookup) give FALSE and an empty string.
  BOOL LoadString(UINT id);

  // Room for at least `minLength` bytes plus the terminator; ReleaseBuffer
  // takes the length from the terminator when `newLength` is -1.
  LPSTR GetBuffer(int minLength);
  void ReleaseBuffer(int newLength = -1);

 private:
  std::string text_;
};

CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, LPCSTR b);
CString operator+(LPCSTR a, const CString& b);
CString operator+(const CString& a, char b);
CString operator+(char a, const CString& b);

inline bool operator==(const CString& a, const CString& b) {
  return a.Compare(b) == 0;
}
inline bool operator==(const CString& a, LPCSTR b) {
  return a.Compare(b) == 0;
}
inline bool operator==(LPCSTR a, const CString& b) {
  return b.Compare(a) == 0;
}
inline bool operator!=(const CString& a, const CString& b) {
  return a.Compare(b) != 0;
}
inline bool operator!=(const CString& a, LPCSTR b) {
  return a.Compare(b) != 0;
}
inline bool operator!=(LPCSTR a, const CString& b) {
  return b.Compare(a) != 0;
}
inline bool operator<(const CString& a, const CString& b) {
  return a.Compare(b) < 0;
}
inline bool operator>(const CString& a, const CString& b) {
  return a.Compare(b) > 0;
}
inline bool operator<=(const CString& a, const CString& b) {
  return a.Compare(b) <= 0;
}
inline bool operator>=(const CString& a, const CString& b) {
  return a.Compare(b) >= 0;
}

// Loads string `id` and puts the given texts in for "%1".."%9"; a marker
// without a text stays as it is. A missing string gives an empty result.
void AfxFormatString1(CString& result, UINT id, LPCSTR text1);
void AfxFormatString2(CString& result, UINT id, LPCSTR text1, LPCSTR text2);
void AfxFormatStrings(CString& result, LPCSTR format, const LPCSTR* texts, int count);

namespace wf::fw {

// Replaces where LoadString finds its texts, which is the resource libraries
// in their search order (resources.h). Returns false when it has no text for
// the id. Empty goes back to the resource libraries.
using StringLookup = std::function<bool(UINT id, std::string& text)>;
void setStringLookup(StringLookup lookup);

}  // namespace wf::fw
