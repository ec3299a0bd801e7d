#pragma once
// Messages the icon's workers post to the printer's open notebook.
#include "platform/win_types.h"

constexpr UINT WM_WF_UPDATEPAGE = 0x467;
constexpr UINT WM_WF_JOBSTAT = 0x46A;
