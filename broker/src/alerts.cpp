// Alert capture and delivery. No printer is known yet, so no alert is queued.
#include "broker/corbce.h"

int32_t BceCaptureAlertsMF(uint32_t, uint32_t, const ALERTS*, uint32_t, uint32_t) { return BCE_ERR_BAD_HANDLE; }

int32_t BceReleaseAlertsMF(uint32_t, uint32_t, uint32_t) { return BCE_ERR_BAD_HANDLE; }

int32_t BceQueryAlertsMF(uint32_t, uint32_t, uint32_t, uint32_t, void*, uint16_t* length) {
  if (length) *length = 0;
  return BCE_FAIL;
}
