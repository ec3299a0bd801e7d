// The status page: model, printer picture with its options, feature tree,
// event list, mini operator panel, and the Continue and Reset workers.
#include <cstdint>

#include "common/app_services.h"
#include "common/notebook_messages.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "common/text_helpers.h"
#include "framework/ddx.h"
#include "framework/resources.h"
#include "page_common.h"
#include "prtgui/printer_picture.h"
#include "prtgui/prt_pages.h"

using wf::prtgui::createPanelFont;
using wf::prtgui::drawPanelLines;
using wf::prtgui::handleParam;
using wf::prtgui::kModernDefaultPitch;
using wf::prtgui::kPanelGreen;

namespace {

constexpr int kEventList = 1007;
constexpr int kFeatureTree = 1024;
constexpr int kModel = 1006;
constexpr int kContinue = 1030;
constexpr int kReset = 1031;
constexpr int kPicturePlace = 1005;
constexpr int kPicture = 1001;
constexpr int kPanelPlace = 1008;
constexpr int kMiniPanel = 107;
constexpr UINT kPrinterBitmap = 3600;
constexpr UINT kPanelFormatBitmap = 128;
constexpr int kLineChars = 20;

CWFPrinterIcon* findStatusIcon(void* handle) {
  return wf::prtgui::findIcon(reinterpret_cast<std::uintptr_t>(handle));
}

// Sends one panel command; the page hears of its effect through the next alert.
template <class Command>
UINT sendPanelCommand(void* handle, Command command) {
  CWFPrinterIcon* icon = findStatusIcon(handle);
  if (!icon) return 0;
  if (WFPrtObj* object = icon->GetPrinterObj()) {
    icon->BCEReturnCheck(command(object));
    icon->ReleasePrinterObj();
  }
  icon->ThreadUnlock();
  return 0;
}

// A memory context compatible with the page's, its bitmap and font put back on leaving.
struct MemoryContext {
  explicit MemoryContext(CWnd* window) : screen(window) { dc.CreateCompatibleDC(&screen); }
  ~MemoryContext() {
    if (oldFont) dc.SelectObject(oldFont);
    if (oldBitmap) dc.SelectObject(oldBitmap);
  }
  void select(CBitmap& bitmap) {
    CBitmap* previous = dc.SelectObject(&bitmap);
    if (!oldBitmap) oldBitmap = previous;
  }
  CClientDC screen;
  CDC dc;
  CBitmap* oldBitmap = nullptr;
  CFont* oldFont = nullptr;
};

}  // namespace

namespace wf {

bool controlRect(CWnd& page, int id, CRect& rect) {
  CWnd* control = page.GetDlgItem(id);
  if (!control) return false;
  control->GetWindowRect(&rect);
  CPoint topLeft(rect.left, rect.top), bottomRight(rect.right, rect.bottom);
  page.ScreenToClient(&topLeft);
  page.ScreenToClient(&bottomRight);
  rect = CRect(topLeft.x, topLeft.y, bottomRight.x, bottomRight.y);
  return true;
}

std::vector<std::string> panelLines(const std::string& text) {
  std::vector<std::string> lines(4);
  std::size_t at = 0;
  for (auto& line : lines) {
    for (int n = 0; n < kLineChars && at < text.size(); ++n) {
      std::size_t end = at + 1;
      while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
      line.append(text, at, end - at);
      at = end;
    }
  }
  return lines;
}

}  // namespace wf

BEGIN_MESSAGE_MAP(CPrtOStatus, CWFPropertyPage)
ON_BN_CLICKED(kContinue, OnROPContinue)
ON_BN_CLICKED(kReset, OnROPReset)
END_MESSAGE_MAP()

CPrtOStatus::~CPrtOStatus() {
  m_featureImages.DeleteImageList();
  OpPanelDestructor();
}

