// Test harness of the whole phone (see phone_harness.h).
#include "phone_harness.h"

#include <ui/soft_phone_app.h>
#include <ui/voice_sheet.h>

#include <tools/service-sim/ras_gatekeeper.h>
#include <tools/service-sim/service_server.h>

#include <tests/support/free_port.h>

#include <win/application.h>
#include <win/module_testing.h>
#include <win/msgbox.h>
#include <win/shell.h>
#include <win/winmsg.h>

#include <QApplication>
#include <QDir>
#include <QTest>
#include <QWidget>

#include <unistd.h>

#include <fstream>
#include <mutex>
#include <sstream>

namespace phonetest {
namespace {

std::mutex g_boxesMutex;
std::vector<std::string> g_boxes; // texts of the message boxes answered

} // namespace

CSoftPhoneApp &App()
{
    static CSoftPhoneApp *app = [] {
        win::testing::SetMessageBoxHandler([](const win::testing::MessageBoxCall &call) {
            std::lock_guard<std::mutex> lock(g_boxesMutex);
            g_boxes.push_back(call.text);
            return IDOK;
        });
        win::EnsureApplication();
        // A desktop with a notification area, unless a test takes it away.
        win::testing::SetTrayArea(win::testing::TrayArea::Present);
        return new CSoftPhoneApp;
    }();
    return *app;
}

std::vector<std::string> Boxes()
{
    std::lock_guard<std::mutex> lock(g_boxesMutex);
    return g_boxes;
}

CString Text(UINT id)
{
    CString s;
    s.LoadString(id);
    return s;
}

InstallDir::InstallDir()
{
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info->name();
    for (char &c : name)
        if (c == '/')
            c = '-'; // parameterised tests
    m_dir = std::filesystem::temp_directory_path() /
            ("kestrelin-phone-" + std::to_string(::getpid()) + "-" + name);
    std::filesystem::remove_all(m_dir);
    std::filesystem::create_directories(m_dir);
    // Keypad tones, ring and busy files as the install directory holds them.
    std::filesystem::path runtime = std::filesystem::path(KESTRELIN_RUNTIME_DIR);
    std::filesystem::copy(runtime, m_dir, std::filesystem::copy_options::recursive);
    m_exe = (m_dir / "kestrelin").string();
    win::testing::OverrideExecutablePath(m_exe.c_str());
}

InstallDir::~InstallDir()
{
    win::testing::OverrideExecutablePath(nullptr);
    std::filesystem::remove_all(m_dir);
}

std::string InstallDir::Read(const std::string &name) const
{
    std::ifstream in(Path(name), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

Service::Service(unsigned timeToLive)
{
    servicesim::Accounts accounts{{"8001", "demo"}, {"8002", "demo"}};
    servicesim::ServiceOptions so;
    so.port = 0;
    so.aliasDomain = "service.localhost";
    so.accounts = accounts;
    server = std::make_unique<servicesim::ServiceServer>(so);
    gatekeeperOptions.port = 0;
    gatekeeperOptions.accounts = accounts;
    gatekeeperOptions.balance = "12.50";
    gatekeeperOptions.creditTime = 3725;
    gatekeeperOptions.masking = true;
    gatekeeperOptions.timeToLive = timeToLive;
    std::string error;
    EXPECT_TRUE(server->Start(&error)) << error;
    StartGatekeeper();
}

void Service::StartGatekeeper()
{
    gatekeeper = std::make_unique<servicesim::RasGatekeeper>(gatekeeperOptions);
    std::string error;
    EXPECT_TRUE(gatekeeper->Start(&error)) << error;
    gatekeeperOptions.port = gatekeeper->Port();
}

Service::~Service() = default;

Phone::Phone(const char *account, Service *service, const char *password,
             const std::function<void(CSettings &)> &prepare)
{
    // The language words as the program's start sets them.
    App().ReadLanguage(CSoftPhoneApp::StartupDirectory());
    dlg = std::make_unique<CSoftPhoneDlg>();
    CSettings &s = dlg->m_settings;
    s.m_strAccount = account;
    s.m_strPassword = password;
    s.m_bAutoLogin = s.m_bKeepPassword = 1;
    s.m_nLocalPort = kestrelin::testing::FreeTcpPort();
    if (service) {
        s.m_nServerPort = service->server->Port();
        dlg->m_nGatekeeperPort = service->gatekeeper->Port();
    } else {
        s.m_nServerPort = 9; // nobody answers there
        dlg->m_nGatekeeperPort = 9;
    }
    // Audio settings saved: the audio wizard of a first start stays closed.
    s.SaveAudioSettings();
    if (prepare)
        prepare(s);
    EXPECT_TRUE(dlg->Create(102));
}

Phone::~Phone()
{
    if (dlg->GetSafeHwnd()) {
        dlg->OnOK();
        dlg->DestroyWindow();
    }
    dlg.reset();
    App().FreeLanguageLibraries();
}

bool Phone::WaitStatus(UINT id, int ms)
{
    return QTest::qWaitFor([&] { return dlg->m_strStatus == Text(id); }, ms);
}

bool Phone::WaitStatus2(const CString &text, int ms)
{
    return QTest::qWaitFor([&] { return dlg->m_strStatus2 == text; }, ms);
}

void Phone::Dial(const char *number)
{
    dlg->m_number.SetWindowText(number);
    dlg->PlaceCall();
}

void Phone::Screenshot(const char *name)
{
    QDir().mkpath(KESTRELIN_SCREENSHOT_DIR);
    dlg->GetWidget()->grab().save(QString(KESTRELIN_SCREENSHOT_DIR "/") + name + ".png");
}

WizardDriver::WizardDriver(std::vector<Step> steps) : m_steps(std::move(steps))
{
    m_timer.setInterval(10);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
    m_timer.start();
}

bool WizardDriver::WaitClosed(int runs, int ms)
{
    return QTest::qWaitFor([&] { return m_runs == runs && !m_open; }, ms);
}

void WizardDriver::Press(CVoiceSheet &sheet, int id)
{
    sheet.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

void WizardDriver::Tick()
{
    CVoiceSheet *sheet = nullptr;
    QWidget *window = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *s = dynamic_cast<CVoiceSheet *>(CWnd::FromWidget(w)); s && w->isVisible()) {
            sheet = s;
            window = w;
        }
    m_open = sheet != nullptr;
    if (!sheet)
        return;
    // Each run makes its own window: a new one is a new run, even right after the last.
    if (m_window.isNull() || m_window.data() != window) {
        m_window = window;
        ++m_runs;
        m_next = 0;
    }
    if (m_next < m_steps.size())
        m_steps[m_next++](*sheet);
}

MainWindowScope::MainWindowScope(CWnd *wnd) { App().m_pMainWnd = wnd; }
MainWindowScope::~MainWindowScope() { App().m_pMainWnd = nullptr; }

} // namespace phonetest
