// Fuzz target: what the far end of the NAT link sends once the link is handed over: masked
// TPKT read by the stack's TCP transport, its first PDU taken as an incoming call's Setup by
// the call engine, and the rest of the stream as that call's signalling.
#include "call_engine_support.h"

#include <core/endpoint.h>

#include <h323/transports/transport_tcp.h>

#include <pwlib/ptcpsocket.h>

#include <QCoreApplication>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace
{

/// The far end's port once it listens: the only place a stream socket may connect to.
std::atomic<uint16_t> farEndPort{0};

bool IsLoopback(const sockaddr *addr, socklen_t len)
{
    if (addr == nullptr || len < socklen_t(sizeof(sockaddr_in)) || addr->sa_family != AF_INET)
        return false;
    return (ntohl(reinterpret_cast<const sockaddr_in *>(addr)->sin_addr.s_addr) >> 24) == 127;
}

} // namespace

// A fuzzed Setup names the addresses the stack connects to (its H.245 address) and sends
// media to: stream connects reach only the far end, datagrams only the loopback; the others
// are refused, or dropped as if sent.
extern "C" int connect(int fd, const sockaddr *addr, socklen_t len)
{
    int type = 0;
    socklen_t typeLen = sizeof(type);
    bool stream =
        ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLen) == 0 && type == SOCK_STREAM;
    bool allowed = stream ? IsLoopback(addr, len) &&
                                ntohs(reinterpret_cast<const sockaddr_in *>(addr)->sin_port) ==
                                    farEndPort.load()
                          : IsLoopback(addr, len);
    if (!allowed) {
        errno = ECONNREFUSED;
        return -1;
    }
    return int(::syscall(SYS_connect, fd, addr, len));
}

extern "C" ssize_t sendto(int fd, const void *buf, size_t n, int flags, const sockaddr *addr,
                          socklen_t len)
{
    if (addr != nullptr && !IsLoopback(addr, len))
        return ssize_t(n);
    return ::syscall(SYS_sendto, fd, buf, n, flags, addr, len);
}

namespace
{

/// The engine as the phone runs it (masking on), and the far end's listening socket.
struct Engine {
    Engine()
    {
        enginetest::EnsureApplication();
        window = new enginetest::RecordingWindow;
        settings = new enginetest::ScratchSettings;
        (*settings)->m_nLocalPort = 0;
        endpoint = new CEndPoint;
        endpoint->Initialise(window, settings->get());

        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof(addr);
        if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&addr), len) != 0 ||
            ::listen(listener, 4) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
            std::abort();
        port = ntohs(addr.sin_port);
        farEndPort = port;
    }
    enginetest::RecordingWindow *window;
    enginetest::ScratchSettings *settings;
    CEndPoint *endpoint;
    int listener = -1;
    WORD port = 0;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("KESTRELIN_SOUND", "null", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 16384)
        return 0; // the far end's bytes must fit the socket's buffer before they are read
    static Engine *engine = new Engine; // lives for the process: the stack's threads may linger

    // The link as the link thread has it: connected from here to the far end.
    PTCPSocket *socket = new PTCPSocket(engine->port);
    if (!socket->Connect(PIPSocket::Address(127, 0, 0, 1)))
        std::abort();
    int far = ::accept(engine->listener, nullptr, nullptr);
    if (far < 0)
        std::abort();
    if (size > 0 && ::send(far, data, size, MSG_NOSIGNAL) != ssize_t(size))
        std::abort();
    ::shutdown(far, SHUT_WR);
    // Closed with a reset at the end: no TIME_WAIT left behind by the many links of a run.
    linger reset{1, 0};
    ::setsockopt(far, SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));

    // The answering thread's work, on this thread.
    H323TransportTCP *transport = new H323TransportTCP(*engine->endpoint);
    if (!transport->Open(socket, TRUE))
        std::abort();
    transport->SetReadTimeout(PTimeInterval(10000));
    if (!transport->HandleFirstSignallingChannelPDU())
        delete transport;
    engine->endpoint->ClearAllCalls(H323CallEndReasons::EndedByLocalUser, TRUE);
    ::close(far);
    QCoreApplication::processEvents();
    engine->window->records.clear();
    return 0;
}
