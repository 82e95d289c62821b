// Test hook: makes the process believe its executable lies elsewhere.
//
// Only tests include this header. The install directory of the settings store and every file
// name derived from the executable's path then point into a test's own directory.
#pragma once

namespace win::testing
{

/// Replaces the path that GetModuleFileNameA and win::ExecutablePath report (null: restore).
void OverrideExecutablePath(const char *path);

} // namespace win::testing
