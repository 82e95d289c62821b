// The process-wide ANSI code page: its lead bytes and conversion to and from UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace win
{

/// Selects the ANSI code page by its iconv name ("GBK" until changed); FALSE if iconv lacks it.
/// Set it at start-up, before other threads use text.
bool SetAnsiCodePage(const char *iconvName);

/// The iconv name of the ANSI code page in force.
std::string GetAnsiCodePage();

/// TRUE when the byte starts a two-byte character in the ANSI code page.
bool IsLeadByte(unsigned char c);

/// Length in bytes (1 or 2) of the character that starts at s[i] of a text of n bytes: 2 for a
/// lead byte followed by a valid trail byte, otherwise 1 (a stray lead byte stands alone).
size_t CharLengthAt(const char *s, size_t n, size_t i);

/// ANSI bytes to UTF-8; a byte sequence that is not valid in the code page becomes U+FFFD.
std::string AnsiToUtf8(std::string_view ansi);

/// UTF-8 to ANSI bytes; a character the code page cannot hold, or invalid UTF-8, becomes '?'.
std::string Utf8ToAnsi(std::string_view utf8);

} // namespace win
