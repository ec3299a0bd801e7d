#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/parallel_port.h"
#include "platform/runtime_dir.h"
#include "platform/thread.h"
#include "platform/unique_fd.h"
#include "test_dirs.h"

namespace wf {
namespace {

using namespace std::chrono_literals;
using portwire::FrameType;

UniqueFd listenOn(int port) {
  auto path = runtimePath(portwire::endpointName(port));
  std::filesystem::create_directories(path->parent_path());
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path->c_str(), sizeof addr.sun_path - 1);
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd.get(), 8) != 0)
    std::abort();
  return fd;
}

void sendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// A printer on one port endpoint, one client at a time, speaking the port wire.
class TinyPrinter {
 public:
  explicit TinyPrinter(int port, std::string deviceId = "MFG:Corvane;MDL:Vireo;",
                       FrameType greeting = FrameType::Welcome)
      : listen_(listenOn(port)),
        wake_(::eventfd(0, EFD_CLOEXEC)),
        deviceId_(std::move(deviceId)),
        greeting_(greeting) {
    thread_ = Thread("tiny-printer", [this](std::stop_token stop) { serve(stop); });
  }
  ~TinyPrinter() {
    thread_.requestStop();
    poke();
    thread_ = Thread();
  }

  void send(FrameType type, std::string_view payload = {}) {
    std::lock_guard lock(m_);
    if (client_) sendAll(client_.get(), portwire::encodeFrame(type, payload));
  }
  void setReading(bool on) {
    reading_ = on;
    poke();
  }
  void dropClient() {
    std::lock_guard lock(m_);
    ::shutdown(client_.get(), SHUT_RDWR);
  }
  std::string received() {
    std::lock_guard lock(m_);
    return received_;
  }
  int closes() {
    std::lock_guard lock(m_);
    return closes_;
  }
  // Waits (bounded, as a guard against hangs only) until `pred` holds under the printer's lock.
  template <class Pred>
  bool waitUntil(Pred pred) {
    std::unique_lock lock(m_);
    return cv_.wait_for(lock, 30s, pred);
  }

  std::string received_;
  int closes_ = 0;

