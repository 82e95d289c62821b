// CServiceSocket: the phone's end of the service's datagram protocol.
#include <core/service_socket.h>

#include <core/service_status_texts.h>
#include <core/window_messages.h>

#include <win/cwnd.h>

#include <arpa/inet.h>
#include <cstring>
#include <netdb.h>
#include <random>

namespace
{

// Dotted IPv4 addresses of a host name or dotted address; empty when it does not resolve.
std::vector<CString> ResolveIPv4(LPCTSTR lpszHost, CString *pError)
{
    std::vector<CString> addresses;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo *result = nullptr;
    int rc = getaddrinfo(lpszHost, nullptr, &hints, &result);
    if (rc != 0) {
        if (pError)
            pError->Format("cannot resolve %s: %s", lpszHost, gai_strerror(rc));
        return addresses;
    }
    for (addrinfo *ai = result; ai; ai = ai->ai_next) {
        char text[INET_ADDRSTRLEN];
        auto *sa = reinterpret_cast<sockaddr_in *>(ai->ai_addr);
        if (inet_ntop(AF_INET, &sa->sin_addr, text, sizeof(text)))
            addresses.emplace_back(text);
    }
    freeaddrinfo(result);
    return addresses;
}

bool StartsWith(LPCTSTR text, const char *keyword)
{
    return std::strncmp(text, keyword, std::strlen(keyword)) == 0;
}

bool Contains(const CString &token, const char *code)
{
    return token.Find(code) >= 0;
}

} // namespace

CServiceSocket::CServiceSocket()
    : m_nSeenNext(0), m_pMainWnd(nullptr), m_nPort(0), m_nSequence(0), m_bOpen(0)
{
    // A restarted phone does not reuse the numbers of its last run.
    std::random_device random;
    m_nSequence = static_cast<int>(random() % kMaxSequence) + 1;
}

CServiceSocket::~CServiceSocket()
{
    if (m_bOpen)
        CloseServiceSocket();
}

BOOL CServiceSocket::OpenServiceSocket(CWnd *pMainWnd, LPCTSTR lpszHost, UINT nPort,
                                       LPCTSTR lpszAccount, UINT nLocalH323Port, CString *pError)
{
    if (m_bOpen)
        CloseServiceSocket();
    if (!AfxSocketInit()) {
        if (pError)
            *pError = "the sockets library cannot start";
        return FALSE;
    }
    std::vector<CString> addresses = ResolveIPv4(lpszHost, pError);
    if (addresses.empty()) {
        if (pError && pError->IsEmpty())
            pError->Format("%s has no IPv4 address", lpszHost);
        return FALSE;
    }
    if (!Create(0, SOCK_DGRAM)) {
        if (pError)
            pError->Format("cannot open a datagram socket (error %d)", GetLastError());
        return FALSE;
    }
    m_serverAddresses = std::move(addresses);
    m_pMainWnd = pMainWnd;
    m_strHost = lpszHost;
    m_nPort = nPort;
    m_strIdent1 = lpszAccount;
    m_strIdent2.Format("%u", nLocalH323Port);
    m_bOpen = 1;
    return TRUE;
}

int CServiceSocket::SendRequest(LPCTSTR lpszKeyword, LPCTSTR lpszPayload, CString *pSent)
{
    if (!m_bOpen)
        return -1;
    if (pSent)
        *pSent = FormatSequence();
    CString text;
    if (lpszPayload)
        text.Format("%s %s %s %d %s", lpszKeyword, (LPCTSTR)m_strIdent1, (LPCTSTR)m_strIdent2,
                    m_nSequence, lpszPayload);
    else
        text.Format("%s %s %s %d", lpszKeyword, (LPCTSTR)m_strIdent1, (LPCTSTR)m_strIdent2,
                    m_nSequence);
    SendText(text);
    return 0;
}

int CServiceSocket::SendHelo()
{
    return SendRequest("Helo", nullptr, &m_strHeloSent);
}
int CServiceSocket::SendAuth(LPCTSTR lpszDigest)
{
    return SendRequest("Auth", lpszDigest, &m_strAuthSent);
}
int CServiceSocket::SendLive()
{
    return SendRequest("Live", nullptr, &m_strLiveSent);
}
int CServiceSocket::SendQuit()
{
    return SendRequest("Quit", nullptr, nullptr);
}

