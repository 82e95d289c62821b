// CServiceSocket: the phone's end of the service's datagram protocol.
//
// Requests go out as "Helo|Auth|Live|Quit <ident1> <ident2> <sequence> [digest]"; every
// request received from the server is acknowledged ("ACK <t1> <t2> <t3>") before it is handled,
// repeated requests are recognised by their sequence number, and each reply's status reaches
// the main window as a message sent with both parameters 0. The window then reads the status
// text (m_strToken[5]), the challenge (m_strToken[6]) or the acknowledged sequence
// (m_strToken[3]).
//
// A reply ("Helo", "Auth", or "Live" with a status) is handled only when it answers the last
// request of its kind that was sent, by its sequence number; replies to older or unknown
// requests are acknowledged like any message and otherwise ignored. A "Helo" 200 that carries
// no challenge is a failed greeting.
//
// The server's host name is resolved when the socket is opened: datagrams go to its address,
// and only datagrams from one of its addresses and the server port are looked at. Anything
// else, datagrams over 1024 bytes, and datagrams that hold a zero byte or lack the four leading
// tokens (keyword, two identity fields, a non-empty sequence) are dropped unacknowledged.
#pragma once

#include <win/casyncsocket.h>
#include <win/cstring.h>

#include <vector>

class CWnd;

class CServiceSocket : public CAsyncSocket
{
  public:
    static constexpr int kMaxDatagram = 1024;
    static constexpr int kTokens = 7;
    static constexpr int kSeenIds = 50;
    static constexpr int kMaxSequence = 60000;

    /** Closed, with an empty ring and a random sequence number in 1 to 60000. */
    CServiceSocket();
    ~CServiceSocket() override;

    /**
     * Opens a datagram socket on any local port towards host:port and fills the identity
     * fields: token 1 the account, token 2 the local H.323 port in decimal. An open socket is
     * closed and opened again. FALSE (and the socket stays closed) when the host does not
     * resolve or no socket can be made; pError, when given, says why.
     */
    BOOL OpenServiceSocket(CWnd *pMainWnd, LPCTSTR lpszHost, UINT nPort, LPCTSTR lpszAccount,
                           UINT nLocalH323Port, CString *pError = nullptr);

    /** Request senders: 0 when handed to the socket, -1 without sending while closed. */
    int SendHelo();
    int SendAuth(LPCTSTR lpszDigest);
    int SendLive();
    int SendQuit();

    /** Advances the sequence number, from 60000 back to 1; returns the new number. */
    int NextSequence();
    /** The current sequence number as decimal text. */
    CString FormatSequence() const;

    /** Sends text as one datagram to the server whatever m_bOpen holds; returns 0. */
    int SendText(LPCTSTR lpszText);

    /** "ACK " and tokens 1, 2 and 3 of the message, separated by single spaces. */
    CString BuildAck(LPCTSTR lpszMessage) const;

    /**
     * Fills entries 0 to 4 of m_strToken with the message's space-separated tokens (empty
     * where absent) and entry 5 with token 5 when there is one (kept otherwise). Returns the
     * number of tokens in the message.
     */
    int SplitTokens(LPCTSTR lpszMessage);

    /** 0 when id is in the ring of the last 50 request ids; otherwise stores it, returns 1. */
    int IsDuplicate(LPCTSTR lpszId);

    /** Receive notification: takes one datagram and handles it when it is the server's. */
    void OnReceive(int nErrorCode) override;

    /** What OnReceive does with the bytes of a datagram that came from the server. */
    void HandleDatagram(const char *pData, int nLength);

    void OnAuthMessage(LPCTSTR lpszMessage);
    void OnHeloMessage(LPCTSTR lpszMessage);
    void OnLiveMessage(LPCTSTR lpszMessage);
    void OnInfoMessage(LPCTSTR lpszMessage);
    void OnMsgMessage(LPCTSTR lpszMessage);
    void OnQuitMessage(LPCTSTR lpszMessage);
    void OnAckMessage(LPCTSTR lpszMessage);

    /** Closes the socket and ends the use of the sockets library; returns 1. */
    int CloseServiceSocket();

    CString m_strToken[kTokens];
    CString m_strSeenIds[kSeenIds];
    int m_nSeenNext;
    CWnd *m_pMainWnd;
    UINT m_nPort;
    CString m_strHost;
    CString m_strIdent2;
    int m_nSequence;
    CString m_strIdent1;
    int m_bOpen;

  private:
    /** Splits text at single spaces into up to nMaxTokens entries; returns the token count. */
    static int Tokenize(LPCTSTR lpszText, CString *pTokens, int nMaxTokens);
    /** Sends a request under m_nSequence; pSent, when given, keeps its sequence text. */
    int SendRequest(LPCTSTR lpszKeyword, LPCTSTR lpszPayload, CString *pSent);
    BOOL IsFromServer(const CString &strAddress, UINT nPort) const;
    void Notify(UINT nMessage);
    /** TRUE when the message just split answers the request last sent under strSent. */
    BOOL AnswersRequest(const CString &strSent) const;

    std::vector<CString> m_serverAddresses; // dotted IPv4 addresses of m_strHost
    // Sequence texts of the last greeting, authentication and keep-alive sent; empty: none.
    CString m_strHeloSent, m_strAuthSent, m_strLiveSent;
};
