// The printer icon: construction, borrowing and holding, identity texts.
#include <atomic>
#include <memory>
#include <thread>

#include "common/wait_objects.h"
#include "platform/clock.h"
#include "platform/sync.h"
#include "test_fixture.h"

namespace wf::testing {
namespace {

using namespace std::chrono_literals;

// Reaches the icon's protected protocol answer.
class ProbeIcon : public CWFPrinterIcon {
 public:
  using CWFPrinterIcon::CWFPrinterIcon;
  using CWFPrinterIcon::GetValidProtocols;
};

// Polls `done` for up to ten real seconds.
bool eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 1000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return done();
}

// True while some thread holds the named mutex.
bool mutexHeld(const CString& name) {
  bool held = false;
  std::thread([&] {
    CMutex probe(name);
    const DWORD rc = probe.Wait(0);
    held = rc == wf::kWaitTimeout;
    if (!held) probe.Release();
  }).join();
  return held;
}

class IconTest : public PrinterFixture {
 protected:
  void TearDown() override {
    wf::setTimeScaleForTest(1.0);
    PrinterFixture::TearDown();
  }
};

TEST_F(IconTest, GenericFamilyRegistersItselfAndClaimsOnlyItsKeys) {
  CWFPrinterDLL* generic = families_.FindPrinterDLL(0xFFFFFFFF);
  ASSERT_NE(generic, nullptr);
  EXPECT_EQ(generic->GetName(), "Generic/7301");
  EXPECT_EQ(families_.FindPrinterDLL(0), generic);
  EXPECT_EQ(CWFPrinterIcon().GetPrinterDLL(), generic);
  // Five images of the family's bitmap went into the image list.
  EXPECT_EQ(app_.GetNormalImageList()->GetImageCount(), 5);

  CWFPrinterIcon icon(nullptr, nullptr);
  EXPECT_TRUE(icon.BelongsToFamily(0xFFFFFFFF));
  EXPECT_TRUE(icon.BelongsToFamily(0));
  EXPECT_FALSE(icon.BelongsToFamily(1));
  EXPECT_FALSE(icon.BelongsToFamily(5));
  EXPECT_EQ(icon.GetNormalIconIndex(), generic->GetImageListOffset());
  EXPECT_EQ(icon.GetErrorIconIndex(), generic->GetImageListOffset() + 2);
  EXPECT_STREQ(icon.GetRuntimeClass()->m_lpszClassName, "CWFPrinterIcon");
}

TEST_F(IconTest, ALiveIconBindsItsObjectAndAGhostKeepsItsRecord) {
  ScriptedPrtObj* object = addLocal(11, "LPT1:", 0, "Quorra 1210");
  CWFPrinterIcon live(object, nullptr);
  EXPECT_EQ(live.GetPrinterHandle(), 11);
  EXPECT_FALSE(live.IsGhost());
  EXPECT_EQ(object->getUserData(), reinterpret_cast<std::uintptr_t>(&live));
  EXPECT_EQ(live.GetName(), "Quorra 1210");
  EXPECT_EQ(live.GetPhysicalName(), "Quorra 1210");
  EXPECT_EQ(live.GetPort(), "LPT1:");
  EXPECT_EQ(live.GetPortType(), WFPrtObj::PORT_LPT);
  EXPECT_EQ(live.GetConnectionWord(), BCE_NET_LOCAL);
  EXPECT_EQ(live.GetPrinterFamily(), 0u);

  ENUMBINARYDATA record{};
  record.node[5] = 0x42;
  record.portType = WFPrtObj::PORT_ADAPTER_PARALLEL_1;
  std::strcpy(record.name, "Front desk");
  record.familyKey = 5;
  record.storedAlerts = 0x1FFFFF;
  CWFPrinterIcon ghost(nullptr, &record);
  EXPECT_TRUE(ghost.IsGhost());
  EXPECT_EQ(ghost.GetPrinterHandle(), 0);
  EXPECT_EQ(ghost.GetName(), "Front desk");
  EXPECT_EQ(ghost.GetPrinterFamily(), 5u);
  EXPECT_EQ(ghost.GetPortType(), WFPrtObj::PORT_ADAPTER_PARALLEL_1);
  EXPECT_EQ(ghost.GetNodeAddress()[5], 0x42);
  EXPECT_EQ(ghost.GetBaseAlertFlag(0), 0);
  EXPECT_EQ(ghost.GetBaseAlertFlag(1), 1);
  EXPECT_EQ(ghost.GetNetAddress(), "000000000042");
  ghost.SetStatus(nullptr);
  EXPECT_EQ(ghost.GetStatus(), "Not found");

  CWFPrinterIcon unnamedGhost(nullptr, nullptr);
  EXPECT_EQ(unnamedGhost.GetName(), "Remembered printer");
}

TEST_F(IconTest, ABorrowDuringALockGivesNullAfterTheWaitThenAtOnceUntilUnlocked) {
  wf::setTimeScaleForTest(0.001);
  ScriptedPrtObj* object = addLocal(12, "LPT2:");
  CWFPrinterIcon icon(object, nullptr);
  ASSERT_EQ(icon.GetPrinterObj(), object);  // a borrower the lock must wait for

  std::atomic<bool> locked{false};
  std::thread locker([&] {
    icon.LockPrinterObj();
    locked = true;
  });
  ASSERT_TRUE(eventually([&] { return mutexHeld(icon.GetMutexName("PrtObjLock")); }));
  EXPECT_EQ(icon.GetPrinterObj(), nullptr);  // timed out on "PrtObjLock"
  EXPECT_FALSE(locked);

  icon.ReleasePrinterObj();
  locker.join();
  EXPECT_TRUE(icon.IsPrinterObjLocked());
  EXPECT_FALSE(mutexHeld(icon.GetMutexName("PrtObjLock")));
  EXPECT_EQ(icon.GetPrinterObj(), nullptr);  // the flag, not the wait

  EXPECT_FALSE(icon.UnlockPrinterObj());
  ASSERT_EQ(icon.GetPrinterObj(), object);
  icon.ReleasePrinterObj();
}

TEST_F(IconTest, TheFiftyFirstBorrowerWaitsForAUnit) {
  ScriptedPrtObj* object = addLocal(13, "LPT3:");
  CWFPrinterIcon icon(object, nullptr);
  for (int i = 0; i < 50; ++i) ASSERT_EQ(icon.GetPrinterObj(), object);
  std::atomic<bool> borrowed{false};
  std::thread late([&] { borrowed = icon.GetPrinterObj() == object; });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(borrowed);
  icon.ReleasePrinterObj();
  late.join();
  EXPECT_TRUE(borrowed);
  for (int i = 0; i < 50; ++i) icon.ReleasePrinterObj();
}

TEST_F(IconTest, NamesCarryTheHandleAndTheIconsAddress) {
  ScriptedPrtObj* object = addLocal(101, "LPT1:");
  CWFPrinterIcon first(object, nullptr);
  CWFPrinterIcon second(object, nullptr);
  const CString a = first.GetMutexName("PrtObjLock");
  const CString b = second.GetMutexName("PrtObjLock");
  EXPECT_NE(a, b);
  EXPECT_EQ(a.Find("101 "), 0);
  CString expected;
  expected.Format("101 %lx", static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(&first)));
  EXPECT_EQ(a, expected + "PrtObjLock");
  CWFPrinterIcon ghost(nullptr, nullptr);
  EXPECT_EQ(ghost.GetMutexName("AlertLock").Find("0 "), 0);
}

