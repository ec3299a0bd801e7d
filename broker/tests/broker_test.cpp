// The broker across real processes: election of the primary, the application
// registry, and every request carried through the mail channel to its worker.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "broker/corbce.h"
#include "child/broker_child.h"
#include "child_process.h"
#include "mail.h"
#include "mail_protocol.h"
#include "platform/clock.h"
#include "platform/mailslot.h"
#include "platform/module.h"
#include "request_dispatch.h"

using wf::testing::BrokerChild;
using wf::testing::BusyEnumeration;
using wf::testing::ChildProcess;
using wf::testing::ConcurrentCalls;
using wf::testing::eventually;
using wf::testing::ExportCall;
using wf::testing::TraceCalls;
using wf::testing::valueUntil;

namespace {

class Broker : public ::testing::Test {
 protected:
  void SetUp() override {
    // Two minutes become 1.2 s, the 30 write retries 0.3 s, the purge time 0.1 s.
    ::setenv("WRENFIELD_TIME_SCALE", "0.01", 1);
    ::setenv("WRENFIELD_MODULE_PATH", (wf::moduleDirectory() / "mock-transports").c_str(), 1);
  }
  std::unique_ptr<BrokerChild> start() { return std::make_unique<BrokerChild>(); }

  // A primary with echo workers, registered as 0, and one secondary registered as 1.
  void startPair() {
    primary = start();
    ASSERT_TRUE(primary->isPrimary());
    primary->useEchoWorkers();
    ASSERT_EQ(primary->registerApp(), 0);
    secondary = start();
    ASSERT_FALSE(secondary->isPrimary());
    ASSERT_EQ(secondary->registerApp(), 1);
  }

