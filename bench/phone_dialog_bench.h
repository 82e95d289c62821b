// The phone's main dialog in an install directory of its own, for benchmarks of the window.
#pragma once

#include <ui/soft_phone_app.h>
#include <ui/soft_phone_dlg.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace phonebench {

/// Serves the dialog's messages and timers until done() or the time-out; false on time-out.
bool Serve(const std::function<bool()> &done, int timeoutMs = 15000);

/// The main dialog (logging in to nobody: the servers' port is 9) of account 8002 in a copy of
/// the install directory, message boxes answered OK. configure edits its settings before the
/// dialog is created.
class PhoneDialog
{
  public:
    PhoneDialog(const std::string &name, const std::function<void(CSoftPhoneDlg &)> &configure);
    ~PhoneDialog();
    PhoneDialog(const PhoneDialog &) = delete;
    PhoneDialog &operator=(const PhoneDialog &) = delete;

    std::unique_ptr<CSoftPhoneApp> app;
    std::filesystem::path dir;
    std::string exe;
    std::unique_ptr<CSoftPhoneDlg> dlg;
};

/// A benchmark program's main, headless (offscreen windows, the null sound devices): setUp
/// runs after the window system is up and tearDown before it goes.
int RunHeadless(int argc, char **argv, const std::function<void()> &setUp,
                const std::function<void()> &tearDown);

} // namespace phonebench
