// The job statistics service: the file it keeps, its limits, its boxes and
// the records that wait while one is up; the delete of old records.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "app/jsf_files.h"
#include "app/jsf_manager.h"
#include "app_fixture.h"
#include "common/notebook_messages.h"
#include "common/printer_icon.h"
#include "common/wait_objects.h"
#include "eventually.h"
#include "framework/global_memory.h"
#include "hostile_places.h"
#include "platform/clock.h"
#include "platform/paths.h"

namespace {

using wf::testing::eventually;
namespace fs = std::filesystem;

// A printer that notes each change of its tracking.
class TrackIcon : public CWFPrinterIcon {
 public:
  TrackIcon() : CWFPrinterIcon(nullptr, nullptr) {}
  void SetTrackingJS(int tracking) override { changes.push_back(tracking); }
  std::vector<int> changes;
};

// The application as the service meets it, with two printers.
class Host : public WFJSFHost {
 public:
  explicit Host(HWND main) : main_(main) {}
  void LockInJSFile() override { ++lockIns; }
  void TraverseOnThread(BOOL (*fn)(CWFPrinterIcon*, void*), void* data) override {
    for (auto* icon : {&open, &closed}) fn(icon, data);
    ++traversals;
  }
  HWND GetMainWindowHandle() override { return main_; }

  std::atomic<int> lockIns{0};
  std::atomic<int> traversals{0};
  TrackIcon open, closed;

 private:
  HWND main_;
};

// The seam with a failure switch per operation and a count of opens.
class Files : public wf::JsFiles {
 public:
  wf::UniqueFd openAppend(const fs::path& path) override {
    ++appendOpens;
    return failOpen ? wf::UniqueFd() : JsFiles::openAppend(path);
  }
  std::optional<std::uint64_t> size(int fd) override { return failSize ? std::nullopt : JsFiles::size(fd); }
  bool append(int fd, const char* data, std::size_t bytes) override {
    return !failAppend && JsFiles::append(fd, data, bytes);
  }
  wf::UniqueFd createTemporary(const fs::path& directory, fs::path* name) override {
    return failTemporary ? wf::UniqueFd() : JsFiles::createTemporary(directory, name);
  }
  bool write(int fd, const char* data, std::size_t bytes) override {
    return !failWrite && JsFiles::write(fd, data, bytes);
  }
  bool rename(const fs::path& from, const fs::path& to) override {
    return !failRename && JsFiles::rename(from, to);
  }
  bool close(wf::UniqueFd& fd) override {
    const bool closed = JsFiles::close(fd);
    return closed && !failClose;
  }

  std::atomic<int> appendOpens{0};
  std::atomic<bool> failOpen{false}, failSize{false}, failAppend{false}, failTemporary{false},
      failWrite{false}, failRename{false}, failClose{false};
};

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void spit(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string text(UINT id) {
  CString s;
  s.LoadString(id);
  return s.str();
}

std::string withName(UINT id, const std::string& name) {
  std::string t = text(id);
  if (const auto at = t.find("%s"); at != std::string::npos) t.replace(at, 2, name);
  return t;
}

class JsfService : public wf::testing::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    wf::setJsFilesForTest(&files_);
    file_ = wf::mapSystemPath("c:\\stats.csv").value();
    host_.open.SetOpenDlgHandle(notebook_.wnd()->m_hWnd);
    ASSERT_TRUE(manager_.Initialize());
    window_ = manager_.GetNotificationWindow();
    ASSERT_NE(window_, HWND(0));
  }
  void TearDown() override {
    manager_.Shutdown();
    wf::setJsFilesForTest(nullptr);
    AppFixture::TearDown();
  }

