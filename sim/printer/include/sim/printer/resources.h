#pragma once
// Disk and flash resource management: the commands a host sends with
// request 113 (NPA command 0xE1, sub-code 0), carried out on a profile's
// devices. The printer only acknowledges a command; its outcome goes to the
// host afterwards as class-2 alerts (alerts::encodeResourceAlert).
//
// Command bytes after the sub-code:
//   1 device                   list the device's files
//   2 device                   format the device
//   3 device name...           delete a file
//   4 from to move name...     copy a file (move != 0: move it)
// and job buffering:
//   5                          summary: answered at once (bufferingSummary)
//   6 percent                  partition the disk: 0, or 10 to 100
//   7 kind on                  switch a port's buffering at the next power-on reset
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/replies.h"
#include "sim/printer/profile.h"

namespace wf::sim::resources {

using protocol::reply::resource_command::kDisk;
using protocol::reply::resource_command::kFlash;
// Alert kinds and the results they carry.
using protocol::reply::resource_alert::kCopied;
using protocol::reply::resource_alert::kDeleted;
using protocol::reply::resource_alert::kDone;
using protocol::reply::resource_alert::kEntry;
using protocol::reply::resource_alert::kFormatted;
using protocol::reply::resource_alert::kMoved;
using protocol::reply::resource_alert::kNoRoom;
using protocol::reply::resource_alert::kNoSuchDevice;
using protocol::reply::resource_alert::kNoSuchFile;
using protocol::reply::resource_alert::kPartitionChanged;
using protocol::reply::resource_alert::kPortChanged;

// A storage text of a declared device ("FLASH: ..." or "DISK: ...") as the
// device stands now: "FLASH: 1;TOTAL: capacity;FREE SPACE: what the files
// leave". Other texts come back as they are.
std::string liveStorageText(const std::string& text, const std::map<std::uint8_t, StorageDevice>& devices);

// "device;name;id;type;size;description", size in decimal.
std::string entryText(std::uint8_t device, const StoredFile& file);

// Empty when the printer refuses the command (unknown operation, missing
// bytes, a device other than 1 or 2, no file name, a copy onto its own
// device; a partition other than 0 or 10 to 100 or without a disk; a port
// the printer lacks); otherwise the alert data telling its outcome, in
// order: a listing gives one entry per file, "more" set on all but the last,
// or one entry without text for an empty or missing device. A new partition
// empties the disk and reports kind 82 unless it is 0 (then nothing); a
// port's switch reports kind 83.
std::optional<std::vector<std::string>> carryOut(Profile& printer, std::string_view command);

// What follows the acknowledgement of a summary: percent, count, and
// kind active set per port.
std::string bufferingSummary(const Profile& printer);

// A power-on reset: each port's buffering becomes as it was set.
void applyBufferingSettings(Profile& printer);

}  // namespace wf::sim::resources
