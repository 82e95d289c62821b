// RTP_Session and RTP_UDP: one RTP session (data and RTCP) over a UDP port pair.
#pragma once

#include <h323/rtp/rtp_frame.h>

#include <pwlib/pmutex.h>
#include <pwlib/pstring.h>
#include <pwlib/pudpsocket.h>

#include <atomic>
#include <memory>

class RTP_JitterBuffer;

/// An RTP session: sequence numbers and SSRC of what we send, reception statistics, RTCP
/// sender/receiver reports with SDES CNAME (every 5 s from the media threads) and BYE at
/// close, and an optional jitter buffer for received audio.
class RTP_Session : public PObject
{
    PCLASSINFO(RTP_Session, PObject)
  public:
    /// Seconds between RTCP reports.
    static constexpr int ReportInterval = 5000; // ms

    RTP_Session(unsigned sessionID, const PString &canonicalName);
    ~RTP_Session() override;

    /// Reads the next RTP data packet if one comes within timeout (0: only one that is
    /// there already; PMaxTimeInterval: no limit); RTCP packets met on the way are
    /// processed. 1 with the packet in frame and arrival set to when it arrived (ms of
    /// PTimer::Tick(), however late it is read), 0 when none came in time, -1 once the
    /// session is closed.
    virtual int ReadDataWithin(RTP_DataFrame &frame, const PTimeInterval &timeout,
                               PInt64 &arrival) = 0;
    /// Reads the next RTP data packet, however long it takes; FALSE when the session is
    /// closed.
    BOOL ReadData(RTP_DataFrame &frame);
    /// Sends one data packet (SSRC and sequence number are filled in here).
    virtual BOOL WriteData(RTP_DataFrame &frame) = 0;
    /// Sends one RTCP compound packet.
    virtual BOOL WriteControl(RTP_ControlFrame &frame) = 0;
    /// Ends reading (reading TRUE) or the whole session; a blocked ReadData returns.
    virtual void Close(BOOL reading) = 0;

    /// Makes received data go through a jitter buffer of minDelay..maxDelay (timestamp
    /// units); 0 removes it.
    void SetJitterBufferSize(unsigned minDelay, unsigned maxDelay, unsigned timeUnits = 8);
    /// The next packet to play: from the jitter buffer when there is one (an empty payload
    /// for a missing packet), else ReadData.
    BOOL ReadBufferedData(RTP_DataFrame &frame);
    /// The same for a thread with other work (RTP_JitterBuffer::TakeFrame; ms of
    /// PTimer::Tick()): 1 with a frame, 0 when none was due by playBy or came by giveUpAt,
    /// -1 once the session is closed.
    int ReadBufferedDataWithin(RTP_DataFrame &frame, PInt64 playBy, PInt64 giveUpAt);
    RTP_JitterBuffer *GetJitterBuffer() const { return jitter.get(); }

    /// The payload type received data must carry (IllegalPayloadType, the default: any);
    /// packets of another type are counted and dropped before they are played or decoded.
    void SetReceivePayloadType(unsigned type) { receivePayloadType = type; }
    /// Packets dropped for carrying a payload type other than the one set.
    DWORD GetPacketsOfOtherPayloadType() const { return packetsOtherPayloadType; }

    unsigned GetSessionID() const { return sessionID; }
    DWORD GetSyncSourceOut() const { return syncSourceOut; }
    DWORD GetPacketsSent() const { return packetsSent; }
    DWORD GetOctetsSent() const { return octetsSent; }
    DWORD GetPacketsReceived() const { return packetsReceived; }
    DWORD GetOctetsReceived() const { return octetsReceived; }
    DWORD GetPacketsLost() const { return packetsLost; }
    /// Interarrival jitter (RFC 3550 6.4.1), timestamp units.
    DWORD GetJitter() const { return jitterEstimate >> 4; }
    DWORD GetReportsReceived() const { return reportsReceived; }

