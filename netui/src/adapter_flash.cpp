#include "adapter_flash.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "adapter_info.h"
#include "adapter_page.h"
#include "broker_binding.h"
#include "framework/file_dialog.h"
#include "notices.h"

namespace wf::netui {
namespace {

constexpr std::size_t kIpFlashBlock = 512;
constexpr std::size_t kFlashBlock = 3072;
constexpr uint32_t kNetWareBit = 1, kTcpIpBit = 2;
constexpr uint16_t kIpFlashStart = 11, kIpFlashBlockItem = 12, kIpFlashEnd = 13;

using FileCloser = int (*)(std::FILE*);
using FlashFile = std::unique_ptr<std::FILE, FileCloser>;

CString loaded(UINT id) {
  CString s;
  s.LoadString(id);
  return s;
}

uint16_t le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// A class-16 adapter forgets its file servers on a flash: they are read
// before and written back after.
class NetWareServersKeeper {
 public:
  explicit NetWareServersKeeper(USHORT printer) : printer_(printer) {}

  void save() {
    BrokerState& b = broker();
    uint16_t length = sizeof settings_;
    if (b.getNetInfo(printer_, kNetWareBit, wf::net::kItemNwSettings, &settings_, &length, nullptr) != 0) return;
    savedSecondByte_ = settings_.NvramAdapter;
    length = sizeof servers_;
    restore_ = b.getNetInfo(printer_, kNetWareBit, wf::net::kItemNwServersServiced, &servers_, &length, nullptr) == 0 &&
               servers_.Count > 0;
  }

  void restore() {
    if (!restore_) return;
    BrokerState& b = broker();
    wf::net::NWSETTINGS now{};
    uint16_t length = sizeof now;
    if (b.getNetInfo(printer_, kNetWareBit, wf::net::kItemNwSettings, &now, &length, nullptr) != 0) return;
    if (now.NvramAdapter != 0) {
      b.setNetInfo(printer_, kNetWareBit, wf::net::kItemNwServersServiced, &servers_, sizeof servers_);
    } else if (savedSecondByte_ != 0) {
      std::memcpy(now.PrintServer, servers_.Names[0], sizeof now.PrintServer);
      if (servers_.Count > 1) std::memcpy(now.PrintServer2, servers_.Names[1], sizeof now.PrintServer2);
      b.setNetInfo(printer_, kNetWareBit, wf::net::kItemNwSettings, &now, length);
    }
  }

 private:
  USHORT printer_;
  wf::net::NWSETTINGS settings_{};
  wf::net::NWSERVERLIST servers_{};
  uint8_t savedSecondByte_ = 0;
  bool restore_ = false;
};

// Sends the file's blocks; the first is in `buffer` after its length slot.
class FlashSender {
 public:
  FlashSender(USHORT printer, UINT protocol) : printer_(printer), protocol_(protocol) {}

  FlashOutcome send(const std::string& path, uint8_t adapterClass) {
    FlashFile file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return FlashOutcome::ReadError;
    struct stat info {};
    if (::fstat(::fileno(file.get()), &info) != 0) return FlashOutcome::ReadError;
    const uint64_t fileSize = static_cast<uint64_t>(info.st_size);
    const bool ip = protocol_ == kTcpIpBit;
    const std::size_t block = ip ? kIpFlashBlock : kFlashBlock;
    std::vector<uint8_t> buffer;
    try {
      buffer.resize(block + 2);
    } catch (const std::bad_alloc&) {
      return FlashOutcome::WriteError;
    }
    const std::size_t first = std::fread(buffer.data() + 2, 1, block, file.get());
    if (first == 0) return FlashOutcome::ReadError;
    const FlashOutcome checked = checkFlashHeader(buffer.data() + 2, first, fileSize, flashBanner(adapterClass));
    if (checked != FlashOutcome::Sent) return checked;
    return ip ? sendOverIp(file.get(), buffer, first, fileSize) : sendBlocks(file.get(), buffer, first, fileSize);
  }

