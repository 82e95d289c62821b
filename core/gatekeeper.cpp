// CGatekeeper: the service's values in GCF, RCF and ACF, the NAT link, registration messages.
#include <core/gatekeeper.h>

#include <core/endpoint.h>
#include <core/nat_link.h>
#include <core/window_messages.h>

#include <h323/pdu/addresses.h>
#include <h323/pdu/identifiers.h>

#include <win/cwnd.h>
#include <win/winmsg.h>

#include <cstdio>

bool FindServiceValue(const std::string &text, const char *key, std::string &value)
{
    std::string terminated = text + ";";
    size_t at = terminated.find(key);
    if (at == std::string::npos)
        return false;
    size_t start = at + std::char_traits<char>::length(key);
    size_t end = terminated.find(';', start);
    if (end == std::string::npos)
        return false;
    value = terminated.substr(start, end - start);
    return true;
}

CGatekeeper::CGatekeeper(CEndPoint &endpoint, H323Transport *transport, CWnd *mainWnd)
    : H323Gatekeeper(endpoint, transport), m_endpoint(endpoint),
      m_hMainWnd(mainWnd != nullptr ? mainWnd->GetSafeHwnd() : nullptr),
      m_pSettings(endpoint.GetSettings())
{
}

CGatekeeper::~CGatekeeper()
{
    // No RAS handler may start a link while the link is being stopped.
    StopChannel();
    NATHandlingThread *thread;
    {
        PWaitAndSignal lock(m_mutex);
        thread = m_pNatThread;
        m_pNatThread = nullptr;
    }
    if (thread != nullptr)
        MyPThread::StopAndDelete(thread);
}

CString CGatekeeper::GetNatServerAddress() const
{
    PWaitAndSignal lock(m_mutex);
    return m_strNatServerAddress;
}

PString CGatekeeper::GetNatEndpointIdentifier() const
{
    PWaitAndSignal lock(m_mutex);
    return m_strEndpointIdentifier;
}

BOOL CGatekeeper::HasNatLink() const
{
    PWaitAndSignal lock(m_mutex);
    return m_pNatThread != nullptr;
}

void CGatekeeper::KeepAlternateGatekeeper(const asn1::Array<H225_AlternateGK> &alternates)
{
    if (alternates.size() == 0)
        return;
    std::optional<h323::IPv4Endpoint> ip = h323::GetIPv4(alternates[0].m_rasAddress);
    if (!ip)
        return;
    CString text;
    text.Format("%d.%d.%d.%d", ip->ip[0], ip->ip[1], ip->ip[2], ip->ip[3]);
    PWaitAndSignal lock(m_mutex);
    m_strNatServerAddress = text;
}

void CGatekeeper::ShowServiceValue(const std::string &text, const char *key, UINT message) const
{
    std::string value;
    if (m_hMainWnd != nullptr && FindServiceValue(text, key, value))
        ::SendMessage(m_hMainWnd, message, reinterpret_cast<WPARAM>(value.c_str()), 0);
}

BOOL CGatekeeper::OnReceiveGatekeeperConfirm(const H225_GatekeeperConfirm &gcf)
{
    if (gcf.HasOptionalField(H225_GatekeeperConfirm::e_alternateGatekeeper))
        KeepAlternateGatekeeper(gcf.m_alternateGatekeeper);
    return H323Gatekeeper::OnReceiveGatekeeperConfirm(gcf);
}