  std::unique_ptr<BrokerChild> primary, secondary;
};

TEST_F(Broker, FirstProcessIsPrimaryAndSecondRegistersThroughTheMailChannel) {
  startPair();
  EXPECT_EQ(primary->dispatchers(), 5);  // four at start, one more per registration
  // Registering again answers the same id without a request.
  EXPECT_EQ(secondary->registerApp(), 1);
  EXPECT_EQ(primary->dispatchers(), 5);
  EXPECT_EQ(primary->registerApp(), 0);
}

TEST_F(Broker, SeventeenthApplicationFindsNoSlotAndDispatchersStopAtSixteen) {
  startPair();
  std::vector<std::unique_ptr<BrokerChild>> others;
  for (int id = 2; id < BCE_MAX_APPS; ++id) {
    others.push_back(start());
    ASSERT_EQ(others.back()->registerApp(), id);
  }
  EXPECT_EQ(primary->dispatchers(), 16);
  auto seventeenth = start();
  EXPECT_EQ(seventeenth->registerApp(), BCE_ERR_NO_APP_SLOT);
  EXPECT_EQ(seventeenth->call("open"), ExportCall{BCE_ERR_NOT_REGISTERED});
}

TEST_F(Broker, CallsOfAnUnregisteredOrForeignIdAnswerMinus13AndChangeNothing) {
  startPair();
  const std::uint32_t slot0 = primary->slot(0);
  const std::uint32_t slot1 = primary->slot(1);
  // The secondary tries to act as the primary's application.
  secondary->unregisterApp(0);
  EXPECT_EQ(primary->slot(0), slot0);
  EXPECT_EQ(primary->slot(1), slot1);
  EXPECT_EQ(primary->shutdownCalls(), 0);

  auto unregistered = start();
  for (const char* call : {"open", "bidi", "prtinfo", "nets", "startdoc", "version", "admin"}) {
    EXPECT_EQ(unregistered->call(call).result, BCE_ERR_NOT_REGISTERED) << call;
  }
  EXPECT_EQ(primary->primaryLog(), std::vector<std::string>{});
}

TEST_F(Broker, TrivialExportsAnswerTheirFixedValues) {
  startPair();
  for (auto* p : {primary.get(), secondary.get()}) {
    EXPECT_EQ(p->call("enumqueues"), ExportCall{BCE_OK});
    EXPECT_EQ(p->call("queueadmin"), ExportCall{BCE_OK});
  }
  auto plain = start();
  ASSERT_EQ(plain->registerApp(), 2);
  EXPECT_EQ(plain->call("admin"), ExportCall{11});  // the echo worker's answer, so it went through
}

// Each call's answer is made by the primary's echo worker from the arguments
// the secondary gave, so a field lost or moved in packing shows here.
TEST_F(Broker, EveryRequestReachesItsWorkerIntactAndItsResultsComeBack) {
  startPair();
  const std::pair<const char*, ExportCall> cases[] = {
      {"enum-printers", {1007, {{"items", "101:P0-8000001f,102:P1-8000001f,103:P2-8000001f,null"}}}},
      {"enum-specific", {67584, {{"items", "41:LPT3:"}}}},
      {"enum-port", {260, {{"items", "4:PORTDESC-0123456789"}}}},
      {"open", ExportCall{10173}},
      {"close", ExportCall{10013}},
      {"capture", ExportCall{16866744}},  // 0x10801 + 0x55AA + 12 + 0x1000000 + 1
      {"release", ExportCall{1121}},
      {"version", {0, {{"v5", "105 Desc 5 F5.DLL"}}}},
      {"version-ex", {0, {{"v3", "30002.30004 G3.DLL"}}}},
      {"write", {1116141, {{"len", "13"}}}},
      {"bidi", {101702, {{"len", "8"}, {"reply", "R:REQ:16"}}}},
      {"bidi-short", {101702, {{"len", "4"}, {"reply", "R:RE"}}}},
      {"prtinfo", {0, {{"handle", "21"}, {"flags", "17"}, {"conn", "8800"}, {"name", "INFO"}}}},
      {"names", {0, {{"name", "N101-4"}, {"second", "79"}}}},
      {"query", {101011, {{"len", "8"}, {"data", "ALERT-12"}}}},
      {"query-length", {15, {{"len", "0"}, {"data", ""}}}},
      {"admin", ExportCall{11}},
      {"nets", {0, {{"mask", "1f"}}}},
      {"address", {2064, {{"peer", "PEER101"}, {"local", "LPT1:"}}}},
      {"netinfo", {65539, {{"len", "10"}, {"data", "OUT7:INPUT"}}}},
      {"netinfo-items", {4660, {{"items", "item0,item1,item2"}}}},
      {"setnetinfo", ExportCall{505071}},
      {"holdport", ExportCall{10413}},
      {"devctl", {1012, {{"returned", "11"}, {"out", "DEVID:IN:17"}}}},
  };
  for (const auto& [call, expected] : cases) EXPECT_EQ(secondary->call(call), expected) << call;
  // In the primary the same exports run the workers directly, as application 0.
  EXPECT_EQ(primary->call("open"), ExportCall{173});
  EXPECT_EQ(primary->call("bidi"), (ExportCall{1702, {{"len", "8"}, {"reply", "R:REQ:16"}}}));
}

TEST_F(Broker, RequestsWithoutReplyReachTheirWorkers) {
  startPair();
  for (const char* call : {"startdoc", "enddoc", "starttrace", "stoptrace"})
    EXPECT_EQ(secondary->call(call), ExportCall{BCE_OK}) << call;
  // Dispatchers run them in parallel: their order in the primary is free.
  const std::vector<std::string> expected = {"enddoc 13 2048", "startdoc 13 2048 77",
                                             "starttrace c:\\bce.log 3", "stoptrace"};
  std::vector<std::string> seen;
  eventually([&] {
    seen = primary->primaryLog();
    return seen.size() >= expected.size();
  });
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, expected);
}

TEST_F(Broker, ATraceFileNameLongerThanItsFieldIsCutAndTheCallAnswersZero) {
  startPair();
  EXPECT_EQ(secondary->call("starttrace-long"), ExportCall{BCE_OK});
  const std::vector<std::string> want = {"starttrace " + std::string(BCE_NAME_LENGTH - 1, 'L') + " 4"};
  EXPECT_EQ(valueUntil([&] { return primary->primaryLog(); }, want), want);
}

