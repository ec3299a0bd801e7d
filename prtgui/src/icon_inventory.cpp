// The printer's record of the inventory data file: a 66-byte fixed part,
// then length-prefixed texts and counted tables, little-endian and packed,
// as the inventory report reads it back.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/app_services.h"
#include "common/oid_list.h"
#include "common/ports.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "framework/global_memory.h"
#include "icon_records.h"
#include "icon_strings.h"
#include "prtgui/supply_tables.h"
#include "prtobj/prtobj_util.h"

using wf::prtgui::underRecord;

namespace {

constexpr std::size_t kFixedPart = 66;
constexpr std::size_t kMaxText = 127;  // one length byte
constexpr std::size_t kMaxCartridgeText = 63;
constexpr std::size_t kMaxNames = 255;
// Items 3 to 17 at their longest: twelve full texts, the reserved bytes,
// ten inputs and four outputs with their counts.
constexpr std::size_t kLongestTail = 12 * (1 + kMaxText) + 5 + (1 + 10 * 8) + (1 + 4 * 6);
// Items 3 to 17 with no data: twelve empty texts, the reserved bytes, two
// zero counts.
constexpr std::size_t kEmptyTail = 12 + 5 + 2;

enum Offset : std::size_t {
  kLength = 0,
  kStatus = 2,
  kProtocols = 3,
  kSpeed = 7,
  kDuplex = 8,
  kLifetimePages = 9,
  kMemory = 13,
  kDiskSize = 17,
  kDiskFree = 21,
  kSpoolPercent = 25,
  kFlashSize = 26,
  kFlashFree = 30,
};

enum StringId : UINT {
  kUnknownCartridge = 1175,
  kCorLinkNickname = 1274,
  kTcpHost = 1275,
  kNetWareLogin = 1276,
};

// The length of at most `max` bytes of `text`, cut at a character boundary.
std::size_t cutLength(const std::string& text, std::size_t max) {
  std::size_t length = std::min(text.size(), max);
  if (length < text.size())
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  return length;
}

std::uint32_t clampTo32(std::uint64_t value) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, 0xFFFFFFFFu));
}

class RecordWriter {
 public:
  explicit RecordWriter(char* buffer) : out_(reinterpret_cast<unsigned char*>(buffer)) {}

  std::size_t position() const { return pos_; }
  void seek(std::size_t position) { pos_ = position; }

  void put8(std::uint8_t value) { out_[pos_++] = value; }
  void put16(std::uint16_t value) {
    put8(static_cast<std::uint8_t>(value));
    put8(static_cast<std::uint8_t>(value >> 8));
  }
  void put32(std::uint32_t value) {
    put16(static_cast<std::uint16_t>(value));
    put16(static_cast<std::uint16_t>(value >> 16));
  }
  void zeros(std::size_t count) {
    std::memset(out_ + pos_, 0, count);
    pos_ += count;
  }
  void putText(const std::string& text, std::size_t max = kMaxText) {
    const std::size_t length = cutLength(text, max);
    put8(static_cast<std::uint8_t>(length));
    std::memcpy(out_ + pos_, text.data(), length);
    pos_ += length;
  }
  static std::size_t textSize(const std::string& text) { return 1 + cutLength(text, kMaxText); }

  // Writes at a fixed offset without moving on.
  template <class Put>
  void at(std::size_t offset, Put&& put) {
    const std::size_t here = pos_;
    pos_ = offset;
    put(*this);
    pos_ = here;
  }

 private:
  unsigned char* out_;
  std::size_t pos_ = 0;
};

std::string stripped(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n\v\f");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n\v\f") - first + 1);
}

const std::string& firstFilled(const std::string& preferred, const std::string& fallback) {
  return preferred.empty() ? fallback : preferred;
}

void writeEmptyTail(RecordWriter& out) {
  out.zeros(kEmptyTail);
}

// The icon's names of the record: its ports, then the network names.
void addNames(CWFPrinterIcon* icon, std::vector<std::string>& names) {
  CWFPortList ports(icon);
  for (POSITION p = ports.GetHeadPosition(); p;)
    names.emplace_back(static_cast<CWFPort*>(ports.GetNext(p))->GetJSPortName());
  const std::pair<CString, UINT> network[] = {
      {icon->GetCLNickname(), kCorLinkNickname},
      {icon->GetNWLogin(), kNetWareLogin},
      {icon->GetTCPHost(), kTcpHost},
  };
  for (const auto& [value, format] : network) {
    if (value.IsEmpty() || value == " ") continue;
    CString line;
    line.Format(wf::prtgui::loadString(format), static_cast<LPCSTR>(value));
    names.emplace_back(line.str());
  }
}

