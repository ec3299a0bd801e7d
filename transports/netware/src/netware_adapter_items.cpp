// NetWare items kept by the adapter itself: its NetWare settings, the file
// servers it services or is attached to, its NetWare protocol reset, and
// its ports switched off and on.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "netware_transport.h"
#include "nw_log.h"
#include "platform/byte_codec.h"
#include "transports/common/net_items.h"

namespace wf::netware {

namespace kestrel = ::wf::adapter::kestrel;
namespace wire = ::wf::adapter;
using wf::net::kItemNwAdvanced;
using wf::net::kItemNwAttachedServers;
using wf::net::kItemNwDisablePorts;
using wf::net::kItemNwEnablePorts;
using wf::net::kItemNwResetProtocol;
using wf::net::kItemNwServersServiced;
using wf::net::kItemNwSettings;
using wf::net::kMediaTokenRing;
using wf::net::NETADAPTERPARMS;
using wf::net::NWADVANCED;
using wf::net::NWSERVERLIST;
using wf::net::NWSETTINGS;

namespace {

constexpr std::uint8_t kNw = wire::var::kNetWareGroup;
constexpr std::uint8_t kEnabledPorts = 55, kMode = 3, kLanguage = 4, kLoginName = 2, kFirstServer = 7,
                       kFirstServerByte = 65, kFirstPolling = 57, kFirstOptions = 81;
constexpr std::uint8_t kLanguageCodes[] = {8, 1, 2, 4, 0};  // languages 1 to 5
constexpr std::size_t kServers = 16, kNameField = 48;
constexpr std::size_t kDefinedBlock = 414;  // "LPA Defined Servers": one block of eight
constexpr std::size_t kAdvanceBlock = 29;   // "LPA Advance Settings" up to its frame types

std::uint8_t var(int n) {
  return static_cast<std::uint8_t>(n);
}

std::uint8_t languageOf(std::uint8_t code) {
  for (std::uint8_t i = 0; i < 5; ++i)
    if (kLanguageCodes[i] == code) return static_cast<std::uint8_t>(i + 1);
  return 0;
}

std::optional<std::string> fieldName(const char* field, std::size_t size) {
  const void* end = std::memchr(field, 0, size);
  if (!end) return std::nullopt;
  return std::string(field, static_cast<const char*>(end));
}

// A NetWare object name: 1 to 47 printable characters, none of the bindery's separators.
bool validNetWareName(const std::string& name) {
  if (name.empty() || name.size() > 47) return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    return c <= ' ' || c >= 0x7F || std::strchr("\"*+,/:;<=>?[\\]|", c) != nullptr;
  });
}

std::string blockText(const Bytes& block, std::size_t at, std::size_t width) {
  if (at >= block.size()) return {};
  const std::size_t n = std::min(width, block.size() - at);
  const auto* begin = reinterpret_cast<const char*>(block.data() + at);
  return std::string(begin, strnlen(begin, n));
}

void setText(char* field, std::size_t size, const std::string& text) {
  std::snprintf(field, size, "%s", text.c_str());
}

bool isParallel7390(const AdapterView::Port& p) {
  return (p.kind & 0xF0) == kestrel::kKindParallel7390;
}

std::uint16_t wordAt(const Bytes& b, std::size_t at) {
  return at + 2 <= b.size() ? loadBe16(b.data() + at) : 0;
}

Bytes field(const char* text, std::size_t width) {
  Bytes b(width, 0);
  std::memcpy(b.data(), text, strnlen(text, width - 1));
  return b;
}

}  // namespace

bool NetWareTransport::requeryAdapter(const AdapterView& a) {
  return requery(a.network, a.ipxNode, nullptr);
}

std::int32_t NetWareTransport::resetProtocol(const AdapterView& a) {
  if (a.adapterKind == AdapterKind::MultiPort) {
    const std::uint8_t one = 1;
    wire::VariableWrite w;
    w.add(kNw, wire::var::kNwReset, View(&one, 1));
    return writeVariables(a, w) ? NET_FAIL : NET_OKAY;
  }
  return textExchange(a, wire::textCommand(wire::kTagResetLpa), wire::kSettingsTimeout, nullptr) ? NET_FAIL
                                                                                                 : NET_OKAY;
}

