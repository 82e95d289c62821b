// H323EndPoint: using and removing the gatekeeper, safely against concurrent RAS work.
#include <h323/endpoint/endpoint.h>

#include <h323/ras/gatekeeper.h>
#include <h323/transports/transport_udp.h>

#include <pwlib/ptrace.h>

H323Gatekeeper *H323EndPoint::GetGatekeeper() const
{
    PWaitAndSignal lock(gatekeeperMutex);
    return gatekeeper;
}

BOOL H323EndPoint::IsRegisteredWithGatekeeper() const
{
    PWaitAndSignal lock(gatekeeperMutex);
    return gatekeeper != nullptr && gatekeeper->IsRegistered();
}

H323Gatekeeper *H323EndPoint::AcquireGatekeeper() const
{
    PWaitAndSignal lock(gatekeeperMutex);
    if (gatekeeper != nullptr)
        gatekeeperUsers++;
    return gatekeeper;
}

void H323EndPoint::ReleaseGatekeeper(H323Gatekeeper *gk) const
{
    if (gk == nullptr)
        return;
    PWaitAndSignal lock(gatekeeperMutex);
    if (gatekeeperUsers > 0 && --gatekeeperUsers == 0)
        gatekeeperIdle.Signal();
}

BOOL H323EndPoint::UseGatekeeper(const PString &address, const PString &, const PString &localAddress)
{
    H323TransportAddress target(address);
    {
        PWaitAndSignal lock(gatekeeperMutex);
        if (gatekeeper != nullptr &&
            gatekeeper->GetRasAddress().IsEquivalent(target, H323TransportAddress::DefaultRasPort))
            return TRUE;
    }
    if (GetGatekeeper() != nullptr)
        RemoveGatekeeper(-1);

    PIPSocket::Address bind;
    if (!localAddress.IsEmpty())
        H323TransportAddress(localAddress).GetIpAddress(bind);
    H323Gatekeeper *gk = CreateGatekeeper(new H323TransportUDP(*this, bind));
    if (gk == nullptr)
        return FALSE;
    {
        PWaitAndSignal lock(gatekeeperMutex);
        gatekeeper = gk;
        gatekeeperUsers++;
    }
    BOOL discovered = gk->DiscoverByAddress(target);
    BOOL registered = discovered && gk->RegistrationRequest();
    bool stillOurs;
    {
        PWaitAndSignal lock(gatekeeperMutex);
        stillOurs = gatekeeper == gk;
        if (!discovered && stillOurs)
            gatekeeper = nullptr;
    }
    ReleaseGatekeeper(gk);
    if (!stillOurs)
        return FALSE; // removed meanwhile: RemoveGatekeeper deletes it
    if (!discovered) {
        for (;;) {
            {
                PWaitAndSignal lock(gatekeeperMutex);
                if (gatekeeperUsers == 0)
                    break;
            }
            gatekeeperIdle.Wait(1000);
        }
        gk->StopChannel();
        delete gk;
        return FALSE;
    }
    return registered;
}

BOOL H323EndPoint::RemoveGatekeeper(int reason)
{
    if (GetGatekeeper() == nullptr)
        return FALSE;
    ClearAllCalls(H323CallEndReasons::EndedByGatekeeper, TRUE);
    H323Gatekeeper *gk;
    {
        PWaitAndSignal lock(gatekeeperMutex);
        gk = gatekeeper;
        gatekeeper = nullptr;
    }
    if (gk == nullptr)
        return FALSE;
    gk->CancelRequests();
    for (;;) {
        {
            PWaitAndSignal lock(gatekeeperMutex);
            if (gatekeeperUsers == 0)
                break;
        }
        gatekeeperIdle.Wait(1000);
    }
    if (gk->IsRegistered())
        gk->UnregistrationRequest(reason);
    gk->StopChannel();
    delete gk;
    return TRUE;
}
