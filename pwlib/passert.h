// PAssert: assertions that report their text and let the caller fail, never abort.
#pragma once

#include <pwlib/ptypes.h>

#include <functional>

/// Reports a failed assertion through the assertion handler; always returns FALSE.
BOOL PAssertFunc(const char *file, int line, const char *className, const char *msg);

/// TRUE when cond holds; otherwise reports msg and gives FALSE, so a caller can write
/// `if (!PAssert(ok, "text")) return FALSE;`.
#define PAssert(cond, msg) ((cond) ? TRUE : PAssertFunc(__FILE__, __LINE__, nullptr, (msg)))
/// Reports msg unconditionally; gives FALSE.
#define PAssertAlways(msg) PAssertFunc(__FILE__, __LINE__, nullptr, (msg))

namespace pwlib
{

/// Receives every failed assertion: source file, line and text.
using AssertHandler = std::function<void(const char *file, int line, const char *msg)>;

/// Installs the handler for failed assertions and returns the previous one. An empty
/// handler restores the default, which writes the text to the trace sink at level 0
/// (always shown).
AssertHandler SetAssertHandler(AssertHandler handler);

} // namespace pwlib
