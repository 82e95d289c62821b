// Test hooks of the Audio Compression Manager: drivers installed by tests.
//
// A test driver lists the formats it is given and converts between 8 kHz 16-bit mono PCM and
// each G.723.1 format (tag 0x0042) it lists, with the g723_* coder; it can be made to fail
// one operation.
#pragma once

#include <win/msacm.h>

#include <map>
#include <string>
#include <vector>

namespace win::testing
{

enum class AcmDriverFault {
    None,
    Open,             // acmDriverOpen fails, and so does any stream through the driver
    FormatTagDetails, // acmFormatTagDetailsA finds none of its tags
    StreamOpen,       // acmStreamOpen finds it cannot convert
    PrepareHeader,    // acmStreamPrepareHeader fails on its streams
    Convert,          // acmStreamConvert fails on its streams
};

struct AcmTestDriver {
    DWORD support = ACMDRIVERDETAILS_SUPPORTF_CODEC;
    std::vector<std::vector<BYTE>> formats; // each a wave format: 18 bytes + cbSize extra
    std::map<WORD, std::string> tagNames;   // acmFormatTagDetailsA's name of each tag listed
    AcmDriverFault fault = AcmDriverFault::None;
};

/// The 28-byte G.723.1 format: tag 0x0042, mono, 8000 Hz, 800 bytes/s, block 24, 0 bits,
/// 10 extra bytes (the word 2, then 8 zero bytes).
std::vector<BYTE> G7231AcmFormat();
/// 8 kHz 16-bit mono PCM, 18 bytes.
std::vector<BYTE> PcmAcmFormat();
/// A codec driver listing PCM ("PCM") and G.723.1 ("G.723.1"), failing as given.
AcmTestDriver G7231AcmDriver(AcmDriverFault fault = AcmDriverFault::None);

/// Installs a driver after those installed before; null when a format is malformed.
HACMDRIVERID InstallAcmDriver(const AcmTestDriver &driver);
/// Removes an installed driver; its open instances and streams keep working until closed.
void RemoveAcmDriver(HACMDRIVERID id);

} // namespace win::testing
