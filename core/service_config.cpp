// Where the service lives: host names, alias domain and web host, with local defaults.
#include <core/service_config.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

struct Key {
    const char *name;
    const char *environment;
    std::string CServiceConfig::*field;
};

const Key kKeys[] = {
    {"primary_host", "KESTRELIN_PRIMARY_HOST", &CServiceConfig::m_strPrimaryHost},
    {"secondary_host", "KESTRELIN_SECONDARY_HOST", &CServiceConfig::m_strSecondaryHost},
    {"alias_domain", "KESTRELIN_ALIAS_DOMAIN", &CServiceConfig::m_strAliasDomain},
    {"web_host", "KESTRELIN_WEB_HOST", &CServiceConfig::m_strWebHost},
};

const Key *FindKey(std::string_view name)
{
    for (const Key &key : kKeys)
        if (name == key.name)
            return &key;
    return nullptr;
}

constexpr size_t kMaxValue = 255;
constexpr size_t kMaxFile = 64 * 1024;

std::string_view Trim(std::string_view s)
{
    size_t begin = s.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos)
        return {};
    size_t end = s.find_last_not_of(" \t\r");
    return s.substr(begin, end - begin + 1);
}

// A value is one word of printable bytes: it travels in host lookups and digests.
const char *ValueProblem(std::string_view value)
{
    if (value.empty())
        return "empty value";
    if (value.size() > kMaxValue)
        return "value longer than 255 bytes";
    for (unsigned char c : value)
        if (c <= ' ' || c == 0x7f)
            return "value holds a space or control character";
    return nullptr;
}

} // namespace

CServiceConfig CServiceConfig::Load(const std::string &installDir,
                                    std::vector<std::string> *warnings)
{
    CServiceConfig config;
    std::string path = installDir;
    if (!path.empty() && path.back() != '/')
        path += '/';
    config.ReadFile(path + kFileName, warnings);
    config.ApplyEnvironment(warnings);
    return config;
}

void CServiceConfig::ReadFile(const std::string &path, std::vector<std::string> *warnings)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) {
        if (errno != ENOENT && warnings)
            warnings->push_back(path + ": cannot open: " + std::strerror(errno));
        return;
    }
    std::string text;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), file)) > 0 && text.size() < kMaxFile)
        text.append(chunk, n);
    int error = std::ferror(file) ? errno : 0;
    std::fclose(file);
    if (error) {
        if (warnings)
            warnings->push_back(path + ": cannot read: " + std::strerror(error));
        return;
    }
    if (text.size() >= kMaxFile) {
        if (warnings)
            warnings->push_back(path + ": larger than 64 KiB, ignored");
        return;
    }
    ApplyText(text, path, warnings);
}

void CServiceConfig::ApplyText(std::string_view text, const std::string &origin,
                               std::vector<std::string> *warnings)
{
    auto warn = [&](int line, const std::string &what) {
        if (warnings)
            warnings->push_back(origin + ":" + std::to_string(line) + ": " + what);
    };
    int lineNo = 0;
    while (!text.empty()) {
        size_t eol = text.find('\n');
        std::string_view line = Trim(text.substr(0, eol));
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        lineNo++;
        if (line.empty() || line.front() == '#')
            continue;
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            warn(lineNo, "expected key = value");
            continue;
        }
        std::string key(Trim(line.substr(0, eq)));
        std::string_view value = Trim(line.substr(eq + 1));
        const Key *known = FindKey(key);
        if (!known) {
            warn(lineNo, "unknown key '" + key + "'");
            continue;
        }
        if (const char *problem = ValueProblem(value)) {
            warn(lineNo, key + ": " + problem);
            continue;
        }
        (this->*known->field).assign(value);
    }
}

void CServiceConfig::ApplyEnvironment(std::vector<std::string> *warnings)
{
    for (const Key &key : kKeys) {
        const char *value = std::getenv(key.environment);
        if (!value)
            continue;
        if (const char *problem = ValueProblem(value)) {
            if (warnings)
                warnings->push_back(std::string(key.environment) + ": " + problem);
            continue;
        }
        (this->*key.field).assign(value);
    }
}
