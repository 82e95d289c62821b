// H.235 authenticators: time-stamped password tokens for RAS requests.
#include <h323/ras/h235_auth.h>

#include <h323/pdu/h235_tokens.h>

#include <atomic>
#include <ctime>
#include <random>

namespace h323 {

namespace {

// The CAT random of the next token. One sequence for the process, so a registration made again
// in the same second (by a new authenticator) never repeats an earlier token, which a gatekeeper
// refuses as replayed; its random start keeps two processes of one account apart.
uint8_t NextCatRandom()
{
    static std::atomic<uint8_t> last{uint8_t(std::random_device{}())};
    return ++last;
}

} // namespace

void H235Authenticators::SetCredentials(const std::string &a, const std::string &p)
{
    PWaitAndSignal lock(mutex);
    alias = a;
    password = p;
}

bool H235Authenticators::IsActive() const
{
    PWaitAndSignal lock(mutex);
    return !alias.empty() && !password.empty();
}

void H235Authenticators::AddCryptoToken(asn1::Array<H225_CryptoH323Token> &tokens)
{
    PWaitAndSignal lock(mutex);
    tokens.push_back(h235::MakePasswordHashToken(alias, password, uint32_t(std::time(nullptr))));
}

void H235Authenticators::AddCatToken(asn1::Array<H235_ClearToken> &tokens)
{
    PWaitAndSignal lock(mutex);
    tokens.push_back(
        h235::MakeCatToken(alias, password, uint32_t(std::time(nullptr)), NextCatRandom()));
}

} // namespace h323
