// Text that a peer sends in a message field.
#pragma once

#include <string>

namespace h323 {

/**
 * The text without the zero bytes that some implementations leave at its end (a C string's
 * terminator sent as part of the field: "anc\0", "4\0").
 */
inline std::string TrimTrailingNuls(std::string text)
{
    size_t end = text.find_last_not_of('\0');
    text.erase(end == std::string::npos ? 0 : end + 1);
    return text;
}

} // namespace h323
