// Menu panel: the System Config and User Setting pages, Set.dat and netphone.ini.
#include <ui/menu_panel_dlg.h>

#include <core/settings.h>
#include <core/window_messages.h>

#include <pwlib/sound/psoundchannel.h>

#include <win/path.h>
#include <win/vfw.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace
{

const char *const kTestPattern = "Frame test N.0 - Moving line";
const char *const kLanguages[3] = {"English", "Simplify Chinese", "Traditional Chinese"};

// Video page lines and the video option each one shows.
enum VideoLine {
    kDevice,
    kAutoSend,
    kAutoReceive,
    kShowLocal,
    kSource,
    kQuality,
    kMaxBps,
    kFps,
    kFlipLocalV,
    kFlipLocalH,
    kFlipRemoteV,
    kFlipRemoteH,
    kCodec,
    kVideoLines
};
constexpr int kVideoOption[kVideoLines] = {9, 0, 1, 2, 11, 14, 13, 12, 5, 6, 7, 8, 4};
constexpr bool IsYesNoLine(int line)
{
    return line == kAutoSend || line == kAutoReceive || line == kShowLocal ||
           (line >= kFlipLocalV && line <= kFlipRemoteH);
}

CString YesNo(int flag)
{
    return flag ? "Yes" : "No";
}

CString Number(int n)
{
    CString s;
    s.Format("%d", n);
    return s;
}

CString Stars(const CString &text)
{
    return CString('*', text.GetLength());
}

// Description of capture driver index, empty when it has none.
CString DriverDescription(int index)
{
    char name[101] = {}, version[201] = {};
    if (!capGetDriverDescriptionA(WORD(index), name, sizeof name - 1, version, sizeof version - 1))
        return "";
    return name;
}

int InRange(int value, int low, int high, int fallback)
{
    return value >= low && value <= high ? value : fallback;
}

std::string FileIn(const CString &dir, const char *name)
{
    return win::MapPath(dir + name);
}

} // namespace

void CMenuPanelDlg::ReadOptions()
{
    const CString &dir = m_pSettings->m_strInstallDir;
    char line[125] = {};
    m_nLanguage = 0;
    if (std::FILE *f = std::fopen(FileIn(dir, "netphone.ini").c_str(), "r")) {
        if (std::fgets(line, sizeof line, f))
            m_nLanguage = InRange(line[0] - '0', 0, 2, 0);
        std::fclose(f);
    }
    m_nSilenceFlag = 1;
    m_nFramesIndex = 4;
    if (std::FILE *f = std::fopen(FileIn(dir, "Set.dat").c_str(), "r")) {
        line[0] = line[1] = '\0';
        if (!std::fgets(line, sizeof line, f))
            line[0] = '\0';
        std::fclose(f);
        m_nSilenceFlag = line[0] == '1' ? 1 : 0;
        m_nFramesIndex = line[0] ? InRange(line[1] - '0', 0, 7, 3) : 3;
    }
}

void CMenuPanelDlg::WriteSetFile()
{
    if (std::FILE *f = std::fopen(FileIn(m_pSettings->m_strInstallDir, "Set.dat").c_str(), "w")) {
        std::fprintf(f, "%s%d", m_nSilenceFlag == 1 ? "1" : "0", m_nFramesIndex);
        std::fclose(f);
    }
}

