// Resource packs: the file format that holds one module's resources.
//
// Layout (little-endian): "KRES", u32 version (1), u32 entry count, then per entry
// u16 type length, type, u16 name length, name, u32 offset, u32 size; then the data.
// Offsets count from the start of the file. Types and names are upper case; integer
// ids are written "#n". A dialog or menu is stored as its canonical script text, the
// string table as one "STRINGTABLE" resource "#1" of lines "id<TAB>escaped text".
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace win::res {

inline constexpr char kPackMagic[4] = {'K', 'R', 'E', 'S'};

class Pack {
  public:
    // Parses a pack image; nullptr with a reason in error when it is malformed.
    static std::unique_ptr<Pack> Parse(std::string bytes, std::string &error);

    void Add(std::string_view type, std::string_view name, std::string data);
    // nullptr when the pack has no such resource. Type and name are compared in upper case.
    const std::string *Find(std::string_view type, std::string_view name) const;
    std::string Serialize() const;

    size_t size() const { return entries_.size(); }
    const std::map<std::pair<std::string, std::string>, std::string> &entries() const
    {
        return entries_;
    }

  private:
    std::map<std::pair<std::string, std::string>, std::string> entries_;
};

// The string table resource: encoding and decoding of its lines.
std::string EncodeStringTable(const std::map<int, std::string> &strings);
bool DecodeStringTable(std::string_view data, std::map<int, std::string> &out);

inline constexpr std::string_view kStringTableType = "STRINGTABLE";
inline constexpr std::string_view kStringTableName = "#1";

} // namespace win::res
