// kestrelin: the soft phone. The application object starts it; its main dialog is the program.
#include <ui/soft_phone_app.h>

#include <win/application.h>

int main()
{
    // The toolkit first, then the application object: building it creates the process object
    // and binds the handset library. Built here rather than as a global object, so that it
    // never runs before the globals of the layers it uses.
    win::EnsureApplication();
    CSoftPhoneApp theApp;
    return AfxWinMain();
}
