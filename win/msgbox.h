// Message boxes, callable from any thread: shown by the widget part of the layer when the
// program has one, else written to standard error; a test hook answers them.
#pragma once

#include <win/windef.h>

#include <functional>
#include <string>

#ifndef MB_OK
#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_YESNOCANCEL 0x00000003u
#define MB_YESNO 0x00000004u
#define MB_ICONHAND 0x00000010u
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONINFORMATION 0x00000040u
#endif
#ifndef IDOK
#define IDOK 1
#define IDCANCEL 2
#endif
#ifndef IDYES
#define IDYES 6
#define IDNO 7
#endif

/// Shows a modal message box with ANSI texts and returns the button pressed (IDOK, IDYES, ...).
/// With the widget part (kestrelin_win_ui) linked, the box is a dialog: from a thread other than
/// the interface thread it is shown on the interface thread and the caller waits for the
/// answer, and before any window exists the toolkit is started. Without it the box goes to
/// standard error as "caption: text" and is answered as a dismissed box is: IDOK, IDCANCEL
/// when it has a Cancel button, IDNO for Yes/No.
int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);

/// A message box captioned with the program's name.
int AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);

namespace win {

/// The program's name, the caption of AfxMessageBox.
inline constexpr const char *kAppName = "Kestrelin";

/// Shows a box and gives the button pressed, or 0 when it cannot show one (the box then goes
/// to standard error); texts are ANSI bytes, the caption is never null.
using MessageBoxPresenter = int (*)(LPCSTR text, LPCSTR caption, UINT type);

/// Installs the presenter of MessageBoxA (null: standard error). The widget part installs its
/// own before the program's global objects are constructed.
void SetMessageBoxPresenter(MessageBoxPresenter presenter);

} // namespace win

namespace win::testing {

struct MessageBoxCall {
    std::string text;    // ANSI bytes, as passed
    std::string caption; // ANSI bytes
    UINT type = 0;
};

/// Answers every message box with the handler's result instead of showing it (null: show).
void SetMessageBoxHandler(std::function<int(const MessageBoxCall &)> handler);

} // namespace win::testing

namespace win {

/// Waits until done() is true. On the interface thread the wait keeps serving the interface,
/// so a thread that is showing a message box through it can finish.
void WaitServingMessages(const std::function<bool()> &done);

} // namespace win
