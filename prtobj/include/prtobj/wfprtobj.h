#pragma once
// WFPrtObj: the one object through which the other modules talk to one
// printer. Every request is one bidirectional request through the broker
// (BceSendBidi); alert data comes from BceQueryAlerts. Results are signed:
// 0 success, -2 bad or empty reply, -11 bidi off, -18 no memory or no
// out-record, anything else the broker's result passed through. -2, -10, -11,
// -16 and -17 from a request switch bidi off until bidiInitialize runs again.
//
// Ownership of what a request hands out:
// - raw reply bytes (bidiReadOMVar, bidiReadMiscVar): wfPrtObjNew / wfPrtObjFree;
// - arrays (WFPALERTDATA, INPUTBIN, OUTPUTBIN): new[] here, delete[] by the caller;
// - an OPPANELDATA: new here, delete by the caller.
#include <cstdint>
#include <cstdio>
#include <string>

#include "framework/object.h"
#include "platform/sync.h"
#include "platform/win_types.h"
#include "platform/window_messages.h"

struct PRTINFO;
struct NETADDRESS;
class WFQSThreadControl;
class WFPrm;  // the resource-management stand-in reaches the protected queries

class WFPrtObj : public CObject {
 public:
  // The callers outside spell these WFPrtObj::ULONG and so on.
  using BYTE = ::BYTE;
  using USHORT = ::USHORT;
  using SHORT = std::int16_t;
  using UINT = ::UINT;
  using ULONG = ::ULONG;
  using LONG = ::LONG;
  using BOOL = ::BOOL;
  using HWND = wf::Hwnd;

  static constexpr ULONG kUnknownType = 0xFFFFFFFF;

  // Request codes (the broker's command byte).
  enum : USHORT {
    DC_DEVICE_STATUS = 1,
    DC_INPUT_STATUS = 2,
    DC_OUTPUT_STATUS = 3,
    DC_PAPER_JAMS = 6,
    DC_OPERATOR_IV = 7,
    DC_WARNINGS = 8,
    DC_SERVICE_REQ = 9,
    DC_CONFIG_CHG = 10,
    DC_SUPPLIES = 11,
    DC_PAGE_COUNTS = 12,
    DC_SUPPLIES_STATUS = 13,
    DC_SUMMARY = 16,
    DC_INPUT_CHARS = 18,
    DC_OUTPUT_CHARS = 19,
    DC_STORAGE_OPTIONS = 20,
    DC_POR = 49,
    DC_RESET_HOST_PAGE_COUNT = 54,
    DC_ROP_BUTTON = 64,
    DC_ROP_DATA = 67,
    DC_READ_OM_VAR = 78,
    DC_SET_OM_VAR = 79,
    DC_READ_MISC_VAR = 86,
    DC_ROP_COMMAND = 87,
  };

  enum PORTTYPE : UINT {
    PORT_UNKNOWN = 0,
    PORT_LPT = 1,
    PORT_COM = 2,
    PORT_OTHER_LOCAL = 3,
    PORT_ADAPTER_PARALLEL_1 = 4,
    PORT_ADAPTER_PARALLEL_2 = 5,
    PORT_ADAPTER_SERIAL = 6,
    PORT_ADAPTER8_PARALLEL = 7,
    PORT_ADAPTER8_SERIAL = 8,
    PORT_PORTBAY = 9,
    PORT_PORTBAY_XL = 10,
    PORT_INTERNAL = 11,
  };
  enum PSFTYPES : UINT { PSF_NONE = 0, PSF_BIDI = 1, PSF_MERBIDI = 2 };
  enum WFNETACCESSLEVEL : UINT { WF_NET_USER = 1, WF_NET_ADMIN = 2 };
  enum DEVICEID : UINT { DEVICE_DISK = 1, DEVICE_FLASH = 2 };
  enum WFQSRC : LONG { QS_STARTED = 0, QS_HEADER_MISMATCH = 2, QS_NO_THREAD = 4, QS_NO_PSF_TYPE = 5 };

  struct BIDICAPABILITIES {
    BOOL bidiActive = 0;
    BOOL highFlag = 0;
    BOOL redirected = 0;
    UINT portType = 0;
    UINT flags = 0;
    UINT transports = 0;
    UINT redirectionCount = 0;
    UINT nameCount = 0;
    std::string portName;
    std::string adapterAddress;
    std::string netwareName;
    std::string ipName;
    std::string ipxName;
    std::string redirections;
    std::string displayName;
  };

  struct OMVARIABLE {
    BYTE name[2];  // high byte first, as sent
  };

  struct OPPANELDATA {
    ULONG columns = 0;
    ULONG lines = 0;
    std::string text;  // UTF-8
  };

