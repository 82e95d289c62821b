// Variable-length code tables and the H.263 syntax element writers.
#include "h263/code_table.h"

#include "h263/print.h"

#include <cstring>

namespace h263 {

std::unique_ptr<CodeTable> InitCode(const char *title, int n, int m, const int *values,
                                    const char *const *codes)
{
    auto t = std::make_unique<CodeTable>();
    t->n = n;
    t->m = m;
    t->title = title;
    t->length.assign(n, 0);
    t->bits.assign(n, 0);
    t->values.assign(values, values + static_cast<size_t>(n) * m);
    t->tree.emplace_back();
    t->tree[0].symbol = -1;
    for (int s = 0; s < n; s++) {
        const char *code = codes[s];
        size_t len = std::strlen(code);
        bool bad = len == 0 || len > 32;
        uint32_t bits = 0;
        int node = 0;
        for (size_t i = 0; !bad && i < len; i++) {
            int bit = code[i] == '1';
            bad = code[i] != '0' && code[i] != '1';
            bits = (bits << 1) | static_cast<uint32_t>(bit);
            if (t->tree[node].symbol >= 0) {
                bad = true;     // a shorter word is a prefix of this one
                break;
            }
            t->tree[node].symbol = -1;
            int next = t->tree[node].child[bit];
            if (next < 0) {
                next = static_cast<int>(t->tree.size());
                t->tree.emplace_back();
                t->tree[node].child[bit] = next;
            }
            node = next;
        }
        if (!bad && t->tree[node].symbol != -2)
            bad = true;         // this word ends on an existing word or inside a longer one
        if (bad) {
            H263Printf("InitCode: Wrong code with title %s\n", title);
            return nullptr;
        }
        t->tree[node].symbol = s;
        t->length[s] = static_cast<uint8_t>(len);
        t->bits[s] = bits;
    }
    return t;
}

namespace {

struct TableStore {
    std::unique_ptr<CodeTable> owned[9];
    EncoderTables tables{};
};

std::unique_ptr<CodeTable> from_texts(const char *title, int n, int m, const int *values,
                                      const CodeText *texts)
{
    std::vector<const char *> codes(n);
    for (int i = 0; i < n; i++)
        codes[i] = texts[i].bits;
    return InitCode(title, n, m, values, codes.data());
}

std::unique_ptr<CodeTable> fixed_length(const char *title, int n, int width, const int *values,
                                        const int *words)
{
    std::vector<std::string> text(n);
    std::vector<const char *> codes(n);
    for (int i = 0; i < n; i++) {
        for (int b = width - 1; b >= 0; b--)
            text[i] += ((words[i] >> b) & 1) ? '1' : '0';
        codes[i] = text[i].c_str();
    }
    return InitCode(title, n, 1, values, codes.data());
}

TableStore *build_tables()
{
    auto *st = new TableStore;
    EncoderTables &t = st->tables;

    st->owned[0] = from_texts("H263-MCBPC-Intra", 9, 3, &kMcbpcIntraValues[0][0],
                              kMcbpcIntraCodes);
    st->owned[1] = from_texts("H263-MCBPC-Inter", 21, 3, &kMcbpcInterValues[0][0],
                              kMcbpcInterCodes);

    int cbpy_i[16][4], cbpy_p[16][4];
    CodeText cbpy_p_codes[16];
    for (int p = 0; p < 16; p++) {
        for (int b = 0; b < 4; b++) {
            cbpy_i[p][b] = (p >> (3 - b)) & 1;
            cbpy_p[p][b] = (p >> (3 - b)) & 1;
        }
        cbpy_p_codes[p] = kCbpyCodes[15 - p];   // inter: the code of the inverted pattern
    }
    st->owned[2] = from_texts("H263-CBPY-I", 16, 4, &cbpy_i[0][0], kCbpyCodes);
    st->owned[3] = from_texts("H263-CBPY-P", 16, 4, &cbpy_p[0][0], cbpy_p_codes);

    int dc_values[254], dc_words[254];
    for (int v = 1; v <= 254; v++) {
        dc_values[v - 1] = v;
        dc_words[v - 1] = v == 128 ? 255 : v;
    }
    st->owned[4] = fixed_length("H263-INTRA-DC", 254, 8, dc_values, dc_words);

    st->owned[5] = from_texts("H263-TCOEF", 103, 3, &kTcoefValues[0][0], kTcoefCodes);

    int run_values[64];
    for (int r = 0; r < 64; r++)
        run_values[r] = r;
    st->owned[6] = fixed_length("H263-ESC-RUN", 64, 6, run_values, run_values);

    int level_values[254], level_words[254];
    for (int i = 0, l = -127; l <= 127; l++) {
        if (l == 0)
            continue;
        level_values[i] = l;
        level_words[i] = l & 0xff;
        i++;
    }
    st->owned[7] = fixed_length("H263-ESC-LEVEL", 254, 8, level_values, level_words);

    int mvd_values[64][2];
    for (int d = -32; d < 32; d++) {
        mvd_values[d + 32][0] = d;
        mvd_values[d + 32][1] = d < 0 ? d + 64 : d - 64;
    }
    st->owned[8] = from_texts("H263-MVD", 64, 2, &mvd_values[0][0], kMvdCodes);

    t.mcbpc_intra = st->owned[0].get();
    t.mcbpc_inter = st->owned[1].get();
    t.cbpy_intra = st->owned[2].get();
    t.cbpy_inter = st->owned[3].get();
    t.intra_dc = st->owned[4].get();
    t.tcoef = st->owned[5].get();
    t.esc_run = st->owned[6].get();
    t.esc_level = st->owned[7].get();
    t.mvd = st->owned[8].get();

    auto words = [](const CodeTable *table, CodeWord *out, int n) {
        for (int s = 0; s < n; s++)
            out[s] = table ? CodeWord{table->bits[s], table->length[s]} : CodeWord{0, 0};
    };
    words(t.mcbpc_inter, t.mcbpc_words[0], 21);
    words(t.mcbpc_intra, t.mcbpc_words[1], 9);
    words(t.cbpy_inter, t.cbpy_words[0], 16);
    words(t.cbpy_intra, t.cbpy_words[1], 16);
    words(t.intra_dc, t.intra_dc_words, 254);
    words(t.mvd, t.mvd_words, 64);

    std::memset(t.tcoef_word, 0, sizeof t.tcoef_word);
    if (t.tcoef) {
        for (int s = 0; s < 102; s++) {
            const int *v = &t.tcoef->values[s * 3];
            for (int sign = 0; sign < 2; sign++)
                t.tcoef_word[v[0]][v[1]][16 + (sign ? -v[2] : v[2])] =
                    (t.tcoef->bits[s] << 1 | sign) << 5 | (t.tcoef->length[s] + 1u);
        }
        t.escape_code = t.tcoef->bits[102] << 15;
        t.escape_len = t.tcoef->length[102] + 15;
    }
    return st;
}

} // namespace

const EncoderTables &encoder_tables()
{
    static const TableStore *const store = build_tables();
    return store->tables;
}

namespace {

/** Appends code words to a 64-bit word that goes out 32 bits at a time through put_bits. */
class EventWriter {
public:
    explicit EventWriter(BitWriter &bw) : bw_(bw) {}
    ~EventWriter() { bw_.put_bits(static_cast<uint32_t>(acc_), n_); }
    EventWriter(const EventWriter &) = delete;
    EventWriter &operator=(const EventWriter &) = delete;

