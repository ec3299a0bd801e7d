#include "wfprm/wfprm.h"

#include <vector>

#include "broker/corbce.h"
#include "platform/byte_codec.h"
#include "protocol/alert_classes.h"
#include "protocol/replies.h"
#include "prtobj/prtobj_util.h"

namespace {

using LONG = WFPrtObj::LONG;
constexpr LONG kBadReply = -2;
namespace command = wf::protocol::reply::resource_command;
namespace alert = wf::protocol::reply::resource_alert;

}  // namespace

// The object's request primitives are protected; this stand-in is their friend.
class WFPrm {
 public:
  // `rest`, when given, reads what follows the acknowledgement.
  template <class Rest>
  static LONG command(WFPrtObj& obj, std::vector<std::uint8_t> data, Rest&& rest) {
    void* reply = nullptr;
    WFPrtObj::ULONG len = 0;
    LONG rc = obj.bidiQuery(kResMgmtRequest, data.data(), static_cast<WFPrtObj::ULONG>(data.size()), &reply,
                            &len, 1, 0);
    if (rc == 0) {
      wf::ByteReader in(std::string_view(static_cast<const char*>(reply), reply ? len : 0));
      std::uint8_t ack = command::kRefused;
      if (!in.u8(ack) || ack != command::kTaken || !rest(in)) rc = kBadReply;
    }
    wfPrtObjFree(reply);
    return rc;
  }
  static LONG command(WFPrtObj& obj, std::vector<std::uint8_t> data) {
    return command(obj, std::move(data), [](wf::ByteReader&) { return true; });
  }

  static LONG alert(WFPrtObj& obj, WFPrtObj::USHORT key, WFPrtObj::DEVICEMGMTALERTDATA* record) {
    void* data = nullptr;
    WFPrtObj::ULONG len = 0;
    LONG rc = obj.bidiQueryAlert(key, WM_BCE_ALERT_2, &data, &len, 2);
    if (rc == 0) rc = parseResMgmtAlertData(data, len, record);
    wfPrtObjFree(data);
    return rc;
  }
};

namespace {

std::vector<std::uint8_t> withName(std::vector<std::uint8_t> head, const std::string& name) {
  head.insert(head.end(), name.begin(), name.end());
  return head;
}

std::uint8_t deviceByte(WFPrtObj::DEVICEID device) {
  return static_cast<std::uint8_t>(device);
}

}  // namespace

WF_MODULE_EXPORT LONG bidiResMgmtFileListing(WFPrtObj& obj, WFPrtObj::DEVICEID device) {
  return WFPrm::command(obj, {command::kList, deviceByte(device)});
}

WF_MODULE_EXPORT LONG bidiResMgmtFormat(WFPrtObj& obj, WFPrtObj::DEVICEID device) {
  return WFPrm::command(obj, {command::kFormat, deviceByte(device)});
}

WF_MODULE_EXPORT LONG bidiResMgmtDeleteFile(WFPrtObj& obj, const std::string& file,
                                            WFPrtObj::DEVICEID device) {
  std::string name;
  if (!utf8ToCp850(file, &name)) return kBadReply;
  return WFPrm::command(obj, withName({command::kDelete, deviceByte(device)}, name));
}

WF_MODULE_EXPORT LONG bidiResMgmtCopyFile(WFPrtObj& obj, const std::string& file, WFPrtObj::DEVICEID from,
                                          WFPrtObj::DEVICEID to, int move) {
  // Names come back decoded from the printer's code page; they go out in it.
  std::string name;
  if (!utf8ToCp850(file, &name)) return kBadReply;
  return WFPrm::command(obj, withName({command::kCopy, deviceByte(from), deviceByte(to),
                                       static_cast<std::uint8_t>(move ? 1 : 0)},
                                      name));
}

