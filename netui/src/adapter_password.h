#pragma once
// The password of a multi-port adapter: held by the adapter scrambled as
// item 131 (8 bytes, a first byte of 0 for none), unscrambled and compared
// here. The scrambling is keyed by bytes 4 and 5 of the adapter's universal
// address and uses the two tables of adapter_password_tables.h.
#include <array>
#include <cstdint>
#include <string>

#include "framework/cstring.h"
#include "framework/dialog.h"
#include "wf_dialog.h"

namespace wf::netui {

using UniversalAddress = std::array<uint8_t, 6>;
using ScrambledPassword = std::array<uint8_t, 8>;

// An empty text gives 8 zero bytes; others are upper-cased and cut to 8.
ScrambledPassword EncodeAdapterPassword(const std::string& text, const UniversalAddress& uaa);
// At most 8 characters, up to the first zero byte; empty when in[0] is 0.
std::string DecodeAdapterPassword(const ScrambledPassword& in, const UniversalAddress& uaa);

// Passes without asking for an adapter already verified since the last
// adapter page was made; else reads item 131 and, when the adapter has a
// password, prompts (2163) until it is typed or the user cancels. Binds the
// broker only when no outer operation has.
BOOL CheckAdapterPassword(USHORT printer, UINT protocol, const UniversalAddress& uaa, CWnd* page);
// Forgets every verified adapter; each adapter page's construction does.
void forgetVerifiedAdapters();

// "Set Password": old, new and verify passwords of at most 8 characters.
class AdSetPwd : public CWFDialog {
 public:
  explicit AdSetPwd(CWnd* parent = nullptr);
  const DWORD* GetHelpIDs() override;
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  void OnOK() override;

  CString m_strCurrent;  // decoded from the adapter, set by the caller
  CString m_strNew;
  CString m_strOld;
  CString m_strVerify;

 private:
  void OnNewUpdate();
  void OnVerifyUpdate();
  void OnOldUpdate();
  // Keeps only "0-9A-Z" in the edit `id` whose member is `text`.
  void filterPasswordEdit(int id, CString& text);
  bool writing_ = false;
  DECLARE_MESSAGE_MAP()
};

// The Set Password command of a page: reads item 131, runs AdSetPwd until the
// old password matches and new and verify agree, and sets the new encoding.
void SetAdapterPassword(USHORT printer, UINT protocol, const UniversalAddress& uaa, CWnd* page);

}  // namespace wf::netui
