#include "common/printer_dll.h"

#include <algorithm>
#include <new>
#include <string>

#include "common/app_services.h"
#include "framework/dc.h"
#include "framework/image_list.h"
#include "platform/module.h"

IMPLEMENT_DYNAMIC(CWFPrinterDLL, CObject)
IMPLEMENT_DYNAMIC(CWFPrinterDLLManager, CObList)

namespace {

constexpr COLORREF kWhite = 0xFFFFFF;
constexpr int kListArgument = 50;

using GetPrinterDLLListProc = const char* (*)(int);

}  // namespace

std::optional<std::string> WFGetPrinterDLLList() {
  HINSTANCE spooler = wf::loadModule("SPOOLOAK.DLL");
  if (!spooler) return std::nullopt;
  std::optional<std::string> list;
  auto get = wf::moduleOrdinalAs<GetPrinterDLLListProc>(spooler, WF_GETPRINTERDLLLIST_ORDINAL);
  if (get) {
    if (const char* text = get(kListArgument)) list = text;
  }
  wf::freeModule(spooler);
  return list;
}

CWFPrinterDLL::CWFPrinterDLL(HINSTANCE module, const char* name, DWORD reserved, PFNCREATEPRINTERICON factory,
                             const DWORD* ids, DWORD count, CBitmap* bitmap)
    : m_module(module), m_reserved(reserved), m_factory(factory) {
  if (name && *name) m_name = name;
  if (ids && count) {
    m_ids = new (std::nothrow) DWORD[count];
    if (m_ids) {
      std::copy(ids, ids + count, m_ids);
      m_idCount = count;
    }
  }
  if (bitmap) addImages(bitmap);
}

CWFPrinterDLL::~CWFPrinterDLL() {
  delete[] m_ids;
  m_ids = nullptr;
  m_idCount = 0;
  if (m_module) wf::freeModule(m_module);
  m_module = nullptr;
}

void CWFPrinterDLL::addImages(CBitmap* bitmap) {
  COLORREF mask = kWhite;
  CBitmap half;
  bool haveHalf = false;
  CDC source;
  CBitmap* previous = source.CreateCompatibleDC(nullptr) ? source.SelectObject(bitmap) : nullptr;
  if (previous) {
    if (const COLORREF corner = source.GetPixel(0, 0); corner != CLR_INVALID) mask = corner;
    BITMAP info;
    CDC target;
    if (bitmap->GetBitmap(&info) && target.CreateCompatibleDC(&source) &&
        half.CreateCompatibleBitmap(&source, info.bmWidth / 2, info.bmHeight / 2)) {
      if (CBitmap* previousTarget = target.SelectObject(&half)) {
        haveHalf = target.StretchBlt(0, 0, info.bmWidth / 2, info.bmHeight / 2, &source, 0, 0, info.bmWidth,
                                     info.bmHeight, SRCCOPY);
        target.SelectObject(previousTarget);
      }
    }
    source.SelectObject(previous);
  }
  WFAppServices* app = WFGetApp();
  if (!app) return;
  CImageList* normal = app->GetNormalImageList();
  const int first = normal ? normal->Add(bitmap, mask) : -1;
  if (CImageList* small = app->GetSmallImageList(); small && haveHalf) small->Add(&half, mask);
  if (first >= 0) m_imageOffset = first;
}

BOOL CWFPrinterDLL::SupportsFamily(DWORD key) const {
  return std::find(m_ids, m_ids + m_idCount, key) != m_ids + m_idCount;
}

CWFPrinterDLLManager::~CWFPrinterDLLManager() {
  while (!IsEmpty()) delete static_cast<CWFPrinterDLL*>(RemoveHead());
}

int CWFPrinterDLLManager::LoadDLLs() {
  if (m_loaded) return 0;
  const auto list = WFGetPrinterDLLList();
  if (!list) return 0;
  int result = 0;
  std::string_view rest = *list;
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    const std::string name(rest.substr(0, comma));
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    HINSTANCE module = wf::loadModule(name);
    if (!module) continue;
    result = 1;
    if (auto init = wf::moduleOrdinalAs<PFNINITGUIDLL>(module, WF_FAMILY_INIT_ORDINAL))
      init(module, &::RegisterDLL);
  }
  m_loaded = TRUE;
  return result;
}

CWFPrinterDLL* CWFPrinterDLLManager::RegisterDLL(HINSTANCE module, const char* name, DWORD reserved,
                                                 PFNCREATEPRINTERICON factory, const DWORD* ids, DWORD count,
                                                 CBitmap* bitmap) {
  if (!factory || !ids || count == 0) return nullptr;
  auto* registration = new (std::nothrow) CWFPrinterDLL(module, name, reserved, factory, ids, count, bitmap);
  if (!registration) return nullptr;
  AddHead(registration);
  return registration;
}

CWFPrinterDLL* CWFPrinterDLLManager::FindPrinterDLL(DWORD key) const {
  for (POSITION p = GetHeadPosition(); p;) {
    auto* registration = static_cast<CWFPrinterDLL*>(GetNext(p));
    if (registration->SupportsFamily(key)) return registration;
  }
  return nullptr;
}

CWFPrinterDLL* RegisterDLL(HINSTANCE module, const char* name, DWORD reserved, PFNCREATEPRINTERICON factory,
                           const DWORD* ids, DWORD count, CBitmap* bitmap) {
  WFAppServices* app = WFGetApp();
  CWFPrinterDLLManager* manager = app ? app->GetPrinterDLLManager() : nullptr;
  return manager ? manager->RegisterDLL(module, name, reserved, factory, ids, count, bitmap) : nullptr;
}
