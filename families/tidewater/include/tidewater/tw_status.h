#pragma once
// The Tidewater status page: the base status page with the printer's six
// panel lights as a small panel of lamps and names, laid out in frame 1057.
#include <array>

#include "common/small_controls.h"
#include "prtgui/prt_pages.h"
#include "tidewater/tw_icon.h"
#include "tidewater/tw_panel_patterns.h"

namespace tidewater {

// A panel lamp: its control id and the two values it is created with.
struct PanelButton {
  UINT id;
  UINT colour;
  UINT state;
};
inline constexpr std::array<PanelButton, kPanelLights> kPanelButtons = {
    {{1044, 0, 1}, {1045, 0, 0}, {1046, 1, 0}, {1047, 1, 0}, {1048, 1, 0}, {1049, 0, 0}}};

using PanelLamps = std::array<CROPButton, kPanelLights>;

// Each lamp takes its light's state.
void ShowLights(PanelLamps& lamps, const CWFTwIcon::Lights& lights);

// A light's name, drawn in the panel's font.
class PanelLabel : public CWnd {
 public:
  BOOL CreateLabel(const CString& text, CFont* font, const RECT& rect, CWnd* parent);
  void OnPaint();

 private:
  CFont* m_pFont = nullptr;
  DECLARE_MESSAGE_MAP()
};

}  // namespace tidewater

class CTwStatus : public CPrtOStatus {
 public:
  explicit CTwStatus(CWFTwIcon* icon);
  ~CTwStatus() override;

  void UpdateMiniOpPanel() override;
  void InitMiniOpPanel() override;
  void OpPanelConstructor() override;
  void OpPanelDestructor() override;
  // The lamps draw themselves: no panel picture.
  void CreateOpPanelGraphic(HDC) override {}

  CROPButton& GetLamp(int position) { return m_lamps[position]; }
  CWnd& GetLabel(int position) { return m_labels[position]; }

 protected:
  CWFTwIcon* m_pTwIcon;
  CFont m_font;
  tidewater::PanelLamps m_lamps;
  std::array<tidewater::PanelLabel, tidewater::kPanelLights> m_labels;
};
