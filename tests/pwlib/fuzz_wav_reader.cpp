// Fuzz target: wave files played into a channel's format (decoding, mapping, resampling).
#include <pwlib/sound/internal/wavfile.h>

#include <cstdint>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The reader opens files by path: hand it the bytes as an anonymous in-memory file.
    int fd = memfd_create("wave", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    if (write(fd, data, size) == ssize_t(size)) {
        const std::string path = "/proc/self/fd/" + std::to_string(fd);
        using pwlib::sound::PcmFormat;
        for (PcmFormat target : {PcmFormat{1, 8000, 16}, PcmFormat{2, 44100, 8}}) {
            pwlib::sound::WavError error;
            auto reader = pwlib::sound::WavReader::Open(path, target, error);
            if (reader == nullptr)
                continue;
            reader->SetLooping(target.channels == 2); // the recorder's way of reading
            std::vector<BYTE> out(4096);
            size_t total = 0;
            while (total < (1u << 15)) { // bounded, also for a looping file
                size_t got = reader->Read(out.data(), out.size());
                if (got == 0)
                    break;
                total += got;
            }
        }
    }
    close(fd);
    return 0;
}
