// The message transport behind CWnd: handle registry, queues and timers (private to the layer).
#pragma once

#include <win/windef.h>

#include <functional>

class CWnd;

namespace win::detail
{

/// Registers the window under a new handle; null when there is no interface thread.
HWND RegisterWindow(CWnd *pWnd);
/// Forgets the handle and stops its timers (interface thread).
void UnregisterWindow(HWND hWnd);
/// The window of a live handle, or null.
CWnd *LookupWindow(HWND hWnd);

/// Calls the window's WindowProc with the message recorded as the current one of the thread.
LRESULT CallWindowProc(CWnd *pWnd, UINT message, WPARAM wParam, LPARAM lParam);
/// The message being handled on this thread; FALSE outside a handler.
bool CurrentMessage(UINT &message, WPARAM &wParam, LPARAM &lParam);

bool Post(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT Send(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
UINT_PTR StartTimer(HWND hWnd, UINT_PTR id, UINT elapse);
bool StopTimer(HWND hWnd, UINT_PTR id);

} // namespace win::detail