std::int32_t NetWareTransport::pollingControl(const AdapterView& a, const AdapterView::Port& port, bool on) {
  Bytes data;
  if (a.adapterKind == AdapterKind::External7390) {
    data = {static_cast<std::uint8_t>(isParallel7390(port) ? 1 : 0), static_cast<std::uint8_t>(on ? 1 : 0)};
  } else {
    data.assign(5, 0);
    data[0] = on ? 1 : 0;
    storeBe16(&data[1], wordAt(port.block, kestrel::kSinglePolling));
    storeBe16(&data[3], wordAt(port.block, kestrel::kSinglePolling + 2));
  }
  return textExchange(a, wire::textCommand(wire::kTagPollingControl, data), wire::kQueryTimeout, nullptr);
}

// ---- Item 1 -----------------------------------------------------------------------------------

std::int32_t NetWareTransport::getSettings(const AdapterView& a, const AdapterView::Port& port,
                                           NWSETTINGS& out) {
  NWSETTINGS r{};
  r.NvramAdapter = a.nvram() ? 1 : 0;
  if (a.adapterKind == AdapterKind::MultiPort) {
    const int n = port.number;
    const bool rprinter = !a.pserver();
    wire::VariableRead read;
    read.add(kNw, kEnabledPorts).add(kNw, kMode);
    if (rprinter) read.add(kNw, var(kFirstServer + n));
    read.add(kNw, var(kFirstPolling + n))
        .add(kNw, kLanguage)
        .add(kNw, var(kFirstOptions + n))
        .add(kNw, kLoginName);
    std::optional<wire::VariableReply> v;
    if (const int rc = variableExchange(a, read.packet(), wire::kSettingsTimeout, wire::kReplyBuffer, &v))
      return rc;
    auto byte = [&](int variable) {
      std::uint8_t b = 0;
      wire::fetchValue(*v, kNw, var(variable), std::span<std::uint8_t>(&b, 1));
      return b;
    };
    r.PortEnabled = (byte(kEnabledPorts) >> n) & 1;
    r.PrintMode = byte(kMode) == 1 ? 1 : 2;
    std::uint8_t polling[2] = {};
    wire::fetchValue(*v, kNw, var(kFirstPolling + n), polling);
    r.PollingInterval = loadBe16(polling);
    r.Language = languageOf(byte(kLanguage));
    const std::uint8_t options = byte(kFirstOptions + n);
    r.PortOptions = static_cast<std::uint8_t>((options & 1 ? 0x80 : 0) | (options & 2 ? 2 : 1));
    wire::fetchValue(*v, kNw, kLoginName,
                     std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(r.LoginName), 43));
    if (rprinter)
      wire::fetchValue(*v, kNw, var(kFirstServer + n),
                       std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(r.PrintServer), 47));
    out = r;
    return NET_OKAY;
  }

  std::optional<wire::KestrelParameters> k;
  if (const int rc = queryKestrel(a, k)) return rc;
  const auto& b = k->block;
  const Bytes block(b.begin(), b.end());
  setText(r.LoginName, sizeof r.LoginName, blockText(block, kestrel::kName, 44));
  r.PrintMode = b[kestrel::kPrintMode] == 1 ? 1 : 2;
  const bool rprinter = r.PrintMode == 2;
  if (a.adapterKind == AdapterKind::SinglePort) {
    Node address{};
    std::copy_n(b.begin() + kestrel::kAddress, 6, address.begin());
    if (!k->identity || k->identity->node != address) return NET_BADCMD;
    const Bytes& pb = k->ports.front().bytes;
    r.PortEnabled = pb.size() > kestrel::kSingleFlags && (pb[kestrel::kSingleFlags] & 1);
    r.PollingInterval = wordAt(pb, kestrel::kSinglePolling);
    if (rprinter) {
      setText(r.PrintServer, sizeof r.PrintServer, blockText(pb, kestrel::kSinglePrintServer, 47));
      setText(r.PrintServer2, sizeof r.PrintServer2, blockText(pb, kestrel::kSinglePrintServer2, 47));
    }
    r.PortOptions = 1;
    if (a.nvram()) {
      Bytes advance;
      if (const int rc =
              textExchange(a, wire::textCommand(wire::kTagQueryAdvance), wire::kQueryTimeout, &advance))
        return rc;
      if (!wire::tagIs(advance, wire::kTagAdvanceSettings) || advance.size() <= wire::kTextData)
        return NET_READFAIL;
      const std::uint8_t flags = advance[wire::kTextData];
      r.PortOptions = static_cast<std::uint8_t>((flags & 0x40 ? 0x80 : 0) | (flags & 0x80 ? 2 : 1));
    }
  } else {
    for (const wire::PortBlock& pb : k->ports) {
      const bool parallel = (pb.kind() & 0xF0) == kestrel::kKindParallel7390;
      if (rprinter)
        setText(
            parallel ? r.PrintServer : r.PrintServer2, kNameField,
            blockText(pb.bytes, parallel ? kestrel::kParallelPrintServer : kestrel::kSerialPrintServer, 47));
      if ((pb.kind() & 0xF0) != (port.kind & 0xF0)) continue;
      r.PortEnabled = pb.byte(parallel ? kestrel::kParallelEnabled : kestrel::kSerialEnabled) ? 1 : 0;
      r.PollingInterval = pb.word(parallel ? kestrel::kParallelPolling : kestrel::kSerialPolling);
    }
  }
  out = r;
  return NET_OKAY;
}

