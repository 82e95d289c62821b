// Fuzz target: gatekeeper confirms as the call engine reads them (the service's values in the
// non-standard data of RCF and ACF, the alternate gatekeeper of GCF and RCF), and the search
// for a value in any text.
#include "call_engine_support.h"

#include <core/endpoint.h>
#include <core/gatekeeper.h>
#include <core/window_messages.h>

#include <h323/asn1/per.h>
#include <h323/pdu/identifiers.h>
#include <h323/transports/transport_udp.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{

const char *const kKeys[] = {"h323-credit-amount=", "h323-credit-time=", "NAT="};

/// The value found must be the text after the key up to the next ";" (or the end).
void CheckFind(const std::string &text)
{
    for (const char *key : kKeys) {
        std::string value = "untouched";
        bool found = FindServiceValue(text, key, value);
        if (found != (text.find(key) != std::string::npos))
            std::abort();
        if (!found) {
            if (value != "untouched")
                std::abort();
            continue;
        }
        std::string terminated = text + ";";
        size_t at = terminated.find(key) + std::string(key).size();
        if (value.find(';') != std::string::npos ||
            terminated.compare(at, value.size() + 1, value + ";") != 0)
            std::abort();
    }
}

/// The texts the window was sent for message, in order.
std::vector<std::string> Shown(const enginetest::RecordingWindow &window, UINT message)
{
    std::vector<std::string> out;
    for (const auto &r : window.records)
        if (r.message == message)
            out.push_back(r.text);
    return out;
}

/// The value of key in text is shown first; the stack's service control sessions of the same
/// confirm (serviceControl) may show more after it.
void CheckShown(const enginetest::RecordingWindow &window, UINT message, const std::string &text,
                const char *key, bool serviceControl)
{
    std::string value;
    std::vector<std::string> expected;
    if (FindServiceValue(text, key, value))
        expected.push_back(value.substr(0, value.find('\0'))); // the window gets C text
    std::vector<std::string> shown = Shown(window, message);
    if (serviceControl && shown.size() > expected.size())
        shown.resize(expected.size());
    if (shown != expected)
        std::abort();
}

/// One gatekeeper for the whole run, on a RAS transport that sends nowhere.
struct Client {
    Client()
    {
        enginetest::EnsureApplication();
        window = new enginetest::RecordingWindow;
        endpoint = new CEndPoint;
        gatekeeper = new CGatekeeper(*endpoint, new H323TransportUDP(*endpoint), window);
    }
    enginetest::RecordingWindow *window;
    CEndPoint *endpoint;
    CGatekeeper *gatekeeper;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4096)
        return 0;
    CheckFind(std::string(reinterpret_cast<const char *>(data), size));

    static Client *client = new Client; // lives for the process, as its NAT link thread may
    H225_RasMessage ras;
    if (!asn1::decode(data, size, ras))
        return 0;
    client->window->records.clear();
    switch (ras.GetTag()) {
    case H225_RasMessage::e_gatekeeperConfirm: {
        H225_GatekeeperConfirm &gcf = ras.gatekeeperConfirm();
        gcf.m_rasAddress = H225_TransportAddress(); // the transport is never opened anyway
        client->gatekeeper->OnReceiveGatekeeperConfirm(gcf);
        break;
    }
    case H225_RasMessage::e_registrationConfirm: {
        H225_RegistrationConfirm &rcf = ras.registrationConfirm();
        // No link to an address of the input, and no re-registration timer.
        rcf.m_callSignalAddress.clear();
        rcf.RemoveOptionalField(H225_RegistrationConfirm::e_timeToLive);
        client->gatekeeper->OnReceiveRegistrationConfirm(rcf);
        std::string text = rcf.HasOptionalField(H225_RegistrationConfirm::e_nonStandardData)
                               ? h323::NonStandardText(rcf.m_nonStandardData)
                               : std::string();
        CheckShown(*client->window, WM_SHOW_BALANCE, text, "h323-credit-amount=",
                   rcf.HasOptionalField(H225_RegistrationConfirm::e_serviceControl));
        break;
    }
    case H225_RasMessage::e_admissionConfirm: {
        const H225_AdmissionConfirm &acf = ras.admissionConfirm();
        client->gatekeeper->OnReceiveAdmissionConfirm(acf);
        std::string text = acf.HasOptionalField(H225_AdmissionConfirm::e_nonStandardData)
                               ? h323::NonStandardText(acf.m_nonStandardData)
                               : std::string();
        bool serviceControl = acf.HasOptionalField(H225_AdmissionConfirm::e_serviceControl);
        CheckShown(*client->window, WM_SHOW_BALANCE, text, "h323-credit-amount=", serviceControl);
        CheckShown(*client->window, WM_SHOW_TIME, text, "h323-credit-time=", serviceControl);
        break;
    }
    default:
        break;
    }
    // The address kept is dotted IPv4 text or nothing.
    std::string kept = client->gatekeeper->GetNatServerAddress().GetString();
    if (kept.find_first_not_of("0123456789.") != std::string::npos)
        std::abort();
    return 0;
}
