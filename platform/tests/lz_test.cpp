#include "platform/lz.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/runtime_dir.h"

namespace wf {
namespace {

namespace fs = std::filesystem;

std::string dataFile(const std::string& name) {
  return (*dataRoot() / name).string();
}

void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string lzHeaderFor(std::uint32_t size, char mode = 'A', char stored = 'X') {
  std::string h = "SZDD\x88\xF0\x27\x33";
  h += mode;
  h += stored;
  for (int i = 0; i < 4; ++i) h += static_cast<char>((size >> (8 * i)) & 0xFF);
  return h;
}

struct Expansion {
  LONG result;
  std::string output;
};

// Opens `source`, expands it into a fresh target, closes both.
Expansion expandFile(const std::string& source) {
  const std::string target = source + ".out";
  INT in = LZOpenFileA(source.c_str(), nullptr, OF_READ);
  if (in < 0) return {in, {}};
  OFSTRUCT info{};
  INT out = LZOpenFileA(target.c_str(), &info, OF_CREATE);
  EXPECT_GE(out, 0);
  LONG result = LZCopy(in, out);
  LZClose(in);
  LZClose(out);
  return {result, readBytes(target)};
}

Expansion expandBytes(const std::string& compressed) {
  const std::string source = dataFile("input.bin");
  writeBytes(source, compressed);
  return expandFile(source);
}

TEST(LzExpand, HandWrittenStreamsDecodeByteExact) {
  struct Case {
    const char* what;
    std::string body;
    std::string expected;
  };
  const Case cases[] = {
      {"literals only", std::string("\x07" "abc", 4), "abc"},
      // Offset 0 lies in the spaces the window starts with.
      {"match into the initial spaces", std::string("\x01" "x" "\x00\x02", 4), "x     "},
      // Offset 4080 is where writing began; the copy reads what it writes.
      {"match over the bytes it writes", std::string("\x03" "ab" "\xF0\xF3", 5), "abababab"},
      // 18 literals fill 4080-4095 and 0-1; offset 4094 reads 4094, 4095, 0, 1.
      {"match across the wrap",
       std::string("\xFF" "ABCDEFGH" "\xFF" "IJKLMNOP" "\x03" "QR" "\xFE\xF1", 23),
       "ABCDEFGHIJKLMNOPQROPQR"},
      // The control byte announces a match that never comes; the size is reached first.
      {"control byte cut at the end", std::string("\x01" "z", 2), "z"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Expansion e = expandBytes(lzHeaderFor(static_cast<std::uint32_t>(c.expected.size())) + c.body);
    EXPECT_EQ(e.result, static_cast<LONG>(c.expected.size()));
    EXPECT_EQ(e.output, c.expected);
  }
}

TEST(LzExpand, DamagedFilesAreRefusedAndNeverOverrunTheirSize) {
  struct Case {
    const char* what;
    std::string file;
    INT openResult;    // 0: opens
    LONG copyResult;   // when it opens
    std::string output;
  };
  const Case cases[] = {
      {"bad magic: a plain copy", "SZDE\x88\xF0\x27\x33" "A", 0, 9, "SZDE\x88\xF0\x27\x33" "A"},
      {"unknown mode", lzHeaderFor(3, 'B') + "\x07" "abc", LZERROR_UNKNOWNALG, 0, ""},
      {"header cut short", lzHeaderFor(3).substr(0, 11), LZERROR_READ, 0, ""},
      {"stream shorter than the size", lzHeaderFor(100) + "\x07" "abc", 0, LZERROR_READ, "abc"},
      {"stream cut inside a match", lzHeaderFor(8) + std::string("\x03" "ab" "\xF0", 4), 0, LZERROR_READ, "ab"},
      {"a size of 4 GiB", lzHeaderFor(0xFFFFFFFF) + "\x07" "abc", 0, LZERROR_READ, "abc"},
      {"stream longer than the size", lzHeaderFor(2) + "\x07" "abc", 0, 2, "ab"},
      {"a reference before any output", lzHeaderFor(18) + std::string("\x00\x00\x0F", 3), 0, 18,
       std::string(18, ' ')},
      {"empty compressed file", lzHeaderFor(0), 0, 0, ""},
      {"empty plain file", "", 0, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string source = dataFile("damaged.bin");
    writeBytes(source, c.file);
    Expansion e = expandFile(source);
    if (c.openResult != 0) {
      EXPECT_EQ(e.result, c.openResult);
      continue;
    }
    EXPECT_EQ(e.result, c.copyResult);
    EXPECT_EQ(e.output, c.output);
  }
}

TEST(LzExpand, RandomStreamsEndInTheSizeOrAReadError) {
  std::mt19937 random(54);
  for (int round = 0; round < 300; ++round) {
    const std::uint32_t size = random() % 5000;
    std::string body(random() % 3000, '\0');
    for (char& c : body) c = static_cast<char>(random());
    Expansion e = expandBytes(lzHeaderFor(size) + body);
    ASSERT_TRUE(e.result == static_cast<LONG>(size) || e.result == LZERROR_READ) << "round " << round;
    ASSERT_LE(e.output.size(), size) << "round " << round;
    if (e.result >= 0) {
      ASSERT_EQ(e.output.size(), size);
    }
  }
}

TEST(LzExpand, CallsRefuseWrongHandlesAndStyles) {
  const std::string source = dataFile("plain.txt");
  writeBytes(source, "plain");
  OFSTRUCT info{};
  EXPECT_EQ(LZOpenFileA(dataFile("missing.txt").c_str(), &info, OF_READ), LZERROR_BADINHANDLE);
  EXPECT_EQ(info.nErrCode, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(LZOpenFileA(source.c_str(), nullptr, 0x0040), LZERROR_BADVALUE);
  EXPECT_EQ(LZOpenFileA(dataRoot()->c_str(), nullptr, OF_READ), LZERROR_BADINHANDLE);

  INT in = LZOpenFileA(source.c_str(), nullptr, OF_READ);
  INT out = LZOpenFileA(dataFile("copy.txt").c_str(), nullptr, OF_CREATE);
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);
  EXPECT_EQ(LZCopy(out, out), LZERROR_BADINHANDLE);
  EXPECT_EQ(LZCopy(in, in), LZERROR_BADOUTHANDLE);
  EXPECT_EQ(LZCopy(in, 0x7FFF0000), LZERROR_BADOUTHANDLE);
  EXPECT_EQ(LZCopy(in, out), 5);
  LZClose(in);
  LZClose(out);
  EXPECT_EQ(LZCopy(in, out), LZERROR_BADINHANDLE);
  EXPECT_EQ(readBytes(dataFile("copy.txt")), "plain");
}

TEST(LzExpand, TargetKeepsTheSourcesPermissionBits) {
  const std::string source = dataFile("INSTALL.EX_");
  writeBytes(source, lzCompress("#!/bin/sh\nexit 0\n", 'E'));
  ASSERT_EQ(::chmod(source.c_str(), 0750), 0);
  Expansion e = expandFile(source);
  ASSERT_EQ(e.output, "#!/bin/sh\nexit 0\n");
  struct stat st {};
  ASSERT_EQ(::stat((source + ".out").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0750u);
}

std::string randomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string data(size, '\0');
  for (char& c : data) c = static_cast<char>(random());
  return data;
}

// Text-like: words from a small vocabulary, so matches are frequent and varied.
std::string wordSoup(std::size_t size) {
  static const char* words[] = {"printer ", "tray ", "toner ", "alert\n", "Wrenfield ", "\x00\x01\x02", "port "};
  std::mt19937 random(7);
  std::string data;
  while (data.size() < size) data += words[random() % 7];
  data.resize(size);
  return data;
}

TEST(LzCompress, RoundTripsThroughTheExpansion) {
  struct Case {
    const char* what;
    std::string data;
    std::size_t maxCompressed;
  };
  std::string runs(300'000, 'a');
  runs += std::string(300'000, '\0') + std::string(10, 'b') + std::string(100'000, ' ');
  const Case cases[] = {
      {"empty", "", 14},
      {"one byte", "x", 16},
      {"random", randomBytes(100'000, 3), 100'000 + 100'000 / 8 + 32},
      {"long runs", runs, runs.size() / 8},
      {"1 MiB of text", wordSoup(1 << 20), (1 << 20) / 3},
      {"spaces only", std::string(5000, ' '), 5000 / 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string compressed = lzCompress(c.data, 'L');
    EXPECT_LE(compressed.size(), c.maxCompressed);
    Expansion e = expandBytes(compressed);
    EXPECT_EQ(e.result, static_cast<LONG>(c.data.size()));
    EXPECT_TRUE(e.output == c.data);
  }
}

TEST(LzCompress, FileCompressorMatchesTheMemoryOneAndReportsFailures) {
  const std::string data = wordSoup(200'000) + randomBytes(70'000, 9);
  const std::string source = dataFile("wrenfld");
  writeBytes(source, data);
  std::string error;
  ASSERT_TRUE(lzCompressFile(source, dataFile("WRENFLD.EX_"), 'E', &error)) << error;
  EXPECT_EQ(readBytes(dataFile("WRENFLD.EX_")), lzCompress(data, 'E'));
  EXPECT_EQ(expandFile(dataFile("WRENFLD.EX_")).output, data);

  EXPECT_FALSE(lzCompressFile(dataFile("none"), dataFile("NONE.EX_"), 'E', &error));
  EXPECT_NE(error.find("none"), std::string::npos);
  EXPECT_FALSE(lzCompressFile(source, dataFile("no/such/dir/X.EX_"), 'E', &error));
}

TEST(LzNames, ExpandedNamesTakeTheStoredCharacter) {
  struct Case {
    const char* file;
    std::string contents;
    const char* expected;
  };
  const Case cases[] = {
      {"DRIVER.DL_", lzCompress("driver", 'L'), "DRIVER.DLL"},
      {"readme.tx_", lzCompress("read me", 'T'), "readme.txt"},
      {"Mixed.tX_", lzCompress("mixed", 'T'), "Mixed.tXT"},
      {"NOCHAR.DL_", lzCompress("none", '\0'), "NOCHAR.DL"},
      {"plain.tx_", "not compressed", "plain.tx_"},
      {"DRIVER.DLL", lzCompress("no underscore", 'L'), "DRIVER.DLL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = dataFile(c.file);
    writeBytes(path, c.contents);
    std::vector<char> buffer(path.size() + 1, '#');
    EXPECT_EQ(GetExpandedNameA(path.c_str(), buffer.data()), TRUE);
    EXPECT_EQ(fs::path(buffer.data()).filename().string(), c.expected);
    EXPECT_EQ(fs::path(buffer.data()).parent_path(), fs::path(path).parent_path());
  }
  char buffer[300];
  EXPECT_EQ(GetExpandedNameA(dataFile("MISSING.DL_").c_str(), buffer), LZERROR_BADINHANDLE);
}

}  // namespace
}  // namespace wf
