// The poster that device notices go through.
#include <win/window_notify.h>

#include <atomic>

namespace win {
namespace {
std::atomic<WindowPoster> g_poster{nullptr};
}

void SetWindowPoster(WindowPoster poster) { g_poster = poster; }

BOOL PostWindowNotice(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    WindowPoster poster = g_poster.load();
    return poster ? poster(hWnd, msg, wParam, lParam) : FALSE;
}

} // namespace win
