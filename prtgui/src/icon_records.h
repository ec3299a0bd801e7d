#pragma once
// Fetching and using one of the icon's cached records under its mutex,
// waited for without limit.
#include <new>
#include <utility>

#include "icon_mutex.h"

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

}  // namespace wf::prtgui
