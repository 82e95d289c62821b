// Builds a resource pack from a resource script and a folder of generated art.
//
//   kestrelin-respack --script FILE.rc --art DIR --out PACK
//
// Every file of DIR named TYPE_NAME.ext is added as resource TYPE NAME (a numeric NAME
// becomes an integer id). Files the script names are read relative to the script.
#include <win/rcscript.h>
#include <win/respack.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

bool ReadFile(const fs::path &path, std::string &out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream s;
    s << in.rdbuf();
    out = s.str();
    return true;
}

bool IsNumber(const std::string &s)
{
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

int Fail(const std::string &what)
{
    std::fprintf(stderr, "kestrelin-respack: %s\n", what.c_str());
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    fs::path script, art, out;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--script"))
            script = argv[i + 1];
        else if (!std::strcmp(argv[i], "--art"))
            art = argv[i + 1];
        else if (!std::strcmp(argv[i], "--out"))
            out = argv[i + 1];
    }
    if (script.empty() || out.empty() || argc % 2 == 0)
        return Fail("usage: kestrelin-respack --script FILE.rc [--art DIR] --out PACK");

    std::string text, error;
    if (!ReadFile(script, text))
        return Fail("cannot read " + script.string());
    win::rc::Script parsed;
    if (!win::rc::ParseScript(text, parsed, error))
        return Fail(script.string() + ": " + error);

    win::res::Pack pack;
    pack.Add(win::res::kStringTableType, win::res::kStringTableName,
             win::res::EncodeStringTable(parsed.strings));
    for (const auto &d : parsed.dialogs)
        pack.Add("DIALOG", win::rc::ResourceName(d.id), win::rc::FormatDialog(d));
    for (const auto &m : parsed.menus)
        pack.Add("MENU", win::rc::ResourceName(m.id), win::rc::FormatMenu(m));
    for (const auto &f : parsed.files) {
        std::string data;
        fs::path path = script.parent_path() / f.path;
        if (!ReadFile(path, data))
            return Fail("cannot read " + path.string());
        pack.Add(f.type, f.name, std::move(data));
    }
    if (!art.empty()) {
        std::error_code ec;
        for (const auto &entry : fs::directory_iterator(art, ec)) {
            std::string stem = entry.path().stem().string();
            size_t cut = stem.find('_');
            if (!entry.is_regular_file() || cut == std::string::npos || cut == 0)
                continue;
            std::string type = stem.substr(0, cut), name = stem.substr(cut + 1);
            if (IsNumber(name))
                name = "#" + name;
            std::string data;
            if (!ReadFile(entry.path(), data))
                return Fail("cannot read " + entry.path().string());
            pack.Add(type, name, std::move(data));
        }
        if (ec)
            return Fail("cannot list " + art.string() + ": " + ec.message());
    }
    std::string bytes = pack.Serialize();
    fs::path tmp = out;
    tmp += ".tmp";
    {
        std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
        if (!o.write(bytes.data(), std::streamsize(bytes.size())))
            return Fail("cannot write " + tmp.string());
    }
    std::error_code ec;
    fs::rename(tmp, out, ec);
    if (ec)
        return Fail("cannot write " + out.string() + ": " + ec.message());
    return 0;
}
