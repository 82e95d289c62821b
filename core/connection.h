// MyConnection: the phone's H.323 connection: incoming calls wait for the user, alerting is
// always accepted, and user-input text from the peer goes to the main window as chat text.
#pragma once

#include <h323/callsig/connection.h>

#include <win/windef.h>

class CEndPoint;
class CWnd;

class MyConnection : public H323Connection
{
    PCLASSINFO(MyConnection, H323Connection)
  public:
    /// mainWnd may be null: user-input text is then dropped.
    MyConnection(CWnd *mainWnd, CEndPoint *endpoint, unsigned callReference);

    /// Has the endpoint offer the call to the user and leaves the answer pending.
    AnswerCallResponse OnAnswerCall(const PString &callerName, const H323SignalPDU &setupPDU,
                                    H323SignalPDU &connectPDU) override;
    /// The stack's alerting handling (the endpoint's message), always accepted.
    BOOL OnAlerting(const H323SignalPDU &alertingPDU, const PString &user) override;
    /// Sends WM_CHAT_TEXT with the text, valid while the window handles it.
    void OnUserInputString(const PString &value) override;

  private:
    CEndPoint *m_pEndPoint;
    HWND m_hMainWnd;
};
