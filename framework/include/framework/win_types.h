#pragma once
// The user-interface modules use the platform's original scalar types, plus
// the framework's own handles.
#include "platform/win_types.h"

// A block of global memory; fixed blocks are used directly as pointers.
using HGLOBAL = void*;
