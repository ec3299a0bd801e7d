// The client form of every export: the registration check, then the worker
// in the primary or the request to it from any other process.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "broker/port_control.h"
#include "broker_state.h"
#include "mail_client.h"
#include "mail_protocol.h"
#include "npa.h"
#include "printer_list.h"
#include "trace.h"
#include "workers.h"

using wf::bce::asBytes;
using wf::bce::bceTrace;
using wf::bce::copyName;
using wf::bce::Mail;
using wf::bce::ownAppId;
using wf::bce::packRequest;
using wf::bce::readRecord;
using wf::bce::readResult;
using wf::bce::registrationCheck;
using wf::bce::requestReply;
using wf::bce::requestStream;
using wf::bce::sendMail;
using wf::bce::stopEnumerationFlag;
using wf::bce::workers;
using wf::ByteReader;

namespace {

std::uint16_t low16(std::uint32_t v) {
  return static_cast<std::uint16_t>(v & 0xFFFF);
}

// Runs `direct` in the primary, `remote` elsewhere; -13 for a caller that is not registered as `appId`.
template <typename Direct, typename Remote>
std::int32_t clientCall(std::uint32_t appId, Direct direct, Remote remote) {
  if (!registrationCheck(appId)) return BCE_ERR_NOT_REGISTERED;
  if (ownAppId() == BCE_PRIMARY_APP_ID) return direct();
  return remote();
}

std::uint32_t ownId() {
  return static_cast<std::uint32_t>(ownAppId());
}

// The reply's result, and a reader positioned after it; 1 for no reply or no result in it.
struct Reply {
  std::optional<Mail> mail;
  std::int32_t result = BCE_FAIL;
  ByteReader rest{std::string_view()};

  explicit Reply(std::optional<Mail> m) : mail(std::move(m)) {
    if (!mail) return;
    rest = ByteReader(mail->data);
    if (!readResult(rest, result)) result = BCE_FAIL;
  }
  // Out-bytes of the reply: at most `capacity`, at most what is there.
  std::uint32_t copyOut(std::uint32_t declared, void* out, std::uint32_t capacity) {
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>({declared, capacity, rest.remaining()}));
    std::string_view bytes;
    if (out && n && rest.bytes(n, bytes)) std::memcpy(out, bytes.data(), n);
    return out ? n : 0;
  }
};

Reply ask(std::uint32_t code, std::string_view data) {
  return Reply(requestReply(code, asBytes(data)));
}

// Streams PRTINFO items to `proc`; a callback that asks to stop stops every process's enumeration.
std::int32_t streamPrinters(std::uint32_t code, std::string_view data, BCEENUMPROC proc) {
  auto final = requestStream(code, asBytes(data), [&](const Mail& item) {
    if (!proc) return;
    std::uint16_t go;
    if (item.data.empty()) {
      go = proc(nullptr);
    } else {
      PRTINFO info{};
      std::memcpy(&info, item.data.data(), std::min(item.data.size(), sizeof info));
      go = proc(&info);
    }
    if (go == 0) stopEnumerationFlag().store(1);
  });
  return Reply(std::move(final)).result;
}

}  // namespace

int32_t BceEnumPrinters(uint32_t appId, uint32_t netMask, BCEENUMPROC proc) {
  return clientCall(
      appId, [&] { return workers().enumPrinters(appId, netMask, proc); },
      [&] {
        return streamPrinters(BCE_REQ_ENUM_PRINTERS, packRequest(BCEREQ_ENUMPRINTERS{low16(appId), netMask}),
                              proc);
      });
}

int32_t BceEnumSpecific(uint32_t appId, const NETADDRESS* address, BCEENUMPROC proc, uint32_t tryAll) {
  return clientCall(
      appId, [&] { return workers().enumSpecific(appId, address, proc, tryAll); },
      [&] {
        if (!address || !proc) return BCE_FAIL;
        return streamPrinters(BCE_REQ_ENUM_SPECIFIC,
                              packRequest(BCEREQ_ENUMSPECIFIC{low16(appId), *address, tryAll}), proc);
      });
}

