// RFC 2032 packetisation of H.261 pictures: payloads cut at GOB starts, and their reassembly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace h323::h261 {

/// Bytes of the RFC 2032 header (SBIT, EBIT, I, V, GOBN, MBAP, QUANT, HMVD, VMVD).
constexpr size_t kHeaderSize = 4;

/// Cuts one coded picture (starting with its picture start code) into payloads that begin
/// at a picture or GOB start code, joining GOBs while a payload stays within maxPayload
/// bytes with its header; a GOB longer than that goes alone. Each payload starts with its
/// header (GOBN, MBAP, QUANT and the vector predictors 0, as at a GOB start; V set).
std::vector<std::vector<uint8_t>> Packetise(const uint8_t *picture, size_t length,
                                            size_t maxPayload);

/// Gathers the payloads of one picture into its bit stream, joining bytes two payloads
/// share by SBIT and EBIT. After a lost packet it skips payloads until one that starts at
/// a GOB (GOBN 0), so that the stream never resumes in the middle of a GOB.
class Depacketiser
{
  public:
    /// The most a picture may gather (a CIF picture is far smaller).
    static constexpr size_t kMaxPicture = 256 * 1024;

    /// Adds a payload; lost says a packet before it went missing. FALSE when the payload
    /// was dropped (shorter than its header, bad bit counts, waiting after a loss, or the
    /// picture would grow past kMaxPicture).
    bool Add(const uint8_t *payload, size_t length, bool lost);
    /// The bit stream gathered since the last Clear, zero bits filling its last byte.
    const std::vector<uint8_t> &Picture() const { return stream; }
    bool Empty() const { return bits == 0; }
    void Clear();

  private:
    void AppendBits(const uint8_t *data, size_t firstBit, size_t count);

    std::vector<uint8_t> stream;
    size_t bits = 0;
    bool resync = false;
};

} // namespace h323::h261