std::int32_t NetWareTransport::setNpaSettings(const AdapterView& a, const AdapterView::Port& port,
                                              const NWSETTINGS& in) {
  const int n = port.number;
  const auto bit = static_cast<std::uint8_t>(1u << n);
  std::optional<wire::VariableReply> v;
  if (variableExchange(a,
                       wire::VariableRead().add(kNw, kEnabledPorts).add(kNw, var(kFirstOptions + n)).packet(),
                       wire::kSettingsTimeout, wire::kReplyBuffer, &v)) {
    nwLog().write("Couldn't do an initial read of the Kestrel before performing update in SetVMNWCfg()\n");
    return NET_FAIL;
  }
  std::uint8_t mask = 0, options = 0;
  wire::fetchValue(*v, kNw, kEnabledPorts, std::span<std::uint8_t>(&mask, 1));
  wire::fetchValue(*v, kNw, var(kFirstOptions + n), std::span<std::uint8_t>(&options, 1));
  const std::uint8_t one = 1;
  if (!in.PortEnabled && (mask & bit)) {
    mask = static_cast<std::uint8_t>(mask & ~bit);
    wire::VariableWrite off;
    off.add(kNw, kEnabledPorts, View(&mask, 1));
    off.add(kNw, wire::var::kNwSave, View(&one, 1));
    if (const int rc = writeVariables(a, off))
      nwLog().write("Disable Kestrel port failed with <%d> SetVMNWCfg\n", rc);
  }
  wire::VariableWrite w;
  if (in.PrintMode == 2) w.add(kNw, var(kFirstServer + n), field(in.PrintServer, kNameField));
  const std::uint8_t mode = in.PrintMode == 1 ? 1 : 0;
  w.add(kNw, kMode, View(&mode, 1));
  std::uint8_t polling[2];
  storeBe16(polling, in.PollingInterval);
  w.add(kNw, var(kFirstPolling + n), polling);
  w.add(kNw, kLanguage, View(&kLanguageCodes[in.Language - 1], 1));
  w.add(kNw, kLoginName, field(in.LoginName, 44));
  const int low = in.PortOptions & 0x7F;
  const int keep = low == 2 ? 2 : low == 1 ? 0 : (options & 2);
  options = static_cast<std::uint8_t>((options & ~0x07) | (in.PortOptions & 0x80 ? 1 : 0) | keep |
                                      (in.PortEnabled ? 4 : 0));
  w.add(kNw, var(kFirstOptions + n), View(&options, 1));
  if (in.PortEnabled) {
    mask |= bit;
    w.add(kNw, kEnabledPorts, View(&mask, 1));
  }
  w.add(kNw, wire::var::kNwSave, View(&one, 1));
  w.add(kNw, wire::var::kNwReset, View(&one, 1));
  if (const int rc = writeVariables(a, w)) return rc;
  if (!waitForReset(a.network, a.ipxNode, wire::kResetLimit)) return NET_FAIL;
  return requeryAdapter(a) ? NET_OKAY : NET_FAIL;
}

