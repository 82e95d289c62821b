// PER codec benchmark: encode and decode of an RRQ, a Setup with fast start and a TCS, in
// messages per second and heap allocations per message.
#include <h323/asn1/gen/h225.h>
#include <h323/asn1/gen/h245.h>
#include <h323/asn1/per.h>
#include <h323/pdu/addresses.h>
#include <h323/pdu/h235_tokens.h>
#include <h323/pdu/identifiers.h>
#include <h323/q931/signal.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {
std::atomic<uint64_t> g_allocs{0};
}

// Every allocation of the process is counted; malloc and free do the work.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void *operator new(size_t n)
{
    g_allocs.fetch_add(1, std::memory_order_relaxed);
    if (void *p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, size_t) noexcept
{
    std::free(p);
}

namespace {

using namespace h323;
using Bytes = std::vector<uint8_t>;

const IPv4Endpoint kPhone{{192, 0, 2, 10}, 1991};
const IPv4Endpoint kPeer{{203, 0, 113, 5}, 1720};

H225_EndpointType terminal()
{
    H225_EndpointType t;
    t.IncludeOptionalField(H225_EndpointType::e_vendor);
    t.m_vendor = MakeVendorIdentifier(9, 0, 61, "Kestrelin", "1.0.1");
    t.IncludeOptionalField(H225_EndpointType::e_terminal);
    return t;
}

H225_RasMessage make_rrq()
{
    H225_RasMessage m;
    auto &rrq = m.registrationRequest();
    using R = H225_RegistrationRequest;
    rrq.m_requestSeqNum = 2;
    rrq.m_protocolIdentifier = H225ProtocolIdentifier();
    rrq.m_discoveryComplete = true;
    rrq.m_callSignalAddress.push_back(MakeTransportAddress(kPhone));
    rrq.m_rasAddress.push_back(MakeTransportAddress({{192, 0, 2, 10}, 5001}));
    rrq.m_terminalType = terminal();
    rrq.IncludeOptionalField(R::e_terminalAlias);
    rrq.m_terminalAlias.push_back(MakeAlias("8613800138000"));
    rrq.IncludeOptionalField(R::e_gatekeeperIdentifier);
    rrq.m_gatekeeperIdentifier = asn1::BMPString::FromLatin1("ServiceGK");
    rrq.m_endpointVendor = MakeVendorIdentifier(9, 0, 61, "Kestrelin", "1.0.1");
    rrq.IncludeOptionalField(R::e_tokens);
    rrq.m_tokens.push_back(h235::MakeCatToken("8613800138000", "secret", 1700000000, 7));
    rrq.IncludeOptionalField(R::e_cryptoTokens);
    rrq.m_cryptoTokens.push_back(h235::MakePasswordHashToken("8613800138000", "secret", 1700000000));
    rrq.IncludeOptionalField(R::e_keepAlive);
    rrq.IncludeOptionalField(R::e_willSupplyUUIEs);
    rrq.m_willSupplyUUIEs = true;
    rrq.IncludeOptionalField(R::e_maintainConnection);
    rrq.IncludeOptionalField(R::e_supportsAltGK);
    return m;
}

H245_OpenLogicalChannel make_olc(unsigned n, bool g7231)
{
    H245_OpenLogicalChannel o;
    o.m_forwardLogicalChannelNumber = n;
    auto &fwd = o.m_forwardLogicalChannelParameters;
    if (g7231) {
        auto &g = fwd.m_dataType.audioData().g7231();
        g.m_maxAl_sduAudioFrames = 3;
        g.m_silenceSuppression = true;
    } else {
        fwd.m_dataType.audioData().gsmFullRate().m_audioUnitSize = 33;
    }
    auto &h = fwd.m_multiplexParameters.h2250LogicalChannelParameters();
    h.m_sessionID = 1;
    h.IncludeOptionalField(H245_H2250LogicalChannelParameters::e_mediaControlChannel);
    auto &ip = h.m_mediaControlChannel.unicastAddress().iPAddress();
    ip.m_network = {192, 0, 2, 10};
    ip.m_tsapIdentifier = 5001;
    return o;
}

/** A Setup: Q.931 with the UUIE, whose fast start proposals are encoded OLCs. */
void encode_setup(Bytes &out)
{
    Q931 q;
    q.BuildSetup(4711);
    q.SetBearerCapabilities(Q931::TransferSpeech, 1);
    q.SetDisplayName("Alice");
    q.SetCallingPartyNumber("8613800138000");
    q.SetCalledPartyNumber("4930123456");
    H225_H323_UserInformation u;
    u.m_h323_uu_pdu.m_h323_message_body.SetTag(H225_H323_UU_PDU_h323_message_body::e_setup);
    auto &s = u.m_h323_uu_pdu.m_h323_message_body.setup();
    s.m_protocolIdentifier = H225ProtocolIdentifier();
    s.IncludeOptionalField(H225_Setup_UUIE::e_sourceAddress);
    s.m_sourceAddress.push_back(MakeAlias("8613800138000"));
    s.m_sourceInfo = terminal();
    s.IncludeOptionalField(H225_Setup_UUIE::e_destinationAddress);
    s.m_destinationAddress.push_back(MakeAlias("4930123456"));
    s.IncludeOptionalField(H225_Setup_UUIE::e_destCallSignalAddress);
    s.m_destCallSignalAddress = MakeTransportAddress(kPeer);
    s.m_conferenceID.assign(16, 0x42);
    s.m_conferenceGoal.SetTag(H225_Setup_UUIE_conferenceGoal::e_create);
    s.m_callType.SetTag(H225_CallType::e_pointToPoint);
    s.IncludeOptionalField(H225_Setup_UUIE::e_callIdentifier);
    s.m_callIdentifier.m_guid.assign(16, 0x24);
    s.IncludeOptionalField(H225_Setup_UUIE::e_fastStart);
    Bytes olc;
    for (unsigned i = 0; i < 4; i++) {
        asn1::encode(make_olc(i + 1, i < 2), olc);
        s.m_fastStart.push_back(olc);
    }
    s.IncludeOptionalField(H225_Setup_UUIE::e_mediaWaitForConnect);
    s.IncludeOptionalField(H225_Setup_UUIE::e_canOverlapSend);
    s.IncludeOptionalField(H225_Setup_UUIE::e_multipleCalls);
    s.IncludeOptionalField(H225_Setup_UUIE::e_maintainConnection);
    auto &pdu = u.m_h323_uu_pdu;
    pdu.IncludeOptionalField(H225_H323_UU_PDU::e_h245Tunneling);
    pdu.m_h245Tunneling = true;
    SetUserInformation(q, u);
    q.Encode(out);
}

/** Decodes a Setup down to its fast start OLCs; false on any error. */
bool decode_setup(const Bytes &in)
{
    Q931 q;
    H225_H323_UserInformation u;
    if (!DecodeSignalPDU(in.data(), in.size(), q, u))
        return false;
    const auto &s = u.m_h323_uu_pdu.m_h323_message_body.setup();
    for (const auto &o : s.m_fastStart) {
        H245_OpenLogicalChannel olc;
        if (!asn1::decode(o, olc))
            return false;
    }
    return true;
}

H245_MultimediaSystemControlMessage make_tcs()
{
    H245_MultimediaSystemControlMessage m;
    auto &t = m.request().terminalCapabilitySet();
    t.m_sequenceNumber = 1;
    t.m_protocolIdentifier = H245ProtocolIdentifier();
    t.IncludeOptionalField(H245_TerminalCapabilitySet::e_multiplexCapability);
    auto &h2250 = t.m_multiplexCapability.h2250Capability();
    h2250.m_maximumAudioDelayJitter = 60;
    h2250.m_receiveMultipointCapability.m_mediaDistributionCapability.emplace_back();
    h2250.m_transmitMultipointCapability.m_mediaDistributionCapability.emplace_back();
    h2250.m_receiveAndTransmitMultipointCapability.m_mediaDistributionCapability.emplace_back();
    t.IncludeOptionalField(H245_TerminalCapabilitySet::e_capabilityTable);
    auto entry = [&](unsigned n) -> H245_Capability & {
        auto &e = t.m_capabilityTable.emplace_back();
        e.m_capabilityTableEntryNumber = n;
        e.IncludeOptionalField(H245_CapabilityTableEntry::e_capability);
        return e.m_capability;
    };
    auto &g = entry(1).receiveAudioCapability().g7231();
    g.m_maxAl_sduAudioFrames = 8;
    g.m_silenceSuppression = true;
    entry(2).receiveAudioCapability().g711Alaw64k() = 240;
    entry(3).receiveAudioCapability().g711Ulaw64k() = 240;
    entry(4).receiveAudioCapability().gsmFullRate().m_audioUnitSize = 99;
    auto &h261 = entry(5).receiveVideoCapability().h261VideoCapability();
    h261.IncludeOptionalField(H245_H261VideoCapability::e_qcifMPI);
    h261.m_qcifMPI = 1;
    h261.m_maxBitRate = 3840;
    auto &h263 = entry(6).receiveVideoCapability().h263VideoCapability();
    h263.IncludeOptionalField(H245_H263VideoCapability::e_qcifMPI);
    h263.m_qcifMPI = 1;
    h263.m_maxBitRate = 1920;
    t.IncludeOptionalField(H245_TerminalCapabilitySet::e_capabilityDescriptors);
    auto &d = t.m_capabilityDescriptors.emplace_back();
    d.IncludeOptionalField(H245_CapabilityDescriptor::e_simultaneousCapabilities);
    auto &a = d.m_simultaneousCapabilities.emplace_back();
    for (unsigned n : {1, 2, 3, 4})
        a.push_back(n);
    auto &v = d.m_simultaneousCapabilities.emplace_back();
    v.push_back(5);
    v.push_back(6);
    return m;
}

/** Runs body once per iteration and reports messages per second and allocations each. */
template <class F> void run(benchmark::State &state, F body)
{
    uint64_t before = g_allocs.load();
    for (auto _ : state)
        body();
    uint64_t allocs = g_allocs.load() - before;
    state.SetItemsProcessed(state.iterations());
    state.counters["allocs/msg"] =
        benchmark::Counter(double(allocs) / double(state.iterations()));
}

template <class T> void check_round_trip(const T &v, const char *what)
{
    Bytes a, b;
    T back;
    if (!asn1::encode(v, a) || !asn1::decode(a, back) || !asn1::encode(back, b) || a != b) {
        std::fprintf(stderr, "%s does not round-trip\n", what);
        std::abort();
    }
}

void BM_EncodeRRQ(benchmark::State &state)
{
    H225_RasMessage m = make_rrq();
    check_round_trip(m, "RRQ");
    Bytes out;
    out.reserve(512);
    run(state, [&] { benchmark::DoNotOptimize(asn1::encode(m, out).ok()); });
    state.counters["bytes"] = double(out.size());
}

void BM_DecodeRRQ(benchmark::State &state)
{
    Bytes in;
    asn1::encode(make_rrq(), in);
    run(state, [&] {
        H225_RasMessage m;
        benchmark::DoNotOptimize(asn1::decode(in, m).ok());
    });
}

void BM_EncodeSetupFastStart(benchmark::State &state)
{
    Bytes out;
    encode_setup(out);
    if (!decode_setup(out))
        std::abort();
    run(state, [&] { encode_setup(out); });
    state.counters["bytes"] = double(out.size());
}

void BM_DecodeSetupFastStart(benchmark::State &state)
{
    Bytes in;
    encode_setup(in);
    run(state, [&] { benchmark::DoNotOptimize(decode_setup(in)); });
}

void BM_EncodeTCS(benchmark::State &state)
{
    H245_MultimediaSystemControlMessage m = make_tcs();
    check_round_trip(m, "TCS");
    Bytes out;
    out.reserve(512);
    run(state, [&] { benchmark::DoNotOptimize(asn1::encode(m, out).ok()); });
    state.counters["bytes"] = double(out.size());
}

void BM_DecodeTCS(benchmark::State &state)
{
    Bytes in;
    asn1::encode(make_tcs(), in);
    run(state, [&] {
        H245_MultimediaSystemControlMessage m;
        benchmark::DoNotOptimize(asn1::decode(in, m).ok());
    });
}

BENCHMARK(BM_EncodeRRQ);
BENCHMARK(BM_DecodeRRQ);
BENCHMARK(BM_EncodeSetupFastStart);
BENCHMARK(BM_DecodeSetupFastStart);
BENCHMARK(BM_EncodeTCS);
BENCHMARK(BM_DecodeTCS);

} // namespace

BENCHMARK_MAIN();
