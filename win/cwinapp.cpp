// The application object and the program's entry.
#include <win/cwinapp.h>

#include <QCoreApplication>

namespace {
CWinApp *g_app = nullptr;
} // namespace

CWinApp::CWinApp()
{
    if (!g_app)
        g_app = this;
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

int CWinApp::Run()
{
    if (QCoreApplication::instance())
        QCoreApplication::exec();
    return ExitInstance();
}

CWinApp *AfxGetApp() { return g_app; }

CWnd *AfxGetMainWnd() { return g_app ? g_app->m_pMainWnd : nullptr; }

int AfxWinMain()
{
    CWinApp *app = AfxGetApp();
    if (!app)
        return -1;
    if (app->InitInstance())
        return app->Run();
    return app->ExitInstance();
}
