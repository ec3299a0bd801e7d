#pragma once
// The Tidewater remote operator-panel page: the six lights full size, what
// their pattern means, a short or long press of the panel's button, and
// Quick Setup files received from or sent to the printer.
#include "prtgui/wf_property_page.h"
#include "tidewater/tw_status.h"

class CTwOpPanel : public CWFPropertyPage {
 public:
  explicit CTwOpPanel(CWFTwIcon* icon);

  const DWORD* GetHelpIDs() override;
  // Towards the controls, the lights and the text of their pattern.
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  BOOL OnSetActive() override;

  void OnShortPress();
  void OnLongPress();
  void OnQuickSetupReceive();
  void OnQuickSetupSend();
  LRESULT OnQSDone(WPARAM wParam, LPARAM lParam);

  CROPButton& GetLamp(int position) { return m_lamps[position]; }
  const CString& GetMessageText() const { return m_message; }

 protected:
  void UpdateLights();
  void Press(DWORD code, const char* label);

  CWFTwIcon* m_pIcon;
  CString m_message;
  tidewater::PanelLamps m_lamps;
  DECLARE_MESSAGE_MAP()
};
