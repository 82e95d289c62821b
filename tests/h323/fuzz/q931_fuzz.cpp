// Fuzz target: the Q.931 decoder and its element readers.
#include <h323/q931/q931.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Q931 q;
    if (!q.Decode(data, size))
        return 0;
    std::string s;
    q.GetCallingPartyNumber(s);
    q.GetCalledPartyNumber(s);
    q.GetRedirectingNumber(s);
    q.GetCause();
    q.GetCallState();
    unsigned d, r;
    Q931::InformationTransferCapability cap;
    q.GetBearerCapabilities(cap, r);
    q.GetProgressIndicator(d);
    q.GetNotificationIndicator(d);
    q.GetUserUser();
    std::vector<uint8_t> once, twice;
    if (!q.Encode(once))
        return 0;
    Q931 again;
    if (!again.Decode(once) || !again.Encode(twice) || twice != once)
        std::abort();
    return 0;
}
