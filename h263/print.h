// The H.263 print hook: every message of the encoder and the decoder goes through it.
#pragma once

#include <cstdio>

/** Hook that receives each formatted message; null drops messages without formatting. */
typedef void (*H263DebugPrintHook)(const char *text);

/** Installs the process-wide hook (null removes it). */
void SetH263DebugPrint(H263DebugPrintHook hook);

/** Formats into a 1024-byte buffer and hands the text to the hook; always returns 0. */
int H263Printf(const char *format, ...) __attribute__((format(printf, 1, 2)));

/** As H263Printf; the stream is ignored. */
int H263Fprintf(FILE *stream, const char *format, ...) __attribute__((format(printf, 2, 3)));