int CServiceSocket::NextSequence()
{
    m_nSequence = m_nSequence >= kMaxSequence ? 1 : m_nSequence + 1;
    return m_nSequence;
}

CString CServiceSocket::FormatSequence() const
{
    CString text;
    text.Format("%d", m_nSequence);
    return text;
}

int CServiceSocket::SendText(LPCTSTR lpszText)
{
    // To the address the host name had when the socket was opened: the one replies must
    // come from, and no name lookup for each datagram.
    LPCTSTR lpszAddress =
        m_serverAddresses.empty() ? (LPCTSTR)m_strHost : (LPCTSTR)m_serverAddresses.front();
    SendTo(lpszText, static_cast<int>(std::strlen(lpszText)), m_nPort, lpszAddress, 0);
    return 0;
}

int CServiceSocket::Tokenize(LPCTSTR lpszText, CString *pTokens, int nMaxTokens)
{
    // Each token ends at a space; a space appended ends the last one.
    CString text = CString(lpszText) + " ";
    int count = 0;
    for (int start = 0, space; (space = text.Find(' ', start)) >= 0; start = space + 1) {
        if (count < nMaxTokens)
            pTokens[count] = text.Mid(start, space - start);
        count++;
    }
    return count;
}

CString CServiceSocket::BuildAck(LPCTSTR lpszMessage) const
{
    CString tokens[4];
    Tokenize(lpszMessage, tokens, 4);
    return "ACK " + tokens[1] + " " + tokens[2] + " " + tokens[3];
}

int CServiceSocket::SplitTokens(LPCTSTR lpszMessage)
{
    CString tokens[6];
    int count = Tokenize(lpszMessage, tokens, 6);
    for (int i = 0; i <= 4; i++)
        m_strToken[i] = tokens[i];
    if (count > 5)
        m_strToken[5] = tokens[5];
    return count;
}

int CServiceSocket::IsDuplicate(LPCTSTR lpszId)
{
    for (int i = 0; i < kSeenIds && !m_strSeenIds[i].IsEmpty(); i++)
        if (m_strSeenIds[i] == lpszId)
            return 0;
    m_strSeenIds[m_nSeenNext] = lpszId;
    m_nSeenNext = (m_nSeenNext + 1) % kSeenIds;
    return 1;
}

BOOL CServiceSocket::IsFromServer(const CString &strAddress, UINT nPort) const
{
    if (nPort != m_nPort)
        return FALSE;
    for (const CString &address : m_serverAddresses)
        if (address == strAddress)
            return TRUE;
    return FALSE;
}

void CServiceSocket::OnReceive(int nErrorCode)
{
    if (nErrorCode == -1)
        return;
    char buffer[kMaxDatagram + 1];
    CString strAddress;
    UINT nPort = 0;
    int n = ReceiveFrom(buffer, kMaxDatagram + 1, strAddress, nPort, 0);
    if (n < 0 || n > kMaxDatagram)
        return;
    if (!IsFromServer(strAddress, nPort))
        return;
    HandleDatagram(buffer, n);
}

void CServiceSocket::HandleDatagram(const char *pData, int nLength)
{
    if (nLength < 0 || nLength > kMaxDatagram || std::memchr(pData, 0, nLength))
        return;
    CString text(pData, nLength);

    // Keyword, two identity fields and a sequence number, or it is not a message.
    CString head[4];
    if (Tokenize(text, head, 4) < 4 || head[3].IsEmpty())
        return;

    struct Request {
        const char *keyword;
        void (CServiceSocket::*handler)(LPCTSTR);
    };
    static const Request kRequests[] = {
        {"Auth", &CServiceSocket::OnAuthMessage}, {"Helo", &CServiceSocket::OnHeloMessage},
        {"Live", &CServiceSocket::OnLiveMessage}, {"Msg", &CServiceSocket::OnMsgMessage},
        {"Quit", &CServiceSocket::OnQuitMessage}, {"Info", &CServiceSocket::OnInfoMessage},
    };
    for (const Request &request : kRequests) {
        if (StartsWith(text, request.keyword)) {
            SendText(BuildAck(text));
            (this->*request.handler)(text);
            return;
        }
    }
    if (StartsWith(text, "ACK"))
        OnAckMessage(text);
}

void CServiceSocket::Notify(UINT nMessage)
{
    if (m_pMainWnd)
        m_pMainWnd->SendMessage(nMessage, 0, 0);
}