 private:
  bool set(uint16_t item, const void* data, std::size_t length) {
    return broker().setNetInfo(printer_, protocol_, item, data, static_cast<uint16_t>(length)) == 0;
  }

  // A block: its uint16 length right before its bytes.
  bool setBlock(uint16_t item, uint8_t* lengthSlot, std::size_t n) {
    const auto length = static_cast<uint16_t>(n);
    std::memcpy(lengthSlot, &length, 2);
    return set(item, lengthSlot, n + 2);
  }

  // The rest of the file, block by block, never beyond `remaining` bytes.
  FlashOutcome sendRest(std::FILE* file, std::vector<uint8_t>& buffer, uint16_t item, uint64_t remaining) {
    const std::size_t block = buffer.size() - 2;
    while (remaining > 0) {
      const std::size_t want = remaining < block ? static_cast<std::size_t>(remaining) : block;
      const std::size_t n = std::fread(buffer.data() + 2, 1, want, file);
      if (n == 0) return FlashOutcome::ReadError;
      if (!setBlock(item, buffer.data(), n)) return FlashOutcome::WriteError;
      remaining -= n;
    }
    return FlashOutcome::Sent;
  }

  FlashOutcome sendOverIp(std::FILE* file, std::vector<uint8_t>& buffer, std::size_t first, uint64_t fileSize) {
    if (!set(kIpFlashStart, nullptr, 0)) return FlashOutcome::WriteError;
    if (!setBlock(kIpFlashBlockItem, buffer.data(), first)) return FlashOutcome::WriteError;
    const FlashOutcome rest = sendRest(file, buffer, kIpFlashBlockItem, fileSize - first);
    if (rest != FlashOutcome::Sent) return rest;
    return set(kIpFlashEnd, nullptr, 0) ? FlashOutcome::Sent : FlashOutcome::WriteError;
  }

  FlashOutcome sendBlocks(std::FILE* file, std::vector<uint8_t>& buffer, std::size_t first, uint64_t fileSize) {
    const uint8_t* header = buffer.data() + 2;
    const uint16_t begin[3] = {le16(header + kFlashBeginOffset), le16(header + kFlashBeginOffset + 2),
                               le16(header + kFlashBeginOffset + 4)};
    if (!set(wf::net::kItemFlashBegin, begin, sizeof begin)) return FlashOutcome::WriteError;
    // The data part's length goes over the header's last two bytes.
    const std::size_t firstData = first - kFlashHeaderSize;
    if (!setBlock(wf::net::kItemFlashBlock, buffer.data() + kFlashHeaderSize, firstData))
      return FlashOutcome::WriteError;
    const FlashOutcome rest = sendRest(file, buffer, wf::net::kItemFlashBlock, fileSize - first);
    if (rest != FlashOutcome::Sent) return rest;
    return set(wf::net::kItemFlashEnd, nullptr, 0) ? FlashOutcome::Sent : FlashOutcome::WriteError;
  }

