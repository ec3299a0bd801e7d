#include "request_dispatch.h"

#include <cstring>
#include <new>
#include <string>

#include "broker_state.h"
#include "dispatcher.h"
#include "mail_client.h"
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

bool expectsReply(std::uint32_t code) {
  switch (code) {
    case BCE_REQ_UNREGISTER: case BCE_REQ_START_DOC: case BCE_REQ_END_DOC:
    case BCE_REQ_START_TRACE: case BCE_REQ_STOP_TRACE:
      return false;
    default:
      return true;
  }
}

// A text of at most 79 characters, carried as u16 length + bytes.
bool readName(ByteReader& r, std::string& out) {
  std::uint16_t n;
  std::span<const std::uint8_t> bytes;
  if (!r.u16(n) || n >= BCE_NAME_LENGTH || !r.view(n, bytes)) return false;
  out.assign(bytes.begin(), bytes.end());
  return out.find('\0') == std::string::npos;
}

template <typename Record>
bool readFixed(const Mail& mail, Record& rec) {
  ByteReader r(mail.data);
  return r.record(rec) && r.atEnd();
}

template <typename Record>
bool readHead(ByteReader& r, Record& rec) { return r.record(rec); }

Bytes resultOnly(std::int32_t result) { return ByteWriter().i32(result).take(); }


