// RFC 2190 packetisation of a coded picture: mode A payloads cut at GOB
// boundaries, mode B payloads cut at macroblock boundaries inside a GOB.
#pragma once

#include "h263/picture_coder.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace h263 {

/** One payload: its RFC 2190 header and where its data lie in the bit buffer. */
struct PacketRecord {
    uint8_t header[8] = {};
    int header_length = 0;      ///< 4 (mode A) or 8 (mode B)
    const uint8_t *data = nullptr;
    int data_length = 0;
};

/** ORs value, most significant bit first, into buf at a bit offset (buf must be zero there). */
void H263PutHeaderBits(uint8_t *buf, uint32_t value, int bit_offset, int width);

/** Reads a field of up to 32 bits, most significant bit first, at a bit offset. */
uint32_t H263GetBits(const uint8_t *buf, int bit_offset, int width);

/** The picture header fields that the payload headers copy. */
struct PictureHeaderFields {
    int tr = 0;
    int source_format = 0;  ///< PTYPE's field: 7 for an extended PTYPE
    int picture_type = 0;   ///< 0 intra, 1 inter
    int umv = 0, sac = 0, ap = 0, pb = 0;
    int pquant = 0;
};

/**
 * Reads the fields the payload headers copy from a picture header as the
 * picture coder writes it: PTYPE, or PLUSPTYPE for custom sizes (source
 * format 7, the coding type of MPPTYPE, the options of OPPTYPE).
 */
PictureHeaderFields H263ParsePictureHeader(const uint8_t *bits);

/**
 * Cuts a picture of nbits bits into payloads of at most max_packet bytes with
 * header, using the macroblock start table (gob_count * gob_columns + 1
 * entries), quantisers and vectors. Returns the records in order.
 */
std::vector<PacketRecord> H263RtpPacketise(const uint8_t *bits, int nbits, int gob_count,
                                           int gob_columns, const int *mb_start,
                                           const int *mb_quant, const MacroblockInfo &info,
                                           int max_packet);

/**
 * Appends one payload (RFC 2190 header included) to an elementary stream,
 * merging the byte that two payloads cut inside a byte share (by SBIT/EBIT).
 * Returns false for a payload too short for its header.
 */
bool join_payload(const uint8_t *payload, size_t length, std::vector<uint8_t> &stream,
                  int &last_ebit);

} // namespace h263
