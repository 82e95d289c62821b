// CMenuPanelHost: what the menu panel needs of the main window that owns it.
#pragma once

#include <ui/skin_layout.h>

#include <win/cstring.h>
#include <win/windef.h>

class CSettings;
class CWnd;

class CMenuPanelHost
{
  public:
    virtual ~CMenuPanelHost() = default;

    /// The main window: the panel's parent, placed beside it, and the target of its messages.
    virtual CWnd *GetMainWindow() = 0;
    /// The main window's settings store, read and changed in place by the pages.
    virtual CSettings *GetSettings() = 0;
    /// The main window's skin layout table (kSkinLayoutEntries entries).
    virtual const SkinLayoutEntry *GetSkinLayout() = 0;
    /// Host names of the primary (0) and the secondary (1) service server.
    virtual CString GetServerHost(int nIndex) = 0;

    /// Puts the number into the number field and calls it (or answers an offered call).
    virtual void CallNumber(const CString &strNumber) = 0;
    /// The about box, modal.
    virtual void ShowAboutBox() = 0;
    /// Ends the program as the main window's Exit does.
    virtual void ExitProgram() = 0;
    /// The audio set-up wizard, modal over pParent.
    virtual void RunAudioWizard(CWnd *pParent) = 0;

    /// The application's interface language: 0 English, 1 simplified, 2 traditional Chinese.
    virtual int GetLanguage() = 0;
    virtual void SetLanguage(int nLanguage) = 0;

    /// TRUE while the endpoint has no call.
    virtual BOOL IsEndPointIdle() = 0;
    /// Rebuilds the endpoint's capability table from the settings.
    virtual void UpdateCapabilities() = 0;
    /// Silence detection off (none) or on (adaptive) for the audio channels opened from now
    /// on, and the GSM 06.10 frames per transmitted packet.
    virtual void SetAudioPacketOptions(BOOL bSilenceDetectionOff, unsigned nFramesInPacket) = 0;
};
