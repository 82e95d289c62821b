// Test pictures made by ffmpeg's command line from its lavfi sources.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace h263test {

/** A named lavfi source as ffmpeg makes it. */
struct LavfiSource {
    const char *name;       ///< for reports: "testsrc2", "mandelbrot", "noisy"
    const char *source;     ///< the source filter: "testsrc2", "mandelbrot"
    const char *filters;    ///< filters behind it, "" for none
};

/** testsrc2, mandelbrot, and testsrc2 with temporal noise. */
const std::vector<LavfiSource> &lavfi_sources();

/**
 * Runs ffmpeg for count YUV 4:2:0 pictures of the source at width x height
 * (at 25 pictures per second unless another rate is given); empty, with the
 * reason in error, when ffmpeg is missing or fails.
 */
std::vector<std::vector<uint8_t>> ffmpeg_pictures(const LavfiSource &src, int width, int height,
                                                  int count, std::string &error,
                                                  const std::string &rate = "25");

} // namespace h263test
