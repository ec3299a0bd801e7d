#include "app/more_info_dlg.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/about_dlg.h"
#include "app/wf_app.h"
#include "common/printer_dll.h"
#include "framework/dc.h"
#include "framework/ddx.h"
#include "platform/module.h"

namespace {

constexpr UINT kMoreInfoTemplate = 154;
constexpr UINT kListControl = 1088;
constexpr UINT kFileHeading = 38;
constexpr UINT kVersionHeading = 39;
constexpr UINT kMoreInfoBlockPrefix = 100;
constexpr int kFileColumnChars = 35;
constexpr std::size_t kMaxPath = 259;
constexpr const char* kVersionName = "FileVersion";

// The record's entry of each network bit, in the order the rows are made.
struct TransportRow {
  UINT bit;
  int entry;
  bool netware;
};
constexpr TransportRow kTransportRows[] = {
    {0x1, 1, true}, {0x2, 3, false}, {0x4, 4, false}, {0x8, 2, false}, {0x10, 5, false},
};

// Where the loader finds a module the system names; empty for a name that
// is no module name or names nothing.
std::string moduleFile(const std::string& name) {
  if (name.empty() || name.size() > kMaxPath) return {};
  const auto found = wf::findModuleFile(name);
  if (!found) return {};
  std::string path = found->string();
  return path.size() > kMaxPath ? std::string() : path;
}

std::string versionText(const BCEVERSIONEXENTRY& entry, bool netware) {
  char text[64];
  std::snprintf(
      text, sizeof text, netware ? "%u.%02u.%02u,%02u" : "%u.%02u.%02u.%02u",
      static_cast<unsigned>(entry.fileVersionMS >> 16), static_cast<unsigned>(entry.fileVersionMS & 0xFFFF),
      static_cast<unsigned>(entry.fileVersionLS >> 16), static_cast<unsigned>(entry.fileVersionLS & 0xFFFF));
  return text;
}

std::string entryFileName(const BCEVERSIONEXENTRY& entry) {
  return std::string(entry.fileName, strnlen(entry.fileName, sizeof entry.fileName));
}

}  // namespace

CMoreInfoDlg::CMoreInfoDlg(CWnd* parent) : CDialog(kMoreInfoTemplate, parent) {}

void CMoreInfoDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Control(dx, kListControl, m_list);
}

std::int32_t CMoreInfoDlg::GetBrokerVersions(BCEVERSIONEX* record) {
  return BceGetVersionEx(record);
}

BOOL CMoreInfoDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  TEXTMETRIC metrics{};
  {
    CClientDC dc(this);
    dc.GetTextMetrics(&metrics);
  }
  RECT area{};
  m_list.GetClientRect(&area);
  const int fileWidth = kFileColumnChars * metrics.tmAveCharWidth;
  CString heading;
  heading.LoadString(kFileHeading);
  m_list.InsertColumn(0, heading, LVCFMT_LEFT, fileWidth);
  heading.LoadString(kVersionHeading);
  m_list.InsertColumn(1, heading, LVCFMT_LEFT,
                      std::max(0, static_cast<int>(area.right - area.left) - fileWidth));

  CString prefix;
  prefix.LoadString(kMoreInfoBlockPrefix);
  const std::string query = prefix.str() + kVersionName;
  if (const auto list = WFGetPrinterDLLList()) {
    std::size_t start = 0;
    while (start <= list->size()) {
      const std::size_t comma = list->find(',', start);
      const std::size_t end = comma == std::string::npos ? list->size() : comma;
      addModuleRow(list->substr(start, end - start).c_str(), query);
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  addModuleRow("COMMON.DLL", query);
  addModuleRow("SPOOLOAK.DLL", query);
  addBrokerRows();
  return TRUE;
}

void CMoreInfoDlg::addModuleRow(const char* name, const std::string& query) {
  const std::string file = moduleFile(name);
  if (file.empty()) return;
  if (auto version = WFReadFileVersionText(file.c_str(), query))
    AddVersionItem(file.c_str(), version->c_str());
}

void CMoreInfoDlg::addBrokerRows() {
  BCEVERSIONEX record;
  std::memset(&record, 0, sizeof record);
  if (GetBrokerVersions(&record) != 0) return;
  auto add = [this](const BCEVERSIONEXENTRY& entry, bool netware) {
    const std::string name = entryFileName(entry);
    std::string file = moduleFile(name);
    if (file.empty()) file = name;
    AddVersionItem(file.c_str(), versionText(entry, netware).c_str());
  };
  add(record.entries[0], false);
  CWFApp* app = WFGetWFApp();
  const UINT nets = app ? app->GetNetsAvailable() : 0;
  for (const TransportRow& row : kTransportRows) {
    if (nets & row.bit) add(record.entries[row.entry], row.netware);
  }
}

void CMoreInfoDlg::AddVersionItem(LPCSTR file, LPCSTR version) {
  LVFINDINFO find;
  find.flags = LVFI_STRING;
  find.psz = file;
  int index = m_list.FindItem(&find);
  if (index < 0) index = m_list.InsertItem(0, file);
  if (index >= 0) m_list.SetItemText(index, 1, version);
}
