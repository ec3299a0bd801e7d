#include "common/text_helpers.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <barrier>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/filename.h"
#include "common/oid_list.h"
#include "framework/global_memory.h"
#include "platform/paths.h"
#include "platform/unique_fd.h"
#include "test_dirs.h"

namespace {

namespace fs = std::filesystem;

// A file of these bytes beside the test's directories, open for reading.
class TempFile {
 public:
  explicit TempFile(const std::string& bytes, int flags = O_RDONLY) {
    path_ = wf::testing::testDataRoot().parent_path() / "files" / ("f" + std::to_string(counter++));
    fs::create_directories(path_.parent_path());
    std::ofstream(path_, std::ios::binary) << bytes;
    fd_.reset(::open(path_.c_str(), flags));
  }
  int fd() const { return fd_.get(); }

 private:
  static inline int counter = 0;
  fs::path path_;
  wf::UniqueFd fd_;
};

TEST(TextHelpers, NumberTexts) {
  struct Case {
    DWORD n;
    const char* formatted;
    const char* size;
  };
  for (Case c : {Case{1234567, "1,234,567", "1,234,567"}, Case{1234, "  1,234", "1,234"},
                 Case{5, "  5", "  5"}, Case{0, "  0", "0"}, Case{1000000, "1,000,000", "1,000,000"},
                 Case{4294967295u, "4294,967,295", "4294,967,295"}}) {
    EXPECT_EQ(FormatNumberString(c.n), c.formatted) << c.n;
    char buffer[32];
    SizeToString(c.n, buffer);
    EXPECT_STREQ(buffer, c.size) << c.n;
  }
}

TEST(TextHelpers, StringToSizeReadsEveryDigitAndWraps) {
  struct Case {
    const char* text;
    DWORD value;
  };
  for (Case c : {Case{"1,234,567", 1234567}, Case{"  1,234", 1234}, Case{"no digits", 0}, Case{nullptr, 0},
                 Case{"", 0}, Case{"4294967296", 0}, Case{"99999999999", 1215752191}}) {
    EXPECT_EQ(StringToSize(c.text), c.value) << (c.text ? c.text : "(null)");
  }
}

TEST(TextHelpers, StripAndParseInPlace) {
  char blanks[] = " \t\r\n ";
  EXPECT_STREQ(StrStrip(blanks), "");
  char padded[] = "  a b \n";
  EXPECT_EQ(StrStrip(padded), padded);
  EXPECT_STREQ(padded, "a b");
  EXPECT_EQ(StrStrip(nullptr), nullptr);

  char fields[] = "a;;b";
  EXPECT_STREQ(StrParse(fields, ';'), "a");
  EXPECT_STREQ(StrParse(nullptr, ';'), "");
  EXPECT_STREQ(StrParse(nullptr, ';'), "b");
  EXPECT_EQ(StrParse(nullptr, ';'), nullptr);
  EXPECT_EQ(StrParse(nullptr, ';'), nullptr);
}

TEST(TextHelpers, ParsesOnTwoThreadsAtOnceKeepTheirOwnFields) {
  std::barrier step(2);
  auto parse = [&](std::string text, std::vector<std::string>& out) {
    char* field = StrParse(text.data(), ',');
    for (;;) {
      step.arrive_and_wait();  // the other thread parses in between
      if (!field) break;
      out.emplace_back(field);
      field = StrParse(nullptr, ',');
    }
  };
  std::vector<std::string> first, second;
  std::thread a(parse, "LPT1:,NE01:,x", std::ref(first));
  std::thread b(parse, "p,q,r", std::ref(second));
  a.join();
  b.join();
  EXPECT_EQ(first, (std::vector<std::string>{"LPT1:", "NE01:", "x"}));
  EXPECT_EQ(second, (std::vector<std::string>{"p", "q", "r"}));
}

TEST(TextHelpers, MonthNames) {
  EXPECT_EQ(StrMonthToInt("Jan"), 1);
  EXPECT_EQ(StrMonthToInt("DEC"), 12);
  EXPECT_EQ(StrMonthToInt("sep"), 9);
  EXPECT_EQ(StrMonthToInt("Sept"), 0);
  EXPECT_EQ(StrMonthToInt(""), 0);
  EXPECT_EQ(StrMonthToInt(nullptr), 0);
}

TEST(TextHelpers, WildcardMatch) {
  struct Case {
    const char* pattern;
    const char* text;
    bool matches;
  };
  for (Case c :
       {Case{"*LASER*", "Color Laser 5", true}, Case{"??", "ab", true}, Case{"??", "abc", false},
        Case{"??", "a", false}, Case{"", "", true}, Case{"", "x", false}, Case{"A*B", "AB", true},
        Case{"A*B", "AxxB", true}, Case{"A*B", "ABx", false}, Case{"?A*", "AAB", true}, Case{"*", "", true},
        Case{"*?", "", false}, Case{"a?c", "ABC", true}, Case{"*?x", "x", false}, Case{"*?x", "yx", true}}) {
    EXPECT_EQ(DoMatch(c.pattern, c.text), c.matches ? TRUE : FALSE) << c.pattern << " / " << c.text;
  }
  const std::string longText(1000, 'a');
  EXPECT_TRUE(DoMatch("*A", longText.c_str())) << "whole texts, past 263 characters";
  EXPECT_FALSE(DoMatch("*B", longText.c_str()));
}

TEST(TextHelpers, PathParts) {
  struct Case {
    const char* path;
    const char* filenameOnly;
    const char* withoutFilename;
    const char* withoutExtension;
  };
  for (Case c :
       {Case{"D:\\DIR\\FILE.TXT", "FILE.TXT", "D:\\DIR", "D:\\DIR\\FILE"},
        Case{"FILE.TXT", "", "FILE.TXT", "FILE"}, Case{"D:\\D.X\\FILE", "FILE", "D:\\D.X", "D:\\D.X\\FILE"},
        Case{"D:\\DIR\\", "", "D:\\DIR\\", "D:\\DIR\\"}}) {
    CFilename name(c.path);
    EXPECT_EQ(name.GetFilenameOnly(), c.filenameOnly) << c.path;
    CFilename noFile(name);
    noFile.RemoveFilename();
    EXPECT_EQ(noFile.GetPath(), c.withoutFilename) << c.path;
    CFilename noExtension = name;
    noExtension.RemoveExtension();
    EXPECT_EQ(noExtension.GetPath(), c.withoutExtension) << c.path;
  }
}

// Puts the process back where it was: ChangeDirectory moves it.
class Directories : public ::testing::Test {
 protected:
  void SetUp() override { start_ = fs::current_path(); }
  void TearDown() override { fs::current_path(start_); }
  // The drive's directory as the path mapping makes it (private, checked).
  fs::path drive(const char* letter) { return *wf::mapSystemPath(std::string(letter) + ":\\"); }

