// login-round: one login round with the service (Helo, Auth, one keep-alive), for checking a server.
#include "login_round.h"

#include <core/service_config.h>
#include <core/service_socket.h>
#include <core/settings.h>

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("login-round");

    // The data files of the install directory, as the phone keeps them; the command line
    // overrides what they hold.
    CSettings settings;

    QCommandLineParser parser;
    parser.setApplicationDescription("Logs in to the service and sends one keep-alive.");
    parser.addHelpOption();
    QCommandLineOption account("account", "Account (default: the saved one, else 8001).",
                               "ACCOUNT");
    QCommandLineOption password("password", "Password (default: the saved one, else demo).",
                                "PASSWORD");
    QCommandLineOption serverPort("server-port", "Port of the service (default: saved, 19900).",
                                  "PORT");
    QCommandLineOption localPort("local-port", "Local H.323 port (default: saved, 1991).", "PORT");
    parser.addOptions({account, password, serverPort, localPort});
    parser.process(app);

    auto text = [&](const QCommandLineOption &option, const CString &saved, const char *demo) {
        if (parser.isSet(option))
            return CString::FromUtf8(parser.value(option).toStdString());
        return saved.IsEmpty() ? CString(demo) : saved;
    };
    auto number = [&](const QCommandLineOption &option, int saved, uint *value) {
        if (!parser.isSet(option)) {
            *value = static_cast<uint>(saved);
            return saved > 0 && saved <= 65535;
        }
        bool ok = false;
        *value = parser.value(option).toUInt(&ok);
        return ok && *value > 0 && *value <= 65535;
    };
    CString strAccount = text(account, settings.m_strAccount, "8001");
    CString strPassword = text(password, settings.m_strPassword, "demo");
    uint port = 0, local = 0;
    if (!number(serverPort, settings.m_nServerPort, &port) ||
        !number(localPort, settings.m_nLocalPort, &local)) {
        std::fprintf(stderr, "login-round: a port is a number from 1 to 65535\n");
        return 2;
    }

    std::vector<std::string> warnings;
    CServiceConfig config = CServiceConfig::Load(GetInstallDir().StdString(), &warnings);
    for (const std::string &warning : warnings)
        std::fprintf(stderr, "login-round: %s\n", warning.c_str());
    const std::string &host =
        settings.m_nServerIndex == 0 ? config.m_strPrimaryHost : config.m_strSecondaryHost;

    auto say = [](const CString &line) {
        std::printf("%s\n", line.ToUtf8().c_str());
        std::fflush(stdout);
    };

    CServiceSocket socket;
    CLoginRound round(
        socket, strAccount, strPassword, config.m_strAliasDomain.c_str(),
        [](int code) { QCoreApplication::exit(code); }, say);
    CString error;
    if (!socket.OpenServiceSocket(&round, host.c_str(), port, strAccount, local, &error)) {
        std::fprintf(stderr, "login-round: %s\n", error.ToUtf8().c_str());
        return 1;
    }
    round.Start();
    int status = app.exec();

    socket.NextSequence();
    socket.SendQuit();
    socket.CloseServiceSocket();
    return status;
}