int32_t BceEnumSpecificPort(uint32_t appId, uint32_t netBit, const void* portDescriptor, BCEENUMPROC proc) {
  return clientCall(
      appId, [&] { return workers().enumSpecificPort(appId, netBit, portDescriptor, proc); },
      [&] {
        if (!portDescriptor || !proc) return BCE_FAIL;
        BCEREQ_ENUMPORT req{low16(appId), netBit, {}};
        std::memcpy(req.descriptor, portDescriptor, BCE_PORT_DESCRIPTOR_SIZE);
        return streamPrinters(BCE_REQ_ENUM_SPECIFIC_PORT, packRequest(req), proc);
      });
}

int32_t BceEnumQueues(uint32_t, uint32_t, void*, void*) {
  return 0;
}

int32_t BceOpen(uint32_t appId, uint32_t handle, uint32_t mode) {
  return clientCall(
      appId, [&] { return workers().open(appId, handle, mode); },
      [&] {
        return ask(BCE_REQ_OPEN, packRequest(BCEREQ_OPEN{low16(appId), low16(handle), low16(mode)})).result;
      });
}

int32_t BceClose(uint32_t appId, uint32_t handle) {
  return clientCall(
      appId, [&] { return workers().close(appId, handle); },
      [&] {
        return ask(BCE_REQ_CLOSE, packRequest(BCEREQ_CLOSE{low16(appId), low16(handle)})).result;
      });
}

int32_t BceCaptureAlerts(uint32_t appId, uint32_t handle, const ALERTS* alerts, uint32_t alertWindow,
                         uint32_t flag) {
  return clientCall(
      appId, [&] { return workers().captureAlerts(appId, handle, alerts, alertWindow, flag); },
      [&] {
        const BCEREQ_CAPTURE req{low16(appId), low16(handle), alerts ? alerts->mask : 0, alertWindow,
                                 static_cast<std::uint8_t>(flag ? 1 : 0)};
        return ask(BCE_REQ_CAPTURE_ALERTS, packRequest(req)).result;
      });
}

int32_t BceReleaseAlerts(uint32_t appId, uint32_t handle, uint32_t flag) {
  return clientCall(
      appId, [&] { return workers().releaseAlerts(appId, handle, flag); },
      [&] {
        return ask(BCE_REQ_RELEASE_ALERTS, packRequest(BCEREQ_RELEASE{low16(appId), low16(handle), flag}))
            .result;
      });
}

namespace {
// Version replies carry the record alone, without a result.
template <typename Record>
std::int32_t askRecord(std::uint32_t code, Record* out) {
  auto reply = requestReply(code, {});
  if (!reply) return BCE_FAIL;
  if (reply->data.size() != sizeof(Record)) return Reply(std::move(reply)).result;
  if (out) std::memcpy(out, reply->data.data(), sizeof(Record));
  return BCE_OK;
}
}  // namespace

int32_t BceGetVersion(BCEVERSION* version) {
  return clientCall(
      ownId(), [&] { return workers().getVersion(version); },
      [&] { return askRecord(BCE_REQ_VERSION, version); });
}

int32_t BceGetVersionEx(BCEVERSIONEX* version) {
  return clientCall(
      ownId(), [&] { return workers().getVersionEx(version); },
      [&] { return askRecord(BCE_REQ_VERSION_EX, version); });
}

int32_t BceWrite(uint32_t appId, uint32_t handle, uint32_t netMask, void* data, uint32_t* length,
                 uint32_t raw) {
  return clientCall(
      appId, [&] { return workers().write(appId, handle, netMask, data, length, raw); },
      [&] {
        const std::uint32_t n = data && length ? *length : 0;
        const BCEREQ_WRITE req{low16(appId), low16(handle), netMask, raw, n};
        Reply reply = ask(BCE_REQ_WRITE, packRequest(req, {static_cast<const char*>(data), n}));
        std::uint32_t written = 0;
        if (!reply.rest.le32(written)) written = 0;
        if (length) *length = std::min(written, n);
        return reply.result;
      });
}

