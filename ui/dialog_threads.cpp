// The main dialog's worker threads.
#include <ui/dialog_threads.h>

#include <core/settings.h>
#include <core/window_messages.h>

#include <h323/endpoint/endpoint.h>
#include <pwlib/sound/psoundchannel.h>

#include <win/msgbox.h>
#include <win/winmsg.h>

#include <algorithm>
#include <chrono>
#include <thread>

constinit std::atomic<int> g_bToneOpen{0};
constinit std::atomic<unsigned> g_nToneOpenings{0};
constinit std::atomic<int> g_bBusyStop{0};
constinit std::atomic<int> g_nRegisteredServer{0};

namespace {

// Between two looks at the busy tone's channel.
constexpr auto kBusyPollInterval = std::chrono::milliseconds(10);

PString ToP(const CString &s) { return PString(s.GetString()); }

} // namespace

CString &FileToPlay()
{
    static CString *file = new CString;
    return *file;
}

CMutex &SoundLock()
{
    static CMutex *lock = new CMutex;
    return *lock;
}

UINT GatekeeperRegisterThread(LPVOID pParam)
{
    auto *request = static_cast<RegistrationRequest *>(pParam);
    H323EndPoint &endpoint = *request->pEndPoint;
    const PString identifier, localAddress;

    endpoint.RemoveGatekeeper(-1);
    endpoint.SetLocalUserName(ToP(request->strUserName));
    if (!request->strPassword.IsEmpty())
        endpoint.SetGatekeeperPassword(ToP(request->strPassword));
    if (endpoint.UseGatekeeper(ToP(request->strAddress[0]), identifier, localAddress)) {
        g_nRegisteredServer = 0;
        return 0;
    }
    int count = std::min(request->nAddressCount, RegistrationRequest::kAddresses);
    for (int i = 1; i < count; ++i) {
        endpoint.RemoveGatekeeper(-1);
        endpoint.SetLocalUserName(ToP(request->strUserName));
        endpoint.SetGatekeeperPassword(ToP(request->strPassword));
        if (endpoint.UseGatekeeper(ToP(request->strAddress[i]), identifier, localAddress)) {
            g_nRegisteredServer = i;
            return 0;
        }
    }
    ::PostMessage(request->hWnd, WM_REGISTRATION_FAILED, 0, 0);
    g_nRegisteredServer = 0;
    return 0;
}

UINT PlaySoundThread(LPVOID pParam)
{
    auto *channel = static_cast<PSoundChannel *>(pParam);
    {
        // The lock covers the start only: while the file plays, the interface thread can
        // take it at once to abort and close the channel, which ends the playing and the
        // wait below.
        CSingleLock lock(&SoundLock(), TRUE);
        if (g_bToneOpen != 1 || !channel->PlayFile(ToP(FileToPlay()), FALSE))
            return 0;
    }
    channel->WaitForPlayCompletion();
    return 0;
}

UINT RingBackThread(LPVOID pParam)
{
    auto *channel = static_cast<PSoundChannel *>(pParam);
    CString path = GetInstallDir() + "RingOut.wav";
    if (channel->IsOpen())
        channel->PlayFile(ToP(path), TRUE);
    return 0;
}

UINT KeyToneThread(LPVOID pParam)
{
    std::unique_ptr<KeyTone> tone(static_cast<KeyTone *>(pParam));
    tone->pChannel->WaitForPlayCompletion();
    // A later key, a ring or the wizard's test sound may have the channel now.
    CSingleLock lock(&SoundLock(), TRUE);
    if (g_nToneOpenings == tone->nOpening)
        tone->pChannel->Close();
    return 0;
}

UINT BusyToneThread(LPVOID pParam)
{
    auto *channel = static_cast<PSoundChannel *>(pParam);
    CString path = GetInstallDir() + "Busy.wav";
    while (g_bBusyStop == 0) {
        if (channel->HasPlayCompleted())
            channel->PlayFile(ToP(path), TRUE);
        std::this_thread::sleep_for(kBusyPollInterval);
    }
    channel->Close();
    g_bToneOpen = 0;
    return 0;
}

CWorkerThreads::~CWorkerThreads() { WaitAll(); }

BOOL CWorkerThreads::Start(AFX_THREADPROC proc, LPVOID param)
{
    CWinThread *thread = AfxBeginThread(proc, param, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    if (!thread)
        return FALSE;
    thread->m_bAutoDelete = FALSE;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Prune();
        m_threads.emplace_back(thread);
    }
    thread->ResumeThread();
    return TRUE;
}

BOOL CWorkerThreads::AnyRunning()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::any_of(m_threads.begin(), m_threads.end(),
                       [](const auto &t) { return !t->IsFinished(); });
}

void CWorkerThreads::WaitAll()
{
    win::WaitServingMessages([this] { return !AnyRunning(); });
    std::lock_guard<std::mutex> lock(m_mutex);
    m_threads.clear();
}

void CWorkerThreads::Prune()
{
    std::erase_if(m_threads, [](const auto &t) { return t->IsFinished(); });
}
