// The process-wide hook on the bytes of every H.323 transport and RTP session.
#pragma once

#include <pwlib/ptypes.h>

/// Transforms applied to the wire form of everything the stack sends and receives.
///
/// The stack has one hook for the whole process (none by default: plain H.323). The TCP
/// transport passes every byte of its stream (TPKT header and body) through the stream
/// operations; the RAS transport and the RTP sessions pass each whole datagram through the
/// datagram operations. A program that must disguise its traffic installs a hook once,
/// before the first transport exists; afterwards the hook is only read.
class H323TrafficHook
{
  public:
    virtual ~H323TrafficHook() = default;

    /// Bytes just read from a stream: restores them in place. Byte positions count from
    /// the start of the stream's frame, but a stream transform must not depend on them.
    virtual void OnStreamReceived(BYTE *data, PINDEX size) const = 0;
    /// Bytes about to be written to a stream: writes their wire form to out.
    virtual void OnStreamSending(const BYTE *data, BYTE *out, PINDEX size) const = 0;
    /// One whole datagram just received: restores it in place.
    virtual void OnDatagramReceived(BYTE *data, PINDEX size) const = 0;
    /// One whole datagram about to be sent: writes its wire form to out.
    virtual void OnDatagramSending(const BYTE *data, BYTE *out, PINDEX size) const = 0;
};

/// Installs hook for every transport and RTP session of the process (nullptr: none).
/// The hook must outlive its use.
void H323SetTrafficHook(const H323TrafficHook *hook);

/// The installed hook, or nullptr.
const H323TrafficHook *H323GetTrafficHook();