  struct DEVICECHARS {
    BYTE duplex = 0;
    std::string model;
    std::string revisionLevel;
    std::string serialNumber;
    ULONG byte2 = 0;
    ULONG speed = 0;
    ULONG memoryKb = 0;
  };

  struct INPUTBIN {
    USHORT sourceId = 0;
    USHORT binNumber = 0;  // 7101..7109; 0 when no rule names the source
    ULONG capacity = 0;
    std::string name;
    USHORT formSize = 0;
    USHORT paperType = 0;
  };

  struct OUTPUTBIN {
    USHORT binId = 0;
    USHORT binNumber = 0;  // 7201, 7203, 7204; 0 when no rule matches
    ULONG capacity = 0;
    std::string name;
    USHORT type = 0;
    BOOL flags[10] = {};
  };

  struct INPUTCHARS {
    ULONG manualPaperId, manualEnvelopeId, envelopeFeederId, paperFeederId, dualFeeder, dualFirstFeederId,
        dualSecondFeederId, tray1Id, tray2Id, tray3Id;
    ULONG feederSize, dualFirstFeederSize, feeder2Size, manualEnvelopeSize, tray1Size, tray2Size, tray3Size,
        manualPaperSize;
    ULONG tray1Type, tray2Type, tray3Type, manualPaperType, manualEnvelopeType, feederType,
        dualFirstFeederType, feeder2Type;
    ULONG tray1Capacity, tray2Capacity, tray3Capacity;
  };

  struct OUTPUTBINS {
    BOOL capacityIs500 = 0;
    ULONG capacity = 0;
  };

  struct STORAGEOPTIONS {
    BOOL fontCartridge = 0;
    std::string cartridgeDetail;
    std::string cartridgeName;
    ULONG flashSize = 0, flashFree = 0, diskSize = 0, diskFree = 0;
  };

  struct CODELEVELS {
    std::string revisionLevel, eng, engb, engf, ina, ina1, ina2, pnl, dpx, cont, flker;
  };

  struct PAGECOUNTDATA {
    ULONG counters[4] = {};
  };

  struct WFPALERTDATA {
    USHORT alertId = 0;
    USHORT detail = 0;
  };

  using PRINTERSTATUS = ULONG;
  using PRTALERTS = ULONG;
  using UIRALERTS = ULONG;

  struct JSSHEETS {
    ULONG sheets = 0, sides = 0, third = 0;
  };
  static constexpr int kJobStatSlots = 11;  // slot 0 is never written
  // A family may allocate a longer record; the queue deletes it through this one.
  struct JSALERTDATA {
    JSALERTDATA() = default;
    JSALERTDATA(const JSALERTDATA&) = default;
    JSALERTDATA& operator=(const JSALERTDATA&) = default;
    virtual ~JSALERTDATA() = default;
    USHORT entryCount = 0;
    USHORT word1 = 0;
    USHORT word2 = 0;
    USHORT seconds = 0;
    JSSHEETS entries[kJobStatSlots];
    ULONG field = 0;
    std::string host, user, sc, jobName, queue, remaining, secondText;
  };

  // Filled on WFPRM's side; layouts documented in outside/wfprm.
  struct DEVICEMGMTALERTDATA {
    BYTE kind = 0;         // 16 entry, 17 delete, 18 move, 19 format, 20 copy
    BYTE moreEntries = 0;  // 0 on the last entry of a listing
    ULONG result = 0;      // 0 success
    ULONG entryFlag = 0;   // low 16 bits non-zero when `entry` is carried
    std::string entry;
  };
  struct DEVICEDIRECTORYDATA {
    ULONG device = 0;
    std::string name, id, type, size;
    ULONG value1 = 0;
    std::string description;
    ULONG value2 = 0;
  };

  // Declared for other subsystems; nothing here fills them.
  // Paper type code 1 to 4, as INPUTBIN::paperType carries it.
  using PAPERTYPE = USHORT;
  // Head of a tray or bin as the icon's tray tables hold it.
  struct PAPERTRAY {
    USHORT npaNumber = 0;
    USHORT id = 0;
    ULONG capacity = 0;
  };

  WFPrtObj();
  WFPrtObj(USHORT handle, BOOL initBidi);
  WFPrtObj(USHORT handle, ULONG printerType, BOOL initBidi);
  WFPrtObj(const WFPrtObj&) = delete;
  WFPrtObj& operator=(const WFPrtObj& other);
  virtual ~WFPrtObj();

