// Test fixtures: one built instance of every message the stack sends or receives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace h323test {

struct CatalogEntry {
    enum Kind { Ras, Signal, H245 } kind;
    std::string name;
    std::vector<uint8_t> bytes; // RAS: the RasMessage; Signal: the Q.931 message; H245: the PDU
    /** Lines tshark -V must show for this message (the values the builder set). */
    std::vector<std::string> expect;
};

/** Every message of the catalogue, encoded; a failed encode throws. */
const std::vector<CatalogEntry> &message_catalog();

} // namespace h323test
