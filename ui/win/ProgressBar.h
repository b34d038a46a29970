// The tool's progress bars: green, whatever the visual style. The system's progress control
// stays (its position, range and accessibility are the control's own); only its painting is
// the tool's, since a visual style ignores PBM_SETBARCOLOR.
#pragma once

#include <windows.h>

namespace qnl::win {

inline constexpr COLORREF kProgressGreen = RGB(0, 150, 75);

// Paints `progress` (a msctls_progress32 control) as a sunken box with a green bar.
void PaintProgressGreen(HWND progress);

}  // namespace qnl::win
