// PIPSocket::Address: parsing, printing, host look-ups and the interface list.
#include <pwlib/passert.h>
#include <pwlib/pipsocket.h>

#include <cstring>
#include <ostream>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

using Address = PIPSocket::Address;

Address::Address(BYTE b1, BYTE b2, BYTE b3, BYTE b4)
{
    BYTE bytes[4] = {b1, b2, b3, b4};
    std::memcpy(&addr_, bytes, sizeof(addr_));
}

Address::Address(const PString &text)
{
    Address found;
    if (PIPSocket::GetHostAddress(text, found))
        addr_ = found.addr_;
}

PObject::Comparison Address::Compare(const PObject &obj) const
{
    const Address *other = dynamic_cast<const Address *>(&obj);
    if (other == nullptr)
        return PObject::Compare(obj);
    DWORD a = ntohl(addr_), b = ntohl(other->addr_);
    return a < b ? LessThan : (a > b ? GreaterThan : EqualTo);
}

void Address::PrintOn(std::ostream &strm) const
{
    strm << AsString();
}

BOOL Address::IsValid() const
{
    return addr_ != 0 && addr_ != 0xffffffff;
}

BYTE Address::operator[](PINDEX index) const
{
    if (!PAssert(index >= 0 && index < 4, "Address octet out of range"))
        return 0;
    BYTE bytes[4];
    std::memcpy(bytes, &addr_, sizeof(bytes));
    return bytes[index];
}

PString Address::AsString() const
{
    return psprintf("%u.%u.%u.%u", (*this)[0], (*this)[1], (*this)[2], (*this)[3]);
}

PString PIPSocket::GetHostName()
{
    char name[256];
    if (gethostname(name, sizeof(name) - 1) != 0)
        return PString("localhost");
    name[sizeof(name) - 1] = '\0';
    return PString(name);
}

BOOL PIPSocket::GetHostAddress(Address &addr)
{
    InterfaceTable table;
    if (GetInterfaceTable(table)) {
        for (const InterfaceEntry &entry : table) {
            if (!entry.GetAddress().IsLoopback() && entry.GetAddress().IsValid()) {
                addr = entry.GetAddress();
                return TRUE;
            }
        }
    }
    addr = Address(127, 0, 0, 1);
    return TRUE;
}

BOOL PIPSocket::GetHostAddress(const PString &hostname, Address &addr)
{
    PString text = hostname.Trim();
    if (text.IsEmpty())
        return FALSE;
    struct in_addr parsed;
    if (inet_pton(AF_INET, text, &parsed) == 1) {
        addr = Address(static_cast<DWORD>(parsed.s_addr));
        return TRUE;
    }
    // Digits and dots that are not a dotted quad ("1.2.3", "256.1.1.1") are no host name;
    // the resolver would read some of them in the old short forms.
    if (std::strspn(text, "0123456789.") == static_cast<size_t>(text.GetLength()))
        return FALSE;
    struct addrinfo hints;
    std::memset(&hints, 0, sizeof(hints));
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo *result = nullptr;
    if (getaddrinfo(text, nullptr, &hints, &result) != 0 || result == nullptr)
        return FALSE;
    const struct sockaddr_in *sin = reinterpret_cast<const struct sockaddr_in *>(result->ai_addr);
    addr = Address(static_cast<DWORD>(sin->sin_addr.s_addr));
    freeaddrinfo(result);
    return TRUE;
}

BOOL PIPSocket::GetInterfaceTable(InterfaceTable &table)
{
    table.clear();
    struct ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return FALSE;
    for (struct ifaddrs *entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
            (entry->ifa_flags & IFF_UP) == 0)
            continue;
        auto toAddress = [](const struct sockaddr *sa) {
            if (sa == nullptr)
                return Address();
            const struct sockaddr_in *sin = reinterpret_cast<const struct sockaddr_in *>(sa);
            return Address(static_cast<DWORD>(sin->sin_addr.s_addr));
        };
        table.emplace_back(PString(entry->ifa_name), toAddress(entry->ifa_addr),
                           toAddress(entry->ifa_netmask));
    }
    freeifaddrs(list);
    return TRUE;
}