    void put(uint32_t code, int len)
    {
        acc_ = acc_ << len | code;
        n_ += len;
        if (n_ >= 32) {
            n_ -= 32;
            bw_.put_bits(static_cast<uint32_t>(acc_ >> n_), 32);
        }
    }

private:
    BitWriter &bw_;
    uint64_t acc_ = 0;
    int n_ = 0;
};

/** The code word of one event (its bits and length): from the table, or ESCAPE
 * with LAST (1 bit), RUN (6 bits) and LEVEL (8 bits, -127..127 without 0). */
inline uint32_t event_code(const EncoderTables &t, int end, int run, int level, int &len)
{
    const unsigned index = static_cast<unsigned>(level + 16);
    const uint32_t word = index < 32 ? t.tcoef_word[end][run][index] : 0;
    if (word) {
        len = static_cast<int>(word & 31);
        return word >> 5;
    }
    const int l = level > 127 ? 127 : (level < -127 ? -127 : level);
    len = t.escape_len;
    return t.escape_code | static_cast<uint32_t>(end) << 14 | static_cast<uint32_t>(run) << 8 |
           (static_cast<uint32_t>(l) & 0xff);
}

template <typename Out>
inline void put_event(const EncoderTables &t, int end, int run, int level, Out &out)
{
    int len;
    const uint32_t code = event_code(t, end, run, level, len);
    out.put(code, len);
}

/** The events of the set bits of nonzero, one at a time, the run counted from position first. */
inline void put_events(const EncoderTables &t, const int16_t *scan, int first, uint64_t nonzero,
                       EventWriter &out)
{
    int prev = first - 1;
    for (uint64_t m = nonzero; m;) {
        const int pos = __builtin_ctzll(m);
        m &= m - 1;
        put_event(t, m == 0, pos - prev - 1, scan[pos], out);
        prev = pos;
    }
}

/**
 * The same events appended two at a time (two codes are at most 44 bits),
 * the last one, which alone has LAST set, by itself.
 */
inline void put_events(const EncoderTables &t, const int16_t *scan, int first, uint64_t nonzero,
                       BitAppender &out)
{
    if (!nonzero)
        return;
    const int last = 63 - __builtin_clzll(nonzero);
    int prev = first - 1;
    for (uint64_t m = nonzero & ~(1ull << last); m;) {
        const int p1 = __builtin_ctzll(m);
        m &= m - 1;
        int len1;
        const uint64_t c1 = event_code(t, 0, p1 - prev - 1, scan[p1], len1);
        prev = p1;
        if (!m) {
            out.put(c1, len1);
            break;
        }
        const int p2 = __builtin_ctzll(m);
        m &= m - 1;
        int len2;
        const uint64_t c2 = event_code(t, 0, p2 - prev - 1, scan[p2], len2);
        prev = p2;
        out.put(c1 << len2 | c2, len1 + len2);
    }
    int len;
    const uint32_t code = event_code(t, 1, last - prev - 1, scan[last], len);
    out.put(code, len);
}

} // namespace

int put_block_coefficients(const int16_t *scan, int first, uint64_t nonzero, BitWriter &bw)
{
    const EncoderTables &t = encoder_tables();
    if (!t.tcoef || !t.esc_run || !t.esc_level)
        return 0;
    const int start = bw.position;
    // At most 64 events of 22 bits each.
    if (bw.has_room(64 * 22)) {
        BitAppender out(bw);
        put_events(t, scan, first, nonzero, out);
    } else {
        EventWriter out(bw);
        put_events(t, scan, first, nonzero, out);
    }
    return bw.position - start;
}

int put_block_coefficients_reference(const int16_t *scan, int first, int last, BitWriter &bw)
{
    const EncoderTables &t = encoder_tables();
    if (!t.tcoef || !t.esc_run || !t.esc_level)
        return 0;
    const int start = bw.position;
    {
        EventWriter out(bw);
        int run = 0;
        for (int i = first; i <= last; i++) {
            if (!scan[i]) {
                run++;
                continue;
            }
            put_event(t, i == last, run, scan[i], out);
            run = 0;
        }
    }
    return bw.position - start;
}

} // namespace h263
