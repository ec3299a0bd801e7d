#pragma once
// A BceSendBidi worker for benchmarks that link the broker's internals:
// every summary request reaches the printer, the cached summary being
// forgotten first.
#include <cstdint>

#include "broker/corbce.h"
#include "broker/internal_testing.h"
#include "protocol/requests.h"

namespace wf::bench {

inline int32_t freshSummary(uint32_t appId, uint32_t handle, uint32_t netMask, uint32_t code, void* reply,
                            uint32_t* replyLength, const void* request, uint32_t requestLength) {
  if (code == protocol::request::kSummary) bce::internal_testing::forgetSummary(static_cast<std::uint16_t>(handle));
  return BceSendBidiMF(appId, handle, netMask, code, reply, replyLength, request, requestLength);
}

}  // namespace wf::bench
