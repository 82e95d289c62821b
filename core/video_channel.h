// The media path of a call's video logical channel: the capture device or test pattern for
// transmission, the chat window's displays for reception and the local preview.
#pragma once

#include <pwlib/pstring.h>

#include <win/windef.h>

class CSettings;
class CVideoWindow;
class H323Connection;
class H323VideoCodec;

/// What the channel's devices need to know of the call.
struct VideoCallParties {
    PString remoteApplication; // a peer whose application text holds "NetMeeting" is not flipped
    PString remoteName;        // names the display of the received picture
    PString localName;         // names the local preview
};

/// The test pattern's device name, used when video option 9 chooses no capture driver.
inline constexpr const char *kMovingLinePattern = "Frame test N.0 - Moving line";

/// The body of the endpoint's OpenVideoChannel. Builds a PVideoChannel and attaches it to the
/// codec (which owns it): for reception a CVideoDevice into the chat window's remote area;
/// for transmission (only when autoStartTransmit) the capture device named by video option 9,
/// falling back to the moving-line pattern, plus the local preview when option 2 is set.
/// The chat window (may be null) gets the video-in-call flag and the channel pointers; the
/// endpoint must call its ForgetVideoChannel before the codec deletes the channel.
/// Returns the codec's AttachChannel result; FALSE for a transmit channel not auto-started.
BOOL OpenCallVideoChannel(CVideoWindow *chatWindow, const CSettings &settings,
                          BOOL autoStartTransmit, const VideoCallParties &parties, BOOL isEncoding,
                          H323VideoCodec &codec);

/// The same for a connection of the stack: its endpoint's auto-start transmit flag, the
/// remote application, the remote and the local party names.
BOOL OpenCallVideoChannel(CVideoWindow *chatWindow, const CSettings &settings,
                          H323Connection &connection, BOOL isEncoding, H323VideoCodec &codec);