TEST_F(IconTest, DeletingWaitsForAHolderOnlyWhileTheThreadManagerRuns) {
  for (BOOL active : {TRUE, FALSE}) {
    app_.threadMgrActive = active;
    auto* icon = new CWFPrinterIcon(addLocal(active ? 14 : 15, "LPT4:"), nullptr);
    icon->ThreadLock();  // a worker holding the icon
    std::atomic<bool> deleted{false};
    std::thread deleter([&] {
      delete icon;
      deleted = true;
    });
    if (active) {
      std::this_thread::sleep_for(50ms);
      EXPECT_FALSE(deleted);
      icon->ThreadUnlock();
    }
    deleter.join();
    EXPECT_TRUE(deleted);
  }
}

struct ProtocolCase {
  UINT transports;
  UINT portType;
  ULONG protocols;
  BOOL network;
};

TEST_F(IconTest, ProtocolBitsFollowTheTransportsAndThePortType) {
  const ProtocolCase cases[] = {
      {0x0, WFPrtObj::PORT_LPT, 0x800, FALSE},        {0x0, WFPrtObj::PORT_COM, 0x800, FALSE},
      {0x1, WFPrtObj::PORT_PORTBAY, 0x1, TRUE},       {0x2, WFPrtObj::PORT_PORTBAY, 0x2, TRUE},
      {0x10, WFPrtObj::PORT_PORTBAY, 0x4, TRUE},      {0x4, WFPrtObj::PORT_PORTBAY, 0x8, TRUE},
      {0x8, WFPrtObj::PORT_OTHER_LOCAL, 0x810, TRUE}, {0x1F, WFPrtObj::PORT_PORTBAY_XL, 0x1F, TRUE},
  };
  std::uint16_t handle = 101;
  for (const auto& c : cases) {
    SCOPED_TRACE(handle);
    auto object = localPrinter(handle, "LPT1:");
    object->caps.transports = c.transports;
    object->caps.portType = c.portType;
    ProbeIcon icon(add(std::move(object)), nullptr);
    EXPECT_EQ(icon.GetValidProtocols(), c.protocols);
    EXPECT_EQ(icon.IsNetworkPrinter(), c.network);
    ++handle;
  }
  ProbeIcon ghost(nullptr, nullptr);
  EXPECT_EQ(ghost.GetValidProtocols(), 0u);
}

