// CVideoWindow: the chat window as the call engine and its video devices see it: the video
// areas to draw into, the video-in-call flag and the call's two video channels.
#pragma once

#include <pwlib/pmutex.h>

#include <win/windef.h>
#include <win/wingdi.h>

#include <atomic>

class PVideoChannel;

/// The chat window derives from it; the core reaches the window only through it.
///
/// The endpoint sets the flag and the channels on the stack's threads; the window closes the
/// channels on the interface thread. The channel pointers are guarded by one lock, so a
/// channel is never closed after the endpoint has forgotten it: the endpoint forgets a
/// channel (ForgetVideoChannel) before the channel is deleted.
class CVideoWindow
{
  public:
    /// Video area ids: the local preview and the received picture.
    static constexpr int kLocalArea = 1090;
    static constexpr int kRemoteArea = 1091;

    CVideoWindow() = default;
    virtual ~CVideoWindow() = default;
    CVideoWindow(const CVideoWindow &) = delete;
    CVideoWindow &operator=(const CVideoWindow &) = delete;

    /// Any thread: the client size of video area nID; FALSE when the window has no such area.
    virtual BOOL GetVideoAreaSize(int nID, int *width, int *height) = 0;
    /// Any thread: draws the picture (a 32-bit bottom-up bitmap) into video area nID,
    /// stretched to areaWidth x areaHeight; the rows drawn, 0 when nothing was drawn.
    virtual int DrawVideoArea(int nID, int areaWidth, int areaHeight, const void *bits,
                              const BITMAPINFO *info) = 0;

    /// 1 once the endpoint opened a video channel of the current call; drawing happens only
    /// while it is set, and clearing it stops the drawing of both pictures.
    std::atomic<BYTE> m_bVideoInCall{0};

    void SetReceiveVideoChannel(PVideoChannel *channel);
    void SetTransmitVideoChannel(PVideoChannel *channel);
    PVideoChannel *GetReceiveVideoChannel() const;
    PVideoChannel *GetTransmitVideoChannel() const;
    /// The endpoint: the channel closes (and will be deleted); whichever pointer holds it is
    /// cleared.
    void ForgetVideoChannel(const PVideoChannel *channel);
    /// The same by direction, for a caller that knows only which channel closes.
    void ForgetVideoChannel(BOOL receiving);
    /// Closes (PVideoChannel::Close) and forgets the transmit channel; FALSE without one.
    BOOL CloseTransmitVideoChannel();
    /// Closes and forgets the receive channel; FALSE without one.
    BOOL CloseReceiveVideoChannel();
    /// The call ended: the flag and both channel pointers are cleared (nothing is closed).
    void ClearVideoCall();

  private:
    BOOL CloseChannel(PVideoChannel *&channel);

    mutable PMutex m_channelLock;
    PVideoChannel *m_pRxVideoChannel = nullptr;
    PVideoChannel *m_pTxVideoChannel = nullptr;
};
