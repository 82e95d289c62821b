// The main dialog's handset keys: the USBPhone_ handsets' keys mapped to the dialling
// operations and the number history.
#include <ui/soft_phone_dlg.h>

#include <core/usb_phone.h>

void CSoftPhoneDlg::HistoryStep(int nStep)
{
    int count = m_number.GetCount();
    if (count <= 0)
        return;
    m_nHistoryIndex += nStep;
    if (m_nHistoryIndex < 0)
        m_nHistoryIndex = count - 1;
    else if (m_nHistoryIndex >= count)
        m_nHistoryIndex = 0;
    CString item;
    m_number.GetLBText(m_nHistoryIndex, item);
    m_number.SetWindowText(item);
}

void CSoftPhoneDlg::HandsetDialKey()
{
    if (m_endpoint.IsIdle() && !m_bRinging) {
        CString text;
        m_number.GetWindowText(text);
        if (text.IsEmpty() && m_number.GetCount() > 0) {
            CString last;
            m_number.GetLBText(0, last);
            m_number.SetWindowText(last);
        }
    }
    PlaceCall();
}

int CSoftPhoneDlg::OnUsbPhoneKey(int key)
{
    if (key != 70)
        ShowWindow(SW_SHOWNORMAL);
    if (key >= 0 && key <= 9) {
        OnKeypadDigit(char('0' + key));
    } else if (key == 20) {
        OnKeypadDigit('*');
    } else if (key == 21) {
        OnKeypadDigit('#');
    } else if (key == 30) {
        if (m_endpoint.IsIdle())
            OnKeypadDigit(8);
        else
            HangUp();
        if (m_bRinging)
            HangUp();
    } else if (key == 40) {
        HistoryStep(-1);
    } else if (key == 60) {
        HistoryStep(+1);
    } else if (key == 50) {
        HandsetDialKey();
    } else if (key == 70) {
        HangUp();
        ShowWindow(SW_MINIMIZE);
    } else if (key == 80) {
        if (m_bRinging)
            PlaceCall();
    }
    return 1;
}

void CSoftPhoneDlg::RunAudioWizardForHandset()
{
    if (UsbPhoneApi.Close)
        UsbPhoneApi.Close();
    RunVoiceWizard();
    g_nHandsetIndex = 0;
}
