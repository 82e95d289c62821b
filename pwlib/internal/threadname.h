// Name of the calling thread as the trace sink shows it.
#pragma once

#include <string>

namespace pwlib
{

/// The calling thread's name for diagnostics ("" until one is set).
const char *CurrentThreadName();
/// Sets the calling thread's diagnostic name.
void SetCurrentThreadName(const std::string &name);

} // namespace pwlib
