// MD5 message digest (RFC 1321) and the hexadecimal text form of a digest.
#pragma once

#include <cstdint>

/** RFC 1321 context: chaining state, bit count modulo 2^64 (low word first), pending input. */
struct MD5_CTX {
    uint32_t state[4];
    uint32_t count[2];
    unsigned char buffer[64];
};

/** Starts a new digest. */
void MD5Init(MD5_CTX *context);

/** Adds len bytes of input to the digest. */
void MD5Update(MD5_CTX *context, const unsigned char *input, unsigned int len);

/** Pads, writes the 16-byte digest, then clears the whole context to zero. */
void MD5Final(unsigned char digest[16], MD5_CTX *context);

// Inner steps: one 64-byte block, and words to little-endian bytes and back.
void MD5Transform(uint32_t state[4], const unsigned char block[64]);
void MD5Encode(unsigned char *output, const uint32_t *input, unsigned int len);
void MD5Decode(uint32_t *output, const unsigned char *input, unsigned int len);

/**
 * Digest of a zero-terminated byte string as 32 lowercase hexadecimal characters.
 * The text lives in one static buffer that every call overwrites (not reentrant).
 */
const char *MD5String(const char *text);