TEST_F(IconTest, TheConnectionCodeComesFromTheConnectionWord) {
  const std::pair<std::uint32_t, ULONG> cases[] = {
      {0x800 | 0x10000, 0}, {0x20000 | 0x40000, 0x20000}, {0x1000000, 0x1000000}, {0x2000000, 2},
      {0x4000000, 4},       {0x2 | 0x8000, 0xFFFFFFFF},   {0, 0xFFFFFFFF},
  };
  std::uint16_t handle = 201;
  for (const auto& [word, code] : cases) {
    SCOPED_TRACE(word);
    auto object = localPrinter(handle, "LPT1:");
    fakebce::setPrtInfoFor(handle, prtInfo(handle, "LPT1:", word));
    CWFPrinterIcon icon(add(std::move(object)), nullptr);
    EXPECT_EQ(icon.GetConnection(), code);
    EXPECT_EQ(icon.IsUserAdmin(), (word & 0x8000) != 0);
    ++handle;
  }
}

TEST_F(IconTest, PortTextsJoinQueueConnectionsAndNames) {
  struct Case {
    BOOL redirected;
    UINT nameCount;
    const char* port;
  } cases[] = {{FALSE, 0, "LPT1"}, {TRUE, 1, "Q1,N1"}, {FALSE, 1, "N1"}, {TRUE, 0, "Q1"}};
  std::uint16_t handle = 301;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.port);
    auto object = localPrinter(handle++, "LPT1");
    object->caps.redirected = c.redirected;
    object->caps.redirections = "Q1";
    object->caps.nameCount = c.nameCount;
    object->caps.displayName = "N1";
    CWFPrinterIcon icon(add(std::move(object)), nullptr);
    EXPECT_EQ(icon.GetPort(), c.port);
  }
  // Without caps the column texts are one blank.
  auto silent = localPrinter(handle, "LPT2");
  silent->capsReadable = false;
  CWFPrinterIcon icon(add(std::move(silent)), nullptr);
  EXPECT_EQ(icon.GetPort(), " ");
  EXPECT_EQ(icon.GetNetAddress(), " ");
  EXPECT_EQ(icon.GetTCPHost(), " ");
  EXPECT_FALSE(icon.GetBidiActive());
}