  // Keeps the GUI thread (where boxes are answered) going until `done`.
  template <class Done>
  bool pumpUntil(Done done) {
    return eventually([&] {
      QCoreApplication::processEvents();
      return done();
    });
  }
  void post(UINT message, HGLOBAL block) { ASSERT_TRUE(PostMessage(window_, message, 0, LPARAM(block))); }
  void setFile(const std::string& name) { post(WM_WF_JSFSETFILE, wf::fw::globalTextCopy(name)); }
  void setLimit(BOOL bounded, UINT kb) {
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, sizeof(WF_JSF_LIMIT));
    const WF_JSF_LIMIT limit{bounded, kb};
    std::memcpy(block, &limit, sizeof limit);
    post(WM_WF_JSFSETLIMIT, block);
  }
  void record(const std::string& line) { post(WM_WF_JSFRECORD, wf::fw::globalTextCopy(line)); }
  // Takes the file into use and waits until the printers were told.
  void useFile(const std::string& name) {
    const int before = host_.traversals;
    setFile(name);
    ASSERT_TRUE(pumpUntil([&] { return host_.traversals == before + 1; }))
        << (boxes().empty() ? "no box" : boxes().back().text) << " " << service()->HasFile();
  }
  // Handled in order: once this record is in the file, so is all before it.
  void flushWith(const std::string& line) {
    record(line);
    ASSERT_TRUE(pumpUntil([&] { return slurp(file_).ends_with(line); })) << slurp(file_);
  }
  CWFJSFWnd* service() { return manager_.GetWindowObject(); }
  bool lockIsFree() {
    CMutex mutex(WF_JSFILE_MUTEX);
    if (mutex.Wait(0) != WAIT_OBJECT_0) return false;
    mutex.Release();
    return true;
  }
  std::vector<wf::fw::MessageBoxRequest> boxes() const { return shell_.messageBox.calls(); }

  wf::testing::RecordingWindow mainWindow_, notebook_;
  Host host_{mainWindow_.wnd()->m_hWnd};
  Files files_;
  CWFJSFManager manager_{&host_};
  HWND window_ = 0;
  fs::path file_;
  // Once the resources are in.
  std::string fullBox() const { return text(131) + text(132) + text(134) + text(135); }
  std::string ioBox() const { return text(130) + text(132) + text(133) + text(135); }
};

TEST_F(JsfService, TheBoxTextsAreTheProgramsOwn) {
  EXPECT_EQ(text(130), "An I/O error has occured while writing to the job statistics data file.");
  EXPECT_EQ(text(132), "\n\nAbort will turn off tracking for all printers and discard all pending data.");
  EXPECT_EQ(text(136), "File Error");
  EXPECT_EQ(text(857), "Job Statistics Error:");
  EXPECT_EQ(text(856), "Job Statistics Warning:");
}

TEST_F(JsfService, RecordsLandInTheFileInOrderAndTheCountMatchesTheFile) {
  spit(file_, "old line without its end");
  useFile("c:\\stats.csv");
  for (int i = 0; i < 100; ++i) record("LPT1:,record " + std::to_string(i) + "\r\n");
  flushWith("LPT1:,last\r\n");
  const std::string written = slurp(file_);
  // The unended last line gets its end before the first record.
  EXPECT_TRUE(written.starts_with("old line without its end\r\nLPT1:,record 0\r\nLPT1:,record 1\r\n"))
      << written;
  EXPECT_EQ(service()->CountedSize(), fs::file_size(file_));
  EXPECT_EQ(host_.lockIns, 1);
  EXPECT_EQ(notebook_.count(WM_WF_JOBSTAT, 0), 1);  // the open notebook is told of the new file
  EXPECT_TRUE(boxes().empty());
}

TEST_F(JsfService, TheSameFileUnderAnotherSpellingIsLeftAlone) {
  useFile("c:\\stats.csv");
  setFile("C:\\STATS.CSV");
  setFile(file_.string());
  flushWith("x\r\n");
  EXPECT_EQ(files_.appendOpens, 1);
  EXPECT_EQ(host_.lockIns, 1);
  EXPECT_TRUE(boxes().empty());

  // Another name is another file; an empty one leaves the service without.
  setFile("c:\\other.csv");
  setFile("");
  record("dropped\r\n");
  setFile("c:\\stats.csv");
  flushWith("y\r\n");
  EXPECT_EQ(slurp(file_), "x\r\ny\r\n");
  EXPECT_EQ(files_.appendOpens, 3);
  const auto made = fs::status(file_.parent_path() / "other.csv").permissions();
  EXPECT_EQ(made & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);
}

