// The inventory data file: writer and reader checked against hand-made bytes
// and the icons' reviewed records, the acceptance rules, damaged files of
// any bytes, and the folding of one device's entries.
#include "app/inventory_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "common/app_services.h"
#include "hex_bytes.h"
#include "hostile_places.h"

namespace fs = std::filesystem;
using wf::inventory::Failure;
using wf::inventory::FoldEntries;
using wf::inventory::kCartridgeName;
using wf::inventory::kCartridgeType;
using wf::inventory::kEnaLevel;
using wf::inventory::kModel;
using wf::inventory::kSerial;
using wf::inventory::PatchChecksum;
using wf::inventory::PatchCount;
using wf::inventory::Reader;
using wf::inventory::Record;
using wf::inventory::SerialAnswer;
using wf::inventory::WriteHeader;
using wf::inventory::WriteRecordBytes;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The reviewed records of the icons' tests; '#' starts a comment.
Bytes readHex(const std::string& name) {
  std::ifstream in(std::string(WF_INVENTORY_RECORDS) + "/" + name);
  EXPECT_TRUE(in) << name;
  std::string digits, line;
  while (std::getline(in, line)) digits += line.substr(0, line.find('#')) + " ";
  const std::string bytes = wf::testing::hex(digits);
  return Bytes(bytes.begin(), bytes.end());
}

// The checksum worked out apart from the code under test.
std::uint16_t independentChecksum(const Bytes& file) {
  std::uint32_t sum = 0;
  std::uint8_t high = 0;
  for (std::size_t i = 2; i < file.size(); i += 2) {
    if (i + 1 < file.size()) high = file[i + 1];
    sum += file[i] | (high << 8);
  }
  return static_cast<std::uint16_t>(0x10000 - (sum & 0xFFFF));
}

Bytes header(std::uint16_t checksum, std::uint16_t count, std::uint8_t version = 1) {
  return {static_cast<std::uint8_t>(checksum),
          static_cast<std::uint8_t>(checksum >> 8),
          'W',
          'F',
          'I',
          version,
          0,
          0x78,
          0x56,
          0x34,
          0x12,
          static_cast<std::uint8_t>(count),
          static_cast<std::uint8_t>(count >> 8)};
}

class InventoryFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("wf-inventory-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string write(const Bytes& bytes, const std::string& name = "INVENTOR.DAT") {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }
  Bytes read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }

  // A file of these records with a correct count and checksum.
  Bytes fileOf(const std::vector<Bytes>& records) {
    Bytes file = header(0, static_cast<std::uint16_t>(records.size()));
    for (const Bytes& r : records) file.insert(file.end(), r.begin(), r.end());
    const std::uint16_t sum = independentChecksum(file);
    file[0] = static_cast<std::uint8_t>(sum);
    file[1] = static_cast<std::uint8_t>(sum >> 8);
    return file;
  }

  fs::path dir_;
};

TEST_F(InventoryFile, WriterLaysOutHeaderRecordsCountAndChecksum) {
  const std::string path = (dir_ / "out.dat").string();
  const int file = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(file, 0);
  const Bytes full = readHex("inventory_full.hex"), nobidi = readHex("inventory_nobidi.hex");
  ASSERT_TRUE(WriteHeader(file, 0x12345678));
  ASSERT_TRUE(WriteRecordBytes(file, reinterpret_cast<const char*>(full.data()), full.size()));
  ASSERT_TRUE(WriteRecordBytes(file, reinterpret_cast<const char*>(nobidi.data()), nobidi.size()));
  const Bytes unpatched = read(path);
  ASSERT_EQ(unpatched.size(), 13 + full.size() + nobidi.size());
  EXPECT_EQ(Bytes(unpatched.begin(), unpatched.begin() + 13), header(0, 0)) << "count and checksum come last";
  ASSERT_TRUE(PatchCount(file, 2));
  ASSERT_TRUE(PatchChecksum(file));
  ::close(file);

  const Bytes written = read(path);
  EXPECT_EQ(written, fileOf({full, nobidi}));
  EXPECT_NE(written[0] | (written[1] << 8), 0);
}

TEST_F(InventoryFile, ChecksumOverAnOddLengthKeepsTheLastHighByte) {
  // 13 + 66-byte record + 1 stray byte: odd, the last word borrows the high
  // byte before it.
  Bytes record(66, 0);
  record[0] = 66;
  record[65] = 0xAB;
  Bytes file = header(0, 1);
  file.insert(file.end(), record.begin(), record.end());
  file.push_back(0x01);
  const std::string path = write(file);
  const int fd = ::open(path.c_str(), O_RDWR);
  ASSERT_TRUE(PatchChecksum(fd));
  ::close(fd);
  const Bytes patched = read(path);
  EXPECT_EQ(patched[0] | (patched[1] << 8), independentChecksum(file));
}

