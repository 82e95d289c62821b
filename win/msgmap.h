// Message maps: per-class tables that route window messages to member handlers.
//
// A class declares DECLARE_MESSAGE_MAP() and defines its table in its source file:
//
//     BEGIN_MESSAGE_MAP(CSoftPhoneDlg, CSkinDialog)
//         ON_WM_TIMER()                                  // void OnTimer(UINT_PTR)
//         ON_MESSAGE(WM_CALL_CONNECTED, OnCallConnected) // LRESULT f(WPARAM, LPARAM)
//         ON_COMMAND(1087, OnMenu)                       // void OnMenu()
//     END_MESSAGE_MAP()
//
// CWnd::OnWndMsg searches the class's table, then its base's, up to CWnd. An entry is a message
// number, for WM_COMMAND and WM_NOTIFY a notification code and a control id range, and a thunk
// that unpacks wParam and lParam for the handler. More ON_ macros (for controls, painting, mouse
// messages) are written the same way: one MessageMapEntry whose thunk casts the window to
// ThisClass and calls the member.
#pragma once

#include <win/windef.h>

class CWnd;

#define afx_msg

namespace win {

struct MessageMapEntry {
    UINT nMessage; // 0 ends the table
    UINT nCode;    // WM_COMMAND: HIWORD(wParam); WM_NOTIFY: NMHDR::code
    UINT nID;      // WM_COMMAND / WM_NOTIFY: first control id
    UINT nLastID;  // last control id
    LRESULT (*pfn)(CWnd *pWnd, WPARAM wParam, LPARAM lParam);
};

struct MessageMap {
    const MessageMap *(*pfnGetBaseMap)(); // null for CWnd's own table
    const MessageMapEntry *lpEntries;
};

} // namespace win

#define DECLARE_MESSAGE_MAP()                                                                  \
  protected:                                                                                   \
    static const ::win::MessageMap *GetThisMessageMap();                                       \
    const ::win::MessageMap *GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                 \
    const ::win::MessageMap *theClass::GetMessageMap() const                                   \
    {                                                                                          \
        return GetThisMessageMap();                                                            \
    }                                                                                          \
    const ::win::MessageMap *theClass::GetThisMessageMap()                                     \
    {                                                                                          \
        using ThisClass [[maybe_unused]] = theClass;                                           \
        using TheBaseClass = baseClass;                                                        \
        static const ::win::MessageMapEntry entries[] = {

#define END_MESSAGE_MAP()                                                                      \
    {0, 0, 0, 0, nullptr}};                                                                    \
    static const ::win::MessageMap map = {&TheBaseClass::GetThisMessageMap, entries};          \
    return &map;                                                                               \
    }

/// LRESULT memberFxn(WPARAM, LPARAM)
#define ON_MESSAGE(message, memberFxn)                                                         \
    {static_cast<UINT>(message), 0, 0, 0,                                                      \
     [](::CWnd *w, WPARAM wp, LPARAM lp) -> LRESULT {                                          \
         return static_cast<ThisClass *>(w)->memberFxn(wp, lp);                                \
     }},

/// void memberFxn() for WM_COMMAND with code 0 (menu command, button click) from control id.
#define ON_COMMAND(id, memberFxn) ON_CONTROL(0, id, memberFxn)

/// void memberFxn() for WM_COMMAND with the given notification code from control id.
#define ON_CONTROL(code, id, memberFxn)                                                        \
    {WM_COMMAND, static_cast<UINT>(code), static_cast<UINT>(id), static_cast<UINT>(id),        \
     [](::CWnd *w, WPARAM, LPARAM) -> LRESULT {                                                \
         static_cast<ThisClass *>(w)->memberFxn();                                             \
         return 0;                                                                             \
     }},

/// void memberFxn(UINT id) for WM_COMMAND with code 0 from the controls id1 to id2.
#define ON_COMMAND_RANGE(id1, id2, memberFxn)                                                  \
    {WM_COMMAND, 0, static_cast<UINT>(id1), static_cast<UINT>(id2),                            \
     [](::CWnd *w, WPARAM wp, LPARAM) -> LRESULT {                                             \
         static_cast<ThisClass *>(w)->memberFxn(LOWORD(wp));                                   \
         return 0;                                                                             \
     }},

/// void memberFxn(NMHDR *pNMHDR, LRESULT *pResult) for WM_NOTIFY with code from control id.
#define ON_NOTIFY(code, id, memberFxn)                                                         \
    {WM_NOTIFY, static_cast<UINT>(code), static_cast<UINT>(id), static_cast<UINT>(id),         \
     [](::CWnd *w, WPARAM, LPARAM lp) -> LRESULT {                                             \
         LRESULT result = 0;                                                                   \
         static_cast<ThisClass *>(w)->memberFxn(reinterpret_cast<NMHDR *>(lp), &result);       \
         return result;                                                                        \
     }},

/// void OnTimer(UINT_PTR nIDEvent)
#define ON_WM_TIMER()                                                                          \
    {WM_TIMER, 0, 0, 0,                                                                        \
     [](::CWnd *w, WPARAM wp, LPARAM) -> LRESULT {                                             \
         static_cast<ThisClass *>(w)->OnTimer(static_cast<UINT_PTR>(wp));                      \
         return 0;                                                                             \
     }},

/// void OnDestroy()
#define ON_WM_DESTROY()                                                                        \
    {WM_DESTROY, 0, 0, 0,                                                                      \
     [](::CWnd *w, WPARAM, LPARAM) -> LRESULT {                                                \
         static_cast<ThisClass *>(w)->OnDestroy();                                             \
         return 0;                                                                             \
     }},

/// void OnClose()
#define ON_WM_CLOSE()                                                                          \
    {WM_CLOSE, 0, 0, 0,                                                                        \
     [](::CWnd *w, WPARAM, LPARAM) -> LRESULT {                                                \
         static_cast<ThisClass *>(w)->OnClose();                                               \
         return 0;                                                                             \
     }},