BOOL CServiceSocket::AnswersRequest(const CString &strSent) const
{
    return !strSent.IsEmpty() && m_strToken[3] == strSent;
}

void CServiceSocket::OnAuthMessage(LPCTSTR lpszMessage)
{
    SplitTokens(lpszMessage);
    if (!AnswersRequest(m_strAuthSent) || !IsDuplicate(m_strToken[3]))
        return;
    const CString status = m_strToken[4];
    if (Contains(status, "200"))
        Notify(WM_SVC_AUTH_OK);
    if (Contains(status, "400")) {
        m_strToken[5] = service_status::kAuthWrong;
        Notify(WM_SVC_AUTH_FAILED);
    }
    if (Contains(status, "404")) {
        m_strToken[5] = service_status::kAuthInUse;
        Notify(WM_SVC_AUTH_FAILED);
    }
    if (Contains(status, "500")) {
        m_strToken[5] = service_status::kServerError;
        Notify(WM_SVC_AUTH_FAILED);
    }
    if (Contains(status, "501")) {
        m_strToken[5] = service_status::kNetworkBusy;
        Notify(WM_SVC_AUTH_FAILED);
    }
}

void CServiceSocket::OnHeloMessage(LPCTSTR lpszMessage)
{
    int count = SplitTokens(lpszMessage);
    if (!AnswersRequest(m_strHeloSent) || !IsDuplicate(m_strToken[3]))
        return;
    const CString status = m_strToken[4];
    if (Contains(status, "200")) {
        // The challenge is this reply's token 5, never a text left from an earlier message;
        // a greeting without one cannot lead to a login.
        m_strToken[6] = count > 5 ? m_strToken[5] : CString();
        if (m_strToken[6].IsEmpty()) {
            m_strToken[5] = service_status::kHeloError;
            Notify(WM_SVC_HELO_FAILED);
        } else {
            Notify(WM_SVC_HELO_OK);
        }
    }
    if (Contains(status, "400")) {
        m_strToken[5] = service_status::kHeloError;
        Notify(WM_SVC_HELO_FAILED);
    }
    if (Contains(status, "500")) {
        m_strToken[5] = service_status::kServerError;
        Notify(WM_SVC_HELO_FAILED);
    }
    if (Contains(status, "501")) {
        m_strToken[5] = service_status::kNetworkBusy;
        Notify(WM_SVC_HELO_FAILED);
    }
}

void CServiceSocket::OnLiveMessage(LPCTSTR lpszMessage)
{
    SplitTokens(lpszMessage);
    const CString status = m_strToken[4];
    if (status.IsEmpty())
        return; // a keep-alive from the server: the acknowledgement is the answer
    if (!AnswersRequest(m_strLiveSent))
        return;
    if (Contains(status, "200")) {
        m_strToken[5] = service_status::kLiveNormal;
        Notify(WM_SVC_LIVE_OK);
    }
    if (Contains(status, "403")) {
        m_strToken[5] = service_status::kLiveNotLoggedIn;
        Notify(WM_SVC_LIVE_REFUSED);
    }
}

void CServiceSocket::OnInfoMessage(LPCTSTR lpszMessage)
{
    SplitTokens(lpszMessage);
    if (!IsDuplicate(m_strToken[3]))
        return;
    const CString status = m_strToken[4];
    if (Contains(status, "101")) {
        m_strToken[5] = service_status::kKicked;
        Notify(WM_SVC_KICKED);
    }
    if (Contains(status, "102")) {
        m_strToken[5] = service_status::kRelogin;
        Notify(WM_SVC_RELOGIN);
    }
}

void CServiceSocket::OnMsgMessage(LPCTSTR lpszMessage)
{
    SplitTokens(lpszMessage);
    IsDuplicate(m_strToken[3]);
}

void CServiceSocket::OnQuitMessage(LPCTSTR) {}

void CServiceSocket::OnAckMessage(LPCTSTR lpszMessage)
{
    SplitTokens(lpszMessage);
    Notify(WM_SVC_ACK);
}

int CServiceSocket::CloseServiceSocket()
{
    Close();
    m_serverAddresses.clear();
    m_strHeloSent.Empty();
    m_strAuthSent.Empty();
    m_strLiveSent.Empty();
    WSACleanup();
    m_bOpen = 0;
    return 1;
}
