// The thread of a separate H.245 channel (private to the call-signalling folder).
#pragma once

#include <h323/callsig/connection.h>

#include <pwlib/pthread.h>

namespace h323 {

/// Reads the separate H.245 channel: it connects or accepts first, then hands every PDU
/// to the connection.
class ControlChannelThread : public PThread
{
    PCLASSINFO(ControlChannelThread, PThread)
  public:
    explicit ControlChannelThread(H323Connection &c)
        : PThread(30000, NoAutoDeleteThread, NormalPriority, "H245:%0x"), connection(c)
    {
    }
    void Main() override { connection.ControlLoop(); }

  private:
    H323Connection &connection;
};

} // namespace h323