std::int32_t NetWareTransport::setTextSettings(const AdapterView& a, const AdapterView::Port& port,
                                               const NWSETTINGS& in) {
  const bool single = a.adapterKind == AdapterKind::SinglePort;
  const bool enabled =
      single ? (port.block.size() > kestrel::kSingleFlags && (port.block[kestrel::kSingleFlags] & 1))
             : port.block.size() >
                       (isParallel7390(port) ? kestrel::kParallelEnabled : kestrel::kSerialEnabled) &&
                   port.block[isParallel7390(port) ? kestrel::kParallelEnabled : kestrel::kSerialEnabled];
  if (enabled && !in.PortEnabled) return pollingControl(a, port, false);

  wire::ControlLpa control;
  control.language(kLanguageCodes[in.Language - 1]).printMode(in.PrintMode == 1).loginName(in.LoginName);
  if (!a.nvram()) control.nameSlot(0, in.PrintServer).nameSlot(1, in.PrintServer2);
  if (const int rc = textExchange(a, control.command(), wire::kSettingsTimeout, nullptr)) return rc;
  const bool nvramSingle = single && a.nvram();
  auto saveAndReset = [&]() -> int {
    if (const int rc =
            textExchange(a, wire::textCommand(wire::kTagUpdateNvram), wire::kSettingsTimeout, nullptr))
      return rc;
    return resetProtocol(a);
  };
  if (nvramSingle) {
    Bytes advance;
    if (const int rc =
            textExchange(a, wire::textCommand(wire::kTagQueryAdvance), wire::kQueryTimeout, &advance))
      return rc;
    if (!wire::tagIs(advance, wire::kTagAdvanceSettings) || advance.size() < kAdvanceBlock)
      return NET_READFAIL;
    std::uint8_t& flags = advance[wire::kTextData];
    flags = static_cast<std::uint8_t>((flags & ~0xC0) | (in.PortOptions & 0x80 ? 0x40 : 0) |
                                      (in.PortOptions & 0x02 ? 0x80 : 0));
    const View back(advance.data() + wire::kTextData, kAdvanceBlock - wire::kTextData);
    if (const int rc = textExchange(a, wire::textCommand(wire::kTagAdvanceSettings, back),
                                    wire::kSettingsTimeout, nullptr))
      return rc;
    if (const int rc = saveAndReset()) return rc;
  }
  if (!requeryAdapter(a)) {
    nwLog().write("QueryAndUpdateAdapter() returned false in SetLPANWCfg()\n");
    return NET_FAIL;
  }
  const auto fresh = table_.adapterOf(port.id);
  if (!fresh) return NET_FAIL;
  AdapterView::Port now = *fresh->portById(port.id);
  if (a.adapterKind == AdapterKind::External7390) {
    NETADAPTERPARMS parms{};
    if (const int rc = getAdapterParms(*fresh, now, parms)) return rc;
    if (const int rc = sendPortParameters(*fresh, now, parms, in.PollingInterval)) return rc;
  } else {
    if (now.block.size() >= kestrel::kSinglePolling + 2)
      storeBe16(&now.block[kestrel::kSinglePolling], in.PollingInterval);
  }
  if (const int rc = pollingControl(*fresh, now, in.PortEnabled != 0)) return rc;
  if (nvramSingle)
    if (const int rc = saveAndReset()) return rc;
  if (!requeryAdapter(a)) {
    nwLog().write("QueryAndUpdateAdapter() returned false in SetLPANWCfg()\n");
    return NET_FAIL;
  }
  return NET_OKAY;
}

std::int32_t NetWareTransport::setSettings(const AdapterView& a, const AdapterView::Port& port,
                                           const NWSETTINGS& in) {
  const auto login = fieldName(in.LoginName, sizeof in.LoginName);
  if (!login || !fieldName(in.PrintServer, sizeof in.PrintServer) ||
      !fieldName(in.PrintServer2, sizeof in.PrintServer2) || in.Language < 1 || in.Language > 5 ||
      (in.PrintMode != 1 && in.PrintMode != 2))
    return NET_FAIL;
  if (a.anyBusy(port.id)) {
    nwLog().write("Adapter has other ports that are busy, can't configure it yet\n");
    return NET_NW_ADAPTER_BUSY;
  }
  const bool renamed = *login != a.name;
  if (renamed && !validNetWareName(*login)) return NET_FAIL;
  if (!a.pserver() && in.PortEnabled) {
    AdapterView self = a;
    self.ports = {port};
    if (self.anyBusy()) {
      nwLog().write("Current adapter port is busy, can't configure it yet\n");
      return NET_NW_ADAPTER_BUSY;
    }
  }
  const bool npa = a.adapterKind == AdapterKind::MultiPort;
  if (const int rc = npa ? setNpaSettings(a, port, in) : setTextSettings(a, port, in)) {
    nwLog().write(npa ? "SetVMNWCfg() failed in SetNWCfg\n" : "SetLPANWCfg() failed in SetNWCfg\n");
    return rc;
  }
  if (renamed && events_.load()) {
    AdapterView named = a;
    named.name = *login;
    for (const AdapterView::Port& p : a.ports) {
      char name[80] = {};
      setText(name, sizeof name, portNameOf(named, p));
      if (const NETEVENTPROC events = events_.load()) events(BCE_NET_NETWARE, p.id, NETEVENT_RENAMED, name);
    }
  }
  return NET_OKAY;
}

