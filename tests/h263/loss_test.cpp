// Loss and reordering over RTP, as real networks deliver packets: every macroblock shown is
// the coded one, or concealed from the picture shown before, or carried on by prediction from
// damage in the picture before; never another picture's data. Our packets and ffmpeg's.
#include "support/ffmpeg_rtp.h"
#include "support/rtp_packets.h"
#include "support/test_sequence.h"

#include "h263/decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

using h263test::RtpPacket;
using Pictures = std::vector<std::vector<uint8_t>>;

/** A stream's packets in the order sent, and what a receiver that lost none shows. */
struct Coded {
    int width = 0, height = 0;
    bool gob_headers = true;        ///< every GOB has a header: no vector is predicted across
    std::vector<RtpPacket> packets;
    Pictures exact;                 ///< one per picture
    std::vector<size_t> first;      ///< each picture's first packet, then the packet count

    size_t pictures() const { return exact.size(); }
    size_t count(size_t picture) const { return first[picture + 1] - first[picture]; }
    size_t last(size_t picture) const { return first[picture + 1] - 1; }
};

/** Splits the packets into pictures by their timestamps. */
void index_pictures(Coded &c)
{
    c.first.clear();
    for (size_t i = 0; i < c.packets.size(); i++)
        if (i == 0 || c.packets[i].timestamp != c.packets[i - 1].timestamp)
            c.first.push_back(i);
    c.first.push_back(c.packets.size());
}

Pictures decode_all(const std::vector<RtpPacket> &packets)
{
    H263Decoder dec;
    return h263test::decode_packets(dec, packets);
}

/** Our encoder's packets of the moving scene under heavy noise: its pictures take several. */
Coded ours(int width, int height, int count)
{
    Coded c;
    c.width = width;
    c.height = height;
    c.packets = h263test::encode_packets(h263test::noisy_moving_pictures(width, height, count, 11),
                                         width, height, 1000, &c.exact);
    index_pictures(c);
    return c;
}

/** ffmpeg's RFC 2190 packets of its noisy source; what our decoder makes of them whole. */
Coded ffmpegs(int width, int height, bool gob_headers, std::string &error)
{
    Coded c;
    c.width = width;
    c.height = height;
    c.gob_headers = gob_headers;
    std::vector<std::string> options = {"-q:v", "10", "-mb_info", "1004"};
    if (gob_headers)
        options.insert(options.end(), {"-ps", "1"});
    c.packets = h263test::ffmpeg_rfc2190_packets(h263test::lavfi_sources()[2], width, height, 30,
                                                 options, error);
    c.exact = decode_all(c.packets);
    index_pictures(c);
    if (c.exact.size() != c.first.size() - 1)
        error = "ffmpeg's packets do not decode whole";
    return c;
}

const Coded &stream(const std::string &name, std::string &error)
{
    static std::map<std::string, Coded> made;
    auto at = made.find(name);
    if (at != made.end())
        return at->second;
    Coded c;
    if (name == "ours_qcif")
        c = ours(176, 144, 30);
    else if (name == "ours_cif")
        c = ours(352, 288, 16);
    else if (name == "ffmpeg_qcif_mode_b")
        c = ffmpegs(176, 144, false, error);
    else
        c = ffmpegs(352, 288, true, error);
    return made.emplace(name, std::move(c)).first->second;
}

// ---- Patterns: the order packets arrive in, by their index in the stream ----

using Arrival = std::vector<size_t>;

Arrival in_order(const Coded &c)
{
    Arrival a(c.packets.size());
    for (size_t i = 0; i < a.size(); i++)
        a[i] = i;
    return a;
}

Arrival without(Arrival a, std::vector<size_t> lost)
{
    a.erase(std::remove_if(a.begin(), a.end(),
                           [&](size_t i) {
                               return std::find(lost.begin(), lost.end(), i) != lost.end();
                           }),
            a.end());
    return a;
}

