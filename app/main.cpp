// kestrelin: the soft phone. The application object starts it; its main dialog is the program.
#include <ui/soft_phone_app.h>

#include <win/application.h>

// Built before main, as the class library's application object is: it creates the process
// object and binds the handset library.
CSoftPhoneApp theApp;

int main()
{
    win::EnsureApplication();
    return AfxWinMain();
}
