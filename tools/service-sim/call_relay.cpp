// Frame-by-frame relay of a call's signalling (H.225.0 clause 8, gatekeeper-routed model).
#include <tools/service-sim/call_relay.h>

#include <tools/service-sim/tcp_frames.h>

#include <h323/asn1/gen/h225.h>
#include <h323/pdu/identifiers.h>
#include <h323/q931/q931.h>
#include <h323/q931/signal.h>

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace servicesim {

Q931 ReleaseCompleteFor(const RelayedCall &call, bool towardsCaller, unsigned cause)
{
    Q931 q931;
    q931.BuildReleaseComplete(call.callReference, towardsCaller);
    q931.SetCause(Q931::CauseValues(cause));
    H225_H323_UserInformation uuie;
    H225_ReleaseComplete_UUIE &rc = uuie.m_h323_uu_pdu.m_h323_message_body.releaseComplete();
    rc.m_protocolIdentifier = h323::H225ProtocolIdentifier();
    if (call.callIdentifier.size() == 16) {
        rc.IncludeOptionalField(H225_ReleaseComplete_UUIE::e_callIdentifier);
        rc.m_callIdentifier.m_guid = call.callIdentifier;
    }
    h323::SetUserInformation(q931, uuie);
    return q931;
}

const char *RelayEndName(RelayEnd end)
{
    switch (end) {
    case RelayEnd::Released: return "released";
    case RelayEnd::CallerClosed: return "caller closed";
    case RelayEnd::CalleeClosed: return "callee closed";
    case RelayEnd::Broken: return "not TPKT";
    case RelayEnd::Stopped: return "stopped";
    }
    return "?";
}

RelayEnd RelayCall(int caller, int callee, bool masking, const RelayedCall &call,
                   const std::atomic<bool> &stopping)
{
    const int fd[2] = {caller, callee};
    FrameSplitter frames[2] = {FrameSplitter(masking), FrameSplitter(masking)};
    pollfd fds[2] = {{caller, POLLIN, 0}, {callee, POLLIN, 0}};
    uint8_t buf[4096];
    while (!stopping) {
        if (::poll(fds, 2, 200) < 0 && errno != EINTR)
            return RelayEnd::Broken;
        for (int i = 0; i < 2; i++) {
            if (!fds[i].revents)
                continue;
            ssize_t n = ::recv(fd[i], buf, sizeof(buf), 0);
            if (n <= 0) {
                // The side left behind hears of the end as from the gatekeeper.
                std::vector<uint8_t> rc =
                    MessageFrame(ReleaseCompleteFor(call, i == 1, Q931::NormalCallClearing), masking);
                WriteAll(fd[1 - i], rc.data(), rc.size());
                return i == 0 ? RelayEnd::CallerClosed : RelayEnd::CalleeClosed;
            }
            frames[i].Feed(buf, size_t(n));
            std::vector<uint8_t> frame;
            while (frames[i].Next(frame)) {
                if (!WriteAll(fd[1 - i], frame.data(), frame.size()))
                    return i == 0 ? RelayEnd::CalleeClosed : RelayEnd::CallerClosed;
                Q931 q931;
                if (FrameMessage(frame, masking, q931) &&
                    q931.GetMessageType() == Q931::ReleaseCompleteMsg)
                    return RelayEnd::Released;
            }
            if (frames[i].Broken())
                return RelayEnd::Broken;
        }
    }
    return RelayEnd::Stopped;
}

} // namespace servicesim
