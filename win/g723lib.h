// The G.723.1 coder library: one coder state per handle, one 30 ms frame per call.
//
// A frame is 240 samples of 16-bit PCM at 8000 Hz (480 bytes, native byte order). The encoder
// writes 6.3 kbit/s frames (24 bytes). The decoder takes a frame of any of the four kinds that
// the low two bits of its first byte name: 0 = 6.3 kbit/s speech (24 bytes), 1 = 5.3 kbit/s
// speech (20 bytes), 2 = silence insertion descriptor (4 bytes), 3 = untransmitted (1 byte);
// SID and untransmitted frames give comfort noise.
//
// A frame shorter than its kind's length, no bytes at all, or a speech frame with a forbidden
// pitch lag or gain code is an erased frame: after speech the last frame is repeated and faded
// for two frames and the third erasure in a row on is silence; during silence the comfort
// noise goes on. No input bytes make a decode call fail.
//
// Each handle is used from one thread at a time; any number of handles may be in use at once,
// each on its own thread. The coder is libavcodec's G.723.1 encoder and decoder.
#pragma once

#include <win/windef.h>

extern "C" {

/// A new encoder state; 0 when none can be created.
DWORD g723_enc_init();
/// A new decoder state; 0 when none can be created.
DWORD g723_dec_init();

/// Encodes the first 480 bytes of pcm (at least 480) into one 24-byte frame at out (room for at
/// least 24). Returns the number of bytes written, or -1 (unknown encoder handle, short
/// buffers); nothing is written on failure.
int g723_encode(DWORD encoder, const void *pcm, unsigned pcmBytes, BYTE *out, unsigned outBytes);

/// Decodes the frame at in (inBytes available; only the frame's own length is read) into 480
/// bytes of pcm (room for at least 480). Returns 480, or -1 for an unknown decoder handle or a
/// short PCM buffer (nothing written) and for an internal coder failure (pcm gets silence).
int g723_decode(DWORD decoder, const BYTE *in, unsigned inBytes, void *pcm, unsigned pcmBytes);

/// Releases an encoder state; unknown handles (0 included) are ignored.
void g723_enc_cleanup(DWORD encoder);
/// Releases a decoder state; unknown handles (0 included) are ignored.
void g723_dec_cleanup(DWORD decoder);

} // extern "C"