void CMenuPanelDlg::BuildSettingsPage(int nPage)
{
    CSettings &s = *m_pSettings;
    const auto &v = s.m_nVideo;
    switch (nPage) {
    case 31:
    case 32:
    case 33:
    case 34:
    case 35: {
        const UINT labels[5] = {180, 181, 110, 182, 195};
        for (int i = 0; i < 5; ++i)
            SetLine(i, labels[i], "", 31 + i);
        m_nLineCount = 5;
        m_nPageMark = 31;
        SetHeader(256);
        break;
    }
    case 311:
        SetLine(0, 207, s.m_strAccount, -1);
        SetLine(1, 206, Stars(s.m_strPassword), -3);
        SetLine(2, 208, YesNo(s.m_bKeepPassword), -2);
        m_nLineCount = 3;
        break;
    case 321:
        SetLine(0, 185, s.m_strPlayDevice, -2);
        SetLine(1, 186, s.m_strRecordDevice, -2);
        SetLine(2, 187, "", 323);
        m_nLineCount = 3;
        break;
    case 331: {
        CString device = kTestPattern;
        if (v[9] > 0) {
            CString description = DriverDescription(v[9] - 1);
            if (!description.IsEmpty())
                device = description;
        }
        const char *const sources[4] = {"Any", "A", "B", "C"};
        SetLine(kDevice, 152, device, -2);
        SetLine(kAutoSend, 111, YesNo(v[0]), -2);
        SetLine(kAutoReceive, 112, YesNo(v[1]), -2);
        SetLine(kShowLocal, 113, YesNo(v[2]), -2);
        SetLine(kSource, 214, sources[v[11] >= 0 && v[11] <= 2 ? v[11] : 3], -2);
        SetLine(kQuality, 219, Number(v[14]), -1);
        SetLine(kMaxBps, 221, Number(v[13]), -1);
        SetLine(kFps, 220, Number(v[12]), -1);
        const UINT flips[4] = {215, 216, 217, 218};
        for (int i = 0; i < 4; ++i)
            SetLine(kFlipLocalV + i, flips[i], YesNo(v[5 + i]), -2);
        SetLine(kCodec, 222, v[4] ? "H261" : "H263", -2);
        m_nLineCount = kVideoLines;
        break;
    }
    case 341:
        SetLine(0, "Language :", kLanguages[m_nLanguage], -2);
        SetLine(1, 188, m_nSilenceFlag == 1 ? "No" : "Yes", -2);
        SetLine(2, 189, Number(m_nFramesIndex + 1), -2);
        m_nLineCount = 3;
        break;
    case 351:
        SetLine(0, 196, m_pHost->GetServerHost(s.m_nServerIndex == 0 ? 0 : 1), -2);
        SetLine(1, 197, Number(s.m_nServerPort), -1);
        SetLine(2, 198, Number(s.m_nLocalPort), -1);
        m_nLineCount = 3;
        break;
    case 41:
        SetLine(0, 149, "", 41);
        SetLine(1, 199, "", 42);
        m_nLineCount = 2;
        m_nPageMark = 31;
        SetHeader(256);
        break;
    case 411:
        SetLine(0, 202, s.m_strForwardAlways, -1);
        SetLine(1, 203, s.m_strForwardBusy, -1);
        SetLine(2, 204, s.m_strForwardNoAnswer, -1);
        SetLine(3, 205, Number(s.m_nNoAnswerTime), -1);
        m_nLineCount = 4;
        break;
    case 421: {
        CString label, mode;
        label.LoadString(199);
        mode.LoadString(s.m_nFilterMode ? 201 : 200);
        SetLine(0, label + ":", mode, -2);
        SetLine(1, 179, "", 422);
        int count = std::clamp(s.m_nFilterCount, 0, CSettings::kFilterCapacity);
        for (int k = 0; k < count; ++k)
            SetLine(k + 2, s.m_arrFilter[k], "", 423);
        m_nLineCount = count + 2;
        break;
    }
    case 4221:
        SetLine(0, "Number :", "", -1);
        m_nLineCount = 1;
        break;
    default:
        break;
    }
}

