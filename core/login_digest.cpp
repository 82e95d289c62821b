// The login digest that proves an account and password to the service.
#include <core/login_digest.h>

#include <core/md5.h>

std::string LoginDigest(const std::string &account, const std::string &password,
                        const std::string &aliasDomain, const std::string &challenge)
{
    std::string h1 = MD5String((account + "@" + aliasDomain).c_str());
    std::string h2 = MD5String((account + password + h1).c_str());
    return MD5String((account + password + h2 + challenge).c_str());
}
