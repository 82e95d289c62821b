// CVideoDevice: frame store to 32-bit pixels, flips, and drawing into the chat window.
#include <core/video_device.h>

#include <cstring>

namespace
{

constexpr unsigned kDrawWaitMs = 1000;

} // namespace

CVideoDevice::CVideoDevice(CVideoWindow *chatWindow, const PString &name, int verticalFlip,
                           int horizontalMirror, int local)
    : m_pChatWindow(chatWindow), m_strDeviceName(name), m_nVerticalFlip(verticalFlip),
      m_nHorizontalMirror(horizontalMirror), m_nLocal(local)
{
    deviceName_ = name;
}

CVideoDevice::~CVideoDevice()
{
    // A draw still running on another thread is given up to a second to finish.
    BOOL locked = m_drawLock.Wait(PTimeInterval(kDrawWaitMs));
    {
        PWaitAndSignal frame(m_frameLock);
        m_nVideoArea = 0;
        m_pPixels.reset();
    }
    if (locked)
        m_drawLock.Signal();
}

BOOL CVideoDevice::Open(const PString &, BOOL)
{
    return TRUE;
}

BOOL CVideoDevice::IsOpen()
{
    PWaitAndSignal frame(m_frameLock);
    return m_nVideoArea != 0;
}

PStringList CVideoDevice::GetDeviceNames() const
{
    return PStringList{m_strDeviceName};
}

BOOL CVideoDevice::SetFrameSize(unsigned width, unsigned height)
{
    if (width == 0 || height == 0)
        return FALSE;
    if (int(width) == m_nFrameWidth && int(height) == m_nFrameHeight)
        return TRUE;
    if (!PVideoOutputDeviceRGB::SetFrameSize(width, height))
        return FALSE;

    PWaitAndSignal frame(m_frameLock);
    m_nFrameWidth = int(width);
    m_nFrameHeight = int(height);
    int id = m_nLocal ? CVideoWindow::kLocalArea : CVideoWindow::kRemoteArea;
    int w = 0, h = 0;
    m_nVideoArea = m_pChatWindow && m_pChatWindow->GetVideoAreaSize(id, &w, &h) ? id : 0;
    if (w <= 0 || h <= 0) {
        w = kQcifWidth;
        h = kQcifHeight;
    }
    m_nAreaWidth = w;
    m_nAreaHeight = h;
    m_pPixels = std::make_unique<DWORD[]>(size_t(width) * height);
    return TRUE;
}

BOOL CVideoDevice::SetFrameData(unsigned x, unsigned y, unsigned width, unsigned height,
                                const BYTE *data, BOOL endFrame)
{
    return PVideoOutputDeviceRGB::SetFrameData(x, y, width, height, data, endFrame);
}

BOOL CVideoDevice::EndFrame()
{
    PWaitAndSignal frame(m_frameLock);
    Draw();
    return TRUE;
}

void CVideoDevice::Draw()
{
    if (!m_drawLock.Wait(PTimeInterval(kDrawWaitMs)))
        return;
    const BYTE *store = frameStore_.GetPointer();
    const PINDEX storeBytes = frameStore_.GetSize();
    if (m_pChatWindow && m_nVideoArea != 0 && storeBytes > 0 && m_pPixels &&
        m_pChatWindow->m_bVideoInCall) {
        const int width = m_nFrameWidth, height = m_nFrameHeight;
        const int count = width * height;
        DWORD *pixels = m_pPixels.get();
        // Pixel i is at row i / width, column i % width of the store (3 bytes: B, G, R).
        for (int i = 0; i < count && PINDEX(3 * i + 2) < storeBytes; ++i) {
            const BYTE *p = store + 3 * i;
            DWORD value = DWORD(p[0]) | DWORD(p[1]) << 8 | DWORD(p[2]) << 16;
            int r = i / width, c = i % width, to;
            if (m_nVerticalFlip && m_nHorizontalMirror)
                to = count - 1 - i;
            else if (m_nVerticalFlip)
                to = (height - 1 - r) * width + c;
            else if (m_nHorizontalMirror)
                to = (r + 1) * width - 1 - c;
            else
                to = i;
            pixels[to] = value;
        }
        BITMAPINFO info;
        std::memset(&info, 0, sizeof info);
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = height; // bottom-up
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        m_pChatWindow->DrawVideoArea(m_nVideoArea, m_nAreaWidth, m_nAreaHeight, pixels, &info);
    }
    m_drawLock.Signal();
}
