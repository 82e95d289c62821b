// A fresh directory for one test, removed with everything in it when the test ends.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrelin::testing
{

class TempDir
{
  public:
    TempDir()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kestrelin-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }

    const std::filesystem::path &path() const { return m_path; }
    /// The directory with a trailing '/'.
    std::string dir() const { return m_path.string() + "/"; }
    std::string file(const std::string &name) const { return (m_path / name).string(); }

    void write(const std::string &name, const std::vector<unsigned char> &bytes) const
    {
        std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<unsigned char> read(const std::string &name) const
    {
        std::ifstream in(file(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    bool exists(const std::string &name) const { return std::filesystem::exists(m_path / name); }
    /// Names of the entries, sorted.
    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto &e : std::filesystem::directory_iterator(m_path))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    std::filesystem::path m_path;
};

} // namespace kestrelin::testing
