#pragma once
// The primary's list of every printer a transport or a local port reported,
// in insertion order, guarded by "bce_MutPrintersAccess". Entries are merged
// by address across transports and named by 16-bit handles: 11-19 for LPT1-9,
// 51-59 for COM1-9, 60-99 for other local names, 101 upward for network
// printers.
//
// An entry that is removed while some thread has it pinned stays linked (and
// invisible to look-ups) until the last pin goes, so a walk that releases the
// lock around a callback can always follow its entry's link afterwards.
#include <cstdint>
#include <string>
#include <vector>

#include "broker/corbce.h"
#include "named_lock.h"
#include "platform/sync.h"

namespace wf::bce {

// Transport index 0-5 <-> network bit 0x1, 0x2, 0x4, 0x8, 0x10, 0x800.
constexpr int kTransportSlots = 6;
constexpr int kLocalSlot = 5;
int transportIndexOf(std::uint32_t netBit);  // -1 unless exactly one of those bits
std::uint32_t networkBitOf(int index);

constexpr std::uint16_t kFirstNetworkHandle = 101;
constexpr std::uint32_t kFirstReportedByOwnSide = 0x8000;  // first seen by IP, IPX, peer or local
constexpr std::uint32_t kIpSecondNameBit = 0x2000000;
constexpr std::uint32_t kIpxSecondNameBit = 0x4000000;
constexpr std::uint16_t kInitialPacketSize = 1024;
constexpr std::uint32_t kSummarySize = 2048;  // the whole summary reply, not a cut one

struct PrinterEntry {
  PRTINFO info{};  // what the exports copy out
  struct PerApp {
    std::uint32_t alertMask = 0;  // ALERTS classes captured on this printer
    std::uint32_t delivered = 0;  // handed to the application by an enumeration
  } apps[BCE_MAX_APPS];
  std::int16_t portIds[kTransportSlots] = {-1, -1, -1, -1, -1, -1};
  std::uint32_t localPort = 0;                   // 1-9 once the local port was opened
  std::uint32_t stale[kTransportSlots] = {};     // not yet confirmed by that transport's running enumeration
  std::uint32_t reported[kTransportSlots] = {};  // connections word of that transport's last report
  // Per transport, cut to a name field (setName): most printers are on one
  // or two transports, so empty slots cost no field.
  std::string names[kTransportSlots];
  std::string secondNames[kTransportSlots];
  SyncHandle mutex = kNoSyncHandle;  // the entry's own, unnamed
  std::uint32_t summaryPending = 1;
  // The printer's summary reply, kept whole once fetched; empty until then,
  // so printers whose summary is never asked for carry no buffer.
  std::vector<std::uint8_t> summary;

  PrinterEntry() = default;
  PrinterEntry(const PrinterEntry&) = delete;
  PrinterEntry& operator=(const PrinterEntry&) = delete;
  ~PrinterEntry();

  std::uint16_t handle() const { return info.handle; }
  void forgetSummary() { std::vector<std::uint8_t>().swap(summary); }
  bool on(std::uint32_t netBits) const { return (info.connections & netBits) != 0; }

 private:
  friend class PrinterList;
  PrinterEntry* prev_ = nullptr;
  PrinterEntry* next_ = nullptr;
  int pins_ = 0;
  bool removed_ = false;
  std::string addressKey_;  // current key in the address index
  std::string peerKey_;     // current key in the peer-name index (empty: none)
  std::uint64_t order_ = 0;
};

// Every member: the caller holds PrinterListLock.
class PrinterList {
 public:
  // Walk in insertion order, skipping removed entries.
  PrinterEntry* first() const;
  PrinterEntry* next(const PrinterEntry* entry) const;

  PrinterEntry* findByHandle(std::uint16_t handle) const;
  // The entry on transport `index` whose port id there is `portId`.
  PrinterEntry* findByPort(int index, std::int16_t portId) const;
  // The entry a report belongs to (first match in list order); null: a new printer.
  PrinterEntry* findForReport(const NETPORTINFO& report) const;

  // A new entry for the report of transport `index`, at the tail; null when
  // no handle or no mutex can be had.
  PrinterEntry* add(const NETPORTINFO& report, int index);
  // Folds a later report of transport `index` into the entry.
  void merge(PrinterEntry& entry, const NETPORTINFO& report, int index);

  // Posts WM_BCE_PRINTER_REMOVED (0xFFF) to the applications that had the
  // printer, then unlinks it (freed now, or when its last pin goes).
  void remove(PrinterEntry& entry);

  // Keep an entry's memory and link while the lock is released.
  void pin(PrinterEntry& entry);
  void unpin(PrinterEntry& entry);

  // After node or name changes made outside merge (events).
  void reindex(PrinterEntry& entry);

  // Posts `message` (wParam handle) to every application that had the printer.
  void postToDelivered(const PrinterEntry& entry, std::uint32_t message, std::uint32_t lParam) const;

  std::size_t size() const { return count_; }
  // Removes every entry without messages (the primary's unload, tests).
  void clear();

 private:
  std::uint16_t newHandle(const PrinterEntry& entry) const;
  void index(PrinterEntry& entry);
  void unindex(PrinterEntry& entry);
  void unlink(PrinterEntry& entry);

  PrinterEntry* head_ = nullptr;
  PrinterEntry* tail_ = nullptr;
  std::size_t count_ = 0;
  std::uint64_t nextOrder_ = 0;
  struct Indexes;
  Indexes* indexes_ = nullptr;
};

PrinterList& printerList();

// The NETENUMPROC given to every transport's NetEnumerate, NetEnumSpecific
// and NetEnumSpecificPort, and the local scan's way in: merges or adds one
// report. Always 1 (go on).
std::uint16_t EnumCallback(const NETPORTINFO* report);

// The start of an enumeration of transport `index`: every entry on it is
// marked stale there and loses the transport's captured-port bits and second name.
void markStale(int index);
// All enumerations have ended: entries lose the bits of transports that did
// not confirm them; those left without any bit are removed.
void removeStalePrinters();

// Copies of at most 79 characters, always terminated.
void copyName(char* to, const char* from);        // `to` holds BCE_NAME_LENGTH bytes
void setName(std::string& to, const char* from);  // as copyName, into a string

}  // namespace wf::bce
