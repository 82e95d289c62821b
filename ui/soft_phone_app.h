// CSoftPhoneApp: the application object: single instance, interface language, the main
// dialog as the program's only main loop.
#pragma once

#include <pwlib/pprocess.h>

#include <win/cstring.h>
#include <win/cwinapp.h>
#include <win/windef.h>

/// The portable library's process object of the program.
class PWLibProcess : public PProcess
{
    PCLASSINFO(PWLibProcess, PProcess)
  public:
    PWLibProcess();
    ~PWLibProcess() override;
    /// Unused: the main dialog's loop is the program's main loop.
    void Main() override {}
};

class CSoftPhoneApp : public CWinApp
{
  public:
    /// The single-instance mutex's name, GUID-shaped.
    static constexpr const char *kInstanceMutexName = "5C3E1A2B_7D94_4F0E_9B61_3A8C2E7F0D45";
    /// The name taken while the phone of one install directory runs: the GUID and a digest of
    /// the directory, so that phones of two install directories can run side by side.
    static CString InstanceMutexName(const CString &dir);

    /// Builds the process object, then chooses and binds the handset library.
    CSoftPhoneApp();
    ~CSoftPhoneApp() override;

    /// Refuses a second instance, reads the language, loads both language packs and runs the
    /// main dialog; always FALSE.
    BOOL InitInstance() override;
    /// Releases the handset library and the language packs still loaded.
    int ExitInstance() override;
    /// Releases both language packs (the cancelled login does it before the dialog ends).
    void FreeLanguageLibraries();

    /// The application object of the program, or null.
    static CSoftPhoneApp *Current();

    /// The directory netphone.ini is looked for in at start-up: the executable's path with
    /// the executable's name cut off. The name is found case-blind, the path keeps its case
    /// (so that the settings store's directory names the same file).
    static CString StartupDirectory();
    /// Reads netphone.ini in dir: its first character, '0' when empty; creates it with "0" when
    /// missing. Sets the language words from it.
    void ReadLanguage(const CString &dir);

    HINSTANCE m_hChinese = nullptr;     // "China.dll", null when it failed to load
    HINSTANCE m_hOwnResources = nullptr; // the program's own (English) resources
    HINSTANCE m_hTraditional = nullptr; // "Traditional.dll", null when it failed to load
    int m_nLanguage = 0;                // 0 English, 1 simplified, 2 traditional Chinese
    PWLibProcess m_process;
};