// The trace file is made owner-only and never written through a link.
TEST_F(Broker, TheTraceFileIsOwnerOnlyAndNeverFollowsALink) {
  auto primary = start();
  ASSERT_EQ(primary->registerApp(), 0);
  const std::filesystem::path dir = std::string(::getenv("WRENFIELD_ROOT"));
  std::filesystem::create_directories(dir);
  const auto file = dir / "bce.log", link = dir / "link.log", target = dir / "target.log";
  EXPECT_EQ(primary->traceTo(file.string()), (TraceCalls{0, 0}));
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::filesystem::create_symlink(target, link);
  EXPECT_EQ(primary->traceTo(link.string()), (TraceCalls{0, 0}));  // always 0, as the export is
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(Broker, ConcurrentCallersOfTwoSecondariesEachGetTheirOwnReplies) {
  startPair();
  auto third = start();
  ASSERT_EQ(third->registerApp(), 2);
  // Both secondaries run at once: the second command goes out before the first answer is read.
  const ConcurrentCalls a = secondary->concurrent(6, 15);
  const ConcurrentCalls b = third->concurrent(6, 15);
  EXPECT_EQ(a, (ConcurrentCalls{0, 90}));
  EXPECT_EQ(b, (ConcurrentCalls{0, 90}));
  EXPECT_EQ(secondary->outstanding(), 0);
}

TEST_F(Broker, StreamedItemsReachASlowCallbackOnceAndInOrderWhileOtherThreadsCall) {
  startPair();
  EXPECT_EQ(secondary->enumerateBusy(40, 2), (BusyEnumeration{BCE_OK, 40, true, 0, true}));
  EXPECT_EQ(secondary->enumerateBusy(25, 6), (BusyEnumeration{BCE_OK, 25, true, 0, true}));
  EXPECT_EQ(secondary->outstanding(), 0);
}

TEST_F(Broker, StreamedItemsArriveBeforeTheFinalReplyAndCanStopTheEnumeration) {
  startPair();
  // The worker answers 100 only after the caller's callback, run for the first
  // item, has raised the shared stop flag.
  const ExportCall answer = secondary->call("enum-stop");
  EXPECT_EQ(answer.result, 100) << answer;
}

TEST_F(Broker, AReplyNobodyWaitsForIsPurgedAndTheNextCallGetsItsOwn) {
  startPair();
  secondary->captureTrace();
  EXPECT_EQ(secondary->call("open-late"), ExportCall{BCE_FAIL});  // gave up before the worker answered
  wf::sleepFor(250'000);                                          // the late reply is in the mailslot now
  EXPECT_EQ(secondary->call("open"), ExportCall{10173});          // its own, beside the stale one
  EXPECT_EQ(secondary->traceCount("Message ID"), 0);
  wf::sleepFor(20'000);  // twice the purge time
  EXPECT_EQ(secondary->call("open"), ExportCall{10173});
  EXPECT_EQ(secondary->traceCount("Message ID"), 1);
  EXPECT_EQ(secondary->outstanding(), 0);
}

// A flood of items for a serial nobody waits for, written while a call of
// the secondary waits: what is held stays bounded, the rest is dropped with
// a trace line, and the secondary goes on answering.
TEST_F(Broker, AFloodOfRepliesForNobodyIsBoundedAndTheSecondaryGoesOn) {
  ::setenv("WRENFIELD_TIME_SCALE", "0.05", 1);  // the waiting call reads for six seconds
  startPair();
  secondary->captureTrace();
  ExportCall answer;
  std::thread waiting([&] { answer = secondary->call("open-late", 60000); });
  auto flood = wf::MailslotWriter::open(wf::bce::appMailslotName(1));
  ASSERT_TRUE(flood);
  PRTINFO item{};
  for (int i = 0; i < 5000; ++i) {
    const auto m = wf::bce::encodeMail({0, 0xF0F0, 0x4003, 0, 0},
                                       std::span(reinterpret_cast<const std::uint8_t*>(&item), sizeof item));
    ASSERT_EQ(flood->write(m.data(), m.size()), wf::MailslotStatus::Ok) << i;
  }
  waiting.join();
  EXPECT_EQ(answer,
            ExportCall{BCE_FAIL});  // its worker answers only after the caller gave up, as this call means to
  EXPECT_LE(secondary->heldReplies(), 4096);
  EXPECT_NE(secondary->traceCount("Dropped reply"), 0);
  EXPECT_EQ(secondary->call("open"), ExportCall{10173});
}

TEST_F(Broker, AfterThePrimaryDiesCallsFailAndNoNewPrimaryIsElectedUntilAllHaveGone) {
  startPair();
  primary->process().kill(SIGKILL);
  EXPECT_EQ(secondary->call("open"), ExportCall{BCE_FAIL});
  EXPECT_EQ(secondary->call("startdoc"), ExportCall{BCE_FAIL});
  EXPECT_EQ(secondary->outstanding(), 0);  // once up and once down, however many retries
  auto late = start();
  EXPECT_FALSE(late->isPrimary());
  EXPECT_EQ(late->registerApp(), BCE_ERR_NO_APP_SLOT);
  secondary->process().kill(SIGKILL);
  late->process().kill(SIGKILL);
  auto next = start();
  EXPECT_TRUE(next->isPrimary());
  EXPECT_EQ(next->registerApp(), 0);
}

// Secondaries learn that their primary went without calling; one that
// registers again takes its place, and the others (and later processes)
// register with the new primary and reach its workers.
TEST_F(Broker, ASecondaryThatSawItsPrimaryGoTakesItsPlaceWhenItRegistersAgain) {
  using Posted = std::vector<wf::testing::PostedMessage>;
  const Posted told = {{WM_BCE_PRIMARY_GONE, 0, 0}};
  for (bool killed : {true, false}) {
    SCOPED_TRACE(killed ? "killed" : "ended");
    startPair();
    auto third = start();
    ASSERT_EQ(third->registerApp(), 2);
    if (killed)
      primary->process().kill(SIGKILL);
    else
      primary->quit();
    EXPECT_EQ(wf::testing::valueUntil([&] { return secondary->messages(); }, told), told);
    EXPECT_EQ(wf::testing::valueUntil([&] { return third->messages(); }, told), told);
    EXPECT_EQ(third->call("open"), ExportCall{BCE_FAIL});

    secondary->unregisterApp();
    EXPECT_EQ(secondary->registerApp(), 0);
    EXPECT_TRUE(secondary->isPrimary());
    secondary->useEchoWorkers();
    third->unregisterApp();
    EXPECT_EQ(third->registerApp(), 1) << "the slots the two gave back are free again";
    EXPECT_FALSE(third->isPrimary());
    EXPECT_EQ(third->call("open"), ExportCall{10173});
    auto late = start();
    EXPECT_FALSE(late->isPrimary());
    EXPECT_EQ(late->registerApp(), 2);
    EXPECT_EQ(late->call("open"), ExportCall{20173});
    EXPECT_EQ(late->messages(), Posted{});
    primary.reset();
    secondary.reset();
  }
}

// Unscaled, a call left waiting would wait two minutes: the end of the
// primary, killed or ending normally, answers it with 1 at once instead.
TEST_F(Broker, CallsWaitingWhenThePrimaryEndsAnswerOneAtOnce) {
  ::setenv("WRENFIELD_TIME_SCALE", "1", 1);
  for (bool killed : {true, false}) {
    startPair();
    auto third = start();
    ASSERT_EQ(third->registerApp(), 2);
    ExportCall answers[2];
    std::thread waiting[2];
    BrokerChild* callers[2] = {secondary.get(), third.get()};
    for (int i = 0; i < 2; ++i)
      waiting[i] = std::thread([&, i] { answers[i] = callers[i]->call("open-late", 60000); });
    const std::vector<std::string> bothWaiting = {"open-late", "open-late"};
    valueUntil([&] { return primary->primaryLog(); }, bothWaiting);
    if (killed) {
      primary->process().kill(SIGKILL);
    } else {
      primary->quit();
    }
    for (auto& t : waiting) t.join();
    EXPECT_EQ(answers[0], ExportCall{BCE_FAIL}) << (killed ? "killed" : "ended");
    EXPECT_EQ(answers[1], ExportCall{BCE_FAIL}) << (killed ? "killed" : "ended");
    EXPECT_EQ(secondary->call("admin"), ExportCall{BCE_FAIL});
    EXPECT_EQ(secondary->outstanding(), 0);
    primary.reset();
    secondary.reset();
  }
}

TEST_F(Broker, TransportsShutDownWhenThePrimaryOrTheLastApplicationUnregisters) {
  startPair();
  auto third = start();
  ASSERT_EQ(third->registerApp(), 2);
  // Request 2 has no reply: wait until the primary has handled it.
  // Every transport loads; CORCL32's shutdown is exported as "NetShutdown", which is never bound.
  ASSERT_EQ(primary->loadTransports(), 0x1Fu);
  third->unregisterApp();
  EXPECT_EQ(valueUntil([&] { return primary->slot(2); }, 0u), 0u);
  EXPECT_EQ(primary->shutdownCalls(), 0);
  primary->unregisterApp();  // the primary's own application, with a secondary still registered
  EXPECT_EQ(primary->shutdownCalls(), 4);
  secondary->unregisterApp();  // the last one, while slot 0 is free
  EXPECT_EQ(valueUntil([&] { return primary->shutdownCalls(); }, 8), 8);
  EXPECT_EQ(primary->mockLog("corcl32").find("NetShutdown"), std::string::npos);
}

TEST_F(Broker, ProcessesThatEndNormallyUnregisterAndTheIdleDispatchersShrink) {
  startPair();
  std::vector<std::unique_ptr<BrokerChild>> others;
  for (int id = 2; id <= 3; ++id) {
    others.push_back(start());
    ASSERT_EQ(others.back()->registerApp(), id);
  }
  EXPECT_EQ(primary->dispatchers(), 7);
  for (auto& other : others) {
    other->quit();
    EXPECT_EQ(other->process().waitExit(), 0);
  }
  EXPECT_EQ(valueUntil([&] { return primary->slot(3); }, 0u), 0u);
  // Two applications left: idle dispatchers end down to four more than that.
  EXPECT_EQ(valueUntil([&] { return primary->dispatchers(); }, 6), 6);
  EXPECT_EQ(secondary->call("open"), ExportCall{10173});
  secondary->quit();
  EXPECT_EQ(secondary->process().waitExit(), 0);
  primary->quit();
  EXPECT_EQ(primary->process().waitExit(), 0);
}

// However a process that is still registered ends, it ends cleanly, its
// transports are not called while the broker unloads, and it leaves nothing
// that keeps the next process from becoming the primary.
TEST_F(Broker, ProcessesThatEndWhileRegisteredExitCleanlyInEveryOrder) {
  const std::string shutdowns = std::string(::getenv("WRENFIELD_RUNTIME_DIR")) + "/../shutdowns.log";
  ::setenv("WF_MOCK_SHUTDOWN_LOG", shutdowns.c_str(), 1);
  for (const char* program : {"wf-bceexit-linked", "wf-bceexit-loaded"})
    for (bool asPrimary : {true, false})
      for (const char* lock : {"none", "main", "thread"})
        for (const char* end : {"return", "exit", "wait"}) {
          const std::string what =
              std::string(program) + (asPrimary ? " primary " : " secondary ") + lock + " " + end;
          std::unique_ptr<BrokerChild> other;
          if (!asPrimary) {
            other = start();
            ASSERT_EQ(other->registerApp(), 0) << what;
          }
          ::setenv("WF_EXIT_PLAN", (std::string(lock) + " " + end).c_str(), 1);
          ChildProcess exiting(program);
          EXPECT_EQ(exiting.ask("go").number(), asPrimary ? 0 : 1) << what;
          if (std::string(end) == "wait") {
            exiting.kill(SIGKILL);
            EXPECT_TRUE(WIFSIGNALED(exiting.waitExit())) << what;
          } else {
            const int status = exiting.waitExit();
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << what << ": status " << status;
            if (other) {
              EXPECT_EQ(valueUntil([&] { return other->slot(1); }, 0u), 0u) << what;
            }
          }
          other.reset();
          auto next = start();
          EXPECT_TRUE(next->isPrimary()) << what;
        }
  EXPECT_FALSE(std::filesystem::exists(shutdowns));
}

// The library shows its export table and the port monitor's two calls;
// nothing of its internals can be reached from outside.
TEST(BrokerLibrary, ShowsItsExportsAndNothingElse) {
  const std::string command = "nm -D --defined-only " + (wf::moduleDirectory() / "libcorbce.so").string();
  std::unique_ptr<FILE, int (*)(FILE*)> nm(::popen(command.c_str(), "r"), ::pclose);
  ASSERT_TRUE(nm);
  std::set<std::string> shown;
  char line[4096];
  while (std::fgets(line, sizeof line, nm.get())) {
    std::istringstream words(line);
    std::string address, kind, name;
    words >> address >> kind >> name;
    if (!name.empty()) shown.insert(name);
  }
  std::set<std::string> expected = {
      "wfModuleAttach", "wfModuleDetach",
      "_ZN2wf3bce15requestHoldPortESt17basic_string_viewIcSt11char_traitsIcEES4_",
      "_ZN2wf3bce24requestPortDeviceControlEjjjPKvjPvjPj"};
  for (const char* name :
       {"CaptureAlerts",    "Close",       "EndDoc",        "EnumPrinters",   "EnumSpecific",
        "EnumSpecificPort", "GetNetInfo",  "GetNets",       "GetPrinterAddr", "GetPrinterName",
        "GetPrtInfo",       "GetVersion",  "GetVersionEx",  "IsUserAdmin",    "Open",
        "QueryAlerts",      "RegisterApp", "ReleaseAlerts", "SendBidi",       "SetNetInfo",
        "StartDoc",         "StartTrace",  "StopTrace",     "UnregisterApp",  "Write"}) {
    expected.insert(std::string("Bce") + name);
    expected.insert(std::string("Bce") + name + "MF");
  }
  expected.insert("BceEnumQueues");
  expected.insert("BceIsUserQueueAdmin");
  EXPECT_EQ(shown, expected);
}

wf::bce::Bytes bytesOf(std::string_view s) {
  return {s.begin(), s.end()};
}

// A well-formed request of `kind` from application `sender`: its record
// filled with a pattern (the application id first where it names one), then
// what follows it.
wf::bce::Bytes wellFormed(const wf::bce::RequestKind& kind, std::uint16_t sender) {
  using wf::bce::Trailing;
  wf::bce::Bytes record(kind.recordSize);
  for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<std::uint8_t>(i * 7 + kind.code);
  if (kind.fromNamedApp) record[0] = static_cast<std::uint8_t>(sender), record[1] = 0;
  const std::string_view recordText(reinterpret_cast<const char*>(record.data()), record.size());
  wf::ByteWriter w;
  if (kind.trailing == Trailing::Counted) {
    const std::uint32_t count =
        kind.code == BCE_REQ_NET_INFO ? 0 : 5;  // network information: input within its buffer
    for (std::size_t i = 0; i < kind.countSize; ++i)
      record[kind.countOffset + i] = static_cast<std::uint8_t>(count >> (8 * i));
    w.bytes(recordText).bytes(std::string_view("TRAIL", count));
  } else if (kind.trailing == Trailing::Names) {
    return bytesOf(wf::bce::packNames("LPT2", "Spool printer"));
  } else {
    w.bytes(recordText);
  }
  return bytesOf(w.str());
}

// The protocol table walked whole: what the client side packs the primary
// side unpacks to the same values, and a request cut short anywhere, or one
// byte too long, is refused.
TEST(MailProtocol, EveryRequestRoundTripsAndEveryCutIsRefused) {
  EXPECT_TRUE(wf::bce::dispatchesEveryRequest());
  for (const wf::bce::RequestKind& kind : wf::bce::requestKinds()) {
    const wf::bce::Bytes data = wellFormed(kind, 5);
    const auto unpacked = wf::bce::unpackRequest(kind, data, 5);
    ASSERT_TRUE(unpacked) << kind.worker;
    EXPECT_TRUE(std::equal(unpacked->record.begin(), unpacked->record.end(), data.begin())) << kind.worker;
    if (kind.trailing == wf::bce::Trailing::Counted) {
      const std::string trailing(unpacked->trailing.begin(), unpacked->trailing.end());
      EXPECT_EQ(trailing, kind.code == BCE_REQ_NET_INFO ? "" : "TRAIL") << kind.worker;
    }
    if (kind.trailing == wf::bce::Trailing::Names) {
      EXPECT_EQ(unpacked->names[0], "LPT2");
      EXPECT_EQ(unpacked->names[1], "Spool printer");
    }
    for (std::size_t n = 0; n < data.size(); ++n)
      EXPECT_FALSE(wf::bce::unpackRequest(kind, std::span(data).first(n), 5))
          << kind.worker << " cut to " << n;
    wf::bce::Bytes longer = data;
    longer.push_back(0);
    EXPECT_FALSE(wf::bce::unpackRequest(kind, longer, 5)) << kind.worker;
    if (kind.fromNamedApp) {
      EXPECT_FALSE(wf::bce::unpackRequest(kind, data, 6)) << kind.worker;  // acting for another application
    }
  }
  // Replies nobody takes: those of enumerations and network information are held longer.
  for (std::uint32_t code : {0x4003u, 0x4004u, 0x4014u, 0x8003u, 0x8004u, 0x8014u, 0x801Au})
    EXPECT_EQ(wf::bce::purgeTimeOf(code), wf::bce::timeouts::kPurgeLong) << std::hex << code;
  for (std::uint32_t code : {0x8001u, 0x8006u, 0x800Bu, 0x800Cu, 0x8015u, 0x801Cu})
    EXPECT_EQ(wf::bce::purgeTimeOf(code), wf::bce::timeouts::kPurgeShort) << std::hex << code;
}

// ---- The wire, spoken directly to the primary as application 5 --------------

class BrokerWire : public Broker {
 protected:
  void SetUp() override {
    Broker::SetUp();
    startPair();
    replies = wf::Mailslot::create(wf::bce::appMailslotName(5));
    ASSERT_TRUE(replies);
    toPrimary = wf::MailslotWriter::open(wf::bce::kPrimaryMailslot);
    ASSERT_TRUE(toPrimary);
    ASSERT_EQ(send(BCE_REQ_REGISTER, {5, 0}).code, BCE_REPLY_FINAL | BCE_REQ_REGISTER);
  }

  void post(std::uint32_t code, const wf::bce::Bytes& data, std::uint32_t sender = 5) {
    BCEMAILHEADER h{sender, ++serial, code, 0, 0};
    const auto m = wf::bce::encodeMail(h, data);
    ASSERT_EQ(toPrimary->write(m.data(), m.size()), wf::MailslotStatus::Ok);
  }
  void postRaw(const wf::bce::Bytes& message) {
    ASSERT_EQ(toPrimary->write(message.data(), message.size()), wf::MailslotStatus::Ok);
  }
  // Sends and returns the header of the reply with the same serial (code 0 when none came).
  BCEMAILHEADER send(std::uint32_t code, const wf::bce::Bytes& data, std::int32_t* result = nullptr) {
    post(code, data);
    for (;;) {
      wf::bce::Bytes message;
      if (replies->read(message, 100'000) != wf::MailslotStatus::Ok) return {};
      auto mail = wf::bce::decodeMail(message);
      if (!mail || mail->header.serial != serial) continue;
      if (result) {
        wf::ByteReader r(mail->data);
        if (!wf::bce::readResult(r, *result)) *result = 12345;
      }
      return mail->header;
    }
  }

  std::optional<wf::Mailslot> replies;
  std::optional<wf::MailslotWriter> toPrimary;
  std::uint32_t serial = 0;
};

TEST_F(BrokerWire, RequestsWhoseLengthsDoNotFitAreAnsweredMinus15) {
  using wf::ByteWriter;
  struct Case {
    const char* what;
    std::uint32_t code;
    std::string data;
  };
  const Case cases[] = {
      {"open, short", BCE_REQ_OPEN, ByteWriter().le16(5).le16(11).str()},
      {"open, as another application", BCE_REQ_OPEN, ByteWriter().le16(1).le16(11).le16(0).str()},
      {"print data longer than sent", BCE_REQ_WRITE,
       ByteWriter().le16(5).le16(11).le32(0).le32(1).le32(100).le32(7).str()},
      {"bidi request longer than sent", BCE_REQ_SEND_BIDI,
       ByteWriter().le16(5).le16(11).le32(0).le16(16).le32(64).le16(9).u8(1).str()},
      {"bidi with bytes beyond its request", BCE_REQ_SEND_BIDI,
       ByteWriter().le16(5).le16(11).le32(0).le16(16).le32(64).le16(0).u8(1).str()},
      {"network information input beyond its buffer", BCE_REQ_NET_INFO,
       ByteWriter().le16(1).le32(4).le16(7).le16(2).le16(4).le32(0).str()},
      {"set network information, short", BCE_REQ_SET_NET_INFO,
       ByteWriter().le16(1).le32(4).le16(7).le16(50).str()},
      {"hold port, name of 80 characters", BCE_REQ_HOLD_PORT,
       ByteWriter().le16(80).bytes(std::string(80, 'L')).le16(1).u8('P').str()},
      {"device control, input short", BCE_REQ_DEVICE_CONTROL,
       ByteWriter().le16(5).le16(11).le32(17).le32(10).le32(0).u8(1).str()},
      {"version with data", BCE_REQ_VERSION, ByteWriter().u8(1).str()},
  };
  for (const auto& c : cases) {
    std::int32_t result = 0;
    const BCEMAILHEADER h = send(c.code, bytesOf(c.data), &result);
    EXPECT_EQ(h.code, BCE_REPLY_FINAL | c.code) << c.what;
    EXPECT_EQ(result, BCE_ERR_BAD_REQUEST) << c.what;
  }
  // Well-formed, the same channel answers.
  std::int32_t result = 0;
  EXPECT_EQ(send(BCE_REQ_IS_ADMIN, {}, &result).code, BCE_REPLY_FINAL | BCE_REQ_IS_ADMIN);
  EXPECT_EQ(result, 11);
}

// Every request of the protocol, cut short at every length (or one byte too
// long where nothing can be cut), reaches the primary: each that awaits an
// answer is answered -15, and the primary keeps serving.
TEST_F(BrokerWire, EveryRequestCutShortIsAnsweredMinus15) {
  for (const wf::bce::RequestKind& kind : wf::bce::requestKinds()) {
    if (kind.code == BCE_REQ_REGISTER || kind.code == BCE_REQ_UNREGISTER) continue;
    const wf::bce::Bytes data = wellFormed(kind, 5);
    std::vector<wf::bce::Bytes> bad;
    for (std::size_t n = 0; n < data.size(); ++n)
      bad.emplace_back(data.begin(), data.begin() + static_cast<long>(n));
    bad.push_back(data);
    bad.back().push_back(0);
    for (const auto& b : bad) {
      if (kind.reply == wf::bce::ReplyShape::None) {
        post(kind.code, b);
        continue;
      }
      std::int32_t result = 0;
      const BCEMAILHEADER h = send(kind.code, b, &result);
      EXPECT_EQ(h.code, kind.finalReply) << kind.worker << " of " << b.size() << " bytes";
      EXPECT_EQ(result, BCE_ERR_BAD_REQUEST) << kind.worker << " of " << b.size() << " bytes";
    }
  }
  std::int32_t result = 0;
  EXPECT_EQ(send(BCE_REQ_IS_ADMIN, {}, &result).code, BCE_REPLY_FINAL | BCE_REQ_IS_ADMIN);
  EXPECT_EQ(result, 11);
}

TEST_F(BrokerWire, FuzzedMailNeverStopsThePrimaryOrASecondary) {
  std::mt19937 random(12345);
  const std::uint32_t codes[] = {1,  2,  3,  4,  6,  7,  8,  9,  10, 11, 12, 13,     14,     15, 16,
                                 17, 18, 19, 20, 21, 22, 24, 25, 26, 27, 28, 0x4014, 0x8017, 99};
  auto noise = [&](std::size_t n) {
    wf::bce::Bytes b(n);
    for (auto& x : b) x = static_cast<std::uint8_t>(random());
    return b;
  };
  auto toSecondary = wf::MailslotWriter::open(wf::bce::appMailslotName(1));
  ASSERT_TRUE(toSecondary);
  for (int i = 0; i < 1500; ++i) {
    const std::uint32_t code = codes[random() % std::size(codes)];
    switch (i % 4) {
      case 0:
        postRaw(noise(1 + random() % 40));
        break;  // not even a header
      // Sent as application 6, which has no mailslot: the answers -15 go nowhere.
      case 1:
        post(code, noise(random() % 64), 6);
        break;   // a header, data of any size
      case 2: {  // a length field that lies
        auto m = wf::bce::encodeMail({6, ++serial, code, 0, 0}, noise(random() % 32));
        m[16] = static_cast<std::uint8_t>(random());
        postRaw(m);
        break;
      }
      case 3: {  // garbage into a secondary's reply mailslot while it may be waiting
        auto m = wf::bce::encodeMail({1, static_cast<std::uint32_t>(random() % 8), 0x8000 | code, 0, 0},
                                     noise(random() % 16));
        if (i % 50 == 3)
          m[4] = 0xF0;  // well formed, for nobody: held, then purged
        else if (random() % 2)
          m.resize(1 + random() % (m.size() - 1));
        else
          m[16] ^= static_cast<std::uint8_t>(1 + random() % 255);
        toSecondary->write(m.data(), m.size());
        if (i % 100 == 3) {
          EXPECT_EQ(secondary->call("open"), ExportCall{10173});
        }
        break;
      }
    }
  }
  std::int32_t result = 0;
  EXPECT_EQ(send(BCE_REQ_IS_ADMIN, {}, &result).code, BCE_REPLY_FINAL | BCE_REQ_IS_ADMIN);
  EXPECT_EQ(result, 11);
  EXPECT_EQ(secondary->call("bidi"), (ExportCall{101702, {{"len", "8"}, {"reply", "R:REQ:16"}}}));
  EXPECT_EQ(primary->call("open"), ExportCall{173});
}

}  // namespace