TEST_F(InventoryFile, ReaderGivesTypedRecords) {
  const Bytes full = readHex("inventory_full.hex"), nobidi = readHex("inventory_nobidi.hex"),
              rejected = readHex("inventory_rejected.hex");
  Reader reader;
  ASSERT_EQ(reader.Open(write(fileOf({full, nobidi, rejected}))), Failure::none);
  EXPECT_EQ(reader.header().count, 3);
  EXPECT_EQ(reader.header().created, 0x12345678u);
  ASSERT_EQ(reader.CheckAll(), Failure::none);

  Record r;
  ASSERT_EQ(reader.Next(r), Failure::none);
  EXPECT_EQ(r.communication, 1);
  EXPECT_EQ(r.protocols, 1u);
  EXPECT_EQ(r.speed, 12);
  EXPECT_EQ(r.duplex, 3);
  EXPECT_EQ(r.pages, 123456u);
  EXPECT_EQ(r.ram, 4u * 1024 * 1024);
  EXPECT_EQ(r.diskSize, 40u * 1024 * 1024);
  EXPECT_EQ(r.diskFree, 20u * 1024 * 1024);
  EXPECT_EQ(r.spoolPercent, 0xFF);
  EXPECT_EQ(r.flashSize, 2u * 1024 * 1024);
  EXPECT_EQ(r.flashFree, 1u * 1024 * 1024);
  EXPECT_EQ(r.name, "Front desk");
  EXPECT_EQ(r.names, std::vector<std::string>{"LPT1:"});
  EXPECT_EQ(r.texts[kModel], "Corvane 12 Laser Printer");
  EXPECT_EQ(r.texts[kSerial], "SN-4711");
  EXPECT_EQ(r.texts[kEnaLevel], "N/A");
  EXPECT_EQ(r.texts[kCartridgeType], "Bitmap");
  EXPECT_EQ(r.texts[kCartridgeName], "Unknown");
  ASSERT_EQ(r.inputs.size(), 2u);
  EXPECT_EQ(r.inputs[0].id, 2);
  EXPECT_EQ(r.inputs[1].id, 3);
  ASSERT_EQ(r.outputs.size(), 1u);
  EXPECT_EQ(r.outputs[0].id, 0);

  ASSERT_EQ(reader.Next(r), Failure::none);
  EXPECT_EQ(r.communication, 0);
  EXPECT_EQ(r.name, "Back office");
  EXPECT_EQ(r.names, std::vector<std::string>{"LPT2:"});
  EXPECT_TRUE(r.texts[kModel].empty());

  ASSERT_EQ(reader.Next(r), Failure::none);
  EXPECT_EQ(r.communication, 1);
  EXPECT_TRUE(r.inputs.empty());
  EXPECT_TRUE(r.outputs.empty());

  ASSERT_EQ(reader.Rewind(), Failure::none);
  ASSERT_EQ(reader.Next(r), Failure::none);
  EXPECT_EQ(r.name, "Front desk") << "a second copy reads from the start";
}

TEST_F(InventoryFile, AcceptanceOfDamagedAndForeignFiles) {
  const Bytes full = readHex("inventory_full.hex");
  auto withLength = [](std::size_t length) {
    Bytes r(length, 0);
    r[0] = static_cast<std::uint8_t>(length);
    r[1] = static_cast<std::uint8_t>(length >> 8);
    return r;  // no details, an empty name and no further names
  };
  Bytes nameTooLong = full;
  nameTooLong[66] = 0xF0;  // the name runs past the record
  Bytes namesTooMany = full;
  namesTooMany[66 + 1 + 10] = 200;  // the further names run past the record
  Bytes inputsTooMany = full;
  inputsTooMany[full.size() - 1 - 6 - 1 - 2 * 8] = 40;

  struct Case {
    const char* what;
    Bytes file;
    Failure expected;
  };
  Bytes version2 = fileOf({full});
  version2[5] = 2;
  Bytes wrongSum = fileOf({full});
  wrongSum[0] ^= 0x01;
  Bytes tooFew = fileOf({full});
  tooFew[11] = 2;
  Bytes unchecked = fileOf({full});
  unchecked[0] = unchecked[1] = 0;
  unchecked[20] ^= 0xFF;  // anything goes once the stored sum is 0
  Bytes badTag = fileOf({full});
  badTag[3] = 'X';
  Bytes shortHeader = header(0, 0);
  shortHeader.pop_back();
  Bytes nonZero6 = fileOf({full});
  nonZero6[6] = 1;
  const Case cases[] = {
      {"version 2", version2, Failure::damaged},
      {"wrong checksum", wrongSum, Failure::damaged},
      {"length 65", fileOf({withLength(65)}), Failure::damaged},
      {"length 10,241", fileOf({withLength(10241)}), Failure::damaged},
      {"length 10,240", fileOf({withLength(10240)}), Failure::none},
      {"name past its record", fileOf({nameTooLong}), Failure::damaged},
      {"names past their record", fileOf({namesTooMany}), Failure::damaged},
      {"inputs past their record", fileOf({inputsTooMany}), Failure::damaged},
      {"count above the records", tooFew, Failure::damaged},
      {"checksum 0 is not checked", unchecked, Failure::none},
      {"another tag", badTag, Failure::damaged},
      {"byte 6 set", nonZero6, Failure::damaged},
      {"header cut short", shortHeader, Failure::damaged},
  };
  for (const Case& c : cases) {
    Reader reader;
    Failure failure = reader.Open(write(c.file));
    if (failure == Failure::none) failure = reader.CheckAll();
    EXPECT_EQ(failure, c.expected) << c.what;
  }
  Reader reader;
  EXPECT_EQ(reader.Open((dir_ / "missing.dat").string()), Failure::missing);
  EXPECT_EQ(reader.Open(dir_.string()), Failure::io) << "a directory opens but cannot be read";
  // Nothing that is no file is waited on or read without end. (A large
  // regular file is within what the format may hold: it is checked whole.)
  for (const auto& place : wf::testing::hostilePlaces()) {
    if (place.regular) continue;
    wf::testing::makeHostile(place.kind, dir_ / "hostile.dat");
    EXPECT_EQ(reader.Open((dir_ / "hostile.dat").string()),
              place.kind == wf::testing::Hostile::loop ? Failure::missing : Failure::io)
        << place.what;
  }
}

