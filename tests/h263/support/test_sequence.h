// A deterministic moving YUV 4:2:0 test sequence and picture comparison.
#pragma once

#include <cstdint>
#include <vector>

namespace h263test {

/** Picture t of a moving scene (textured background panning, two moving objects, noise). */
std::vector<uint8_t> moving_picture(int width, int height, int t);

/**
 * Pictures 0 to count-1 of the moving scene under heavy luma noise (up to 40 either way,
 * new in every picture, from the seed): coded, their GOBs need several packets.
 */
std::vector<std::vector<uint8_t>> noisy_moving_pictures(int width, int height, int count,
                                                        uint32_t seed);

/** PSNR in dB of two YUV 4:2:0 pictures over all three planes; 99 when identical. */
double psnr(const uint8_t *a, const uint8_t *b, int width, int height);

/** PSNR in dB of the luma planes of two pictures; 99 when identical. */
double luma_psnr(const uint8_t *a, const uint8_t *b, int width, int height);

/** Largest absolute sample difference. */
int max_difference(const uint8_t *a, const uint8_t *b, int width, int height);

} // namespace h263test
