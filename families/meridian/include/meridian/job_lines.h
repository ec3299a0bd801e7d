#pragma once
// The job statistics lines of the Meridian family and their reading back:
// the texts of a line, the job line and the status line, one file line
// taken apart, and the totals of one printer's job lines in a file.
#include <cstddef>
#include <string>
#include <string_view>

#include "framework/win_types.h"
#include "prtobj/wfprtobj.h"

class CWFPortList;

namespace wf::meridian {

// A text placed in a line: CR, LF and NUL become blanks and "," becomes ";"
// (else it would shift the fields or forge records), cut to `limit` bytes
// on a character boundary.
std::string lineText(std::string_view text, std::size_t limit = std::string::npos);

struct JobLine {
  std::string text;
  ULONG sheets = 0;  // the sums over the sources read
  ULONG sides = 0;
};

// The lines take their texts through lineText. A line with its CR LF is at
// most 2,047 bytes: when it would be longer, the longest of its texts (the
// port text among them) are cut to one common length.
// `slots[i]`: the slot of input source i (ten entries); `extra` may be null.
JobLine buildJobLine(const std::string& port, const std::string& time, const WFPrtObj::JSALERTDATA& data,
                     const UINT* slots, const char* extra);
std::string buildStatusLine(const std::string& port, const std::string& time, const std::string& serial,
                            const std::string& status);

// `text` with `name` in place of its "%s"; the name is never a format.
std::string withName(const std::string& text, const std::string& name);

struct JobTotals {
  ULONG sheets = 0, duplex = 0, seconds = 0, jobs = 0;
  bool saturated = false;  // a total held at its largest value instead of wrapping
};
// The job lines of `ports` in the open file; over-long lines (above 2047
// bytes) and a last line without its end are not read.
JobTotals readTotals(int file, CWFPortList* ports);

}  // namespace wf::meridian

// Takes one file line apart in place: TRUE when it is a record (of `ports`
// when `portCheck`), with fields 4 and 6 to 41 in values[field], the month
// text and whether it is a job line (field 49 empty). Each number is an
// unsigned decimal of at most 4,294,967,295, as the writer prints it; any
// other makes the line no record.
BOOL ParseJSDataEntry(char* line, BOOL portCheck, char** month, long* values, BOOL* jobLine,
                      CWFPortList* ports);
