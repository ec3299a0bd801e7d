#pragma once
// The network adapter configuration library's contract, as the hosts call it.
#include "netui/net_ui.h"
