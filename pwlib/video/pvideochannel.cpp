// PVideoChannel: frame reads and writes, and a close that is safe against them.
#include <pwlib/internal/wait.h>
#include <pwlib/video/pvideochannel.h>

PVideoChannel::PVideoChannel() = default;

PVideoChannel::~PVideoChannel()
{
    Close();
}

BOOL PVideoChannel::IsOpen() const
{
    std::lock_guard<std::mutex> lock(state_.mutex);
    return reader_ != nullptr || player_ != nullptr;
}

bool PVideoChannel::Enter(Devices &devices)
{
    std::lock_guard<std::mutex> lock(state_.mutex);
    if (quiescing_)
        return false;
    ++users_;
    devices.reader = reader_;
    devices.player = player_;
    return true;
}

void PVideoChannel::Leave()
{
    std::lock_guard<std::mutex> lock(state_.mutex);
    if (--users_ == 0)
        state_.cond.notify_all();
}

void PVideoChannel::Quiesce(bool stopReader)
{
    PVideoInputDevice *reader;
    {
        std::lock_guard<std::mutex> lock(state_.mutex);
        quiescing_ = true;
        reader = reader_;
    }
    // The devices' Stop is safe against a GetFrameData in progress and makes it return.
    if (stopReader && reader != nullptr)
        reader->Stop();
    pwlib::WaitScope scope(state_);
    std::unique_lock<std::mutex> lock(state_.mutex);
    scope.Wait(lock, pwlib::Deadline::Never(), [this] { return users_ == 0; });
}

BOOL PVideoChannel::Close()
{
    PWaitAndSignal change(changeMutex_);
    Quiesce(true);
    PVideoInputDevice *reader;
    PVideoOutputDevice *player;
    bool deleteReader, deletePlayer;
    {
        std::lock_guard<std::mutex> lock(state_.mutex);
        reader = reader_;
        player = player_;
        deleteReader = autoDeleteReader_;
        deletePlayer = autoDeletePlayer_;
        reader_ = nullptr;
        player_ = nullptr;
        quiescing_ = false;
    }
    if (reader != nullptr) {
        reader->Close();
        if (deleteReader)
            delete reader;
    }
    if (player != nullptr) {
        player->Close();
        if (deletePlayer)
            delete player;
    }
    if (reader == nullptr && player == nullptr)
        return SetErrorValues(NotOpen, 0, LastGeneralError);
    return SetErrorValues(NoError, 0, LastGeneralError);
}

BOOL PVideoChannel::AttachVideoPlayer(PVideoOutputDevice *device, BOOL autoDelete)
{
    PWaitAndSignal change(changeMutex_);
    Quiesce(false);
    PVideoOutputDevice *old;
    bool deleteOld;
    {
        std::lock_guard<std::mutex> lock(state_.mutex);
        old = player_;
        deleteOld = autoDeletePlayer_ && old != device;
        player_ = device;
        autoDeletePlayer_ = device != nullptr && autoDelete;
        quiescing_ = false;
    }
    if (deleteOld)
        delete old;
    return device != nullptr;
}

BOOL PVideoChannel::AttachVideoReader(PVideoInputDevice *device, BOOL autoDelete)
{
    PWaitAndSignal change(changeMutex_);
    PVideoInputDevice *old;
    {
        std::lock_guard<std::mutex> lock(state_.mutex);
        old = reader_;
    }
    Quiesce(old != nullptr && old != device);
    bool deleteOld;
    {
        std::lock_guard<std::mutex> lock(state_.mutex);
        deleteOld = autoDeleteReader_ && old != device;
        reader_ = device;
        autoDeleteReader_ = device != nullptr && autoDelete;
        quiescing_ = false;
    }
    if (deleteOld)
        delete old;
    return device != nullptr;
}

BOOL PVideoChannel::IsGrabberOpen()
{
    Devices d;
    if (!Enter(d))
        return FALSE;
    BOOL open = d.reader != nullptr && d.reader->IsOpen();
    Leave();
    return open;
}

BOOL PVideoChannel::IsRenderOpen()
{
    Devices d;
    if (!Enter(d))
        return FALSE;
    BOOL open = d.player != nullptr && d.player->IsOpen();
    Leave();
    return open;
}