TEST_F(JsfService, AFileThatCannotBeUsedIsToldOnce) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    UINT textId;
    UINT captionId;
    UINT style;
    bool owned;
    bool inUse;
  };
  const std::vector<Case> cases = {
      {"open fails", [&] { files_.failOpen = true; }, 855, 857, MB_OK | MB_ICONEXCLAMATION, false, false},
      {"size unreadable", [&] { files_.failSize = true; }, 854, 857, MB_OK | MB_ICONEXCLAMATION, true, false},
      {"over its limit",
       [&] {
         spit(file_, std::string(2048, 'x') + "\r\n");
         setLimit(TRUE, 2);
       },
       853, 856, MB_OK | MB_ICONINFORMATION, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    files_.failOpen = files_.failSize = false;
    setFile("");
    setLimit(FALSE, 0);
    c.arrange();
    const size_t before = boxes().size();
    setFile("c:\\stats.csv");
    ASSERT_TRUE(pumpUntil([&] { return boxes().size() == before + 1; }));
    const auto box = boxes().back();
    EXPECT_EQ(box.text, withName(c.textId, "c:\\stats.csv"));
    EXPECT_EQ(box.caption, text(c.captionId));
    EXPECT_EQ(box.style, c.style);
    EXPECT_EQ(box.owner, c.owned ? mainWindow_.wnd()->m_hWnd : HWND(0));
    EXPECT_TRUE(pumpUntil([&] { return service()->HasFile() == c.inUse; }));
  }
}

TEST_F(JsfService, BadNamesAreRefusedWithTheOpenBox) {
  const std::string longName = "c:\\" + std::string(252, 'n') + ".csv";  // 259 characters
  fs::create_directories(file_.parent_path() / "adir");
  const std::vector<std::string> names = {"c:\\adir", "c:\\missing\\stats.csv", longName};
  for (const std::string& name : names) {
    const size_t before = boxes().size();
    setFile(name);
    ASSERT_TRUE(pumpUntil([&] { return boxes().size() == before + 1; })) << name;
    EXPECT_EQ(boxes().back().text, withName(855, name));
    EXPECT_FALSE(service()->HasFile());
  }
  // A name that is no file: refused at once, never waited on.
  std::size_t refused = names.size();
  for (const auto& place : wf::testing::hostilePlaces()) {
    if (place.regular) continue;
    SCOPED_TRACE(place.what);
    wf::testing::makeHostile(place.kind, file_.parent_path() / "hostile");
    setFile("c:\\hostile");
    ASSERT_TRUE(pumpUntil([&] { return boxes().size() == refused + 1; }));
    ++refused;
    EXPECT_EQ(boxes().back().text, withName(855, "c:\\hostile"));
    EXPECT_FALSE(service()->HasFile());
  }
  // Nothing arrives anywhere while there is no file.
  record("dropped\r\n");
  setFile("c:\\stats.csv");
  flushWith("kept\r\n");
  EXPECT_EQ(slurp(file_), "kept\r\n");
  // A name is a name, never a format.
  useFile("c:\\%s%n%d.csv");
  EXPECT_TRUE(fs::exists(file_.parent_path() / "%s%n%d.csv"));
  EXPECT_EQ(boxes().size(), refused);
}

class JsfFullFile : public JsfService {
 protected:
  void SetUp() override {
    JsfService::SetUp();
    spit(file_, std::string(998, 'o') + "\r\n");
    setLimit(TRUE, 1);
    useFile("c:\\stats.csv");
  }
  const std::string big_ = std::string(28, 'b') + "\r\n";  // 1000 + 30 + 2 > 1024
};

TEST_F(JsfFullFile, TheSizeBoxIsShownWithTheLockFree) {
  std::atomic<bool> freeWhileShown{false};
  shell_.messageBox.respondWith([&](const wf::fw::MessageBoxRequest&) {
    freeWhileShown = lockIsFree();
    return IDIGNORE;
  });
  record(big_);
  ASSERT_TRUE(pumpUntil([&] { return boxes().size() == 1; }));
  const auto box = boxes()[0];
  EXPECT_EQ(box.text, fullBox());
  EXPECT_EQ(box.caption, "File Error");
  EXPECT_EQ(box.style, MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION);
  EXPECT_EQ(box.owner, mainWindow_.wnd()->m_hWnd);
  flushWith("s\r\n");
  EXPECT_TRUE(freeWhileShown);
  EXPECT_EQ(slurp(file_), std::string(998, 'o') + "\r\ns\r\n");
}