TEST_F(IconTest, NetworkTextsFollowTheTransports) {
  auto object = localPrinter(401, "LPT1");
  object->caps.transports = 0x1 | 0x2 | 0x4;
  object->caps.netwareName = "NW-Q";
  object->caps.ipName = "host.example";
  object->caps.ipxName = "CL-NICK";
  object->caps.adapterAddress = "0000C0FFEE01";
  CWFPrinterIcon icon(add(std::move(object)), nullptr);
  EXPECT_EQ(icon.GetNWLogin(), "NW-Q");
  EXPECT_EQ(icon.GetTCPHost(), "host.example");
  EXPECT_EQ(icon.GetCLNickname(), "CL-NICK");
  EXPECT_EQ(icon.GetNetAddress(), "0000C0FFEE01");
  EXPECT_EQ(icon.GetLongName(), "Quorra 1210 - LPT1");
}

TEST_F(IconTest, AdapterTextsFollowThePortType) {
  const std::tuple<UINT, const char*, const char*> cases[] = {
      {1, "", ""},
      {4, "Portbay XLe, PAR1", "Portbay XLe PAR1"},
      {6, "Portbay XLe, SER", "Portbay XLe SER"},
      {7, "7390,PAR", "7390 PAR"},
      {8, "7390,SER", "7390 SER"},
      {10, "Portbay XL", "Portbay XL"},
      {11, "", ""},
  };
  std::uint16_t handle = 501;
  for (const auto& [type, text, jobStats] : cases) {
    SCOPED_TRACE(type);
    auto object = localPrinter(handle++, "LPT1");
    object->caps.portType = type;
    CWFPrinterIcon icon(add(std::move(object)), nullptr);
    EXPECT_EQ(icon.GetAdapterType(), text);
    EXPECT_EQ(icon.GetJSAdapterType(), jobStats);
  }
}

TEST_F(IconTest, NamesComeFromTheModelOrTheDefaults) {
  auto noModel = localPrinter(601, "LPT1", 0, "");
  CWFPrinterIcon unknownBidi(add(std::move(noModel)), nullptr);
  EXPECT_EQ(unknownBidi.GetName(), "Unknown bidi printer");

  auto failing = localPrinter(602, "LPT1");
  failing->deviceCharsRc = -2;
  CWFPrinterIcon failed(add(std::move(failing)), nullptr);
  EXPECT_EQ(failed.GetName(), "Unknown bidi printer");

  auto plain = localPrinter(603, "LPT1");
  plain->caps.bidiActive = FALSE;
  ScriptedPrtObj* plainObject = add(std::move(plain));
  CWFPrinterIcon noBidi(plainObject, nullptr);
  EXPECT_EQ(noBidi.GetName(), "Printer");

  // A printer that lost bidi keeps the name its model gave it.
  ScriptedPrtObj* once = addLocal(604, "LPT1", 0, "Quorra 1610");
  CWFPrinterIcon previous(once, nullptr);
  ASSERT_EQ(previous.GetName(), "Quorra 1610");
  once->caps.bidiActive = FALSE;
  previous.SetName(nullptr);
  EXPECT_EQ(previous.GetName(), "Quorra 1610");

  previous.SetName("Chosen");
  EXPECT_EQ(previous.GetName(), "Chosen");
  forget(604);
  previous.SetName(nullptr);  // no object any more
  EXPECT_EQ(previous.GetName(), "Printer");
}

