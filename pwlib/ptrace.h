// PTrace: the diagnostic log sink and the PTRACE macro.
#pragma once

#include <ostream>

/// Diagnostic output of the library and the stack, by level (1 errors .. 6 everything).
///
/// Off by default. The environment variable KESTRELIN_TRACE=<level> switches it on at
/// start-up; output goes to stderr unless SetStream() names another stream. Each entry is
/// one line: seconds since start, thread name, source position, text.
class PTrace
{
  public:
    /// Entries up to this level are written; 0 writes only level-0 entries (assertions).
    static void SetLevel(unsigned level);
    static unsigned GetLevel();
    /// TRUE when an entry of this level would be written.
    static bool CanTrace(unsigned level);

    /// Sends entries to strm (nullptr: back to stderr). The stream must outlive its use.
    static void SetStream(std::ostream *strm);

    /// Starts an entry; the returned stream belongs to the calling thread until End().
    static std::ostream &Begin(unsigned level, const char *file, int line);
    /// Finishes the entry started by Begin() and writes it as one line.
    static std::ostream &End(std::ostream &strm);
};

/// PTRACE(3, "RAS\tsent " << n << " bytes"): writes one entry when the level is enabled;
/// the arguments are not evaluated otherwise.
#define PTRACE(level, args)                                                                        \
    do {                                                                                           \
        if (PTrace::CanTrace(level)) {                                                             \
            PTrace::Begin((level), __FILE__, __LINE__) << args << PTrace::End;                     \
        }                                                                                          \
    } while (0)
