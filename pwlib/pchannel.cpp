// PChannel: block reads and the error bookkeeping of channels.
#include <pwlib/pchannel.h>

#include <cerrno>
#include <cstring>

BOOL PChannel::ReadBlock(void *buf, PINDEX len)
{
    PINDEX total = 0;
    BYTE *bytes = static_cast<BYTE *>(buf);
    while (total < len) {
        if (!Read(bytes + total, len - total)) {
            lastReadCount_ = total;
            return FALSE;
        }
        total += lastReadCount_;
    }
    lastReadCount_ = total;
    return TRUE;
}

PChannel::Errors PChannel::GetErrorCode(ErrorGroup group) const
{
    int index = group >= LastReadError && group <= NumErrorGroups ? group : NumErrorGroups;
    return static_cast<Errors>(errorCode_[index].load());
}

int PChannel::GetErrorNumber(ErrorGroup group) const
{
    int index = group >= LastReadError && group <= NumErrorGroups ? group : NumErrorGroups;
    return errorNumber_[index].load();
}

PString PChannel::GetErrorText(ErrorGroup group) const
{
    return GetErrorText(GetErrorCode(group), GetErrorNumber(group));
}

PString PChannel::GetErrorText(Errors code, int osError)
{
    if (osError != 0) {
        char buffer[256];
        return PString(strerror_r(osError, buffer, sizeof(buffer)));
    }
    static const char *const texts[NumNormalisedErrors] = {
        "No error",
        "File not found",
        "File already exists",
        "Disk full",
        "Access denied",
        "Device in use",
        "Bad parameter",
        "Out of memory",
        "Channel not open or closed by the peer",
        "Timed out",
        "Interrupted by a close",
        "Buffer too small",
        "Miscellaneous error",
        "Protocol failure",
    };
    return PString(code >= NoError && code < NumNormalisedErrors ? texts[code] : "Unknown error");
}

BOOL PChannel::SetErrorValues(Errors code, int osError, ErrorGroup group)
{
    int index = group >= LastReadError && group < NumErrorGroups ? group : LastGeneralError;
    errorCode_[index] = code;
    errorNumber_[index] = osError;
    errorCode_[NumErrorGroups] = code;
    errorNumber_[NumErrorGroups] = osError;
    return code == NoError;
}

BOOL PChannel::ConvertOSError(int osError, ErrorGroup group)
{
    Errors code;
    switch (osError) {
    case 0:
        code = NoError;
        break;
    case ENOENT:
        code = NotFound;
        break;
    case EEXIST:
        code = FileExists;
        break;
    case ENOSPC:
        code = DiskFull;
        break;
    case EACCES:
    case EPERM:
        code = AccessDenied;
        break;
    case EBUSY:
    case EADDRINUSE:
        code = DeviceInUse;
        break;
    case EINVAL:
    case EFAULT:
    case EAFNOSUPPORT:
    case EADDRNOTAVAIL:
        code = BadParameter;
        break;
    case ENOMEM:
    case ENOBUFS:
        code = NoMemory;
        break;
    case EBADF:
    case ENOTCONN:
    case ECONNRESET:
    case EPIPE:
    case ESHUTDOWN:
        code = NotOpen;
        break;
    case ETIMEDOUT:
        code = Timeout;
        break;
    case EINTR:
        code = Interrupted;
        break;
    case EMSGSIZE:
        code = BufferTooSmall;
        break;
    default:
        code = Miscellaneous;
        break;
    }
    return SetErrorValues(code, osError, group);
}
