// Separator mapping and case-insensitive lookup of path components.
#include <win/path.h>

#include <win/codepage.h>

#include <dirent.h>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace win
{
namespace
{

bool Exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// The entry of dir whose name equals name without ASCII case, first in byte order.
std::optional<std::string> FindWithoutCase(const std::string &dir, const std::string &name)
{
    DIR *d = opendir(dir.empty() ? "." : dir.c_str());
    if (!d)
        return std::nullopt;
    std::optional<std::string> best;
    CString wanted(std::string_view{name});
    while (dirent *e = readdir(d)) {
        std::string entry(e->d_name);
        if (wanted.CompareNoCase(entry.c_str()) == 0 && (!best || entry < *best))
            best = entry;
    }
    closedir(d);
    return best;
}

} // namespace

std::string MapPath(const char *path)
{
    std::string in(path ? path : "");
    std::vector<std::string> parts;
    std::string part;
    bool trailing = false;
    for (size_t i = 0; i < in.size();) {
        size_t n = CharLengthAt(in.data(), in.size(), i);
        trailing = n == 1 && (in[i] == '\\' || in[i] == '/');
        if (trailing) {
            if (!part.empty())
                parts.push_back(std::move(part));
            part.clear();
        } else {
            part.append(in, i, n);
        }
        i += n;
    }
    if (!part.empty())
        parts.push_back(std::move(part));

    bool absolute = !in.empty() && (in[0] == '\\' || in[0] == '/');
    std::string out = absolute ? "/" : "";
    bool resolving = true;
    for (size_t k = 0; k < parts.size(); ++k) {
        const std::string &name = parts[k];
        std::string candidate = out + name;
        if (resolving && name != "." && name != ".." && !Exists(candidate)) {
            if (std::optional<std::string> found = FindWithoutCase(out, name))
                candidate = out + *found;
            else
                resolving = false;
        }
        out = candidate;
        if (k + 1 < parts.size() || trailing)
            out += '/';
    }
    return out;
}

CString EscapeFileNamePart(const CString &text)
{
    const std::string &s = text.StdString();
    std::string out;
    for (size_t i = 0; i < s.size();) {
        size_t n = CharLengthAt(s.data(), s.size(), i);
        if (n == 1 && s[i] == '%')
            out += "%25";
        else if (n == 1 && s[i] == '/')
            out += "%2F";
        else if (n == 1 && s[i] == '\\')
            out += "%5C";
        else if (n == 1 && s[i] == '\0')
            out += "%00";
        else
            out.append(s, i, n);
        i += n;
    }
    return CString(std::string_view(out));
}

} // namespace win