namespace {
// The worker's own length stands with its result; only the failures before
// it (bad data, capture codes, no registration) clear the length here.
std::int32_t sendBidiChecked(uint32_t appId, uint32_t handle, uint32_t netMask, uint32_t code, void* reply,
                             uint32_t* replyLength, const void* request, uint32_t requestLength) {
  auto early = [&](std::int32_t rc) {
    if (replyLength) *replyLength = 0;
    return rc;
  };
  if (requestLength && !request) return early(BCE_ERR_BAD_REQUEST);
  if (code >= wf::protocol::request::kFirstPjl && code <= wf::protocol::request::kLastPjl)
    requestLength =
        request ? static_cast<uint32_t>(strnlen(static_cast<const char*>(request), requestLength)) : 0;
  // The capture commands are the broker's own.
  if (wf::bce::npa::isCaptureCommand(code)) return early(BCE_ERR_BAD_REQUEST);
  if (!registrationCheck(appId)) return early(BCE_ERR_NOT_REGISTERED);
  return clientCall(
      appId,
      [&] {
        return workers().sendBidi(appId, handle, netMask, code, reply, replyLength, request, requestLength);
      },
      [&] {
        const std::uint32_t capacity = reply && replyLength ? *replyLength : 0;
        if (replyLength && !reply) *replyLength = 0;
        if (requestLength > 0xFFFF || (requestLength && !request)) {
          if (replyLength) *replyLength = 0;
          return BCE_ERR_BAD_REQUEST;
        }
        const BCEREQ_SENDBIDI req{low16(appId), low16(handle), netMask,
                                  low16(code),  capacity,      static_cast<std::uint16_t>(requestLength)};
        Reply answer =
            ask(BCE_REQ_SEND_BIDI, packRequest(req, {static_cast<const char*>(request), requestLength}));
        std::uint32_t declared = 0;
        if (!answer.rest.le32(declared)) declared = 0;
        const std::uint32_t copied = answer.copyOut(declared, reply, capacity);
        // A cached summary too long for the buffer tells the length it needs.
        if (replyLength) *replyLength = answer.result == BCE_ERR_REPLY_TOO_LONG ? declared : copied;
        return answer.result;
      });
}
}  // namespace

int32_t BceSendBidi(uint32_t appId, uint32_t handle, uint32_t netMask, uint32_t code, void* reply,
                    uint32_t* replyLength, const void* request, uint32_t requestLength) {
  bceTrace("\nEntering BceSendBidi(0x%02x), printer=%d\n", code, static_cast<int>(handle & 0xFFFF));
  const std::int32_t rc =
      sendBidiChecked(appId, handle, netMask, code, reply, replyLength, request, requestLength);
  bceTrace("\nLeaving BceSendBidi(0x%02x), printer=%d, rc = %d\n", code, static_cast<int>(handle & 0xFFFF),
           rc);
  if (rc != BCE_OK)
    bceTrace("\n**FAILING** BceSendBidi(0x%02x), printer=%d, rc = %d\n", code,
             static_cast<int>(handle & 0xFFFF), rc);
  return rc;
}

int32_t BceGetPrtInfo(uint32_t handle, PRTINFO* info, uint32_t refresh) {
  const std::uint32_t id = ownId();
  return clientCall(
      id, [&] { return workers().getPrtInfo(id, handle, info, refresh); },
      [&] {
        if (!info) return BCE_ERR_PRTINFO_NOT_WRITABLE;
        Reply reply = ask(BCE_REQ_PRTINFO, packRequest(BCEREQ_PRTINFO{low16(id), low16(handle), refresh}));
        if (reply.result == BCE_OK && !readRecord(reply.rest, *info)) return BCE_FAIL;
        return reply.result;
      });
}

