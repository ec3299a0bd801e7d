#include "tidewater/tw_status.h"

#include "framework/dc.h"
#include "framework/resources.h"

namespace tidewater {
namespace {

constexpr int kPanelFrame = 1057;
constexpr UINT kFirstLabel = 50001;
constexpr int kColumns = 2;

}  // namespace

void ShowLights(PanelLamps& lamps, const CWFTwIcon::Lights& lights) {
  for (std::size_t i = 0; i < kPanelLights; ++i)
    if (lamps[i].GetSafeHwnd()) lamps[i].SetState(static_cast<UINT>(LightState(lights[i])));
}

BEGIN_MESSAGE_MAP(PanelLabel, CWnd)
ON_WM_PAINT()
END_MESSAGE_MAP()

BOOL PanelLabel::CreateLabel(const CString& text, CFont* font, const RECT& rect, CWnd* parent) {
  m_pFont = font;
  return Create("STATIC", text.str().c_str(), WS_CHILD | WS_VISIBLE, rect.left, rect.top,
                rect.right - rect.left, rect.bottom - rect.top, parent, 0);
}

void PanelLabel::OnPaint() {
  CPaintDC dc(this);
  CFont* old = m_pFont ? dc.SelectObject(m_pFont) : nullptr;
  dc.SetBkMode(TRANSPARENT);
  CString text;
  GetWindowText(text);
  dc.TextOut(0, 0, text);
  if (old) dc.SelectObject(old);
}

}  // namespace tidewater

CTwStatus::CTwStatus(CWFTwIcon* icon) : CPrtOStatus(icon), m_pTwIcon(icon) {}

CTwStatus::~CTwStatus() {
  OpPanelDestructor();
}

void CTwStatus::OpPanelConstructor() {
  m_font.DeleteObject();
  m_font.CreateFont(-8, 0, 0, 0, 400, FALSE, FALSE, FALSE, 0, 0, 0, 0, 0, "MS Sans Serif");
}

void CTwStatus::OpPanelDestructor() {
  m_font.DeleteObject();
}

void CTwStatus::InitMiniOpPanel() {
  OpPanelConstructor();
  CRect frame;
  if (!wf::controlRect(*this, tidewater::kPanelFrame, frame)) return;
  TEXTMETRIC metrics{};
  {
    CClientDC dc(this);
    CFont* old = dc.SelectObject(&m_font);
    dc.GetTextMetrics(&metrics);
    if (old) dc.SelectObject(old);
  }
  // Two columns of three lights, each a lamp as high as a line and its name.
  const int lamp = metrics.tmHeight;
  const int row = metrics.tmHeight + metrics.tmExternalLeading + 4;
  const int column = frame.Width() / tidewater::kColumns;
  CString names[tidewater::kPanelLights];
  {
    wf::fw::ResourceHandleSwitch resources(m_pTwIcon ? m_pTwIcon->GetResourceInstance(0) : HINSTANCE{});
    for (std::size_t i = 0; i < tidewater::kPanelLights; ++i)
      names[i].LoadString(tidewater::kFirstLabel + static_cast<UINT>(i));
  }
  for (std::size_t i = 0; i < tidewater::kPanelLights; ++i) {
    const int left = frame.left + 4 + static_cast<int>(i % tidewater::kColumns) * column;
    const int top = frame.top + 4 + static_cast<int>(i / tidewater::kColumns) * row;
    const tidewater::PanelButton& b = tidewater::kPanelButtons[i];
    m_lamps[i].CreateROPButton(b.colour, b.state, CRect(left, top, left + lamp, top + lamp), this, b.id);
    const int textLeft = left + lamp + metrics.tmAveCharWidth;
    m_labels[i].CreateLabel(names[i], &m_font,
                            CRect(textLeft, top, left + column - 2, top + metrics.tmHeight), this);
  }
}

void CTwStatus::UpdateMiniOpPanel() {
  if (!m_pTwIcon) return;
  if (const auto lights = m_pTwIcon->GetROPData()) tidewater::ShowLights(m_lamps, *lights);
}
