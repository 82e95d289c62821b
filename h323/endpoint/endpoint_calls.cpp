// H323EndPoint: the call table, placing and clearing calls, incoming Setups, housekeeping.
#include <h323/endpoint/endpoint.h>

#include <h323/asn1/gen/h225.h>
#include <h323/callsig/connection.h>
#include <h323/callsig/signal_pdu.h>
#include <h323/pdu/addresses.h>
#include <h323/pdu/identifiers.h>
#include <h323/ras/gatekeeper.h>
#include <h323/transports/transport.h>

#include <pwlib/ptrace.h>

struct H323EndPoint::ConnectionEntry {
    explicit ConnectionEntry(H323Connection *c) : connection(c) {}
    H323Connection *connection;
    std::atomic<int> finders{0}; ///< FindConnectionWithLock calls between finding and locking
    PSyncPoint noFinders;
};

/// Runs an outgoing call's admission, connect and signalling.
class H323EndPoint::OutgoingCallThread : public PThread
{
    PCLASSINFO(OutgoingCallThread, PThread)
  public:
    OutgoingCallThread(H323EndPoint &ep, H323Connection &c, const PString &a,
                       const H323TransportAddress &addr)
        : PThread(ep.GetSignallingThreadStackSize(), AutoDeleteThread, NormalPriority,
                  "H225 Caller:%0x"),
          connection(c), alias(a), address(addr)
    {
    }
    void Main() override { connection.RunOutgoingCall(alias, address); }

  private:
    H323Connection &connection;
    PString alias;
    H323TransportAddress address;
};

/// Cleans up one connection that started clearing, then deletes it.
namespace {
/// Connections this thread is cleaning up (inside CleanUpConnection).
thread_local unsigned cleaningOnThisThread = 0;
} // namespace

class H323EndPoint::CleanerThread : public PThread
{
    PCLASSINFO(CleanerThread, PThread)
  public:
    CleanerThread(H323EndPoint &ep, H323Connection &c)
        : PThread(30000, AutoDeleteThread, NormalPriority, "H323 Cleaner:%0x"), endpoint(ep),
          connection(c)
    {
    }
    void Main() override
    {
        connection.CleanUpOnCallEnd();
        endpoint.CleanUpConnection(&connection);
    }

  private:
    H323EndPoint &endpoint;
    H323Connection &connection;
};

namespace {

/// Splits a party into the alias and the address of its parts.
void ParseParty(const PString &party, PString &alias, H323TransportAddress &address)
{
    PString text = party.Trim();
    PINDEX at = text.Find('@');
    if (at != P_MAX_INDEX) {
        alias = text.Left(at);
        address = H323TransportAddress(text.Mid(at + 1));
        return;
    }
    if (text.Find("ip$") == 0) {
        address = H323TransportAddress(text);
        return;
    }
    if (h323::ParseIPv4(text.GetText(), H323TransportAddress::DefaultSignalPort)) {
        address = H323TransportAddress(text);
        return;
    }
    if (text.Find(':') != P_MAX_INDEX) { // host:port
        address = H323TransportAddress(text);
        return;
    }
    alias = text;
}

} // namespace

void H323EndPoint::AddConnection(H323Connection *connection)
{
    PWaitAndSignal lock(connectionsMutex);
    connections[connection->GetCallToken().GetText()] =
        std::make_shared<ConnectionEntry>(connection);
}

H323Connection *H323EndPoint::MakeCall(const PString &party, PString &token, void *userData)
{
    PString alias;
    H323TransportAddress address;
    ParseParty(party, alias, address);
    if (alias.IsEmpty() && address.IsEmpty())
        return nullptr;
    if (address.IsEmpty() && !IsRegisteredWithGatekeeper()) {
        // Without a gatekeeper a bare name can only be a host.
        address = H323TransportAddress(alias);
        alias = PString();
    }
    H323Connection *connection = CreateConnection(GetNextCallReference(), userData, nullptr, nullptr);
    if (connection == nullptr)
        return nullptr;
    connection->userData = userData;
    connection->originating = TRUE;
    connection->signallingStarted = true; // the cleaner waits for the caller thread
    AddConnection(connection);
    token = connection->GetCallToken();
    (new OutgoingCallThread(*this, *connection, alias, address))->Resume();
    return connection;
}

