// asn1gen: generates the H.323 layer's C++ message classes and PER tables from ASN.1 modules.
//
//   asn1gen --out DIR   FILE.asn:PREFIX:BASE ...   write DIR/BASE.h and DIR/BASE_N.cpp
//   asn1gen --check DIR FILE.asn:PREFIX:BASE ...   compare with the files in DIR
#include "ast.h"
#include "emit.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4 || (std::strcmp(argv[1], "--out") != 0 && std::strcmp(argv[1], "--check") != 0)) {
        std::fprintf(stderr, "usage: %s --out|--check DIR FILE.asn:PREFIX:BASE ...\n", argv[0]);
        return 2;
    }
    bool check = std::strcmp(argv[1], "--check") == 0;
    std::filesystem::path dir = argv[2];
    try {
        std::vector<asn1gen::Module> modules;
        for (int i = 3; i < argc; i++) {
            std::string arg = argv[i];
            size_t b = arg.rfind(':');
            size_t a = b == std::string::npos ? b : arg.rfind(':', b - 1);
            if (a == std::string::npos)
                throw std::runtime_error("expected FILE.asn:PREFIX:BASE, got " + arg);
            std::string path = arg.substr(0, a);
            asn1gen::Module m;
            try {
                m = asn1gen::parse_module(read_file(path));
            } catch (const std::exception &e) {
                throw std::runtime_error(path + ": " + e.what());
            }
            m.prefix = arg.substr(a + 1, b - a - 1);
            m.file = arg.substr(b + 1);
            modules.push_back(std::move(m));
        }
        asn1gen::Files files = asn1gen::emit(modules);
        int stale = 0;
        for (const auto &[name, text] : files) {
            std::filesystem::path p = dir / name;
            if (check) {
                std::string have;
                try {
                    have = read_file(p.string());
                } catch (const std::exception &) {
                    std::fprintf(stderr, "missing: %s\n", p.c_str());
                    stale++;
                    continue;
                }
                if (have != text) {
                    std::fprintf(stderr, "stale: %s\n", p.c_str());
                    stale++;
                }
            } else {
                std::filesystem::create_directories(dir);
                std::ofstream out(p, std::ios::binary);
                out << text;
                if (!out)
                    throw std::runtime_error("cannot write " + p.string());
            }
        }
        if (check) {
            for (const auto &entry : std::filesystem::directory_iterator(dir)) {
                std::string name = entry.path().filename().string();
                bool ours = false;
                for (const auto &m : modules)
                    ours = ours || name.rfind(m.file + ".", 0) == 0 || name.rfind(m.file + "_", 0) == 0;
                if (ours && !files.count(name)) {
                    std::fprintf(stderr, "not generated any more: %s\n", entry.path().c_str());
                    stale++;
                }
            }
            if (stale) {
                std::fprintf(stderr, "%d generated file(s) out of date; regenerate with the "
                                     "asn1-regen target\n", stale);
                return 1;
            }
            std::printf("generated sources are up to date (%zu files)\n", files.size());
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "asn1gen: %s\n", e.what());
        return 1;
    }
    return 0;
}
