// The skin layout records of the program: index then five values per entry.
#pragma once

#include <array>

namespace skingen {

struct FaceRecord {
    int index, a, b, c, d, e;
};

// Entry meanings: control entries are x, y, width, height, shown; slider entries are x,
// track top, track bottom, thumb width, thumb height; colour entries are red, green, blue.
inline constexpr std::array<FaceRecord, 52> kFaceRecords = {{
    // Keypad: 1-9 in three rows, then 11 (star), 0, 10 (hash).
    {1, 111, 177, 0, 0, 1},  {2, 156, 177, 0, 0, 1},  {3, 201, 177, 0, 0, 1},
    {4, 111, 202, 0, 0, 1},  {5, 156, 202, 0, 0, 1},  {6, 201, 202, 0, 0, 1},
    {7, 111, 227, 0, 0, 1},  {8, 156, 227, 0, 0, 1},  {9, 201, 227, 0, 0, 1},
    {11, 111, 252, 0, 0, 1}, {0, 156, 252, 0, 0, 1},  {10, 201, 252, 0, 0, 1},
    // Left column: System Config, PhoneBook, Rate, Last Number.
    {12, 28, 192, 0, 0, 1},  {15, 28, 214, 0, 0, 1},  {32, 28, 236, 0, 0, 1},
    {33, 28, 258, 0, 0, 1},
    // Call, hang-up, Quick Calls, Clear, video setting, send message. Entry 34 (the Log
    // button) is absent, so that button stays hidden.
    {13, 285, 176, 0, 0, 1}, {14, 254, 225, 0, 0, 1}, {16, 300, 123, 0, 0, 1},
    {31, 300, 95, 0, 0, 1},  {81, 254, 192, 0, 0, 1}, {37, 295, 222, 0, 0, 1},
    // Minimise, menu, exit.
    {17, 287, 19, 0, 0, 1},  {19, 303, 19, 0, 0, 1},  {18, 319, 19, 0, 0, 1},
    // Volume sliders: playback, microphone.
    {20, 39, 116, 180, 14, 6}, {21, 18, 116, 180, 14, 6},
    // Indicators: registration, call state, ringing.
    {22, 44, 54, 0, 0, 1},   {23, 44, 66, 0, 0, 1},   {36, 44, 78, 0, 0, 1},
    // Number box, status lines, call time.
    {24, 79, 57, 190, 17, 1}, {25, 85, 95, 0, 0, 1},  {26, 85, 108, 0, 0, 1},
    {27, 85, 122, 0, 0, 1},  {28, 85, 137, 0, 0, 1},  {29, 235, 96, 0, 0, 1},
    // Colours: status texts, edit text, highlight.
    {50, 255, 255, 255, 0, 1}, {52, 255, 255, 255, 0, 1}, {53, 0, 0, 0, 0, 1},
    {54, 253, 221, 179, 0, 1},
    // Menu panel: offset from the main window, five lines, title line, buttons, colours.
    {60, -337, 43, 0, 0, 1},
    {61, 45, 54, 120, 15, 1}, {62, 45, 73, 120, 15, 1}, {63, 45, 92, 120, 15, 1},
    {64, 45, 111, 120, 15, 1}, {65, 45, 130, 120, 15, 1},
    {71, 46, 19, 120, 15, 1},
    {66, 9, 80, 0, 0, 1},    {67, 9, 104, 0, 0, 1},   {68, 38, 167, 0, 0, 1},
    {69, 230, 230, 230, 0, 1}, {70, 255, 255, 255, 0, 1},
}};

} // namespace skingen
