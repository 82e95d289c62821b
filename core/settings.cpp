// CSettings: defaults, loaders and savers of the data files.
#include <core/settings.h>

#include <core/blowfish.h>
#include <core/sound_devices.h>

#include <win/carchive.h>
#include <win/cfile.h>
#include <win/module.h>
#include <win/path.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace
{

// The install directory as the settings store published it, for the threads that read it;
// built on first use and kept until the process ends.
struct InstallDir {
    std::mutex mutex;
    CString dir;
};

InstallDir &PublishedInstallDir()
{
    static InstallDir *published = new InstallDir;
    return *published;
}

// Order of the video options in Video.dat: the flips (5 to 8) come last.
constexpr int kVideoFileOrder[CSettings::kVideoOptions] = {0,  1,  2,  3, 4, 9, 10, 11,
                                                           12, 13, 14, 5, 6, 7, 8};
constexpr int kVideoDefaults[CSettings::kVideoOptions] = {0, 0, 0, 0, 0,  0,   0, 0,
                                                          0, 0, 0, 0, 10, 320, 15};

// Reads a file: the loader runs only when the file opens. Reading stops at the first short or
// malformed field (the archive fails, later reads change nothing).
template <typename Read> bool LoadFile(const CString &path, Read read)
{
    CFile file;
    if (!file.Open(path, CFile::modeRead))
        return false;
    CArchive ar(&file, CArchive::load);
    read(ar);
    return true;
}

// Writes a file whole; on any failure the previous file stays (see CFile) and the file joins
// the failures.
template <typename Write>
void SaveFile(std::vector<CSettings::SaveFailure> &failures, const CString &path, Write write)
{
    CFile file;
    if (!file.Open(path, CFile::modeCreate | CFile::modeWrite)) {
        failures.push_back({path, file.GetError()});
        return;
    }
    CArchive ar(&file, CArchive::store);
    write(ar);
    ar.Close();
    if (!ar.IsOK())
        file.Abort();
    else if (file.Close())
        return;
    failures.push_back({path, file.GetError()});
}

int Bound(int n, int capacity)
{
    return std::clamp(n, 0, capacity);
}

// Reads a call list: the count, bounded to the capacity, then its pairs. Pairs beyond the
// capacity are read and dropped, so the lists after it stay in step. The count is the number
// of pairs actually read.
template <int N> void ReadCallList(CArchive &ar, CCallList<N> &list)
{
    int count = 0;
    ar >> count;
    if (!ar)
        return;
    for (int i = 0; i < count; ++i) {
        CString number, text;
        ar >> number >> text;
        if (!ar)
            return;
        if (i < N) {
            list.m_strNumber[i] = number;
            list.m_strText[i] = text;
            list.m_nCount = i + 1;
        }
    }
}

template <int N> void WriteCallList(CArchive &ar, CCallList<N> &list)
{
    list.m_nCount = Bound(list.m_nCount, N);
    ar << list.m_nCount;
    for (int i = 0; i < list.m_nCount; ++i)
        ar << list.m_strNumber[i] << list.m_strText[i];
}

// Digits in base 256, the first byte the most significant; only the last eight stay.
uint64_t PackBytes(const CString &s, int first, int end)
{
    uint64_t block = 0;
    for (int i = first; i < end; ++i)
        block = (block << 8) | static_cast<unsigned char>(s.GetAt(i));
    return block;
}

// The base-256 digits of a block from the most significant non-zero one down.
CString UnpackBytes(uint64_t block)
{
    CString bytes;
    for (; block != 0; block >>= 8)
        bytes.Insert(0, static_cast<char>(block & 0xFF));
    return bytes;
}

CBlowFish CipherFor(const CString &account)
{
    CBlowFish cipher;
    cipher.Initialize(reinterpret_cast<const unsigned char *>(account.GetString()),
                      account.GetLength());
    return cipher;
}

} // namespace

CSettings::CSettings()
{
    m_strInstallDir = win::ExecutableDirectory();
    {
        InstallDir &published = PublishedInstallDir();
        std::lock_guard<std::mutex> lock(published.mutex);
        published.dir = m_strInstallDir;
    }
    const CString &dir = m_strInstallDir;
    m_strAudioFile = dir + "audio.dat";
    m_strUiFile = dir + "ui.dat";
    m_strClientFile = dir + "client.dat";
    m_strCallsFile = dir + "calls.dat";
    m_strPhoneBookFile = dir + "pbook.dat";
    m_strHelpFile = dir + "Quarnefol.chm";
    m_strForwardFile = dir + "Forward.dat";
    m_strFilterFile = dir + "Filter.dat";
    m_strServerFile = dir + "Server.dat";
    m_strVideoFile = dir + "Video.dat";
    m_strGeneralFile = dir + "General.dat";

    m_strSpare1.Empty();
    m_strSpare2.Empty();
    m_strForwardAlways.Empty();
    m_strForwardBusy.Empty();
    m_strForwardNoAnswer.Empty();
    m_nNoAnswerTime = 30;

    // What a save cut short by a crash or a kill left beside the files.
    CFile::RemoveLeftoverReplacements(m_strInstallDir);

    LoadAudioSettings();
    LoadUiSettings();
    LoadAccount();
    LoadCallLog();
    LoadForwardList();
    LoadFilterList();
    LoadServerList();
    LoadVideoSettings();
}

