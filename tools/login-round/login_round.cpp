// CLoginRound: one login to the service over CServiceSocket, driven by its window messages.
#include "login_round.h"

#include <core/login_digest.h>
#include <core/service_socket.h>
#include <core/window_messages.h>

BEGIN_MESSAGE_MAP(CLoginRound, CWnd)
ON_MESSAGE(WM_SVC_HELO_OK, OnServiceHeloOk)
ON_MESSAGE(WM_SVC_HELO_FAILED, OnServiceHeloFailed)
ON_MESSAGE(WM_SVC_AUTH_OK, OnServiceAuthOk)
ON_MESSAGE(WM_SVC_AUTH_FAILED, OnServiceAuthFailed)
ON_MESSAGE(WM_SVC_LIVE_OK, OnServiceLiveOk)
ON_MESSAGE(WM_SVC_LIVE_REFUSED, OnServiceLiveRefused)
ON_MESSAGE(WM_SVC_KICKED, OnServiceKicked)
ON_MESSAGE(WM_SVC_ACK, OnServiceAck)
ON_WM_TIMER()
END_MESSAGE_MAP()

CLoginRound::CLoginRound(CServiceSocket &socket, const CString &strAccount,
                         const CString &strPassword, const CString &strAliasDomain,
                         std::function<void(int)> done, std::function<void(const CString &)> say)
    : m_socket(socket), m_strAccount(strAccount), m_strPassword(strPassword),
      m_strAliasDomain(strAliasDomain), m_done(std::move(done)), m_say(std::move(say))
{
    CreateHandle();
}

CLoginRound::~CLoginRound()
{
    DestroyWindow();
}

void CLoginRound::Start()
{
    SetTimer(kRoundTimer, kRoundMs);
    SendHelo();
}

void CLoginRound::SendHelo()
{
    m_socket.NextSequence();
    m_strHeloId = m_socket.FormatSequence();
    m_nHeloRetries = 3;
    m_socket.SendHelo();
    SetTimer(kHeloTimer, kRetryMs);
    CString line;
    line.Format("Helo %s sent to %s:%u", (LPCTSTR)m_strHeloId, (LPCTSTR)m_socket.m_strHost,
                m_socket.m_nPort);
    m_say(line);
}

void CLoginRound::SendLive()
{
    m_socket.NextSequence();
    m_strLiveId = m_socket.FormatSequence();
    m_nLiveRetries = 3;
    m_socket.SendLive();
    SetTimer(kLiveRetryTimer, kRetryMs);
    m_say("Live " + m_strLiveId + " sent");
}

LRESULT CLoginRound::OnServiceHeloOk(WPARAM, LPARAM)
{
    m_nHeloRetries = 0;
    KillTimer(kHeloTimer);
    const CString &challenge = m_socket.m_strToken[6];
    m_strAuthDigest = LoginDigest(m_strAccount.StdString(), m_strPassword.StdString(),
                                  m_strAliasDomain.StdString(), challenge.StdString())
                          .c_str();
    m_socket.NextSequence();
    m_strAuthId = m_socket.FormatSequence();
    m_socket.SendAuth(m_strAuthDigest);
    m_nAuthRetries = 3;
    SetTimer(kAuthTimer, kRetryMs);
    m_say("greeting accepted, challenge " + challenge + "; Auth " + m_strAuthId + " sent");
    return 0;
}

LRESULT CLoginRound::OnServiceHeloFailed(WPARAM, LPARAM)
{
    m_nHeloRetries = 0;
    KillTimer(kHeloTimer);
    Finish(1, "greeting refused: " + m_socket.m_strToken[5]);
    return 0;
}

LRESULT CLoginRound::OnServiceAuthOk(WPARAM, LPARAM)
{
    m_nLoginState = 1;
    m_nAuthRetries = 0;
    KillTimer(kAuthTimer);
    SetTimer(kLiveTimer, kLivePeriodMs);
    m_say("logged in as " + m_strAccount);
    SendLive();
    return 0;
}

LRESULT CLoginRound::OnServiceAuthFailed(WPARAM, LPARAM)
{
    m_nLoginState = -1;
    m_nAuthRetries = 0;
    KillTimer(kAuthTimer);
    KillTimer(kLiveTimer);
    Finish(1, "login refused: " + m_socket.m_strToken[5]);
    return 0;
}

LRESULT CLoginRound::OnServiceLiveOk(WPARAM, LPARAM)
{
    m_nLiveRetries = 0;
    KillTimer(kLiveRetryTimer);
    Finish(0, "keep-alive answered: " + m_socket.m_strToken[5]);
    return 0;
}

LRESULT CLoginRound::OnServiceLiveRefused(WPARAM, LPARAM)
{
    m_nLiveRetries = 0;
    KillTimer(kLiveRetryTimer);
    Finish(1, "keep-alive refused: " + m_socket.m_strToken[5]);
    return 0;
}

LRESULT CLoginRound::OnServiceKicked(WPARAM, LPARAM)
{
    m_say("service notice: " + m_socket.m_strToken[5] + "; greeting again");
    m_nLoginState = -1;
    KillTimer(kLiveTimer);
    SendHelo();
    return 0;
}

LRESULT CLoginRound::OnServiceAck(WPARAM, LPARAM)
{
    const CString &id = m_socket.m_strToken[3];
    if (id == m_strAuthId) {
        m_nAuthRetries = 0;
        KillTimer(kAuthTimer);
    } else if (id == m_strLiveId) {
        m_nLiveRetries = 0;
        KillTimer(kLiveRetryTimer);
    } else if (id == m_strHeloId) {
        m_nHeloRetries = 0;
        KillTimer(kHeloTimer);
    } else {
        return 0;
    }
    m_say("request " + id + " acknowledged");
    return 0;
}

void CLoginRound::OnTimer(UINT_PTR nIDEvent)
{
    switch (nIDEvent) {
    case kHeloTimer:
        if (--m_nHeloRetries <= 0) {
            KillTimer(kHeloTimer);
            Finish(1, "no answer to the greeting after 3 sends");
        } else {
            m_socket.SendHelo();
            m_say("Helo " + m_strHeloId + " sent again");
        }
        break;
    case kAuthTimer:
        if (--m_nAuthRetries <= 0) {
            KillTimer(kAuthTimer);
            Finish(1, "no answer to the login after 3 sends");
        } else {
            m_socket.SendAuth(m_strAuthDigest);
            m_say("Auth " + m_strAuthId + " sent again");
        }
        break;
    case kLiveTimer:
        SendLive();
        break;
    case kRoundTimer:
        Finish(1, "no login within 30 s");
        break;
    case kLiveRetryTimer:
        if (--m_nLiveRetries <= 0) {
            KillTimer(kLiveRetryTimer);
            Finish(1, "no answer to the keep-alive after 3 sends");
        } else {
            m_socket.SendLive();
            m_say("Live " + m_strLiveId + " sent again");
        }
        break;
    }
}

void CLoginRound::Finish(int nCode, const CString &strWhy)
{
    if (m_bFinished)
        return;
    m_bFinished = true;
    for (UINT_PTR id : {kRoundTimer, kHeloTimer, kAuthTimer, kLiveTimer, kLiveRetryTimer})
        KillTimer(id);
    m_say(strWhy);
    m_done(nCode);
}