// ---- Items 3 and 11 ---------------------------------------------------------------------------

std::int32_t NetWareTransport::getServers(const AdapterView& a, NWSERVERLIST& out) {
  NWSERVERLIST r{};
  if (a.adapterKind == AdapterKind::MultiPort) {
    for (int group = 0; group < 4; ++group) {
      wire::VariableRead read;
      for (int i = 0; i < 4; ++i) read.add(kNw, var(kFirstServer + 4 * group + i));
      for (int i = 0; i < 4; ++i) read.add(kNw, var(kFirstServerByte + 4 * group + i));
      std::optional<wire::VariableReply> v;
      if (const int rc = variableExchange(a, read.packet(), wire::kSettingsTimeout, wire::kReplyBuffer, &v))
        return rc;
      for (int i = 0; i < 4; ++i) {
        const int entry = 4 * group + i;
        wire::fetchValue(
            *v, kNw, var(kFirstServer + entry),
            std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(r.Names[entry]), kNameField - 1));
        wire::fetchValue(*v, kNw, var(kFirstServerByte + entry), std::span<std::uint8_t>(&r.Flags[entry], 1));
        if (r.Names[entry][0]) ++r.Count;
      }
    }
    out = r;
    return NET_OKAY;
  }
  if (a.adapterKind != AdapterKind::SinglePort || !a.nvram()) return NET_BADCMD;
  Bytes reply;
  if (const int rc = textExchange(a, wire::textCommand(wire::kTagQueryServers), wire::kQueryTimeout, &reply,
                                  2 * kDefinedBlock))
    return rc;
  if (!wire::tagIs(reply, wire::kTagDefinedServers)) return NET_READFAIL;
  for (std::size_t start = 0; start + kDefinedBlock <= reply.size(); start += kDefinedBlock) {
    const std::uint8_t number = reply[start + 21];
    if (number < 1 || number > 2) continue;  // only entries 0 to 15 exist
    for (std::size_t n = 0; n < 8; ++n) {
      const std::size_t entry = 8 * (number - 1u) + n;
      r.Flags[entry] = reply[start + 22 + n];
      setText(r.Names[entry], kNameField, blockText(reply, start + 30 + 48 * n, 47));
    }
  }
  for (const auto& name : r.Names)
    if (name[0]) ++r.Count;
  out = r;
  return NET_OKAY;
}

std::int32_t NetWareTransport::setServers(const AdapterView& a, const NWSERVERLIST& in) {
  if (in.Count > kServers) return NET_FAIL;
  std::vector<Bytes> names(kServers, Bytes(kNameField, 0));
  for (std::size_t i = 0; i < in.Count; ++i) {
    if (!fieldName(in.Names[i], kNameField)) return NET_FAIL;
    names[i] = field(in.Names[i], kNameField);
  }
  if (a.adapterKind == AdapterKind::MultiPort) {
    for (int half = 0; half < 2; ++half) {
      wire::VariableWrite w;
      for (int i = 0; i < 8; ++i) w.add(kNw, var(kFirstServer + 8 * half + i), names[8 * half + i]);
      const std::uint8_t one = 1;
      if (half == 1) w.add(kNw, wire::var::kNwSave, View(&one, 1));
      if (const int rc = writeVariables(a, w)) return rc;
    }
    return NET_OKAY;
  }
  if (a.adapterKind != AdapterKind::SinglePort || !a.nvram()) return NET_BADCMD;
  int rc = NET_OKAY;
  if (in.Count >= 3) {
    for (std::uint8_t block = 0; block < 2 && rc == NET_OKAY; ++block) {
      Bytes data = {block};
      for (std::size_t i = 0; i < 8; ++i)
        data.insert(data.end(), names[8 * block + i].begin(), names[8 * block + i].end());
      rc = textExchange(a, wire::textCommand(wire::kTagSetServers, data), wire::kQueryTimeout, nullptr);
    }
  } else {
    rc = textExchange(a,
                      wire::ControlLpa()
                          .nameSlot(0, in.Count > 0 ? in.Names[0] : "")
                          .nameSlot(1, in.Count > 1 ? in.Names[1] : "")
                          .command(),
                      wire::kQueryTimeout, nullptr);
  }
  if (rc) {
    nwLog().write("SetNWFileServersServiced() failed in SendToTheBox() with file server update, rc = 0x%X\n",
                  static_cast<unsigned>(rc));
    return rc;
  }
  if ((rc = textExchange(a, wire::textCommand(wire::kTagUpdateNvram), wire::kSettingsTimeout, nullptr))) {
    nwLog().write("UpdateNVRam() with file server update failed, rc = 0x%X\n", static_cast<unsigned>(rc));
    return rc;
  }
  if ((rc = resetProtocol(a))) {
    nwLog().write("ResetNWProtocol() with file server update failed, rc = 0x%X\n", static_cast<unsigned>(rc));
    return rc;
  }
  return NET_OKAY;
}