WF_MODULE_EXPORT LONG bidiResMgmtQueryJobBufferingSummary(WFPrtObj& obj, WFPrtObj::ULONG* percent,
                                                          WFPrtObj::ULONG* count,
                                                          std::vector<RM_JOBBUFFSUMMARY>* ports) {
  if (!percent || !count || !ports) return -18;
  std::uint8_t gotPercent = 0;
  std::vector<RM_JOBBUFFSUMMARY> got;
  const LONG rc = WFPrm::command(obj, {command::kBufferingSummary}, [&](wf::ByteReader& in) {
    std::uint8_t n = 0;
    if (!(in.u8(gotPercent) && in.u8(n)) || gotPercent > 100) return false;
    for (std::uint8_t i = 0; i < n; ++i) {
      std::uint8_t kind = 0, active = 0, set = 0;
      if (!(in.u8(kind) && in.u8(active) && in.u8(set))) return false;
      if (kind > 5 || kind == 4) return false;
      got.push_back({0, kind, active, set});
    }
    return true;
  });
  if (rc != 0) return rc;
  *percent = gotPercent;
  *count = static_cast<WFPrtObj::ULONG>(got.size());
  *ports = std::move(got);
  return 0;
}

WF_MODULE_EXPORT LONG bidiResMgmtSetBufferingPartition(WFPrtObj& obj, WFPrtObj::ULONG percent) {
  if (percent > 100) return kBadReply;
  return WFPrm::command(obj, {command::kBufferingPartition, static_cast<std::uint8_t>(percent)});
}

WF_MODULE_EXPORT LONG bidiResMgmtChangeBufferingState(WFPrtObj& obj, RM_PORTID port, int on) {
  if (port > 0xFF) return kBadReply;
  return WFPrm::command(
      obj, {command::kBufferingPort, static_cast<std::uint8_t>(port), static_cast<std::uint8_t>(on ? 1 : 0)});
}

WF_MODULE_EXPORT LONG bidiResMgmtQueryAlert(WFPrtObj& obj, WFPrtObj::USHORT key, void* record) {
  if (!record) return -18;
  return WFPrm::alert(obj, key, static_cast<WFPrtObj::DEVICEMGMTALERTDATA*>(record));
}

WF_MODULE_EXPORT LONG parseResMgmtAlertData(const void* data, long len,
                                            WFPrtObj::DEVICEMGMTALERTDATA* record) {
  namespace classes = wf::protocol::alerts;
  if (!data || !record || len < 0) return kBadReply;
  wf::ByteReader in(std::string_view(static_cast<const char*>(data), static_cast<std::size_t>(len)));
  std::uint8_t tag = 0, classByte = 0, kind = 0, more = 0;
  std::uint32_t result = 0;
  std::uint16_t entryLength = 0;
  std::string_view entry;
  if (!(in.u8(tag) && in.u8(classByte) && in.u8(kind) && in.u8(more) && in.be32(result) &&
        in.be16(entryLength) && in.bytes(entryLength, entry)))
    return kBadReply;
  if (tag != classes::kClassAlertTag || classByte != classes::kResourceByte) return kBadReply;
  const bool jobBuffering = kind == alert::kPartitionChanged || kind == alert::kPortChanged;
  if ((kind < alert::kEntry || kind > alert::kCopied) && !jobBuffering) return kBadReply;
  record->kind = kind;
  record->moreEntries = more;
  record->result = result;
  record->entry = cp850ToUtf8(entry);
  record->entryFlag = entryLength != 0 ? 1 : 0;
  return 0;
}

WF_MODULE_EXPORT LONG parseResMgmtDirectoryData(const std::string& entry,
                                                WFPrtObj::DEVICEDIRECTORYDATA* record) {
  if (!record) return -18;
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = entry.find(';', start);
    fields.push_back(entry.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos || fields.size() == 6) {
      if (end != std::string::npos) fields.back() += entry.substr(end);  // a description may hold ';'
      break;
    }
    start = end + 1;
  }
  if (fields.size() != 6 || (fields[0] != "1" && fields[0] != "2")) return kBadReply;
  record->device = fields[0] == "1" ? WFPrtObj::DEVICE_DISK : WFPrtObj::DEVICE_FLASH;
  record->name = fields[1];
  record->id = fields[2];
  record->type = fields[3];
  record->size = fields[4];
  record->description = fields[5];
  return 0;
}
