#include "sim/printer/resources.h"

#include <algorithm>

#include "platform/byte_codec.h"
#include "protocol/requests.h"
#include "sim/printer/alerts.h"

namespace wf::sim::resources {

namespace {

using protocol::reply::resource_command::kBufferingPartition;
using protocol::reply::resource_command::kBufferingPort;
using protocol::reply::resource_command::kCopy;
using protocol::reply::resource_command::kDelete;
using protocol::reply::resource_command::kFormat;
using protocol::reply::resource_command::kList;

bool isDevice(std::uint8_t b) {
  return b == kDisk || b == kFlash;
}

std::uint64_t used(const StorageDevice& device) {
  std::uint64_t total = 0;
  for (const auto& f : device.files) total += f.size;
  return total;
}

auto findFile(StorageDevice& device, std::string_view name) {
  return std::find_if(device.files.begin(), device.files.end(),
                      [&](const StoredFile& f) { return f.name == name; });
}

std::vector<std::string> listing(std::map<std::uint8_t, StorageDevice>& devices, std::uint8_t id) {
  auto device = devices.find(id);
  if (device == devices.end()) return {alerts::encodeResourceAlert(kEntry, false, kNoSuchDevice)};
  const auto& files = device->second.files;
  if (files.empty()) return {alerts::encodeResourceAlert(kEntry, false, kDone)};
  std::vector<std::string> out;
  for (std::size_t i = 0; i < files.size(); ++i)
    out.push_back(alerts::encodeResourceAlert(kEntry, i + 1 < files.size(), kDone, entryText(id, files[i])));
  return out;
}

std::uint32_t format(std::map<std::uint8_t, StorageDevice>& devices, std::uint8_t id) {
  auto device = devices.find(id);
  if (device == devices.end()) return kNoSuchDevice;
  device->second.files.clear();
  return kDone;
}

std::uint32_t remove(std::map<std::uint8_t, StorageDevice>& devices, std::uint8_t id, std::string_view name) {
  auto device = devices.find(id);
  if (device == devices.end()) return kNoSuchDevice;
  auto file = findFile(device->second, name);
  if (file == device->second.files.end()) return kNoSuchFile;
  device->second.files.erase(file);
  return kDone;
}

// A file of the same name on the target is replaced.
std::uint32_t copy(std::map<std::uint8_t, StorageDevice>& devices, std::uint8_t fromId, std::uint8_t toId,
                   bool move, std::string_view name) {
  auto from = devices.find(fromId);
  auto to = devices.find(toId);
  if (from == devices.end() || to == devices.end()) return kNoSuchDevice;
  auto source = findFile(from->second, name);
  if (source == from->second.files.end()) return kNoSuchFile;
  auto existing = findFile(to->second, name);
  const std::uint64_t freed = existing == to->second.files.end() ? 0 : existing->size;
  if (used(to->second) - freed + source->size > to->second.capacity) return kNoRoom;
  const StoredFile file = *source;
  if (existing == to->second.files.end())
    to->second.files.push_back(file);
  else
    *existing = file;
  if (move) from->second.files.erase(findFile(from->second, name));
  return kDone;
}

constexpr std::uint8_t kSmallestPartition = 10, kWholeDisk = 100;

// The partition takes the disk over: whatever it held goes.
std::optional<std::vector<std::string>> partition(Profile& printer, std::uint8_t percent) {
  auto disk = printer.devices.find(kDisk);
  if (disk == printer.devices.end()) return std::nullopt;
  if (percent != 0 && (percent < kSmallestPartition || percent > kWholeDisk)) return std::nullopt;
  printer.bufferPartition = percent;
  disk->second.files.clear();
  if (percent == 0) return std::vector<std::string>{};
  return std::vector{alerts::encodeResourceAlert(kPartitionChanged, false, kDone)};
}

std::optional<std::vector<std::string>> switchPort(Profile& printer, std::uint8_t kind, bool on) {
  auto port = std::find_if(printer.bufferedPorts.begin(), printer.bufferedPorts.end(),
                           [&](const BufferedPort& p) { return p.kind == kind; });
  if (port == printer.bufferedPorts.end()) return std::nullopt;
  port->set = on ? 1 : 0;
  return std::vector{alerts::encodeResourceAlert(kPortChanged, false, kDone)};
}

}  // namespace

std::string liveStorageText(const std::string& text, const std::map<std::uint8_t, StorageDevice>& devices) {
  for (const auto& [id, prefix] :
       {std::pair<std::uint8_t, std::string_view>{kFlash, "FLASH:"}, {kDisk, "DISK:"}}) {
    if (text.compare(0, prefix.size(), prefix) != 0) continue;
    auto device = devices.find(id);
    if (device == devices.end()) return text;
    const std::uint64_t taken = std::min<std::uint64_t>(used(device->second), device->second.capacity);
    return std::string(prefix) + " 1;TOTAL: " + std::to_string(device->second.capacity) +
           ";FREE SPACE: " + std::to_string(device->second.capacity - taken);
  }
  return text;
}

std::string entryText(std::uint8_t device, const StoredFile& file) {
  return std::to_string(device) + ";" + file.name + ";" + file.id + ";" + file.type + ";" +
         std::to_string(file.size) + ";" + file.description;
}

std::optional<std::vector<std::string>> carryOut(Profile& printer, std::string_view command) {
  namespace at = protocol::request::request_data::resource_command;
  auto& devices = printer.devices;
  ByteReader in(command);
  std::uint8_t op = 0, device = 0;
  if (!(in.u8(op) && in.u8(device))) return std::nullopt;
  if (op == kBufferingPartition) return partition(printer, device);
  if (op == kBufferingPort) {
    std::uint8_t on = 0;
    if (!in.u8(on)) return std::nullopt;
    return switchPort(printer, device, on != 0);
  }
  if (!isDevice(device)) return std::nullopt;
  switch (op) {
    case kList:
      return listing(devices, device);
    case kFormat:
      return std::vector{alerts::encodeResourceAlert(kFormatted, false, format(devices, device))};
    case kDelete: {
      const std::string_view name = command.substr(at::kName);
      if (name.empty()) return std::nullopt;
      return std::vector{alerts::encodeResourceAlert(kDeleted, false, remove(devices, device, name))};
    }
    case kCopy: {
      std::uint8_t to = 0, move = 0;
      if (!(in.u8(to) && in.u8(move)) || in.remaining() == 0) return std::nullopt;
      if (!isDevice(to) || to == device) return std::nullopt;
      const std::uint32_t result = copy(devices, device, to, move != 0, command.substr(at::kCopyName));
      return std::vector{alerts::encodeResourceAlert(move ? kMoved : kCopied, false, result)};
    }
    default:
      return std::nullopt;
  }
}

std::string bufferingSummary(const Profile& printer) {
  ByteWriter out;
  out.u8(printer.bufferPartition).u8(static_cast<std::uint32_t>(printer.bufferedPorts.size()));
  for (const auto& port : printer.bufferedPorts) out.u8(port.kind).u8(port.active).u8(port.set);
  return out.take();
}

void applyBufferingSettings(Profile& printer) {
  for (auto& port : printer.bufferedPorts) port.active = port.set;
}

}  // namespace wf::sim::resources
