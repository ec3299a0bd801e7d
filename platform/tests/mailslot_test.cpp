#include "platform/mailslot.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "platform/byte_codec.h"
#include "platform/thread.h"
#include "platform/trace.h"
#include "platform/unique_fd.h"
#include "platform_child.h"

namespace wf {
namespace {

const std::string kPrimary = "\\\\.\\mailslot\\bce\\primary";

std::string text(const std::vector<std::uint8_t>& m) {
  return std::string(m.begin(), m.end());
}

MailslotWriter openWriter(const std::string& name) {
  MailslotStatus status;
  auto w = MailslotWriter::open(name, &status);
  if (!w) ADD_FAILURE() << "open " << name << ": " << describe(status);
  return std::move(*w);
}

MailslotStatus writeText(MailslotWriter& w, const std::string& s) {
  return w.write(s.data(), s.size());
}

}  // namespace

TEST(Mailslot, KeepsBoundariesAndReportsSizesWithoutTaking) {
  auto slot = Mailslot::create(kPrimary);
  ASSERT_TRUE(slot);
  EXPECT_FALSE(slot->nextMessageSize());
  auto w = openWriter(kPrimary);
  for (std::string m : {"alpha", "", "bc"}) ASSERT_EQ(writeText(w, m), MailslotStatus::Ok);

  EXPECT_EQ(slot->nextMessageSize(), 5u);
  EXPECT_EQ(slot->nextMessageSize(), 5u);  // looking does not take
  char buf[64];
  std::size_t size = 0;
  ASSERT_EQ(slot->read(buf, sizeof buf, &size, 0), MailslotStatus::Ok);
  EXPECT_EQ(std::string(buf, size), "alpha");
  EXPECT_EQ(slot->nextMessageSize(), 0u);  // an empty message is still a message
  ASSERT_EQ(slot->read(buf, sizeof buf, &size, 0), MailslotStatus::Ok);
  EXPECT_EQ(size, 0u);
  std::vector<std::uint8_t> whole;
  ASSERT_EQ(slot->read(whole, 0), MailslotStatus::Ok);
  EXPECT_EQ(text(whole), "bc");
  EXPECT_FALSE(slot->nextMessageSize());
}

TEST(Mailslot, EmptyMessageTakenWhole) {
  // A reader taking whole messages must survive an empty one from any writer.
  auto slot = Mailslot::create(kPrimary);
  ASSERT_TRUE(slot);
  auto w = openWriter(kPrimary);
  ASSERT_EQ(writeText(w, ""), MailslotStatus::Ok);
  ASSERT_EQ(writeText(w, "after"), MailslotStatus::Ok);
  std::vector<std::uint8_t> whole;  // no storage yet, as in a fresh reader
  ASSERT_EQ(slot->read(whole, 0), MailslotStatus::Ok);
  EXPECT_TRUE(whole.empty());
  ASSERT_EQ(slot->read(whole, 0), MailslotStatus::Ok);
  EXPECT_EQ(text(whole), "after");
}

TEST(Mailslot, TooSmallBufferFailsAndLeavesTheMessage) {
  auto slot = Mailslot::create(kPrimary);
  ASSERT_TRUE(slot);
  auto w = openWriter(kPrimary);
  const std::string small = "0123456789";
  const std::string large(100'000, 'L');  // beyond one datagram
  for (const auto& m : {small, large}) {
    ASSERT_EQ(writeText(w, m), MailslotStatus::Ok);
    std::string buf(m.size() - 1, '\0');
    std::size_t size = 0;
    EXPECT_EQ(slot->read(buf.data(), buf.size(), &size, 0), MailslotStatus::BufferTooSmall);
    EXPECT_EQ(size, m.size());
    EXPECT_EQ(slot->nextMessageSize(), m.size());
    buf.resize(m.size());
    ASSERT_EQ(slot->read(buf.data(), buf.size(), &size, 0), MailslotStatus::Ok);
    EXPECT_EQ(size, m.size());
    EXPECT_EQ(buf, m);
  }
}

TEST(Mailslot, NamesAreCaseInsensitiveAndBadOnesRefused) {
  auto slot = Mailslot::create(kPrimary);
  ASSERT_TRUE(slot);
  auto w = openWriter("\\\\.\\MailSlot\\BCE\\Primary");
  ASSERT_EQ(writeText(w, "x"), MailslotStatus::Ok);
  EXPECT_EQ(slot->nextMessageSize(), 1u);

  const std::string bad[] = {
      "",
      "bce\\primary",
      "\\\\.\\mailslot\\",
      "\\\\.\\pipe\\bce",
      "\\\\.\\mailslot\\" + std::string(120, 'n'),  // never cut down to a shorter name
  };
  for (const auto& name : bad) {
    MailslotStatus created = MailslotStatus::Ok, opened = MailslotStatus::Ok;
    EXPECT_FALSE(Mailslot::create(name, &created));
    EXPECT_FALSE(MailslotWriter::open(name, &opened));
    EXPECT_EQ(created, MailslotStatus::BadName) << name;
    EXPECT_EQ(opened, MailslotStatus::BadName) << name;
  }
}

TEST(Mailslot, OneLiveReaderPerNameAndWritersFailWithoutIt) {
  MailslotStatus status;
  EXPECT_FALSE(MailslotWriter::open(kPrimary, &status));
  EXPECT_EQ(status, MailslotStatus::NotFound);

  EXPECT_FALSE(mailslotHasReader(kPrimary));
  auto slot = Mailslot::create(kPrimary);
  ASSERT_TRUE(slot);
  EXPECT_TRUE(mailslotHasReader(kPrimary));
  struct stat st {};
  ASSERT_EQ(::stat(mailslotSocketPath(kPrimary)->c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // owner-only from its creation
  EXPECT_FALSE(Mailslot::create("\\\\.\\MAILSLOT\\bce\\primary", &status));
  EXPECT_EQ(status, MailslotStatus::AlreadyExists);
  auto w = openWriter(kPrimary);

  slot.reset();
  EXPECT_FALSE(mailslotHasReader(kPrimary));
  EXPECT_EQ(writeText(w, "late"), MailslotStatus::ReaderGone);
  EXPECT_FALSE(MailslotWriter::open(kPrimary, &status));
  EXPECT_EQ(status, MailslotStatus::NotFound);

  // A new reader of the same name is a new mailslot: the old writer stays cut off.
  slot = Mailslot::create(kPrimary);
  ASSERT_TRUE(slot);
  EXPECT_EQ(writeText(w, "late"), MailslotStatus::ReaderGone);
  auto fresh = openWriter(kPrimary);
  EXPECT_EQ(writeText(fresh, "fresh"), MailslotStatus::Ok);
  EXPECT_EQ(slot->nextMessageSize(), 5u);
}

TEST(Mailslot, DeadReaderProcessIsToldFromALiveOne) {
  const std::string app1 = "\\\\.\\mailslot\\bce\\app1";
  testing::PlatformChild reader;
  reader.mailslotCreate(app1);
  MailslotStatus status;
  EXPECT_FALSE(Mailslot::create(app1, &status));
  EXPECT_EQ(status, MailslotStatus::AlreadyExists);
  auto w = openWriter(app1);
  ASSERT_EQ(writeText(w, "before"), MailslotStatus::Ok);

  EXPECT_TRUE(mailslotHasReader(app1));
  reader.process().kill(SIGKILL);
  EXPECT_FALSE(mailslotHasReader(app1));
  auto socket = mailslotSocketPath(app1);
  ASSERT_TRUE(socket);
  EXPECT_TRUE(std::filesystem::exists(*socket));  // left behind by the killed reader
  EXPECT_EQ(writeText(w, "after"), MailslotStatus::ReaderGone);
  EXPECT_FALSE(MailslotWriter::open(app1, &status));
  EXPECT_EQ(status, MailslotStatus::NotFound);

  auto reclaimed = Mailslot::create(app1);
  ASSERT_TRUE(reclaimed);
  auto again = openWriter(app1);
  ASSERT_EQ(writeText(again, "again"), MailslotStatus::Ok);
  std::vector<std::uint8_t> m;
  ASSERT_EQ(reclaimed->read(m, 0), MailslotStatus::Ok);
  EXPECT_EQ(text(m), "again");  // nothing of the dead reader's queue survives
}

TEST(Mailslot, WritersInOtherProcessesInterleaveWholeMessages) {
  auto slot = Mailslot::create(kPrimary);
  ASSERT_TRUE(slot);
  // One inline size, one near the page size and one that travels as a file.
  const std::map<std::string, std::size_t> sizes = {{"A", 64}, {"B", 2048}, {"C", 40'000}};
  constexpr int kCount = 150;

  std::vector<std::string> received;
  std::thread reader([&] {
    std::vector<std::uint8_t> m;
    while (received.size() < sizes.size() * kCount && slot->read(m, 20'000) == MailslotStatus::Ok)
      received.push_back(text(m));
  });
  std::map<std::string, std::string> failures;  // by tag; empty when the writer got through
  std::mutex answersMutex;
  std::vector<std::thread> drivers;
  for (const auto& [tag, size] : sizes) {
    drivers.emplace_back([&, tag = tag, size = size] {
      std::string failure;
      try {
        testing::PlatformChild writer;
        writer.mailslotOpen(kPrimary);
        writer.mailslotWriteSeries(kPrimary, tag, kCount, size);
      } catch (const testing::ChildError& e) {
        failure = e.what();
      }
      std::lock_guard hold(answersMutex);
      failures[tag] = failure;
    });
  }
  for (auto& d : drivers) d.join();
  reader.join();
  for (const auto& [tag, failure] : failures) EXPECT_EQ(failure, "") << tag;

  ASSERT_EQ(received.size(), sizes.size() * kCount);
  std::map<std::string, int> nextIndex;
  for (const auto& m : received) {
    const std::string tag = m.substr(0, 1);
    ASSERT_TRUE(sizes.count(tag)) << m.substr(0, 40);
    std::string expected = tag + ":" + std::to_string(nextIndex[tag]++) + ":";
    expected.resize(sizes.at(tag), tag[0]);
    ASSERT_EQ(m, expected);  // whole, unmixed, and in each writer's own order
  }
}

TEST(Mailslot, FourMebibyteMessageArrivesWhole) {
  constexpr std::size_t kSize = 4u << 20;
  auto slot = Mailslot::create(kPrimary);
  ASSERT_TRUE(slot);
  testing::PlatformChild writer;
  writer.mailslotOpen(kPrimary);
  writer.mailslotWriteBig(kPrimary, kSize);
  writer.mailslotWrite(kPrimary, "tail");

  EXPECT_EQ(slot->nextMessageSize(), kSize);
  std::vector<std::uint8_t> m;
  ASSERT_EQ(slot->read(m, 0), MailslotStatus::Ok);
  ASSERT_EQ(m.size(), kSize);
  for (std::size_t i = 0; i < kSize; ++i) {
    if (m[i] != static_cast<std::uint8_t>(i * 7 % 251)) FAIL() << "byte " << i << " differs";
  }
  ASSERT_EQ(slot->read(m, 0), MailslotStatus::Ok);
  EXPECT_EQ(text(m), "tail");
}

TEST(Mailslot, ReaderThreadsEachGetDistinctMessages) {
  auto slot = Mailslot::create(kPrimary);
  ASSERT_TRUE(slot);
  constexpr int kMessages = 400;
  std::mutex seenMutex;
  std::multiset<std::string> seen;
  std::atomic<int> done{0};
  auto readLoop = [&](std::stop_token stop) {
    std::vector<std::uint8_t> m;
    while (slot->read(m, kInfinite, stop) == MailslotStatus::Ok) {
      std::lock_guard hold(seenMutex);
      seen.insert(text(m));
      ++done;
    }
  };
  Thread first("reader1", readLoop), second("reader2", readLoop);
  auto w = openWriter(kPrimary);
  for (int i = 0; i < kMessages; ++i) ASSERT_EQ(writeText(w, "m" + std::to_string(i)), MailslotStatus::Ok);
  while (done.load() < kMessages) std::this_thread::yield();
  first.requestStop();
  second.requestStop();
  ASSERT_TRUE(first.joinFor(10'000));
  ASSERT_TRUE(second.joinFor(10'000));
  ASSERT_EQ(seen.size(), std::size_t(kMessages));
  for (int i = 0; i < kMessages; ++i) EXPECT_EQ(seen.count("m" + std::to_string(i)), 1u) << i;
}

TEST(Mailslot, ReadTimesOutOnTheScaledClockAndStopWakesIt) {
  setTimeScaleForTest(0.0001);  // the broker's 20-minute wait becomes 120 ms
  auto slot = Mailslot::create(kPrimary);
  ASSERT_TRUE(slot);
  char buf[8];
  std::size_t size = 0;
  EXPECT_EQ(slot->read(buf, sizeof buf, &size, 0), MailslotStatus::TimedOut);
  EXPECT_EQ(slot->read(buf, sizeof buf, &size, 1'200'000), MailslotStatus::TimedOut);
  setTimeScaleForTest(1.0);

  std::atomic<MailslotStatus> result{MailslotStatus::Ok};
  std::atomic<bool> entered{false};
  Thread blocked("blocked", [&](std::stop_token stop) {
    std::vector<std::uint8_t> m;
    entered = true;
    result = slot->read(m, kInfinite, stop);
  });
  while (!entered) std::this_thread::yield();
  blocked.requestStop();
  ASSERT_TRUE(blocked.joinFor(10'000));
  EXPECT_EQ(result.load(), MailslotStatus::Stopped);
}

TEST(Mailslot, WriteToAFullQueueWaitsBoundedThenGoesOn) {
  setTimeScaleForTest(0.001);
  auto slot = Mailslot::create(kPrimary);
  ASSERT_TRUE(slot);
  auto w = openWriter(kPrimary);
  int written = 0;
  MailslotStatus s;
  while ((s = writeText(w, "fill")) == MailslotStatus::Ok) {
    ASSERT_LT(++written, 100'000) << "the queue never filled";
  }
  EXPECT_EQ(s, MailslotStatus::TimedOut);
  std::vector<std::uint8_t> m;
  ASSERT_EQ(slot->read(m, 0), MailslotStatus::Ok);
  EXPECT_EQ(writeText(w, "room"), MailslotStatus::Ok);
  setTimeScaleForTest(1.0);
}

namespace {

// Raw datagrams straight to the mailslot's socket, as a faulty or hostile writer would send them.
class RawSender {
 public:
  explicit RawSender(const std::filesystem::path& socket) {
    fd_.reset(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, socket.c_str(), sizeof addr.sun_path - 1);
    EXPECT_EQ(::connect(fd_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  }
  void send(const std::string& bytes, int fd = -1) {
    iovec iov{const_cast<char*>(bytes.data()), bytes.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    if (fd >= 0) {
      msg.msg_control = control;
      msg.msg_controllen = sizeof control;
      cmsghdr* c = CMSG_FIRSTHDR(&msg);
      c->cmsg_level = SOL_SOCKET;
      c->cmsg_type = SCM_RIGHTS;
      c->cmsg_len = CMSG_LEN(sizeof(int));
      std::memcpy(CMSG_DATA(c), &fd, sizeof(int));
    }
    ASSERT_EQ(::sendmsg(fd_.get(), &msg, 0), static_cast<ssize_t>(bytes.size()));
  }

 private:
  UniqueFd fd_;
};

std::string header(char kind, std::uint64_t length) {
  std::string h = "WFMS";
  h += kind;
  h.append(3 + 8, '\0');
  storeLe64(h.data() + 8, length);
  return h;
}

// A memory file kept open in `owned` until the test ends.
int memoryFile(std::size_t size, bool sealed, std::vector<UniqueFd>& owned) {
  int fd = owned.emplace_back(::memfd_create("test", MFD_CLOEXEC | MFD_ALLOW_SEALING)).get();
  EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
  if (sealed) {
    EXPECT_EQ(::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE), 0);
  }
  return fd;
}

}  // namespace

TEST(Mailslot, MalformedDatagramsAreDroppedAndTraced) {
  std::vector<std::string> traced;
  std::mutex tracedMutex;
  setPlatformTraceSink([&](std::string_view line) {
    std::lock_guard hold(tracedMutex);
    traced.emplace_back(line);
  });
  auto slot = Mailslot::create(kPrimary);
  ASSERT_TRUE(slot);
  auto socket = mailslotSocketPath(kPrimary);
  ASSERT_TRUE(socket);
  RawSender raw(*socket);
  auto w = openWriter(kPrimary);

  int pipeFds[2];
  ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
  std::vector<UniqueFd> owned;
  owned.emplace_back(pipeFds[0]);
  owned.emplace_back(pipeFds[1]);
  constexpr std::uint64_t kBeyond = kMailslotMaxMessage + 1;
  struct Case {
    const char* what;
    std::string bytes;
    int fd;
  };
  const Case cases[] = {
      {"empty datagram", "", -1},
      {"shorter than a header", "WFMS\1", -1},
      {"bad magic", "XXXX" + header(1, 3).substr(4) + "abc", -1},
      {"inline length too long", header(1, 4) + "abc", -1},
      {"inline length too short", header(1, 2) + "abc", -1},
      {"inline length past any size", header(1, ~0ull), -1},
      {"inline beyond what a writer sends inline", header(1, 40'000) + std::string(40'000, 'x'), -1},
      {"unknown kind", header(9, 0), -1},
      {"inline with a descriptor", header(1, 0), memoryFile(0, true, owned)},
      {"file message without a file", header(2, 10), -1},
      {"file message with extra bytes", header(2, 10) + "x", memoryFile(10, true, owned)},
      {"unsealed file", header(2, 10), memoryFile(10, false, owned)},
      {"file of another size", header(2, 11), memoryFile(10, true, owned)},
      {"file beyond the largest message", header(2, kBeyond),
       memoryFile(kBeyond, true, owned)},  // sparse: costs nothing
      {"not a memory file", header(2, 0), pipeFds[0]},
  };
  std::vector<std::uint8_t> m;
  for (const auto& c : cases) {
    raw.send(c.bytes, c.fd);
    const std::string after = std::string("after ") + c.what;
    ASSERT_EQ(writeText(w, after), MailslotStatus::Ok);
    // Looking skips a malformed head just as reading does.
    EXPECT_EQ(slot->nextMessageSize(), after.size()) << c.what;
    ASSERT_EQ(slot->read(m, 0), MailslotStatus::Ok) << c.what;
    EXPECT_EQ(text(m), after);
  }
  EXPECT_EQ(slot->read(m, 0), MailslotStatus::TimedOut);
  setPlatformTraceSink({});
  ASSERT_EQ(traced.size(), std::size(cases));
  for (const auto& line : traced)
    EXPECT_NE(line.find("dropped a malformed message"), std::string::npos) << line;
}

}  // namespace wf
