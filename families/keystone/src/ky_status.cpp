#include "keystone/ky_status.h"

#include "common/printer_icon.h"

namespace {
constexpr UINT kPrinterPicture = 3600;
constexpr UINT kOptionalTray = 7105;
constexpr UINT kWithOptionalTray = 1000;
}  // namespace

UINT CKYStatus::GetPictureId() const {
  if (!m_pIcon) return kPrinterPicture;
  const UINT hardError = m_pIcon->Get1stHardErrorBMP();
  UINT id = hardError ? hardError : kPrinterPicture;
  if (m_pIcon->GetTrayAttached(kOptionalTray)) id += kWithOptionalTray;
  return id;
}

void CKYStatus::CreatePrinterGraphic() {
  const bool hardError = m_pIcon && m_pIcon->Get1stHardErrorBMP() != 0;
  ShowPrinterPicture(GetPictureId(), !hardError);
}

int CKYStatus::DecodeImage(CDC*, CPoint) {
  return 1;
}
