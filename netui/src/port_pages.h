#pragma once
// The adapter pages of a port, each extending the one before:
// PConAdP4 (7390 parallel: printer timeout and print mode), PConAdPR
// (multi-port parallel: NPAP mode, Advanced Settings, Set Password),
// PConAdS4 (7390 serial: line settings), PConAdSR (multi-port serial).
#include "adapter_page.h"
#include "framework/controls.h"

namespace wf::netui {

// FALSE, after notice 2144 showing `maximum`, when `timeout` exceeds it.
BOOL CheckTimeout(long timeout, uint16_t maximum, CWnd* parent);

class PConAdP4 : public PConAdIn {
  DECLARE_DYNCREATE(PConAdP4)
 public:
  explicit PConAdP4(int templateId = 2134);
  void SetAdapterValues(wf::net::NETADAPTERPARMS record, USHORT printer, UINT protocol);
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

  CComboBox m_cbPrintMode;  // 1018
  int m_nTimeout = 0;       // seconds, 1058

 protected:
  bool parallelPort() const { return m_record.PortType == wf::net::kPortTypeParallel; }
  uint16_t maximumTimeout() const;
  void OnSettingChanged() { enableApplyCancel(TRUE); }

 private:
  void OnTimeoutUpdate();
  void selectPrintMode();
  DECLARE_MESSAGE_MAP()
};

class PConAdPR : public PConAdP4 {
  DECLARE_DYNCREATE(PConAdPR)
 public:
  explicit PConAdPR(int templateId = 2138);
  void SetAdapterValues(wf::net::NETADAPTERPARMS record, USHORT printer, UINT protocol);
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

  // Commands of the multi-port pages.
  void EditAdvancedSettings();
  void SetAdapterPassword();

  CString m_strNpapActive;  // 1019
  int m_nNpap = -1;         // 1023 On, 1024 Auto, 1025 Off

 private:
  void npapFromRecord();
  void OnAdvancedCmd() { EditAdvancedSettings(); }
  void OnPasswordCmd() { SetAdapterPassword(); }
  DECLARE_MESSAGE_MAP()
};

class PConAdS4 : public PConAdPR {
  DECLARE_DYNCREATE(PConAdS4)
 public:
  explicit PConAdS4(int templateId = 2136);
  void SetAdapterValues(wf::net::NETADAPTERPARMS record, USHORT printer, UINT protocol);
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

  CComboBox m_cbStopBits;  // 1022
  CComboBox m_cbParity;    // 1021
  CComboBox m_cbDataBits;  // 1020
  CComboBox m_cbBaudRate;  // 1055
  int m_nHandshake = -1;   // 1056 DTR, 1057 XON/XOFF

 private:
  void selectSerialValues();
  DECLARE_MESSAGE_MAP()
};

class PConAdSR : public PConAdS4 {
  DECLARE_DYNCREATE(PConAdSR)
 public:
  explicit PConAdSR(int templateId = 2147);
  void SetAdapterValues(wf::net::NETADAPTERPARMS record, USHORT printer, UINT protocol);
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

  int m_nSerialNpap = -1;  // 1246 On, 1247 Off

 private:
  void serialNpapFromRecord();
  DECLARE_MESSAGE_MAP()
};

}  // namespace wf::netui
