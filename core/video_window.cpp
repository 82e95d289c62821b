// CVideoWindow: the call's video channels as the chat window keeps them.
#include <core/video_window.h>

#include <pwlib/video/pvideochannel.h>

void CVideoWindow::SetReceiveVideoChannel(PVideoChannel *channel)
{
    PWaitAndSignal lock(m_channelLock);
    m_pRxVideoChannel = channel;
}

void CVideoWindow::SetTransmitVideoChannel(PVideoChannel *channel)
{
    PWaitAndSignal lock(m_channelLock);
    m_pTxVideoChannel = channel;
}

PVideoChannel *CVideoWindow::GetReceiveVideoChannel() const
{
    PWaitAndSignal lock(m_channelLock);
    return m_pRxVideoChannel;
}

PVideoChannel *CVideoWindow::GetTransmitVideoChannel() const
{
    PWaitAndSignal lock(m_channelLock);
    return m_pTxVideoChannel;
}

void CVideoWindow::ForgetVideoChannel(const PVideoChannel *channel)
{
    if (channel == nullptr)
        return;
    PWaitAndSignal lock(m_channelLock);
    if (m_pRxVideoChannel == channel)
        m_pRxVideoChannel = nullptr;
    if (m_pTxVideoChannel == channel)
        m_pTxVideoChannel = nullptr;
}

void CVideoWindow::ForgetVideoChannel(BOOL receiving)
{
    PWaitAndSignal lock(m_channelLock);
    (receiving ? m_pRxVideoChannel : m_pTxVideoChannel) = nullptr;
}

BOOL CVideoWindow::CloseChannel(PVideoChannel *&channel)
{
    // Held while closing, so the endpoint cannot delete the channel meanwhile.
    PWaitAndSignal lock(m_channelLock);
    if (channel == nullptr)
        return FALSE;
    channel->Close();
    channel = nullptr;
    return TRUE;
}

BOOL CVideoWindow::CloseTransmitVideoChannel()
{
    return CloseChannel(m_pTxVideoChannel);
}

BOOL CVideoWindow::CloseReceiveVideoChannel()
{
    return CloseChannel(m_pRxVideoChannel);
}

void CVideoWindow::ClearVideoCall()
{
    m_bVideoInCall = 0;
    PWaitAndSignal lock(m_channelLock);
    m_pRxVideoChannel = nullptr;
    m_pTxVideoChannel = nullptr;
}
