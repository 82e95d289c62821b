// kestrelin: for now, one login round with the service (the phone's window comes later).
#include <app/login_round.h>

#include <core/service_config.h>
#include <core/service_socket.h>

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("kestrelin");

    QCommandLineParser parser;
    parser.setApplicationDescription("Logs in to the service and sends one keep-alive.");
    parser.addHelpOption();
    QCommandLineOption account("account", "Account (default 8001).", "ACCOUNT", "8001");
    QCommandLineOption password("password", "Password (default demo).", "PASSWORD", "demo");
    QCommandLineOption serverPort("server-port", "Port of the service (default 19900).", "PORT",
                                  "19900");
    QCommandLineOption localPort("local-port", "Local H.323 port (default 1991).", "PORT",
                                 "1991");
    parser.addOptions({account, password, serverPort, localPort});
    parser.process(app);

    bool portOk = false, localOk = false;
    uint port = parser.value(serverPort).toUInt(&portOk);
    uint local = parser.value(localPort).toUInt(&localOk);
    if (!portOk || port == 0 || port > 65535 || !localOk || local > 65535) {
        std::fprintf(stderr, "kestrelin: a port is a number from 1 to 65535\n");
        return 2;
    }

    std::vector<std::string> warnings;
    CServiceConfig config =
        CServiceConfig::Load(QCoreApplication::applicationDirPath().toStdString(), &warnings);
    for (const std::string &warning : warnings)
        std::fprintf(stderr, "kestrelin: %s\n", warning.c_str());

    CString strAccount = CString::FromUtf8(parser.value(account).toStdString());
    CString strPassword = CString::FromUtf8(parser.value(password).toStdString());
    auto say = [](const CString &line) {
        std::printf("%s\n", line.ToUtf8().c_str());
        std::fflush(stdout);
    };

    CServiceSocket socket;
    CLoginRound round(socket, strAccount, strPassword, config.m_strAliasDomain.c_str(),
                      [](int code) { QCoreApplication::exit(code); }, say);
    CString error;
    if (!socket.OpenServiceSocket(&round, config.m_strPrimaryHost.c_str(), port, strAccount,
                                  local, &error)) {
        std::fprintf(stderr, "kestrelin: %s\n", error.ToUtf8().c_str());
        return 1;
    }
    round.Start();
    int status = app.exec();

    socket.NextSequence();
    socket.SendQuit();
    socket.CloseServiceSocket();
    return status;
}