/** Packet p arrives right after packet q instead. */
Arrival moved_after(Arrival a, size_t p, size_t q)
{
    a.erase(std::find(a.begin(), a.end(), p));
    a.insert(std::find(a.begin(), a.end(), q) + 1, p);
    return a;
}

/** The picture the patterns damage: an inter picture of three or more packets, as is the next. */
size_t chosen(const Coded &c)
{
    for (size_t k = 3; k + 12 < c.pictures(); k++)
        if (c.count(k) >= 3 && c.count(k + 1) >= 3)
            return k;
    return 3;
}

struct Pattern {
    const char *name;
    Arrival (*make)(const Coded &);
};

const Pattern kPatterns[] = {
    {"in_order", in_order},
    {"neighbours_swapped",
     [](const Coded &c) {
         Arrival a = in_order(c);
         for (size_t i = 0; i + 1 < a.size(); i += 2)
             std::swap(a[i], a[i + 1]);
         return a;
     }},
    {"first_packet_lost", [](const Coded &c) { return without(in_order(c), {c.first[chosen(c)]}); }},
    {"second_packet_lost",
     [](const Coded &c) { return without(in_order(c), {c.first[chosen(c)] + 1}); }},
    {"marker_packet_lost", [](const Coded &c) { return without(in_order(c), {c.last(chosen(c))}); }},
    // The end of one picture and the start of the next: only timestamps tell them apart.
    {"marker_and_next_start_lost",
     [](const Coded &c) {
         const size_t k = chosen(c);
         return without(in_order(c), {c.last(k), c.first[k + 1]});
     }},
    {"two_ends_and_two_starts_lost",
     [](const Coded &c) {
         const size_t k = chosen(c);
         return without(in_order(c),
                        {c.last(k) - 1, c.last(k), c.first[k + 1], c.first[k + 1] + 1});
     }},
    {"whole_picture_lost",
     [](const Coded &c) {
         const size_t k = chosen(c);
         std::vector<size_t> lost;
         for (size_t i = c.first[k]; i <= c.last(k); i++)
             lost.push_back(i);
         return without(in_order(c), lost);
     }},
    {"picture_and_the_edges_around_it_lost",
     [](const Coded &c) {
         const size_t k = chosen(c);
         std::vector<size_t> lost = {c.last(k - 1), c.first[k + 1]};
         for (size_t i = c.first[k]; i <= c.last(k); i++)
             lost.push_back(i);
         return without(in_order(c), lost);
     }},
    {"burst_of_five_lost",
     [](const Coded &c) {
         const size_t from = c.first[chosen(c)] + 1;
         return without(in_order(c), {from, from + 1, from + 2, from + 3, from + 4});
     }},
    {"marker_packet_a_picture_late",
     [](const Coded &c) {
         const size_t k = chosen(c);
         return moved_after(in_order(c), c.last(k), c.last(k + 1));
     }},
    // 100 ms late at 30 pictures a second, every fourth picture.
    {"packets_three_pictures_late",
     [](const Coded &c) {
         const size_t k = chosen(c);
         Arrival a = in_order(c);
         for (size_t t = k; t + 3 < c.pictures() && t <= k + 8; t += 4)
             a = moved_after(a, c.first[t] + 1, c.last(t + 3));
         return a;
     }},
    // 330 ms late: beyond any jitter the receiver allows.
    {"packet_ten_pictures_late",
     [](const Coded &c) {
         const size_t k = chosen(c);
         return moved_after(in_order(c), c.first[k] + 1, c.last(k + 10));
     }},
    {"stream_starts_with_the_second_picture",
     [](const Coded &c) {
         Arrival a = in_order(c);
         a.erase(a.begin() + static_cast<long>(c.first[1]));
         a.insert(a.begin(), c.first[1]);
         return a;
     }},
    {"stream_starts_swapped",
     [](const Coded &c) {
         Arrival a = in_order(c);
         std::swap(a[0], a[1]);
         return a;
     }},
    {"stream_first_packet_lost", [](const Coded &c) { return without(in_order(c), {0}); }},
    {"random_loss_and_swaps",
     [](const Coded &c) {
         // The last pictures arrive whole: a missing packet waits for pictures after it.
         Arrival a;
         uint32_t seed = 5;
         const size_t end = c.first[c.pictures() - 3];
         for (size_t i = c.first[1]; i < end; i++) {
             seed = seed * 1103515245u + 12345u;
             if ((seed >> 16) % 20 != 0)
                 a.push_back(i);
         }
         for (size_t i = 0; i + 1 < a.size(); i++) {
             seed = seed * 1103515245u + 12345u;
             if ((seed >> 16) % 10 == 0)
                 std::swap(a[i], a[i + 1]);
         }
         Arrival all = in_order(c);
         a.insert(a.begin(), all.begin(), all.begin() + static_cast<long>(c.first[1]));
         a.insert(a.end(), all.begin() + static_cast<long>(end), all.end());
         return a;
     }},
};

