// Fuzz target: the H.245 MultimediaSystemControlMessage decoder.
#include "per_fuzz.h"

#include <h323/asn1/gen/h245.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzz_per_message<H245_MultimediaSystemControlMessage>(data, size);
}