CSettings::~CSettings()
{
    if (m_bKeepFiles)
        return;
    // Nobody is left to be shown a failure here: it goes to the error output.
    for (const SaveFailure &failure : SaveAll())
        std::fprintf(stderr, "kestrelin: could not save %s: %s\n", failure.strPath.GetString(),
                     std::strerror(failure.nError));
}

std::vector<CSettings::SaveFailure> CSettings::SaveAll()
{
    m_saveFailures.clear();
    SaveAudioSettings();
    SaveUiSettings();
    SaveAccount();
    SaveCallLog();
    SaveForwardList();
    SaveFilterList();
    SaveServerList();
    SaveVideoSettings();
    return m_saveFailures;
}

void CSettings::LoadAudioSettings()
{
    m_nAudioOption1 = 0;
    m_nAudioOption2 = 56;
    m_nAudioOption3 = 200;
    m_strRingOutWav = m_strInstallDir + "ringout.wav";
    m_strRingInWav = m_strInstallDir + "ringin.wav";
    m_strBusyWav = m_strInstallDir + "busy.wav";
    m_strPlayDevice = DefaultPlayDeviceName();
    m_strRecordDevice = DefaultRecordDeviceName();
    LoadFile(m_strAudioFile, [&](CArchive &ar) {
        ar >> m_nAudioOption1 >> m_nAudioOption2 >> m_strRingInWav >> m_strPlayDevice >>
            m_strRecordDevice;
    });
}

void CSettings::SaveAudioSettings()
{
    SaveFile(m_saveFailures, m_strAudioFile, [&](CArchive &ar) {
        ar << m_nAudioOption1 << m_nAudioOption2 << m_strRingInWav << m_strPlayDevice
           << m_strRecordDevice;
    });
}

void CSettings::LoadUiSettings()
{
    m_nWindowLeft = 0;
    m_nWindowTop = 0;
    bool opened = LoadFile(m_strUiFile, [&](CArchive &ar) { ar >> m_nWindowLeft >> m_nWindowTop; });
    m_bNoWindowFile = opened ? 0 : 1;
}

void CSettings::SaveUiSettings()
{
    SaveFile(m_saveFailures, m_strUiFile, [&](CArchive &ar) { ar << m_nWindowLeft << m_nWindowTop; });
}

void CSettings::LoadAccount()
{
    m_nClientOption = 0;
    m_bKeepPassword = 0;
    m_strAccount.Empty();
    m_strPassword.Empty();
    m_strGeneral.Empty();
    m_nGeneralOption = 1;
    m_bAutoLogin = 0;
    LoadFile(m_strClientFile, [&](CArchive &ar) {
        ar >> m_nClientOption >> m_bKeepPassword >> m_strAccount;
        if (!ar || !m_bKeepPassword)
            return;
        DWORD w[4];
        ar >> w[0] >> w[1] >> w[2] >> w[3];
        if (!ar)
            return;
        CBlowFish cipher = CipherFor(m_strAccount);
        uint64_t a = cipher.Decrypt((static_cast<uint64_t>(w[1]) << 32) | w[0]);
        uint64_t b = cipher.Decrypt((static_cast<uint64_t>(w[3]) << 32) | w[2]);
        m_strPassword = UnpackBytes(a) + UnpackBytes(b);
    });
    LoadFile(m_strGeneralFile,
             [&](CArchive &ar) { ar >> m_nGeneralOption >> m_bAutoLogin >> m_strGeneral; });
}

void CSettings::SaveAccount()
{
    SaveFile(m_saveFailures, m_strClientFile, [&](CArchive &ar) {
        ar << m_nClientOption << m_bKeepPassword << m_strAccount;
        if (!m_bKeepPassword)
            return;
        int n = m_strPassword.GetLength();
        int split = std::max(n - 8, 0);
        CBlowFish cipher = CipherFor(m_strAccount);
        uint64_t a = cipher.Encrypt(PackBytes(m_strPassword, 0, split));
        uint64_t b = cipher.Encrypt(PackBytes(m_strPassword, split, n));
        ar << static_cast<DWORD>(a) << static_cast<DWORD>(a >> 32) << static_cast<DWORD>(b)
           << static_cast<DWORD>(b >> 32);
    });
    SaveFile(m_saveFailures, m_strGeneralFile,
             [&](CArchive &ar) { ar << m_nGeneralOption << m_bAutoLogin << m_strGeneral; });
}