BOOL CGatekeeper::OnReceiveRegistrationConfirm(const H225_RegistrationConfirm &rcf)
{
    if (rcf.HasOptionalField(H225_RegistrationConfirm::e_alternateGatekeeper))
        KeepAlternateGatekeeper(rcf.m_alternateGatekeeper);

    bool hasText = rcf.HasOptionalField(H225_RegistrationConfirm::e_nonStandardData);
    std::string text = hasText ? h323::NonStandardText(rcf.m_nonStandardData) : std::string();
    if (hasText)
        ShowServiceValue(text, "h323-credit-amount=", WM_SHOW_BALANCE);

    {
        PWaitAndSignal lock(m_mutex);
        m_strEndpointIdentifier = PString(rcf.m_endpointIdentifier.ToLatin1().c_str());
        if (hasText && text.rfind("NAT=", 0) == 0 && m_pNatThread == nullptr) {
            const H225_TransportAddress *address =
                rcf.m_callSignalAddress.size() > 0 ? &rcf.m_callSignalAddress[0] : nullptr;
            m_pNatThread = new NATHandlingThread(&m_endpoint, address, this);
        }
    }

    // Posted once the stack counts the endpoint as registered: a call dialled as soon as the
    // window hears of it must go through admission, not straight to the dialled number. A
    // keep-alive's confirm changes nothing the window shows.
    bool wasRegistered = IsRegistered();
    BOOL result = H323Gatekeeper::OnReceiveRegistrationConfirm(rcf);
    if (m_hMainWnd != nullptr && !wasRegistered)
        ::PostMessage(m_hMainWnd, WM_GK_REGISTERED, 0, 0);
    return result;
}

BOOL CGatekeeper::OnReceiveRegistrationReject(const H225_RegistrationReject &rrj)
{
    unsigned reason = rrj.m_rejectReason.GetTag();
    if (m_hMainWnd != nullptr) {
        if (reason == H225_RegistrationRejectReason::e_duplicateAlias)
            ::PostMessage(m_hMainWnd, WM_ACCOUNT_IN_USE, 102, 0);
        else if (reason != H225_RegistrationRejectReason::e_fullRegistrationRequired)
            ::PostMessage(m_hMainWnd, WM_ACCOUNT_IN_USE, 103, 0);
    }
    return H323Gatekeeper::OnReceiveRegistrationReject(rrj);
}

BOOL CGatekeeper::OnReceiveUnregistrationRequest(const H225_UnregistrationRequest &urq)
{
    // Only a request the stack accepted (this registration's) unregisters the phone; one for
    // another registration is refused there and touches neither the window nor the call.
    if (!H323Gatekeeper::OnReceiveUnregistrationRequest(urq))
        return FALSE;
    if (m_hMainWnd != nullptr)
        ::PostMessage(m_hMainWnd, WM_GK_UNREGISTERED, 0, 0);
    PThread::Sleep(100);
    if (m_hMainWnd != nullptr)
        ::PostMessage(m_hMainWnd, WM_START_REGISTRATION, 0, 0);
    return TRUE;
}

void CGatekeeper::OnRegistrationLost()
{
    // The stack registers again by itself; the window shows the phone unregistered meanwhile.
    if (m_hMainWnd != nullptr)
        ::PostMessage(m_hMainWnd, WM_GK_UNREGISTERED, 0, 0);
}

BOOL CGatekeeper::OnReceiveAdmissionConfirm(const H225_AdmissionConfirm &acf)
{
    if (acf.HasOptionalField(H225_AdmissionConfirm::e_nonStandardData)) {
        std::string text = h323::NonStandardText(acf.m_nonStandardData);
        ShowServiceValue(text, "h323-credit-amount=", WM_SHOW_BALANCE);
        ShowServiceValue(text, "h323-credit-time=", WM_SHOW_TIME);
    }
    return H323Gatekeeper::OnReceiveAdmissionConfirm(acf);
}

BOOL CGatekeeper::OnReceiveAdmissionReject(const H225_AdmissionReject &arj)
{
    if (arj.m_rejectReason.GetTag() == H225_AdmissionRejectReason::e_invalidPermission &&
        m_hMainWnd != nullptr)
        ::PostMessage(m_hMainWnd, WM_GK_REJECT_104, 104, 0);
    return H323Gatekeeper::OnReceiveAdmissionReject(arj);
}

BOOL CGatekeeper::OnReceiveInfoRequest(const H225_InfoRequest &irq)
{
    return H323Gatekeeper::OnReceiveInfoRequest(irq);
}