// ---- Judging what is shown ----

struct Mb {
    int x, y;
};

bool same_mb(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b, int w, int h, Mb m)
{
    for (int j = 0; j < 16; j++)
        if (!std::equal(a.begin() + (m.y * 16 + j) * w + m.x * 16,
                        a.begin() + (m.y * 16 + j) * w + m.x * 16 + 16,
                        b.begin() + (m.y * 16 + j) * w + m.x * 16))
            return false;
    const size_t cw = static_cast<size_t>(w) / 2, plane = cw * h / 2;
    for (size_t p = 0; p < 2; p++)
        for (int j = 0; j < 8; j++) {
            const size_t at = static_cast<size_t>(w) * h + p * plane +
                              static_cast<size_t>(m.y * 8 + j) * cw + m.x * 8;
            if (!std::equal(a.begin() + at, a.begin() + at + 8, b.begin() + at))
                return false;
        }
    return true;
}

struct Verdict {
    size_t exact = 0, macroblocks = 0;
    int wrong = 0;              ///< neither exact, concealed nor carried damage
    std::string first_wrong;
};

/**
 * Judges the pictures shown, shown[i] being of picture of[i] (ascending), against the
 * pictures coded. A macroblock is exact, or concealed (that of the picture shown before,
 * grey before the first), or carried: its prediction reaches damage of the picture before
 * (a picture not shown is damaged everywhere), or, without GOB headers, its vector
 * predictors are of damaged macroblocks above it.
 */
Verdict judge(const Coded &c, const Pictures &shown, const std::vector<size_t> &of)
{
    const int w = c.width, h = c.height, cols = w / 16, rows = h / 16;
    Verdict v;
    v.macroblocks = static_cast<size_t>(cols) * rows * c.pictures();
    std::vector<uint8_t> prev(static_cast<size_t>(w) * h * 3 / 2, 128);
    std::vector<char> damaged(static_cast<size_t>(cols) * rows, 0);
    size_t next = 0;
    for (size_t t = 0; t < c.pictures(); t++) {
        if (next >= of.size() || of[next] != t) {
            std::fill(damaged.begin(), damaged.end(), 1);
            continue;
        }
        const std::vector<uint8_t> &pic = shown[next++];
        std::vector<char> now(damaged.size(), 0), carried(damaged.size(), 0);
        auto damaged_near = [&](int x, int y) {
            for (int j = std::max(0, y - 1); j <= std::min(rows - 1, y + 1); j++)
                for (int i = std::max(0, x - 1); i <= std::min(cols - 1, x + 1); i++)
                    if (damaged[static_cast<size_t>(j) * cols + i])
                        return true;
            return false;
        };
        for (int y = 0; y < rows; y++)
            for (int x = 0; x < cols; x++) {
                const size_t m = static_cast<size_t>(y) * cols + x;
                if (same_mb(pic, c.exact[t], w, h, {x, y})) {
                    v.exact++;
                    continue;
                }
                now[m] = 1;
                if (same_mb(pic, prev, w, h, {x, y}))
                    continue;
                bool exposed = damaged_near(x, y);
                if (!c.gob_headers && !exposed)
                    exposed = (y > 0 && (now[m - cols] || (x + 1 < cols && now[m - cols + 1]))) ||
                              (x > 0 && carried[m - 1]);
                if (exposed) {
                    carried[m] = 1;
                } else if (v.wrong++ == 0) {
                    v.first_wrong = "picture " + std::to_string(t) + " macroblock " +
                                    std::to_string(x) + "," + std::to_string(y);
                }
            }
        damaged = now;
        prev = pic;
    }
    return v;
}