  virtual void getPrinterType(ULONG* type, ULONG* family);
  virtual BOOL getBidiCaps(BIDICAPABILITIES* caps);
  virtual LONG bidiInitialize(BOOL force);
  virtual LONG bidiQueryCaps(BIDICAPABILITIES* caps, BOOL force);
  virtual LONG bidiGetPrinterFamily(ULONG* family);
  virtual LONG bidiGetPrinterInfo(PRTINFO* info);
  virtual LONG bidiGetPrinterType(ULONG* type, ULONG* code);
  virtual LONG bidiGetDeviceChars(DEVICECHARS* chars);
  virtual LONG bidiGetPageCounts(PAGECOUNTDATA* counts);
  virtual LONG bidiGetStorageOptions(STORAGEOPTIONS* options);
  virtual LONG bidiGetCodeLevels(CODELEVELS* levels);
  virtual LONG bidiGetInputChars(UINT* count, INPUTBIN** bins);
  virtual LONG bidiGetOutputChars(UINT* count, OUTPUTBIN** bins);
  virtual LONG bidiResetHostPageCount();
  virtual LONG bidiPORPrinter();
  virtual LONG bidiQueryDSAAlert(USHORT key, PRINTERSTATUS* status);
  virtual LONG bidiQueryDeviceStatus(PRINTERSTATUS* status);
  virtual LONG bidiQueryInputStatus(UINT* count, WFPALERTDATA** alerts);
  virtual LONG bidiQueryInputStatus(PRTALERTS* alerts);
  virtual LONG bidiQueryOutputStatus(UINT* count, WFPALERTDATA** alerts);
  virtual LONG bidiQueryOutputStatus(PRTALERTS* alerts);
  virtual LONG bidiQueryPaperJams(UINT* count, WFPALERTDATA** alerts);
  virtual LONG bidiQueryPaperJams(PRTALERTS* alerts);
  virtual LONG bidiQueryOperatorIV(UINT* count, WFPALERTDATA** alerts);
  virtual LONG bidiQueryOperatorIV(PRTALERTS* alerts, UIRALERTS* uir);
  virtual LONG bidiQueryWarnings(UINT* count, WFPALERTDATA** alerts);
  virtual LONG bidiQueryWarnings(PRTALERTS* alerts);
  virtual LONG bidiQueryServiceReq(UINT* count, WFPALERTDATA** alerts);
  virtual LONG bidiQueryServiceReq(PRTALERTS* alerts);
  virtual LONG bidiQueryConfigChg(UINT* count, WFPALERTDATA** alerts);
  virtual LONG bidiQueryConfigChg(PRTALERTS* alerts);
  virtual LONG bidiQuerySupplies(UINT* count, WFPALERTDATA** alerts);
  virtual LONG bidiQuerySupplies(PRTALERTS* alerts);
  virtual LONG bidiQuerySuppliesStatus(UINT* count, WFPALERTDATA** alerts);
  virtual LONG bidiROPQueryLock(int* locked);
  virtual LONG bidiROPSetLock(BOOL lock);
  virtual LONG bidiROPPushButton(ULONG button);
  virtual LONG bidiROPQueryData(void** panel);
  virtual LONG bidiROPQueryAlert(USHORT key, void** panel);
  virtual LONG bidiROPReset();
  virtual LONG bidiROPContinue();
  virtual LONG bidiQuickSetupSend(WFQSThreadControl* control, ULONG* steps);
  virtual LONG bidiQuickSetupReceive(WFQSThreadControl* control, ULONG* steps);
  virtual LONG verifyQuickSetupFile(std::FILE* file);
  virtual LONG bidiSetOMVar(const BYTE name[2], const void* value, ULONG len);
  virtual LONG bidiReadOMVar(const BYTE name[2], void** value, ULONG* len);
  virtual LONG bidiReadMiscVar(const BYTE name[2], void** value, ULONG* len, BOOL force);
  virtual LONG bidiJSQueryAlert(USHORT key, JSALERTDATA* record);
  virtual LONG bidiDeviceFileListing(DEVICEID device);
  virtual LONG bidiDeviceFormat(DEVICEID device);
  virtual LONG bidiDeviceDeleteFile(const std::string& file, DEVICEID device);
  virtual LONG bidiDeviceCopyFile(const std::string& file, DEVICEID from, DEVICEID to, int move);
  virtual LONG bidiDeviceQueryAlert(USHORT key, DEVICEMGMTALERTDATA* record);
  virtual LONG parseDeviceDirectoryData(const std::string& entry, DEVICEDIRECTORYDATA* record);
  // Pointer-sized: the printer icon keeps itself here.
  virtual void setUserData(std::uintptr_t data);
  virtual std::uintptr_t getUserData();
  virtual void getVersionNumber(const std::string& dir, std::string* out);
  virtual void setNotificationWindow(HWND window);
  virtual void setBidiOff();