std::int32_t NetWareTransport::attachedServers(const AdapterView& a, NWSERVERLIST& out) {
  const bool listing =
      a.adapterKind == AdapterKind::External7390 || (a.adapterKind == AdapterKind::SinglePort && !a.nvram());
  if (!listing) return getServers(a, out);
  Bytes reply;
  if (const int rc = textExchange(a, wire::textCommand(wire::kTagListServers), wire::kQueryTimeout, &reply,
                                  2 * wire::kReplyBuffer))
    return rc;
  const auto names = wire::readServerListing(reply);
  if (!names) return NET_READFAIL;
  NWSERVERLIST r{};
  for (const std::string& name : *names) {
    if (r.Count == kServers) break;
    setText(r.Names[r.Count++], kNameField, name);
  }
  out = r;
  return NET_OKAY;
}

// ---- Item 5 ------------------------------------------------------------------------------------

namespace {

constexpr std::uint8_t kAdvertising = 5, kFrames = 6, kGsq1 = 87, kGsq2 = 89, kGsq3 = 88;
// Ethernet frame-type bits of var 8.6 for the record's bits 0x01, 0x02, 0x04, 0x08.
constexpr std::uint8_t kEthernetFrameBits[] = {0x40, 0x20, 0x10, 0x80};

std::uint8_t framesFromVar(std::uint8_t v, bool tokenRing) {
  if (tokenRing) return v & 0x0F;
  std::uint8_t r = 0;
  for (int i = 0; i < 4; ++i)
    if (v & kEthernetFrameBits[i]) r |= static_cast<std::uint8_t>(1u << i);
  return r;
}

std::uint8_t framesToVar(std::uint8_t kept, std::uint8_t frames, bool tokenRing) {
  if (tokenRing) return static_cast<std::uint8_t>((kept & 0xF0) | (frames & 0x0F));
  std::uint8_t r = kept & 0x0F;
  for (int i = 0; i < 4; ++i)
    if (frames & (1u << i)) r |= kEthernetFrameBits[i];
  return r;
}

std::uint8_t bitIf(bool on, std::uint8_t bit) {
  return on ? bit : 0;
}

}  // namespace

