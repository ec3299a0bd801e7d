#pragma once
// A printer manager that answers every one-printer request with "not found",
// so saved printers with a stored record come back as ghosts, and keeps what
// was asked.
#include <mutex>
#include <string>
#include <vector>

#include "common/printer_list.h"
#include "wfprtmgr/wfprtmgr.h"

namespace wf::testing {

class RecordingManager : public WFPrtMgr {
 public:
  RecordingManager() : WFPrtMgr(1) {}
  struct Asked {
    std::string local;
    std::vector<BYTE> netware;
    bool record = false;
    BOOL flag = 0;
  };
  WFPrtObj::LONG enumSpecificPrinter(const NETADDRESS* address, WFENUMPRINTERSPROC callback,
                                     std::uintptr_t data, WFPrtObj::BOOL flag) override {
    auto* request = reinterpret_cast<ENUMPRTDATA*>(data);
    {
      std::lock_guard lock(m_);
      asked_.push_back({address->local, std::vector<BYTE>(address->netware, address->netware + 24),
                        request->pStoredRecord != nullptr, flag});
    }
    callback(nullptr, data, 0);
    return 0;
  }
  std::vector<Asked> asked() {
    std::lock_guard lock(m_);
    return asked_;
  }

 private:
  std::mutex m_;
  std::vector<Asked> asked_;
};

}  // namespace wf::testing