// Runs the request; false when its data does not fit its code.
bool run(const Mail& mail, unsigned sender) {
  const Workers& w = workers();
  const std::uint32_t code = mail.header.code;
  const std::uint32_t serial = mail.header.serial;
  auto reply = [&](const Bytes& data, bool paced = true) {
    writeReply(sender, serial, finalReplyCode(code), data, paced);
  };
  // The request's own id must be its sender's: one application cannot act for another.
  auto own = [&](std::uint16_t appId) { return appId == sender; };

  switch (code) {
    case BCE_REQ_REGISTER: {
      BCEREQ_APPID req;
      if (!readFixed(mail, req) || !own(req.appId) || req.appId == 0) return false;
      if (!openReplyChannel(req.appId)) return true;  // nobody to answer: the client times out
      startDispatcher();
      reply({});
      return true;
    }
    case BCE_REQ_UNREGISTER: {
      BCEREQ_APPID req;
      if (!readFixed(mail, req) || !own(req.appId) || req.appId == 0) return false;
      unregisterWorker(req.appId);
      return true;
    }
    case BCE_REQ_ENUM_PRINTERS: case BCE_REQ_ENUM_SPECIFIC: case BCE_REQ_ENUM_SPECIFIC_PORT: {
      const Streaming stream{sender, serial, itemReplyCode(code)};
      std::int32_t result;
      if (code == BCE_REQ_ENUM_PRINTERS) {
        BCEREQ_ENUMPRINTERS req;
        if (!readFixed(mail, req) || !own(req.appId)) return false;
        currentStream = &stream;
        result = w.enumPrinters(req.appId, req.netMask, &streamPrinter);
      } else if (code == BCE_REQ_ENUM_SPECIFIC) {
        BCEREQ_ENUMSPECIFIC req;
        if (!readFixed(mail, req) || !own(req.appId)) return false;
        currentStream = &stream;
        result = w.enumSpecific(req.appId, &req.address, &streamPrinter, req.tryAll);
      } else {
        BCEREQ_ENUMPORT req;
        if (!readFixed(mail, req) || !own(req.appId)) return false;
        currentStream = &stream;
        result = w.enumSpecificPort(req.appId, req.netBit, req.descriptor, &streamPrinter);
      }
      currentStream = nullptr;
      reply(resultOnly(result));
      return true;
    }
    case BCE_REQ_NET_INFO_ITEMS: {
      BCEREQ_NETINFOITEMS req;
      if (!readFixed(mail, req)) return false;
      const Streaming stream{sender, serial, itemReplyCode(code)};
      currentStream = &stream;
      std::uint16_t length = 0;
      const std::int32_t result = w.getNetInfo(req.handle, req.netMask, req.infoCode, nullptr, &length, &streamNetItem);
      currentStream = nullptr;
      reply(resultOnly(result));
      return true;
    }
    case BCE_REQ_STOP_TRACE:
      if (!mail.data.empty()) return false;
      w.stopTrace();
      return true;
    case BCE_REQ_START_DOC: {
      BCEREQ_STARTDOC req;
      if (!readFixed(mail, req)) return false;
      w.startDoc(req.handle, req.netMask, req.jobArgument);
      return true;
    }
    case BCE_REQ_END_DOC: {
      BCEREQ_HANDLE_NET req;
      if (!readFixed(mail, req)) return false;
      w.endDoc(req.handle, req.netMask);
      return true;
    }
    case BCE_REQ_START_TRACE: {
      ByteReader r(mail.data);
      std::uint32_t level;
      std::string name;
      if (!r.u32(level) || !readName(r, name) || !r.atEnd()) return false;
      w.startTrace(name.empty() ? nullptr : name.c_str(), level);
      return true;
    }
    case BCE_REQ_OPEN: {
      BCEREQ_OPEN req;
      if (!readFixed(mail, req) || !own(req.appId)) return false;
      reply(resultOnly(w.open(req.appId, req.handle, req.mode)));
      return true;
    }
    case BCE_REQ_CLOSE: {
      BCEREQ_CLOSE req;
      if (!readFixed(mail, req) || !own(req.appId)) return false;
      reply(resultOnly(w.close(req.appId, req.handle)));
      return true;
    }
    case BCE_REQ_CAPTURE_ALERTS: {
      BCEREQ_CAPTURE req;
      if (!readFixed(mail, req) || !own(req.appId)) return false;
      const ALERTS alerts{req.alertMask};
      reply(resultOnly(w.captureAlerts(req.appId, req.handle, &alerts, req.alertWindow, req.flag)));
      return true;
    }
    case BCE_REQ_RELEASE_ALERTS: {
      BCEREQ_RELEASE req;
      if (!readFixed(mail, req) || !own(req.appId)) return false;
      reply(resultOnly(w.releaseAlerts(req.appId, req.handle, req.flag)));
      return true;
    }
    case BCE_REQ_VERSION: {
      if (!mail.data.empty()) return false;
      BCEVERSION v{};
      w.getVersion(&v);
      reply(ByteWriter().record(v).take());
      return true;
    }
    case BCE_REQ_VERSION_EX: {
      if (!mail.data.empty()) return false;
      BCEVERSIONEX v{};
      w.getVersionEx(&v);
      reply(ByteWriter().record(v).take());
      return true;
    }
    case BCE_REQ_WRITE: {
      ByteReader r(mail.data);
      BCEREQ_WRITE req;
      std::span<const std::uint8_t> data;
      if (!readHead(r, req) || !own(req.appId) || !r.view(req.length, data) || !r.atEnd()) return false;
      Bytes copy(data.begin(), data.end());  // the worker may frame packets in place
      std::uint32_t length = req.length;
      const std::int32_t result = w.write(req.appId, req.handle, req.netMask, copy.data(), &length, req.raw);
      reply(ByteWriter().i32(result).u32(length).take(), false);
      return true;
    }
    case BCE_REQ_SEND_BIDI: {
      ByteReader r(mail.data);
      BCEREQ_SENDBIDI req;
      std::span<const std::uint8_t> data;
      if (!readHead(r, req) || !own(req.appId) || !r.view(req.requestLength, data) || !r.atEnd()) return false;
      Bytes buffer;
      try {
        buffer.resize(std::min(std::uint32_t{req.replySize}, kMaxReplyBuffer));
      } catch (const std::bad_alloc&) {
        reply(resultOnly(BCE_ERR_NO_MEMORY));
        return true;
      }
      std::uint32_t length = static_cast<std::uint32_t>(buffer.size());
      const std::int32_t result = w.sendBidi(req.appId, req.handle, req.netMask, req.command,
                                             req.replySize ? buffer.data() : nullptr, &length,
                                             data.empty() ? nullptr : data.data(), req.requestLength);
      const std::uint32_t copied = std::min<std::uint32_t>(length, static_cast<std::uint32_t>(buffer.size()));
      // -18 carries the length the caller's buffer would need.
      const std::uint32_t told = result == BCE_ERR_REPLY_TOO_LONG ? length : copied;
      reply(ByteWriter().i32(result).u32(told).raw(buffer.data(), copied).take());
      return true;
    }
    case BCE_REQ_PRTINFO: {
      BCEREQ_PRTINFO req;
      if (!readFixed(mail, req) || !own(req.appId)) return false;
      PRTINFO info{};
      const std::int32_t result = w.getPrtInfo(req.appId, req.handle, &info, req.refresh);
      reply(ByteWriter().i32(result).record(info).take());
      return true;
    }
    case BCE_REQ_PRINTER_NAME: {
      BCEREQ_HANDLE_NET req;
      if (!readFixed(mail, req)) return false;
      char name[BCE_NAME_LENGTH] = {}, second[BCE_NAME_LENGTH] = {};
      const std::int32_t result = w.getPrinterName(req.handle, req.netMask, name, second);
      name[BCE_NAME_LENGTH - 1] = second[BCE_NAME_LENGTH - 1] = '\0';
      const auto n1 = static_cast<std::uint32_t>(std::strlen(name));
      const auto n2 = static_cast<std::uint32_t>(std::strlen(second));
      reply(ByteWriter().i32(result).u32(n1).raw(name, n1).u32(n2).raw(second, n2).take());
      return true;
    }
    case BCE_REQ_QUERY_ALERTS: {
      BCEREQ_QUERYALERT req;
      if (!readFixed(mail, req) || !own(req.appId)) return false;
      Bytes buffer(req.bufferLength);
      std::uint16_t length = req.bufferLength;
      const std::int32_t result = w.queryAlerts(req.appId, req.alertKey, req.handle, req.flag,
                                                req.bufferLength ? buffer.data() : nullptr, &length);
      length = std::min(length, std::uint16_t{req.bufferLength});
      reply(ByteWriter().i32(result).u16(length).raw(buffer.data(), length).take());
      return true;
    }
    case BCE_REQ_NETS: {
      if (!mail.data.empty()) return false;
      std::uint32_t mask = 0;
      const std::int32_t result = w.getNets(&mask);
      reply(ByteWriter().i32(result).u32(mask).take());
      return true;
    }
    case BCE_REQ_PRINTER_ADDR: {
      BCEREQ_HANDLE_NET req;
      if (!readFixed(mail, req)) return false;
      NETADDRESS address{};
      const std::int32_t result = w.getPrinterAddr(req.handle, req.netMask, &address);
      reply(ByteWriter().i32(result).record(address).take());
      return true;
    }
    case BCE_REQ_NET_INFO: {
      ByteReader r(mail.data);
      BCEREQ_NETINFO req;
      std::span<const std::uint8_t> input;
      if (!readHead(r, req) || req.inputLength > req.bufferLength || !r.view(req.inputLength, input) ||
          !r.atEnd())
        return false;
      Bytes buffer(req.bufferLength);
      std::copy(input.begin(), input.end(), buffer.begin());
      std::uint16_t length = req.bufferLength;
      const std::int32_t result =
          w.getNetInfo(req.handle, req.netMask, req.infoCode, buffer.data(), &length, nullptr);
      length = std::min(length, std::uint16_t{req.bufferLength});
      reply(ByteWriter().i32(result).u16(length).raw(buffer.data(), length).take());
      return true;
    }
    case BCE_REQ_SET_NET_INFO: {
      ByteReader r(mail.data);
      BCEREQ_SETNETINFO req;
      std::span<const std::uint8_t> data;
      if (!readHead(r, req) || !r.view(req.length, data) || !r.atEnd()) return false;
      reply(resultOnly(w.setNetInfo(req.handle, req.netMask, req.infoCode,
                                    data.empty() ? nullptr : data.data(), req.length)));
      return true;
    }
    case BCE_REQ_IS_ADMIN:
      if (!mail.data.empty()) return false;
      reply(resultOnly(w.isUserAdmin(0)));
      return true;
    case BCE_REQ_HOLD_PORT: {
      ByteReader r(mail.data);
      std::string port, printer;
      if (!readName(r, port) || !readName(r, printer) || !r.atEnd()) return false;
      reply(resultOnly(w.holdPort(port, printer)));
      return true;
    }
    case BCE_REQ_DEVICE_CONTROL: {
      ByteReader r(mail.data);
      BCEREQ_DEVICECONTROL req;
      std::span<const std::uint8_t> in;
      if (!readHead(r, req) || !own(req.appId) || !r.view(req.inSize, in) || !r.atEnd()) return false;
      Bytes out;
      try {
        out.resize(std::min(std::uint32_t{req.outSize}, kMaxReplyBuffer));
      } catch (const std::bad_alloc&) {
        reply(resultOnly(BCE_ERR_NO_MEMORY));
        return true;
      }
      std::uint32_t returned = 0;
      const std::int32_t result =
          w.portDeviceControl(req.appId, req.handle, req.controlCode, in.empty() ? nullptr : in.data(),
                              req.inSize, out.empty() ? nullptr : out.data(),
                              static_cast<std::uint32_t>(out.size()), &returned);
      returned = std::min<std::uint32_t>(returned, static_cast<std::uint32_t>(out.size()));
      reply(ByteWriter().i32(result).u32(returned).raw(out.data(), returned).take());
      return true;
    }
    default:
      bceTrace("Dropped a request of unknown code 0x%lx\n", static_cast<unsigned long>(code));
      return true;
  }
}

}  // namespace

void dispatchRequest(const Mail& mail) {
  const std::uint32_t sender = mail.header.sender;
  if (sender >= BCE_MAX_APPS || sender == 0) {
    bceTrace("Dropped a request of code 0x%lx from unknown sender %lu\n",
             static_cast<unsigned long>(mail.header.code), static_cast<unsigned long>(sender));
    return;
  }
  if (run(mail, sender)) return;
  bceTrace("Dropped a malformed request of code 0x%lx (%lu data bytes)\n",
           static_cast<unsigned long>(mail.header.code), static_cast<unsigned long>(mail.data.size()));
  if (expectsReply(mail.header.code) && mail.header.code != BCE_REQ_REGISTER)
    writeReply(sender, mail.header.serial, finalReplyCode(mail.header.code), resultOnly(BCE_ERR_BAD_REQUEST), true);
}

}  // namespace wf::bce
