#pragma once
// Fetching and using one of the icon's cached records under its mutex,
// waited for without limit.
#include <new>
#include <utility>

#include "icon_mutex.h"
#include "platform/sync.h"

namespace wf::prtgui {

// Under the mutex `suffix`: fetches a new record into `member` when none is
// cached or `refetch` is set, then runs `use` on it. A rejected request
// leaves none cached, skips `use` and answers FALSE.
template <class Record, class Fetch, class Use>
BOOL underRecord(CWFPrinterIcon* icon, const char* suffix, Record*& member, bool refetch, Fetch&& fetch,
                 Use&& use) {
  return underIconMutex(icon, suffix, [&]() -> BOOL {
    if (refetch || !member) {
      delete std::exchange(member, nullptr);
      auto* fresh = new (std::nothrow) Record;
      if (!fresh) return FALSE;
      if (!icon->BCEReturnCheck(fetch(fresh))) {
        delete fresh;
        return FALSE;
      }
      member = fresh;
    }
    use(*member);
    return TRUE;
  });
}

template <class Record, class Fetch>
BOOL fetchRecord(CWFPrinterIcon* icon, const char* suffix, Record*& member, bool refetch, Fetch&& fetch) {
  return underRecord(icon, suffix, member, refetch, std::forward<Fetch>(fetch), [](const Record&) {});
}

// Readers give up after this long, so a page redraw never waits on a worker
// talking to a slow printer.
constexpr DWORD kReaderWait = 3000;

// Reads `record` under the icon's mutex `suffix`; `fallback` when none is
// cached or the mutex is not had in time. The record is tested again after
// the wait: another thread may have freed or replaced it meanwhile.
template <class Record, class Value, class Read>
Value readCached(CWFPrinterIcon* icon, const char* suffix, Record* const& record, Value fallback,
                 Read&& read) {
  if (!record) return fallback;
  CMutex mutex(icon->GetMutexName(suffix));
  const DWORD rc = mutex.Wait(kReaderWait);
  if (rc != 0 && rc != wf::kWaitAbandoned0) return fallback;
  Value value = record ? read(*record) : fallback;
  mutex.Release();
  return value;
}

}  // namespace wf::prtgui
