// The application object: construction and what it owns.
#include "app/wf_app.h"

#include "app/alert_manager.h"
#include "app/splash_wnd.h"
#include "platform/module.h"
#include "wfprtmgr/wfprtmgr.h"

CWFApp::CWFApp() : CWinApp("Wrenfield") {
  m_programDir = wf::moduleDirectory().string();
  m_enumCounter.create();
  SetWaveDefaults();
}

CWFApp::~CWFApp() {
  stopWorkQueue();
}

WFAlertManagerServices* CWFApp::GetAlertManager() {
  return m_alertManager.get();
}

WFWindowListServices* CWFApp::GetWindowList() {
  return nullptr;
}

BOOL CWFApp::Traverse(BOOL (*)(CWFPrinterIcon*, void*), void*) {
  return FALSE;
}

BOOL CWFApp::InitInstance() {
  return FALSE;
}

int CWFApp::ExitInstance() {
  return CWinApp::ExitInstance();
}

UINT CWFApp::ExitInstanceThreadFunc(void*) {
  return 0;
}

CWFApp* WFGetWFApp() {
  return dynamic_cast<CWFApp*>(AfxGetApp());
}
