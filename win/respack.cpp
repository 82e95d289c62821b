// Resource pack reading and writing.
#include <win/respack.h>

#include <win/rcscript.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace win::res {
namespace {

uint32_t Get32(std::string_view s, size_t at)
{
    return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 |
           uint32_t(uint8_t(s[at + 2])) << 16 | uint32_t(uint8_t(s[at + 3])) << 24;
}

uint16_t Get16(std::string_view s, size_t at)
{
    return uint16_t(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8);
}

void Put32(std::string &s, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s += char((v >> (8 * i)) & 0xff);
}

void Put16(std::string &s, uint16_t v)
{
    s += char(v & 0xff);
    s += char(v >> 8);
}

} // namespace

std::unique_ptr<Pack> Pack::Parse(std::string bytes, std::string &error)
{
    std::string_view s = bytes;
    if (s.size() < 12 || std::memcmp(s.data(), kPackMagic, 4) != 0) {
        error = "not a resource pack";
        return nullptr;
    }
    if (Get32(s, 4) != 1) {
        error = "unsupported pack version";
        return nullptr;
    }
    uint32_t count = Get32(s, 8);
    // Each entry needs at least 12 bytes of directory.
    if (count > (s.size() - 12) / 12) {
        error = "entry count exceeds the file";
        return nullptr;
    }
    auto pack = std::make_unique<Pack>();
    size_t at = 12;
    for (uint32_t i = 0; i < count; ++i) {
        std::string parts[2];
        for (auto &part : parts) {
            if (s.size() - at < 2) {
                error = "truncated directory";
                return nullptr;
            }
            uint16_t len = Get16(s, at);
            at += 2;
            if (s.size() - at < len) {
                error = "truncated directory";
                return nullptr;
            }
            part.assign(s.substr(at, len));
            at += len;
        }
        if (s.size() - at < 8) {
            error = "truncated directory";
            return nullptr;
        }
        uint32_t offset = Get32(s, at), size = Get32(s, at + 4);
        at += 8;
        if (offset > s.size() || size > s.size() - offset) {
            error = "resource data outside the file";
            return nullptr;
        }
        auto key = std::make_pair(rc::NormalizeName(parts[0]), rc::NormalizeName(parts[1]));
        if (!pack->entries_.emplace(key, std::string(s.substr(offset, size))).second) {
            error = "duplicate resource " + key.first + " " + key.second;
            return nullptr;
        }
    }
    return pack;
}

void Pack::Add(std::string_view type, std::string_view name, std::string data)
{
    entries_[{rc::NormalizeName(type), rc::NormalizeName(name)}] = std::move(data);
}

const std::string *Pack::Find(std::string_view type, std::string_view name) const
{
    auto it = entries_.find({rc::NormalizeName(type), rc::NormalizeName(name)});
    return it == entries_.end() ? nullptr : &it->second;
}

std::string Pack::Serialize() const
{
    std::string head(kPackMagic, 4);
    Put32(head, 1);
    Put32(head, uint32_t(entries_.size()));
    size_t dirSize = 0;
    for (const auto &[key, data] : entries_)
        dirSize += 2 + key.first.size() + 2 + key.second.size() + 8;
    uint32_t offset = uint32_t(head.size() + dirSize);
    std::string body;
    for (const auto &[key, data] : entries_) {
        Put16(head, uint16_t(key.first.size()));
        head += key.first;
        Put16(head, uint16_t(key.second.size()));
        head += key.second;
        Put32(head, offset);
        Put32(head, uint32_t(data.size()));
        offset += uint32_t(data.size());
        body += data;
    }
    return head + body;
}

std::string EncodeStringTable(const std::map<int, std::string> &strings)
{
    std::string out;
    for (const auto &[id, text] : strings) {
        out += std::to_string(id) + "\t";
        for (char c : text) {
            switch (c) {
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\\': out += "\\\\"; break;
            default: out += c;
            }
        }
        out += "\n";
    }
    return out;
}

bool DecodeStringTable(std::string_view data, std::map<int, std::string> &out)
{
    size_t pos = 0;
    while (pos < data.size()) {
        size_t end = data.find('\n', pos);
        if (end == std::string_view::npos)
            return false;
        std::string_view line = data.substr(pos, end - pos);
        pos = end + 1;
        size_t tab = line.find('\t');
        if (tab == std::string_view::npos || tab == 0 || tab > 5)
            return false;
        int id = 0;
        for (char c : line.substr(0, tab)) {
            if (c < '0' || c > '9')
                return false;
            id = id * 10 + (c - '0');
        }
        std::string text;
        for (size_t i = tab + 1; i < line.size(); ++i) {
            char c = line[i];
            if (c != '\\') {
                text += c;
                continue;
            }
            if (++i >= line.size())
                return false;
            switch (line[i]) {
            case 'n': text += '\n'; break;
            case 'r': text += '\r'; break;
            case 't': text += '\t'; break;
            case '\\': text += '\\'; break;
            default: return false;
            }
        }
        out[id] = std::move(text);
    }
    return true;
}

} // namespace win::res
