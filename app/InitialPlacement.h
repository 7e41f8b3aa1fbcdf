// Where the main window goes at start-up, from the position and size switches.
#pragma once

#include <optional>

#include "app/CPlayerConfig.h"
#include "platform/WinTypes.h"

// `centred` is the window rectangle after centring, `workArea` the desktop
// work area, both in screen coordinates. No value means the window stays as
// it is.
std::optional<RECT> ComputeInitialPlacement(const CPlayerConfig& settings, const RECT& centred, const RECT& workArea);
