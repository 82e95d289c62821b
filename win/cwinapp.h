// CWinApp: the one application object; its initialisation runs the program.
#pragma once

#include <win/windef.h>

class CWnd;

class CWinApp
{
  public:
    /// Becomes the application object of AfxGetApp (the first one made).
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp &) = delete;
    CWinApp &operator=(const CWinApp &) = delete;

    /// The program's work; TRUE would go on to a message loop of the application's own.
    virtual BOOL InitInstance() { return FALSE; }
    /// Clean-up at the end; its result is the program's exit status.
    virtual int ExitInstance() { return 0; }
    /// Runs the event loop until the program quits; returns ExitInstance's result.
    virtual int Run();

    CWnd *m_pMainWnd = nullptr;
};

CWinApp *AfxGetApp();
/// The application object's main window, or null.
CWnd *AfxGetMainWnd();

/// What the class library's entry does: InitInstance, then Run when it returned TRUE, else
/// ExitInstance; the program's exit status.
int AfxWinMain();