BOOL CPrtOStatus::OnInitDialog() {
  InitGraphicStatus();
  CWFPropertyPage::OnInitDialog();
  InitMiniOpPanel();
  if (m_featureImages.Create(16, 16, ILC_MASK, 1, 1)) {
    CBitmap strip;
    if (strip.LoadBitmap("FEATURES_IMAGELIST")) m_featureImages.Add(&strip, RGB(192, 192, 192));
    if (m_featureTree.GetSafeHwnd()) m_featureTree.SetImageList(&m_featureImages, TVSIL_NORMAL);
  }
  FillEventList();
  FillFeatureTree();
  return TRUE;
}

void CPrtOStatus::DoDataExchange(CDataExchange* dx) {
  CWFPropertyPage::DoDataExchange(dx);
  ExchangeGraphicInfo(dx);
  UpdateCustomData(dx);
  DDX_Control(dx, kEventList, m_eventList);
  DDX_Control(dx, kFeatureTree, m_featureTree);
  DDX_Text(dx, kModel, m_model);
}

void CPrtOStatus::UpdateCustomData(CDataExchange* dx) {
  if (dx->m_bSaveAndValidate) return;
  CreatePrinterGraphic();
  FillFeatureTree();
  FillEventList();
  UpdateMiniOpPanel();
  if (!m_pIcon) return;
  if (CWnd* button = GetDlgItem(kContinue)) button->EnableWindow(m_pIcon->EnableContinueAndReset(TRUE) != 0);
  if (CWnd* button = GetDlgItem(kReset)) button->EnableWindow(m_pIcon->EnableContinueAndReset(FALSE) != 0);
}

void CPrtOStatus::ExchangeGraphicInfo(CDataExchange* dx) {
  if (!dx->m_bSaveAndValidate && m_eventList.GetSafeHwnd()) m_eventList.SetCurSel(0);
}

BOOL CPrtOStatus::OnSetActive() {
  if (m_pIcon && !m_pIcon->GetPanelAlertsActive()) {
    m_pIcon->ActivatePanelAlerts(TRUE);
    QueueWorker(&CPrtOStatus::UpdateROPData, "UpdateROPData() from CPrtOStatus::OnSetActive()");
  }
  return CWFPropertyPage::OnSetActive();
}

void CPrtOStatus::QueueWorker(UINT (*worker)(void*), const char* name) {
  WFAppServices* app = WFGetApp();
  if (!app || !m_pIcon) return;
  app->BeginThread(worker, handleParam(m_pIcon), 0, m_pIcon->BuildDescriptiveString(name));
}

void CPrtOStatus::FillEventList() {
  if (!m_eventList.GetSafeHwnd()) return;
  m_eventList.ResetContent();
  if (!m_pIcon) return;
  // The icon hands out entries of its own snapshot, so the alert thread may go on.
  for (CWFAlertHistoryEntry* entry = m_pIcon->GetNextAlertHistory(FALSE); entry;
       entry = m_pIcon->GetNextAlertHistory(TRUE))
    m_eventList.AddString(entry->GetDescription());
  if (m_pIcon->GetAnyActiveAlerts()) m_eventList.SetCurSel(0);
}

// ---- mini operator panel ----

void CPrtOStatus::OpPanelConstructor() {
  m_panelFont.DeleteObject();
  createPanelFont(m_panelFont, -14, kModernDefaultPitch, "Courier New");
}

void CPrtOStatus::OpPanelDestructor() {
  m_panelFont.DeleteObject();
}