// Runs `use` on the icon of every entry of the chain, the first one's being
// `first`; further icons are held while in use.
template <class Use>
void forEachChainIcon(CWFPrinterIcon* first, _WF_PRINTER_INFO* info, Use&& use) {
  use(first);
  WFAppServices* app = WFGetApp();
  CWFPrinterList* list = app ? app->GetPrinterList() : nullptr;
  for (_WF_PRINTER_INFO* entry = info ? info->pNext : nullptr; entry && list; entry = entry->pNext) {
    if (CWFPrinterIcon* icon = list->FindPrinterIcon(entry->hPrinter)) {
      use(icon);
      icon->ThreadUnlock();
    }
  }
}

std::uint32_t recordProtocols(UINT protocols) {
  static constexpr struct {
    UINT icon;
    std::uint32_t record;
  } kBits[] = {{BCE_NET_LOCAL, 0x1}, {BCE_NET_NETWARE, 0x4}, {BCE_NET_CORLINK, 0x8},
               {BCE_NET_IP, 0x10},   {BCE_NET_IPX, 0x40},    {BCE_NET_PEER, 0x800}};
  std::uint32_t mask = 0;
  for (const auto& bit : kBits)
    if (protocols & bit.icon) mask |= bit.record;
  return mask;
}

}  // namespace

CWFoidList* CWFPrinterIcon::GetPINameList(_WF_PRINTER_INFO* info) {
  std::vector<std::string> names;
  forEachChainIcon(this, info, [&](CWFPrinterIcon* icon) { addNames(icon, names); });
  if (names.empty()) return nullptr;
  auto* list = new CWFoidList(OIDLIST_FREEGLOBAL);
  for (const std::string& name : names) {
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, name.size() + 1);
    if (!block) continue;
    std::memcpy(GlobalLock(block), name.c_str(), name.size() + 1);
    list->Add(new CWFoid(block));
  }
  return list;
}

UINT CWFPrinterIcon::GetPIValidProtocols(_WF_PRINTER_INFO* info) {
  UINT protocols = 0;
  forEachChainIcon(this, info, [&](CWFPrinterIcon* icon) { protocols |= icon->GetValidProtocols(); });
  return protocols;
}

