// Fuzz target: the data file loaders of the settings store. The first byte picks the file,
// the rest is its contents; loading must never crash, hang or read out of bounds.
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

struct Loader {
    const char *file;
    void (CSettings::*load)();
};

const Loader kLoaders[] = {
    {"audio.dat", &CSettings::LoadAudioSettings}, {"ui.dat", &CSettings::LoadUiSettings},
    {"client.dat", &CSettings::LoadAccount},      {"General.dat", &CSettings::LoadAccount},
    {"calls.dat", &CSettings::LoadCallLog},       {"Forward.dat", &CSettings::LoadForwardList},
    {"Filter.dat", &CSettings::LoadFilterList},   {"Server.dat", &CSettings::LoadServerList},
    {"Video.dat", &CSettings::LoadVideoSettings},
};

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
    if (size == 0)
        return 0;
    const Loader &loader = kLoaders[data[0] % std::size(kLoaders)];
    std::string path = (g_settings->m_strInstallDir + loader.file).GetString();
    if (FILE *f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data + 1, 1, size - 1, f);
        std::fclose(f);
    }
    (g_settings->*loader.load)();
    std::remove(path.c_str());
    return 0;
}