/**
 * Pictures with a packet among those that arrive that can begin them: their first, or one
 * whose payload header is sound (ffmpeg fills the header of some packets with ones).
 */
std::vector<size_t> pictures_arriving(const Coded &c, const Arrival &a)
{
    const int src = c.packets[0].payload[1] >> 5;
    std::vector<size_t> of;
    for (size_t t = 0; t < c.pictures(); t++)
        for (size_t i : a)
            if (i >= c.first[t] && i <= c.last(t) &&
                (i == c.first[t] || c.packets[i].payload[1] >> 5 == src)) {
                of.push_back(t);
                break;
            }
    return of;
}

/** The pictures shown matched to pictures coded in order, most exact macroblocks first. */
std::vector<size_t> best_match(const Coded &c, const Pictures &shown)
{
    const size_t n = shown.size(), m = c.pictures();
    const int cols = c.width / 16, rows = c.height / 16;
    std::vector<std::vector<int>> score(n, std::vector<int>(m, 0));
    for (size_t i = 0; i < n; i++)
        for (size_t t = 0; t < m; t++)
            for (int y = 0; y < rows && !shown[i].empty(); y++)
                for (int x = 0; x < cols; x++)
                    score[i][t] += same_mb(shown[i], c.exact[t], c.width, c.height, {x, y});
    // best[i][t]: the most exact macroblocks of shown[i..] matched to pictures t..
    std::vector<std::vector<int>> best(n + 1, std::vector<int>(m + 1, 0));
    for (size_t i = n; i-- > 0;)
        for (size_t t = m; t-- > 0;)
            best[i][t] = std::max(best[i][t + 1], score[i][t] + best[i + 1][t + 1]);
    std::vector<size_t> of;
    for (size_t i = 0, t = 0; i < n && t < m;) {
        if (best[i][t] == best[i][t + 1] && best[i][t] != score[i][t] + best[i + 1][t + 1]) {
            t++;
        } else {
            of.push_back(t++);
            i++;
        }
    }
    return of;
}

struct LossCase {
    const char *stream;
    const Pattern *pattern;
};

class Loss : public ::testing::TestWithParam<LossCase> {};

TEST_P(Loss, ShowsOnlyExactConcealedOrCarriedMacroblocks)
{
    std::string error;
    const Coded &c = stream(GetParam().stream, error);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_GT(c.pictures(), chosen(c) + 12);
    const Arrival arrival = GetParam().pattern->make(c);
    std::vector<RtpPacket> packets;
    for (size_t i : arrival)
        packets.push_back(c.packets[i]);
    const Pictures shown = decode_all(packets);

    const std::vector<size_t> expected = pictures_arriving(c, arrival);
    EXPECT_EQ(shown.size(), expected.size()) << "every picture with a packet is shown once";
    const std::vector<size_t> of = shown.size() == expected.size() ? expected : best_match(c, shown);
    const Verdict v = judge(c, Pictures(shown.begin(), shown.begin() + of.size()), of);
    EXPECT_EQ(v.wrong, 0) << v.first_wrong;
    std::printf("%-22s %-38s %6.2f%% of macroblocks exact, %d wrong, %zu of %zu shown\n",
                GetParam().stream, GetParam().pattern->name, 100.0 * v.exact / v.macroblocks,
                v.wrong, shown.size(), expected.size());
}