  USHORT getBCEHandle() const { return handle_; }
  void setBceAppId(SHORT appId) { appId_ = appId; }
  UINT setBidiQueryNetType(UINT type);
  UINT getBidiQueryNetType() const { return queryNetType_; }
  BOOL isValidNetType(UINT type);
  PSFTYPES getPsfType() const { return psfType_; }
  const std::string& getPsfHeader() const { return psfHeader_; }
  LONG getPrinterInfo(PRTINFO* info);
  ULONG getBCENetAddress(NETADDRESS* address, UINT mask);
  UINT getNetAccessLevel(UINT net);
  LONG bidiGetInputChars(INPUTCHARS* chars);
  LONG bidiGetOutputChars(OUTPUTBINS* bins);

 protected:
  friend class WFPrm;

  virtual void initToZero();
  // The reply (without the printer's first byte) comes from wfPrtObjNew.
  virtual LONG bidiQuery(USHORT code, const void* data, ULONG dataLen, void** reply, ULONG* replyLen,
                         BOOL wantReply, BOOL force);
  // The whole alert data, from wfPrtObjNew. `message` is not used.
  virtual LONG bidiQueryAlert(USHORT key, ULONG message, void** data, ULONG* len, int flag);
  virtual LONG bidiQuickSetupStart(WFQSThreadControl* control);
  virtual void setPrinterType(ULONG type);
  virtual BOOL isBidiActive();
  virtual void parseInputCharsByName(UINT id, UINT size, UINT type, ULONG capacity, const std::string& name,
                                     INPUTCHARS* chars);
  virtual void parseInputCharsByID(UINT id, UINT size, UINT type, ULONG capacity, UINT count,
                                   INPUTCHARS* chars);
  virtual void parseInputBinsByName(UINT size, const std::string& name, USHORT* binNumber);
  virtual void parseInputBinsByID(UINT id, UINT size, ULONG capacity, UINT count, USHORT* binNumber);
  // Decoders take the length of what arrived and never read past it.
  virtual LONG parseROPData(const void* data, ULONG len, OPPANELDATA* panel);
  virtual LONG parseJSData(const BYTE* data, ULONG len, JSALERTDATA* record);
  virtual void parseJSUserDefinedData(const std::string& text, JSALERTDATA* record);
  virtual LONG parseDeviceStatusData(const BYTE* data, ULONG len, PRINTERSTATUS* status);
  virtual LONG parseDeviceAlertData(const void* data, long len, DEVICEMGMTALERTDATA* record);
  // Appends the alerts of n records (stopping at the first incomplete one);
  // -18 when the array cannot grow, keeping what it had.
  virtual LONG parseAlertData(const BYTE* data, ULONG len, UINT n, UINT type, WFPALERTDATA** alerts,
                              UINT* count);

  void setBidiRetryCount(int count) { retryCount_ = count; }

 private:
  LONG queryAlertList(USHORT code, bool sendZero, UINT type, UINT* count, WFPALERTDATA** alerts);
  LONG queryStatusRecords(USHORT code, std::string* reply);
  LONG queryPrtAlerts(USHORT code, PRTALERTS* alerts, ULONG clears,
                      ULONG (*rule)(const BYTE* record, ULONG current));
  LONG queryReply(USHORT code, const void* data, ULONG dataLen, std::string* reply, BOOL force = 0);
  LONG readVariable(USHORT code, const BYTE name[2], void** value, ULONG* len, BOOL force, ULONG skip);
  void scanRedirections(ULONG connections, BIDICAPABILITIES* caps);

  wf::CriticalSection bidiLock_;
  SHORT appId_ = 0;
  USHORT handle_ = 0;
  OPPANELDATA panel_;
  BIDICAPABILITIES caps_;
  BOOL initialised_ = 0;
  ULONG printerType_ = kUnknownType;
  ULONG printerFamily_ = kUnknownType;
  std::uintptr_t userData_ = 0;
  int retryCount_ = 1;
  UINT queryNetType_ = 0;
  PSFTYPES psfType_ = PSF_NONE;
  std::string psfHeader_;
  std::string revisionLevel_;
  HWND notificationWindow_ = 0;
};

// Joins the library to the framework's chain of extension modules; the host
// calls it once after loading the library.
void InitWFPrtObjDll();

// The factory CreatePrtObj is exported by ordinal only ("WFPRTOBJ.DLL", 100):
// null for a type other than 0, 1 and 0xFFFFFFFF; the caller owns the object.
constexpr std::uint16_t kCreatePrtObjOrdinal = 100;
using CreatePrtObjFn = WFPrtObj* (*)(std::uint16_t handle, std::int16_t appId, std::uint32_t printerType);