void CMenuPanelDlg::FillChoiceList(int nLine)
{
    CSettings &s = *m_pSettings;
    const auto &v = s.m_nVideo;
    auto add = [&](std::initializer_list<const char *> items, int selected) {
        for (const char *item : items)
            m_choice.AddString(item);
        m_choice.SetCurSel(selected);
    };
    auto addDevices = [&](PSoundChannel::Directions dir, const CString &current) {
        PStringArray names = PSoundChannel::GetDeviceNames(dir);
        int selected = -1;
        for (PINDEX i = 0; i < names.GetSize(); ++i) {
            m_choice.AddString(names[i]);
            if (current == static_cast<const char *>(names[i]))
                selected = i;
        }
        m_choice.SetCurSel(selected);
    };
    switch (m_nPage * 100 + nLine) {
    case 31102:
        add({"Yes", "No"}, s.m_bKeepPassword ? 0 : 1);
        return;
    case 32100:
        addDevices(PSoundChannel::Player, s.m_strPlayDevice);
        return;
    case 32101:
        addDevices(PSoundChannel::Recorder, s.m_strRecordDevice);
        return;
    case 34100:
        add({kLanguages[0], kLanguages[1], kLanguages[2]}, m_nLanguage);
        return;
    case 34101:
        add({"Yes", "No"}, m_nSilenceFlag);
        return;
    case 34102:
        add({"1", "2", "3", "4", "5", "6", "7"}, m_nFramesIndex);
        return;
    case 35100: {
        // Two servers at one address are one choice.
        CString primary = m_pHost->GetServerHost(0), secondary = m_pHost->GetServerHost(1);
        m_choice.AddString(primary);
        if (secondary != primary)
            m_choice.AddString(secondary);
        m_choice.SetCurSel(s.m_nServerIndex == 1 && secondary != primary ? 1 : 0);
        return;
    }
    case 42100: {
        CString refuse, accept;
        refuse.LoadString(200);
        accept.LoadString(201);
        m_choice.AddString(refuse);
        m_choice.AddString(accept);
        m_choice.SetCurSel(s.m_nFilterMode ? 1 : 0);
        return;
    }
    default:
        break;
    }
    if (m_nPage != 331)
        return;
    if (nLine == kDevice) {
        m_choice.AddString(kTestPattern);
        for (int i = 0; i < 10; ++i) {
            CString description = DriverDescription(i);
            if (!description.IsEmpty())
                m_choice.AddString(description);
        }
        m_choice.SetCurSel(v[9]);
    } else if (IsYesNoLine(nLine)) {
        add({"Yes", "No"}, v[kVideoOption[nLine]] == 1 ? 0 : 1);
    } else if (nLine == kSource) {
        add({"Any", "A", "B", "C"}, v[11]);
    } else if (nLine == kCodec) {
        add({"H261", "H263"}, v[3] == 1 ? 1 : 0);
    }
}

void CMenuPanelDlg::StoreChoice(int nLine, int nIndex)
{
    CSettings &s = *m_pSettings;
    auto &v = s.m_nVideo;
    switch (m_nPage * 100 + nLine) {
    case 31102:
        s.m_bKeepPassword = nIndex == 0 ? 1 : 0;
        return;
    case 32100:
        s.m_strPlayDevice = m_strValue[nLine];
        PostToMain(WM_AUDIO_DEVICE_CHANGED, 1, 1);
        return;
    case 32101:
        s.m_strRecordDevice = m_strValue[nLine];
        PostToMain(WM_AUDIO_DEVICE_CHANGED, 1, 1);
        return;
    case 34100:
        if (nIndex < 0 || nIndex > 2)
            return;
        m_nLanguage = nIndex;
        if (nIndex != m_pHost->GetLanguage()) {
            std::string path = FileIn(s.m_strInstallDir, "netphone.ini");
            if (std::FILE *f = std::fopen(path.c_str(), "w")) {
                std::fprintf(f, "%d", nIndex);
                std::fclose(f);
            }
            m_pHost->SetLanguage(nIndex);
            PostToMain(WM_LANGUAGE_CHANGED, 0, 0);
        }
        return;
    case 34101:
    case 34102:
        if (nLine == 1)
            m_nSilenceFlag = nIndex == 1 ? 1 : 0;
        else if (nIndex >= 0 && nIndex <= 6)
            m_nFramesIndex = nIndex;
        WriteSetFile();
        m_pHost->SetAudioPacketOptions(m_nSilenceFlag == 1, unsigned(m_nFramesIndex + 1));
        return;
    case 35100:
        s.m_nServerIndex = nIndex == 1 ? 1 : 0;
        PostToMain(WM_START_REGISTRATION, 0, 0);
        return;
    case 42100: {
        auto rules = s.LockCallRules();
        s.m_nFilterMode = nIndex == 1 ? 1 : 0;
        return;
    }
    default:
        break;
    }
    if (m_nPage != 331)
        return;
    if (nLine == kDevice || nLine == kSource) {
        v[kVideoOption[nLine]] = nIndex;
    } else if (IsYesNoLine(nLine)) {
        v[kVideoOption[nLine]] = nIndex == 0 ? 1 : 0;
    } else if (nLine == kCodec) {
        v[4] = nIndex == 0 ? 1 : 0;
        v[3] = nIndex == 0 ? 0 : 1;
    }
    if ((nLine == kAutoSend || nLine == kAutoReceive || nLine == kCodec) &&
        m_pHost->IsEndPointIdle())
        m_pHost->UpdateCapabilities();
}

