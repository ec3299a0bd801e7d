#include "request_dispatch.h"

#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "dispatcher.h"
#include "mail_protocol.h"
#include "registration.h"
#include "trace.h"
#include "workers.h"

namespace wf::bce {

namespace {

constexpr std::uint32_t kMaxReplyBuffer = 1u << 20;  // what one reply may ask the primary to hold

// The request a streaming callback belongs to; callbacks run on the
// dispatcher thread that runs the worker.
struct Streaming {
  unsigned sender;
  std::uint32_t serial;
  std::uint32_t itemCode;
};
thread_local const Streaming* currentStream = nullptr;

uint16_t streamPrinter(const PRTINFO* info) {
  if (const Streaming* s = currentStream) {
    if (info)
      writeReply(s->sender, s->serial, s->itemCode,
                 std::span(reinterpret_cast<const std::uint8_t*>(info), sizeof *info), true);
    else
      writeReply(s->sender, s->serial, s->itemCode, {}, true);
  }
  return 1;
}

std::int32_t streamNetItem(const void* item, std::uint16_t length) {
  if (const Streaming* s = currentStream)
    writeReply(s->sender, s->serial, s->itemCode,
               std::span(static_cast<const std::uint8_t*>(item), item ? length : 0), true);
  return 1;
}

// One request as its handler sees it: the data unpacked by the protocol.
struct Request {
  const Mail& mail;
  unsigned sender;
  const RequestKind& kind;
  const UnpackedRequest& data;

