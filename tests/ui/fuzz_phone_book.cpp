// Fuzz target: pbook.dat as the menu panel reads it and as the caller lookup scans it; neither
// may crash, hang or read out of bounds, whatever the file holds.
#include <ui/phone_book.h>

#include <core/settings.h>

#include <win/module_testing.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace
{

CSettings *g_settings = nullptr; // kept for the whole run: its destructor would save
std::string g_dir;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_dir = (std::filesystem::temp_directory_path() / "kestrelin-fuzz-XXXXXX").string();
    if (!mkdtemp(g_dir.data()))
        std::abort();
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(g_dir, ec);
    });
    win::testing::OverrideExecutablePath((g_dir + "/kestrelin").c_str());
    g_settings = new CSettings;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string path = g_settings->m_strPhoneBookFile.GetString();
    if (FILE *f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    static PhoneBookTable table;
    int count = ReadPhoneBook(g_settings->m_strPhoneBookFile, table);
    if (count < 0 || count > kPhoneBookCapacity)
        std::abort();
    LookupPhoneBookName(*g_settings, "5551234");
    std::remove(path.c_str());
    return 0;
}
