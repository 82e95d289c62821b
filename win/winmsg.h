// Window messages and timers between threads, carried on the Qt event loop.
//
// Every window belongs to the interface thread: the thread of the QCoreApplication (or
// QApplication), which must exist before windows are made. Its event loop, and every nested
// loop run on it (QEventLoop, QDialog::exec), delivers:
//   - posted messages, in the order they were posted from all threads;
//   - messages sent from other threads: the sender blocks until the handler has returned and
//     gets its result. Sent messages are also served while the interface thread blocks in a
//     wait of the portable library (PMutex, PSyncPoint, PThread::WaitForTermination, ...);
//   - WM_TIMER for the timers of each window.
// A message for a window that no longer exists is dropped (a send then returns 0).
#pragma once

#include <win/windef.h>

#include <functional>

BOOL PostMessage(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
LRESULT SendMessage(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
BOOL IsWindow(HWND hWnd);
/// Starts or restarts timer nIDEvent of the window: WM_TIMER every uElapse ms (at least 10).
UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, std::nullptr_t = nullptr);
BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent);

namespace win
{

/// TRUE on the interface thread.
bool IsUiThread();

/// Runs fn on the interface thread and returns when it has run: directly on that thread,
/// otherwise as a sent message. FALSE when there is no interface thread to run it.
bool InvokeOnUiThread(const std::function<void()> &fn);

/// Interface thread: runs every message sent from other threads that is waiting. The layer
/// installs it as the interface thread's wait pump of the portable library (pwlib::SetWaitPump)
/// when the first window is made; other code must not replace that pump.
void ServeSentMessages();

} // namespace win

namespace win::testing
{

/// The period of the window's running timer nIDEvent in ms, 0 when it does not run (interface
/// thread).
UINT TimerPeriod(HWND hWnd, UINT_PTR nIDEvent);

} // namespace win::testing
