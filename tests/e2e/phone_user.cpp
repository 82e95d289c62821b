// A user's hands on one phone.
#include "phone_user.h"

namespace e2e
{

namespace
{

constexpr int kLoginDialog = 221;
constexpr int kOk = 1;
constexpr int kAccountEdit = 1016;
constexpr int kPasswordEdit = 1017;
constexpr int kMenuPanelDialog = 244;
constexpr int kProductName = 124; // "Kestrelin 5.2", the main window's title before ".1"
constexpr int kWizardTitle = 117; // "Voice Setting"
constexpr int kFirstPanelRow = 61; // skin layout entries of the panel's five rows

} // namespace

PhoneUser::PhoneUser(Desktop &desktop, InstalledPhone &phone, int language)
    : desktop_(desktop), phone_(phone), texts_(&ProgramResources::Of(language))
{
}

XWindow PhoneUser::LogIn(const std::string &account, const std::string &password)
{
    XWindow login = WaitForDialog(kLoginDialog);
    if (!login || !ClickControl(login, kLoginDialog, kAccountEdit))
        return 0;
    // The account a previous run kept is shown: typed over.
    desktop_.Key({"ctrl+a"});
    desktop_.Type(account);
    if (!ClickControl(login, kLoginDialog, kPasswordEdit))
        return 0;
    desktop_.Type(password);
    if (!ClickControl(login, kLoginDialog, kOk))
        return 0;
    main_ = WaitForTitled(texts_->String(kProductName) + ".1");
    return main_;
}

bool PhoneUser::CancelWizard()
{
    XWindow wizard = WaitForTitled(texts_->String(kWizardTitle));
    if (!wizard)
        return false;
    WindowGeometry sheet = desktop_.Geometry(wizard);
    Point cancel = ProgramResources::WizardButtonPoint(sheet.width, sheet.height, 0);
    return desktop_.Click(wizard, cancel.x, cancel.y) && phone_.WaitUntilGone(desktop_, wizard);
}

bool PhoneUser::ClickSkin(int control)
{
    Point p = ProgramResources::SkinButtonPoint(control);
    return main_ && p.x >= 0 && desktop_.Click(main_, p.x, p.y);
}

bool PhoneUser::ClickLayoutBox(int entry)
{
    Point p = ProgramResources::LayoutBoxPoint(entry);
    return main_ && desktop_.Click(main_, p.x, p.y);
}

XWindow PhoneUser::Panel(int timeoutMs)
{
    return WaitForDialog(kMenuPanelDialog, timeoutMs);
}

bool PhoneUser::ClickPanelRow(int row)
{
    XWindow panel = Panel();
    Point p = ProgramResources::LayoutBoxPoint(kFirstPanelRow + row - 1);
    return panel && desktop_.Click(panel, p.x, p.y);
}

bool PhoneUser::ClickControl(XWindow window, int dialog, int control)
{
    Point p = texts_->ControlPoint(dialog, control);
    return window && p.x >= 0 && desktop_.Click(window, p.x, p.y);
}

XWindow PhoneUser::WaitForDialog(int dialog, int timeoutMs)
{
    return WaitForTitled(texts_->Caption(dialog), timeoutMs);
}

XWindow PhoneUser::WaitForTitled(const std::string &title, int timeoutMs)
{
    return phone_.WaitForWindow(desktop_, title, timeoutMs);
}

} // namespace e2e