void CPrtOStatus::CreateOpPanelGraphic(HDC hdc) {
  CDC* dc = CDC::FromHandle(hdc);
  if (!dc) return;
  CFont* oldFont = dc->SelectObject(&m_panelFont);
  TEXTMETRIC metrics;
  dc->GetTextMetrics(&metrics);
  const int width = kLineChars * metrics.tmAveCharWidth + 10;
  const int height = 5 * metrics.tmHeight + metrics.tmExternalLeading + 4;
  BITMAP format{};
  {
    CBitmap sample;
    if (sample.LoadBitmap(kPanelFormatBitmap)) sample.GetBitmap(&format);
  }
  // Kept by the page: the caller restores the context's own bitmap before the next drawing.
  m_panelImage.DeleteObject();
  const BOOL made = format.bmBitsPixel ? m_panelImage.CreateBitmap(width, height, format.bmPlanes,
                                                                   format.bmBitsPixel, nullptr)
                                       : m_panelImage.CreateCompatibleBitmap(dc, width, height);
  if (!made) {
    dc->SelectObject(oldFont);
    return;
  }
  dc->SelectObject(&m_panelImage);
  dc->FillSolidRect(0, 0, width, height, kPanelGreen);
  dc->SetBkMode(TRANSPARENT);
  drawPanelLines(*dc, m_pIcon, 4, metrics.tmHeight / 2, metrics.tmHeight);
}

void CPrtOStatus::InitMiniOpPanel() {
  OpPanelConstructor();
  CRect place;
  if (!wf::controlRect(*this, kPanelPlace, place)) return;
  MemoryContext memory(this);
  memory.oldFont = memory.dc.GetCurrentFont();
  memory.oldBitmap = memory.dc.GetCurrentBitmap();
  CreateOpPanelGraphic(memory.dc.GetSafeHdc());
  CBitmap* panel = memory.dc.GetCurrentBitmap();
  if (!panel || panel == memory.oldBitmap) return;
  const CSize size = panel->GetSize();
  m_miniPanel.CreateBMPControl(memory.dc.GetSafeHdc(), 3,
                               CRect(place.left, place.top, place.left + size.cx, place.top + size.cy), this,
                               kMiniPanel);
}

void CPrtOStatus::UpdateMiniOpPanel() {
  if (!m_miniPanel.GetSafeHwnd()) return;
  MemoryContext memory(this);
  memory.oldFont = memory.dc.GetCurrentFont();
  memory.oldBitmap = memory.dc.GetCurrentBitmap();
  CreateOpPanelGraphic(memory.dc.GetSafeHdc());
  if (memory.dc.GetCurrentBitmap() != memory.oldBitmap) m_miniPanel.UpdateImage(memory.dc.GetSafeHdc());
}

// ---- Continue, Reset and the panel data ----

void CPrtOStatus::OnROPContinue() {
  QueueWorker(&CPrtOStatus::ROPContinue, "ROPContinue() from CPrtOStatus::OnROPContinue()");
}

void CPrtOStatus::OnROPReset() {
  QueueWorker(&CPrtOStatus::ROPReset, "ROPReset() from CPrtOStatus::OnROPReset()");
}

UINT CPrtOStatus::ROPContinue(void* handle) {
  return sendPanelCommand(handle, [](WFPrtObj* object) { return object->bidiROPContinue(); });
}

UINT CPrtOStatus::ROPReset(void* handle) {
  return sendPanelCommand(handle, [](WFPrtObj* object) { return object->bidiROPReset(); });
}

UINT CPrtOStatus::UpdateROPData(void* handle) {
  CWFPrinterIcon* icon = findStatusIcon(handle);
  if (!icon) return 0;
  icon->UpdateOpPanelText();
  if (HWND notebook = icon->GetOpenDlgHandle()) ::PostMessage(notebook, WM_WF_OPPANEL, 0, 0);
  icon->ThreadUnlock();
  return 0;
}

// ---- printer picture ----

BOOL CPrtOStatus::LoadPicture(CBitmap& bitmap, UINT id) {
  HINSTANCE library = m_pIcon ? m_pIcon->GetResourceInstance(id) : HINSTANCE{};
  wf::fw::ResourceHandleSwitch resources(library);
  return bitmap.LoadBitmap(id);
}

