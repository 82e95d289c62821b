// Test pictures made by ffmpeg's command line.
#include "ffmpeg_source.h"

#include <cstdio>
#include <memory>

namespace h263test {

const std::vector<LavfiSource> &lavfi_sources()
{
    static const std::vector<LavfiSource> sources = {
        {"testsrc2", "testsrc2", ""},
        {"mandelbrot", "mandelbrot", ""},
        // Camera-like noise: different in every picture, on all three planes.
        {"noisy", "testsrc2", ",noise=alls=20:allf=t+u"},
    };
    return sources;
}

std::vector<std::vector<uint8_t>> ffmpeg_pictures(const LavfiSource &src, int width, int height,
                                                  int count, std::string &error,
                                                  const std::string &rate)
{
    const std::string cmd = "ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i '" +
                            std::string(src.source) + "=size=" + std::to_string(width) + "x" +
                            std::to_string(height) + ":rate=" + rate + src.filters +
                            "' -frames:v " + std::to_string(count) +
                            " -pix_fmt yuv420p -f rawvideo -";
    std::vector<std::vector<uint8_t>> pictures;
    // The pictures through the pipe; ffmpeg's errors go to standard error.
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(::popen(cmd.c_str(), "r"), ::pclose);
    if (!pipe) {
        error = "cannot start ffmpeg";
        return pictures;
    }
    const size_t bytes = static_cast<size_t>(width) * height * 3 / 2;
    for (int i = 0; i < count; i++) {
        std::vector<uint8_t> pic(bytes);
        if (std::fread(pic.data(), 1, bytes, pipe.get()) != bytes)
            break;
        pictures.push_back(std::move(pic));
    }
    int status = ::pclose(pipe.release());
    if (status != 0 || static_cast<int>(pictures.size()) != count) {
        error = "ffmpeg made " + std::to_string(pictures.size()) + " of " +
                std::to_string(count) + " pictures of " + src.name + " (status " +
                std::to_string(status) + "; is ffmpeg installed?)";
        pictures.clear();
    }
    return pictures;
}

} // namespace h263test
