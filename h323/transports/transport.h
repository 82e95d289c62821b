// H323Transport: the channel of one signalling, control or RAS conversation.
#pragma once

#include <h323/transports/transport_address.h>

#include <pwlib/parray.h>
#include <pwlib/pchannel.h>
#include <pwlib/pipsocket.h>
#include <pwlib/pmutex.h>

#include <atomic>
#include <functional>

class H323EndPoint;

/// A channel that carries whole PDUs: TPKT frames over TCP or datagrams over UDP.
///
/// ReadPDU and WritePDU are the only places where PDUs meet the socket; both pass the
/// bytes through the process-wide traffic hook (H323SetTrafficHook). Close() may be called
/// from any thread and ends a blocked read at once. Writes of different threads never
/// interleave.
class H323Transport : public PChannel
{
    PCLASSINFO(H323Transport, PChannel)
  public:
    explicit H323Transport(H323EndPoint &endpoint);
    ~H323Transport() override;

    /// Reads one PDU (blocking within the read time-out). FALSE on end of stream, time-out,
    /// close or a malformed frame; GetErrorCode(LastReadError) says which.
    virtual BOOL ReadPDU(PBYTEArray &pdu) = 0;
    /// Writes one PDU in one piece. FALSE when the channel is closed or the write fails.
    virtual BOOL WritePDU(const PBYTEArray &pdu) = 0;

    /// Connects to the remote address (TCP) or only remembers it (UDP).
    virtual BOOL Connect() = 0;
    /// Sets the address the transport talks to.
    virtual BOOL SetRemoteAddress(const H323TransportAddress &address) = 0;
    virtual H323TransportAddress GetRemoteAddress() const = 0;
    virtual H323TransportAddress GetLocalAddress() const = 0;

    /// Reads the first PDU of an incoming call (a Setup), makes the connection through the
    /// endpoint, hands it this transport and runs the call's signalling on the calling
    /// thread until the call ends. FALSE (the caller then deletes the transport) when the
    /// PDU cannot be read, is not a Setup, or no connection was made; TRUE when the
    /// connection took the transport over.
    BOOL HandleFirstSignallingChannelPDU();
    /// Called by HandleFirstSignallingChannelPDU once the first PDU has been dealt with
    /// (whether or not a connection took the transport), before the call runs.
    void SetFirstPDUHandler(std::function<void()> handler) { firstPduHandler = std::move(handler); }

    BOOL IsOpen() const override;
    BOOL Close() override;
    BOOL Read(void *buf, PINDEX len) override;
    BOOL Write(const void *buf, PINDEX len) override;

    H323EndPoint &GetEndPoint() const { return endpoint; }
    /// The socket underneath (nullptr when none).
    PIPSocket *GetSocket() const { return socket; }

  protected:
    /// Makes s (owned when autoDelete) the transport's socket, closing any earlier one.
    void AttachSocket(PIPSocket *s, BOOL autoDelete);
    /// Copies the socket's last error into this channel's error of group.
    BOOL CopySocketError(ErrorGroup group);

    H323EndPoint &endpoint;
    PIPSocket *socket = nullptr;
    BOOL deleteSocket = FALSE;
    /// Set by Close(): a connect started after it fails at once.
    std::atomic<bool> closed{false};
    PMutex writeMutex;
    std::function<void()> firstPduHandler;
};
