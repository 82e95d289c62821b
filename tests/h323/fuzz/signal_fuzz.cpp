// Fuzz target: call-signalling PDUs handed to a connection, as its signalling thread does
// (Setup with fast start offers and tunnelled H.245 included).
#include <h323/callsig/connection.h>
#include <h323/callsig/signal_pdu.h>
#include <h323/codecs/g711.h>
#include <h323/codecs/gsm0610.h>
#include <h323/endpoint/endpoint.h>

#include <cstddef>
#include <cstdint>

namespace {

class Connection : public H323Connection
{
  public:
    using H323Connection::H323Connection;
    using H323Connection::HandleSignalPDU;
};

class EndPoint : public H323EndPoint
{
  public:
    EndPoint()
    {
        SetSoundChannelPlayDevice("Null");
        SetSoundChannelRecordDevice("Null");
        SetCapability(0, 0, new H323_G711Capability);
        SetCapability(P_MAX_INDEX, P_MAX_INDEX, new H323_GSM0610Capability);
    }
    H323Connection *CreateConnection(unsigned ref) override { return new Connection(*this, ref); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 8192)
        return 0;
    static EndPoint *endpoint = new EndPoint; // lives for the process: its threads may linger
    H323SignalPDU pdu;
    if (!pdu.Decode(PBYTEArray(data, PINDEX(size))) || !pdu.IsValid())
        return 0;
    Connection *connection = static_cast<Connection *>(endpoint->CreateConnection(1));
    endpoint->AddConnection(connection);
    connection->LockUnconditionally();
    connection->HandleSignalPDU(pdu);
    connection->Unlock();
    // Once unlocked the connection may already be released and deleted by the
    // endpoint's cleaner: only the endpoint may touch it from here on.
    endpoint->ClearAllCalls(H323CallEndReasons::EndedByLocalUser, TRUE);
    return 0;
}
