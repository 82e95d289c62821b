// Drawing of the skin: the phone body, its buttons and indicators, and the menu panel.
#pragma once

#include <QImage>
#include <QRegion>
#include <QString>

#include <map>

namespace skingen {

enum class Language { English, Simplified, Traditional };

struct Art {
    std::map<int, QImage> bitmaps; // bitmap resource id -> picture
    std::map<int, QImage> icons;   // icon resource id -> picture
    QImage handCursor;             // cursor 135
    QPoint handHotSpot;
    QRegion mainShape;  // region "BACKGROUND"
    QRegion panelShape; // region "PHONEBOOK"
};

// Window sizes of the two skinned dialogs, in pixels.
inline constexpr int kMainWidth = 345, kMainHeight = 292;
inline constexpr int kPanelWidth = 180, kPanelHeight = 196;

Art DrawSkin(Language language);

} // namespace skingen
