#pragma once
// Work on an icon's data under one of its named mutexes, waited for
// without limit (the locking idiom of the user-interface modules).
#include <utility>

#include "common/printer_icon.h"
#include "common/wait_objects.h"
#include "platform/clock.h"

namespace wf::prtgui {

template <class Work>
auto underNamedMutex(const CString& name, Work&& work) {
  CMutex mutex(name);
  mutex.Wait(wf::kInfinite);
  struct Release {
    CMutex& m;
    ~Release() { m.Release(); }
  } release{mutex};
  return work();
}

template <class Work>
auto underIconMutex(CWFPrinterIcon* icon, const char* suffix, Work&& work) {
  return underNamedMutex(icon->GetMutexName(suffix), std::forward<Work>(work));
}

}  // namespace wf::prtgui
