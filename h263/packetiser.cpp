// RFC 2190 packetisation of a coded picture.
#include "h263/packetiser.h"

#include "h263/print.h"

namespace h263 {

void H263PutHeaderBits(uint8_t *buf, uint32_t value, int bit_offset, int width)
{
    for (int i = 0; i < width; i++) {
        if ((value >> (width - 1 - i)) & 1) {
            int p = bit_offset + i;
            buf[p >> 3] |= static_cast<uint8_t>(0x80 >> (p & 7));
        }
    }
}

uint32_t H263GetBits(const uint8_t *buf, int bit_offset, int width)
{
    uint32_t v = 0;
    for (int i = 0; i < width; i++) {
        int p = bit_offset + i;
        v = (v << 1) | ((buf[p >> 3] >> (7 - (p & 7))) & 1u);
    }
    return v;
}

PictureHeaderFields H263ParsePictureHeader(const uint8_t *bits)
{
    PictureHeaderFields f;
    f.tr = static_cast<int>(H263GetBits(bits, 22, 8));
    f.source_format = static_cast<int>(H263GetBits(bits, 35, 3));
    if (f.source_format != 7) {
        f.picture_type = static_cast<int>(H263GetBits(bits, 38, 1));
        f.umv = static_cast<int>(H263GetBits(bits, 39, 1));
        f.sac = static_cast<int>(H263GetBits(bits, 40, 1));
        f.ap = static_cast<int>(H263GetBits(bits, 41, 1));
        f.pb = static_cast<int>(H263GetBits(bits, 42, 1));
        f.pquant = static_cast<int>(H263GetBits(bits, 43, 5));
        return f;
    }
    // PLUSPTYPE: UFEP, the optional part (OPPTYPE) when UFEP is 001, then MPPTYPE.
    // Without OPPTYPE the options of the last one stay; this coder sets none.
    int p = 38;
    const bool full = H263GetBits(bits, p, 3) == 1;     // UFEP
    p += 3;
    int format = 0;
    if (full) {
        format = static_cast<int>(H263GetBits(bits, p, 3));
        f.umv = static_cast<int>(H263GetBits(bits, p + 4, 1));
        f.sac = static_cast<int>(H263GetBits(bits, p + 5, 1));
        f.ap = static_cast<int>(H263GetBits(bits, p + 6, 1));
        p += 18;
    }
    f.picture_type = H263GetBits(bits, p, 3) == 0 ? 0 : 1;  // MPPTYPE picture type
    p += 9 + 1;                                         // MPPTYPE, CPM
    if (format == 6)
        p += 23;                                        // CPFMT
    f.pquant = static_cast<int>(H263GetBits(bits, p, 5));
    return f;
}

namespace {

void mode_a(const PictureHeaderFields &ph, int sbit, int ebit, PacketRecord &r)
{
    r.header_length = 4;
    H263PutHeaderBits(r.header, 0, 0, 1);                       // F
    H263PutHeaderBits(r.header, static_cast<uint32_t>(ph.pb), 1, 1);           // P
    H263PutHeaderBits(r.header, static_cast<uint32_t>(sbit), 2, 3); // SBIT
    H263PutHeaderBits(r.header, static_cast<uint32_t>(ebit), 5, 3); // EBIT
    H263PutHeaderBits(r.header, static_cast<uint32_t>(ph.source_format), 8, 3); // SRC
    H263PutHeaderBits(r.header, static_cast<uint32_t>(ph.picture_type), 11, 1); // I
    H263PutHeaderBits(r.header, static_cast<uint32_t>(ph.umv), 12, 1);          // U
    H263PutHeaderBits(r.header, static_cast<uint32_t>(ph.sac), 13, 1);          // S
    H263PutHeaderBits(r.header, static_cast<uint32_t>(ph.ap), 14, 1);           // A
    H263PutHeaderBits(r.header, static_cast<uint32_t>(ph.tr), 24, 8);           // TR
}

void mode_b(const PictureHeaderFields &ph, int sbit, int ebit, int quant, int gobn, int mba,
            int hmv, int vmv, PacketRecord &r)
{
    r.header_length = 8;
    H263PutHeaderBits(r.header, 1, 0, 1);                       // F
    H263PutHeaderBits(r.header, static_cast<uint32_t>(sbit), 2, 3); // SBIT
    H263PutHeaderBits(r.header, static_cast<uint32_t>(ebit), 5, 3); // EBIT
    H263PutHeaderBits(r.header, static_cast<uint32_t>(ph.source_format), 8, 3); // SRC
    H263PutHeaderBits(r.header, static_cast<uint32_t>(quant), 11, 5);           // QUANT
    H263PutHeaderBits(r.header, static_cast<uint32_t>(gobn), 16, 5);            // GOBN
    H263PutHeaderBits(r.header, static_cast<uint32_t>(mba), 21, 9);             // MBA
    H263PutHeaderBits(r.header, static_cast<uint32_t>(ph.picture_type), 32, 1); // I
    H263PutHeaderBits(r.header, static_cast<uint32_t>(ph.umv), 33, 1);          // U
    H263PutHeaderBits(r.header, static_cast<uint32_t>(ph.sac), 34, 1);          // S
    H263PutHeaderBits(r.header, static_cast<uint32_t>(ph.ap), 35, 1);           // A
    H263PutHeaderBits(r.header, static_cast<uint32_t>(hmv) & 0x7f, 36, 7);      // HMV1
    H263PutHeaderBits(r.header, static_cast<uint32_t>(vmv) & 0x7f, 43, 7);      // VMV1
}

} // namespace

std::vector<PacketRecord> H263RtpPacketise(const uint8_t *bits, int nbits, int gob_count,
                                           int gob_columns, const int *mb_start,
                                           const int *mb_quant, const MacroblockInfo &info,
                                           int max_packet)
{
    std::vector<PacketRecord> records;
    if (nbits <= 0 || gob_count <= 0 || gob_columns <= 0)
        return records;
    const PictureHeaderFields ph = H263ParsePictureHeader(bits);
    const unsigned n = static_cast<unsigned>(nbits);
    const int total_mbs = gob_count * gob_columns;
    const unsigned payload_bits = static_cast<unsigned>(max_packet) * 8 - 64;
    unsigned s = 0;
    bool inside_gob = false;
    int m = 0;
    while (s < n) {
        unsigned limit = s + payload_bits - 8;
        // The last GOB start (or the picture end) below the limit and above s.
        int g = -1;
        for (int j = 0; j <= gob_count; j++) {
            unsigned gs = static_cast<unsigned>(mb_start[j * gob_columns]);
            if (gs < limit && gs > s)
                g = j;
        }
        PacketRecord rec;
        unsigned e;
        if (!inside_gob && g >= 0) {
            e = static_cast<unsigned>(mb_start[g * gob_columns]);
            mode_a(ph, static_cast<int>(s % 8), static_cast<int>(7 - (e - 1) % 8), rec);
        } else {
            int quant = 0, gobn = 0, mba = 0, hmv = 0, vmv = 0, from = m;
            if (inside_gob) {
                quant = mb_quant[m];
                gobn = m / gob_columns;
                mba = m % gob_columns;
                hmv = info.pmvx[m];     // the predictors of its vector
                vmv = info.pmvy[m];
            } else {
                for (int j = 0; j < gob_count; j++)
                    if (static_cast<unsigned>(mb_start[j * gob_columns]) == s)
                        gobn = j, from = j * gob_columns;
            }
            if (inside_gob && g >= 0) {
                e = static_cast<unsigned>(mb_start[g * gob_columns]);
                inside_gob = false;
            } else {
                int last = -1;
                for (int j = from + 1; j <= total_mbs; j++) {
                    unsigned ms = static_cast<unsigned>(mb_start[j]);
                    if (ms > s && ms < limit)
                        last = j;
                    if (ms >= limit)
                        break;
                }
                if (last < 0) {
                    // One macroblock longer than a payload: it is sent alone, so
                    // that the rest of the picture still arrives.
                    last = from + 1;
                    while (last < total_mbs && static_cast<unsigned>(mb_start[last]) <= s)
                        last++;
                    H263Printf("macroblock length of %d (exceed packetbitlength %d)!\n",
                               mb_start[last] - static_cast<int>(s),
                               static_cast<int>(payload_bits));
                }
                e = static_cast<unsigned>(mb_start[last]);
                m = last;
                inside_gob = true;
                // A payload that reaches a GOB start ends the GOB.
                if (last % gob_columns == 0)
                    inside_gob = false;
            }
            mode_b(ph, static_cast<int>(s % 8), static_cast<int>(7 - (e - 1) % 8), quant, gobn,
                   mba, hmv, vmv, rec);
        }
        unsigned first = s / 8, end = (e + 7) / 8;
        rec.data = bits + first;
        rec.data_length = static_cast<int>(end - first);
        records.push_back(rec);
        s = e;
    }
    return records;
}

bool join_payload(const uint8_t *payload, size_t length, std::vector<uint8_t> &stream,
                  int &last_ebit)
{
    if (length < 1)
        return false;
    size_t header = (payload[0] & 0x80) ? 8 : 4;
    if (length <= header)
        return false;
    int sbit = (payload[0] >> 3) & 7;
    const uint8_t *data = payload + header;
    size_t n = length - header;
    if (sbit && last_ebit && !stream.empty()) {
        // The first data byte continues the last byte of the stream.
        stream.back() |= static_cast<uint8_t>(data[0] & (0xff >> sbit));
        data++;
        n--;
    }
    stream.insert(stream.end(), data, data + n);
    last_ebit = payload[0] & 7;
    return true;
}

} // namespace h263
