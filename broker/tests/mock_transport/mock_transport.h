#pragma once
// Control side of the mock transport library, built once per transport file
// name. Tests reach these through the loaded library by name; the broker sees
// only the Net entry points.
#include <stdint.h>

#include "broker/net_transport.h"

#define MOCK_API extern "C" __attribute__((visibility("default")))

// Forgets ports, replies, callbacks and the log.
MOCK_API void MockTransportReset(void);
// A port reported by NetEnumerate (in order of adding), NetEnumSpecific (by
// its node at this transport's node offset) and NetEnumSpecificPort (by its
// second name). The transport's own bit is ORed into the connections.
MOCK_API void MockTransportAddPort(const NETPORTINFO* port);
MOCK_API void MockTransportRemovePort(uint16_t portId);
// Pause of each NetEnumerate before every report, in real milliseconds.
MOCK_API void MockTransportSetReportPause(uint32_t ms);
// NetWrite's reply from now on.
MOCK_API void MockTransportSetWriteReply(const uint8_t* data, uint32_t length);
// NetWrite's status from now on, whatever it writes (0: the ordinary one).
MOCK_API void MockTransportSetWriteStatus(uint16_t status);
// NetWrite's result from now on (negative: the ordinary one, the length given).
MOCK_API void MockTransportSetWriteResult(int32_t result);
// The bytes of every NetWrite so far, hex, "|"-separated; returns the full length.
MOCK_API uint32_t MockTransportWrites(char* out, uint32_t size);
// Calls the registered event callback (or the port's data callback) from a
// thread of the transport's own and waits for it; 0 when none is set.
MOCK_API int32_t MockTransportRaiseEvent(uint16_t portId, uint32_t code, const void* data);
MOCK_API int32_t MockTransportInjectData(uint16_t portId, const uint8_t* data, uint32_t length);
// Every entry-point call so far, "|"-separated; returns the full length.
MOCK_API uint32_t MockTransportCallLog(char* out, uint32_t size);