 private:
  fs::path start_;
};

TEST_F(Directories, FullPathsAreLowerCasedAndNameTheMappedFile) {
  fs::create_directories(drive("d") / "Data" / "Sub");
  std::ofstream(drive("d") / "Data" / "FILE.DAT") << "x";

  CFilename name;
  name.MakeFullPath("D:\\DATA", "FILE.DAT");
  EXPECT_EQ(name.GetPath(), "d:\\data\\file.dat");
  EXPECT_TRUE(FileExists(name));
  name.MakeFullPath("D:\\DATA\\", "Other.Txt");
  EXPECT_EQ(name.GetPath(), "d:\\data\\other.txt");
  EXPECT_FALSE(FileExists(name));
  EXPECT_FALSE(FileExists(nullptr));

  name.MakeFullPath("D:\\IGNORED", "C:\\Other\\..\\F.TXT");
  EXPECT_EQ(name.GetPath(), "c:\\f.txt");

  ASSERT_TRUE(ChangeDirectory("D:\\DATA\\SUB"));
  EXPECT_EQ(wf::currentSystemDirectory(), "D:\\Data\\Sub");
  name.MakeFullPath("D:\\IGNORED", "..\\UP.TXT");
  EXPECT_EQ(name.GetPath(), "d:\\data\\up.txt") << "relative parts resolve against the current directory";

  const CFilename before = name;
  name.MakeFullPath("D:\\DATA", "..\\..\\..\\above.txt");
  EXPECT_EQ(name.GetPath(), before.GetPath()) << "climbing above the drive leaves the path";
  const std::string longName(300, 'n');
  name.MakeFullPath("D:\\DATA", longName.c_str());
  EXPECT_EQ(name.GetPath(), before.GetPath()) << "too long leaves the path";
}

TEST_F(Directories, ChangeDirectoryEntersOnlyExistingDirectories) {
  fs::create_directories(drive("c") / "Wf");
  const fs::path before = fs::current_path();
  EXPECT_FALSE(ChangeDirectory("C:\\MISSING"));
  EXPECT_FALSE(ChangeDirectory(nullptr));
  EXPECT_EQ(fs::current_path(), before);
  ASSERT_TRUE(ChangeDirectory("c:\\wf"));
  EXPECT_EQ(fs::current_path(), fs::canonical(drive("c") / "Wf"));
  EXPECT_TRUE(ChangeDirectory(".."));
  EXPECT_EQ(wf::currentSystemDirectory(), "C:\\");
}

TEST(TextHelpers, FileChecksum) {
  struct Case {
    std::string bytes;
    UINT position;
    WORD sum;
  };
  const std::string words("\x34\x12\x01\x00\x02\x00", 6);
  for (const Case& c : {Case{words, 1, 0xFFFD}, Case{words, 0, 0}, Case{words, 9, 0xEDC9},
                        Case{std::string("\x34\x12\x01\xAB\x05", 5), 1, 0xA9FA},
                        Case{std::string("\x07", 1), 2, 0xFFF9}, Case{"", 1, 0}}) {
    TempFile file(c.bytes);
    EXPECT_EQ(GenFileCheckSum(c.position, file.fd()), c.sum)
        << c.bytes.size() << " bytes, word " << c.position;
  }
  TempFile writeOnly(words, O_WRONLY);
  EXPECT_EQ(GenFileCheckSum(1, writeOnly.fd()), 0) << "an unreadable file";
  EXPECT_EQ(GenFileCheckSum(1, -1), 0);
}

TEST(TextHelpers, CheckedFileChecksumTellsAFailedReadFromASumOfZero) {
  // The words after the first sum to 0x10000, so the checksum itself is 0.
  TempFile zero(std::string("\x99\x99\xFF\xFF\x01\x00", 6));
  WORD sum = 0xBEEF;
  EXPECT_TRUE(GenFileCheckSumChecked(1, zero.fd(), &sum));
  EXPECT_EQ(sum, 0);
  TempFile odd(std::string("\x34\x12\x01\xAB\x05", 5));
  EXPECT_TRUE(GenFileCheckSumChecked(1, odd.fd(), &sum));
  EXPECT_EQ(sum, 0xA9FA);
  TempFile writeOnly(std::string("\x01\x00", 2), O_WRONLY);
  EXPECT_FALSE(GenFileCheckSumChecked(1, writeOnly.fd(), &sum));
  EXPECT_FALSE(GenFileCheckSumChecked(1, -1, &sum));
}

TEST(TextHelpers, LinesFromAFile) {
  TempFile file("one\r\ntwo\n\nlast");
  char buffer[16];
  EXPECT_TRUE(GetLine(file.fd(), buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "one");
  EXPECT_TRUE(GetLine(file.fd(), buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "two");
  EXPECT_TRUE(GetLine(file.fd(), buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "");
  EXPECT_FALSE(GetLine(file.fd(), buffer, sizeof buffer)) << "a last line without a line feed";
  EXPECT_STREQ(buffer, "last");

  TempFile longLine("abcdefgh\nxy\n");
  char small[4];
  EXPECT_FALSE(GetLine(longLine.fd(), small, sizeof small));
  EXPECT_STREQ(small, "abc") << "stops at the buffer's end";
  EXPECT_FALSE(GetLine(longLine.fd(), nullptr, 8));
  EXPECT_FALSE(GetLine(-1, buffer, sizeof buffer));
}

TEST(OpaqueLists, FreeTheirBlocksOnlyWhenTheFlagSaysSo) {
  const std::size_t before = wf::fw::liveGlobalBlocks();
  HGLOBAL kept = wf::fw::globalTextCopy("kept");
  {
    CWFoidList owning(OIDLIST_FREEGLOBAL);
    EXPECT_TRUE(owning.Add(new CWFoid(wf::fw::globalTextCopy("LPT1:"))));
    EXPECT_TRUE(owning.Add(new CWFoid(wf::fw::globalTextCopy("NE01:"))));
    EXPECT_FALSE(owning.Add(nullptr));
    EXPECT_TRUE(owning.Find(&TextEqualsNoCase, const_cast<char*>("ne01:")));
    EXPECT_FALSE(owning.Find(&TextEqualsNoCase, const_cast<char*>("NE02:")));
    EXPECT_FALSE(owning.Find(nullptr, const_cast<char*>("LPT1:")));

    CWFoidList borrowing(0);
    borrowing.Add(new CWFoid(kept));
    borrowing.RemoveAll();
    EXPECT_EQ(borrowing.GetCount(), 0);
    EXPECT_EQ(wf::fw::liveGlobalBlocks(), before + 3);
  }
  EXPECT_EQ(wf::fw::liveGlobalBlocks(), before + 1) << "the owning list freed its two blocks";
  GlobalFree(kept);
}

}  // namespace
