// The NAT link: the link thread, the announcement message and the answering thread.
#include <core/nat_link.h>

#include <core/endpoint.h>
#include <core/gatekeeper.h>
#include <core/traffic_masking.h>

#include <h323/q931/q931.h>
#include <h323/transports/transport_address.h>
#include <h323/transports/transport_tcp.h>

#include <pwlib/ptcpsocket.h>
#include <pwlib/ptrace.h>

#include <vector>

namespace
{

constexpr PINDEX kLinkThreadStack = 5000;
constexpr int kSelectTimeout = 1000;    // ms per wait for data
constexpr int kStopCheckInterval = 200; // ms between closes while a stop waits
constexpr int kFirstPduTimeout = 10000; // ms for the call's first PDU on a handed link

} // namespace

// ---- MyPThread ----

MyPThread::MyPThread() : PThread(kLinkThreadStack, NoAutoDeleteThread, NormalPriority, PString()) {}

void MyPThread::Main()
{
    while (m_bRunning)
        RunOnce();
}

void MyPThread::Stop()
{
    m_bRunning = false;
    m_wakeUp.Signal();
}

void MyPThread::StopAndDelete(MyPThread *thread)
{
    thread->Stop();
    // A socket made just before the stop may still be connecting: stop again until it ends.
    while (!thread->WaitForTermination(PTimeInterval(kStopCheckInterval)))
        thread->Stop();
    delete thread;
}

// ---- NATHandlingThread ----

NATHandlingThread::NATHandlingThread(CEndPoint *endpoint, const H225_TransportAddress *address,
                                     CGatekeeper *gatekeeper)
    : m_pGatekeeper(gatekeeper), m_serverAddress(0, 0, 0, 0), m_pEndPoint(endpoint)
{
    if (address != nullptr) {
        PIPSocket::Address ip;
        WORD port = 0;
        if (H323TransportAddress(*address).GetIpAndPort(ip, port, 0)) {
            m_serverAddress = ip;
            m_nServerPort = port;
        }
    }
    Resume();
}

NATHandlingThread::~NATHandlingThread()
{
    DropSocket(false);
}

void NATHandlingThread::Stop()
{
    MyPThread::Stop();
    PWaitAndSignal lock(m_socketMutex);
    if (m_pSocket != nullptr)
        m_pSocket->Close();
}

void NATHandlingThread::DropSocket(bool handedOver)
{
    PTCPSocket *socket;
    {
        PWaitAndSignal lock(m_socketMutex);
        socket = m_pSocket;
        m_pSocket = nullptr;
    }
    if (socket != nullptr && !handedOver)
        delete socket;
}

NATHandlingThread::LinkWait NATHandlingThread::WaitForData(PTCPSocket &socket)
{
    for (int i = 0; i < kWaitsPerAnnouncement; i++) {
        if (!IsRunning())
            return LinkWait::Closed;
        int ready = PSocket::Select(socket, PTimeInterval(kSelectTimeout));
        if (ready < 0)
            return IsRunning() ? LinkWait::Data : LinkWait::Closed;
        if (ready > 0)
            return LinkWait::Closed; // closed or failed
    }
    return LinkWait::Idle;
}

void NATHandlingThread::RunOnce()
{
    PTCPSocket *socket = new PTCPSocket(m_nServerPort);
    {
        PWaitAndSignal lock(m_socketMutex);
        m_pSocket = socket;
    }
    // A stop before the connect has made its handle would not be seen by the connect.
    bool connected = IsRunning() && socket->Connect(m_serverAddress) && IsRunning();

    while (connected && socket->IsOpen() && IsRunning()) {
        SendQ931OverNatLink(m_pGatekeeper, socket, kAnnouncedCallState);
        LinkWait wait = WaitForData(*socket);
        if (wait == LinkWait::Idle)
            continue; // announce again on the same link
        if (wait == LinkWait::Data) {
            PTRACE(3,
                   "NAT\tcall arriving on the link to " << m_serverAddress << ":" << m_nServerPort);
            DropSocket(true);
            H323TransportTCP *transport = new H323TransportTCP(*m_pEndPoint);
            if (transport->Open(socket, TRUE))
                new H225TransportThread2(m_pEndPoint, transport);
            else
                delete transport;
            return;
        }
        break;
    }

    DropSocket(false);
    if (IsRunning())
        m_wakeUp.Wait(PTimeInterval(m_nRetryInterval));
}

// ---- H225TransportThread2 ----

H225TransportThread2::H225TransportThread2(CEndPoint *endpoint, H323Transport *transport)
    : PThread(endpoint->GetSignallingThreadStackSize(), AutoDeleteThread, NormalPriority,
              "H225 Answer:%0x"),
      m_pTransport(transport)
{
    Resume();
}

void H225TransportThread2::Main()
{
    m_pTransport->SetReadTimeout(PTimeInterval(kFirstPduTimeout));
    if (!m_pTransport->HandleFirstSignallingChannelPDU())
        delete m_pTransport;
}

// ---- the announcement ----

BOOL SendQ931OverNatLink(CGatekeeper *gatekeeper, PTCPSocket *socket, unsigned callState)
{
    Q931 q931;
    q931.BuildInformation(0, false);
    std::string identifier = gatekeeper->GetNatEndpointIdentifier().GetText();
    q931.SetIE(Q931::FacilityIE, reinterpret_cast<const uint8_t *>(identifier.data()),
               identifier.size());
    q931.SetCallState(Q931::CallStates(callState), 0);
    std::vector<uint8_t> body;
    q931.Encode(body);

    std::vector<BYTE> frame(body.size() + 4);
    size_t total = frame.size();
    frame[0] = 3;
    frame[1] = 0;
    frame[2] = BYTE(total >> 8);
    frame[3] = BYTE(total);
    std::copy(body.begin(), body.end(), frame.begin() + 4);
    if (kTrafficMaskingSetting == 1)
        MaskStream(frame.data(), frame.data(), frame.size());
    socket->Write(frame.data(), PINDEX(frame.size()));
    return TRUE;
}