void CMenuPanelDlg::CommitSettingsEdit(int nLine, const CString &text)
{
    CSettings &s = *m_pSettings;
    auto &v = s.m_nVideo;
    switch (m_nPage * 100 + nLine) {
    case 31100:
        if (text != s.m_strAccount) {
            s.m_strAccount = text;
            PostToMain(WM_START_REGISTRATION, 0, 0);
        }
        return;
    case 31101:
        if (text != s.m_strPassword) {
            s.m_strPassword = text;
            PostToMain(WM_START_REGISTRATION, 0, 0);
        }
        m_strValue[nLine] = Stars(s.m_strPassword);
        return;
    case 35101:
    case 35102: {
        int &port = nLine == 1 ? s.m_nServerPort : s.m_nLocalPort;
        int typed = std::atoi(text);
        if (typed != port) {
            port = typed;
            PostToMain(WM_START_REGISTRATION, 0, 0);
        }
        return;
    }
    case 41100: {
        auto rules = s.LockCallRules();
        s.m_strForwardAlways = text;
        return;
    }
    case 41101: {
        auto rules = s.LockCallRules();
        s.m_strForwardBusy = text;
        return;
    }
    case 41102:
        s.m_strForwardNoAnswer = text;
        return;
    case 41103:
        s.m_nNoAnswerTime = std::atoi(text);
        return;
    case 422100: {
        // Each confirmed number joins the filter list; a full list takes no more.
        auto rules = s.LockCallRules();
        if (!text.IsEmpty() && s.m_nFilterCount >= 0 &&
            s.m_nFilterCount < CSettings::kFilterCapacity)
            s.m_arrFilter[s.m_nFilterCount++] = text;
        return;
    }
    default:
        break;
    }
    if (m_nPage != 331)
        return;
    struct {
        int low, high, fallback;
    } const ranges[3] = {{1, 100, 15}, {1, 320, 320}, {1, 20, 10}};
    if (nLine >= kQuality && nLine <= kFps) {
        const auto &r = ranges[nLine - kQuality];
        int &option = v[kVideoOption[nLine]];
        option = InRange(std::atoi(text), r.low, r.high, r.fallback);
        m_strValue[nLine] = Number(option);
    }
}

void CMenuPanelDlg::DeleteFilterNumber(int nLine)
{
    CSettings &s = *m_pSettings;
    int index = nLine - 2;
    int count = std::clamp(s.m_nFilterCount, 0, CSettings::kFilterCapacity);
    if (index < 0 || index >= count)
        return;
    {
        auto rules = s.LockCallRules();
        for (int j = index; j + 1 < count; ++j)
            s.m_arrFilter[j] = s.m_arrFilter[j + 1];
        s.m_arrFilter[count - 1].Empty();
        s.m_nFilterCount = count - 1;
    }
    RemoveLine(nLine);
    RedrawLines();
}
