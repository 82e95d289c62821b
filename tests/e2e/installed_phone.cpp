// A fresh install directory of the real program, and the program running from it.
#include "installed_phone.h"

#include <win/module_testing.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace e2e
{

namespace
{

// The stamp of the build's sound synthesis is no file of the program's.
constexpr const char *kBuildStamp = "sounds.stamp";

// Between two looks at the program's windows while waiting for one to come or go.
constexpr auto kPollInterval = std::chrono::milliseconds(20);

// Leaks of the libraries under the toolkit that keep caches until the process ends.
constexpr const char *kLeakSuppressions = "leak:libfontconfig.so\nleak:libdbus-1.so\n";

std::string Read(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void PutInt(std::string &out, int32_t value)
{
    for (int i = 0; i < 4; ++i)
        out += char(uint32_t(value) >> (8 * i) & 0xFF);
}

// Whether a socket of the type can bind the port on every address.
bool CanBind(int type, int port)
{
    int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(uint16_t(port));
    bool ok = ::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0;
    ::close(fd);
    return ok;
}

} // namespace

InstalledPhone::InstalledPhone(fs::path dir) : dir_(std::move(dir))
{
    std::error_code ec;
    fs::remove_all(dir_, ec);
    fs::create_directories(dir_);
    // The executable is linked where the build tree allows it: the sanitizer build's is large.
    fs::path program = dir_ / "kestrelin";
    fs::create_hard_link(KESTRELIN_PROGRAM, program, ec);
    if (ec)
        fs::copy_file(KESTRELIN_PROGRAM, program);
    for (const auto &entry : fs::directory_iterator(KESTRELIN_RUNTIME_DIR))
        if (entry.path().filename() != kBuildStamp)
            fs::copy(entry.path(), dir_ / entry.path().filename(), fs::copy_options::recursive);
}

InstalledPhone::~InstalledPhone()
{
    if (!process_)
        return;
    if (process_->Running()) {
        process_->Terminate();
        process_->Wait(5000);
    }
    process_->WaitForEndOfOutput(5000);
    std::ofstream log(dir_.string() + ".log");
    for (const std::string &line : process_->Lines())
        log << line << "\n";
}

void InstalledPhone::Write(const std::string &name, const std::string &bytes)
{
    std::ofstream(dir_ / name, std::ios::binary | std::ios::trunc) << bytes;
}

void InstalledPhone::SetLanguage(int language) { Write("netphone.ini", std::to_string(language)); }

void InstalledPhone::UseService(const std::string &host)
{
    Write("service.conf", "primary_host = " + host + "\nsecondary_host = " + host + "\n");
}

void InstalledPhone::SetLocalPort(int port)
{
    std::string bytes;
    PutInt(bytes, 0);     // the primary server first
    PutInt(bytes, port);  // local H.323 port
    PutInt(bytes, 19900); // the service's port
    bytes += '\0';        // no server name
    Write("Server.dat", bytes);
}

void InstalledPhone::SetWindowPosition(int x, int y)
{
    std::string bytes;
    PutInt(bytes, x);
    PutInt(bytes, y);
    Write("ui.dat", bytes);
}

std::unique_ptr<CSettings> InstalledPhone::Settings() const
{
    // The store finds its files beside the executable it believes it runs in.
    std::string program = (dir_ / "kestrelin").string();
    win::testing::OverrideExecutablePath(program.c_str());
    auto settings = std::make_unique<CSettings>();
    win::testing::OverrideExecutablePath(nullptr);
    settings->KeepFilesUnchanged();
    return settings;
}

bool InstalledPhone::Start(Desktop &desktop)
{
    std::string asan = "check_initialization_order=1:strict_init_order=1";
    if (const char *inherited = std::getenv("ASAN_OPTIONS"))
        asan = std::string(inherited) + ":" + asan;
    fs::path suppressions = dir_.string() + ".lsan";
    std::ofstream(suppressions) << kLeakSuppressions;
    // The user's own runtime directory, as a desktop session gives one.
    fs::path runtime = dir_.string() + ".runtime";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    ProcessOptions options;
    options.environment = {"DISPLAY=" + desktop.Display(),
                           "QT_QPA_PLATFORM=xcb",
                           "XDG_RUNTIME_DIR=" + runtime.string(),
                           "KESTRELIN_SOUND=" + sound_,
                           "ASAN_OPTIONS=" + asan,
                           "LSAN_OPTIONS=suppressions=" + suppressions.string()};
    if (!path_.empty())
        options.environment.push_back("PATH=" + path_);
    if (!player_.empty())
        options.environment.push_back("KESTRELIN_SOUND_PLAYER=" + player_);
    options.mergeStderr = true;
    options.workingDirectory = dir_.parent_path().string();
    process_ = std::make_unique<Process>((dir_ / "kestrelin").string(), std::vector<std::string>{},
                                         options);
    return process_->Pid() > 0;
}

std::string InstalledPhone::OutputText() const
{
    std::string all;
    for (const std::string &line : Output())
        all += line + "\n";
    return all;
}

std::vector<std::string> InstalledPhone::Alarms() const
{
    std::vector<std::string> alarms;
    for (const std::string &line : Output())
        for (const char *sign : {"AddressSanitizer", "LeakSanitizer", "runtime error:",
                                 "Segmentation fault", "Aborted"})
            if (line.find(sign) != std::string::npos) {
                alarms.push_back(line);
                break;
            }
    return alarms;
}

XWindow InstalledPhone::WaitForWindow(Desktop &desktop, const std::string &title, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (XWindow w = desktop.FindWindow(Pid(), title))
            return w;
        if (!Running() || std::chrono::steady_clock::now() > deadline)
            return 0;
        std::this_thread::sleep_for(kPollInterval);
    }
}

bool InstalledPhone::WaitUntilGone(Desktop &desktop, XWindow window, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        std::vector<XWindow> shown = desktop.Windows(Pid());
        if (std::find(shown.begin(), shown.end(), window) == shown.end())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(kPollInterval);
    }
}

int InstalledPhone::WaitForExit(int timeoutMs)
{
    int status = process_->Wait(timeoutMs);
    process_->WaitForEndOfOutput(5000);
    return status;
}

std::map<std::string, std::string> InstalledPhone::DataFiles() const
{
    std::map<std::string, std::string> files;
    for (const auto &entry : fs::directory_iterator(dir_)) {
        std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || name == "kestrelin" ||
            fs::exists(fs::path(KESTRELIN_RUNTIME_DIR) / name))
            continue;
        files[name] = Read(entry.path());
    }
    return files;
}

int FreeLocalPort()
{
    // Below the system's range for ports that bind and connect choose, where another test's
    // connection could take it before the phone listens, and away from the media ports
    // (5000-5999 by default, 17000-29999 for the endpoint tests).
    constexpr int kFirst = 10000, kLast = 16999;
    static std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<int> pick(kFirst, kLast);
    for (;;) {
        int port = pick(random);
        if (CanBind(SOCK_STREAM, port) && CanBind(SOCK_DGRAM, port))
            return port;
    }
}

} // namespace e2e
