// The main dialog's login: gatekeeper registration and the service's greeting,
// authentication and keep-alive.
#include <ui/soft_phone_dlg.h>

#include <core/login_digest.h>

#include <win/msgbox.h>

#include <cstdio>

LRESULT CSoftPhoneDlg::OnStartRegistration(WPARAM, LPARAM)
{
    if (m_bShutDown)
        return 0;
    RegistrationRequest &request = *m_pRegistration;
    // A registration still running is cut short (its requests fail at once) and ended before
    // its request block is filled again.
    if (m_registrationThreads.AnyRunning())
        m_endpoint.RemoveGatekeeper(-1);
    m_registrationThreads.WaitAll();

    CString primary, secondary;
    primary.Format("%s:%d", m_strPrimaryHost.GetString(), m_settings.m_nServerPort);
    secondary.Format("%s:%d", m_strSecondaryHost.GetString(), m_settings.m_nServerPort);
    request.strAddress[0] = m_settings.m_nServerIndex == 0 ? primary : secondary;
    request.strAddress[1] = m_settings.m_nServerIndex == 0 ? secondary : primary;
    // The gatekeeper answers at the primary host's fixed port only.
    request.strAddress[0].Format("%s:%d", m_strPrimaryHost.GetString(), m_nGatekeeperPort);
    request.nAddressCount = 1;
    request.strUserName = m_settings.m_strAccount;
    request.strPassword = m_settings.m_strPassword;

    m_endpoint.RemoveListener(nullptr);
    CString listener;
    listener.Format("*:%d", m_settings.m_nLocalPort);
    m_endpoint.StartListener(H323TransportAddress(PString(listener.GetString())));

    m_strStatus.LoadString(126);
    InvalidateStatusArea();
    SetTimer(21, 330);
    m_registrationThreads.Start(GatekeeperRegisterThread, &request);

    if (m_nLoginState < 1) {
        // The service's datagram protocol: its socket is (re)opened towards the chosen server.
        const CString &host = m_settings.m_nServerIndex == 0 ? m_strPrimaryHost : m_strSecondaryHost;
        CString error;
        if (!m_serviceSocket.OpenServiceSocket(this, host, UINT(m_settings.m_nServerPort),
                                               m_settings.m_strAccount,
                                               UINT(m_settings.m_nLocalPort), &error))
            std::fprintf(stderr, "kestrelin: service: %s\n", error.ToUtf8().c_str());
        m_serviceSocket.NextSequence();
        m_strHeloId = m_serviceSocket.FormatSequence();
        m_nHeloRetries = 3;
        m_serviceSocket.SendHelo();
        SetTimer(3, 3000);
    }
    return 0;
}

void CSoftPhoneDlg::ShowRegistration(UINT nIndicator, UINT nStatus)
{
    KillTimer(21);
    SetButtonPicture(m_btnRegIndicator, nIndicator);
    m_strStatus.LoadString(nStatus);
    InvalidateStatusArea();
}

LRESULT CSoftPhoneDlg::OnGatekeeperRegistered(WPARAM, LPARAM)
{
    ShowRegistration(171, 123);
    // The address that registered becomes the server choice: the one address tried is the
    // primary host, so a registration there keeps the choice.
    return 0;
}

LRESULT CSoftPhoneDlg::OnGatekeeperUnregistered(WPARAM, LPARAM)
{
    // Unregistered or the registration lost: shown as before any registration, until the
    // next confirm (the stack registers again by itself after a loss).
    ShowRegistration(170, 127);
    return 0;
}

LRESULT CSoftPhoneDlg::OnRegistrationFailed(WPARAM, LPARAM)
{
    ShowRegistration(170, 103);
    return 0;
}

LRESULT CSoftPhoneDlg::OnAccountInUse(WPARAM wParam, LPARAM)
{
    if (wParam != 103) {
        CString text;
        text.LoadString(102);
        MessageBoxA(GetSafeHwnd(), text, nullptr, MB_OK);
    }
    return 0;
}

LRESULT CSoftPhoneDlg::OnServiceHeloOk(WPARAM, LPARAM)
{
    m_nHeloRetries = 0;
    KillTimer(3);
    m_strAuthDigest = LoginDigest(m_settings.m_strAccount.StdString(),
                                  m_settings.m_strPassword.StdString(), m_strAliasDomain.StdString(),
                                  m_serviceSocket.m_strToken[6].StdString())
                          .c_str();
    m_serviceSocket.NextSequence();
    m_strAuthId = m_serviceSocket.FormatSequence();
    m_serviceSocket.SendAuth(m_strAuthDigest);
    m_nAuthRetries = 3;
    SetTimer(4, 3000);
    return 0;
}

LRESULT CSoftPhoneDlg::OnServiceAuthOk(WPARAM, LPARAM)
{
    m_nLoginState = 1;
    m_nAuthRetries = 0;
    KillTimer(4);
    SetTimer(7, 60000);
    return 0;
}

LRESULT CSoftPhoneDlg::OnServiceAuthFailed(WPARAM, LPARAM)
{
    m_nLoginState = -1;
    m_nAuthRetries = 0;
    KillTimer(4);
    KillTimer(7);
    return 0;
}

LRESULT CSoftPhoneDlg::OnServiceHeloFailed(WPARAM, LPARAM)
{
    m_nHeloRetries = 0;
    KillTimer(3);
    return 0;
}

LRESULT CSoftPhoneDlg::OnServiceKicked(WPARAM, LPARAM)
{
    m_serviceSocket.NextSequence();
    m_strHeloId = m_serviceSocket.FormatSequence();
    m_nHeloRetries = 3;
    m_serviceSocket.SendHelo();
    SetTimer(3, 3000);
    return 0;
}

LRESULT CSoftPhoneDlg::OnServiceRelogin(WPARAM, LPARAM) { return 0; }

LRESULT CSoftPhoneDlg::OnServiceAck(WPARAM, LPARAM)
{
    const CString &id = m_serviceSocket.m_strToken[3];
    if (id.IsEmpty())
        return 0;
    if (id == m_strAuthId) {
        m_nAuthRetries = 0;
        KillTimer(4);
    }
    if (id == m_strLiveId) {
        m_nLiveRetries = 0;
        KillTimer(8);
    }
    if (id == m_strHeloId) {
        m_nHeloRetries = 0;
        KillTimer(3);
    }
    return 0;
}
