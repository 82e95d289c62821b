// H323Connection: the end of a call: end session, Release Complete, media, disengage.
#include <h323/callsig/connection.h>
#include <h323/callsig/control_thread.h>

#include <h323/callsig/signal_pdu.h>
#include <h323/channels/channel.h>
#include <h323/endpoint/endpoint.h>
#include <h323/h245/h245_control.h>
#include <h323/ras/gatekeeper.h>
#include <h323/rtp/rtp_session.h>
#include <h323/transports/transport.h>

#include <pwlib/ptrace.h>

void H323Connection::CleanUpOnCallEnd()
{
    answerTimer.Stop();
    noMediaTimer.Stop();
    control->StopTimers();
    // Media transmission ends with the call (H.323 8.5 step 1), before anything waits for
    // the peer.
    StopTransmitting();
    EndSignalling();
    // The call is over once its Release Complete went or came: its media closes now and
    // the application hears of the end, not after the channels' graceful close.
    CloseAllLogicalChannels();
    phase = ReleasedPhase;
}

void H323Connection::CloseOnCallEnd()
{
    Disengage();
    CloseSignallingChannels();
}

void H323Connection::EndSignalling()
{
    bool waitForEndSession = false;
    {
        PWaitAndSignal lock(innerMutex);
        if (control->IsStarted() && !endSessionSent.exchange(true) && !remoteReleased) {
            control->SendEndSession();
            waitForEndSession = !h245Tunneling && controlChannel != nullptr &&
                                controlChannel->IsOpen() && !endSessionReceived &&
                                !signallingLost;
        }
    }
    // A separate H.245 channel hears the peer's end session before the release (H.323 8.5).
    if (waitForEndSession && !endSessionReceived)
        endSessionSync.Wait(endpoint.GetEndSessionTimeout());
    PWaitAndSignal lock(innerMutex);
    if (!remoteReleased && !signallingLost && signallingChannel != nullptr &&
        signallingChannel->IsOpen()) {
        H323SignalPDU release;
        release.BuildReleaseComplete(*this);
        WriteSignalPDU(release);
    }
}

void H323Connection::Disengage()
{
    if (!admitted)
        return;
    admitted = false;
    if (H323Gatekeeper *gk = endpoint.AcquireGatekeeper()) {
        gk->DisengageRequest(callReference, callIdentifier.ToOctets(),
                             conferenceIdentifier.ToOctets(), !originating,
                             H225_DisengageReason::e_normalDrop);
        endpoint.ReleaseGatekeeper(gk);
    }
}

void H323Connection::CloseSignallingChannels()
{
    // End the channels gracefully: stop writing and let the peer close first (within a
    // bound), so that nothing it still sends meets a closed socket. The threads end when
    // their channels close.
    if (controlChannel != nullptr && controlChannel->GetSocket() != nullptr && controlChannel->IsOpen())
        controlChannel->GetSocket()->Shutdown(PSocket::ShutdownWrite);
    bool signallingEnded = false;
    if (signallingChannel != nullptr && signallingChannel->GetSocket() != nullptr &&
        signallingChannel->IsOpen() && signallingStarted) {
        signallingChannel->GetSocket()->Shutdown(PSocket::ShutdownWrite);
        signallingEnded = signallingDone.Wait(GracefulCloseTime);
    }
    if (controlThread != nullptr)
        controlThread->WaitForTermination(GracefulCloseTime);
    if (controlChannel != nullptr)
        controlChannel->Close();
    if (signallingChannel != nullptr)
        signallingChannel->Close();
    if (controlThread != nullptr) {
        controlThread->WaitForTermination();
        delete controlThread;
        controlThread = nullptr;
    }
    if (signallingStarted && !signallingEnded)
        signallingDone.Wait();
}
