// Test support for the call engine: the interface thread's loop, a main window that records
// every message, a scripted masked RAS gatekeeper and a NAT link far end.
#pragma once

#include <core/settings.h>

#include <h323/asn1/gen/h225.h>

#include <win/cwnd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <thread>
#include <vector>

namespace enginetest
{

/** The interface thread's application object, made once per test program. */
void EnsureApplication();

/** Runs the interface thread's loop until done() holds or timeoutMs passes; done(). */
bool WaitUntil(const std::function<bool()> &done, int timeoutMs = 5000);
/** Runs the loop for ms. */
void RunFor(int ms);

/** The main window's stand-in: every posted and sent message, with the text of the sent ones
 *  copied while they are handled. Interface thread only. */
class RecordingWindow : public CWnd
{
  public:
    struct Record {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        std::string text; ///< WM_CHAT_TEXT, WM_SHOW_TIME, WM_SHOW_BALANCE
    };

    RecordingWindow() { CreateHandle(); }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    int Count(UINT message) const;
    /** The first record of message at or after index from, or null. */
    const Record *Find(UINT message, size_t from = 0) const;
    /** Waits for the n-th record of message (1-based). */
    const Record *WaitFor(UINT message, int n = 1, int timeoutMs = 5000);
    std::vector<UINT> Messages() const;

    std::vector<Record> records;
    std::function<void(const Record &)> onMessage;
};

/** The settings store in a scratch directory of its own. */
class ScratchSettings
{
  public:
    ScratchSettings();
    ~ScratchSettings();
    CSettings &operator*() { return *settings; }
    CSettings *operator->() { return settings.get(); }
    CSettings *get() { return settings.get(); }

  private:
    std::string dir;
    std::unique_ptr<CSettings> settings;
};

/** A RAS gatekeeper on 127.0.0.1 that masks its datagrams as the service does and answers as
 *  scripted. Its thread answers; the script is read under its lock. */
class ScriptedGatekeeper
{
  public:
    struct Script {
        std::string identifier = "ScriptGK";
        std::string endpointId = "EP00000001";
        /// GCF and RCF alternate gatekeepers: "a.b.c.d:port", "ip6" for an IPv6 one, or none.
        std::string gcfAlternate;
        std::string rcfAlternate;
        int rrjReason = -1; ///< >= 0: RRQ is rejected with this reason
        bool hasRcfText = false;
        std::string rcfText;        ///< RCF non-standard data
        uint16_t rcfSignalPort = 0; ///< RCF call-signalling address 127.0.0.1:port, 0: none
        int arjReason = -1;         ///< >= 0: ARQ is rejected with this reason
        bool hasAcfText = false;
        std::string acfText;
        uint16_t acfDestinationPort = 0; ///< ACF destination 127.0.0.1:port
        int drjReason = -1;              ///< >= 0: DRQ is rejected with this reason
        unsigned timeToLive = 0;         ///< granted in RCF, 0: none
        bool silent = false;             ///< nothing is answered
        /// Keep-alives are answered RRJ fullRegistrationRequired until a full registration,
        /// as by a gatekeeper restarted since.
        bool forgetEndpoint = false;
    };

    /** The URQs SendUnregistration sends. */
    enum class Unregistration {
        Current,        ///< for the registration in force
        Stale,          ///< with an endpoint identifier of an earlier registration
        NoIdentifier,   ///< naming no endpoint identifier
        FromElsewhere,  ///< the current one, sent from another address
    };

    explicit ScriptedGatekeeper(Script script);
    ~ScriptedGatekeeper();

    /** "127.0.0.1:port". */
    std::string Address() const;
    void SetScript(const Script &script);
    /** Requests seen, by RAS message name ("registrationRequest", ...). */
    int CountOf(const std::string &name) const;
    /** Waits for the n-th request of that name. */
    bool WaitForRequest(const std::string &name, int n = 1, int timeoutMs = 5000) const;
    /** Sends URQ to the endpoint that registered last. */
    bool SendUnregistration(Unregistration kind = Unregistration::Current);

  private:
    void Run();
    void Handle(const std::vector<uint8_t> &datagram, const sockaddr_in &from);
    void Send(const H225_RasMessage &msg, const sockaddr_in &to);

    int fd = -1;
    int wake = -1;
    uint16_t port = 0;
    std::thread thread;
    mutable std::mutex mutex;
    mutable std::condition_variable cond;
    Script script;
    std::vector<std::string> seen;
    bool haveEndpoint = false;
    sockaddr_in endpoint{};
    unsigned nextSequence = 1;
};

/** The far end of NAT links: accepts links on 127.0.0.1 and keeps the bytes each one sent. */
class NatFarEnd
{
  public:
    NatFarEnd();
    ~NatFarEnd();
    uint16_t Port() const { return port; }
    /** Links accepted so far. */
    int Links() const;
    /** Waits until at least bytes bytes came on link index (0-based). */
    bool WaitForBytes(int link, size_t bytes, int timeoutMs = 5000) const;
    /** The bytes of link index, as received (masked). */
    std::vector<uint8_t> Bytes(int link) const;
    /** Writes to link index. */
    bool Write(int link, const std::vector<uint8_t> &bytes);
    /** Closes link index from this end. */
    void CloseLink(int link);

  private:
    void Run();

    int listener = -1;
    int wake = -1;
    uint16_t port = 0;
    std::thread thread;
    mutable std::mutex mutex;
    mutable std::condition_variable cond;
    std::vector<int> fds;
    std::vector<std::vector<uint8_t>> received;
};

} // namespace enginetest