 private:
  void poke() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wake_.get(), &one, sizeof one);
  }

  void serve(std::stop_token stop) {
    std::string in;
    while (!stop.stop_requested()) {
      pollfd fds[3] = {{wake_.get(), POLLIN, 0},
                       {client_.get(), short(reading_ ? POLLIN : 0), 0},
                       {listen_.get(), POLLIN, 0}};
      if (::poll(fds, 3, -1) < 0) continue;
      if (fds[0].revents) {
        std::uint64_t v;
        [[maybe_unused]] auto n = ::read(wake_.get(), &v, sizeof v);
      }
      if (client_ && fds[1].revents) {
        char buf[65536];
        ssize_t n = ::recv(client_.get(), buf, sizeof buf, 0);
        if (n <= 0) {
          endClient();
          in.clear();
        } else {
          in.append(buf, static_cast<std::size_t>(n));
          handle(in);
        }
      }
      if (fds[2].revents) {
        UniqueFd c(::accept4(listen_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        std::lock_guard lock(m_);
        if (client_) {
          sendAll(c.get(), portwire::encodeFrame(FrameType::Busy));
        } else {
          client_ = std::move(c);
          sendAll(client_.get(), portwire::encodeFrame(greeting_));
        }
      }
    }
  }

  void handle(std::string& in) {
    FrameType type;
    std::uint32_t length;
    while (portwire::decodeHeader(in, type, length) && in.size() >= portwire::kHeaderSize + length) {
      std::string payload = in.substr(portwire::kHeaderSize, length);
      in.erase(0, portwire::kHeaderSize + length);
      if (type == FrameType::Data) {
        std::lock_guard lock(m_);
        received_ += payload;
        cv_.notify_all();
      } else if (type == FrameType::DeviceIdRequest) {
        send(FrameType::DeviceId, deviceId_);
      } else if (type == FrameType::Close) {
        endClient();
        in.clear();
        return;
      }
    }
  }

  void endClient() {
    std::lock_guard lock(m_);
    client_.reset();
    ++closes_;
    cv_.notify_all();
  }

  const UniqueFd listen_;
  const UniqueFd wake_;
  const std::string deviceId_;
  const FrameType greeting_;
  std::atomic<bool> reading_{true};
  std::mutex m_;
  std::condition_variable cv_;
  UniqueFd client_;
  Thread thread_;
};

std::unique_ptr<ParallelPort> open(std::string_view name) {
  PortOpen o = openParallelPort(name);
  EXPECT_EQ(o.error, PortError::None) << name;
  return std::move(o.port);
}

// Stops a read that would otherwise hang, so a broken time-out fails instead of blocking.
class Watchdog {
 public:
  Watchdog()
      : thread_([this] {
          std::unique_lock lock(m_);
          if (!cv_.wait_for(lock, 30s, [&] { return done_; })) stop_.request_stop();
        }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(m_);
      done_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  std::stop_token token() { return stop_.get_token(); }

 private:
  std::stop_source stop_;
  std::mutex m_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread thread_;
};

// Every wait of a test runs at its own scale; the next test starts unscaled.
struct ScaledTime {
  explicit ScaledTime(double factor) { setTimeScaleForTest(factor); }
  ~ScaledTime() { setTimeScaleForTest(1.0); }
};

std::string readSome(ParallelPort& port, std::size_t n, PortError expected = PortError::None) {
  Watchdog guard;
  std::string buf(n, '\0');
  PortRead r = port.read(buf, guard.token());
  EXPECT_EQ(r.error, expected);
  buf.resize(r.bytes);
  return buf;
}

}  // namespace

TEST(ParallelPortName, AcceptsLpt1To9WithOptionalColonInAnyCase) {
  struct Case {
    const char* name;
    int number;
  };
  for (auto c : {Case{"LPT1", 1}, Case{"lpt9:", 9}, Case{"LpT3:", 3}, Case{"LPT0", 0}, Case{"LPT10", 0},
                 Case{"COM1", 0}, Case{"LPT", 0}, Case{"LPT1::", 0}, Case{"XPT1", 0}})
    EXPECT_EQ(parallelPortNumber(c.name), c.number) << c.name;
}

TEST(ParallelPortOpen, NotFoundInUseAndOtherFailuresAreDistinct) {
  EXPECT_EQ(openParallelPort("LPT1").error, PortError::FileNotFound);  // no endpoint
  EXPECT_EQ(openParallelPort("LPT0").error, PortError::FileNotFound);
  {
    listenOn(2);  // an endpoint nobody serves any more
    EXPECT_EQ(openParallelPort("LPT2").error, PortError::FileNotFound);
  }
  TinyPrinter printer(3);
  auto first = open("lpt3:");
  ASSERT_TRUE(first);
  PortOpen second = openParallelPort("LPT3");
  EXPECT_EQ(second.error, PortError::AccessDenied);
  EXPECT_FALSE(second.port);
  first.reset();
  EXPECT_TRUE(open("LPT3")) << "closing gives the port back";

  TinyPrinter confused(4, "", FrameType::DeviceId);  // answers a connect with nonsense
  EXPECT_EQ(openParallelPort("LPT4").error, PortError::GenFailure);
}

TEST(ParallelPortDeviceId, ComesOutOfBandWithoutLengthPrefix) {
  TinyPrinter printer(1, "MFG:Corvane;CMD:PJL;MDL:Pagecrest II;");
  auto port = open("LPT1");
  printer.send(FrameType::Data, "abc");
  char id[4096];
  std::size_t got = 0;
  EXPECT_EQ(port->deviceControl(kDeviceControlGetDeviceId, {}, id, got), PortError::None);
  EXPECT_EQ(std::string(id, got), "MFG:Corvane;CMD:PJL;MDL:Pagecrest II;");
  EXPECT_EQ(readSome(*port, 3), "abc") << "print-side data is not mixed with the ID";

  char small[11];
  EXPECT_EQ(port->deviceControl(kDeviceControlGetDeviceId, {}, small, got), PortError::MoreData);
  EXPECT_EQ(std::string(small, got), "MFG:Corvane");
  EXPECT_EQ(port->deviceControl(9, {}, id, got), PortError::InvalidFunction);
  EXPECT_EQ(got, 0u);
}

TEST(ParallelPortRead, IntervalEndsAShortReadOnlyAfterTheFirstByte) {
  TinyPrinter printer(1);
  auto port = open("LPT1");
  ScaledTime scale(0.1);
  port->setTimeouts({.readIntervalTimeout = 50});
  EXPECT_EQ(port->timeouts().readIntervalTimeout, 50u);
  std::string got;
  Thread reader("reader", [&](std::stop_token) { got = readSome(*port, 10); });
  std::this_thread::sleep_for(20ms);  // no total budget: the read must still be waiting
  printer.send(FrameType::Data, "abc");
  ASSERT_TRUE(reader.joinFor(kInfinite));
  EXPECT_EQ(got, "abc");
}

TEST(ParallelPortRead, ShortGapsWithinTheBudgetDoNotEndTheRead) {
  TinyPrinter printer(1);
  auto port = open("LPT1");
  ScaledTime scale(1000.0);  // every budget below lasts far longer than the test
  for (CommTimeouts t :
       {CommTimeouts{.readIntervalTimeout = 50}, CommTimeouts{.readTotalTimeoutConstant = 50},
        CommTimeouts{.readTotalTimeoutMultiplier = 10}}) {
    port->setTimeouts(t);
    std::string got;
    Thread reader("reader", [&](std::stop_token) { got = readSome(*port, 7); });
    printer.send(FrameType::Data, "abc");
    std::this_thread::sleep_for(20ms);
    printer.send(FrameType::Data, "defg");
    ASSERT_TRUE(reader.joinFor(kInfinite));
    EXPECT_EQ(got, "abcdefg");
  }
}

TEST(ParallelPortRead, TotalBudgetEndsWithWhatArrivedAndNoError) {
  TinyPrinter printer(1);
  auto port = open("LPT1");
  ScaledTime scale(0.01);
  struct Case {
    std::uint32_t interval, multiplier, constant;
  };
  for (auto c :
       {Case{0, 0, 100}, Case{0, 25, 0}, Case{0, 10, 60}, Case{50, 5, 1000}, Case{kInfinite, 0, 0}}) {
    // Two bytes in one frame: once the first is read, the second is known to be waiting.
    port->setTimeouts({});
    printer.send(FrameType::Data, "xy");
    EXPECT_EQ(readSome(*port, 1), "x");
    port->setTimeouts({c.interval, c.multiplier, c.constant, 0, 0});
    EXPECT_EQ(readSome(*port, 4), "y") << c.multiplier << " " << c.constant;
    EXPECT_EQ(readSome(*port, 4), "") << "nothing at all is still no error";
  }
}

TEST(ParallelPortRead, StopRequestCancelsABlockedRead) {
  TinyPrinter printer(1);
  auto port = open("LPT1");
  PortRead result{99, PortError::None};
  std::atomic<bool> started{false};
  Thread reader("reader", [&](std::stop_token stop) {
    char buf[8];
    started = true;
    result = port->read(buf, stop);  // no time-outs: waits for all 8 bytes
  });
  while (!started) std::this_thread::yield();
  reader.requestStop();
  ASSERT_TRUE(reader.joinFor(kInfinite));
  EXPECT_EQ(result.error, PortError::OperationAborted);
  EXPECT_EQ(result.bytes, 0u);
  printer.send(FrameType::Data, "still");
  EXPECT_EQ(readSome(*port, 5), "still") << "the port stays usable";
}

TEST(ParallelPortWrite, PrinterErrorStatesClassifyWriteFailures) {
  TinyPrinter printer(1);
  auto port = open("LPT1");
  auto settle = [&] {  // frames are handled in order: once this is read, the state before it is known
    printer.send(FrameType::Data, "!");
    EXPECT_EQ(readSome(*port, 1), "!");
  };
  struct Case {
    std::uint8_t state;
    WriteErrorClass expected;
  };
  for (auto c : {Case{1, WriteErrorClass::OutOfPaper}, Case{2, WriteErrorClass::NotSelected},
                 Case{3, WriteErrorClass::Break}, Case{4, WriteErrorClass::IoError},
                 Case{5, WriteErrorClass::TimedOut}, Case{6, WriteErrorClass::Other},
                 Case{77, WriteErrorClass::Other}}) {
    printer.send(FrameType::ErrorState, std::string(1, static_cast<char>(c.state)));
    settle();
    PortWrite w = port->write("page");
    EXPECT_EQ(w.error, c.expected) << int(c.state);
    EXPECT_EQ(w.written, 0u);
    printer.send(FrameType::ErrorState, std::string(1, '\0'));
    settle();
    EXPECT_EQ(port->write("ok").error, WriteErrorClass::None);
  }
  EXPECT_TRUE(printer.waitUntil([&] { return printer.received_.size() == 14; }));
  EXPECT_EQ(printer.received(), "okokokokokokok");
}

TEST(ParallelPortWrite, LostPrinterFailsReadsAndWrites) {
  TinyPrinter printer(1);
  auto port = open("LPT1");
  printer.dropClient();
  EXPECT_EQ(readSome(*port, 4, PortError::GenFailure), "");
  EXPECT_EQ(port->write("data").error, WriteErrorClass::IoError);
  char id[64];
  std::size_t got;
  EXPECT_EQ(port->deviceControl(kDeviceControlGetDeviceId, {}, id, got), PortError::GenFailure);
}

TEST(ParallelPortWrite, TimeOutReturnsTheBytesThatWentOut) {
  TinyPrinter printer(1);
  auto port = open("LPT1");
  printer.setReading(false);
  ScaledTime scale(0.1);
  port->setTimeouts({.writeTotalTimeoutMultiplier = 0, .writeTotalTimeoutConstant = 1000});
  const std::string job(8 << 20, 'P');  // far more than the socket holds
  PortWrite w = port->write(job);
  EXPECT_EQ(w.error, WriteErrorClass::TimedOut);
  EXPECT_GT(w.written, 0u);
  EXPECT_LT(w.written, job.size());

  printer.setReading(true);
  port->setTimeouts({});
  EXPECT_EQ(port->write("END").written, 3u) << "a frame cut by the time-out is finished first";
  port.reset();
  ASSERT_TRUE(printer.waitUntil([&] { return printer.closes_ == 1; }));
  EXPECT_EQ(printer.received(), job.substr(0, w.written) + "END")
      << "reported count matches what the printer got";
}

TEST(ParallelPortDevice, ConfiguredDeviceReplacesTheEndpoint) {
  const auto device = testing::testDataRoot() / "lp0";
  std::filesystem::create_directories(device.parent_path());
  std::ofstream(device).put('\0').flush();
  std::filesystem::resize_file(device, 0);
  ::setenv("WRENFIELD_LPT2", device.c_str(), 1);
  ::setenv("WRENFIELD_LPT5", (testing::testDataRoot() / "missing").c_str(), 1);
  EXPECT_EQ(openParallelPort("LPT5").error, PortError::FileNotFound);

  auto port = open("LPT2");
  ASSERT_TRUE(port);
  EXPECT_EQ(openParallelPort("lpt2:").error, PortError::AccessDenied);
  EXPECT_EQ(port->write("hello").error, WriteErrorClass::None);
  char id[16];
  std::size_t got;
  EXPECT_EQ(port->deviceControl(kDeviceControlGetDeviceId, {}, id, got), PortError::InvalidFunction)
      << "a plain file has no device ID";
  ScaledTime scale(0.01);
  port->setTimeouts({.readTotalTimeoutConstant = 100});
  EXPECT_EQ(readSome(*port, 4), "") << "a device with nothing to say reads short after the budget";
  port.reset();
  std::ifstream in(device);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "hello");
  ::unsetenv("WRENFIELD_LPT2");
  ::unsetenv("WRENFIELD_LPT5");
}

}  // namespace wf
