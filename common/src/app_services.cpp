#include "common/app_services.h"

#include "framework/win_app.h"

WFAppServices* WFGetApp() {
  return dynamic_cast<WFAppServices*>(AfxGetApp());
}