  void reply(std::string_view bytes, bool paced = true) const {
    writeReply(sender, mail.header.serial, kind.finalReply, asBytes(bytes), paced);
  }
};

// Runs the request's worker and answers it; false when the data, though of
// the right shape, cannot be taken (the protocol has checked the shape).
using Handler = bool (*)(const Request&);

// Every reply but the version records starts with the worker's result.
ByteWriter withResult(std::int32_t result) {
  ByteWriter w;
  w.le32(static_cast<std::uint32_t>(result));
  return w;
}

std::string_view chars(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

std::string resultOnly(std::int32_t result) {
  return withResult(result).take();
}

// Items go out as the worker reports them; the final reply follows.
template <typename Run>
void stream(const Request& r, Run run) {
  const Streaming s{r.sender, r.mail.header.serial, r.kind.itemReply};
  currentStream = &s;
  const std::int32_t result = run();
  currentStream = nullptr;
  r.reply(resultOnly(result));
}

// A buffer the primary holds for a reply, bounded; empty when it cannot be had.
std::optional<Bytes> replyBuffer(std::uint32_t size) {
  try {
    return Bytes(std::min(size, kMaxReplyBuffer));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

bool onRegister(const Request& r) {
  const auto req = r.data.as<BCEREQ_APPID>();
  if (req.appId == 0) return false;
  if (!openReplyChannel(req.appId)) return true;  // nobody to answer: the client times out
  startDispatcher();
  r.reply({});
  return true;
}

bool onUnregister(const Request& r) {
  const auto req = r.data.as<BCEREQ_APPID>();
  if (req.appId == 0) return false;
  unregisterWorker(req.appId);
  return true;
}

bool onEnumPrinters(const Request& r) {
  const auto req = r.data.as<BCEREQ_ENUMPRINTERS>();
  stream(r, [&] { return workers().enumPrinters(req.appId, req.netMask, &streamPrinter); });
  return true;
}

bool onEnumSpecific(const Request& r) {
  const auto req = r.data.as<BCEREQ_ENUMSPECIFIC>();
  stream(r, [&] { return workers().enumSpecific(req.appId, &req.address, &streamPrinter, req.tryAll); });
  return true;
}

bool onEnumSpecificPort(const Request& r) {
  const auto req = r.data.as<BCEREQ_ENUMPORT>();
  stream(r,
         [&] { return workers().enumSpecificPort(req.appId, req.netBit, req.descriptor, &streamPrinter); });
  return true;
}

bool onNetInfoItems(const Request& r) {
  const auto req = r.data.as<BCEREQ_NETINFOITEMS>();
  std::uint16_t length = 0;
  stream(r, [&] {
    return workers().getNetInfo(req.handle, req.netMask, req.infoCode, nullptr, &length, &streamNetItem);
  });
  return true;
}

bool onStopTrace(const Request&) {
  workers().stopTrace();
  return true;
}

bool onStartDoc(const Request& r) {
  const auto req = r.data.as<BCEREQ_STARTDOC>();
  workers().startDoc(req.handle, req.netMask, req.jobArgument);
  return true;
}

bool onEndDoc(const Request& r) {
  const auto req = r.data.as<BCEREQ_HANDLE_NET>();
  workers().endDoc(req.handle, req.netMask);
  return true;
}

bool onStartTrace(const Request& r) {
  const auto req = r.data.as<BCEREQ_STARTTRACE>();
  const std::string name(r.data.trailing.begin(), r.data.trailing.end());
  if (name.size() >= BCE_NAME_LENGTH || name.find('\0') != std::string::npos) return false;
  workers().startTrace(name.empty() ? nullptr : name.c_str(), req.level);
  return true;
}

bool onOpen(const Request& r) {
  const auto req = r.data.as<BCEREQ_OPEN>();
  r.reply(resultOnly(workers().open(req.appId, req.handle, req.mode)));
  return true;
}

bool onClose(const Request& r) {
  const auto req = r.data.as<BCEREQ_CLOSE>();
  r.reply(resultOnly(workers().close(req.appId, req.handle)));
  return true;
}

bool onCaptureAlerts(const Request& r) {
  const auto req = r.data.as<BCEREQ_CAPTURE>();
  const ALERTS alerts{req.alertMask};
  r.reply(resultOnly(workers().captureAlerts(req.appId, req.handle, &alerts, req.alertWindow, req.flag)));
  return true;
}

bool onReleaseAlerts(const Request& r) {
  const auto req = r.data.as<BCEREQ_RELEASE>();
  r.reply(resultOnly(workers().releaseAlerts(req.appId, req.handle, req.flag)));
  return true;
}

bool onVersion(const Request& r) {
  BCEVERSION v{};
  workers().getVersion(&v);
  r.reply(recordBytes(v));
  return true;
}

bool onVersionEx(const Request& r) {
  BCEVERSIONEX v{};
  workers().getVersionEx(&v);
  r.reply(recordBytes(v));
  return true;
}

bool onWrite(const Request& r) {
  const auto req = r.data.as<BCEREQ_WRITE>();
  Bytes copy(r.data.trailing.begin(), r.data.trailing.end());  // the worker may frame packets in place
  std::uint32_t length = req.length;
  const std::int32_t result =
      workers().write(req.appId, req.handle, req.netMask, copy.data(), &length, req.raw);
  r.reply(withResult(result).le32(length).take(), false);
  return true;
}

bool onSendBidi(const Request& r) {
  const auto req = r.data.as<BCEREQ_SENDBIDI>();
  auto buffer = replyBuffer(req.replySize);
  if (!buffer) {
    r.reply(resultOnly(BCE_ERR_NO_MEMORY));
    return true;
  }
  std::uint32_t length = static_cast<std::uint32_t>(buffer->size());
  const auto& in = r.data.trailing;
  const std::int32_t result = workers().sendBidi(req.appId, req.handle, req.netMask, req.command,
                                                 req.replySize ? buffer->data() : nullptr, &length,
                                                 in.empty() ? nullptr : in.data(), req.requestLength);
  const std::uint32_t copied = std::min<std::uint32_t>(length, static_cast<std::uint32_t>(buffer->size()));
  // -18 carries the length the caller's buffer would need.
  const std::uint32_t told = result == BCE_ERR_REPLY_TOO_LONG ? length : copied;
  r.reply(withResult(result).le32(told).bytes(chars(buffer->data(), copied)).take());
  return true;
}

bool onPrtInfo(const Request& r) {
  const auto req = r.data.as<BCEREQ_PRTINFO>();
  PRTINFO info{};
  const std::int32_t result = workers().getPrtInfo(req.appId, req.handle, &info, req.refresh);
  r.reply(withResult(result).bytes(recordBytes(info)).take());
  return true;
}

bool onPrinterName(const Request& r) {
  const auto req = r.data.as<BCEREQ_HANDLE_NET>();
  char name[BCE_NAME_LENGTH] = {}, second[BCE_NAME_LENGTH] = {};
  const std::int32_t result = workers().getPrinterName(req.handle, req.netMask, name, second);
  name[BCE_NAME_LENGTH - 1] = second[BCE_NAME_LENGTH - 1] = '\0';
  const auto n1 = static_cast<std::uint32_t>(std::strlen(name));
  const auto n2 = static_cast<std::uint32_t>(std::strlen(second));
  r.reply(withResult(result).le32(n1).bytes({name, n1}).le32(n2).bytes({second, n2}).take());
  return true;
}

bool onQueryAlerts(const Request& r) {
  const auto req = r.data.as<BCEREQ_QUERYALERT>();
  Bytes buffer(req.bufferLength);
  std::uint16_t length = req.bufferLength;
  const std::int32_t result = workers().queryAlerts(req.appId, req.alertKey, req.handle, req.flag,
                                                    req.bufferLength ? buffer.data() : nullptr, &length);
  length = std::min(length, std::uint16_t{req.bufferLength});
  r.reply(withResult(result).le16(length).bytes(chars(buffer.data(), length)).take());
  return true;
}

bool onNets(const Request& r) {
  std::uint32_t mask = 0;
  const std::int32_t result = workers().getNets(&mask);
  r.reply(withResult(result).le32(mask).take());
  return true;
}

bool onPrinterAddr(const Request& r) {
  const auto req = r.data.as<BCEREQ_HANDLE_NET>();
  NETADDRESS address{};
  const std::int32_t result = workers().getPrinterAddr(req.handle, req.netMask, &address);
  r.reply(withResult(result).bytes(recordBytes(address)).take());
  return true;
}

bool onNetInfo(const Request& r) {
  const auto req = r.data.as<BCEREQ_NETINFO>();
  if (req.inputLength > req.bufferLength) return false;
  Bytes buffer(req.bufferLength);
  std::copy(r.data.trailing.begin(), r.data.trailing.end(), buffer.begin());
  std::uint16_t length = req.bufferLength;
  const std::int32_t result =
      workers().getNetInfo(req.handle, req.netMask, req.infoCode, buffer.data(), &length, nullptr);
  length = std::min(length, std::uint16_t{req.bufferLength});
  r.reply(withResult(result).le16(length).bytes(chars(buffer.data(), length)).take());
  return true;
}

bool onSetNetInfo(const Request& r) {
  const auto req = r.data.as<BCEREQ_SETNETINFO>();
  const auto& data = r.data.trailing;
  r.reply(resultOnly(workers().setNetInfo(req.handle, req.netMask, req.infoCode,
                                          data.empty() ? nullptr : data.data(), req.length)));
  return true;
}

bool onIsAdmin(const Request& r) {
  r.reply(resultOnly(workers().isUserAdmin(0)));
  return true;
}

bool onHoldPort(const Request& r) {
  r.reply(resultOnly(workers().holdPort(r.data.names[0], r.data.names[1])));
  return true;
}

bool onDeviceControl(const Request& r) {
  const auto req = r.data.as<BCEREQ_DEVICECONTROL>();
  auto out = replyBuffer(req.outSize);
  if (!out) {
    r.reply(resultOnly(BCE_ERR_NO_MEMORY));
    return true;
  }
  const auto& in = r.data.trailing;
  std::uint32_t returned = 0;
  const std::int32_t result = workers().portDeviceControl(
      req.appId, req.handle, req.controlCode, in.empty() ? nullptr : in.data(), req.inSize,
      out->empty() ? nullptr : out->data(), static_cast<std::uint32_t>(out->size()), &returned);
  returned = std::min<std::uint32_t>(returned, static_cast<std::uint32_t>(out->size()));
  r.reply(withResult(result).le32(returned).bytes(chars(out->data(), returned)).take());
  return true;
}

struct Route {
  std::uint32_t code;
  Handler handler;
};

constexpr Route kRoutes[] = {
    {BCE_REQ_REGISTER, onRegister},
    {BCE_REQ_UNREGISTER, onUnregister},
    {BCE_REQ_ENUM_PRINTERS, onEnumPrinters},
    {BCE_REQ_ENUM_SPECIFIC, onEnumSpecific},
    {BCE_REQ_OPEN, onOpen},
    {BCE_REQ_CLOSE, onClose},
    {BCE_REQ_CAPTURE_ALERTS, onCaptureAlerts},
    {BCE_REQ_RELEASE_ALERTS, onReleaseAlerts},
    {BCE_REQ_VERSION, onVersion},
    {BCE_REQ_WRITE, onWrite},
    {BCE_REQ_SEND_BIDI, onSendBidi},
    {BCE_REQ_PRTINFO, onPrtInfo},
    {BCE_REQ_PRINTER_NAME, onPrinterName},
    {BCE_REQ_QUERY_ALERTS, onQueryAlerts},
    {BCE_REQ_NETS, onNets},
    {BCE_REQ_PRINTER_ADDR, onPrinterAddr},
    {BCE_REQ_START_DOC, onStartDoc},
    {BCE_REQ_END_DOC, onEndDoc},
    {BCE_REQ_NET_INFO, onNetInfo},
    {BCE_REQ_SET_NET_INFO, onSetNetInfo},
    {BCE_REQ_START_TRACE, onStartTrace},
    {BCE_REQ_IS_ADMIN, onIsAdmin},
    {BCE_REQ_HOLD_PORT, onHoldPort},
    {BCE_REQ_ENUM_SPECIFIC_PORT, onEnumSpecificPort},
    {BCE_REQ_DEVICE_CONTROL, onDeviceControl},
    {BCE_REQ_VERSION_EX, onVersionEx},
    {BCE_REQ_NET_INFO_ITEMS, onNetInfoItems},
    {BCE_REQ_STOP_TRACE, onStopTrace},
};

Handler handlerOf(std::uint32_t code) {
  for (const Route& route : kRoutes)
    if (route.code == code) return route.handler;
  return nullptr;
}

}  // namespace

void dispatchRequest(const Mail& mail) {
  const std::uint32_t sender = mail.header.sender;
  const std::uint32_t code = mail.header.code;
  if (sender >= BCE_MAX_APPS || sender == 0) {
    bceTrace("Dropped a request of code 0x%lx from unknown sender %lu\n", static_cast<unsigned long>(code),
             static_cast<unsigned long>(sender));
    return;
  }
  const RequestKind* kind = requestKind(code);
  const Handler handler = handlerOf(code);
  if (!kind || !handler) {
    bceTrace("Dropped a request of unknown code 0x%lx\n", static_cast<unsigned long>(code));
    return;
  }
  if (const auto data = unpackRequest(*kind, mail.data, sender);
      data && handler(Request{mail, sender, *kind, *data}))
    return;
  bceTrace("Dropped a malformed request of code 0x%lx (%lu data bytes)\n", static_cast<unsigned long>(code),
           static_cast<unsigned long>(mail.data.size()));
  if (kind->reply != ReplyShape::None && code != BCE_REQ_REGISTER)
    writeReply(sender, mail.header.serial, kind->finalReply, asBytes(resultOnly(BCE_ERR_BAD_REQUEST)), true);
}

bool dispatchesEveryRequest() {
  for (const RequestKind& kind : requestKinds())
    if (!handlerOf(kind.code)) return false;
  return std::size(kRoutes) == requestKinds().size();
}

}  // namespace wf::bce
