#pragma once
// Small text and file functions shared by every module, with the system's
// exact formats and edge behaviour.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/cstring.h"

// Reads one line from the open file descriptor, a byte at a time, into
// `buffer` (room for `capacity` bytes): the line feed and a carriage return
// before it are dropped and the text is terminated. FALSE at end of file, on
// a read error, or when the line does not fit; the bytes read so far stay.
BOOL GetLine(int file, char* buffer, std::size_t capacity);

// The two's complement of the 16-bit sum of the file's little-endian words,
// leaving out word number `position` (1 = the first); 0 for position 0 or
// when a read fails. An odd last byte keeps the previous word's high byte.
WORD GenFileCheckSum(UINT position, int file);
// The same sum, with a failed read told apart from a sum of 0: FALSE only
// when the system refuses a read (the end of the file is never a failure).
BOOL GenFileCheckSumChecked(UINT position, int file, WORD* sum);

// 1,234,567 / "  1,234" / "  5": groups of three, the leading group padded.
CString FormatNumberString(DWORD number);
// As above without padding of the thousands form, and "0" for zero.
void SizeToString(DWORD number, char* buffer);
// All decimal digits of the text read as one number, modulo 2^32.
DWORD StringToSize(LPCSTR text);

// Strips white space at both ends in place; returns `text` (null for null).
char* StrStrip(char* text);
// The next field of a parse cut in place at `separator`: a text starts a
// parse, null continues the calling thread's last one. Empty fields are kept;
// null when none is left.
char* StrParse(char* text, char separator);

// 1..12 for "jan".."dec" in any case, else 0.
int StrMonthToInt(LPCSTR text);

// '*' any run, '?' one character; case is ignored.
BOOL DoMatch(CString pattern, CString text);

namespace wf {

// Lines of any length from `source`, which answers like read(2): each line
// without its line feed and a carriage return before it, bytes (NULs too)
// as they are. A last line without a line feed is given as well, with
// *complete false.
class LineReader {
 public:
  using Source = std::function<long(char* buffer, std::size_t bytes)>;
  explicit LineReader(Source source) : source_(std::move(source)), buffer_(64 * 1024) {}
  // False at the end of the input or on a read error (failed() tells).
  bool next(std::string& line, bool* complete = nullptr);
  bool failed() const { return failed_; }

 private:
  Source source_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool done_ = false;
  bool failed_ = false;
};

}  // namespace wf
