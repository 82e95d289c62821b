// How device layers (mixer notices) reach a window: through the poster the window layer sets.
#pragma once

#include <win/windef.h>

namespace win {

using WindowPoster = BOOL (*)(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

/// Set by the window layer to its PostMessage; notices are dropped while none is set.
void SetWindowPoster(WindowPoster poster);

/// Posts through the poster; FALSE when there is none or the window is gone.
BOOL PostWindowNotice(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

} // namespace win