TEST_F(JsfFullFile, RecordsArrivingWhileTheBoxIsUpFollowTheAnswer) {
  const std::string base = std::string(998, 'o') + "\r\n";
  for (int answer : {IDIGNORE, IDRETRY, IDABORT}) {
    SCOPED_TRACE(answer);
    spit(file_, base);
    setFile("");
    useFile("c:\\stats.csv");
    host_.open.changes.clear();
    host_.closed.changes.clear();
    notebook_.take();
    mainWindow_.take();
    const size_t before = boxes().size();
    // The box's loop hands the service the two records before the answer.
    std::atomic<int> asked{0};
    shell_.messageBox.respondWith([&](const wf::fw::MessageBoxRequest& box) {
      if (box.text != fullBox()) return IDOK;
      if (asked++ > 0) return IDIGNORE;
      record("a\r\n");
      record("b\r\n");
      EXPECT_TRUE(eventually([&] { return service()->PendingCount() == 2; }));
      return answer;
    });
    record(big_);
    ASSERT_TRUE(
        pumpUntil([&] { return asked > 0 && service()->PendingCount() == (answer == IDRETRY ? 3u : 0u); }));
    if (answer == IDIGNORE) {
      ASSERT_TRUE(pumpUntil([&] { return slurp(file_) == base + "a\r\nb\r\n"; })) << slurp(file_);
    }
    if (answer == IDRETRY) {
      // The change-settings notice and one request for the settings page.
      ASSERT_TRUE(pumpUntil([&] { return boxes().size() == before + 2; }));
      EXPECT_EQ(boxes().back().text, text(137));
      EXPECT_EQ(boxes().back().caption, text(136));
      EXPECT_EQ(boxes().back().style, MB_OK);
      EXPECT_TRUE(pumpUntil([&] { return mainWindow_.count(WM_WF_OPENSETTINGS, 0) == 1; }));
      EXPECT_EQ(slurp(file_), base);
      // The next record goes first, then those that waited; the big one is
      // over the limit again and dropped this time.
      record("n\r\n");
      ASSERT_TRUE(pumpUntil([&] { return slurp(file_) == base + "n\r\na\r\nb\r\n"; })) << slurp(file_);
      EXPECT_TRUE(pumpUntil([&] { return asked == 2 && service()->PendingCount() == 0; }));
    }
    if (answer == IDABORT) {
      EXPECT_TRUE(pumpUntil([&] { return notebook_.count(WM_WF_JOBSTAT, 0) == 1; }));
      EXPECT_EQ(host_.open.changes, std::vector<int>{FALSE});
      EXPECT_EQ(host_.closed.changes, std::vector<int>{FALSE});
      flushWith("n\r\n");
      EXPECT_EQ(slurp(file_), base + "n\r\n");
    }
    EXPECT_EQ(service()->CountedSize(), fs::file_size(file_));
  }
}

TEST_F(JsfFullFile, HeldBackRecordsAreWrittenOnceTheLimitAllowsThem) {
  shell_.messageBox.respondWith(
      [&](const wf::fw::MessageBoxRequest& box) { return box.text == fullBox() ? IDRETRY : IDOK; });
  record(big_);
  ASSERT_TRUE(pumpUntil([&] { return service()->PendingCount() == 1; }));
  setLimit(TRUE, 2);
  ASSERT_TRUE(pumpUntil([&] { return slurp(file_).ends_with(big_); }));
  EXPECT_EQ(service()->PendingCount(), 0u);
}

TEST_F(JsfService, AFailedWriteAsksWithTheLockHeld) {
  useFile("c:\\stats.csv");
  files_.failAppend = true;
  std::atomic<bool> heldWhileShown{false};
  shell_.messageBox.respondWith([&](const wf::fw::MessageBoxRequest&) {
    heldWhileShown = !lockIsFree();
    files_.failAppend = false;
    return IDRETRY;
  });
  record("first\r\n");
  ASSERT_TRUE(pumpUntil([&] { return service()->PendingCount() == 1; }));
  EXPECT_EQ(boxes().size(), 1u);  // no change-settings notice after an I/O error
  EXPECT_EQ(boxes()[0].text, ioBox());
  EXPECT_EQ(boxes()[0].caption, text(136));
  EXPECT_TRUE(heldWhileShown);
  record("second\r\n");
  EXPECT_TRUE(pumpUntil([&] { return slurp(file_) == "second\r\nfirst\r\n"; })) << slurp(file_);
  EXPECT_EQ(mainWindow_.count(WM_WF_OPENSETTINGS, 0), 0);
}

