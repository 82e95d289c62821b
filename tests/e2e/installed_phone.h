// The real program in a fresh install directory of its own, started as a user starts it: the
// executable with its resource packs and sounds, the data files a test puts there first, and
// the running process with everything it says on standard output and standard error.
#pragma once

#include "desktop.h"
#include "process.h"

#include <core/settings.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

namespace e2e {

class InstalledPhone
{
  public:
    /** Makes dir (emptied first) an install directory holding nothing but the program. */
    explicit InstalledPhone(std::filesystem::path dir);
    ~InstalledPhone();
    InstalledPhone(const InstalledPhone &) = delete;
    InstalledPhone &operator=(const InstalledPhone &) = delete;

    const std::filesystem::path &Dir() const { return dir_; }

    /** netphone.ini holding the language digit (0 English, 1 and 2 Chinese). */
    void SetLanguage(int language);
    /** service.conf naming host as the service's primary and secondary server. */
    void UseService(const std::string &host);
    /** Server.dat with the local H.323 port, the primary server first and the service port. */
    void SetLocalPort(int port);
    /** ui.dat: where the main window was when the program last ended. */
    void SetWindowPosition(int x, int y);
    /** The program's PATH: a directory holding no web browser makes a machine where none can
     *  be started. */
    void SetPath(const std::string &path) { path_ = path; }
    /** The sound device that every device of the system opens as (KESTRELIN_SOUND): "null"
     *  unless set; a "file:" device that cannot be opened makes a machine whose sound fails. */
    void SetSoundDevice(const std::string &device) { sound_ = device; }
    /** The device that every player of the system opens as (KESTRELIN_SOUND_PLAYER), before
     *  the one above: a "file:" directory keeps what each opened player played. */
    void SetPlayerDevice(const std::string &device) { player_ = device; }

    /** Starts the program on the desktop, with the sound device above; false if it could not. */
    bool Start(Desktop &desktop);
    int Pid() const { return process_ ? process_->Pid() : -1; }
    bool Running() const { return process_ && process_->Running(); }
    /** Waits for a window of the program titled exactly title; 0 when none came in time or
     *  the program ended. */
    XWindow WaitForWindow(Desktop &desktop, const std::string &title, int timeoutMs = 20000);
    /** Waits until the program's window is no longer shown; false when it still is. */
    bool WaitUntilGone(Desktop &desktop, XWindow window, int timeoutMs = 20000);
    /** Everything the program said so far, standard error included. */
    std::vector<std::string> Output() const { return process_->Lines(); }
    /** The same as one text, a line each, for a failure's message. */
    std::string OutputText() const;
    /** The lines of the output that tell of a crash or of undefined behaviour. */
    std::vector<std::string> Alarms() const;
    /** Waits for the program to end (killed after timeoutMs); its exit status. */
    int WaitForExit(int timeoutMs = 20000);

    /** The data files of the directory now (all but the program's own files), by name. */
    std::map<std::string, std::string> DataFiles() const;
    /** The settings the data files hold now, read as the program reads them (nothing is
     *  written back). */
    std::unique_ptr<CSettings> Settings() const;

  private:
    void Write(const std::string &name, const std::string &bytes);

    std::filesystem::path dir_;
    std::string path_; // "" : the test's own
    std::string sound_ = "null";
    std::string player_;
    std::unique_ptr<Process> process_;
};

/** A TCP and UDP port number that no socket holds now, for a phone's local port, from a
 *  range that no other socket takes without asking for it. */
int FreeLocalPort();

} // namespace e2e
