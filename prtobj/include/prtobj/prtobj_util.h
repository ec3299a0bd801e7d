#pragma once
// Free functions exported beside WFPrtObj.
#include <cstdint>
#include <string>
#include <string_view>

struct PRTINFO;

void twoByteSwap(std::uint16_t* value);
void fourByteSwap(std::uint32_t* value);
// Big-endian reads at any byte address, as printer replies carry numbers.
std::uint32_t MakeULONG(const void* at);
std::uint32_t MakeUINT(const void* at);
std::uint16_t MakeUSHORT(const void* at);
std::uint8_t ReverseBits(std::uint8_t value);
void wfpoTrace(const char* format, ...);

// The one allocator of the reply buffers handed to callers: null instead of
// an exception when memory runs out. Free them with wfPrtObjFree.
void* wfPrtObjNew(std::uint32_t bytes);
void wfPrtObjFree(void* block);

// The node's 6 bytes as 12 upper-case hexadecimal digits.
void parseAdapterAddress(const PRTINFO* info, std::string* out);
// "0", "%3d", "%d,%03d" or "%d,%03d,%03d"; `out` holds at least 16 bytes.
void SizeToString(long n, char* out);
// The decimal digits of the text taken in order as one number ("3.10.0" is 3100).
long StrCodeLevelToLong(const std::string& text);
// "%d.%02d.%02d.%02d" of the file version, or "%d.%02d" when its low half is
// 0; empty when the file carries no version record.
void getWFDLLVersionNumber(const std::string& path, std::string* out);

// Printer text in code page 850 as UTF-8. Characters the host's display code
// page lacks (box drawing, blocks, florin, dotless i, double low line, black
// square) show as that code page's byte 0x80, the euro sign.
std::string cp850ToUtf8(std::string_view bytes);
// UTF-8 back to code page 850; false for text that is not UTF-8 or holds a
// character the code page cannot carry (the euro sign included: it stands
// for several printer characters).
bool utf8ToCp850(std::string_view text, std::string* out);
