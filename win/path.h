// Mapping of the program's Windows-style paths onto the file system.
#pragma once

#include <win/cstring.h>

#include <string>

namespace win
{

/// Maps a path as the program builds it to a file-system path: every '\' (outside two-byte
/// characters) becomes '/', runs of separators collapse to one, and a component that does not
/// exist under its exact name takes the name of an existing entry of its directory that differs
/// only in ASCII case (the first in byte order when several do). A component with no such entry
/// is kept as written, so the path can be used to create it.
std::string MapPath(const char *path);

/// Text made safe as part of one file name: '%' becomes "%25", '/' "%2F", '\' "%5C" and a zero
/// byte "%00"; other bytes are kept. Distinct texts give distinct names, so an account name cannot
/// reach outside its file's directory or share another account's file.
CString EscapeFileNamePart(const CString &text);

} // namespace win
