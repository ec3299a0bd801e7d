#include "meridian/mer_oppanel.h"

#include "common/printer_icon.h"
#include "framework/dc.h"
#include "framework/gdi.h"
#include "framework/resources.h"

namespace {

constexpr UINT kPanelBitmap = 2000;
constexpr UINT kLeftLabel = 547, kRightLabel = 548;

}  // namespace

void CMerOOpPanel::PositionROPButtons() {
  CWnd* first = GetDlgItem(1037);
  if (!first) return;
  CRect size;
  first->GetWindowRect(&size);
  const int w = size.Width(), h = size.Height();
  static constexpr struct {
    int id, x, y, widen;
  } places[] = {{1037, 318, 28, -14}, {1038, 318, 56, 9},    {1039, 318, 84, -14},
                {1040, 318, 112, 9},  {1042, 251, 156, -14}, {1041, 318, 156, -14}};
  for (const auto& p : places)
    if (CWnd* button = GetDlgItem(p.id))
      button->SetWindowPos(0, p.x, p.y, w + p.widen, h, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void CMerOOpPanel::DrawOpPanel(HDC hdc) {
  CDC* target = CDC::FromHandle(hdc);
  if (!target) return;
  CBitmap panel;
  CString left, right;
  {
    // The family's picture and labels, not those of the generic library.
    wf::fw::ResourceHandleSwitch resources(m_pIcon ? m_pIcon->GetResourceInstance(0) : HINSTANCE{});
    if (!panel.LoadBitmap(kPanelBitmap)) return;
    left.LoadString(kLeftLabel);
    right.LoadString(kRightLabel);
  }
  CDC memory;
  memory.CreateCompatibleDC(target);
  CBitmap* oldBitmap = memory.SelectObject(&panel);
  const CSize size = panel.GetSize();
  CFont font;
  font.CreateFont(-12, 0, 0, 0, 400, FALSE, FALSE, FALSE, 0, 4, 0x20, 2, 0x31, "Arial Bold");
  CFont* oldFont = memory.SelectObject(&font);
  memory.SetBkMode(TRANSPARENT);
  CRect leftRect(249, 180, 301, 205), rightRect(311, 180, 370, 205);
  memory.DrawText(left, &leftRect, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
  memory.DrawText(right, &rightRect, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
  target->BitBlt(0, 0, size.cx, size.cy, &memory, 0, 0, SRCCOPY);
  memory.SelectObject(oldFont);
  memory.SelectObject(oldBitmap);
}
