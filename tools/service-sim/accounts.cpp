// Subscriber accounts of the simulated service, read from an "account password" file.
#include <tools/service-sim/accounts.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace servicesim
{

bool LoadAccounts(const std::string &path, Accounts *accounts, std::string *error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        *error = path + ": read error";
        return false;
    }
    return ParseAccounts(text.str(), path, accounts, error);
}

bool ParseAccounts(const std::string &text, const std::string &origin, Accounts *accounts,
                   std::string *error)
{
    Accounts parsed;
    std::istringstream lines(text);
    std::string line;
    for (int lineNo = 1; std::getline(lines, line); lineNo++) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::istringstream words(line);
        std::string account, password, extra;
        if (!(words >> account) || account.front() == '#')
            continue;
        auto fail = [&](const std::string &why) {
            *error = origin + ":" + std::to_string(lineNo) + ": " + why;
            return false;
        };
        if (!(words >> password))
            return fail("expected \"account password\"");
        if (words >> extra)
            return fail("more than two words");
        if (!parsed.emplace(account, password).second)
            return fail("account " + account + " listed twice");
    }
    if (parsed.empty()) {
        *error = origin + ": no accounts";
        return false;
    }
    *accounts = std::move(parsed);
    return true;
}

} // namespace servicesim
