// Test harness of the whole phone: the application object, a test's own install directory, the
// service simulator in the test's process, main dialogs logged in to it, and a driver of the
// audio wizards that open.
#pragma once

#include <ui/soft_phone_dlg.h>

#include <tools/service-sim/ras_gatekeeper.h>

#include <win/cstring.h>

#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CSoftPhoneApp;
class CVoiceSheet;
class QWidget;

namespace servicesim {
class ServiceServer;
} // namespace servicesim

namespace phonetest {

/// The program's application object, made once; message boxes are answered OK and noted, and
/// the desktop has a notification area.
CSoftPhoneApp &App();
/// The texts of the message boxes answered so far.
std::vector<std::string> Boxes();
/// A string of the resources in force.
CString Text(UINT id);

/// A test's own install directory, holding the executable's path.
class InstallDir
{
  public:
    InstallDir();
    ~InstallDir();
    std::filesystem::path Path(const std::string &name) const { return m_dir / name; }
    std::string Read(const std::string &name) const;
    bool Exists(const std::string &name) const { return std::filesystem::exists(Path(name)); }

  private:
    std::filesystem::path m_dir;
    std::string m_exe;
};

/// The service simulator in this process: service protocol and gatekeeper on free ports.
struct Service {
    /// timeToLive: granted in RCF (seconds), 0: none.
    explicit Service(unsigned timeToLive = 0);
    ~Service();
    /// A new gatekeeper, knowing nobody; after the first, on the same port.
    void StartGatekeeper();
    std::unique_ptr<servicesim::ServiceServer> server;
    servicesim::GatekeeperOptions gatekeeperOptions;
    std::unique_ptr<servicesim::RasGatekeeper> gatekeeper;
};

/// One phone: the main dialog logged in as account, without a login dialog; with no service
/// nobody answers its login.
class Phone
{
  public:
    /// prepare changes the settings (as loaded, with the test's defaults and audio.dat saved)
    /// before the window is made.
    Phone(const char *account, Service *service, const char *password = "demo",
          const std::function<void(CSettings &)> &prepare = {});
    ~Phone();
    bool WaitStatus(UINT id, int ms = 15000);
    bool WaitStatus2(const CString &text, int ms = 15000);
    void Dial(const char *number);
    void Screenshot(const char *name);
    std::unique_ptr<CSoftPhoneDlg> dlg;
};

/// Drives each audio wizard that opens (modally, inside whatever the test waits in): one step a
/// tick, 10 ms apart so that what a step posted is handled before the next; the first step when
/// the wizard appears.
class WizardDriver
{
  public:
    using Step = std::function<void(CVoiceSheet &)>;
    explicit WizardDriver(std::vector<Step> steps);
    /// Waits until the wizards opened so far are runs and none is open.
    bool WaitClosed(int runs, int ms = 15000);
    int Runs() const { return m_runs; }

    static void Press(CVoiceSheet &sheet, int id);

  private:
    void Tick();

    std::vector<Step> m_steps;
    size_t m_next = 0;
    bool m_open = false;
    int m_runs = 0;
    QPointer<QWidget> m_window;
    QTimer m_timer;
};

/// The dialog as the application's main window (where the wizard reports), for a test's scope.
struct MainWindowScope {
    explicit MainWindowScope(CWnd *wnd);
    ~MainWindowScope();
};

} // namespace phonetest
