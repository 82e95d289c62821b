// PSocket: the base of the library's sockets, with Select and closing from any thread.
#pragma once

#include <pwlib/pchannel.h>

#include <memory>
#include <mutex>

namespace pwlib
{
class SocketHandle;
}

/// A socket. All operations may block (within their time-outs) and all of them end at once
/// with Interrupted when another thread calls Close() or deletes the socket. Close() and
/// the destructor return only after the operations of other threads have left the socket.
class PSocket : public PChannel
{
    PCLASSINFO(PSocket, PChannel)
  public:
    enum Reusability { AddressIsExclusive, CanReuseAddress };
    enum ShutdownValue { ShutdownRead, ShutdownWrite, ShutdownReadAndWrite };

    ~PSocket() override;

    BOOL IsOpen() const override;
    /// Closes the socket; safe from any thread, also while another thread is blocked on it.
    BOOL Close() override;
    /// Stream read: FALSE with NotOpen when the peer has closed the stream, Timeout when
    /// nothing came within the read time-out.
    BOOL Read(void *buf, PINDEX len) override;
    BOOL Write(const void *buf, PINDEX len) override;
    /// Ends reading, writing or both without closing.
    BOOL Shutdown(ShutdownValue value);

    /// Waits until sock is readable (data, end of stream or an error to collect). Gives -1
    /// when readable, 0 on time-out, or a positive PChannel::Errors code: NotOpen when the
    /// socket is not open, Interrupted when it was closed during the wait.
    static int Select(PSocket &sock, const PTimeInterval &timeout);
    /// As above for two sockets: -1 the first is readable, -2 the second, -3 both.
    static int Select(PSocket &sock1, PSocket &sock2, const PTimeInterval &timeout);

  protected:
    PSocket() = default;

    /// The open socket's handle (nullptr when closed).
    std::shared_ptr<pwlib::SocketHandle> GetHandle() const;
    /// Makes fd (non-blocking, owned from now on) the socket's, closing any previous one.
    /// Gives the new handle.
    std::shared_ptr<pwlib::SocketHandle> SetHandle(int fd);

  private:
    mutable std::mutex handleMutex_;
    std::shared_ptr<pwlib::SocketHandle> handle_;
};
