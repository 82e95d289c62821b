// A user at one running phone: finds its windows by their titles in the language in force and
// clicks and types on them as a person would, each action saying whether it could be done (a
// window that never came, or a point another window covers, is not clicked).
#pragma once

#include "desktop.h"
#include "installed_phone.h"
#include "program_resources.h"

#include <string>

namespace e2e {

class PhoneUser
{
  public:
    PhoneUser(Desktop &desktop, InstalledPhone &phone, int language);

    /** Types the account (over the one kept) and the password into the login dialog and
     *  presses OK; the main window that then shows, 0 when none did. */
    XWindow LogIn(const std::string &account, const std::string &password);
    /** Cancels the audio wizard a first start opens over the main window; whether it went. */
    bool CancelWizard();

    XWindow Main() const { return main_; }
    /** Clicks a skin button of the main window (by control id). */
    bool ClickSkin(int control);
    /** Clicks the middle of a box of the skin layout table on the main window. */
    bool ClickLayoutBox(int entry);
    /** The menu panel's window, waiting for it to show; 0 when it did not. */
    XWindow Panel(int timeoutMs = 10000);
    /** Clicks row 1 to 5 of the menu panel. */
    bool ClickPanelRow(int row);
    /** Clicks a control of a dialog template (by dialog and control id) on its window. */
    bool ClickControl(XWindow window, int dialog, int control);
    /** A window of the phone with the title of a dialog template in the language in force,
     *  waiting for it; 0 when none came. */
    XWindow WaitForDialog(int dialog, int timeoutMs = 20000);
    /** A window of the phone with that title, waiting for it; 0 when none came. */
    XWindow WaitForTitled(const std::string &title, int timeoutMs = 20000);

    /** The language the phone now shows: after a switch, its windows carry the new titles. */
    void SetLanguage(int language) { texts_ = &ProgramResources::Of(language); }
    const ProgramResources &Texts() const { return *texts_; }

  private:
    Desktop &desktop_;
    InstalledPhone &phone_;
    const ProgramResources *texts_;
    XWindow main_ = 0;
};

} // namespace e2e