TEST_F(JsfService, WithNoRoomEveryRecordAsks) {
  setLimit(TRUE, 0);
  useFile("c:\\stats.csv");
  shell_.messageBox.respondWith([](const wf::fw::MessageBoxRequest&) { return IDIGNORE; });
  record("a\r\n");
  record("b\r\n");
  ASSERT_TRUE(pumpUntil([&] { return boxes().size() == 2; }));
  EXPECT_EQ(boxes()[1].text, fullBox());
  EXPECT_EQ(fs::file_size(file_), 0u);
}

// ---- delete --------------------------------------------------------------

std::time_t localMidnight(int year, int month, int day) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

TEST(JsKeepRecord, KeepsWhatIsNotProvablyOlder) {
  const std::time_t june1 = localMidnight(2024, 6, 1);
  struct Case {
    const char* line;
    bool kept;
  };
  const Case cases[] = {
      {"LPT1:,Sat,Jun,01,00:00:00,2024,1", true},
      {"LPT1:,Fri,May,31,23:59:59,2024,1", false},
      {"LPT1:,Fri,may,31,23:59:59,2024,", false},
      {"", false},
      {"LPT1:,Fri,May,31,23:59:59,2024", false},  // five commas
      {"LPT1:,Fri,Mai,31,23:59:59,2024,1", true},
      {"LPT1:,Fri,May, 31 ,23:59:59, 2023 ,1", false},
      {"LPT1:,Fri,Dec,31,23:59:59,2023,1", false},
      {"LPT1:,Fri,Jan,01,00:00:00,2025,1", true},
      {"LPT1:,Fri,May,31,23:59:59,99999999999999999999,1", true},
      {"LPT1:,Fri,May,31,23:59:59,,1", true},
      // Only a date read whole makes a line go.
      {",Fri,May,31,10:00:00,2024,1", true},
      {" ,Fri,May,31,10:00:00,2024,1", true},
      {"LPT1:,,May,31,10:00:00,2024,1", true},
      {"LPT1:,Xyz,May,31,10:00:00,2024,1", true},
      {"LPT1:,fri,May,31,10:00:00,2024,1", false},
      {"LPT1:,Fri,,31,10:00:00,2024,1", true},
      {"LPT1:,Fri,May,31,,2024,1", true},
  };
  for (const Case& c : cases) EXPECT_EQ(wf::jsKeepRecord(c.line, june1), c.kept) << c.line;
}

class JsfDelete : public JsfService {
 protected:
  void SetUp() override {
    JsfService::SetUp();
    spit(file_, original_);
    useFile("c:\\stats.csv");
  }
  void deleteBefore(std::time_t cutOff) {
    ASSERT_TRUE(PostMessage(window_, WM_WF_JSFDELETEJOBS, 0, LPARAM(cutOff)));
  }

  const std::string longLine_ = "LPT1:,Sat,Jun,01,00:00:00,2024," + std::string(5000, 'L');
  const std::string original_ =
      "LPT1:,Sat,Jun,01,10:00:00,2024,1\r\n"
      "LPT1:,Fri,May,31,10:00:00,2024,1\r\n"
      "\r\n"
      "LPT1:,Fri,May,31,10:00:00,2024\r\n"
      "LPT1:,Fri,Xyz,31,10:00:00,2024,1\n" +
      std::string("LPT1:,Fri,May,31,10:00:00,\0,1\r\n", 32) + longLine_ +
      "\r\n"
      "LPT1:,Sun,Jun,02,10:00:00,2024,last";
};

