// Fuzz target: the H323-UserInformation (call signalling UUIE) decoder.
#include "per_fuzz.h"

#include <h323/asn1/gen/h225.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzz_per_message<H225_H323_UserInformation>(data, size);
}
