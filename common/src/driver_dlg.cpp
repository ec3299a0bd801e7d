#include "common/driver_dlg.h"

#include <cctype>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

#include "common/app_services.h"
#include "common/oid_list.h"
#include "common/printer_icon.h"
#include "framework/controls.h"
#include "framework/global_memory.h"
#include "framework/shell_calls.h"
#include "platform/registry.h"

namespace {

constexpr std::size_t kMaxShortName = 260;
constexpr DWORD kMaxListValue = 260;

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// The pieces of a comma list, each trimmed.
std::vector<std::string_view> commaPieces(std::string_view text) {
  std::vector<std::string_view> pieces;
  while (true) {
    const auto comma = text.find(',');
    pieces.push_back(trimmed(text.substr(0, comma)));
    if (comma == std::string_view::npos) return pieces;
    text.remove_prefix(comma + 1);
  }
}

bool equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

bool listed(CWFoidList* list, const CString& name) {
  return list && list->Find(TextEqualsNoCase, const_cast<char*>(static_cast<const char*>(name)));
}

// One spooler call in the two-call form: a buffer of 2048 bytes, replaced
// once by one of the size the spooler asks for.
template <class Call>
std::uint32_t callWithBuffer(std::vector<std::byte>& buffer, Call call) {
  buffer.assign(2048, std::byte{0});
  std::uint32_t needed = 0;
  std::uint32_t rc = call(buffer.data(), static_cast<std::uint32_t>(buffer.size()), needed);
  if (rc == wf::spool::kInsufficientBuffer && needed > buffer.size()) {
    buffer.assign(needed, std::byte{0});
    rc = call(buffer.data(), static_cast<std::uint32_t>(buffer.size()), needed);
  }
  return rc;
}

// A REG_SZ value replaces `names` when it is not empty and fits 260 bytes.
void readList(wf::HKEY key, const char* value, char (&names)[1024]) {
  char data[kMaxListValue + 1] = {};
  DWORD type = 0, size = kMaxListValue;
  if (wf::RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != 0) return;
  if (type != wf::REG_SZ || size == 0 || data[0] == '\0') return;
  data[size < kMaxListValue ? size : kMaxListValue] = '\0';
  std::strcpy(names, data);
}

// The format's "%s" in turn replaced by the texts, "%%" by '%'. The texts
// are never read as format text themselves.
CString fillStrings(const CString& format, std::initializer_list<std::string_view> texts) {
  std::string out;
  auto next = texts.begin();
  const std::string_view f = format.str();
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (f[i] == '%' && i + 1 < f.size() && (f[i + 1] == 's' || f[i + 1] == '%')) {
      if (f[i + 1] == '%')
        out += '%';
      else if (next != texts.end())
        out += *next++;
      ++i;
      continue;
    }
    out += f[i];
  }
  return CString(out.c_str());
}

}  // namespace

namespace wf {

CString shortDriverName(const char* driverPath) {
  std::string_view path = driverPath ? driverPath : "";
  const auto slash = path.find_last_of("\\/");
  if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
  const auto dot = path.rfind('.');
  if (dot != std::string_view::npos) path = path.substr(0, dot);
  if (path.size() > kMaxShortName) path = path.substr(0, kMaxShortName);
  return CString(path.data(), static_cast<int>(path.size()));
}

void parseDriverNames(const char* text, CWFoidList& list) {
  for (std::string_view piece : commaPieces(text ? text : "")) {
    if (piece.empty()) return;
    HGLOBAL copy = wf::fw::globalTextCopy(piece);
    if (!copy) continue;  // no memory: that entry is skipped
    auto* item = new CWFoid(copy);
    if (!list.Add(item)) {
      GlobalFree(copy);
      delete item;
    }
  }
}

}  // namespace wf

// ---- Records ----

CWFDriverRecord::CWFDriverRecord(LPCSTR printerName, LPCSTR portName, LPCSTR shortDriverName,
                                 LPCSTR driverName, USHORT emulation)
    : m_printerName(printerName),
      m_portName(portName),
      m_shortDriverName(shortDriverName),
      m_driverName(driverName),
      m_emulation(emulation) {}

CWFDriverRecord::~CWFDriverRecord() = default;

CWFDriverList::~CWFDriverList() {
  while (!IsEmpty()) delete RemoveHead();
}

BOOL CWFDriverList::Add(CWFDriverRecord* record, ULONG flags) {
  if (flags & WFDRV_ONE_PER_EMULATION) {
    for (POSITION p = GetHeadPosition(); p;)
      if (static_cast<CWFDriverRecord*>(GetNext(p))->m_emulation == record->m_emulation) return FALSE;
  }
  AddTail(record);
  return TRUE;
}

// ---- The chooser ----

