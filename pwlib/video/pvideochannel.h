// PVideoChannel: the codecs' channel to a capture device (reader) and a display (player).
#pragma once

#include <pwlib/internal/waitable.h>
#include <pwlib/pchannel.h>
#include <pwlib/pmutex.h>
#include <pwlib/video/pvideoinputdevice.h>
#include <pwlib/video/pvideooutputdevice.h>

/// Joins a video reader (grabber) and a video player for a codec.
///
/// Read() grabs a frame from the reader and, when a player is attached, shows it there
/// too (the local preview). Write() shows a frame on the player at the render size.
///
/// Close() may be called from any thread while another thread reads or writes: it stops
/// the reader (so a blocked Read returns), waits for the calls in progress to leave, then
/// closes the devices and deletes those attached with autoDelete.
class PVideoChannel : public PChannel
{
    PCLASSINFO(PVideoChannel, PChannel)
  public:
    PVideoChannel();
    /// Closes the channel.
    ~PVideoChannel() override;

    /// TRUE while a reader or a player is attached.
    BOOL IsOpen() const override;
    /// Detaches, closes and (when auto-deleted) deletes both devices; FALSE when none was
    /// attached.
    BOOL Close() override;

    /// Grabs one frame (at least GetMaxFrameBytes() bytes of buffer) and shows it on the
    /// player when one is attached.
    BOOL Read(void *buf, PINDEX len) override;
    /// Shows one frame on the player, at the render size.
    BOOL Write(const void *buf, PINDEX len) override;

    /// Attaches the display, replacing (and, when auto-deleted, deleting) the previous one.
    virtual BOOL AttachVideoPlayer(PVideoOutputDevice *device, BOOL autoDelete = TRUE);
    /// Attaches the capture device, replacing the previous one the same way.
    virtual BOOL AttachVideoReader(PVideoInputDevice *device, BOOL autoDelete = TRUE);
    /// TRUE when the attached device reports itself open.
    BOOL IsGrabberOpen();
    BOOL IsRenderOpen();

    /// Size of the grabbed frames (0 without a reader).
    PINDEX GetGrabWidth() const;
    PINDEX GetGrabHeight() const;
    /// Asks the reader for frames of width x height.
    BOOL SetGrabberFrameSize(unsigned width, unsigned height);
    /// Bytes of one grabbed frame (0 without a reader).
    PINDEX GetMaxFrameBytes() const;

    /// Size of the frames Write() shows; until set, the player's frame size.
    PINDEX GetRenderWidth() const;
    PINDEX GetRenderHeight() const;
    BOOL SetRenderFrameSize(unsigned width, unsigned height);

  private:
    struct Devices {
        PVideoInputDevice *reader = nullptr;
        PVideoOutputDevice *player = nullptr;
    };
    /// Counts the calling thread in as a user of the devices; FALSE while they are detached.
    bool Enter(Devices &devices);
    void Leave();
    /// Stops new users, interrupts the reader when asked, and waits for the users to leave.
    void Quiesce(bool stopReader);

    /// Serialises Close and the attaches (waits pump the thread's messages).
    PMutex changeMutex_;
    /// Guards the fields below.
    mutable pwlib::Waitable state_;
    PVideoInputDevice *reader_ = nullptr;
    bool autoDeleteReader_ = false;
    PVideoOutputDevice *player_ = nullptr;
    bool autoDeletePlayer_ = false;
    unsigned renderWidth_ = 0;
    unsigned renderHeight_ = 0;
    unsigned users_ = 0;
    bool quiescing_ = false;
};
