// CSettings: every persistent setting of the phone, and the data files that keep them.
//
// The files lie in the install directory (the executable's directory) as archive streams
// (win/carchive.h) with fixed field orders and no header. Loading happens in the constructor
// (and again for the forward and filter files after login); saving in SaveAll, which the
// destructor runs. A file that is missing, short or malformed leaves the members it did not
// deliver at their defaults; a save that fails leaves the previous file as it was and is
// reported by SaveAll. Only regular files are read (a FIFO or directory counts as missing), and
// the unfinished replacements of a save that was cut short are removed at construction.
#pragma once

#include <win/cstring.h>

#include <array>
#include <mutex>
#include <vector>

/// A call list: a count and two parallel string arrays of a fixed capacity, newest first.
template <int N> struct CCallList {
    static constexpr int kCapacity = N;
    int m_nCount = 0;
    std::array<CString, N> m_strNumber; // the number
    std::array<CString, N> m_strText;   // Quick Calls: the name; the others: the call-log line

    void Clear()
    {
        m_nCount = 0;
        m_strNumber.fill(CString());
        m_strText.fill(CString());
    }
};

class CSettings
{
  public:
    static constexpr int kFilterCapacity = 300;
    /// Bytes of a kept password that client.dat holds (two 64-bit blocks): a longer one
    /// would come back as its last 16 bytes.
    static constexpr int kKeptPasswordBytes = 16;
    static constexpr int kVideoOptions = 15;

    /// Works out the install directory, builds the paths, sets the defaults, loads every file.
    CSettings();
    CSettings(const CSettings &) = delete;
    CSettings &operator=(const CSettings &) = delete;
    /// Saves every file, unless KeepFilesUnchanged was called.
    virtual ~CSettings();

    /// A file that a save could not write (its previous content stays), with the errno.
    struct SaveFailure {
        CString strPath;
        int nError;
    };

    /// Saves audio.dat, ui.dat, client.dat with General.dat, calls.dat, the forward file, the
    /// filter file, Server.dat and Video.dat, in this order. Returns the files that could not
    /// be written; the destructor reports them on the error output.
    std::vector<SaveFailure> SaveAll();

    /// The program ends without changing the data files (a cancelled login): the destructor
    /// saves nothing from now on.
    void KeepFilesUnchanged() { m_bKeepFiles = true; }
    bool FilesKeptUnchanged() const { return m_bKeepFiles; }

    void LoadAudioSettings();
    void SaveAudioSettings();
    void LoadUiSettings();
    void SaveUiSettings();
    /// client.dat, then General.dat.
    void LoadAccount();
    void SaveAccount();
    void LoadCallLog();
    void SaveCallLog();
    /// Sets no defaults: a missing file keeps the values held.
    void LoadForwardList();
    void SaveForwardList();
    void LoadFilterList();
    void SaveFilterList();
    void LoadServerList();
    void SaveServerList();
    void LoadVideoSettings();
    void SaveVideoSettings();

    /// After login: the forward and filter paths become "<dir>Forward_<account>.dat" and
    /// "<dir>Filter_<account>.dat", the account name made safe for a file name
    /// (win::EscapeFileNamePart: '/', '\' and '%' are written as %2F, %5C and %25).
    void UseAccountFiles(const CString &strAccount);

    /**
     * The lock of the call rules: the forward numbers, the filter mode, count and list. The
     * call engine reads them on its signalling threads under it; every writer holds it too.
     */
    std::unique_lock<std::mutex> LockCallRules() const
    {
        return std::unique_lock<std::mutex>(m_callRulesMutex);
    }

    int m_nAudioOption1 = 0;
    int m_nAudioOption2 = 56;
    int m_nAudioOption3 = 200;
    CString m_strPlayDevice;
    CString m_strRecordDevice;
    CString m_strRingOutWav;
    CString m_strRingInWav;
    CString m_strBusyWav;
    int m_bNoWindowFile = 0;
    int m_nWindowLeft = 0;
    int m_nWindowTop = 0;
    int m_nClientOption = 0;
    CString m_strServerName;
    CString m_strSpare1;
    CString m_strSpare2;
    int m_bKeepPassword = 0;
    CString m_strAccount;
    CString m_strPassword;
    CString m_strGeneral;
    int m_nGeneralOption = 1;
    int m_bAutoLogin = 0;
    CCallList<10> m_DialedCalls;
    CCallList<50> m_QuickCalls;
    CCallList<50> m_MissedCalls;
    CCallList<50> m_ReceivedCalls;
    CString m_strInstallDir; // ends with the separator

    CString m_strAudioFile;
    CString m_strUiFile;
    CString m_strClientFile;
    CString m_strCallsFile;
    CString m_strPhoneBookFile;
    CString m_strHelpFile;
    CString m_strForwardFile;
    CString m_strFilterFile;
    CString m_strServerFile;
    CString m_strVideoFile;
    CString m_strGeneralFile;

    CString m_strForwardAlways;
    CString m_strForwardBusy;
    CString m_strForwardNoAnswer;
    int m_nNoAnswerTime = 30;
    int m_nFilterMode = 0;
    int m_nFilterCount = 0;
    std::array<CString, kFilterCapacity> m_arrFilter;
    int m_nServerIndex = 0;
    int m_nLocalPort = 1991;
    int m_nServerPort = 19900;
    std::array<int, kVideoOptions> m_nVideo{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 320, 15};

  private:
    bool m_bKeepFiles = false;
    mutable std::mutex m_callRulesMutex;
    std::vector<SaveFailure> m_saveFailures; // of the savers since SaveAll began
};

/// The install directory that the settings store published (with its trailing separator);
/// empty before the first store is built.
CString GetInstallDir();
