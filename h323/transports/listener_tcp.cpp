// H323ListenerTCP: the accept loop and one answering thread per accepted connection.
#include <h323/transports/listener_tcp.h>

#include <h323/endpoint/endpoint.h>
#include <h323/transports/transport_tcp.h>

#include <pwlib/ptrace.h>

class H323ListenerTCP::AcceptThread : public PThread
{
    PCLASSINFO(AcceptThread, PThread)
  public:
    explicit AcceptThread(H323ListenerTCP &l)
        : PThread(10000, NoAutoDeleteThread, NormalPriority, "H323 Listener"), owner(l)
    {
    }
    void Main() override { owner.AcceptLoop(); }

  private:
    H323ListenerTCP &owner;
};

class H323ListenerTCP::AnswerThread : public PThread
{
    PCLASSINFO(AnswerThread, PThread)
  public:
    AnswerThread(H323ListenerTCP &l, H323TransportTCP *t, PINDEX stack)
        : PThread(stack, AutoDeleteThread, NormalPriority, "H225 Answer:%0x"), owner(l),
          transport(t)
    {
    }
    void Main() override { owner.AnswerConnection(transport); }

  private:
    H323ListenerTCP &owner;
    H323TransportTCP *transport;
};

H323ListenerTCP::H323ListenerTCP(H323EndPoint &ep, PIPSocket::Address bind, WORD port)
    : endpoint(ep), binding(bind), requestedPort(port), listener(port)
{
}

H323ListenerTCP::~H323ListenerTCP()
{
    Close();
}

BOOL H323ListenerTCP::Open()
{
    if (!listener.Listen(binding, 16, requestedPort, PSocket::CanReuseAddress)) {
        PTRACE(1, "H323\tcannot listen on port " << requestedPort << ": "
                                                 << listener.GetErrorText());
        return FALSE;
    }
    acceptThread = new AcceptThread(*this);
    acceptThread->Resume();
    return TRUE;
}

BOOL H323ListenerTCP::IsOpen() const
{
    return listener.IsOpen();
}

void H323ListenerTCP::Close()
{
    listener.Close();
    if (acceptThread != nullptr) {
        acceptThread->WaitForTermination();
        delete acceptThread;
        acceptThread = nullptr;
    }
    for (;;) {
        {
            PWaitAndSignal lock(pendingMutex);
            closing = true;
            if (pending.empty())
                break;
            for (H323TransportTCP *t : pending)
                t->Close();
        }
        pendingEmpty.Wait(1000);
    }
}

H323TransportAddress H323ListenerTCP::GetTransportAddress() const
{
    return H323TransportAddress(binding, listener.GetPort());
}

void H323ListenerTCP::AcceptLoop()
{
    while (listener.IsOpen()) {
        PTCPSocket *socket = new PTCPSocket();
        if (!socket->Accept(listener)) {
            delete socket;
            if (listener.GetErrorCode() == PChannel::Interrupted || !listener.IsOpen())
                break;
            continue;
        }
        H323TransportTCP *transport = new H323TransportTCP(endpoint);
        if (!transport->Open(socket, TRUE)) {
            delete transport;
            continue;
        }
        {
            PWaitAndSignal lock(pendingMutex);
            if (closing) {
                delete transport;
                break;
            }
            pending.insert(transport);
        }
        PTRACE(3, "H323\tincoming connection from " << transport->GetRemoteAddress());
        (new AnswerThread(*this, transport, endpoint.GetSignallingThreadStackSize()))->Resume();
    }
}

void H323ListenerTCP::Forget(H323TransportTCP *transport)
{
    PWaitAndSignal lock(pendingMutex);
    pending.erase(transport);
    if (pending.empty())
        pendingEmpty.Signal();
}

void H323ListenerTCP::AnswerConnection(H323TransportTCP *transport)
{
    transport->SetReadTimeout(FirstPDUTimeout);
    transport->SetFirstPDUHandler([this, transport] { Forget(transport); });
    if (!transport->HandleFirstSignallingChannelPDU())
        delete transport;
}
