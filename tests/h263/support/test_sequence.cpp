// A deterministic moving YUV 4:2:0 test sequence.
#include "test_sequence.h"

#include <cmath>
#include <cstdlib>

namespace h263test {

std::vector<uint8_t> moving_picture(int width, int height, int t)
{
    std::vector<uint8_t> pic(static_cast<size_t>(width) * height * 3 / 2);
    uint8_t *y = pic.data();
    uint32_t seed = 12345u + static_cast<uint32_t>(t) * 2654435761u;
    auto noise = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 16) & 7) - 3;
    };
    int ox = 20 + 3 * t % (width - 40 > 0 ? width - 40 : 1);
    int oy = 16 + (2 * t) % (height - 40 > 0 ? height - 40 : 1);
    double cx = width * 0.6 + width * 0.25 * std::sin(t * 0.07);
    double cy = height * 0.5 + height * 0.3 * std::cos(t * 0.05);
    for (int j = 0; j < height; j++) {
        for (int i = 0; i < width; i++) {
            double bx = i + 1.5 * t, by = j + 0.5 * t;
            double v = 120 + 50 * std::sin(bx / 11.0) * std::cos(by / 7.0) + 20 * std::sin(by / 23.0);
            if (i >= ox && i < ox + 32 && j >= oy && j < oy + 24)
                v = (((i - ox) / 4 + (j - oy) / 4) & 1) ? 220 : 30;
            double dx = i - cx, dy = j - cy;
            if (dx * dx + dy * dy < 18 * 18)
                v = 60 + 2 * std::fabs(dx);
            int s = static_cast<int>(v) + noise();
            y[j * width + i] = static_cast<uint8_t>(s < 0 ? 0 : (s > 255 ? 255 : s));
        }
    }
    uint8_t *u = y + width * height, *vp = u + width * height / 4;
    for (int j = 0; j < height / 2; j++)
        for (int i = 0; i < width / 2; i++) {
            u[j * (width / 2) + i] =
                static_cast<uint8_t>(128 + 40 * std::sin((i + t) / 9.0));
            vp[j * (width / 2) + i] =
                static_cast<uint8_t>(128 + 40 * std::cos((j - t) / 13.0));
        }
    return pic;
}

namespace {

double psnr_of(const uint8_t *a, const uint8_t *b, size_t n)
{
    double se = 0;
    for (size_t i = 0; i < n; i++) {
        double d = static_cast<double>(a[i]) - b[i];
        se += d * d;
    }
    if (se == 0)
        return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(n) / se);
}

} // namespace

double psnr(const uint8_t *a, const uint8_t *b, int width, int height)
{
    return psnr_of(a, b, static_cast<size_t>(width) * height * 3 / 2);
}

double luma_psnr(const uint8_t *a, const uint8_t *b, int width, int height)
{
    return psnr_of(a, b, static_cast<size_t>(width) * height);
}

int max_difference(const uint8_t *a, const uint8_t *b, int width, int height)
{
    size_t n = static_cast<size_t>(width) * height * 3 / 2;
    int m = 0;
    for (size_t i = 0; i < n; i++) {
        int d = std::abs(a[i] - b[i]);
        if (d > m)
            m = d;
    }
    return m;
}

std::vector<std::vector<uint8_t>> noisy_moving_pictures(int width, int height, int count,
                                                        uint32_t seed)
{
    std::vector<std::vector<uint8_t>> pictures;
    for (int t = 0; t < count; t++) {
        std::vector<uint8_t> pic = moving_picture(width, height, t);
        for (size_t i = 0; i < static_cast<size_t>(width) * height; i++) {
            seed = seed * 1103515245u + 12345u;
            int v = pic[i] + static_cast<int>((seed >> 16) % 81) - 40;
            pic[i] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
        }
        pictures.push_back(std::move(pic));
    }
    return pictures;
}

} // namespace h263test