int32_t BceGetPrinterName(uint32_t handle, uint32_t netBit, char* name, char* secondName) {
  return clientCall(
      ownId(), [&] { return workers().getPrinterName(handle, netBit, name, secondName); },
      [&] {
        Reply reply = ask(BCE_REQ_PRINTER_NAME, packRequest(BCEREQ_HANDLE_NET{low16(handle), netBit}));
        for (char* out : {name, secondName}) {
          char text[BCE_NAME_LENGTH] = {};
          std::uint32_t n = 0;
          if (reply.rest.le32(n)) reply.copyOut(n, text, BCE_NAME_LENGTH - 1);
          if (out && reply.mail) std::memcpy(out, text, BCE_NAME_LENGTH);
        }
        return reply.result;
      });
}

int32_t BceQueryAlerts(uint32_t appId, uint32_t alertKey, uint32_t handle, uint32_t flag, void* buffer,
                       uint16_t* length) {
  return clientCall(
      appId, [&] { return workers().queryAlerts(appId, alertKey, handle, flag, buffer, length); },
      [&] {
        const std::uint16_t capacity = buffer && length ? *length : 0;
        const BCEREQ_QUERYALERT req{low16(appId), low16(alertKey), low16(handle), flag, capacity};
        Reply reply = ask(BCE_REQ_QUERY_ALERTS, packRequest(req));
        std::uint16_t declared = 0;
        if (!reply.rest.le16(declared)) declared = 0;
        const std::uint32_t copied = reply.copyOut(declared, buffer, capacity);
        if (length) *length = static_cast<std::uint16_t>(copied);
        return reply.result;
      });
}

int32_t BceIsUserAdmin(uint32_t unused) {
  return clientCall(
      ownId(), [&] { return workers().isUserAdmin(unused); },
      [&] { return ask(BCE_REQ_IS_ADMIN, {}).result; });
}

int32_t BceIsUserQueueAdmin(uint32_t, uint32_t) {
  return 0;
}

int32_t BceGetPrinterAddr(uint32_t handle, uint32_t netMask, NETADDRESS* address) {
  return clientCall(
      ownId(), [&] { return workers().getPrinterAddr(handle, netMask, address); },
      [&] {
        Reply reply = ask(BCE_REQ_PRINTER_ADDR, packRequest(BCEREQ_HANDLE_NET{low16(handle), netMask}));
        NETADDRESS got{};
        if (readRecord(reply.rest, got) && address) *address = got;
        return reply.result;
      });
}

int32_t BceGetNets(uint32_t* netMask) {
  return clientCall(
      ownId(), [&] { return workers().getNets(netMask); },
      [&] {
        Reply reply = ask(BCE_REQ_NETS, {});
        std::uint32_t mask = 0;
        if (reply.rest.le32(mask) && netMask) *netMask = mask;
        return reply.result;
      });
}

int32_t BceGetNetInfo(uint32_t handle, uint32_t netMask, uint32_t infoCode, void* buffer, uint16_t* length,
                      BCENETITEMPROC itemProc) {
  return clientCall(
      ownId(), [&] { return workers().getNetInfo(handle, netMask, infoCode, buffer, length, itemProc); },
      [&] {
        if (itemProc) {
          auto final = requestStream(
              BCE_REQ_NET_INFO_ITEMS,
              asBytes(packRequest(BCEREQ_NETINFOITEMS{low16(handle), netMask, low16(infoCode)})),
              [&](const Mail& item) {
                const auto n = static_cast<std::uint16_t>(std::min<std::size_t>(item.data.size(), 0xFFFF));
                itemProc(n ? item.data.data() : nullptr, n);
              });
          return Reply(std::move(final)).result;
        }
        const std::uint16_t capacity = buffer && length ? *length : 0;
        const BCEREQ_NETINFO req{low16(handle), netMask, low16(infoCode), capacity, capacity};
        Reply reply = ask(BCE_REQ_NET_INFO, packRequest(req, {static_cast<const char*>(buffer), capacity}));
        std::uint16_t declared = 0;
        if (!reply.rest.le16(declared)) declared = 0;
        const std::uint32_t copied = reply.copyOut(declared, buffer, capacity);
        if (length && reply.mail) *length = static_cast<std::uint16_t>(copied);
        return reply.result;
      });
}

