// CGatekeeper: the phone's RAS client: reads the service's values from the gatekeeper's
// confirms (balance, remaining time, NAT hint, NAT server), runs the NAT link and reports
// registration results to the main window.
#pragma once

#include <h323/ras/gatekeeper.h>

#include <win/cstring.h>
#include <win/windef.h>

#include <pwlib/pmutex.h>

#include <string>

class CEndPoint;
class CSettings;
class CWnd;
class NATHandlingThread;

class CGatekeeper : public H323Gatekeeper
{
    PCLASSINFO(CGatekeeper, H323Gatekeeper)
  public:
    CGatekeeper(CEndPoint &endpoint, H323Transport *transport, CWnd *mainWnd);
    /// Stops the RAS threads, then stops, waits for and deletes the NAT link thread.
    ~CGatekeeper() override;

    BOOL OnReceiveGatekeeperConfirm(const H225_GatekeeperConfirm &gcf) override;
    BOOL OnReceiveRegistrationConfirm(const H225_RegistrationConfirm &rcf) override;
    BOOL OnReceiveRegistrationReject(const H225_RegistrationReject &rrj) override;
    BOOL OnReceiveUnregistrationRequest(const H225_UnregistrationRequest &urq) override;
    BOOL OnReceiveAdmissionConfirm(const H225_AdmissionConfirm &acf) override;
    BOOL OnReceiveAdmissionReject(const H225_AdmissionReject &arj) override;
    BOOL OnReceiveInfoRequest(const H225_InfoRequest &irq) override;
    void OnRegistrationLost() override;

    /// Dotted IPv4 text of the first alternate gatekeeper of the latest GCF or RCF that listed
    /// one; empty before.
    CString GetNatServerAddress() const;
    /// The endpoint identifier of the latest RCF, sent in every NAT link message.
    PString GetNatEndpointIdentifier() const;
    /// TRUE once an RCF with the NAT hint started the NAT link.
    BOOL HasNatLink() const;

  private:
    void KeepAlternateGatekeeper(const asn1::Array<H225_AlternateGK> &alternates);
    void ShowServiceValue(const std::string &text, const char *key, UINT message) const;

    CEndPoint &m_endpoint;
    HWND m_hMainWnd;
    CSettings *m_pSettings;

    mutable PMutex m_mutex;
    CString m_strNatServerAddress;
    NATHandlingThread *m_pNatThread = nullptr;
    PString m_strEndpointIdentifier;
};

/// The value of key in the service's "key=value;" text, or nothing when the key is missing or
/// no ";" follows it. The text is searched with a ";" appended, so the last pair may lack one.
bool FindServiceValue(const std::string &text, const char *key, std::string &value);