void CPrtOStatus::InitGraphicStatus() {
  CBitmap printer;
  CRect place;
  if (!LoadPicture(printer, kPrinterBitmap) || !wf::controlRect(*this, kPicturePlace, place)) return;
  const CSize size = printer.GetSize();
  const int left = place.left + (place.Width() - size.cx) / 2;
  const int top = place.top + 3 * GetSystemMetrics(SM_CYFRAME);
  m_picture.CreateBMPControl(printer, 0, CRect(left, top, left + size.cx + 4, top + size.cy + 4), this,
                             kPicture);
}

void CPrtOStatus::CreatePrinterGraphic() {
  const UINT hardError = m_pIcon ? m_pIcon->Get1stHardErrorBMP() : 0;
  const UINT id = hardError ? hardError : kPrinterBitmap;
  ShowPrinterPicture(id, id == kPrinterBitmap);
}

BOOL CPrtOStatus::ShowPrinterPicture(UINT id, BOOL decode) {
  CBitmap picture;
  if (!LoadPicture(picture, id)) return FALSE;
  MemoryContext memory(this);
  memory.select(picture);
  if (decode) {
    const CSize size = picture.GetSize();
    DecodeImage(&memory.dc, CPoint(size.cx, size.cy));
  }
  if (m_picture.GetSafeHwnd()) m_picture.UpdateImage(memory.dc.GetSafeHdc());
  return TRUE;
}

int CPrtOStatus::DecodeImage(CDC* dc, CPoint size) {
  if (!m_pIcon) return 0;
  const wf::PicturePlan plan = wf::decodeImageIds(wf::pictureOptionsOf(*m_pIcon));
  for (const wf::OptionPicture& option : plan.pictures)
    AddOptionGraphic(dc, option.id, size, option.top, option.left);
  return plan.combined ? 1 : 0;
}

void CPrtOStatus::AddOptionGraphic(CDC* dc, UINT bitmapId, CPoint size, BOOL top, BOOL left) {
  CBitmap option;
  if (!dc || !LoadPicture(option, bitmapId)) return;
  const CSize own = option.GetSize();
  CDC source;
  source.CreateCompatibleDC(dc);
  CBitmap* old = source.SelectObject(&option);
  dc->BitBlt(left ? 0 : size.x - own.cx, top ? 0 : size.y - own.cy, own.cx, own.cy, &source, 0, 0, SRCCOPY);
  if (old) source.SelectObject(old);
}

UINT CPrtOStatus::GetPaperTypeImage(WFPrtObj::PAPERTYPE type) {
  switch (static_cast<int>(type)) {
    case 2:
      return 0;
    case 3:
      return 5;
    case 4:
      return 8;
    default:
      return 4;
  }
}

// ---- feature tree ----

namespace {

CString resource(UINT id) {
  CString text;
  text.LoadString(id);
  return text;
}

CString joined(std::initializer_list<CString> parts) {
  std::string out;
  for (const CString& part : parts) out += part.str();
  return CString(out.c_str());
}

CString formatted(const char* format, const CString& text, unsigned long value) {
  CString out;
  out.Format(format, text.str().c_str(), value);
  return out;
}

}  // namespace

