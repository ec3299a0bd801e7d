#pragma once
// Named wait objects of the user-interface modules: a CMutex made by name on
// the stack, Wait, work, Release, and the destructor closes the handle. The
// objects are the platform's (platform/sync.h): one name reaches one object
// within the process. A failed create leaves no handle: Wait answers 258 at
// once and every release, signal, reset or pulse answers FALSE.
#include "framework/object.h"

using HANDLE = void*;

class CWinSync : public CObject {
  DECLARE_DYNAMIC(CWinSync)
 public:
  // Takes ownership of `handle`.
  explicit CWinSync(HANDLE handle = nullptr);
  ~CWinSync() override;

  // 0 (+ index) taken, 0x80 abandoned, 258 time-out, 0xFFFFFFFF failed.
  virtual DWORD Wait(DWORD milliseconds);
  virtual operator HANDLE() const;
  virtual HANDLE GetHandle() const;
  // Stores `handle` without closing the one held before.
  virtual void Attach(HANDLE handle);
  // Forgets the handle without closing it and returns it.
  virtual HANDLE Detach();

 protected:
  HANDLE m_hObject;
};

class CEvent : public CWinSync {
  DECLARE_DYNAMIC(CEvent)
 public:
  // Creates or opens the event, initially not signalled.
  explicit CEvent(LPCSTR name = nullptr, BOOL manualReset = FALSE);

  virtual BOOL Signal();
  virtual BOOL Reset();
  virtual BOOL Pulse();
};

class CSemaphore : public CWinSync {
  DECLARE_DYNAMIC(CSemaphore)
 public:
  // Without a handle until Create.
  CSemaphore();
  // Creates or opens; the counts of an existing semaphore are ignored.
  CSemaphore(LPCSTR name, LONG initialCount, LONG maximumCount);

  virtual BOOL Release(LONG count);
  // Creates or opens into this wrapper, closing a handle it held.
  virtual BOOL Create(LPCSTR name, LONG initialCount, LONG maximumCount);
};

class CMutex : public CWinSync {
  DECLARE_DYNAMIC(CMutex)
 public:
  explicit CMutex(LPCSTR name = nullptr, BOOL initiallyOwned = FALSE);

  // FALSE without a handle or when the calling thread does not own it.
  virtual BOOL Release();
};
