// The X desktop of the program tests: Xvfb, openbox, xdotool and the screenshot grabber.
#include "desktop.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <thread>
#include <unistd.h>

namespace e2e
{

namespace
{

constexpr const char *kXvfb = E2E_XVFB;
constexpr const char *kOpenbox = E2E_OPENBOX;
constexpr const char *kXdotool = E2E_XDOTOOL;
constexpr const char *kXprop = E2E_XPROP;
constexpr const char *kXwininfo = E2E_XWININFO;
// Between two looks at the root window while waiting for the window manager.
constexpr auto kPollInterval = std::chrono::milliseconds(20);
// Between two keys typed, so that no toolkit drops a key under load.
constexpr const char *kKeyDelayMs = "30";

std::chrono::steady_clock::time_point Deadline(int timeoutMs)
{
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
}

} // namespace

const char *Name(Desktop::WindowManager manager)
{
    return manager == Desktop::WindowManager::Openbox ? "openbox" : "noWindowManager";
}

void PrintTo(Desktop::WindowManager manager, std::ostream *os) { *os << Name(manager); }

Desktop::Desktop(WindowManager manager) : manager_(manager)
{
    // The server writes the display number it found free on the descriptor -displayfd names.
    server_ = std::make_unique<Process>(
        kXvfb, std::vector<std::string>{"-displayfd", "1", "-screen", "0", "1280x1024x24",
                                        "-nolisten", "tcp", "-noreset"});
    std::string number = server_->WaitFor("", 20000);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos)
        return;
    display_ = ":" + number;
    if (manager_ == WindowManager::Openbox) {
        ProcessOptions options;
        options.environment = {"DISPLAY=" + display_};
        windowManager_ =
            std::make_unique<Process>(kOpenbox, std::vector<std::string>{"--sm-disable"}, options);
        auto deadline = Deadline(20000);
        while (!ManagerRunning()) {
            if (std::chrono::steady_clock::now() > deadline || !windowManager_->Running())
                return;
            std::this_thread::sleep_for(kPollInterval);
        }
    }
    ready_ = true;
}

Desktop::~Desktop()
{
    if (windowManager_) {
        windowManager_->Terminate();
        windowManager_->Wait(5000);
    }
    server_->Terminate();
    server_->Wait(5000);
}

// A window manager that follows the extended hints names its own window on the root.
bool Desktop::ManagerRunning()
{
    for (const std::string &line : Client(kXprop, {"-root", "_NET_SUPPORTING_WM_CHECK"}))
        if (line.find("window id #") != std::string::npos)
            return true;
    return false;
}

std::vector<std::string> Desktop::Client(const std::string &program,
                                         const std::vector<std::string> &args)
{
    ProcessOptions options;
    options.environment = {"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb"};
    Process client(program, args, options);
    if (client.Wait(20000) != 0 || !client.WaitForEndOfOutput(5000))
        return {};
    return client.Lines();
}

std::vector<XWindow> Desktop::Windows(int pid)
{
    std::vector<XWindow> windows;
    for (const std::string &line :
         Client(kXdotool, {"search", "--all", "--onlyvisible", "--pid", std::to_string(pid)}))
        windows.push_back(std::strtoul(line.c_str(), nullptr, 10));
    return windows;
}

std::string Desktop::Title(XWindow window)
{
    std::vector<std::string> lines = Client(kXdotool, {"getwindowname", std::to_string(window)});
    return lines.empty() ? std::string() : lines.front();
}

WindowGeometry Desktop::Geometry(XWindow window)
{
    // xwininfo's absolute corner is the client area's also inside a window manager's frame
    // (xdotool's counts the frame's offset twice).
    WindowGeometry g;
    const std::pair<const char *, int *> fields[] = {{"Absolute upper-left X:", &g.x},
                                                     {"Absolute upper-left Y:", &g.y},
                                                     {"Width:", &g.width},
                                                     {"Height:", &g.height}};
    for (const std::string &line : Client(kXwininfo, {"-id", std::to_string(window)})) {
        size_t start = line.find_first_not_of(' ');
        for (const auto &[name, value] : fields)
            if (start != std::string::npos && line.compare(start, std::strlen(name), name) == 0)
                *value = std::atoi(line.c_str() + start + std::strlen(name));
    }
    return g;
}

XWindow Desktop::FindWindow(int pid, const std::string &title)
{
    for (XWindow w : Windows(pid))
        if (Title(w) == title)
            return w;
    return 0;
}

bool Desktop::Click(XWindow window, int x, int y)
{
    Client(kXdotool, {"mousemove", "--sync", "--window", std::to_string(window), std::to_string(x),
                      std::to_string(y)});
    XWindow under = 0;
    for (const std::string &line : Client(kXdotool, {"getmouselocation", "--shell"}))
        if (line.rfind("WINDOW=", 0) == 0)
            under = std::strtoul(line.c_str() + 7, nullptr, 10);
    if (under != window && under != Frame(window)) {
        std::cerr << "no click at (" << x << ", " << y << ") of window " << window << " \""
                  << Title(window) << "\": the pointer is over window " << under << " \""
                  << Title(under) << "\"\n";
        return false;
    }
    lastClick_ = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
                     .count();
    Client(kXdotool, {"click", "1"});
    return true;
}

void Desktop::Move(XWindow window, int x, int y)
{
    Client(kXdotool, {"windowmove", "--sync", std::to_string(window), std::to_string(x),
                      std::to_string(y)});
}

XWindow Desktop::Focus()
{
    std::vector<std::string> lines = Client(kXdotool, {"getwindowfocus"});
    return lines.empty() ? 0 : std::strtoul(lines.front().c_str(), nullptr, 10);
}

void Desktop::Type(const std::string &text)
{
    Client(kXdotool, {"type", "--delay", kKeyDelayMs, text});
}

void Desktop::Key(const std::vector<std::string> &keys)
{
    std::vector<std::string> args = {"key", "--delay", kKeyDelayMs};
    args.insert(args.end(), keys.begin(), keys.end());
    Client(kXdotool, args);
}

bool Desktop::Screenshot(const std::string &path)
{
    Client(E2E_X_GRAB, {path});
    return std::filesystem::exists(path);
}

XWindow Desktop::Frame(XWindow window)
{
    // Up the tree until the parent is the root: a window manager's frame, or the window.
    for (int depth = 0; depth < 8; ++depth) {
        XWindow root = 0, parent = 0;
        for (const std::string &line : Client(kXwininfo, {"-tree", "-id", std::to_string(window)})) {
            size_t start = line.find_first_not_of(' ');
            if (start == std::string::npos)
                continue;
            if (line.compare(start, 15, "Root window id:") == 0)
                root = std::strtoul(line.c_str() + start + 15, nullptr, 16);
            else if (line.compare(start, 17, "Parent window id:") == 0)
                parent = std::strtoul(line.c_str() + start + 17, nullptr, 16);
        }
        if (parent == 0 || parent == root)
            return window;
        window = parent;
    }
    return window;
}

QImage Desktop::Grab(XWindow window, int x, int y, int width, int height)
{
    static int serial = 0;
    std::string path = (std::filesystem::temp_directory_path() /
                        ("kestrelin-grab-" + std::to_string(::getpid()) + "-" +
                         std::to_string(serial++) + ".png"))
                           .string();
    QImage screen;
    bool read = Screenshot(path) && screen.load(QString::fromStdString(path));
    std::filesystem::remove(path);
    if (!read)
        return {};
    WindowGeometry g = Geometry(window);
    return screen.copy(g.x + x, g.y + y, width, height);
}

} // namespace e2e