TEST_F(JsfDelete, OlderRecordsGoAndTheRestEndInCrLf) {
  deleteBefore(localMidnight(2024, 6, 1));
  flushWith("next\r\n");
  EXPECT_EQ(slurp(file_),
            "LPT1:,Sat,Jun,01,10:00:00,2024,1\r\n"
            "LPT1:,Fri,Xyz,31,10:00:00,2024,1\r\n" +
                std::string("LPT1:,Fri,May,31,10:00:00,\0,1\r\n", 32) + longLine_ +
                "\r\n"
                "LPT1:,Sun,Jun,02,10:00:00,2024,last\r\n"
                "next\r\n");
  EXPECT_EQ(service()->CountedSize(), fs::file_size(file_));
  EXPECT_TRUE(boxes().empty());
  // Nothing but the file is left in its directory.
  EXPECT_EQ(std::distance(fs::directory_iterator(file_.parent_path()), fs::directory_iterator()), 1);
}

TEST_F(JsfDelete, ALineWithoutPortOrReadableDateStays) {
  spit(file_,
       ",Fri,May,31,10:00:00,2024,1\r\n"
       "LPT1:,Fri,May,31,10:00:00,2024,1\r\n"
       "LPT1:,Sat,Jun,01,10:00:00,2024,1\r\n"
       "LPT1:,Fri,M4y,31,10:00:00,2024,1\r\n");
  deleteBefore(localMidnight(2024, 6, 1));
  flushWith("later\r\n");
  EXPECT_EQ(slurp(file_),
            ",Fri,May,31,10:00:00,2024,1\r\n"
            "LPT1:,Sat,Jun,01,10:00:00,2024,1\r\n"
            "LPT1:,Fri,M4y,31,10:00:00,2024,1\r\n"
            "later\r\n");
  EXPECT_EQ(service()->CountedSize(), fs::file_size(file_));
}

TEST_F(JsfDelete, AFailureLeavesTheFileAsItWas) {
  struct Case {
    std::atomic<bool>* failure;
    UINT textId;
  };
  const Case cases[] = {{&files_.failClose, 848},
                        {&files_.failTemporary, 850},
                        {&files_.failWrite, 849},
                        {&files_.failRename, 849}};
  std::string expected = original_ + "\r\n";  // its last line gets its end with the first record
  for (const Case& c : cases) {
    SCOPED_TRACE(c.textId);
    *c.failure = true;
    const size_t before = boxes().size();
    deleteBefore(localMidnight(2024, 6, 1));
    ASSERT_TRUE(pumpUntil([&] { return boxes().size() == before + 1; }));
    *c.failure = false;
    EXPECT_EQ(boxes().back().text, withName(c.textId, "c:\\stats.csv"));
    EXPECT_EQ(boxes().back().caption, text(857));
    EXPECT_EQ(boxes().back().owner, mainWindow_.wnd()->m_hWnd);
    // Still in use: the next record is appended.
    const std::string more = "more " + std::to_string(c.textId) + std::to_string(expected.size()) + "\r\n";
    flushWith(more);
    expected += more;
    EXPECT_EQ(slurp(file_), expected);
    EXPECT_EQ(std::distance(fs::directory_iterator(file_.parent_path()), fs::directory_iterator()), 1);
  }
}

// ---- the application object -------------------------------------------------

class JsfApplication : public wf::testing::AppFixture {
 protected:
  void TearDown() override {
    app_.stopJSFManager();
    wf::setNowForTest({});
    AppFixture::TearDown();
  }
  CWFApp app_;
};

TEST_F(JsfApplication, SettingTheNameTakesTheFileIntoUseAtThatTime) {
  EXPECT_EQ(app_.GetJSFiletime().GetTime(), 0);
  app_.startJSFManager();
  ASSERT_NE(app_.GetJSFManager()->GetNotificationWindow(), HWND(0));
  wf::setNowForTest([] { return std::time_t{1717596187}; });
  const fs::path file = wf::mapSystemPath("c:\\js.csv").value();
  spit(file, std::string(3000, 'x') + "\r\n");
  app_.SetJSFileBounded(TRUE);
  app_.SetJSMaxSize(2);
  app_.SetJSFilename("c:\\js.csv");
  EXPECT_EQ(app_.GetJSFilename().str(), "c:\\js.csv");
  // The limit reached the service before the name: the file is over it.
  EXPECT_TRUE(eventually([&] {
    QCoreApplication::processEvents();
    return app_.GetJSFiletime().GetTime() == 1717596187;
  }));
  ASSERT_EQ(shell_.messageBox.calls().size(), 1u);
  EXPECT_EQ(shell_.messageBox.calls()[0].text, withName(853, "c:\\js.csv"));
}

}  // namespace
