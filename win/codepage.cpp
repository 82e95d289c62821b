// The process-wide ANSI code page, backed by glibc's iconv.
#include <win/codepage.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <iconv.h>
#include <memory>
#include <mutex>
#include <vector>

namespace win
{
namespace
{

struct CodePage {
    std::string name;
    std::array<bool, 256> lead{};
    std::array<bool, 256> trail{};
};

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// Result of converting the bytes in, of a code page, to UTF-8.
enum class Decode { Complete, Incomplete, Invalid };

Decode TryDecode(iconv_t cd, const char *in, size_t n)
{
    char out[16];
    char *inp = const_cast<char *>(in), *outp = out;
    size_t inLeft = n, outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1))
        return Decode::Complete;
    return errno == EINVAL ? Decode::Incomplete : Decode::Invalid;
}

// Builds the tables of a code page, or returns null when iconv does not know it. A lead byte
// is one that iconv reports as incomplete on its own; a trail byte completes (or, for the
// four-byte sequences of GB18030, continues) some lead byte.
std::unique_ptr<CodePage> MakeCodePage(const char *name)
{
    iconv_t cd = iconv_open("UTF-8", name);
    if (cd == kNoConverter)
        return nullptr;
    auto page = std::make_unique<CodePage>();
    page->name = name;
    for (int b = 0x80; b < 0x100; ++b) {
        char in = static_cast<char>(b);
        page->lead[b] = TryDecode(cd, &in, 1) == Decode::Incomplete;
    }
    for (int l = 0x80; l < 0x100; ++l) {
        if (!page->lead[l])
            continue;
        for (int t = 1; t < 0x100; ++t) {
            if (page->trail[t])
                continue;
            char in[2] = {static_cast<char>(l), static_cast<char>(t)};
            page->trail[t] = TryDecode(cd, in, 2) != Decode::Invalid;
        }
    }
    iconv_close(cd);
    return page;
}

// Every code page ever selected stays alive until the process ends, so a reader holding the
// old pointer stays valid, threads still converting at exit included.
std::mutex g_pagesMutex;
std::vector<std::unique_ptr<CodePage>> &Pages()
{
    static auto *pages = new std::vector<std::unique_ptr<CodePage>>;
    return *pages;
}
std::atomic<const CodePage *> g_current{nullptr};

const CodePage &Current()
{
    const CodePage *page = g_current.load(std::memory_order_acquire);
    if (page)
        return *page;
    std::lock_guard<std::mutex> lock(g_pagesMutex);
    page = g_current.load(std::memory_order_acquire);
    if (!page) {
        Pages().push_back(MakeCodePage("GBK"));
        page = Pages().back().get();
        g_current.store(page, std::memory_order_release);
    }
    return *page;
}

// One pair of converters per thread, reopened when the code page changes.
struct Converters {
    const CodePage *page = nullptr;
    iconv_t toUtf8 = kNoConverter;
    iconv_t fromUtf8 = kNoConverter;

    ~Converters() { Close(); }
    void Close()
    {
        if (toUtf8 != kNoConverter)
            iconv_close(toUtf8);
        if (fromUtf8 != kNoConverter)
            iconv_close(fromUtf8);
        toUtf8 = fromUtf8 = kNoConverter;
    }
    void Use(const CodePage &current)
    {
        if (page == &current)
            return;
        Close();
        toUtf8 = iconv_open("UTF-8", current.name.c_str());
        fromUtf8 = iconv_open(current.name.c_str(), "UTF-8");
        page = &current;
    }
};

thread_local Converters t_converters;

// Bytes of the UTF-8 unit at p: a lead byte and the continuation bytes that follow it.
size_t Utf8UnitLength(const char *p, size_t left)
{
    unsigned char c = static_cast<unsigned char>(*p);
    size_t want = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    size_t n = 1;
    while (n < want && n < left && (static_cast<unsigned char>(p[n]) & 0xC0) == 0x80)
        ++n;
    return n;
}

// Converts with cd; an input unit iconv rejects is replaced and skipped (skipUnit gives its size).
template <typename SkipUnit>
std::string Convert(iconv_t cd, std::string_view in, std::string_view replacement,
                    SkipUnit skipUnit)
{
    std::string out;
    if (cd == kNoConverter)
        return out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    out.resize(in.size() * 2 + 8);
    char *inp = const_cast<char *>(in.data());
    size_t inLeft = in.size();
    size_t used = 0;
    while (inLeft > 0) {
        char *outp = out.data() + used;
        size_t outLeft = out.size() - used;
        size_t rc = iconv(cd, &inp, &inLeft, &outp, &outLeft);
        used = out.size() - outLeft;
        if (rc != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        // EILSEQ: a bad or unconvertible unit; EINVAL: an incomplete one at the end.
        size_t skip = errno == EINVAL ? inLeft : skipUnit(inp, inLeft);
        out.resize(used);
        out.append(replacement);
        out.resize(out.size() + inLeft * 2 + 8);
        used += replacement.size();
        inp += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(used);
    return out;
}

} // namespace

bool SetAnsiCodePage(const char *iconvName)
{
    std::unique_ptr<CodePage> page = MakeCodePage(iconvName);
    if (!page)
        return false;
    std::lock_guard<std::mutex> lock(g_pagesMutex);
    Pages().push_back(std::move(page));
    g_current.store(Pages().back().get(), std::memory_order_release);
    return true;
}

std::string GetAnsiCodePage()
{
    return Current().name;
}

bool IsLeadByte(unsigned char c)
{
    return Current().lead[c];
}

size_t CharLengthAt(const char *s, size_t n, size_t i)
{
    const CodePage &page = Current();
    if (i + 1 < n && page.lead[static_cast<unsigned char>(s[i])] &&
        page.trail[static_cast<unsigned char>(s[i + 1])])
        return 2;
    return 1;
}

std::string AnsiToUtf8(std::string_view ansi)
{
    t_converters.Use(Current());
    return Convert(t_converters.toUtf8, ansi, "\xEF\xBF\xBD",
                   [](const char *, size_t) { return size_t{1}; });
}

std::string Utf8ToAnsi(std::string_view utf8)
{
    t_converters.Use(Current());
    return Convert(t_converters.fromUtf8, utf8, "?", Utf8UnitLength);
}

} // namespace win
