// MD5 (RFC 1321) for the H.235 password authenticators.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace h323 {

class Md5 {
  public:
    using Digest = std::array<uint8_t, 16>;
    Md5();
    void update(const uint8_t *data, size_t n);
    Digest finish();
    static Digest of(const uint8_t *data, size_t n);

  private:
    void block(const uint8_t *p);
    uint32_t state_[4];
    uint64_t bytes_ = 0;
    uint8_t buf_[64];
    size_t used_ = 0;
};

} // namespace h323
