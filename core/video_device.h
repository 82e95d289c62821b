// CVideoDevice: the video display of a call: each frame converted to 32-bit pixels, flipped
// as asked and drawn into a video area of the chat window.
#pragma once

#include <core/video_window.h>

#include <pwlib/pmutex.h>
#include <pwlib/video/pvideooutputdevice.h>

#include <memory>

/// The program-wide frame sizes; QCIF is also the drawing size of an empty video area.
inline constexpr int kQcifWidth = 176;
inline constexpr int kQcifHeight = 144;
inline constexpr int kCifWidth = 352;
inline constexpr int kCifHeight = 288;

/// Frames arrive on the stack's video threads (the receive thread, or the grabber's for the
/// local preview); drawing happens on that thread and never waits longer than 1000 ms for the
/// draw lock. The chat window, when given, must outlive the device.
class CVideoDevice : public PVideoOutputDeviceRGB
{
    PCLASSINFO(CVideoDevice, PVideoOutputDeviceRGB)
  public:
    /// local 1: the local preview (area 1090); 0: the received picture (area 1091).
    CVideoDevice(CVideoWindow *chatWindow, const PString &name, int verticalFlip,
                 int horizontalMirror, int local);
    ~CVideoDevice() override;

    BOOL Open(const PString &name, BOOL startImmediate = TRUE) override;
    /// TRUE while a video area is set.
    BOOL IsOpen() override;
    /// Only the name given at construction.
    PStringList GetDeviceNames() const override;
    /// FALSE for a zero side; takes the video area and its size and makes the pixel buffer.
    BOOL SetFrameSize(unsigned width, unsigned height) override;
    BOOL SetFrameData(unsigned x, unsigned y, unsigned width, unsigned height, const BYTE *data,
                      BOOL endFrame = TRUE) override;
    /// Draws the frame; TRUE.
    BOOL EndFrame() override;

  private:
    void Draw();

    CVideoWindow *m_pChatWindow;
    int m_nVideoArea = 0; // the area's id, 0 when none
    int m_nAreaWidth = kQcifWidth;
    int m_nAreaHeight = kQcifHeight;
    PString m_strDeviceName;
    int m_nFrameWidth = 0;
    int m_nFrameHeight = 0;
    std::unique_ptr<DWORD[]> m_pPixels;
    PTimedMutex m_drawLock;
    PMutex m_frameLock;
    int m_nVerticalFlip;
    int m_nHorizontalMirror;
    int m_nLocal;
};
