// Deterministic stand-in for libFuzzer's driver: replays seeds, then mutates them.
//
// Usage: target [--runs=N] [--seed=S] [--max-len=L] [SEED_FILE|SEED_DIR]...
// Without seeds it starts from an empty input and grows it. Every mutation is
// drawn from a fixed-seed generator, so a failing run can be repeated exactly;
// the driver prints the iteration and seed before it starts.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

namespace {

using Bytes = std::vector<uint8_t>;

void add_seed_file(const std::filesystem::path &path, std::vector<Bytes> &seeds)
{
    std::ifstream in(path, std::ios::binary);
    if (in)
        seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void add_seeds(const std::string &arg, std::vector<Bytes> &seeds)
{
    std::error_code ec;
    std::filesystem::path path(arg);
    if (std::filesystem::is_directory(path, ec)) {
        std::vector<std::filesystem::path> files;
        for (const auto &entry : std::filesystem::directory_iterator(path, ec))
            if (entry.is_regular_file())
                files.push_back(entry.path());
        std::sort(files.begin(), files.end());   // directory order is not stable
        for (const auto &file : files)
            add_seed_file(file, seeds);
    } else {
        add_seed_file(path, seeds);
    }
}

/** Applies one to four random edits of the kinds libFuzzer uses most. */
void mutate(Bytes &data, std::mt19937_64 &rng, size_t max_len)
{
    auto pick = [&rng](size_t n) { return n ? static_cast<size_t>(rng() % n) : 0; };
    static const uint8_t interesting[] = {0x00, 0x01, 0x7f, 0x80, 0xfe, 0xff};
    int edits = 1 + static_cast<int>(pick(4));
    for (int e = 0; e < edits; e++) {
        switch (pick(7)) {
        case 0: // flip a bit
            if (!data.empty())
                data[pick(data.size())] ^= static_cast<uint8_t>(1u << pick(8));
            break;
        case 1: // random byte
            if (!data.empty())
                data[pick(data.size())] = static_cast<uint8_t>(rng());
            break;
        case 2: // interesting byte
            if (!data.empty())
                data[pick(data.size())] = interesting[pick(sizeof interesting)];
            break;
        case 3: // insert bytes
            if (data.size() < max_len) {
                size_t at = pick(data.size() + 1);
                size_t n = 1 + pick(std::min<size_t>(16, max_len - data.size()));
                Bytes ins(n);
                for (auto &b : ins)
                    b = static_cast<uint8_t>(rng());
                data.insert(data.begin() + static_cast<long>(at), ins.begin(), ins.end());
            }
            break;
        case 4: // erase bytes
            if (!data.empty()) {
                size_t at = pick(data.size());
                size_t n = 1 + pick(std::min<size_t>(16, data.size() - at));
                data.erase(data.begin() + static_cast<long>(at),
                           data.begin() + static_cast<long>(at + n));
            }
            break;
        case 5: // truncate
            data.resize(pick(data.size() + 1));
            break;
        case 6: // duplicate a chunk
            if (!data.empty() && data.size() < max_len) {
                size_t at = pick(data.size());
                size_t n = 1 + pick(std::min<size_t>({32, data.size() - at, max_len - data.size()}));
                Bytes chunk(data.begin() + static_cast<long>(at),
                            data.begin() + static_cast<long>(at + n));
                data.insert(data.begin() + static_cast<long>(pick(data.size() + 1)),
                            chunk.begin(), chunk.end());
            }
            break;
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);

    unsigned long long runs = 20000, seed = 1;
    size_t max_len = 4096;
    std::vector<Bytes> seeds;
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        if (std::strncmp(arg, "--runs=", 7) == 0 || std::strncmp(arg, "-runs=", 6) == 0)
            runs = std::strtoull(std::strchr(arg, '=') + 1, nullptr, 10);
        else if (std::strncmp(arg, "--seed=", 7) == 0)
            seed = std::strtoull(arg + 7, nullptr, 10);
        else if (std::strncmp(arg, "--max-len=", 10) == 0)
            max_len = std::strtoull(arg + 10, nullptr, 10);
        else if (arg[0] != '-')
            add_seeds(arg, seeds);
    }

    std::printf("mutation driver: %zu seeds, %llu runs, seed %llu\n", seeds.size(), runs, seed);
    for (const auto &s : seeds)
        LLVMFuzzerTestOneInput(s.data(), s.size());

    if (seeds.empty())
        seeds.emplace_back();
    std::mt19937_64 rng(seed);
    Bytes data;
    for (unsigned long long n = 0; n < runs; n++) {
        // Mostly mutate a seed afresh; sometimes keep stacking edits on the last input.
        if (data.empty() || rng() % 4 != 0)
            data = seeds[rng() % seeds.size()];
        mutate(data, rng, max_len);
        LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    std::printf("mutation driver: done\n");
    return 0;
}
