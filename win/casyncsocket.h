// CAsyncSocket: a non-blocking datagram socket whose receive notice arrives on the interface
// thread as OnReceive, as Windows sockets deliver FD_READ.
//
// OnReceive is called once when data is waiting; it is called again only after the program
// has called Receive or ReceiveFrom (as with FD_READ, a notice is re-enabled by reading).
// Errors are reported as SOCKET_ERROR with the Windows sockets code in GetLastError().
#pragma once

#include <win/cstring.h>
#include <win/windef.h>

#include <sys/socket.h>

typedef int SOCKET;
#define INVALID_SOCKET (-1)
#define SOCKET_ERROR (-1)

#define FD_READ 0x01
#define FD_WRITE 0x02
#define FD_OOB 0x04
#define FD_ACCEPT 0x08
#define FD_CONNECT 0x10
#define FD_CLOSE 0x20

#define WSAEINTR 10004
#define WSAEBADF 10009
#define WSAEACCES 10013
#define WSAEFAULT 10014
#define WSAEINVAL 10022
#define WSAEMFILE 10024
#define WSAEWOULDBLOCK 10035
#define WSAENOTSOCK 10038
#define WSAEDESTADDRREQ 10039
#define WSAEMSGSIZE 10040
#define WSAESOCKTNOSUPPORT 10044
#define WSAEADDRINUSE 10048
#define WSAEADDRNOTAVAIL 10049
#define WSAENETDOWN 10050
#define WSAENETUNREACH 10051
#define WSAENOBUFS 10055
#define WSAECONNREFUSED 10061
#define WSAEHOSTUNREACH 10065
#define WSAHOST_NOT_FOUND 11001

class QSocketNotifier;

class CAsyncSocket
{
  public:
    CAsyncSocket() = default;
    CAsyncSocket(const CAsyncSocket &) = delete;
    CAsyncSocket &operator=(const CAsyncSocket &) = delete;
    virtual ~CAsyncSocket();

    /// Opens a datagram socket bound to nSocketPort (0: any free port) on lpszSocketAddress
    /// (null: every local address). With FD_READ in lEvent, receive notices go to OnReceive;
    /// they need the interface thread (a QCoreApplication). Only SOCK_DGRAM is supported.
    BOOL Create(UINT nSocketPort = 0, int nSocketType = SOCK_DGRAM, long lEvent = FD_READ,
                LPCTSTR lpszSocketAddress = nullptr);

    /// Sends one datagram to a host name or dotted address; bytes sent or SOCKET_ERROR.
    int SendTo(const void *lpBuf, int nBufLen, UINT nHostPort, LPCTSTR lpszHostAddress,
               int nFlags = 0);
    /// Takes one datagram; bytes received, or SOCKET_ERROR (WSAEWOULDBLOCK when none waits,
    /// WSAEMSGSIZE when it was longer than the buffer: the buffer holds its start).
    int ReceiveFrom(void *lpBuf, int nBufLen, CString &rSocketAddress, UINT &rSocketPort,
                    int nFlags = 0);
    int Receive(void *lpBuf, int nBufLen, int nFlags = 0);

    /// The local address and port the socket is bound to.
    BOOL GetSockName(CString &rSocketAddress, UINT &rSocketPort);

    void Close();

    /// The Windows sockets error code of the calling thread's last failed call.
    static int GetLastError();

    SOCKET m_hSocket = INVALID_SOCKET;

  protected:
    /// Interface thread: data is waiting (nErrorCode 0).
    virtual void OnReceive(int nErrorCode);

  private:
    void ArmNotifier();

    QSocketNotifier *m_pNotifier = nullptr; // lives on the interface thread
};

/// Socket start-up and clean-up of Windows; nothing to do here.
BOOL AfxSocketInit();
int WSACleanup();
int WSAGetLastError();
