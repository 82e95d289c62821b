// PChannel: the I/O interface of sockets: reads and writes with time-outs and error codes.
#pragma once

#include <pwlib/pstring.h>
#include <pwlib/ptimeint.h>

#include <atomic>

/// A channel that reads and writes bytes. Every operation returns a status; the count of
/// the last read or write and the error of each kind of operation stay available.
class PChannel : public PObject
{
    PCLASSINFO(PChannel, PObject)
  public:
    enum Errors {
        NoError,
        NotFound,
        FileExists,
        DiskFull,
        AccessDenied,
        DeviceInUse,
        BadParameter,
        NoMemory,
        NotOpen,        ///< not open, or the peer closed the stream
        Timeout,        ///< the time-out expired
        Interrupted,    ///< closed by another thread during the call
        BufferTooSmall, ///< a datagram longer than the buffer
        Miscellaneous,  ///< any other system error (see GetErrorNumber)
        ProtocolFailure,
        NumNormalisedErrors
    };
    /// LastGeneralError: the channel's own operations (open, connect, listen, close);
    /// NumErrorGroups: whichever operation failed or succeeded last.
    enum ErrorGroup { LastReadError, LastWriteError, LastGeneralError, NumErrorGroups };

    PChannel() = default;
    PChannel(const PChannel &) = delete;
    PChannel &operator=(const PChannel &) = delete;

    virtual BOOL IsOpen() const = 0;
    virtual BOOL Close() = 0;
    /// Reads up to len bytes, waiting at most the read time-out for the first ones. TRUE
    /// when bytes were read; GetLastReadCount() says how many.
    virtual BOOL Read(void *buf, PINDEX len) = 0;
    /// Writes all len bytes (each wait for room at most the write time-out). Writes are
    /// not buffered, so there is nothing to flush.
    virtual BOOL Write(const void *buf, PINDEX len) = 0;
    /// Reads exactly len bytes; FALSE when fewer came (the count says how many).
    BOOL ReadBlock(void *buf, PINDEX len);

    /// PMaxTimeInterval (the default) waits without a time-out; 0 never waits.
    void SetReadTimeout(const PTimeInterval &timeout) { readTimeout_ = timeout.GetMilliSeconds(); }
    PTimeInterval GetReadTimeout() const { return PTimeInterval(readTimeout_.load()); }
    void SetWriteTimeout(const PTimeInterval &timeout)
    {
        writeTimeout_ = timeout.GetMilliSeconds();
    }
    PTimeInterval GetWriteTimeout() const { return PTimeInterval(writeTimeout_.load()); }

    PINDEX GetLastReadCount() const { return lastReadCount_; }
    PINDEX GetLastWriteCount() const { return lastWriteCount_; }

    Errors GetErrorCode(ErrorGroup group = NumErrorGroups) const;
    /// The system error number (errno) behind the error, 0 when there is none.
    int GetErrorNumber(ErrorGroup group = NumErrorGroups) const;
    PString GetErrorText(ErrorGroup group = NumErrorGroups) const;
    /// Text of an error code, or of the system error when osError is not 0.
    static PString GetErrorText(Errors code, int osError = 0);

  protected:
    /// Records an error; gives TRUE for NoError, FALSE otherwise.
    BOOL SetErrorValues(Errors code, int osError, ErrorGroup group);
    /// Records the error of a system error number (0 is NoError).
    BOOL ConvertOSError(int osError, ErrorGroup group);

    std::atomic<PINDEX> lastReadCount_{0};
    std::atomic<PINDEX> lastWriteCount_{0};

  private:
    std::atomic<PInt64> readTimeout_{0x7fffffff};
    std::atomic<PInt64> writeTimeout_{0x7fffffff};
    std::atomic<int> errorCode_[NumErrorGroups + 1] = {};
    std::atomic<int> errorNumber_[NumErrorGroups + 1] = {};
};