int32_t BceSetNetInfo(uint32_t handle, uint32_t netMask, uint32_t infoCode, const void* buffer,
                      uint16_t length) {
  return clientCall(
      ownId(), [&] { return workers().setNetInfo(handle, netMask, infoCode, buffer, length); },
      [&] {
        const std::uint16_t n = buffer ? length : 0;
        const BCEREQ_SETNETINFO req{low16(handle), netMask, low16(infoCode), n};
        return ask(BCE_REQ_SET_NET_INFO, packRequest(req, {static_cast<const char*>(buffer), n})).result;
      });
}

int32_t BceStartTrace(const char* fileName, uint32_t level) {
  return clientCall(
      ownId(), [&] { return workers().startTrace(fileName, level); },
      [&] {
        // A longer name is cut to its field: the call always answers 0.
        char field[BCE_NAME_LENGTH];
        copyName(field, fileName);
        const std::string_view name = field;
        const BCEREQ_STARTTRACE req{level, static_cast<std::uint16_t>(name.size())};
        sendMail(BCE_REQ_START_TRACE, asBytes(packRequest(req, name)));
        return BCE_OK;
      });
}

int32_t BceStopTrace(void) {
  return clientCall(
      ownId(), [&] { return workers().stopTrace(); },
      [&] {
        sendMail(BCE_REQ_STOP_TRACE, {});
        return BCE_OK;
      });
}

int32_t BceStartDoc(uint32_t handle, uint32_t netMask, uint32_t jobArgument) {
  return clientCall(
      ownId(), [&] { return workers().startDoc(handle, netMask, jobArgument); },
      [&] {
        const BCEREQ_STARTDOC req{low16(handle), netMask, low16(jobArgument)};
        return sendMail(BCE_REQ_START_DOC, asBytes(packRequest(req))) ? BCE_OK : BCE_FAIL;
      });
}

int32_t BceEndDoc(uint32_t handle, uint32_t netMask) {
  return clientCall(
      ownId(), [&] { return workers().endDoc(handle, netMask); },
      [&] {
        return sendMail(BCE_REQ_END_DOC, asBytes(packRequest(BCEREQ_HANDLE_NET{low16(handle), netMask})))
                   ? BCE_OK
                   : BCE_FAIL;
      });
}

namespace wf::bce {

std::int32_t requestHoldPort(std::string_view portName, std::string_view printerName) {
  return clientCall(
      ownId(), [&] { return workers().holdPort(portName, printerName); },
      [&] {
        if (portName.size() >= BCE_NAME_LENGTH || printerName.size() >= BCE_NAME_LENGTH)
          return BCE_ERR_BAD_REQUEST;
        return ask(BCE_REQ_HOLD_PORT, packNames(portName, printerName)).result;
      });
}

std::int32_t requestPortDeviceControl(std::uint32_t appId, std::uint32_t handle, std::uint32_t controlCode,
                                      const void* in, std::uint32_t inSize, void* out, std::uint32_t outSize,
                                      std::uint32_t* returned) {
  return clientCall(
      appId,
      [&] {
        return workers().portDeviceControl(appId, handle, controlCode, in, inSize, out, outSize, returned);
      },
      [&] {
        if (inSize && !in) return BCE_ERR_BAD_REQUEST;
        const std::uint32_t capacity = out ? outSize : 0;
        const BCEREQ_DEVICECONTROL req{low16(appId), low16(handle), controlCode, inSize, capacity};
        Reply reply = ask(BCE_REQ_DEVICE_CONTROL, packRequest(req, {static_cast<const char*>(in), inSize}));
        std::uint32_t declared = 0;
        if (!reply.rest.le32(declared)) declared = 0;
        const std::uint32_t copied = reply.copyOut(declared, out, capacity);
        if (returned) *returned = copied;
        return reply.result;
      });
}

}  // namespace wf::bce
