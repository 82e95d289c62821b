// Numbers of the window messages that reach the main dialog and the menu panel.
#pragma once

// Main dialog, WM_USER (0x400) + 108 to + 140. P = posted, S = sent and waited for.
inline constexpr unsigned int WM_CALL_RINGING_IN = 0x46c;      // P  0 / 0
inline constexpr unsigned int WM_CALL_CONNECTED = 0x46d;       // P  0 / 0
inline constexpr unsigned int WM_CALL_CLEARED = 0x46e;         // P  end reason / 1, or 0 / 0
inline constexpr unsigned int WM_GK_REJECT_104 = 0x46f;        // P  104 / 0
inline constexpr unsigned int WM_START_REGISTRATION = 0x470;   // P  0 / 0
inline constexpr unsigned int WM_ACCOUNT_IN_USE = 0x471;       // P  102 or 103 / 0
inline constexpr unsigned int WM_GK_UNREGISTERED = 0x472;      // P  0 / 0
inline constexpr unsigned int WM_GK_REGISTERED = 0x473;        // P  0 / 0
inline constexpr unsigned int WM_REGISTRATION_FAILED = 0x474;  // P  0 / 0
inline constexpr unsigned int WM_AUDIO_DEVICE_CHANGED = 0x475; // P  play / record flags
inline constexpr unsigned int WM_CALL_FORWARDED = 0x477;       // P  0 / 0
inline constexpr unsigned int WM_CALL_ALERTING = 0x478;        // P  0 / 0
inline constexpr unsigned int WM_TRAY_NOTIFY = 0x479;          // P  icon id / mouse message
inline constexpr unsigned int WM_HANDSET_EVENT = 0x47a;        // P  the driver's two values
inline constexpr unsigned int WM_VOLUME_CHANGED = 0x47b;       // P  0 / 0
inline constexpr unsigned int WM_LANGUAGE_CHANGED = 0x47c;     // P  0 / 0
inline constexpr unsigned int WM_SVC_AUTH_OK = 0x47d;          // S  0 / 0
inline constexpr unsigned int WM_SVC_AUTH_FAILED = 0x47e;      // S  0 / 0
inline constexpr unsigned int WM_SVC_KICKED = 0x47f;           // S  0 / 0
inline constexpr unsigned int WM_SVC_RELOGIN = 0x480;          // S  0 / 0
inline constexpr unsigned int WM_SVC_HELO_FAILED = 0x481;      // S  0 / 0
inline constexpr unsigned int WM_SVC_HELO_OK = 0x482;          // S  0 / 0
inline constexpr unsigned int WM_SVC_LIVE_OK = 0x483;          // S  0 / 0
inline constexpr unsigned int WM_SVC_LIVE_REFUSED = 0x484;     // S  0 / 0
inline constexpr unsigned int WM_SVC_ACK = 0x489;              // S  0 / 0
inline constexpr unsigned int WM_CHAT_TEXT = 0x48a;            // S  text / 0
inline constexpr unsigned int WM_SHOW_TIME = 0x48b;            // S  remaining time / 0
inline constexpr unsigned int WM_SHOW_BALANCE = 0x48c;         // S  balance text / 0

// Main dialog, after the table: a call's sound device could not be opened (the call is being
// cleared). P  1 recording (input) or 0 playing (output) / 0
inline constexpr unsigned int WM_SOUND_DEVICE_FAILED = 0x48f;

// Menu panel: posted by a panel line to the panel, 0 / 0.
inline constexpr unsigned int WM_PANEL_LINE_MENU = 0x469;

// Mixer line change notice (mixer handle / control id), posted to the mixer's window.
#ifndef MM_MIXM_CONTROL_CHANGE
#define MM_MIXM_CONTROL_CHANGE 0x3d1
#endif
