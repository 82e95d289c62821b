// CLoginRound: one login to the service over CServiceSocket, driven by its window messages.
//
// Helo, then Auth with the login digest of the challenge, then one keep-alive at once (the
// phone's dialog sends it every 60 s). Each request is resent every 3 s until acknowledged,
// three sends at most. The round ends with the first keep-alive answered "200" (exit code 0)
// or with a refusal, a request given up or 30 s without a login (1).
#pragma once

#include <win/cstring.h>
#include <win/cwnd.h>

#include <functional>

class CServiceSocket;

class CLoginRound : public CWnd
{
  public:
    /** done receives the exit code once; say prints one line of progress. */
    CLoginRound(CServiceSocket &socket, const CString &strAccount, const CString &strPassword,
                const CString &strAliasDomain, std::function<void(int)> done,
                std::function<void(const CString &)> say);
    ~CLoginRound() override;

    /** Greets the service. */
    void Start();

    static constexpr UINT kRetryMs = 3000;
    static constexpr UINT kLivePeriodMs = 60000;
    static constexpr UINT kRoundMs = 30000;

  protected:
    afx_msg LRESULT OnServiceHeloOk(WPARAM, LPARAM);
    afx_msg LRESULT OnServiceHeloFailed(WPARAM, LPARAM);
    afx_msg LRESULT OnServiceAuthOk(WPARAM, LPARAM);
    afx_msg LRESULT OnServiceAuthFailed(WPARAM, LPARAM);
    afx_msg LRESULT OnServiceLiveOk(WPARAM, LPARAM);
    afx_msg LRESULT OnServiceLiveRefused(WPARAM, LPARAM);
    afx_msg LRESULT OnServiceKicked(WPARAM, LPARAM);
    afx_msg LRESULT OnServiceAck(WPARAM, LPARAM);
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    DECLARE_MESSAGE_MAP()

  private:
    // Timer ids of the phone's dialog: Helo, Auth, keep-alive period, keep-alive retry; and
    // the limit of the whole round, so that a service that acknowledges but never answers
    // does not keep the program waiting.
    enum : UINT_PTR {
        kRoundTimer = 1,
        kHeloTimer = 3,
        kAuthTimer = 4,
        kLiveTimer = 7,
        kLiveRetryTimer = 8
    };

    void SendHelo();
    void SendLive();
    void Finish(int nCode, const CString &strWhy);

    CServiceSocket &m_socket;
    CString m_strAccount, m_strPassword, m_strAliasDomain;
    std::function<void(int)> m_done;
    std::function<void(const CString &)> m_say;

    int m_nHeloRetries = 0, m_nAuthRetries = 0, m_nLiveRetries = 0;
    int m_nLoginState = -1;
    CString m_strAuthDigest;
    CString m_strHeloId, m_strAuthId, m_strLiveId;
    bool m_bFinished = false;
};