CWFDriverDlg::CWFDriverDlg(CWFPrinterIcon* icon, CWnd* parent, ULONG flags)
    : m_pIcon(icon), m_pParent(parent), m_flags(flags) {
  std::strcpy(m_postScriptNames, "CORPS");
  std::strcpy(m_pclNames, "QuorraPCL5A,CVPCL5B,CVPCL5C,CVPCL5R,CVPCL5S");
}

CWFDriverDlg::~CWFDriverDlg() {
  delete m_pPostScriptList;
  delete m_pPCLList;
}

void CWFDriverDlg::Message(UINT id) {
  CString text;
  text.LoadString(id);
  MessageBox(m_pParent ? m_pParent->GetSafeHwnd() : 0, text, AfxGetAppName(), MB_OK);
}

void CWFDriverDlg::ReadDriverLists() {
  WFAppServices* app = WFGetApp();
  const char* appKey = app ? app->GetAppRegistryKey() : nullptr;
  if (appKey) {
    const std::string path = std::string(appKey) + "\\Settings\\Drivers";
    wf::HKEY key = nullptr;
    LONG rc = wf::RegOpenKeyExA(wf::HKEY_CURRENT_USER, path.c_str(), 0, wf::KEY_READ, &key);
    if (rc != 0)
      rc = wf::RegCreateKeyExA(wf::HKEY_CURRENT_USER, path.c_str(), 0, nullptr, wf::REG_OPTION_VOLATILE,
                               wf::KEY_READ, nullptr, &key, nullptr);
    if (rc == 0) {
      readList(key, "PostScript", m_postScriptNames);
      readList(key, "PCL", m_pclNames);
      wf::RegCloseKey(key);
    }
  }
  delete m_pPostScriptList;
  delete m_pPCLList;
  m_pPostScriptList = new CWFoidList(OIDLIST_FREEGLOBAL);
  m_pPCLList = new CWFoidList(OIDLIST_FREEGLOBAL);
  wf::parseDriverNames(m_postScriptNames, *m_pPostScriptList);
  wf::parseDriverNames(m_pclNames, *m_pPCLList);
}

int CWFDriverDlg::DoModal() {
  auto* services = static_cast<WFPrinterIconServices*>(m_pIcon);
  WFPrtObj* object = m_pIcon ? services->GetPrinterObj() : nullptr;
  if (!object) return WFDRV_FAILED;
  struct GiveBack {
    WFPrinterIconServices* icon;
    ~GiveBack() { icon->ReleasePrinterObj(); }
  } giveBack{services};

  auto& spooler = wf::spool::spooler();
  std::vector<std::byte> buffer;
  std::uint32_t count = 0;
  const std::uint32_t rc =
      callWithBuffer(buffer, [&](std::byte* b, std::uint32_t size, std::uint32_t& needed) {
        return spooler.enumPrinters(5, b, size, needed, count);
      });
  if (rc != wf::spool::kSuccess) {
    Message(IDS_DRIVER_ENUM_FAILED);
    return WFDRV_FAILED;
  }
  if (count == 0) {
    Message(IDS_DRIVER_NO_PRINTERS);
    return WFDRV_FAILED;
  }
  const auto* printers = reinterpret_cast<const wf::spool::PrinterInfo5*>(buffer.data());

  if (m_flags & WFDRV_LISTED_ONLY) ReadDriverLists();

  WFPrtObj::BIDICAPABILITIES caps;
  if (!object->getBidiCaps(&caps)) return WFDRV_FAILED;

  auto examinePort = [&](std::string_view port) {
    for (std::uint32_t i = 0; i < count; ++i)
      if (equalNoCase(port, printers[i].portName)) GetDriverInfo(&printers[i]);
  };
  if (caps.redirected) {
    for (std::string_view piece : commaPieces(caps.redirections)) {
      const auto colon = piece.find(':');
      if (colon != std::string_view::npos) examinePort(piece.substr(0, colon + 1));
    }
  }
  if (caps.nameCount) {
    for (std::string_view piece : commaPieces(caps.displayName)) {
      const auto bracket = piece.find(']');
      if (bracket != std::string_view::npos) examinePort(trimmed(piece.substr(bracket + 1)));
    }
  }
  if (!caps.portName.empty()) examinePort(caps.portName);

  CWFDriverRecord* chosen = nullptr;
  if (m_drivers.GetCount() == 0) {
    Message(IDS_DRIVER_NONE_MATCHED);
    return WFDRV_FAILED;
  }
  if (m_drivers.GetCount() == 1) {
    chosen = static_cast<CWFDriverRecord*>(m_drivers.GetHead());
  } else {
    CWFChooseDriverDlg dialog(m_pParent, &m_drivers, m_pIcon);
    if (dialog.DoModal() != IDOK || !dialog.GetSelected()) return WFDRV_CANCELLED;
    chosen = dialog.GetSelected();
  }
  m_friendlyName = chosen->m_printerName;
  m_portName = chosen->m_portName;
  m_shortDriverName = chosen->m_shortDriverName;
  m_emulation = chosen->m_emulation;
  return WFDRV_CHOSEN;
}

