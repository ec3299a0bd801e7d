#pragma once
// The registry of printer-family modules. LoadDLLs asks SPOOLOAK (ordinal
// 100, GetPrinterDLLList(50)) for the module file names, loads each and
// calls its ordinal-103 entry with (module, RegisterDLL); the module
// registers its name, icon factory, family ids and bitmap strip. The newest
// registration of a family key wins. Each registration adds its strip to
// the application's normal and small image lists.
#include <optional>
#include <string>

#include "framework/collections.h"
#include "framework/resources.h"

class CBitmap;
class CWFPrinterIcon;
class WFPrtObj;

// Makes an icon of the family from a printer object (null for a ghost) and
// the stored record (or null).
using PFNCREATEPRINTERICON = CWFPrinterIcon* (*)(WFPrtObj* object, void* record);

class CWFPrinterDLL;

using PFNREGISTERDLL = CWFPrinterDLL* (*)(HINSTANCE module, const char* name, DWORD reserved,
                                          PFNCREATEPRINTERICON factory, const DWORD* ids, DWORD count,
                                          CBitmap* bitmap);

// A family module's ordinal-103 entry.
using PFNINITGUIDLL = void (*)(HINSTANCE module, PFNREGISTERDLL registerDLL);

constexpr std::uint16_t WF_FAMILY_INIT_ORDINAL = 103;
constexpr std::uint16_t WF_GETPRINTERDLLLIST_ORDINAL = 100;

// SPOOLOAK's comma-separated list of family module names (GetPrinterDLLList
// with 50), copied before the library goes; empty for none.
std::optional<std::string> WFGetPrinterDLLList();

class CWFPrinterDLL : public CObject {
  DECLARE_DYNAMIC(CWFPrinterDLL)
 public:
  CWFPrinterDLL(HINSTANCE module, const char* name, DWORD reserved, PFNCREATEPRINTERICON factory,
                const DWORD* ids, DWORD count, CBitmap* bitmap);
  // Frees the module.
  ~CWFPrinterDLL() override;

  BOOL SupportsFamily(DWORD key) const;
  PFNCREATEPRINTERICON GetIconCreationFunction() const { return m_factory; }
  int GetImageListOffset() const { return m_imageOffset; }
  const CString& GetName() const { return m_name; }
  HINSTANCE GetModule() const { return m_module; }
  DWORD GetIdCount() const { return m_idCount; }

 private:
  void addImages(CBitmap* bitmap);

  HINSTANCE m_module;
  CString m_name;
  DWORD m_reserved;
  PFNCREATEPRINTERICON m_factory;
  DWORD* m_ids = nullptr;
  DWORD m_idCount = 0;
  int m_imageOffset = 0;
};

class CWFPrinterDLLManager : public CObList {
  DECLARE_DYNAMIC(CWFPrinterDLLManager)
 public:
  CWFPrinterDLLManager() : CObList(10) {}
  // Deletes every registration, which unloads its module.
  ~CWFPrinterDLLManager() override;

  // Once: 1 when at least one module file was loaded, else 0. A null list
  // from SPOOLOAK leaves it to be tried again.
  int LoadDLLs();
  // Null for a missing factory, no ids or a count of 0.
  CWFPrinterDLL* RegisterDLL(HINSTANCE module, const char* name, DWORD reserved, PFNCREATEPRINTERICON factory,
                             const DWORD* ids, DWORD count, CBitmap* bitmap);
  CWFPrinterDLL* FindPrinterDLL(DWORD key) const;
  BOOL IsLoaded() const { return m_loaded; }

 private:
  BOOL m_loaded = FALSE;
};

// What each module's entry receives: registers with the application's manager.
CWFPrinterDLL* RegisterDLL(HINSTANCE module, const char* name, DWORD reserved, PFNCREATEPRINTERICON factory,
                           const DWORD* ids, DWORD count, CBitmap* bitmap);