void CPrtOStatus::FillFeatureTree() {
  if (!m_featureTree.GetSafeHwnd() || !m_pIcon) return;
  if (!m_featureTree.DeleteItem(TVI_ROOT)) return;
  CWFPrinterIcon& icon = *m_pIcon;
  auto add = [this](const CString& text, int image, HTREEITEM parent = TVI_ROOT) {
    return m_featureTree.InsertItem(text, image, image, parent, TVI_LAST);
  };
  const CString sep(" : ");

  if (icon.NumInputSources() != 0) {
    for (UINT tray = 7101; tray <= 7110; ++tray) {
      if (tray == 7106 || tray == 7107 || !icon.GetTrayAttached(tray)) continue;
      HTREEITEM top = add(icon.GetTrayName(static_cast<USHORT>(tray)), 2);
      const int image = static_cast<int>(GetPaperTypeImage(icon.GetTrayType(tray)));
      add(joined({resource(491), sep, icon.GetPaperSizeString(icon.GetTraySize(tray))}), image, top);
      if (tray != 7102)
        add(joined({resource(492), sep, icon.GetPaperTypeString(icon.GetTrayType(tray))}), image, top);
      if (tray >= 7103 && tray <= 7105) {
        const UINT capacity = icon.GetTrayCapacity(tray);
        add(formatted("%s : %-u", resource(490), capacity == static_cast<UINT>(-1) ? 0ul : capacity), image,
            top);
        const CString level = icon.GetTrayLevelName(static_cast<USHORT>(tray));
        if (icon.SupportInputLevels() && !level.IsEmpty())
          add(joined({resource(602), sep, level}), image, top);
      }
    }
  }
  const bool envelope = icon.GetTrayAttached(7106) != 0;
  const bool auxiliary = icon.GetTrayAttached(7107) != 0;
  if (envelope || auxiliary) {
    const USHORT tray = envelope ? 7106 : 7107;
    HTREEITEM top = add(icon.GetTrayName(tray), envelope ? 0 : 2);
    add(joined({resource(491), sep, icon.GetTraySizeName(tray)}), envelope ? 0 : 2, top);
    if (auxiliary) add(joined({resource(492), sep, icon.GetTrayTypeName(7107)}), envelope ? 0 : 2, top);
  }
  if (icon.GetDuplexOption()) add(resource(489), 9);

  const UINT outputs = icon.NumOutputDestinations();
  if (outputs == 1) {
    add(formatted("%s: %-u", resource(506), icon.GetOutputCapacity(7201)), 2);
  } else if (outputs >= 2) {
    HTREEITEM top = add(resource(506), 2);
    for (UINT bin = 7201; bin <= 7204; ++bin)
      if (icon.OutputDestSupported(bin))
        add(formatted("%s : %u", icon.GetOutputBinName(bin), icon.GetOutputCapacity(bin)), 2, top);
  }
  if (const unsigned long speed = icon.GetPrinterSpeed()) {
    CString text;
    text.Format("%u %s", static_cast<unsigned>(speed), resource(494).str().c_str());
    add(text, 1);
  }
  if (icon.GetFontCartOption()) {
    HTREEITEM top = add(resource(524), 3);
    add(joined({resource(525), sep, icon.GetFontCartName()}), 3, top);
    add(joined({resource(528), sep, icon.GetFontCartFormat()}), 3, top);
  }
  const CString colon(": "), space(" ");
  if (const unsigned long memory = icon.GetMemorySize())
    add(joined({resource(493), colon, FormatNumberString(memory), space, resource(589)}), 6);
  auto storage = [&](UINT title, int image, unsigned long size, unsigned long remaining) {
    HTREEITEM top = add(resource(title), image);
    add(joined({resource(491), colon, FormatNumberString(size), space, resource(526)}), image, top);
    add(joined({resource(527), colon, FormatNumberString(remaining), space, resource(526)}), image, top);
  };
  if (icon.GetFlashSize()) storage(498, 6, icon.GetFlashSize(), icon.GetFlashRemaining());
  if (icon.GetHDSize()) storage(497, 7, icon.GetHDSize(), icon.GetHDRemaining());
  const CString serial = icon.GetSerialNo();
  if (!serial.IsEmpty()) add(joined({resource(496), space, serial}), 1);
  if (icon.GetNumCodeLevels() != 0) {
    HTREEITEM top = add(resource(549), 6);
    for (UINT i = 0; i <= 10; ++i) {
      const CString level = icon.GetCodeLevel(i);
      if (!level.IsEmpty()) add(joined({resource(550 + i), colon, level}), 6, top);
    }
  }
  AddMoreTreeItems();
}