BOOL PVideoChannel::Read(void *buf, PINDEX len)
{
    lastReadCount_ = 0;
    Devices d;
    if (!Enter(d))
        return SetErrorValues(Interrupted, 0, LastReadError);
    BOOL ok;
    if (d.reader == nullptr) {
        ok = SetErrorValues(NotOpen, 0, LastReadError);
    } else if (buf == nullptr || len < d.reader->GetMaxFrameBytes()) {
        ok = SetErrorValues(BufferTooSmall, 0, LastReadError);
    } else {
        PINDEX bytes = 0;
        BYTE *frame = static_cast<BYTE *>(buf);
        ok = d.reader->GetFrameData(frame, &bytes);
        if (ok) {
            lastReadCount_ = bytes;
            unsigned width = d.reader->GetFrameWidth(), height = d.reader->GetFrameHeight();
            if (d.player != nullptr && d.player->SetFrameSize(width, height))
                d.player->SetFrameData(0, 0, width, height, frame, TRUE);
            SetErrorValues(NoError, 0, LastReadError);
        } else {
            SetErrorValues(d.reader->IsOpen() ? Miscellaneous : NotOpen, 0, LastReadError);
        }
    }
    Leave();
    return ok;
}

BOOL PVideoChannel::Write(const void *buf, PINDEX len)
{
    lastWriteCount_ = 0;
    Devices d;
    if (!Enter(d))
        return SetErrorValues(Interrupted, 0, LastWriteError);
    BOOL ok;
    if (d.player == nullptr) {
        ok = SetErrorValues(NotOpen, 0, LastWriteError);
    } else {
        unsigned width, height;
        {
            std::lock_guard<std::mutex> lock(state_.mutex);
            width = renderWidth_ != 0 ? renderWidth_ : d.player->GetFrameWidth();
            height = renderHeight_ != 0 ? renderHeight_ : d.player->GetFrameHeight();
        }
        if (!d.player->SetFrameSize(width, height)) {
            ok = SetErrorValues(BadParameter, 0, LastWriteError);
        } else if (buf == nullptr || len < d.player->GetMaxFrameBytes()) {
            ok = SetErrorValues(BufferTooSmall, 0, LastWriteError);
        } else {
            ok = d.player->SetFrameData(0, 0, width, height, static_cast<const BYTE *>(buf),
                                        TRUE);
            if (ok)
                lastWriteCount_ = d.player->GetMaxFrameBytes();
            SetErrorValues(ok ? NoError : Miscellaneous, 0, LastWriteError);
        }
    }
    Leave();
    return ok;
}

PINDEX PVideoChannel::GetGrabWidth() const
{
    std::lock_guard<std::mutex> lock(state_.mutex);
    return reader_ != nullptr ? PINDEX(reader_->GetFrameWidth()) : 0;
}

PINDEX PVideoChannel::GetGrabHeight() const
{
    std::lock_guard<std::mutex> lock(state_.mutex);
    return reader_ != nullptr ? PINDEX(reader_->GetFrameHeight()) : 0;
}

BOOL PVideoChannel::SetGrabberFrameSize(unsigned width, unsigned height)
{
    Devices d;
    if (!Enter(d))
        return FALSE;
    BOOL ok = d.reader != nullptr && d.reader->SetFrameSize(width, height);
    Leave();
    return ok;
}

PINDEX PVideoChannel::GetMaxFrameBytes() const
{
    std::lock_guard<std::mutex> lock(state_.mutex);
    return reader_ != nullptr ? reader_->GetMaxFrameBytes() : 0;
}

PINDEX PVideoChannel::GetRenderWidth() const
{
    std::lock_guard<std::mutex> lock(state_.mutex);
    if (renderWidth_ != 0)
        return PINDEX(renderWidth_);
    return player_ != nullptr ? PINDEX(player_->GetFrameWidth()) : 0;
}

PINDEX PVideoChannel::GetRenderHeight() const
{
    std::lock_guard<std::mutex> lock(state_.mutex);
    if (renderHeight_ != 0)
        return PINDEX(renderHeight_);
    return player_ != nullptr ? PINDEX(player_->GetFrameHeight()) : 0;
}

BOOL PVideoChannel::SetRenderFrameSize(unsigned width, unsigned height)
{
    if (width == 0 || height == 0 || width > 4096 || height > 4096)
        return FALSE;
    std::lock_guard<std::mutex> lock(state_.mutex);
    renderWidth_ = width;
    renderHeight_ = height;
    return TRUE;
}
