// H323Transport: the socket ownership and byte I/O shared by the TCP and UDP transports.
#include <h323/transports/transport.h>

H323Transport::H323Transport(H323EndPoint &ep) : endpoint(ep) {}

H323Transport::~H323Transport()
{
    if (deleteSocket)
        delete socket;
}

void H323Transport::AttachSocket(PIPSocket *s, BOOL autoDelete)
{
    if (socket != nullptr && socket != s) {
        socket->Close();
        if (deleteSocket)
            delete socket;
    }
    socket = s;
    deleteSocket = autoDelete;
}

BOOL H323Transport::IsOpen() const
{
    return socket != nullptr && socket->IsOpen();
}

BOOL H323Transport::Close()
{
    closed = true;
    if (socket == nullptr)
        return FALSE;
    return socket->Close();
}

BOOL H323Transport::CopySocketError(ErrorGroup group)
{
    return SetErrorValues(socket->GetErrorCode(group), socket->GetErrorNumber(group), group);
}

BOOL H323Transport::Read(void *buf, PINDEX len)
{
    lastReadCount_ = 0;
    if (socket == nullptr)
        return SetErrorValues(NotOpen, 0, LastReadError);
    socket->SetReadTimeout(GetReadTimeout());
    BOOL ok = socket->Read(buf, len);
    lastReadCount_ = socket->GetLastReadCount();
    CopySocketError(LastReadError);
    return ok;
}

BOOL H323Transport::Write(const void *buf, PINDEX len)
{
    lastWriteCount_ = 0;
    if (socket == nullptr)
        return SetErrorValues(NotOpen, 0, LastWriteError);
    socket->SetWriteTimeout(GetWriteTimeout());
    BOOL ok = socket->Write(buf, len);
    lastWriteCount_ = socket->GetLastWriteCount();
    CopySocketError(LastWriteError);
    return ok;
}