std::int32_t NetWareTransport::advancedNetWare(const AdapterView& a, const NWADVANCED* in, NWADVANCED& out) {
  if (a.adapterKind == AdapterKind::MultiPort) {
    const bool nvram = a.nvram();
    wire::VariableRead read;
    read.add(6, wire::var::kMedia).add(kNw, kAdvertising).add(kNw, kFrames);
    if (nvram) read.add(kNw, kGsq1).add(kNw, kGsq2).add(kNw, kGsq3);
    std::optional<wire::VariableReply> v;
    if (const int rc = variableExchange(a, read.packet(), wire::kSettingsTimeout, wire::kReplyBuffer, &v))
      return rc;
    std::uint8_t media = 0, sap = 0, frames = 0;
    wire::fetchValue(*v, 6, wire::var::kMedia, std::span<std::uint8_t>(&media, 1));
    wire::fetchValue(*v, kNw, kAdvertising, std::span<std::uint8_t>(&sap, 1));
    wire::fetchValue(*v, kNw, kFrames, std::span<std::uint8_t>(&frames, 1));
    const bool tokenRing = media == kMediaTokenRing;
    if (in) {
      sap = nvram ? static_cast<std::uint8_t>((sap & ~0xC1) | bitIf(in->Sap & 0x80, 0x01) |
                                              bitIf(in->PacketOptions & 0x01, 0x80) |
                                              bitIf(in->PacketOptions & 0x02, 0x40))
                  : static_cast<std::uint8_t>((sap & ~0x03) | bitIf(in->Sap & 0x02, 0x01) |
                                              bitIf(in->Sap & 0x01, 0x02));
      if (tokenRing) sap = static_cast<std::uint8_t>((sap & ~0x08) | bitIf(in->BroadcastType == 1, 0x08));
      frames = framesToVar(frames, in->FrameTypes, tokenRing);
      wire::VariableWrite w;
      w.add(kNw, kAdvertising, View(&sap, 1));
      w.add(kNw, kFrames, View(&frames, 1));
      if (nvram) {
        std::uint8_t word[2];
        const std::pair<std::uint8_t, std::uint16_t> words[] = {
            {kGsq1, in->GsqWord1}, {kGsq2, in->GsqWord2}, {kGsq3, in->GsqWord3}};
        for (const auto& [number, value] : words) {
          storeBe16(word, value);
          w.add(kNw, number, word);
        }
      }
      const std::uint8_t one = 1;
      w.add(kNw, wire::var::kNwSave, View(&one, 1));
      return writeVariables(a, w);
    }
    NWADVANCED r{};
    r.Sap = nvram ? bitIf(sap & 0x01, 0x80)
                  : static_cast<std::uint8_t>(bitIf(sap & 0x01, 0x02) | bitIf(sap & 0x02, 0x01));
    r.FrameTypes = framesFromVar(frames, tokenRing);
    r.BroadcastType = tokenRing ? (sap & 0x08 ? 1 : 2) : 0;
    if (nvram) {
      r.PacketOptions = static_cast<std::uint8_t>(bitIf(sap & 0x80, 0x01) | bitIf(sap & 0x40, 0x02));
      std::uint8_t word[2] = {};
      wire::fetchValue(*v, kNw, kGsq1, word);
      r.GsqWord1 = loadBe16(word);
      wire::fetchValue(*v, kNw, kGsq2, word);
      r.GsqWord2 = loadBe16(word);
      wire::fetchValue(*v, kNw, kGsq3, word);
      r.GsqWord3 = loadBe16(word);
    }
    out = r;
    return NET_OKAY;
  }
  if (a.adapterKind != AdapterKind::SinglePort || !a.nvram()) return NET_BADCMD;
  Bytes advance;
  if (const int rc =
          textExchange(a, wire::textCommand(wire::kTagQueryAdvance), wire::kQueryTimeout, &advance))
    return rc;
  if (!wire::tagIs(advance, wire::kTagAdvanceSettings) || advance.size() < kAdvanceBlock) return NET_READFAIL;
  std::uint8_t* block =
      advance.data() + wire::kTextData;  // flags, GSQ words at +1, +3, +5, frame types at +7
  if (in) {
    block[0] = static_cast<std::uint8_t>(
        (block[0] & ~0x39) | bitIf(in->Sap & 0x80, 0x01) | bitIf(in->PacketOptions & 0x01, 0x10) |
        bitIf(in->PacketOptions & 0x02, 0x20) | bitIf(in->BroadcastType == 1, 0x08));
    storeBe16(block + 1, in->GsqWord1);
    storeBe16(block + 5, in->GsqWord2);
    storeBe16(block + 3, in->GsqWord3);
    block[7] = in->FrameTypes;
    const View back(block, kAdvanceBlock - wire::kTextData);
    if (const int rc = textExchange(a, wire::textCommand(wire::kTagAdvanceSettings, back),
                                    wire::kSettingsTimeout, nullptr))
      return rc;
    if (const int rc =
            textExchange(a, wire::textCommand(wire::kTagUpdateNvram), wire::kSettingsTimeout, nullptr)) {
      nwLog().write("UpdateNVRam() with adv. settings update failed, rc = 0x%X\n", static_cast<unsigned>(rc));
      return rc;
    }
    if (const int rc =
            textExchange(a, wire::textCommand(wire::kTagResetLpa), wire::kSettingsTimeout, nullptr)) {
      nwLog().write("ResetAdapter() with adv. settings update failed, rc = 0x%X\n",
                    static_cast<unsigned>(rc));
      return rc;
    }
    return NET_OKAY;
  }
  NWADVANCED r{};
  r.Sap = bitIf(block[0] & 0x01, 0x80);
  r.PacketOptions = static_cast<std::uint8_t>(bitIf(block[0] & 0x10, 0x01) | bitIf(block[0] & 0x20, 0x02));
  r.BroadcastType = block[0] & 0x08 ? 1 : 2;
  r.GsqWord1 = loadBe16(block + 1);
  r.GsqWord2 = loadBe16(block + 5);
  r.GsqWord3 = loadBe16(block + 3);
  r.FrameTypes = block[7];
  out = r;
  return NET_OKAY;
}

// ---- Items 20 and 21 --------------------------------------------------------------------------

