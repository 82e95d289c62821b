// PIPSocket: IPv4 sockets, their addresses, host look-ups and the interface list.
#pragma once

#include <pwlib/psocket.h>

#include <vector>

/// An IPv4 socket with a port.
class PIPSocket : public PSocket
{
    PCLASSINFO(PIPSocket, PSocket)
  public:
    /// An IPv4 address. The default is 0.0.0.0 ("any"), which is not valid as a peer.
    class Address : public PObject
    {
        PCLASSINFO(Address, PObject)
      public:
        Address() = default;
        /// From the four octets, first octet first (b1.b2.b3.b4).
        Address(BYTE b1, BYTE b2, BYTE b3, BYTE b4);
        /// From the address in network byte order (as in struct in_addr).
        explicit Address(DWORD networkOrder) : addr_(networkOrder) {}
        /// From "a.b.c.d" or a host name (looked up, blocking); 0.0.0.0 when neither works.
        Address(const PString &text);

        PObject *Clone() const override { return new Address(*this); }
        Comparison Compare(const PObject &obj) const override;
        /// Writes AsString().
        void PrintOn(std::ostream &strm) const override;

        /// FALSE for 0.0.0.0 and 255.255.255.255.
        BOOL IsValid() const;
        BOOL IsAny() const { return addr_ == 0; }
        /// TRUE for 127.x.x.x.
        BOOL IsLoopback() const { return (*this)[0] == 127; }
        BOOL IsBroadcast() const { return addr_ == 0xffffffff; }

        /// Octet 0..3, first octet first; out of range reports an assertion and gives 0.
        BYTE operator[](PINDEX index) const;
        BYTE Byte1() const { return (*this)[0]; }
        BYTE Byte2() const { return (*this)[1]; }
        BYTE Byte3() const { return (*this)[2]; }
        BYTE Byte4() const { return (*this)[3]; }
        DWORD GetNetworkOrder() const { return addr_; }
        /// "a.b.c.d".
        PString AsString() const;

        friend bool operator==(const Address &a, const Address &b) { return a.addr_ == b.addr_; }
        friend bool operator!=(const Address &a, const Address &b) { return a.addr_ != b.addr_; }
        /// Orders by octets, first octet first (for sorted containers).
        friend bool operator<(const Address &a, const Address &b)
        {
            return a.Compare(b) == LessThan;
        }

      private:
        DWORD addr_ = 0; // network byte order
    };

    /// One IPv4 interface of this host.
    class InterfaceEntry
    {
      public:
        InterfaceEntry(const PString &name, const Address &address, const Address &netMask)
            : name_(name), address_(address), netMask_(netMask)
        {
        }
        const PString &GetName() const { return name_; }
        const Address &GetAddress() const { return address_; }
        const Address &GetNetMask() const { return netMask_; }

      private:
        PString name_;
        Address address_;
        Address netMask_;
    };
    using InterfaceTable = std::vector<InterfaceEntry>;

    ~PIPSocket() override;

    /// The port: the one set, or the one bound after Listen.
    WORD GetPort() const { return port_; }
    void SetPort(WORD port) { port_ = port; }

    /// The local address (and port) of the open socket.
    BOOL GetLocalAddress(Address &addr);
    BOOL GetLocalAddress(Address &addr, WORD &port);
    /// The peer's address (and port) of a connected socket.
    BOOL GetPeerAddress(Address &addr);
    BOOL GetPeerAddress(Address &addr, WORD &port);

    /// This host's name.
    static PString GetHostName();
    /// This host's main address: the first IPv4 interface that is up and not loopback,
    /// else 127.0.0.1. FALSE only when not even that is known.
    static BOOL GetHostAddress(Address &addr);
    /// Looks up "a.b.c.d" or a host name (blocking); FALSE when it has no IPv4 address.
    static BOOL GetHostAddress(const PString &hostname, Address &addr);
    /// The IPv4 interfaces that are up, loopback included.
    static BOOL GetInterfaceTable(InterfaceTable &table);

  protected:
    explicit PIPSocket(WORD port = 0) : port_(port) {}

    /// Creates a socket of type (SOCK_STREAM or SOCK_DGRAM), binds it to addr:port (port 0:
    /// any) and records the bound port. Gives the handle or nullptr (error recorded).
    std::shared_ptr<pwlib::SocketHandle> OpenBound(int type, const Address &addr, WORD port,
                                                   Reusability reuse);

    std::atomic<WORD> port_;
};
