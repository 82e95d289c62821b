// MyConnection: answering left to the user, alerting, user-input text as chat.
#include <core/connection.h>

#include <core/endpoint.h>
#include <core/window_messages.h>

#include <win/cwnd.h>
#include <win/winmsg.h>

MyConnection::MyConnection(CWnd *mainWnd, CEndPoint *endpoint, unsigned callReference)
    : H323Connection(*endpoint, callReference), m_pEndPoint(endpoint),
      m_hMainWnd(mainWnd != nullptr ? mainWnd->GetSafeHwnd() : nullptr)
{
}

H323Connection::AnswerCallResponse
MyConnection::OnAnswerCall(const PString &, const H323SignalPDU &, H323SignalPDU &)
{
    m_pEndPoint->PostIncomingCall();
    return AnswerCallPending;
}

BOOL MyConnection::OnAlerting(const H323SignalPDU &alertingPDU, const PString &user)
{
    H323Connection::OnAlerting(alertingPDU, user);
    return TRUE;
}

void MyConnection::OnUserInputString(const PString &value)
{
    if (m_hMainWnd != nullptr)
        ::SendMessage(m_hMainWnd, WM_CHAT_TEXT,
                      reinterpret_cast<WPARAM>(static_cast<const char *>(value)), 0);
}