TEST_F(InventoryFile, FilesOfAnyBytesAreRefusedWithoutReadingOutsideTheBuffer) {
  std::mt19937 random(29);
  const Bytes full = readHex("inventory_full.hex");
  for (int round = 0; round < 300; ++round) {
    Bytes file;
    if (round % 2 == 0) {
      // Our own header and a record, then damage at random places.
      file = fileOf({full, full});
      const int hits = 1 + static_cast<int>(random() % 6);
      for (int i = 0; i < hits; ++i)
        file[13 + random() % (file.size() - 13)] = static_cast<std::uint8_t>(random());
      if (round % 4 == 0) file[0] = file[1] = 0;  // unchecked: the record checks must hold
      if (round % 8 == 0) file.resize(13 + random() % (file.size() - 13));
    } else {
      file.resize(random() % 400);
      for (auto& byte : file) byte = static_cast<std::uint8_t>(random());
    }
    Reader reader;
    Failure failure = reader.Open(write(file));
    if (failure == Failure::none) failure = reader.CheckAll();
    if (failure != Failure::none) {
      EXPECT_EQ(failure, Failure::damaged) << "round " << round;
      continue;
    }
    Record record;
    for (std::uint16_t i = 0; i < reader.header().count; ++i) ASSERT_EQ(reader.Next(record), Failure::none);
  }
}

TEST(InventoryFold, ChainsEntriesOfOneSerialNumberInEntryOrder) {
  // Entries 1..6 with serials A, B, A, empty, none, A.
  const std::vector<SerialAnswer> serials = {
      std::optional<std::string>("A"), std::optional<std::string>("B"), std::optional<std::string>("A"),
      std::optional<std::string>(""),  std::optional<std::string>(),    std::optional<std::string>("A")};
  std::vector<_WF_PRINTER_INFO> storage(serials.size());
  std::vector<_WF_PRINTER_INFO*> entries;
  for (std::size_t i = 0; i < storage.size(); ++i) {
    storage[i].hPrinter = static_cast<USHORT>(i + 1);
    entries.push_back(&storage[i]);
  }
  std::vector<int> asked(serials.size() + 1, 0);
  FoldEntries(entries, [&](const _WF_PRINTER_INFO& entry) {
    ++asked[entry.hPrinter];
    return serials[entry.hPrinter - 1];
  });

  auto chain = [](const _WF_PRINTER_INFO* entry) {
    std::vector<int> ids;
    for (; entry; entry = entry->pNext) ids.push_back(entry->hPrinter);
    return ids;
  };
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(chain(entries[0]), (std::vector<int>{1, 3, 6}));
  EXPECT_EQ(chain(entries[1]), (std::vector<int>{2}));
  EXPECT_EQ(chain(entries[2]), (std::vector<int>{4}));
  EXPECT_EQ(chain(entries[3]), (std::vector<int>{5}));
  EXPECT_NE(entries[3]->dwNoBidiData, 0u) << "no serial number: a record without details";
  for (const _WF_PRINTER_INFO* entry : {entries[0], entries[1], entries[2]})
    EXPECT_EQ(entry->dwNoBidiData, 0u);
  for (std::size_t i = 1; i < asked.size(); ++i) EXPECT_EQ(asked[i], 1) << "entry " << i << " asked once";
}

TEST(InventoryFold, AnEntryWhoseIconIsGoneStaysUnchained) {
  std::vector<_WF_PRINTER_INFO> storage(3);
  std::vector<_WF_PRINTER_INFO*> entries;
  for (std::size_t i = 0; i < storage.size(); ++i) {
    storage[i].hPrinter = static_cast<USHORT>(i + 1);
    entries.push_back(&storage[i]);
  }
  FoldEntries(entries, [](const _WF_PRINTER_INFO& entry) -> SerialAnswer {
    if (entry.hPrinter == 2) return std::nullopt;
    return std::optional<std::string>("same");
  });
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0]->pNext, &storage[2]);
  EXPECT_EQ(entries[1], &storage[1]);
  EXPECT_EQ(entries[1]->pNext, nullptr);
  EXPECT_EQ(entries[1]->dwNoBidiData, 0u);
}

}  // namespace
