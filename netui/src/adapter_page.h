#pragma once
// "Adapter Settings": the page of a printer behind a network print adapter.
// It shows and changes the adapter's address and offers Show Adapter Info,
// Reset Adapter and Flash Network Card; the port pages (port_pages.h) derive
// from it. Nothing is stored here: every operation reads and writes the
// adapter's items through the broker.
#include <cstdint>

#include "adapter_password.h"
#include "framework/cstring.h"
#include "transports/common/net_items.h"
#include "wf_dialog.h"

namespace wf::netui {

// 12 upper-case hexadecimal digits, first byte first.
CString adapterAddressText(const uint8_t (&address)[6]);

class PConAdIn : public CWFPropertyPage {
  DECLARE_DYNCREATE(PConAdIn)
 public:
  explicit PConAdIn(int templateId = 2142);

  // Given by the factory before the page is shown.
  void SetAdapterValues(wf::net::NETADAPTERPARMS record, USHORT printer, UINT protocol);

  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  const DWORD* GetHelpIDs() override;
  // The notebook's OK and Apply Now: the page's own Apply.
  BOOL OnApply() override;

  // TRUE when `text` may be sent as the adapter's address; shows 2143 or
  // 2206 when not.
  BOOL ValidateAdapterAddress(const CString& text);

  // Commands.
  void ShowAdapterInfo();
  void OnResetAdapter();
  void FlashNetworkCard();

  int m_nPageKind = 1;  // 1 base, 2 7390 parallel, 3 XLe parallel, 4 7390 serial, 5 XLe serial
  UniversalAddress m_uaa{};
  CString m_strAddress;
  wf::net::NETADAPTERPARMS m_record{};
  USHORT m_nPrinter = 0;
  UINT m_nProtocol = 0;
  CString m_strAppliedAddress;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  // Writes the members into the controls without their change handlers running.
  void refreshControls();
  // The control `id` enabled or not; nothing when the template lacks it.
  void enableItem(int id, BOOL enable);
  void focusItem(int id);
  void enableApplyCancel(BOOL enable);
  bool applyEnabled();
  // True while the page writes its controls: their change handlers stand aside.
  bool writing_ = false;

 private:
  // The page's Apply: a failed or refused one leaves the record as it was.
  void applyPage();
  void OnAddressUpdate();
  void OnShowAdapterInfoCmd() { ShowAdapterInfo(); }
  void OnResetAdapterCmd() { OnResetAdapter(); }
  void OnFlashCmd() { FlashNetworkCard(); }
  bool applied_ = false;  // set by a successful item-129 set
  DECLARE_MESSAGE_MAP()
};

}  // namespace wf::netui
