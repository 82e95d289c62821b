// What the simulator's log shows of text that came from the network.
#pragma once

#include <string>
#include <string_view>

namespace servicesim {

/**
 * The text with every byte outside printable ASCII (control bytes, DEL, bytes of other code
 * pages) and the backslash written as "\xNN": a log line is one line of plain text whatever
 * a peer sent.
 */
inline std::string PrintableText(std::string_view text)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += char(c);
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

} // namespace servicesim
