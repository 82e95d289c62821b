// The application object: start-up of the program and its language.
#include <ui/soft_phone_app.h>

#include <core/usb_phone.h>
#include <ui/soft_phone_dlg.h>

#include <win/handle.h>
#include <win/library.h>
#include <win/module.h>
#include <win/msgbox.h>
#include <win/path.h>
#include <win/resources.h>

#include <cstdio>

PWLibProcess::PWLibProcess() : PProcess("Kestrelin", "SoftPhone", 1, 0, ReleaseCode, 1) {}

PWLibProcess::~PWLibProcess() = default;

CSoftPhoneApp::CSoftPhoneApp()
{
    LoadUsbPhoneDriver();
}

CSoftPhoneApp::~CSoftPhoneApp() = default;

CSoftPhoneApp *CSoftPhoneApp::Current() { return dynamic_cast<CSoftPhoneApp *>(AfxGetApp()); }

CString CSoftPhoneApp::StartupDirectory()
{
    char buffer[260] = {};
    GetModuleFileNameA(GetModuleHandleA("Kestrelin.exe"), buffer, sizeof buffer);
    CString path(buffer);
    CString upper = path;
    upper.MakeUpper();
    // The executable's own name as the last part of the path; a directory of that name
    // further up does not count.
    constexpr const char *kName = "KESTRELIN";
    int p = upper.GetLength() - int(std::char_traits<char>::length(kName));
    if (p > 0 && upper.Mid(p) == kName && (upper[p - 1] == '/' || upper[p - 1] == '\\'))
        path = path.Left(p - 1);
    return path;
}

void CSoftPhoneApp::ReadLanguage(const CString &dir)
{
    CString file;
    file.Format("%s\\netphone.ini", dir.GetString());
    std::string path = win::MapPath(file);
    char line[124] = "0";
    if (std::FILE *f = std::fopen(path.c_str(), "r")) {
        if (!std::fgets(line, sizeof line, f))
            line[0] = '\0';
        std::fclose(f);
    } else if (std::FILE *created = std::fopen(path.c_str(), "w")) {
        std::fputs("0", created);
        std::fclose(created);
    }
    m_hChinese = nullptr;
    m_nLanguage = 0;
    m_hOwnResources = AfxGetResourceHandle();
    m_hChinese = AfxLoadLibrary("China.dll");
    m_hTraditional = AfxLoadLibrary("Traditional.dll");
    m_nLanguage = line[0] == '1' ? 1 : line[0] == '2' ? 2 : 0;
}

CString CSoftPhoneApp::InstanceMutexName(const CString &dir)
{
    uint32_t hash = 2166136261u; // FNV-1a
    for (char c : dir.StdString())
        hash = (hash ^ uint8_t(c)) * 16777619u;
    CString name;
    name.Format("%s_%08X", kInstanceMutexName, hash);
    return name;
}

BOOL CSoftPhoneApp::InitInstance()
{
    CString dir = StartupDirectory();
    HANDLE mutex = CreateMutexA(nullptr, TRUE, InstanceMutexName(dir));
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        AfxMessageBox("Already exists", MB_OK, 0);
        return FALSE;
    }
    if (mutex)
        ReleaseMutex(mutex); // the handle stays open: the name stays taken
    ReadLanguage(dir);

    CSoftPhoneDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}

void CSoftPhoneApp::FreeLanguageLibraries()
{
    if (m_hChinese)
        AfxFreeLibrary(m_hChinese);
    if (m_hTraditional)
        AfxFreeLibrary(m_hTraditional);
    m_hChinese = nullptr;
    m_hTraditional = nullptr;
}

int CSoftPhoneApp::ExitInstance()
{
    UnloadUsbPhoneApi();
    FreeLanguageLibraries();
    return CWinApp::ExitInstance();
}