TEST_F(IconTest, StatusTextsAndTheChangeHook) {
  struct Recorder : CWFPrinterIcon {
    using CWFPrinterIcon::CWFPrinterIcon;
    void OnSetStatus(const char* oldStatus, const char* newStatus) override {
      changes.push_back(std::string(oldStatus) + ">" + newStatus);
    }
    std::vector<std::string> changes;
  };
  ScriptedPrtObj* object = addLocal(701, "LPT1");
  Recorder icon(object, nullptr);
  icon.SetStatus(nullptr);
  EXPECT_EQ(icon.GetStatus(), "Ready");
  icon.SetStatus("Offline");
  EXPECT_EQ(icon.GetStatus(), "Offline");
  object->caps.bidiActive = FALSE;
  icon.SetStatus(nullptr);
  EXPECT_EQ(icon.GetStatus(), "Status not available");
  EXPECT_EQ(icon.changes, (std::vector<std::string>{"Ready>Offline", "Offline>Status not available"}));

  // An unknown printer (family key 0xFFFFFFFF) is never bidi-active.
  auto unknown = localPrinter(702, "LPT1", 0xFFFFFFFF);
  CWFPrinterIcon other(add(std::move(unknown)), nullptr);
  other.SetStatus(nullptr);
  EXPECT_EQ(other.GetStatus(), "Status not available");
}

TEST_F(IconTest, OemPrintersLackTheMakersNames) {
  const std::pair<const char*, BOOL> cases[] = {
      {"Quorra 1210", FALSE}, {"Corvane Laser", FALSE}, {"quorra 5", TRUE}, {"Other 5", TRUE}};
  std::uint16_t handle = 801;
  for (const auto& [model, oem] : cases) {
    CWFPrinterIcon icon(addLocal(handle++, "LPT1", 0, model), nullptr);
    EXPECT_EQ(icon.IsOEMPrinter(), oem) << model;
  }
}

TEST_F(IconTest, ModelTextIsBuiltForFamilyZeroAndRestoresTheResourceHandle) {
  ScriptedPrtObj* object = addLocal(901, "LPT1", 0, "Quorra 1210");
  object->deviceChars.speed = 12;
  CWFPrinterIcon icon(object, nullptr);
  HINSTANCE before = AfxGetResourceHandle();
  icon.DetermineModel();
  EXPECT_EQ(icon.GetModel(), "Corvane 12 Laser Printer");
  EXPECT_EQ(AfxGetResourceHandle(), before);

  object->deviceChars.model = "Quorra Vx20";
  icon.DetermineModel();
  EXPECT_EQ(icon.GetModel(), "Quorra Vx20");

  object->deviceCharsRc = -11;
  icon.DetermineModel();
  EXPECT_EQ(icon.GetModel(), "Corvane  Laser Printer");  // no record: no size text
  EXPECT_EQ(AfxGetResourceHandle(), before);

  ScriptedPrtObj* other = addLocal(902, "LPT1", 1);
  CWFPrinterIcon notFamilyZero(other, nullptr);
  notFamilyZero.DetermineModel();
  EXPECT_EQ(notFamilyZero.GetModel(), "");
}

TEST_F(IconTest, SameAddressComparesPortTypeNodeAndPortText) {
  ScriptedPrtObj* lpt1 = addLocal(1001, "LPT1");
  CWFPrinterIcon live(lpt1, nullptr);
  NETADDRESS address{};
  std::strcpy(address.local, "LPT1");
  ENUMBINARYDATA record{};
  record.portType = WFPrtObj::PORT_LPT;
  CWFPrinterIcon ghost(nullptr, &record);
  ghost.SetGhostAddress(&address);
  EXPECT_TRUE(ghost.IsSameAddress(lpt1));
  EXPECT_TRUE(ghost.IsSameAddress(&live));
  EXPECT_TRUE(live.IsSameAddress(&ghost));
  EXPECT_FALSE(ghost.IsSameAddress(static_cast<WFPrtObj*>(nullptr)));

  // Containment is one-way: "LPT1" holds "LPT" but not the reverse.
  std::strcpy(address.local, "LPT");
  ghost.SetGhostAddress(&address);
  EXPECT_TRUE(live.IsSameAddress(&ghost));
  EXPECT_FALSE(ghost.IsSameAddress(&live));

  // A non-zero node decides alone.
  ENUMBINARYDATA networked = record;
  networked.node[5] = 7;
  CWFPrinterIcon a(nullptr, &networked), b(nullptr, &networked);
  EXPECT_TRUE(a.IsSameAddress(&b));
  EXPECT_FALSE(a.IsSameAddress(&ghost));
}

}  // namespace
}  // namespace wf::testing
