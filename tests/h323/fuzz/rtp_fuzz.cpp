// Fuzz target: RTP packets and RTCP compound packets as a session receives them; the first
// byte chooses which.
#include <h323/rtp/rtp_session.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

class Probe : public RTP_Session
{
  public:
    Probe() : RTP_Session(1, "fuzz") {}
    int ReadDataWithin(RTP_DataFrame &, const PTimeInterval &, PInt64 &) override { return -1; }
    BOOL WriteData(RTP_DataFrame &) override { return TRUE; }
    BOOL WriteControl(RTP_ControlFrame &) override { return TRUE; }
    void Close(BOOL) override {}
    using RTP_Session::OnReceiveControl;
    using RTP_Session::OnReceiveData;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 4096)
        return 0;
    static Probe probe;
    const uint8_t *p = data + 1;
    PINDEX n = PINDEX(size - 1);
    if (data[0] & 1) {
        probe.OnReceiveControl(p, n);
    } else {
        RTP_DataFrame frame;
        if (n > 0)
            std::memcpy(frame.GetPointer(n), p, size_t(n));
        if (frame.SetPacketSize(n)) {
            // The payload is inside what was received.
            if (frame.GetHeaderSize() + frame.GetPayloadSize() > n)
                __builtin_trap();
            static PInt64 arrival = 0;
            probe.OnReceiveData(frame, 8, arrival += 20);
        }
    }
    return 0;
}