std::int32_t NetWareTransport::switchPorts(const AdapterView& a, bool on, std::uint8_t mask) {
  if (a.adapterKind == AdapterKind::MultiPort) {
    if (on) return NET_OKAY;
    int busy = 0;
    for (const AdapterView::Port& p : a.ports)
      if (p.busy) busy += p.number;
    table_.clearBusy(a.network, a.ipxNode);
    return NET_PORTS_DISABLED + busy;
  }
  int handled = 0;
  for (const AdapterView::Port& p : a.ports) {
    const int bit = a.adapterKind == AdapterKind::SinglePort ? 1 : isParallel7390(p) ? 2 : 4;
    if (on && a.adapterKind == AdapterKind::External7390) {
      const bool wanted = isParallel7390(p) ? (mask & 0x02) : (mask & 0x05);
      if (!wanted) continue;
    }
    if (const int rc = pollingControl(a, p, on)) return rc;
    handled |= bit;
  }
  if (a.adapterKind == AdapterKind::SinglePort && a.nvram())
    if (const int rc =
            textExchange(a, wire::textCommand(wire::kTagUpdateNvram), wire::kSettingsTimeout, nullptr))
      return rc;
  requeryAdapter(a);
  return on ? NET_OKAY : NET_PORTS_DISABLED + handled;
}

// ---- Dispatch -----------------------------------------------------------------------------

std::optional<std::int32_t> NetWareTransport::getNetWareItem(std::uint16_t id, std::uint16_t code,
                                                             void* buffer, std::uint16_t* length) {
  if (code != kItemNwSettings && code != kItemNwServersServiced && code != kItemNwAttachedServers &&
      code != kItemNwAdvanced)
    return std::nullopt;
  const auto a = table_.adapterOf(id);
  if (!a) return NET_BADID;
  const AdapterView::Port& port = *a->portById(id);
  if (code == kItemNwAttachedServers && !buffer) {
    nwLog().write("pAdatpersFileServersStruct passed to GetNWAdaptersFileServers() is NULL!!\n");
    return NET_NULL_BUFFER;
  }
  const std::size_t need = code == kItemNwSettings   ? sizeof(NWSETTINGS)
                           : code == kItemNwAdvanced ? sizeof(NWADVANCED)
                                                     : sizeof(NWSERVERLIST);
  if (!buffer || !length || *length < need) return NET_FAIL;
  std::int32_t rc;
  if (code == kItemNwAdvanced) {
    NWADVANCED r{};
    if ((rc = advancedNetWare(*a, nullptr, r)) == NET_OKAY) std::memcpy(buffer, &r, sizeof r);
  } else if (code == kItemNwSettings) {
    NWSETTINGS r{};
    if ((rc = getSettings(*a, port, r)) == NET_OKAY) std::memcpy(buffer, &r, sizeof r);
  } else {
    NWSERVERLIST r{};
    rc = code == kItemNwServersServiced ? getServers(*a, r) : attachedServers(*a, r);
    if (rc == NET_OKAY) std::memcpy(buffer, &r, sizeof r);
  }
  return rc;
}

std::optional<std::int32_t> NetWareTransport::setNetWareItem(std::uint16_t id, std::uint16_t code,
                                                             const void* buffer, std::uint32_t length) {
  if (code != kItemNwSettings && code != kItemNwResetProtocol && code != kItemNwServersServiced &&
      code != kItemNwDisablePorts && code != kItemNwEnablePorts && code != kItemNwAdvanced)
    return std::nullopt;
  const auto a = table_.adapterOf(id);
  if (!a) return NET_BADID;
  const AdapterView::Port& port = *a->portById(id);
  switch (code) {
    case kItemNwSettings: {
      if (!buffer || length < sizeof(NWSETTINGS)) return NET_FAIL;
      NWSETTINGS r;
      std::memcpy(&r, buffer, sizeof r);
      return setSettings(*a, port, r);
    }
    case kItemNwResetProtocol:
      return resetProtocol(*a);
    case kItemNwServersServiced: {
      if (!buffer || length < sizeof(NWSERVERLIST)) return NET_FAIL;
      NWSERVERLIST r;
      std::memcpy(&r, buffer, sizeof r);
      return setServers(*a, r);
    }
    case kItemNwDisablePorts:
      return switchPorts(*a, false, 0);
    case kItemNwAdvanced: {
      if (!buffer || length < sizeof(NWADVANCED)) return NET_FAIL;
      NWADVANCED r, unused;
      std::memcpy(&r, buffer, sizeof r);
      return advancedNetWare(*a, &r, unused);
    }
    default: {
      if (a->adapterKind != AdapterKind::MultiPort && (!buffer || length < 1)) return NET_FAIL;
      return switchPorts(*a, true, buffer && length ? *static_cast<const std::uint8_t*>(buffer) : 0);
    }
  }
}

}  // namespace wf::netware