std::vector<LossCase> loss_cases()
{
    std::vector<LossCase> cases;
    for (const char *s : {"ours_qcif", "ours_cif", "ffmpeg_qcif_mode_b", "ffmpeg_cif_gob_headers"})
        for (const Pattern &p : kPatterns)
            cases.push_back({s, &p});
    return cases;
}

// A packet that comes later than the wait is lost, and the wait grows to let the next one as
// late in, up to 250 ms: later late packets decode as if they had come in order.
TEST(LatePackets, AreWaitedForAsLongAsTheLatestSoFarUpTo250Milliseconds)
{
    std::string error;
    const Coded &c = stream("ours_qcif", error);
    struct Case {
        size_t pictures_late;   // at 30000/1001 a second
        bool decoded;           // the late packets after the first
    };
    for (const Case late : {Case{3, true}, Case{7, true}, Case{9, false}}) {
        Arrival arrival = in_order(c), first_lost = in_order(c);
        std::vector<size_t> late_ones;
        for (size_t t = 3; t + late.pictures_late < c.pictures(); t += late.pictures_late + 1) {
            arrival = moved_after(arrival, c.first[t] + 1, c.last(t + late.pictures_late));
            late_ones.push_back(c.first[t] + 1);
        }
        ASSERT_GE(late_ones.size(), 2u);
        std::vector<RtpPacket> packets, expected;
        for (size_t i : arrival)
            packets.push_back(c.packets[i]);
        for (size_t i : without(in_order(c),
                                late.decoded ? std::vector<size_t>{late_ones[0]} : late_ones))
            expected.push_back(c.packets[i]);
        EXPECT_TRUE(decode_all(packets) == decode_all(expected))
            << late.pictures_late << " pictures late";
    }
}

// A picture whose first packet was lost has no header to tell its rounding type: it goes on
// as the pictures before did. ffmpeg alternates it on the P pictures of a custom size, which
// travel with source format 7 in packets of at most 1000 bytes cut anywhere.
TEST(PictureHeaderLost, CustomSizePicturesKeepTheRoundingTypesOfTheStream)
{
    std::string error;
    Coded c;
    c.width = 320;
    c.height = 240;
    const std::vector<uint8_t> es =
        h263test::ffmpeg_h263_stream(h263test::lavfi_sources()[2], c.width, c.height, 30, "h263p",
                                     "30000/1001", {"-q:v", "10", "-ps", "1"}, error);
    ASSERT_FALSE(es.empty()) << error;
    c.packets = h263test::packets_of_stream(es, 500);
    c.exact = decode_all(c.packets);
    index_pictures(c);
    ASSERT_EQ(c.exact.size(), 30u);
    ASSERT_EQ(c.packets[0].payload[1] >> 5, 7);
    std::vector<size_t> lost;
    for (size_t t : {4, 5, 9, 16, 21})
        lost.push_back(c.first[t]);
    for (size_t i : lost)
        ASSERT_EQ(c.packets[i + 1].timestamp, c.packets[i].timestamp) << "a picture of one packet";
    const Arrival arrival = without(in_order(c), lost);
    std::vector<RtpPacket> packets;
    for (size_t i : arrival)
        packets.push_back(c.packets[i]);
    const Pictures shown = decode_all(packets);
    ASSERT_EQ(shown.size(), c.pictures());
    const Verdict v = judge(c, shown, pictures_arriving(c, arrival));
    EXPECT_EQ(v.wrong, 0) << v.first_wrong;
    std::printf("custom size, first packets lost: %.2f%% of macroblocks exact\n",
                100.0 * v.exact / v.macroblocks);
}

INSTANTIATE_TEST_SUITE_P(Patterns, Loss, ::testing::ValuesIn(loss_cases()),
                         [](const ::testing::TestParamInfo<LossCase> &i) {
                             return std::string(i.param.stream) + "_" + i.param.pattern->name;
                         });

} // namespace
