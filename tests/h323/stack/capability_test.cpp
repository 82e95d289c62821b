// Capability tables: descriptor layout of SetCapability, the TerminalCapabilitySet round
// trip, packet sizes on the wire, and the end reason mappings.
#include <h323/asn1/gen/h225.h>
#include <h323/asn1/gen/h245.h>
#include <h323/asn1/per.h>
#include <h323/callsig/end_reason.h>
#include <h323/caps/capabilities.h>
#include <h323/codecs/g711.h>
#include <h323/codecs/gsm0610.h>

#include <gtest/gtest.h>

TEST(Capabilities, SetCapabilityBuildsDescriptorsAsTheOrderOfPreference)
{
    H323Capabilities table;
    // First codec at (0, 0) of the empty table, then a new descriptor, then two entries
    // joining one new set of descriptor 0.
    EXPECT_EQ(table.SetCapability(0, 0, new H323_G711Capability(H323_G711Capability::ALaw)), 0);
    H323_GSM0610Capability *gsm = new H323_GSM0610Capability;
    EXPECT_EQ(table.SetCapability(P_MAX_INDEX, P_MAX_INDEX, gsm), 0);
    PINDEX set = table.SetCapability(0, P_MAX_INDEX, new H323_G711Capability);
    EXPECT_EQ(set, 1);
    EXPECT_EQ(table.SetCapability(0, set, new H323_G711Capability), 1);

    ASSERT_EQ(table.GetSize(), 4);
    EXPECT_EQ(table[1].GetCapabilityNumber(), 2u);
    const auto &d = table.GetDescriptors();
    ASSERT_EQ(d.size(), 2u);
    ASSERT_EQ(d[0].size(), 2u);
    EXPECT_EQ(d[0][1].size(), 2u);
    ASSERT_EQ(d[1].size(), 1u);
    EXPECT_EQ(d[1][0][0], gsm);
    EXPECT_TRUE(table.IsAllowed(table[0], table[2]));
    EXPECT_FALSE(table.IsAllowed(*gsm, table[2])); // GSM is simultaneous with nothing
}

TEST(Capabilities, TerminalCapabilitySetRoundTripKeepsNumbersAndClampsPacketSize)
{
    H323Capabilities local;
    local.SetCapability(0, 0, new H323_G711Capability);
    H323_GSM0610Capability *gsm = new H323_GSM0610Capability;
    gsm->SetTxFramesInPacket(4);
    local.SetCapability(P_MAX_INDEX, P_MAX_INDEX, gsm);

    H245_TerminalCapabilitySet pdu;
    pdu.m_sequenceNumber = 1;
    pdu.m_protocolIdentifier = asn1::ObjectId("0.0.8.245.0.7");
    local.BuildPDU(pdu);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(asn1::encode(pdu, bytes)) << asn1::encode(pdu, bytes).message();
    H245_TerminalCapabilitySet decoded;
    ASSERT_TRUE(asn1::decode(bytes, decoded));
    ASSERT_EQ(decoded.m_capabilityTable.size(), 2u);
    // GSM advertises its receive frames in octets.
    EXPECT_EQ(decoded.m_capabilityTable[1].m_capability.receiveAudioCapability().gsmFullRate().m_audioUnitSize,
              7 * 33);

    // The peer receives at most 2 GSM frames a packet: our transmit packets follow.
    decoded.m_capabilityTable[1].m_capability.receiveAudioCapability().gsmFullRate().m_audioUnitSize = 66;
    H323Capabilities remote(decoded, local);
    ASSERT_EQ(remote.GetSize(), 2);
    auto *remoteGsm = dynamic_cast<H323AudioCapability *>(remote.FindCapability(*gsm));
    ASSERT_NE(remoteGsm, nullptr);
    EXPECT_EQ(remoteGsm->GetCapabilityNumber(), 2u);
    EXPECT_EQ(remoteGsm->GetTxFramesInPacket(), 2u);
    EXPECT_FALSE(remote.IsAllowed(remote[0], *remoteGsm));
}

TEST(Capabilities, UnknownPeerCapabilitiesAreDropped)
{
    H323Capabilities local;
    local.SetCapability(0, 0, new H323_GSM0610Capability);
    H245_TerminalCapabilitySet pdu;
    pdu.IncludeOptionalField(H245_TerminalCapabilitySet::e_capabilityTable);
    H245_CapabilityTableEntry entry;
    entry.m_capabilityTableEntryNumber = 5;
    entry.IncludeOptionalField(H245_CapabilityTableEntry::e_capability);
    entry.m_capability.receiveAudioCapability().g728() = 20;
    pdu.m_capabilityTable.push_back(entry);
    H323Capabilities remote(pdu, local);
    EXPECT_EQ(remote.GetSize(), 0);
}

