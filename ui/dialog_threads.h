// The main dialog's worker threads: gatekeeper registration and wave playing on the tone
// channel, with the process-wide state they share with the dialog.
#pragma once

#include <win/cmutex.h>
#include <win/cstring.h>
#include <win/cwinthread.h>
#include <win/windef.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class H323EndPoint;
class PSoundChannel;

/// What GatekeeperRegisterThread registers with; filled by the dialog before each start.
struct RegistrationRequest {
    static constexpr int kAddresses = 20;
    H323EndPoint *pEndPoint = nullptr;
    CString strAddress[kAddresses];
    int nAddressCount = 1; // 1 to 20
    CString strUserName;
    CString strPassword;
    HWND hWnd = nullptr;
};

// The state the threads share with the dialog. The two objects are built on first use and
// kept until the process ends, so a thread still playing while the process ends never meets
// them destroyed; the flags are constant-initialised words that nothing destroys.

/// The wave file PlaySoundThread plays; written and read under SoundLock().
CString &FileToPlay();
/// Serialises PlaySoundThread with the code that opens, plays and closes the tone channel.
/// PlaySoundThread holds it only while it starts a playing, never for a tone's length.
CMutex &SoundLock();
/// 1 when the dialog last opened the tone channel for playing successfully.
extern std::atomic<int> g_bToneOpen;
/// Counts the openings of the tone channel, changed under SoundLock(): the end of a keypad
/// tone closes the channel only in the opening the tone was started in.
extern std::atomic<unsigned> g_nToneOpenings;
/// 0 while BusyToneThread is to go on; 1 stops it.
extern std::atomic<int> g_bBusyStop;
/// Index of the address GatekeeperRegisterThread registered with (0 also when all failed).
extern std::atomic<int> g_nRegisteredServer;

/// Registers with the request's addresses in turn; posts WM_REGISTRATION_FAILED to the
/// request's window when none registers. The parameter is a RegistrationRequest.
UINT GatekeeperRegisterThread(LPVOID pParam);
/// Plays FileToPlay() once on the channel (a PSoundChannel) while g_bToneOpen is 1; returns
/// when it has been played or the channel was aborted or closed.
UINT PlaySoundThread(LPVOID pParam);
/// Plays the ring-back file once when the channel is open.
UINT RingBackThread(LPVOID pParam);
/// A keypad tone playing on the tone channel, and the opening (g_nToneOpenings) it plays in.
struct KeyTone {
    PSoundChannel *pChannel = nullptr;
    unsigned nOpening = 0;
};
/// Waits for the end of a keypad tone (the parameter, a KeyTone it deletes), then closes the
/// channel unless it has been opened again since; a closed channel ends the wait at once.
UINT KeyToneThread(LPVOID pParam);
/// Plays the busy tone over and over until g_bBusyStop is 1, then closes the channel.
UINT BusyToneThread(LPVOID pParam);

/// The worker threads a window starts, so that it can wait for them before the objects they
/// use go away.
class CWorkerThreads
{
  public:
    CWorkerThreads() = default;
    CWorkerThreads(const CWorkerThreads &) = delete;
    CWorkerThreads &operator=(const CWorkerThreads &) = delete;
    /// Waits for every thread, as WaitAll does.
    ~CWorkerThreads();

    /// Starts proc(param); FALSE when no thread could be made.
    BOOL Start(AFX_THREADPROC proc, LPVOID param);
    /// TRUE while a thread started here runs.
    BOOL AnyRunning();
    /// Waits until every thread has returned; the interface thread goes on serving the
    /// messages other threads send meanwhile.
    void WaitAll();

  private:
    void Prune();

    std::mutex m_mutex;
    std::vector<std::unique_ptr<CWinThread>> m_threads;
};
