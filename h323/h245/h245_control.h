// The H.245 control procedures of one call: master/slave, capability exchange, logical
// channels, end session, round-trip delay, user input.
#pragma once

#include <h323/asn1/gen/h245.h>
#include <h323/channels/channel.h>

#include <pwlib/pstring.h>
#include <pwlib/ptimer.h>

#include <map>

class H323Connection;
class H323Capabilities;

namespace h323 {

/// Name of an H.245 message for logs ("request terminalCapabilitySet").
std::string H245MessageName(const H245_MultimediaSystemControlMessage &pdu);

/// The H.245 side of a connection (ITU-T H.245 clause 8). All of it runs with the
/// connection locked: on the signalling thread for tunnelled H.245, on the control thread
/// for a separate channel, or on the program's thread for its own requests.
///
/// Requests that the peer leaves unanswered time out (the endpoint's control request
/// time-out, counted from the Connect): capability set and master/slave determination are
/// released and the call is cleared with EndedByCapabilityExchange; an unanswered channel
/// open is closed and given up. Round-trip delay requests go out at the endpoint's rate once
/// the session is ready; an unanswered one is only logged. The timers run on the timer
/// thread and lock the connection.
class H245Control
{
  public:
    enum class MsdState { Idle, Outgoing, Incoming, Done };

    explicit H245Control(H323Connection &connection);

    /// Stops the timers, waiting for a call-back in progress; call without the lock.
    void StopTimers();
    /// Forgets a channel that goes while its open is pending.
    void OnChannelRemoved(const H323Channel *channel);

    /// Sends our TerminalCapabilitySet and MasterSlaveDetermination (once).
    void Start();
    BOOL IsStarted() const { return started; }
    /// Handles one PDU; FALSE when it could not be answered (write failure).
    BOOL HandlePDU(const H245_MultimediaSystemControlMessage &pdu);

    BOOL IsCapabilityExchangeDone() const { return tcsAcked && tcsReceived; }
    BOOL HasRemoteCapabilities() const { return tcsReceived; }
    BOOL IsMasterSlaveDone() const { return msdState == MsdState::Done; }
    BOOL IsMaster() const { return isMaster; }

    /// Sends an OpenLogicalChannel for our transmit channel (numbered here); the channel
    /// starts when the ack arrives.
    BOOL OpenChannel(H323Channel &channel);
    /// Sends CloseLogicalChannel for one of our channels.
    BOOL CloseChannel(const H323Channel &channel);
    BOOL SendEndSession();
    BOOL SendUserInputString(const PString &value);
    BOOL SendUserInputTone(char tone, unsigned duration, unsigned logicalChannel,
                           unsigned rtpTimestamp);
    /// The next channel number for a channel we open (fast start offers too).
    unsigned NextChannelNumber() { return ++lastChannelNumber; }

  private:
    BOOL Write(const H245_MultimediaSystemControlMessage &pdu);
    BOOL OnRequest(const H245_RequestMessage &req);
    BOOL OnResponse(const H245_ResponseMessage &resp);
    BOOL OnCommand(const H245_CommandMessage &cmd);
    BOOL OnIndication(const H245_IndicationMessage &ind);

    BOOL SendTerminalCapabilitySet();
    BOOL SendMasterSlaveDetermination();
    BOOL OnMasterSlaveDetermination(const H245_MasterSlaveDetermination &msd);
    BOOL OnMasterSlaveDeterminationAck(const H245_MasterSlaveDeterminationAck &ack);
    BOOL OnTerminalCapabilitySet(const H245_TerminalCapabilitySet &tcs);
    BOOL OnOpenLogicalChannel(const H245_OpenLogicalChannel &olc);
    BOOL OnOpenLogicalChannelAck(const H245_OpenLogicalChannelAck &ack);
    BOOL OnOpenLogicalChannelReject(const H245_OpenLogicalChannelReject &rej);
    BOOL OnCloseLogicalChannel(const H245_CloseLogicalChannel &clc);
    BOOL OnRequestChannelClose(const H245_RequestChannelClose &rcc);
    void Ready();

    /// Restarts the request timer for the earliest pending deadline.
    void ScheduleTimeouts();
    void OnRequestTimeout();
    void SendRoundTripDelayRequest();
    void OnRoundTripDelayResponse(unsigned sequence);
    PInt64 Deadline() const;

    H323Connection &connection;
    bool started = false;
    unsigned tcsSequence = 0;
    bool tcsAcked = false;
    bool tcsReceived = false;
    MsdState msdState = MsdState::Idle;
    unsigned msdNumber;
    bool determined = false;
    bool isMaster = false;
    bool ready = false;
    unsigned lastChannelNumber = 0;
    unsigned msdRetries = 0;
    struct PendingOpen {
        H323Channel *channel;
        PInt64 due; ///< PTimer::Tick() ms
    };
    std::map<unsigned, PendingOpen> pendingOpens; // our OLCs awaiting their ack
    PInt64 tcsDue = 0; ///< 0: nothing awaited
    PInt64 msdDue = 0;
    unsigned rtdSequence = 0;
    PInt64 rtdSent = 0; ///< 0: no request awaiting its response
    bool timersStopped = false;
    PTimer requestTimer;
    PTimer roundTripTimer;
};

} // namespace h323
