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

// A storage text of a declared device ("FLASH: ..." or "DISK: ...") as the
// device stands now: "FLASH: 1;TOTAL: capacity;FREE SPACE: what the files
// leave". Other texts come back as they are.
std::string liveStorageText(const std::string& text, const std::map<std::uint8_t, StorageDevice>& devices);

// "device;name;id;type;size;description", size in decimal.
std::string entryText(std::uint8_t device, const StoredFile& file);

// Empty when the printer refuses the command (unknown operation, missing
// bytes, a device other than 1 or 2, no file name, a copy onto its own
// device); otherwise the alert data telling its outcome, in order: a listing
// gives one entry per file, "more" set on all but the last, or one entry
// without text for an empty or missing device.
std::optional<std::vector<std::string>> carryOut(std::map<std::uint8_t, StorageDevice>& devices,
                                                 std::string_view command);

}  // namespace wf::sim::resources