  USHORT printer_;
  UINT protocol_;
};

void showFlashResult(FlashOutcome outcome, CWnd* page) {
  switch (outcome) {
    case FlashOutcome::Sent:
      NtcFlashSent(page).DoModal();
      break;
    case FlashOutcome::ReadError:
      NtcFlashRead(page).DoModal();
      break;
    case FlashOutcome::FormatInvalid:
      NtcFlashFormat(page).DoModal();
      break;
    case FlashOutcome::WriteError:
      NtcFlashWrite(page).DoModal();
      break;
  }
}

}  // namespace

const char* flashBanner(uint8_t adapterClass) {
  switch (adapterClass) {
    case wf::net::kClassSinglePort:
      return "~|Corvane~| Flash ROM Preprocessor File";
    case wf::net::kClassSinglePortRuVa1:
      return "~|Corvane~| Portbay XL Flash ROM Preprocessor File";
    case wf::net::kClassMultiPort:
    case wf::net::kClassMultiPortSerial:
      return "~|Corvane~| Portbay XLe Flash ROM Preprocessor File (compressed)";
    default:
      return nullptr;
  }
}

std::string flashFilter(uint8_t adapterClass) {
  const std::string pfc = loaded(2130).str() + " (*.pfc)|*.pfc|";
  const std::string pxl = loaded(2131).str() + " (*.pxl)|*.pxl|";
  const std::string prp = loaded(2132).str() + " (*.prp)|*.prp|";
  const std::string all = loaded(2133).str() + " (*.*)|*.*||";
  switch (adapterClass) {
    case wf::net::kClassSinglePortRuVa1:
      return pxl + pfc + prp + all;
    case wf::net::kClassMultiPort:
    case wf::net::kClassMultiPortSerial:
      return prp + pfc + pxl + all;
    default:
      return pfc + pxl + prp + all;
  }
}

FlashOutcome checkFlashHeader(const uint8_t* data, std::size_t n, uint64_t fileSize, const char* banner) {
  if (n <= kFlashHeaderSize || !banner) return FlashOutcome::FormatInvalid;
  const auto* text = reinterpret_cast<const char*>(data + kFlashBannerOffset);
  const std::string_view region(text, strnlen(text, n - kFlashBannerOffset));
  if (region.find(banner) == std::string_view::npos) return FlashOutcome::FormatInvalid;
  const uint32_t length = static_cast<uint32_t>(data[kFlashLengthOffset]) |
                          static_cast<uint32_t>(data[kFlashLengthOffset + 1]) << 8 |
                          static_cast<uint32_t>(data[kFlashLengthOffset + 2]) << 16 |
                          static_cast<uint32_t>(data[kFlashLengthOffset + 3]) << 24;
  return length == fileSize ? FlashOutcome::Sent : FlashOutcome::FormatInvalid;
}

void PConAdIn::FlashNetworkCard() {
  const uint8_t cls = m_record.AdapterClass;
  if ((cls == wf::net::kClassMultiPort || cls == wf::net::kClassMultiPortSerial) && (m_record.Control & 0x02) &&
      !CheckAdapterPassword(m_nPrinter, m_nProtocol, m_uaa, this))
    return;
  const bool confirmed = NtcFlashConfirm(this).DoModal() == IDOK;
  focusItem(1038);
  if (!confirmed) return;
  BrokerScope scope;
  if (!scope.bound()) return;

  const std::string filter = flashFilter(cls);
  CFileDialog dialog(TRUE, nullptr, nullptr, OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST,
                     filter.c_str(), this);
  const bool chosen = dialog.DoModal() == IDOK;
  focusItem(1038);
  if (!chosen) return;

  WaitFlash box;
  if (box.Create(2160, this)) {
    box.ShowWindow(SW_SHOW);
    box.UpdateWindow();
  }
  NetWareServersKeeper servers(m_nPrinter);
  if (cls == wf::net::kClassSinglePortRuVa1) servers.save();
  const FlashOutcome outcome = FlashSender(m_nPrinter, m_nProtocol).send(dialog.GetPathName().str(), cls);
  if (box.GetSafeHwnd()) box.DestroyWindow();
  if (outcome == FlashOutcome::Sent && cls == wf::net::kClassSinglePortRuVa1) servers.restore();
  showFlashResult(outcome, this);
  focusItem(1038);
  if (outcome != FlashOutcome::Sent) return;

  wf::net::NETADAPTERPARMS fresh{};
  USHORT length = sizeof fresh;
  if (BceGetNetInfoRetry(m_nPrinter, m_nProtocol, wf::net::kItemAdapterParms, &fresh, &length, nullptr, this))
    std::memcpy(m_record.Firmware, fresh.Firmware, sizeof m_record.Firmware);
}

}  // namespace wf::netui
