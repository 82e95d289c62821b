// The main dialog's skin buttons: control id, layout entry, bitmaps and tooltip of each.
#pragma once

#include <win/windef.h>

struct SkinButtonSpec {
    int id;
    int entry; // in the layout table
    UINT normal, hover;
    UINT tooltip; // 0: none
};

/// The skin buttons placed in layout order; a button whose entry is not shown is hidden.
inline constexpr SkinButtonSpec kSkinButtons[] = {
    {1000, 1, 140, 141, 0},    {1001, 2, 142, 143, 0},    {1002, 3, 144, 145, 0},
    {1003, 4, 146, 147, 0},    {1004, 5, 148, 149, 0},    {1005, 6, 150, 151, 0},
    {1006, 7, 152, 153, 0},    {1007, 8, 154, 155, 0},    {1008, 9, 156, 157, 0},
    {1009, 0, 138, 139, 0},    {1010, 11, 158, 159, 0},   {1011, 10, 160, 161, 0},
    {1012, 17, 162, 163, 105}, {1013, 19, 164, 165, 106}, {1, 18, 166, 167, 107},
    {1014, 12, 174, 175, 109}, {1039, 32, 238, 239, 227}, {1034, 22, 170, 170, 0},
    {1035, 23, 172, 172, 0},   {1036, 36, 168, 168, 0},   {1015, 13, 230, 231, 114},
    {1017, 14, 232, 233, 115}, {1041, 15, 240, 241, 116}, {1037, 33, 181, 182, 108},
    {1016, 34, 234, 235, 192}, {1040, 31, 242, 243, 173}, {1038, 16, 236, 237, 172},
};

/// Placed on their own: send message starts disabled, the video button is always shown.
inline constexpr SkinButtonSpec kSendMessageButton = {1087, 37, 264, 264, 210};
inline constexpr SkinButtonSpec kVideoButton = {1042, 81, 268, 270, 110};