  protected:
    /// Fills in SSRC and sequence number, counts it, sends a report when one is due.
    void OnSendData(RTP_DataFrame &frame);
    /// Counts a packet received at arrival (ms); FALSE for one to drop (duplicate, too old,
    /// or of another payload type).
    BOOL OnReceiveData(const RTP_DataFrame &frame, unsigned timeUnits, PInt64 arrival);
    /// Takes a received RTCP compound packet; FALSE when it is malformed.
    BOOL OnReceiveControl(const BYTE *data, PINDEX size);
    /// Sends a sender or receiver report with SDES when one is due.
    void MaybeSendReport();
    BOOL SendReport();
    BOOL SendBYE();

    unsigned sessionID;
    PString canonicalName;
    DWORD syncSourceOut;
    std::atomic<WORD> lastSentSequence;
    std::atomic<DWORD> lastSentTimestamp{0};
    std::atomic<DWORD> packetsSent{0};
    std::atomic<DWORD> octetsSent{0};
    PMutex receiveMutex;
    bool haveReceived = false;
    DWORD syncSourceIn = 0;
    WORD expectedSequence = 0;
    DWORD firstSequenceExtended = 0;
    DWORD cycles = 0;
    std::atomic<DWORD> packetsReceived{0};
    std::atomic<DWORD> octetsReceived{0};
    std::atomic<DWORD> packetsLost{0};
    std::atomic<unsigned> receivePayloadType{RTP_DataFrame::IllegalPayloadType};
    std::atomic<DWORD> packetsOtherPayloadType{0};
    DWORD jitterEstimate = 0;
    PInt64 lastTransit = 0;
    std::atomic<DWORD> reportsReceived{0};
    std::atomic<PInt64> lastReportTime{0};
    std::unique_ptr<RTP_JitterBuffer> jitter;
};

/// An RTP session over two UDP sockets: an even port for data and the next one for RTCP.
/// ReadDataOrControlPDU, WriteData and WriteControl pass the datagrams through the
/// process-wide traffic hook.
class RTP_UDP : public RTP_Session
{
    PCLASSINFO(RTP_UDP, RTP_Session)
  public:
    RTP_UDP(unsigned sessionID, const PString &canonicalName = "");
    ~RTP_UDP() override;

    /// Binds the first free even/odd pair in portBase..portMax on localAddress; the IP
    /// type-of-service is set on both.
    BOOL Open(PIPSocket::Address localAddress, WORD portBase, WORD portMax, BYTE ipTypeOfService);
    /// Where data (isDataPort) or RTCP goes. Data from that address only is taken.
    BOOL SetRemoteSocketInfo(PIPSocket::Address address, WORD port, BOOL isDataPort);

    int ReadDataWithin(RTP_DataFrame &frame, const PTimeInterval &timeout,
                       PInt64 &arrival) override;
    /// Receives one datagram from socket into frame and applies the traffic hook. Gives
    /// -1 when the socket failed or closed, 0 when the datagram is to be ignored, else its
    /// size; a data datagram's arrival time is kept for GetLastArrival().
    virtual int ReadDataOrControlPDU(PUDPSocket &socket, PBYTEArray &frame, BOOL fromDataChannel);
    /// When the data datagram ReadDataOrControlPDU took last arrived (ms of PTimer::Tick()).
    PInt64 GetLastArrival() const { return lastArrival; }
    BOOL WriteData(RTP_DataFrame &frame) override;
    BOOL WriteControl(RTP_ControlFrame &frame) override;
    void Close(BOOL reading) override;

    PIPSocket::Address GetLocalAddress() const { return localAddress; }
    WORD GetLocalDataPort() const { return localDataPort; }
    WORD GetLocalControlPort() const { return localControlPort; }
    PIPSocket::Address GetRemoteAddress() const;
    WORD GetRemoteDataPort() const { return remoteDataPort; }
    WORD GetRemoteControlPort() const { return remoteControlPort; }

  private:
    PUDPSocket dataSocket;
    PUDPSocket controlSocket;
    PIPSocket::Address localAddress;
    WORD localDataPort = 0;
    WORD localControlPort = 0;
    mutable PMutex remoteMutex;
    PIPSocket::Address remoteAddress;
    std::atomic<WORD> remoteDataPort{0};
    std::atomic<WORD> remoteControlPort{0};
    PBYTEArray controlBuffer;
    PInt64 lastArrival = 0; // of the receiving thread
    std::atomic<bool> closed{false};
    std::atomic<bool> readingClosed{false};
    std::atomic<bool> byeSent{false};
};