short CWFPrinterIcon::GetInventoryData(_WF_PRINTER_INFO* info, char* buffer) {
  RecordWriter out(buffer);
  out.zeros(kFixedPart);
  out.putText(info ? info->strName.str() : std::string());

  // Names up to the count byte's limit and as far as the longest tail still fits.
  std::vector<std::string> names;
  if (CWFoidList* list = GetPINameList(info)) {
    std::size_t room = kInventoryBufferSize - out.position() - 1 - kLongestTail;
    for (POSITION p = list->GetHeadPosition(); p && names.size() < kMaxNames;) {
      std::string name(
          static_cast<const char*>(GlobalLock(static_cast<CWFoid*>(list->GetNext(p))->GetPointer())));
      if (RecordWriter::textSize(name) > room) break;
      room -= RecordWriter::textSize(name);
      names.push_back(std::move(name));
    }
    delete list;
  }
  out.put8(static_cast<std::uint8_t>(names.size()));
  for (const std::string& name : names) out.putText(name);

  const bool bidi = info && !info->dwNoBidiData && GetBidiActive();
  out.at(kStatus, [&](RecordWriter& w) { w.put8(bidi ? 1 : 0); });
  out.at(kProtocols, [&](RecordWriter& w) { w.put32(recordProtocols(GetPIValidProtocols(info))); });
  const std::size_t tail = out.position();

  WFPrtObj* object = bidi ? GetPrinterObj() : nullptr;
  bool complete = object != nullptr;
  auto step = [&](bool ok) { return complete = complete && ok; };

  step(complete &&
       underRecord(
           this, "DeviceChars", m_pDeviceChars, false,
           [&](WFPrtObj::DEVICECHARS* r) { return object->bidiGetDeviceChars(r); },
           [&](const WFPrtObj::DEVICECHARS& r) {
             out.at(kDuplex, [&](RecordWriter& w) { w.put8(r.duplex); });
             out.at(kSpeed, [&](RecordWriter& w) { w.put8(static_cast<std::uint8_t>(r.speed)); });
             out.at(kMemory, [&](RecordWriter& w) { w.put32(clampTo32(std::uint64_t{r.memoryKb} * 1024)); });
             out.putText(GetModel().str());
             out.putText(r.serialNumber);
           }));
  step(complete && underRecord(
                       this, "CodeLevels", m_pCodeLevels, false,
                       [&](WFPrtObj::CODELEVELS* r) { return object->bidiGetCodeLevels(r); },
                       [&](const WFPrtObj::CODELEVELS& r) {
                         for (const std::string* level :
                              {&r.revisionLevel, &firstFilled(r.eng, r.engf), &r.engb, &r.pnl, &r.dpx,
                               &firstFilled(r.ina, r.ina1), &r.ina2})
                           out.putText(stripped(*level));
                         out.putText("N/A");
                       }));
  step(complete && underRecord(
                       this, "StorageOpts", m_pStorageOptions, false,
                       [&](WFPrtObj::STORAGEOPTIONS* r) { return object->bidiGetStorageOptions(r); },
                       [&](const WFPrtObj::STORAGEOPTIONS& r) {
                         out.at(kFlashSize, [&](RecordWriter& w) { w.put32(r.flashSize); });
                         out.at(kFlashFree, [&](RecordWriter& w) { w.put32(r.flashFree); });
                         out.at(kDiskSize, [&](RecordWriter& w) { w.put32(r.diskSize); });
                         out.at(kDiskFree, [&](RecordWriter& w) { w.put32(r.diskFree); });
                         std::string format, name;
                         if (r.fontCartridge) {
                           format = r.cartridgeDetail;
                           name = r.cartridgeName.empty() ? wf::prtgui::loadString(kUnknownCartridge).str()
                                                          : r.cartridgeName;
                         }
                         out.putText(format, kMaxCartridgeText);
                         out.putText(name, kMaxCartridgeText);
                         out.zeros(5);
                       }));
  step(complete && underRecord(
                       this, "PageCount", m_pPageCounts, false,
                       [&](WFPrtObj::PAGECOUNTDATA* r) { return object->bidiGetPageCounts(r); },
                       [&](const WFPrtObj::PAGECOUNTDATA& r) {
                         out.at(kLifetimePages, [&](RecordWriter& w) { w.put32(r.counters[0]); });
                       }));
  if (complete) {
    if (!m_pInputObj || m_pInputObj->NumSources() == 0) UpdateInputChars();
    const std::size_t inputCount = out.position();
    out.put8(0);
    std::uint8_t inputs = 0;
    for (USHORT id = 7101; id <= 7110 && m_pInputObj; ++id) {
      const UINT npa = m_pInputObj->GetNPAID(id);
      // Trays numbered beyond the input-code table have no code.
      if (npa == 0 || npa >= kInputCodes) continue;
      const auto key = static_cast<USHORT>(npa);
      out.put16(static_cast<std::uint16_t>(m_inputCodes[npa]));
      out.put8(static_cast<std::uint8_t>(m_pInputObj->GetTraySize(key)));
      out.put8(static_cast<std::uint8_t>(m_pInputObj->GetTrayType(key)));
      out.put32(m_pInputObj->GetTrayCapacity(key));
      ++inputs;
    }
    out.at(inputCount, [&](RecordWriter& w) { w.put8(inputs); });

    if (!m_pOutputObj || m_pOutputObj->NumSources() == 0) UpdateOutputBins();
    const std::size_t outputCount = out.position();
    out.put8(0);
    std::uint8_t outputs = 0;
    for (USHORT id = 7201; id <= 7204 && m_pOutputObj; ++id) {
      const UINT npa = m_pOutputObj->GetNPAID(id);
      if (npa == 0) continue;
      out.put16(static_cast<std::uint16_t>(npa - 1));
      out.put32(m_pOutputObj->GetTrayCapacity(static_cast<USHORT>(npa)));
      ++outputs;
    }
    out.at(outputCount, [&](RecordWriter& w) { w.put8(outputs); });

    unsigned char percent = 0;
    switch (GetSpoolBufferPercent(0, &percent)) {
      case 0:
        out.at(kSpoolPercent, [&](RecordWriter& w) { w.put8(0xFF); });
        break;
      case 1:
        out.at(kSpoolPercent, [&](RecordWriter& w) { w.put8(percent); });
        break;
      case 2:
        complete = false;
        break;
      default:
        break;
    }
  }
  if (!complete) {
    // The status byte stays as written: the report reads that layout.
    if (bidi && info) info->dwNoBidiData = 1;
    out.seek(tail);
    writeEmptyTail(out);
  }
  if (object) ReleasePrinterObj();
  const auto length = static_cast<std::uint16_t>(out.position());
  out.at(kLength, [&](RecordWriter& w) { w.put16(length); });
  return static_cast<short>(length);
}
