// An X desktop for driving the real program as a user does: Xvfb on a display it finds free,
// optionally a window manager, and the user's hands and eyes on it: windows found by their
// process and title, clicks and keys through the XTEST extension, and screenshots.
#pragma once

#include "process.h"

#include <QImage>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace e2e {

using XWindow = unsigned long;

struct WindowGeometry {
    int x = 0, y = 0; ///< the client area's top left corner on the screen
    int width = 0, height = 0;
};

class Desktop
{
  public:
    enum class WindowManager { None, Openbox };

    /** Starts the X server (and the window manager); Ready() tells whether both came up. */
    explicit Desktop(WindowManager manager);
    ~Desktop();
    Desktop(const Desktop &) = delete;
    Desktop &operator=(const Desktop &) = delete;

    bool Ready() const { return ready_; }
    /** ":N", the value of DISPLAY for the programs on this desktop. */
    const std::string &Display() const { return display_; }
    WindowManager Manager() const { return manager_; }

    /** The visible top-level windows of a process (by _NET_WM_PID), oldest first. */
    std::vector<XWindow> Windows(int pid);
    /** The window's title (WM_NAME / _NET_WM_NAME), "" when it has gone. */
    std::string Title(XWindow window);
    WindowGeometry Geometry(XWindow window);
    /** A visible window of pid titled exactly title, 0 when there is none. */
    XWindow FindWindow(int pid, const std::string &title);

    /** Moves the pointer to (x, y) of the window's client area and clicks the left button
     *  there, as long as that point shows the window and not another one over it; whether
     *  it clicked. */
    bool Click(XWindow window, int x, int y);
    /** When the last click began (the clicking client started), in seconds since the epoch. */
    double LastClickTime() const { return lastClick_; }
    /** Moves the window to (x, y) of the screen, as a user drags it there. */
    void Move(XWindow window, int x, int y);
    /** The window that has the keyboard focus, 0 when none has. */
    XWindow Focus();
    /** Types text into the window with the keyboard focus, key by key. */
    void Type(const std::string &text);
    /** Presses keys by their names ("Return", "Tab", "ctrl+a"), one after the other. */
    void Key(const std::vector<std::string> &keys);

    /** Saves the whole screen as a PNG file; false when it could not. */
    bool Screenshot(const std::string &path);
    /** A rectangle of a window's client area as the screen shows it now; a null image when
     *  the screen could not be read. */
    QImage Grab(XWindow window, int x, int y, int width, int height);

  private:
    /** Runs an X client on this desktop; its standard output's lines, empty on failure. */
    std::vector<std::string> Client(const std::string &program, const std::vector<std::string> &args);
    bool ManagerRunning();
    /** The child of the root that holds the window: its frame under a window manager. */
    XWindow Frame(XWindow window);

    WindowManager manager_;
    bool ready_ = false;
    double lastClick_ = 0;
    std::string display_;
    std::unique_ptr<Process> server_;
    std::unique_ptr<Process> windowManager_;
};

const char *Name(Desktop::WindowManager manager);
/** For test parameters: the manager's name. */
void PrintTo(Desktop::WindowManager manager, std::ostream *os);

} // namespace e2e
