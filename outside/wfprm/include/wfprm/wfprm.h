#pragma once
// Printer disk and flash resource management. Each command is one request
// through the printer object; its outcome arrives later as an alert of class
// 2 (WM_BCE_ALERT_2), fetched with bidiResMgmtQueryAlert.
//
// Request: code kResMgmtRequest (command 0xE1, sub-code 0) with the data
//   1 device                      list the device's directory
//   2 device                      format the device
//   3 device name...              delete a file
//   4 from to move name...        copy (move = 1: move) a file
//   5                             job-buffering summary: the acknowledgement
//                                 is followed by percent, n, then n times
//                                 kind active set (one byte each)
//   6 percent                     job-buffering partition (0 or 10..100)
//   7 kind on                     job buffering of one port (set at the
//                                 next power-on reset)
// The printer acknowledges with 0 when it takes the command; anything else -2.
// Partition and port changes are confirmed by alerts of kinds 82 and 83.
//
// Alert data: 03 02, kind, more-entries, result (BE32), entry length (BE16),
// entry bytes. Kinds: 16 directory entry, 17 delete done, 18 move done,
// 19 format done, 20 copy done, 82 partition changed, 83 port changed. more-entries is 0 on a listing's last
// entry (and on results); an empty listing sends one kind-16 record with no entry.
//
// Directory entry text: "device;name;id;type;size;description", device 1
// (disk) or 2 (flash), size in decimal bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/module.h"
#include "protocol/requests.h"
#include "prtobj/wfprtobj.h"

constexpr std::uint16_t kResMgmtRequest = wf::protocol::request::kResourceCommand;

// One port of the job-buffering summary.
struct RM_JOBBUFFSUMMARY {
  std::uint32_t reserved = 0;
  std::uint32_t portKind = 0;  // 0, 1, 2, 3 or 5
  std::uint32_t active = 0;    // buffering on now
  std::uint32_t set = 0;       // buffering after the next power-on reset
};
static_assert(sizeof(RM_JOBBUFFSUMMARY) == 16);
using RM_PORTID = std::uint32_t;

// -2 for a reply with a count past its data, a percent over 100 or an
// unknown port kind.
WF_MODULE_EXPORT WFPrtObj::LONG bidiResMgmtQueryJobBufferingSummary(WFPrtObj& obj, WFPrtObj::ULONG* percent,
                                                                    WFPrtObj::ULONG* count,
                                                                    std::vector<RM_JOBBUFFSUMMARY>* ports);
WF_MODULE_EXPORT WFPrtObj::LONG bidiResMgmtSetBufferingPartition(WFPrtObj& obj, WFPrtObj::ULONG percent);
WF_MODULE_EXPORT WFPrtObj::LONG bidiResMgmtChangeBufferingState(WFPrtObj& obj, RM_PORTID port, int on);

WF_MODULE_EXPORT WFPrtObj::LONG bidiResMgmtFileListing(WFPrtObj& obj, WFPrtObj::DEVICEID device);
WF_MODULE_EXPORT WFPrtObj::LONG bidiResMgmtFormat(WFPrtObj& obj, WFPrtObj::DEVICEID device);
WF_MODULE_EXPORT WFPrtObj::LONG bidiResMgmtDeleteFile(WFPrtObj& obj, const std::string& file,
                                                      WFPrtObj::DEVICEID device);
WF_MODULE_EXPORT WFPrtObj::LONG bidiResMgmtCopyFile(WFPrtObj& obj, const std::string& file,
                                                    WFPrtObj::DEVICEID from, WFPrtObj::DEVICEID to, int move);
// `record` is a DEVICEMGMTALERTDATA.
WF_MODULE_EXPORT WFPrtObj::LONG bidiResMgmtQueryAlert(WFPrtObj& obj, WFPrtObj::USHORT key, void* record);
// -2 for data that is not a complete resource-management alert.
WF_MODULE_EXPORT WFPrtObj::LONG parseResMgmtAlertData(const void* data, long len,
                                                      WFPrtObj::DEVICEMGMTALERTDATA* record);
// -2 for an entry without its six fields or with an unknown device.
WF_MODULE_EXPORT WFPrtObj::LONG parseResMgmtDirectoryData(const std::string& entry,
                                                          WFPrtObj::DEVICEDIRECTORYDATA* record);
