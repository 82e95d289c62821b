// RAS message names, sequence numbers and the reply kinds of each request.
#include <h323/ras/ras_channel.h>

namespace h323 {

const char *RasMessageName(unsigned tag)
{
    static const char *const names[] = {
        "gatekeeperRequest",          "gatekeeperConfirm",        "gatekeeperReject",
        "registrationRequest",        "registrationConfirm",      "registrationReject",
        "unregistrationRequest",      "unregistrationConfirm",    "unregistrationReject",
        "admissionRequest",           "admissionConfirm",         "admissionReject",
        "bandwidthRequest",           "bandwidthConfirm",         "bandwidthReject",
        "disengageRequest",           "disengageConfirm",         "disengageReject",
        "locationRequest",            "locationConfirm",          "locationReject",
        "infoRequest",                "infoRequestResponse",      "nonStandardMessage",
        "unknownMessageResponse",     "requestInProgress",        "resourcesAvailableIndicate",
        "resourcesAvailableConfirm",  "infoRequestAck",           "infoRequestNak",
        "serviceControlIndication",   "serviceControlResponse",   "admissionConfirmSequence",
    };
    return tag < sizeof(names) / sizeof(names[0]) ? names[tag] : "unknown";
}

unsigned RasSequenceNumber(const H225_RasMessage &m)
{
    using M = H225_RasMessage;
    switch (m.GetTag()) {
    case M::e_gatekeeperRequest: return unsigned(m.gatekeeperRequest().m_requestSeqNum);
    case M::e_gatekeeperConfirm: return unsigned(m.gatekeeperConfirm().m_requestSeqNum);
    case M::e_gatekeeperReject: return unsigned(m.gatekeeperReject().m_requestSeqNum);
    case M::e_registrationRequest: return unsigned(m.registrationRequest().m_requestSeqNum);
    case M::e_registrationConfirm: return unsigned(m.registrationConfirm().m_requestSeqNum);
    case M::e_registrationReject: return unsigned(m.registrationReject().m_requestSeqNum);
    case M::e_unregistrationRequest: return unsigned(m.unregistrationRequest().m_requestSeqNum);
    case M::e_unregistrationConfirm: return unsigned(m.unregistrationConfirm().m_requestSeqNum);
    case M::e_unregistrationReject: return unsigned(m.unregistrationReject().m_requestSeqNum);
    case M::e_admissionRequest: return unsigned(m.admissionRequest().m_requestSeqNum);
    case M::e_admissionConfirm: return unsigned(m.admissionConfirm().m_requestSeqNum);
    case M::e_admissionReject: return unsigned(m.admissionReject().m_requestSeqNum);
    case M::e_bandwidthRequest: return unsigned(m.bandwidthRequest().m_requestSeqNum);
    case M::e_bandwidthConfirm: return unsigned(m.bandwidthConfirm().m_requestSeqNum);
    case M::e_bandwidthReject: return unsigned(m.bandwidthReject().m_requestSeqNum);
    case M::e_disengageRequest: return unsigned(m.disengageRequest().m_requestSeqNum);
    case M::e_disengageConfirm: return unsigned(m.disengageConfirm().m_requestSeqNum);
    case M::e_disengageReject: return unsigned(m.disengageReject().m_requestSeqNum);
    case M::e_locationRequest: return unsigned(m.locationRequest().m_requestSeqNum);
    case M::e_locationConfirm: return unsigned(m.locationConfirm().m_requestSeqNum);
    case M::e_locationReject: return unsigned(m.locationReject().m_requestSeqNum);
    case M::e_infoRequest: return unsigned(m.infoRequest().m_requestSeqNum);
    case M::e_infoRequestResponse: return unsigned(m.infoRequestResponse().m_requestSeqNum);
    case M::e_nonStandardMessage: return unsigned(m.nonStandardMessage().m_requestSeqNum);
    case M::e_unknownMessageResponse: return unsigned(m.unknownMessageResponse().m_requestSeqNum);
    case M::e_requestInProgress: return unsigned(m.requestInProgress().m_requestSeqNum);
    case M::e_resourcesAvailableIndicate:
        return unsigned(m.resourcesAvailableIndicate().m_requestSeqNum);
    case M::e_resourcesAvailableConfirm:
        return unsigned(m.resourcesAvailableConfirm().m_requestSeqNum);
    case M::e_infoRequestAck: return unsigned(m.infoRequestAck().m_requestSeqNum);
    case M::e_infoRequestNak: return unsigned(m.infoRequestNak().m_requestSeqNum);
    case M::e_serviceControlIndication:
        return unsigned(m.serviceControlIndication().m_requestSeqNum);
    case M::e_serviceControlResponse: return unsigned(m.serviceControlResponse().m_requestSeqNum);
    case M::e_admissionConfirmSequence:
    default:
        return 0;
    }
}

bool RasReplyTags(unsigned request, unsigned &confirm, unsigned &reject)
{
    using M = H225_RasMessage;
    switch (request) {
    case M::e_gatekeeperRequest:
    case M::e_registrationRequest:
    case M::e_unregistrationRequest:
    case M::e_admissionRequest:
    case M::e_bandwidthRequest:
    case M::e_disengageRequest:
    case M::e_locationRequest:
        confirm = request + 1;
        reject = request + 2;
        return true;
    case M::e_infoRequestResponse: // with needResponse: infoRequestAck / Nak
        confirm = M::e_infoRequestAck;
        reject = M::e_infoRequestNak;
        return true;
    default:
        return false;
    }
}

} // namespace h323