std::shared_ptr<H323EndPoint::ConnectionEntry> H323EndPoint::FindEntry(const PString &token)
{
    PWaitAndSignal lock(connectionsMutex);
    auto it = connections.find(token.GetText());
    return it != connections.end() ? it->second : nullptr;
}

BOOL H323EndPoint::HasConnection(const PString &token)
{
    return FindEntry(token) != nullptr;
}

BOOL H323EndPoint::ClearCall(const PString &token, H323CallEndReasons::CallEndReason reason)
{
    PWaitAndSignal lock(connectionsMutex);
    auto it = connections.find(token.GetText());
    if (it == connections.end())
        return FALSE;
    it->second->connection->ClearCall(reason);
    return TRUE;
}

H323Connection *H323EndPoint::FindConnectionWithLock(const PString &token)
{
    std::shared_ptr<ConnectionEntry> entry;
    {
        PWaitAndSignal lock(connectionsMutex);
        auto it = connections.find(token.GetText());
        if (it == connections.end())
            return nullptr;
        entry = it->second;
        entry->finders++;
    }
    // Lock outside the table: the lock may be held by a thread waiting for this one.
    H323Connection *connection = entry->connection;
    BOOL locked = connection->Lock();
    if (--entry->finders == 0)
        entry->noFinders.Signal();
    return locked ? connection : nullptr;
}

PStringArray H323EndPoint::GetAllConnections()
{
    PWaitAndSignal lock(connectionsMutex);
    PStringArray tokens;
    for (const auto &[token, entry] : connections)
        tokens.AppendString(token);
    return tokens;
}

void H323EndPoint::ClearAllCalls(H323CallEndReasons::CallEndReason reason, BOOL wait)
{
    {
        PWaitAndSignal lock(connectionsMutex);
        for (const auto &[token, entry] : connections)
            entry->connection->ClearCall(reason);
    }
    if (!wait)
        return;
    // Called from an OnConnectionCleared, the call being cleaned up on this thread waits
    // for nothing.
    unsigned own = cleaningOnThisThread;
    for (;;) {
        {
            PWaitAndSignal lock(connectionsMutex);
            if (connections.empty() && connectionsCleaning <= own)
                return;
        }
        connectionsEmpty.Wait(1000);
    }
}

void H323EndPoint::OnConnectionReleasing(H323Connection &connection)
{
    (new CleanerThread(*this, connection))->Resume();
}

void H323EndPoint::CleanUpConnection(H323Connection *connection)
{
    std::shared_ptr<ConnectionEntry> entry;
    {
        PWaitAndSignal lock(connectionsMutex);
        auto it = connections.find(connection->GetCallToken().GetText());
        if (it != connections.end()) {
            entry = it->second;
            connections.erase(it);
        }
        connectionsCleaning++;
    }
    cleaningOnThisThread++;
    if (entry)
        while (entry->finders > 0)
            entry->noFinders.Wait(100);
    // Wait for whoever holds the lock (the program between Find... and Unlock).
    connection->LockUnconditionally();
    connection->Unlock();
    // The call is over for the program now; the peer and the gatekeeper hear the rest.
    connection->OnCleared();
    connection->CloseOnCallEnd();
    delete connection;
    cleaningOnThisThread--;
    PWaitAndSignal lock(connectionsMutex);
    connectionsCleaning--;
    if (connections.empty() && connectionsCleaning == 0)
        connectionsEmpty.Signal();
}

void H323EndPoint::OnGatekeeperUnregistered()
{
    ClearAllCalls(H323CallEndReasons::EndedByGatekeeper, FALSE);
}

