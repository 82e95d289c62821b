// Look-up tables for reading the H.263 variable-length codes.
#include "h263/vlc_decode.h"

#include "h263/code_table.h"


namespace h263 {

namespace {

template <int Bits>
void fill(VlcEntry (&table)[1 << Bits], const CodeTable *code, int (*value_of)(int symbol))
{
    for (auto &e : table)
        e = {-1, 0};
    if (!code)
        return;
    for (int s = 0; s < code->n; s++) {
        int len = code->length[s];
        if (len > Bits)
            continue;
        uint32_t first = code->bits[s] << (Bits - len);
        uint32_t count = 1u << (Bits - len);
        for (uint32_t i = 0; i < count; i++)
            table[first + i] = {static_cast<int16_t>(value_of(s)), static_cast<uint8_t>(len)};
    }
}

const CodeTable *g_code;

} // namespace

const DecoderTables *build_decoder_tables()
{
    auto *t = new DecoderTables;
    const EncoderTables &e = encoder_tables();
    g_code = e.mcbpc_intra;
    fill<9>(t->mcbpc_intra, e.mcbpc_intra, [](int s) {
        const int *v = &g_code->values[s * 3];
        return v[0] == 255 ? 255 : (v[1] << 4 | v[0]);
    });
    g_code = e.mcbpc_inter;
    fill<9>(t->mcbpc_inter, e.mcbpc_inter, [](int s) {
        const int *v = &g_code->values[s * 3];
        return v[0] == 255 ? 255 : (v[1] << 4 | v[0]);
    });
    fill<6>(t->cbpy, e.cbpy_inter, [](int s) { return s; });
    g_code = e.mvd;
    fill<13>(t->mvd, e.mvd, [](int s) { return g_code->values[s * 2]; });
    g_code = e.tcoef;
    fill<12>(t->tcoef, e.tcoef, [](int s) {
        if (s == 102)
            return 0x1bff;
        const int *v = &g_code->values[s * 3];
        return v[0] << 12 | v[1] << 4 | v[2];
    });
    return t;
}

} // namespace h263
