#pragma once
// How tests read what the IP transport's stand-in (CORIP32, "CORIP32.DLL")
// keeps: the changes made through its items last for the process. Bound by
// name on the handle the test loaded.
#include <stdint.h>

#include "broker/corbce.h"

/* The workstation's list, one entry a call: "a.b.c.d", tab, community, tab,
   host name, tab, port name. 0 past the end; else the text's length. */
typedef uint32_t (*CorIp32ListedFn)(uint32_t index, char* text, uint32_t size);
/* How often item 5 (closed) and item 136 (reset) of the port were asked;
   the port 0xFFFF for item 5. */
typedef uint32_t (*CorIp32CountFn)(uint16_t portId, uint16_t item);
/* The flash image a download (items 11 to 13) left for the port: its length,
   at most `size` bytes copied. */
typedef uint32_t (*CorIp32FlashImageFn)(uint16_t portId, uint8_t* bytes, uint32_t size);
/* The last item-129 record set for the port (70 bytes); 0 when none. */
typedef uint32_t (*CorIp32SetParmsFn)(uint16_t portId, uint8_t* record70);
/* Hands `data` to the port's data callback as unsolicited data; 1 when opened. */
typedef int32_t (*CorIp32DeliverFn)(uint16_t portId, const uint8_t* data, uint32_t length);
