#pragma once
// "Adapter Information": what the page's copy of the adapter record says,
// read-only. AdInfo for the single- and multi-port adapters, AdInfoX for
// the 7390.
#include <cstddef>

#include "framework/cstring.h"
#include "wf_dialog.h"

namespace wf::netui {

// A record's text field up to its first zero byte, never past `size`.
CString recordText(const char* field, std::size_t size);
template <std::size_t N>
CString recordText(const char (&field)[N]) {
  return recordText(field, N);
}

class AdInfo : public CWFDialog {
 public:
  explicit AdInfo(CWnd* parent = nullptr);
  void DoDataExchange(CDataExchange* dx) override;
  const DWORD* GetHelpIDs() override;

  CString m_strModel;     // 1134
  CString m_strUaa;       // 1022
  CString m_strLaa;       // 1060
  CString m_strFirmware;  // 1062
  CString m_strType;      // 1059
  CString m_strPart;      // 1133
};

class AdInfoX : public CWFDialog {
 public:
  explicit AdInfoX(CWnd* parent = nullptr);
  void DoDataExchange(CDataExchange* dx) override;
  const DWORD* GetHelpIDs() override;

  CString m_strFirmware;     // 1062
  CString m_strLaa;          // 1060
  CString m_strModel;        // 1061
  CString m_strType;         // 1059
  CString m_strFlash;        // 1023
  CString m_strExtendedLaa;  // 1063
};

}  // namespace wf::netui
