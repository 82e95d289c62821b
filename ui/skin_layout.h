// The skin layout table: positions, sizes and colours of the skin, from resource "FACE".
#pragma once

#include <cstdint>

/// One layout entry: five values whose meaning depends on the entry (x, y, width, height,
/// shown; or red, green, blue), and a sixth word the loader leaves alone.
struct SkinLayoutEntry {
    int32_t a = 0, b = 0, c = 0, d = 0, e = 0;
    int32_t spare = 0;
};

inline constexpr int kSkinLayoutEntries = 100;

/// Fills the table from "IDR_FACE" of type "FACE" in the current resource module: all
/// entries zeroed, then at most 80 records of index and five values, ended by -1. An index
/// outside 0-99 consumes only its own word. A missing resource leaves every entry zero.
void LoadFaceTable(SkinLayoutEntry (&table)[kSkinLayoutEntries]);