void CSettings::LoadCallLog()
{
    m_QuickCalls.Clear();
    m_DialedCalls.Clear();
    m_MissedCalls.Clear();
    m_ReceivedCalls.Clear();
    LoadFile(m_strCallsFile, [&](CArchive &ar) {
        ReadCallList(ar, m_QuickCalls);
        ReadCallList(ar, m_DialedCalls);
        ReadCallList(ar, m_MissedCalls);
        ReadCallList(ar, m_ReceivedCalls);
    });
}

void CSettings::SaveCallLog()
{
    SaveFile(m_saveFailures, m_strCallsFile, [&](CArchive &ar) {
        WriteCallList(ar, m_QuickCalls);
        WriteCallList(ar, m_DialedCalls);
        WriteCallList(ar, m_MissedCalls);
        WriteCallList(ar, m_ReceivedCalls);
    });
}

void CSettings::LoadForwardList()
{
    auto lock = LockCallRules();
    LoadFile(m_strForwardFile, [&](CArchive &ar) {
        ar >> m_strForwardBusy >> m_strForwardNoAnswer >> m_nNoAnswerTime;
    });
}

void CSettings::SaveForwardList()
{
    auto lock = LockCallRules();
    SaveFile(m_saveFailures, m_strForwardFile, [&](CArchive &ar) {
        ar << m_strForwardBusy << m_strForwardNoAnswer << m_nNoAnswerTime;
    });
}

void CSettings::LoadFilterList()
{
    auto lock = LockCallRules();
    m_nFilterMode = 0;
    m_nFilterCount = 0;
    m_arrFilter.fill(CString());
    LoadFile(m_strFilterFile, [&](CArchive &ar) {
        int count = 0;
        ar >> m_nFilterMode >> count;
        // At most the capacity is read; a larger count in the file is cut to it.
        count = Bound(count, kFilterCapacity);
        for (int i = 0; i < count && ar; ++i) {
            ar >> m_arrFilter[i];
            if (ar)
                m_nFilterCount = i + 1;
        }
    });
}

void CSettings::SaveFilterList()
{
    auto lock = LockCallRules();
    m_nFilterCount = Bound(m_nFilterCount, kFilterCapacity);
    SaveFile(m_saveFailures, m_strFilterFile, [&](CArchive &ar) {
        ar << m_nFilterMode << m_nFilterCount;
        for (int i = 0; i < m_nFilterCount; ++i)
            ar << m_arrFilter[i];
    });
}

void CSettings::LoadServerList()
{
    m_nServerIndex = 0;
    m_nLocalPort = 1991;
    m_nServerPort = 19900;
    m_strServerName.Empty();
    m_strSpare1.Empty();
    LoadFile(m_strServerFile, [&](CArchive &ar) {
        ar >> m_nServerIndex >> m_nLocalPort >> m_nServerPort >> m_strServerName;
    });
    // A port no socket can use is taken as the default.
    if (m_nLocalPort < 1 || m_nLocalPort > 65535)
        m_nLocalPort = 1991;
    if (m_nServerPort < 1 || m_nServerPort > 65535)
        m_nServerPort = 19900;
}

void CSettings::SaveServerList()
{
    SaveFile(m_saveFailures, m_strServerFile, [&](CArchive &ar) {
        ar << m_nServerIndex << m_nLocalPort << m_nServerPort << m_strServerName;
    });
}

void CSettings::LoadVideoSettings()
{
    std::copy(std::begin(kVideoDefaults), std::end(kVideoDefaults), m_nVideo.begin());
    LoadFile(m_strVideoFile, [&](CArchive &ar) {
        for (int index : kVideoFileOrder)
            ar >> m_nVideo[index];
    });
    // Values outside the ranges the pages offer are taken as the defaults: capture device
    // (n > 0: driver n - 1), source 0 to 3, 1 to 20 pictures a second, 1 to 320 kbit/s,
    // quality 1 to 100.
    auto inRange = [&](int index, int lo, int hi) {
        if (m_nVideo[index] < lo || m_nVideo[index] > hi)
            m_nVideo[index] = kVideoDefaults[index];
    };
    inRange(9, 0, 0x7fffffff);
    inRange(11, 0, 3);
    inRange(12, 1, 20);
    inRange(13, 1, 320);
    inRange(14, 1, 100);
}

void CSettings::SaveVideoSettings()
{
    SaveFile(m_saveFailures, m_strVideoFile, [&](CArchive &ar) {
        for (int index : kVideoFileOrder)
            ar << m_nVideo[index];
    });
}

void CSettings::UseAccountFiles(const CString &strAccount)
{
    CString account = win::EscapeFileNamePart(strAccount);
    m_strForwardFile.Format("%sForward_%s.dat", m_strInstallDir.GetString(), account.GetString());
    m_strFilterFile.Format("%sFilter_%s.dat", m_strInstallDir.GetString(), account.GetString());
}

CString GetInstallDir()
{
    InstallDir &published = PublishedInstallDir();
    std::lock_guard<std::mutex> lock(published.mutex);
    return published.dir;
}
