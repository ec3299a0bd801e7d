// Per-printer named objects and the borrowing of the printer object.
#include "common/app_services.h"
#include "common/printer_icon.h"
#include "common/wait_objects.h"
#include "platform/clock.h"
#include "platform/sync.h"

namespace {
constexpr DWORD kBorrowWaitMs = 3000;
constexpr LONG kUnits = 50;
}  // namespace

CString CWFPrinterIcon::GetMutexName(CString suffix) {
  CString name;
  // The whole address: two icons must never share a name.
  name.Format("%u %lx", static_cast<unsigned>(m_hPrinter),
              static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(this)));
  return name + suffix;
}

WFPrtObj* CWFPrinterIcon::GetPrinterObj() {
  CMutex lock(GetMutexName("PrtObjLock"));
  if (lock.Wait(kBorrowWaitMs) == wf::kWaitTimeout) return nullptr;
  WFPrtObj* object = nullptr;
  WFAppServices* app = WFGetApp();
  if (!m_bPrtObjLocked && m_hPrinter != 0 && app) object = app->GetPrinterFromHandle(m_hPrinter);
  if (object) m_prtObjUse.Wait(wf::kInfinite);
  lock.Release();
  return object;
}

void CWFPrinterIcon::ReleasePrinterObj() {
  m_prtObjUse.Release(1);
}

BOOL CWFPrinterIcon::LockPrinterObj() {
  CMutex lock(GetMutexName("PrtObjLock"));
  lock.Wait(wf::kInfinite);
  for (LONG i = 0; i < kUnits; ++i) m_prtObjUse.Wait(wf::kInfinite);
  m_bPrtObjLocked = TRUE;
  lock.Release();
  return TRUE;
}

BOOL CWFPrinterIcon::UnlockPrinterObj() {
  m_prtObjUse.Release(kUnits);
  CMutex lock(GetMutexName("PrtObjLock"));
  lock.Wait(wf::kInfinite);
  m_bPrtObjLocked = FALSE;
  lock.Release();
  return m_bPrtObjLocked;
}

void CWFPrinterIcon::ThreadLock() {
  m_threadLock.Wait(wf::kInfinite);
}

void CWFPrinterIcon::ThreadUnlock() {
  m_threadLock.Release(1);
}
