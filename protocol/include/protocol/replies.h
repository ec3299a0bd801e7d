#pragma once
// Reply and alert data layouts. A reply's data begins with the request's
// sub-code; every offset here counts from the byte after it, which is where
// the request object's decoding starts. Numbers are big-endian.
#include <cstddef>
#include <cstdint>

namespace wf::protocol::reply {

constexpr std::size_t kSubCodeSize = 1;  // the echoed sub-code the offsets below skip

// Device characteristics summary: fixed fields, then three texts (model,
// revision, serial), each a length byte and its bytes.
namespace summary {
constexpr std::size_t kByte2 = 2;
constexpr std::size_t kDuplex = 7;
constexpr std::size_t kSpeed = 11;
constexpr std::size_t kMemoryBytes = 19;  // BE32
constexpr std::size_t kMaxPacket = 23;    // BE16
constexpr std::size_t kTexts = 33;
}  // namespace summary

// Lists (trays, bins, storage, page counts, alert lists): a count byte, then
// the entries.
constexpr std::size_t kListCount = 0;
constexpr std::size_t kListEntries = 1;

// Input source entry: fixed fields, the name as a text, then a length byte
// and that many further bytes.
namespace input {
constexpr std::size_t kId = 0;
constexpr std::size_t kCapacity = 1;  // BE32
constexpr std::size_t kPaperType = 8;
constexpr std::size_t kFormSize = 9;
constexpr std::size_t kName = 30;  // the name's length byte
// The capacity bytes of a 500-sheet tray that carry the number in their first two.
constexpr std::uint32_t kCapacity500Bytes = 0x01F44164;
}  // namespace input

// Output bin entry: fixed fields, then the name as a text.
namespace output {
constexpr std::size_t kId = 0;
constexpr std::size_t kType = 1;
constexpr std::size_t kCapacity = 2;  // BE32
constexpr std::size_t kFlags1 = 6;
constexpr std::size_t kFlags2 = 7;
constexpr std::size_t kName = 8;  // the name's length byte
}  // namespace output

// Storage options: each entry a text "FLASH: 1;...", "DISK: 1;...".
// Page counts: each entry a kind byte and a BE32 count.
namespace pages {
constexpr std::size_t kEntrySize = 5;
constexpr std::uint8_t kTotal = 1, kSecond = 2, kFourth = 4;  // kinds the host keeps
}  // namespace pages

// Alert list entry: three key bytes, a length byte and that many bytes; a
// supplies-status entry is four bytes.
namespace alert_list {
constexpr std::size_t kLength = 3;
constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kSuppliesStatusSize = 4;
}  // namespace alert_list

// Variable replies echo the operation and the BE16 name, then the value.
namespace variable {
constexpr std::size_t kOperation = 0;
constexpr std::size_t kName = 1;  // BE16
constexpr std::size_t kValue = 3;
}  // namespace variable

// A panel command's reply echoes a zero and the command byte.
namespace panel_command {
constexpr std::size_t kZero = 1;
constexpr std::size_t kCommand = 2;
}  // namespace panel_command

// The operator panel's display.
namespace panel {
constexpr std::size_t kColumns = 20;
constexpr std::size_t kLines = 4;
constexpr std::size_t kSize = kColumns * kLines;
}  // namespace panel

// Class-alert data after its two header bytes.
namespace job_statistics {
constexpr std::size_t kEntryCount = 0;
constexpr std::size_t kWord1 = 1;
constexpr std::size_t kWord2 = 2;    // BE16
constexpr std::size_t kSeconds = 4;  // BE16
constexpr std::size_t kEntries = 6;  // each three BE32 counts
constexpr std::size_t kEntrySize = 12;
constexpr std::size_t kGapAfterEntries = 2;  // then a value byte and two texts
}  // namespace job_statistics

// Resource-management alert data, counted from the alert tag.
namespace resource_alert {
constexpr std::size_t kKind = 2;
constexpr std::size_t kMore = 3;
constexpr std::size_t kResult = 4;       // BE32
constexpr std::size_t kEntryLength = 8;  // BE16
constexpr std::size_t kEntryText = 10;
constexpr std::uint8_t kEntry = 16, kDeleted = 17, kMoved = 18, kFormatted = 19, kCopied = 20;
// Job buffering: the partition or a port's switch changed.
constexpr std::uint8_t kPartitionChanged = 82, kPortChanged = 83;
constexpr std::uint32_t kDone = 0, kNoSuchFile = 1, kNoSuchDevice = 2, kNoRoom = 3;
}  // namespace resource_alert

// A resource command's bytes after the sub-code: operation, device, and for
// a copy the target device and the move flag; then the file name. The reply
// acknowledges with 0 (taken) or 1 (refused) after the sub-code.
namespace resource_command {
constexpr std::uint8_t kList = 1, kFormat = 2, kDelete = 3, kCopy = 4;
constexpr std::uint8_t kDisk = 1, kFlash = 2;
constexpr std::uint8_t kTaken = 0, kRefused = 1;
// Job buffering: summary (reply: ack, percent, n, n x kind active set);
// partition (percent); port switch (kind, on).
constexpr std::uint8_t kBufferingSummary = 5, kBufferingPartition = 6, kBufferingPort = 7;
}  // namespace resource_command

}  // namespace wf::protocol::reply
