#include "mail_protocol.h"

#include <algorithm>
#include <cstddef>

namespace wf::bce {
namespace {

namespace mailTimeouts = timeouts;

constexpr std::uint32_t final(std::uint32_t code) {
  return BCE_REPLY_FINAL | code;
}

// One request answered by one final reply.
constexpr RequestKind asked(std::uint32_t code, const char* worker, std::size_t record, bool fromNamedApp,
                            std::uint32_t wait) {
  return {code, worker,      record, Trailing::None, 0, 0, fromNamedApp, ReplyShape::Final, wait,
          wait, final(code), 0,      mailTimeouts::kPurgeShort};
}

// A request whose record is followed by the bytes a field of it counts.
constexpr RequestKind counted(RequestKind k, std::size_t countOffset, std::size_t countSize) {
  k.trailing = Trailing::Counted;
  k.countOffset = countOffset;
  k.countSize = countSize;
  return k;
}

// Items, then the final reply.
constexpr RequestKind streamed(std::uint32_t code, const char* worker, std::size_t record,
                               std::uint32_t firstWait, std::uint32_t nextWait, std::uint32_t finalReply,
                               std::uint32_t itemReply) {
  return {code,     worker,     record,    Trailing::None, 0, 0, true, ReplyShape::Streamed, firstWait,
          nextWait, finalReply, itemReply, mailTimeouts::kPurgeLong};
}

// Nothing is awaited.
constexpr RequestKind told(std::uint32_t code, const char* worker, std::size_t record, bool fromNamedApp) {
  return {code, worker, record, Trailing::None, 0, 0, fromNamedApp, ReplyShape::None, 0, 0, 0, 0, 0};
}

#define WF_COUNT_FIELD(Record, field) offsetof(Record, field), sizeof(Record::field)

constexpr RequestKind kRequests[] = {
    asked(BCE_REQ_REGISTER, "register", sizeof(BCEREQ_APPID), true, mailTimeouts::kLongReply),
    told(BCE_REQ_UNREGISTER, "BceUnregisterAppMF", sizeof(BCEREQ_APPID), true),
    streamed(BCE_REQ_ENUM_PRINTERS, "BceEnumPrintersMF", sizeof(BCEREQ_ENUMPRINTERS), mailTimeouts::kEnumerationReply,
             mailTimeouts::kEnumerationReply, final(BCE_REQ_ENUM_PRINTERS), BCE_REPLY_ITEM | BCE_REQ_ENUM_PRINTERS),
    streamed(BCE_REQ_ENUM_SPECIFIC, "BceEnumSpecificMF", sizeof(BCEREQ_ENUMSPECIFIC), mailTimeouts::kLongReply,
             mailTimeouts::kDefaultReply, final(BCE_REQ_ENUM_SPECIFIC), BCE_REPLY_ITEM | BCE_REQ_ENUM_SPECIFIC),
    asked(BCE_REQ_OPEN, "BceOpenMF", sizeof(BCEREQ_OPEN), true, mailTimeouts::kDefaultReply),
    asked(BCE_REQ_CLOSE, "BceCloseMF", sizeof(BCEREQ_CLOSE), true, mailTimeouts::kDefaultReply),
    asked(BCE_REQ_CAPTURE_ALERTS, "BceCaptureAlertsMF", sizeof(BCEREQ_CAPTURE), true, mailTimeouts::kLongReply),
    asked(BCE_REQ_RELEASE_ALERTS, "BceReleaseAlertsMF", sizeof(BCEREQ_RELEASE), true, mailTimeouts::kMediumReply),
    asked(BCE_REQ_VERSION, "BceGetVersionMF", 0, false, mailTimeouts::kDefaultReply),
    counted(asked(BCE_REQ_WRITE, "BceWriteMF", sizeof(BCEREQ_WRITE), true, mailTimeouts::kEnumerationReply),
            WF_COUNT_FIELD(BCEREQ_WRITE, length)),
    counted(asked(BCE_REQ_SEND_BIDI, "BceSendBidiMF", sizeof(BCEREQ_SENDBIDI), true, mailTimeouts::kMediumReply),
            WF_COUNT_FIELD(BCEREQ_SENDBIDI, requestLength)),
    asked(BCE_REQ_PRTINFO, "BceGetPrtInfoMF", sizeof(BCEREQ_PRTINFO), true, mailTimeouts::kDefaultReply),
    asked(BCE_REQ_PRINTER_NAME, "BceGetPrinterNameMF", sizeof(BCEREQ_HANDLE_NET), false, mailTimeouts::kDefaultReply),
    asked(BCE_REQ_QUERY_ALERTS, "BceQueryAlertsMF", sizeof(BCEREQ_QUERYALERT), true, mailTimeouts::kDefaultReply),
    asked(BCE_REQ_NETS, "BceGetNetsMF", 0, false, mailTimeouts::kDefaultReply),
    asked(BCE_REQ_PRINTER_ADDR, "BceGetPrinterAddrMF", sizeof(BCEREQ_HANDLE_NET), false, mailTimeouts::kDefaultReply),
    told(BCE_REQ_START_DOC, "BceStartDocMF", sizeof(BCEREQ_STARTDOC), false),
    told(BCE_REQ_END_DOC, "BceEndDocMF", sizeof(BCEREQ_HANDLE_NET), false),
    counted(asked(BCE_REQ_NET_INFO, "BceGetNetInfoMF", sizeof(BCEREQ_NETINFO), false, mailTimeouts::kLongReply),
            WF_COUNT_FIELD(BCEREQ_NETINFO, inputLength)),
    counted(asked(BCE_REQ_SET_NET_INFO, "BceSetNetInfoMF", sizeof(BCEREQ_SETNETINFO), false, mailTimeouts::kLongReply),
            WF_COUNT_FIELD(BCEREQ_SETNETINFO, length)),
    counted(told(BCE_REQ_START_TRACE, "BceStartTraceMF", sizeof(BCEREQ_STARTTRACE), false),
            WF_COUNT_FIELD(BCEREQ_STARTTRACE, nameLength)),
    asked(BCE_REQ_IS_ADMIN, "BceIsUserAdminMF", 0, false, mailTimeouts::kDefaultReply),
    [] {
      RequestKind k = asked(BCE_REQ_HOLD_PORT, "holdPortMF", 0, false, mailTimeouts::kDefaultReply);
      k.trailing = Trailing::Names;
      return k;
    }(),
    streamed(BCE_REQ_ENUM_SPECIFIC_PORT, "BceEnumSpecificPortMF", sizeof(BCEREQ_ENUMPORT), mailTimeouts::kLongReply,
             mailTimeouts::kDefaultReply, final(BCE_REQ_ENUM_SPECIFIC_PORT), BCE_REPLY_ITEM | BCE_REQ_ENUM_SPECIFIC),
    counted(asked(BCE_REQ_DEVICE_CONTROL, "portDeviceControlMF", sizeof(BCEREQ_DEVICECONTROL), true,
                  mailTimeouts::kDefaultReply),
            WF_COUNT_FIELD(BCEREQ_DEVICECONTROL, inSize)),
    asked(BCE_REQ_VERSION_EX, "BceGetVersionExMF", 0, false, mailTimeouts::kDefaultReply),
    [] {
      RequestKind k =
          streamed(BCE_REQ_NET_INFO_ITEMS, "BceGetNetInfoMF", sizeof(BCEREQ_NETINFOITEMS), mailTimeouts::kLongReply,
                   mailTimeouts::kLongReply, final(BCE_REQ_NET_INFO), BCE_REPLY_ITEM | BCE_REQ_NET_INFO_ITEMS);
      k.fromNamedApp = false;  // names a printer, not an application
      return k;
    }(),
    told(BCE_REQ_STOP_TRACE, "BceStopTraceMF", 0, false),
};

#undef WF_COUNT_FIELD

std::uint32_t countAt(std::span<const std::uint8_t> record, const RequestKind& k) {
  // The table puts every count inside its record, whose size was checked.
  const std::uint8_t* at = record.data() + k.countOffset;
  return k.countSize == 2 ? loadLe16(at) : loadLe32(at);
}

}  // namespace

std::span<const RequestKind> requestKinds() {
  return kRequests;
}

const RequestKind* requestKind(std::uint32_t code) {
  for (const RequestKind& k : kRequests)
    if (k.code == code) return &k;
  return nullptr;
}

std::uint32_t purgeTimeOf(std::uint32_t replyCode) {
  std::uint32_t purge = mailTimeouts::kPurgeShort;
  for (const RequestKind& k : kRequests)
    if (k.finalReply == replyCode || (k.itemReply && k.itemReply == replyCode))
      purge = std::max(purge, k.purgeTime);
  return purge;
}

std::optional<UnpackedRequest> unpackRequest(const RequestKind& kind, std::span<const std::uint8_t> data,
                                             std::uint32_t sender) {
  ByteReader r(data);
  UnpackedRequest out;
  std::string_view bytes;
  if (!r.bytes(kind.recordSize, bytes)) return std::nullopt;
  out.record = asBytes(bytes);
  if (kind.fromNamedApp) {
    const std::uint32_t named = loadLe16(out.record.data());
    if (named != sender) return std::nullopt;  // one application cannot act for another
  }
  switch (kind.trailing) {
    case Trailing::None:
      break;
    case Trailing::Counted:
      if (!r.bytes(countAt(out.record, kind), bytes)) return std::nullopt;
      out.trailing = asBytes(bytes);
      break;
    case Trailing::Names:
      for (std::string_view& name : out.names) {
        std::uint16_t n;
        if (!r.le16(n) || n >= BCE_NAME_LENGTH || !r.bytes(n, name)) return std::nullopt;
        if (name.find('\0') != std::string_view::npos) return std::nullopt;
      }
      break;
  }
  if (r.remaining() != 0) return std::nullopt;
  return out;
}

std::string packNames(std::string_view first, std::string_view second) {
  ByteWriter w;
  for (std::string_view name : {first, second}) w.le16(static_cast<std::uint32_t>(name.size())).bytes(name);
  return w.take();
}

}  // namespace wf::bce