void H323EndPoint::OnGatekeeperDisengage(const asn1::OctetString &callIdentifier,
                                         unsigned callReference)
{
    PWaitAndSignal lock(connectionsMutex);
    for (const auto &[token, entry] : connections) {
        H323Connection *c = entry->connection;
        if ((!callIdentifier.empty() && c->GetCallIdentifier() == h323::Guid(callIdentifier)) ||
            (callIdentifier.empty() && c->GetCallReference() == callReference))
            c->ClearCall(H323CallEndReasons::EndedByGatekeeper);
    }
}

void H323EndPoint::FillInfoRequestResponse(H225_InfoRequestResponse &irr)
{
    PWaitAndSignal lock(connectionsMutex);
    for (const auto &[token, entry] : connections) {
        H323Connection *c = entry->connection;
        H225_InfoRequestResponse_perCallInfo_subtype info;
        info.m_callReferenceValue = c->GetCallReference();
        info.m_conferenceID = c->GetConferenceIdentifier().ToOctets();
        info.IncludeOptionalField(H225_InfoRequestResponse_perCallInfo_subtype::e_originator);
        info.m_originator = bool(c->IsOriginating());
        info.m_callType.SetTag(H225_CallType::e_pointToPoint);
        info.m_bandWidth = c->GetBandwidthAvailable();
        info.m_callModel.SetTag(H225_CallModel::e_direct);
        info.IncludeOptionalField(H225_InfoRequestResponse_perCallInfo_subtype::e_callIdentifier);
        info.m_callIdentifier = h323::MakeCallIdentifier(c->GetCallIdentifier());
        irr.m_perCallInfo.push_back(info);
    }
    if (irr.m_perCallInfo.size() > 0)
        irr.IncludeOptionalField(H225_InfoRequestResponse::e_perCallInfo);
}

// ---- incoming calls ----

BOOL H323Transport::HandleFirstSignallingChannelPDU()
{
    H323SignalPDU pdu;
    bool ok = pdu.Read(*this) && pdu.IsValid() &&
              pdu.GetQ931().GetMessageType() == Q931::SetupMsg &&
              pdu.GetBodyTag() == H225_H323_UU_PDU_h323_message_body::e_setup;
    if (firstPduHandler)
        firstPduHandler();
    if (!ok) {
        PTRACE(2, "H225\tfirst PDU from " << GetRemoteAddress() << " is not a usable Setup");
        return FALSE;
    }
    return endpoint.OnIncomingSetup(*this, pdu);
}

BOOL H323EndPoint::OnIncomingSetup(H323Transport &transport, H323SignalPDU &setupPDU)
{
    unsigned callReference = setupPDU.GetQ931().GetCallReference();
    H323Connection *connection = CreateConnection(callReference, nullptr, &transport, &setupPDU);
    if (connection == nullptr) {
        // Refused before a connection existed: answer with a bare Release Complete.
        PTRACE(3, "H225\tincoming call from " << transport.GetRemoteAddress() << " refused");
        H323SignalPDU release;
        Q931 &q931 = release.GetQ931();
        q931.BuildReleaseComplete(callReference, true);
        q931.SetCause(Q931::CallRejected);
        H225_ReleaseComplete_UUIE &rc =
            release.m_h323_uu_pdu.m_h323_message_body.releaseComplete();
        rc.m_protocolIdentifier = h323::H225ProtocolIdentifier();
        const H225_Setup_UUIE &setup = setupPDU.m_h323_uu_pdu.m_h323_message_body.setup();
        if (setup.HasOptionalField(H225_Setup_UUIE::e_callIdentifier)) {
            rc.IncludeOptionalField(H225_ReleaseComplete_UUIE::e_callIdentifier);
            rc.m_callIdentifier = setup.m_callIdentifier;
        }
        release.Write(transport);
        return FALSE;
    }
    connection->signallingStarted = true;
    AddConnection(connection);
    connection->RunIncomingCall(&transport, setupPDU);
    return TRUE;
}
