// Traffic masking: one-byte XOR masks on every H.323 byte, behind one process-wide switch.
//
// TCP streams (call signalling, a separate H.245 channel, the NAT link) are XORed byte by byte
// with the TCP mask, the TPKT header included. A datagram (RAS, RTP, RTCP) of n bytes has byte
// i XORed with the first UDP mask when i is odd or i = n - 1, with the second UDP mask
// otherwise. Both rules are their own inverse. The masking sits in the stack's transports
// through its traffic hook: with the switch off they are plain H.323.
#pragma once

#include <pwlib/ptypes.h>

#include <cstddef>

inline constexpr BYTE kTcpMask = 0xB4;
inline constexpr BYTE kFirstUdpMask = 0x1D;  ///< odd bytes of a datagram, and its last byte
inline constexpr BYTE kSecondUdpMask = 0xE6; ///< the other bytes

/// The masking setting of the shipped program: the endpoint turns the switch on with it, and
/// the NAT link masks its announcements when it equals 1.
inline constexpr int kTrafficMaskingSetting = 1;

/// Sets the process-wide switch (non-zero: on). Set once, before any transport exists.
void SetTrafficMasking(int value);
/// The value last given to SetTrafficMasking (0 at start).
int GetTrafficMasking();

/// Masks or unmasks n bytes of a TCP stream from in to out (in == out allowed).
void MaskStream(const BYTE *in, BYTE *out, size_t n);
/// Masks or unmasks one whole datagram of n bytes from in to out (in == out allowed).
void MaskDatagram(const BYTE *in, BYTE *out, size_t n);