TEST(EndReasons, ReleaseCompleteWeSendForEachReason)
{
    struct Case {
        H323CallEndReasons::CallEndReason reason;
        int cause; ///< -1: a UUIE reason instead
        int releaseReason;
    } cases[] = {
        {H323CallEndReasons::EndedByLocalUser, 16, -1},
        {H323CallEndReasons::EndedByAnswerDenied, 21, -1},
        {H323CallEndReasons::EndedByLocalBusy, 17, -1},
        {H323CallEndReasons::EndedByNoAnswer, 19, -1},
        {H323CallEndReasons::EndedByLocalCongestion, 42, -1},
        {H323CallEndReasons::EndedByUnreachable, 3, -1},
        {H323CallEndReasons::EndedByNoEndPoint, 81, -1},
        {H323CallEndReasons::EndedByHostOffline, 18, -1},
        {H323CallEndReasons::EndedByRefusal, -1, H225_ReleaseCompleteReason::e_destinationRejection},
        {H323CallEndReasons::EndedByNoUser, -1, H225_ReleaseCompleteReason::e_calledPartyNotRegistered},
        {H323CallEndReasons::EndedByCallForwarded, -1, H225_ReleaseCompleteReason::e_facilityCallDeflection},
        {H323CallEndReasons::EndedBySecurityDenial, -1, H225_ReleaseCompleteReason::e_securityDenied},
    };
    for (const Case &c : cases) {
        h323::ReleaseCause rc = h323::ReleaseCauseFor(c.reason);
        if (c.cause >= 0)
            EXPECT_EQ(int(rc.cause), c.cause) << H323CallEndReasons::GetCallEndReasonName(c.reason);
        else
            EXPECT_EQ(rc.releaseReason, c.releaseReason) << H323CallEndReasons::GetCallEndReasonName(c.reason);
    }
}

TEST(EndReasons, ReceivedReleaseCompleteBeforeAndAfterEstablishment)
{
    using R = H323CallEndReasons;
    struct Case {
        int cause;
        int reason; ///< -1: none
        bool established;
        R::CallEndReason expect;
    } cases[] = {
        {16, -1, false, R::EndedByRemoteUser},       {17, -1, false, R::EndedByRemoteBusy},
        {18, -1, false, R::EndedByHostOffline},      {19, -1, false, R::EndedByNoAnswer},
        {21, -1, false, R::EndedByRefusal},          {42, -1, false, R::EndedByRemoteCongestion},
        {47, -1, false, R::EndedByRemoteCongestion}, {3, -1, false, R::EndedByNoUser},
        {17, -1, true, R::EndedByRemoteUser},        {Q931::ErrorInCauseIE, -1, false, R::EndedByRefusal},
        {Q931::ErrorInCauseIE, H225_ReleaseCompleteReason::e_noBandwidth, false, R::EndedByNoBandwidth},
        {Q931::ErrorInCauseIE, H225_ReleaseCompleteReason::e_unreachableDestination, false, R::EndedByUnreachable},
        {Q931::ErrorInCauseIE, H225_ReleaseCompleteReason::e_calledPartyNotRegistered, false, R::EndedByNoUser},
    };
    for (const Case &c : cases) {
        H225_ReleaseCompleteReason reason;
        if (c.reason >= 0)
            reason.SetTag(unsigned(c.reason));
        EXPECT_EQ(h323::EndReasonFromRelease(Q931::CauseValues(c.cause), c.reason >= 0 ? &reason : nullptr,
                                             c.established),
                  c.expect)
            << "cause " << c.cause << " reason " << c.reason;
    }
    EXPECT_EQ(h323::EndReasonFromAdmissionReject(H225_AdmissionRejectReason::e_calledPartyNotRegistered),
              R::EndedByNoUser);
    EXPECT_EQ(h323::EndReasonFromAdmissionReject(H225_AdmissionRejectReason::e_requestDenied),
              R::EndedByNoBandwidth);
    EXPECT_EQ(h323::EndReasonFromAdmissionReject(H225_AdmissionRejectReason::e_resourceUnavailable),
              R::EndedByRemoteBusy);
}
