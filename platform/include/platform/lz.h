#pragma once
// Compressed distribution files under the original expansion calls, and the
// compressor that makes them. The format: bytes 0-7 "SZDD" 88 F0 27 33,
// byte 8 the mode ('A'), byte 9 the last character of the expanded name
// (0: none), bytes 10-13 the expanded size (little-endian), then LZSS: a
// 4096-byte window filled with spaces, written from 4080; each control byte's
// bits, from bit 0, tell a literal (set) or a match (clear: two bytes b0, b1,
// offset b0 + ((b1 & 0xF0) << 4), length (b1 & 0x0F) + 3, copied byte by
// byte through the window). Expansion streams through fixed buffers, so
// memory stays bounded whatever the stated size.
//
// Names are system paths (mapSystemPath); Linux paths pass through.
#include <cstdint>
#include <string>

#include "platform/win_types.h"

namespace wf {

using INT = int;

constexpr INT LZERROR_BADINHANDLE = -1;
constexpr INT LZERROR_BADOUTHANDLE = -2;
constexpr INT LZERROR_READ = -3;
constexpr INT LZERROR_WRITE = -4;
constexpr INT LZERROR_GLOBALLOC = -5;
constexpr INT LZERROR_BADVALUE = -7;
constexpr INT LZERROR_UNKNOWNALG = -8;

constexpr WORD OF_READ = 0x0000;
constexpr WORD OF_CREATE = 0x1000;

constexpr std::size_t OFS_MAXPATHNAME = 128;

// What an open tells: the system error of a failed open (0 otherwise) and the
// mapped name, cut to fit and always terminated.
struct OFSTRUCT {
  BYTE cBytes;
  BYTE fFixedDisk;
  WORD nErrCode;
  WORD Reserved1;
  WORD Reserved2;
  char szPathName[OFS_MAXPATHNAME];
};

// OF_READ: a compressed file opens for expansion, any other for a plain copy;
// a compressed file with a damaged header answers LZERROR_READ, one of a mode
// other than 'A' LZERROR_UNKNOWNALG. OF_CREATE: the target, created or
// emptied. Other styles: LZERROR_BADVALUE. A file that cannot be opened:
// LZERROR_BADINHANDLE. Otherwise a handle, 0 or above.
INT LZOpenFileA(const char* fileName, OFSTRUCT* reOpenBuffer, WORD style);

// Expands (or copies) the whole source into a target opened with OF_CREATE,
// which takes the source's permission bits. Answers the bytes written (at
// most 0x7FFFFFFF told) or an LZERROR_*: an expansion shorter than its stated
// size is LZERROR_READ, a longer one is cut at the size.
LONG LZCopy(INT source, INT destination);

void LZClose(INT file);

// The name a compressed file expands to: a trailing '_' becomes the stored
// character, in lower case when the name's last letter before it is; with no
// stored character the '_' goes. Any other file keeps its name. `buffer`
// holds at least the source name and its terminator. TRUE, or
// LZERROR_BADINHANDLE when the file cannot be read.
INT GetExpandedNameA(const char* source, char* buffer);

// The compressor of the same format: greedy matches up to 18 bytes within the
// window, matches into the initial spaces and across the window's wrap
// included. `stored` is the character the expansion puts back for the
// trailing '_' (0: none). False with *error set when the source cannot be
// read, the target written, or the source holds 4 GiB or more.
bool lzCompressFile(const std::string& source, const std::string& target, char stored, std::string* error);

// The compressor over memory, for callers that hold the bytes already.
std::string lzCompress(const std::string& data, char stored);

}  // namespace wf
