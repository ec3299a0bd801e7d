// Bidirectional requests, print data and documents. No printer is known
// yet: every request answers "no printer with this handle".
#include "broker/corbce.h"

namespace {
constexpr uint32_t kFirstNetworkHandle = 100;
}

int32_t BceSendBidiMF(uint32_t, uint32_t, uint32_t, uint32_t, void*, uint32_t* replyLength, const void*, uint32_t) {
  if (replyLength) *replyLength = 0;
  return BCE_ERR_BAD_HANDLE;
}

int32_t BceWriteMF(uint32_t, uint32_t, uint32_t, void*, uint32_t* length, uint32_t) {
  if (length) *length = 0;
  return BCE_ERR_BAD_HANDLE;
}

int32_t BceStartDocMF(uint32_t handle, uint32_t, uint32_t) {
  return (handle & 0xFFFF) < kFirstNetworkHandle ? BCE_OK : BCE_ERR_BAD_HANDLE;
}

int32_t BceEndDocMF(uint32_t handle, uint32_t) {
  return (handle & 0xFFFF) < kFirstNetworkHandle ? BCE_OK : BCE_ERR_BAD_HANDLE;
}