void CWFDriverDlg::GetDriverInfo(const wf::spool::PrinterInfo5* printer) {
  auto& spooler = wf::spool::spooler();
  wf::spool::PrinterHandle handle = 0;
  if (spooler.openPrinter(printer->printerName, handle) != wf::spool::kSuccess) return;
  std::vector<std::byte> buffer;
  const std::uint32_t rc =
      callWithBuffer(buffer, [&](std::byte* b, std::uint32_t size, std::uint32_t& needed) {
        return spooler.getPrinterDriver(handle, 2, b, size, needed);
      });
  if (rc == wf::spool::kSuccess) {
    const auto* info = reinterpret_cast<const wf::spool::DriverInfo2*>(buffer.data());
    const CString shortName = wf::shortDriverName(info->driverPath);
    USHORT emulation = WFDRV_EMUL_ANY;
    if (m_flags & WFDRV_LISTED_ONLY) {
      emulation = listed(m_pPostScriptList, shortName) ? WFDRV_EMUL_POSTSCRIPT
                  : listed(m_pPCLList, shortName)      ? WFDRV_EMUL_PCL
                                                       : WFDRV_EMUL_NONE;
    }
    if ((m_flags & WFDRV_NO_PCL) && emulation == WFDRV_EMUL_PCL) emulation = WFDRV_EMUL_NONE;
    if (emulation != WFDRV_EMUL_NONE) {
      auto* record =
          new CWFDriverRecord(printer->printerName, printer->portName, shortName, info->name, emulation);
      if (!m_drivers.Add(record, m_flags)) delete record;
    }
  }
  spooler.closePrinter(handle);
}

HANDLE CWFDriverDlg::GetPrinterHandle() {
  wf::spool::PrinterHandle handle = 0;
  if (wf::spool::spooler().openPrinter(m_friendlyName.str(), handle) != wf::spool::kSuccess)
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(handle));
}

// ---- "Choose Driver" ----

BEGIN_MESSAGE_MAP(CWFChooseDriverDlg, CDialog)
ON_LBN_SELCHANGE(IDC_DRIVER_LIST, OnSelChange)
END_MESSAGE_MAP()

CWFChooseDriverDlg::CWFChooseDriverDlg(CWnd* parent, CWFDriverList* records, CWFPrinterIcon* icon)
    : CDialog(IDD_CHOOSE_DRIVER, parent), m_pRecords(records), m_pIcon(icon) {}

CListBox* CWFChooseDriverDlg::list() {
  return static_cast<CListBox*>(GetDlgItem(IDC_DRIVER_LIST));
}

BOOL CWFChooseDriverDlg::OnInitDialog() {
  CListBox* box = list();
  CString format;
  format.LoadString(IDS_DRIVER_LINE);
  if (box) {
    box->ResetContent();
    for (POSITION p = m_pRecords->GetHeadPosition(); p;) {
      auto* record = static_cast<CWFDriverRecord*>(m_pRecords->GetNext(p));
      const CString line = fillStrings(format, {record->m_driverName.str(), record->m_portName.str()});
      const int index = box->AddString(line);
      if (index >= 0) box->SetItemData(index, reinterpret_cast<DWORD_PTR>(record));
    }
    if (!m_pRecords->IsEmpty()) m_pSelected = static_cast<CWFDriverRecord*>(m_pRecords->GetHead());
    int selection = 0;
    const char* last = m_pIcon ? m_pIcon->GetLastDriver() : nullptr;
    if (last) {
      for (int i = 0; i < box->GetCount(); ++i) {
        auto* record = reinterpret_cast<CWFDriverRecord*>(box->GetItemData(i));
        if (equalNoCase(record->m_driverName.str(), last)) {
          selection = i;
          break;
        }
      }
    }
    box->SetCurSel(selection);
    if (box->GetCurSel() >= 0) {
      m_pSelected = reinterpret_cast<CWFDriverRecord*>(box->GetItemData(box->GetCurSel()));
      if (m_pIcon) m_pIcon->SetLastDriver(m_pSelected->m_driverName);
    }
  }
  return CDialog::OnInitDialog();
}

void CWFChooseDriverDlg::OnSelChange() {
  CListBox* box = list();
  if (!box || box->GetCurSel() < 0) return;
  m_pSelected = reinterpret_cast<CWFDriverRecord*>(box->GetItemData(box->GetCurSel()));
  if (m_pIcon && m_pSelected) m_pIcon->SetLastDriver(m_pSelected->m_driverName);
}
