// The skin's pictures, drawn with Qt's painter so that every build makes the same art.
#include "skin_art.h"

#include "face_layout.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace skingen {
namespace {

const QString kFontFamily = QStringLiteral("WenQuanYi Micro Hei");

// Palette of the phone.
const QColor kBodyTop(74, 84, 99), kBodyBottom(37, 43, 54), kBodyEdge(18, 21, 27);
const QColor kBezel(24, 28, 35), kScreenTop(22, 48, 74), kScreenBottom(12, 28, 46);
const QColor kNumberStrip(169, 198, 214);
const QColor kKeyTop(236, 239, 243), kKeyBottom(196, 203, 212), kKeyText(38, 44, 54);
const QColor kAccent(253, 221, 179);

QPoint Pos(int index)
{
    for (const auto &r : kFaceRecords)
        if (r.index == index)
            return {r.a, r.b};
    return {};
}

QFont Font(int pixelSize, bool bold = false)
{
    QFont f(kFontFamily);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

QPainterPath MainBodyPath()
{
    QPainterPath p;
    p.addRoundedRect(QRectF(1.5, 1.5, kMainWidth - 3, kMainHeight - 3), 28, 28);
    return p;
}

QPainterPath ScreenPath()
{
    QPainterPath upper, lower;
    upper.addRoundedRect(QRectF(36, 30, 246, 72), 9, 9);
    lower.addRoundedRect(QRectF(70, 60, 212, 98), 9, 9);
    return upper.united(lower).simplified();
}

QPainterPath PanelBodyPath()
{
    QPainterPath p;
    p.addRoundedRect(QRectF(1.5, 1.5, kPanelWidth - 3, kPanelHeight - 3), 22, 22);
    return p;
}

// The region covered by a filled path, pixel by pixel as the painter covers it.
QRegion RegionOf(const QPainterPath &path, int w, int h)
{
    QImage mask(w, h, QImage::Format_ARGB32);
    mask.fill(Qt::transparent);
    {
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.fillPath(path, Qt::black);
    }
    QRegion region;
    for (int y = 0; y < h; ++y) {
        int x = 0;
        while (x < w) {
            while (x < w && qAlpha(mask.pixel(x, y)) < 128)
                ++x;
            int start = x;
            while (x < w && qAlpha(mask.pixel(x, y)) >= 128)
                ++x;
            if (x > start)
                region += QRect(start, y, x - start, 1);
        }
    }
    return region;
}

void DrawBody(QPainter &p, const QPainterPath &body, int w, int h)
{
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, kBodyTop);
    g.setColorAt(0.55, QColor(52, 60, 72));
    g.setColorAt(1, kBodyBottom);
    p.fillPath(body, g);
    // Highlight along the upper rim, shade along the lower one.
    QLinearGradient rim(0, 0, 0, h);
    rim.setColorAt(0, QColor(255, 255, 255, 110));
    rim.setColorAt(0.25, QColor(255, 255, 255, 0));
    rim.setColorAt(0.8, QColor(0, 0, 0, 0));
    rim.setColorAt(1, QColor(0, 0, 0, 120));
    p.setPen(QPen(QBrush(rim), 2.0));
    p.drawPath(body);
    p.setPen(QPen(kBodyEdge, 1.0));
    QPainterPath inner;
    inner.addRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 28, 28);
    p.drawPath(body);
}

void DrawScreen(QPainter &p, const QPainterPath &screen)
{
    QRectF b = screen.boundingRect();
    p.save();
    p.translate(0, 1);
    p.fillPath(screen, QColor(255, 255, 255, 40)); // lower bevel highlight
    p.restore();
    p.fillPath(screen.translated(0, -1), QColor(0, 0, 0, 140));
    QLinearGradient g(b.topLeft(), b.bottomLeft());
    g.setColorAt(0, kScreenTop);
    g.setColorAt(1, kScreenBottom);
    p.fillPath(screen, g);
    // A faint glass reflection over the top of the screen.
    QLinearGradient glass(b.topLeft(), QPointF(b.left(), b.top() + 40));
    glass.setColorAt(0, QColor(255, 255, 255, 34));
    glass.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillPath(screen, glass);
    p.setPen(QPen(QColor(0, 0, 0, 160), 1));
    p.drawPath(screen);
}

void DrawSpeakerGrille(QPainter &p)
{
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 6; ++i) {
        QRectF slot(150 + i * 9, 13, 5, 10);
        p.setBrush(QColor(16, 19, 24));
        p.drawRoundedRect(slot, 2.5, 2.5);
        p.setBrush(QColor(255, 255, 255, 40));
        p.drawRoundedRect(slot.translated(0, 1).adjusted(0, 8, 0, 0), 1, 1);
    }
}

void DrawBrand(QPainter &p, QPointF at, int size, QColor colour)
{
    p.setFont(Font(size, true));
    p.setPen(QColor(0, 0, 0, 120));
    p.drawText(at + QPointF(0, 1), QStringLiteral("Kestrelin"));
    p.setPen(colour);
    p.drawText(at, QStringLiteral("Kestrelin"));
}

void DrawSpeakerGlyph(QPainter &p, QPointF at, QColor c)
{
    QPainterPath s;
    s.moveTo(at + QPointF(0, 2));
    s.lineTo(at + QPointF(2, 2));
    s.lineTo(at + QPointF(5, 0));
    s.lineTo(at + QPointF(5, 7));
    s.lineTo(at + QPointF(2, 5));
    s.lineTo(at + QPointF(0, 5));
    s.closeSubpath();
    p.fillPath(s, c);
    p.setPen(QPen(c, 0.9));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(at + QPointF(3, 0.5), QSizeF(5, 6)), -60 * 16, 120 * 16);
}

void DrawMicGlyph(QPainter &p, QPointF at, QColor c)
{
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(at + QPointF(2, 0), QSizeF(3, 5)), 1.5, 1.5);
    p.setPen(QPen(c, 0.9));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(at + QPointF(0.5, 1), QSizeF(6, 5)), 180 * 16, 180 * 16);
    p.drawLine(at + QPointF(3.5, 6), at + QPointF(3.5, 7.5));
}

void DrawSliderTracks(QPainter &p)
{
    for (int entry : {20, 21}) {
        const FaceRecord *r = nullptr;
        for (const auto &f : kFaceRecords)
            if (f.index == entry)
                r = &f;
        double cx = r->a + r->d / 2.0;
        QRectF groove(cx - 2, r->b, 4, r->c - r->b + r->e);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(12, 14, 18));
        p.drawRoundedRect(groove, 2, 2);
        p.setBrush(QColor(255, 255, 255, 35));
        p.drawRect(QRectF(groove.right() - 0.5, groove.top() + 2, 0.5, groove.height() - 4));
        p.setPen(QPen(QColor(150, 160, 175), 1));
        for (int i = 0; i <= 4; ++i) {
            double y = r->b + r->e / 2.0 + (r->c - r->b) * i / 4.0;
            p.drawLine(QPointF(cx - 6, y), QPointF(cx - 4, y));
            p.drawLine(QPointF(cx + 4, y), QPointF(cx + 6, y));
        }
        QColor glyph(200, 208, 220);
        if (entry == 20)
            DrawSpeakerGlyph(p, QPointF(r->a + 2.5, r->b - 11), glyph);
        else
            DrawMicGlyph(p, QPointF(r->a + 3.5, r->b - 11), glyph);
    }
}

void DrawLevelCaptions(QPainter &p)
{
    QColor c(150, 185, 210);
    DrawSpeakerGlyph(p, QPointF(196, 36), c);
    DrawMicGlyph(p, QPointF(197, 45.5), c);
}

void DrawKeypadWell(QPainter &p)
{
    QRectF well(104, 170, 144, 108);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawRoundedRect(well, 10, 10);
    p.setPen(QPen(QColor(255, 255, 255, 30), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(well.adjusted(0.5, 1.5, -0.5, -0.5), 10, 10);
}

QImage Crop(const QImage &background, QPoint at, QSize size)
{
    return background.copy(QRect(at, size)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// A button's face: a rounded plate with a vertical gradient, pressed or raised.
void DrawPlate(QPainter &p, QRectF r, QColor top, QColor bottom, bool pressed, qreal radius)
{
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, pressed ? 60 : 110));
    p.drawRoundedRect(r.translated(0, pressed ? 0.5 : 1.2), radius, radius);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, pressed ? bottom.darker(108) : top);
    g.setColorAt(1, pressed ? top.darker(104) : bottom);
    p.setBrush(g);
    p.setPen(QPen(bottom.darker(150), 1));
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    if (!pressed) {
        p.setPen(QPen(QColor(255, 255, 255, 120), 1));
        p.setBrush(Qt::NoBrush);
        QRectF hi = r.adjusted(1.5, 1.5, -1.5, -r.height() / 2);
        p.drawLine(QPointF(hi.left() + radius / 2, hi.top()),
                   QPointF(hi.right() - radius / 2, hi.top()));
    }
}

struct KeyFace {
    int bitmap;
    int entry;
    QString digit;
    QString letters;
};

QImage DrawKey(const QImage &bg, QPoint at, const KeyFace &k, bool lit)
{
    QImage img = Crop(bg, at, {40, 21});
    QPainter p(&img);
    QRectF r(1, 1, 38, 18);
    QColor top = lit ? QColor(255, 236, 205) : kKeyTop;
    QColor bottom = lit ? QColor(240, 196, 140) : kKeyBottom;
    DrawPlate(p, r, top, bottom, lit, 6);
    p.setPen(kKeyText);
    if (k.letters.isEmpty()) {
        p.setFont(Font(14, true));
        p.drawText(r.translated(0, lit ? 1 : 0), Qt::AlignCenter, k.digit);
    } else {
        p.setFont(Font(13, true));
        p.drawText(QRectF(4, lit ? 2 : 1, 16, 17), Qt::AlignCenter, k.digit);
        p.setFont(Font(7));
        p.setPen(QColor(90, 98, 112));
        p.drawText(QRectF(18, lit ? 2 : 1, 19, 17), Qt::AlignVCenter | Qt::AlignLeft, k.letters);
    }
    return img;
}

using Glyph = void (*)(QPainter &, QRectF, QColor);

void GlyphHandset(QPainter &p, QRectF r, QColor c)
{
    // A telephone handset lying diagonally.
    QPainterPath h;
    double s = std::min(r.width(), r.height());
    QPointF o = r.center() - QPointF(s / 2, s / 2);
    auto P = [&](double x, double y) { return o + QPointF(x * s, y * s); };
    h.moveTo(P(0.16, 0.10));
    h.cubicTo(P(0.04, 0.22), P(0.08, 0.52), P(0.30, 0.74));
    h.cubicTo(P(0.50, 0.94), P(0.78, 0.98), P(0.90, 0.86));
    h.lineTo(P(0.94, 0.80));
    h.lineTo(P(0.74, 0.62));
    h.lineTo(P(0.64, 0.70));
    h.cubicTo(P(0.52, 0.66), P(0.36, 0.50), P(0.32, 0.38));
    h.lineTo(P(0.40, 0.28));
    h.lineTo(P(0.22, 0.06));
    h.closeSubpath();
    p.fillPath(h, c);
}

void GlyphHangup(QPainter &p, QRectF r, QColor c)
{
    p.save();
    p.translate(r.center());
    p.rotate(135);
    p.translate(-r.center());
    GlyphHandset(p, r, c);
    p.restore();
}

void GlyphGear(QPainter &p, QRectF r, QColor c)
{
    QPointF m = r.center();
    double R = std::min(r.width(), r.height()) / 2;
    QPainterPath g;
    for (int i = 0; i < 16; ++i) {
        double a0 = i * M_PI / 8, rad = (i % 2) ? R * 0.72 : R;
        double a1 = a0 + M_PI / 8;
        QPointF p0 = m + QPointF(std::cos(a0) * rad, std::sin(a0) * rad);
        QPointF p1 = m + QPointF(std::cos(a1) * rad, std::sin(a1) * rad);
        if (i == 0)
            g.moveTo(p0);
        else
            g.lineTo(p0);
        g.lineTo(p1);
    }
    g.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(m, R * 0.32, R * 0.32);
    p.fillPath(g.subtracted(hole), c);
}

void GlyphBook(QPainter &p, QRectF r, QColor c)
{
    QRectF b = r.adjusted(r.width() * 0.18, 0, -r.width() * 0.18, 0);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(b, 1.5, 1.5);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawRect(QRectF(b.left() + 2.5, b.top() + 2, b.width() - 4.5, 2));
    p.setPen(QPen(c.lighter(160), 1));
    p.drawLine(QPointF(b.left() + 1.5, b.top() + 1), QPointF(b.left() + 1.5, b.bottom() - 1));
}

void GlyphCoin(QPainter &p, QRectF r, QColor c)
{
    double s = std::min(r.width(), r.height());
    QRectF e(r.center().x() - s / 2, r.center().y() - s / 2, s, s);
    p.setPen(QPen(c, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(e.adjusted(0.7, 0.7, -0.7, -0.7));
    p.setFont(Font(int(s * 0.75), true));
    p.setPen(c);
    p.drawText(e, Qt::AlignCenter, QStringLiteral("$"));
}

void GlyphRedial(QPainter &p, QRectF r, QColor c)
{
    double s = std::min(r.width(), r.height());
    QRectF e(r.center().x() - s / 2 + 1, r.center().y() - s / 2 + 1, s - 2, s - 2);
    p.setPen(QPen(c, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(e, 60 * 16, 270 * 16);
    QPointF tip(e.center().x() + e.width() / 2 * std::cos(M_PI / 3),
                e.center().y() - e.height() / 2 * std::sin(M_PI / 3));
    QPainterPath a;
    a.moveTo(tip + QPointF(-3.5, -1.5));
    a.lineTo(tip + QPointF(1.5, -2.5));
    a.lineTo(tip + QPointF(0.5, 2.5));
    a.closeSubpath();
    p.fillPath(a, c);
}

void GlyphStar(QPainter &p, QRectF r, QColor c)
{
    QPainterPath s;
    QPointF m = r.center();
    double R = std::min(r.width(), r.height()) / 2;
    for (int i = 0; i < 10; ++i) {
        double a = -M_PI / 2 + i * M_PI / 5, rad = (i % 2) ? R * 0.45 : R;
        QPointF pt = m + QPointF(std::cos(a) * rad, std::sin(a) * rad);
        if (i == 0)
            s.moveTo(pt);
        else
            s.lineTo(pt);
    }
    s.closeSubpath();
    p.fillPath(s, c);
}

void GlyphClear(QPainter &p, QRectF r, QColor c)
{
    // A backspace key: a pentagon pointing left with a cross.
    QPainterPath k;
    k.moveTo(r.left(), r.center().y());
    k.lineTo(r.left() + r.width() * 0.32, r.top());
    k.lineTo(r.right(), r.top());
    k.lineTo(r.right(), r.bottom());
    k.lineTo(r.left() + r.width() * 0.32, r.bottom());
    k.closeSubpath();
    p.fillPath(k, c);
    p.setPen(QPen(QColor(255, 255, 255), 1.3, Qt::SolidLine, Qt::RoundCap));
    QPointF m(r.left() + r.width() * 0.64, r.center().y());
    double d = r.height() * 0.22;
    p.drawLine(m + QPointF(-d, -d), m + QPointF(d, d));
    p.drawLine(m + QPointF(-d, d), m + QPointF(d, -d));
}

void GlyphCamera(QPainter &p, QRectF r, QColor c)
{
    QRectF body(r.left(), r.top() + r.height() * 0.2, r.width() * 0.66, r.height() * 0.6);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(body, 2, 2);
    QPainterPath lens;
    lens.moveTo(body.right() + 1, body.center().y());
    lens.lineTo(r.right(), body.top());
    lens.lineTo(r.right(), body.bottom());
    lens.closeSubpath();
    p.fillPath(lens, c);
}

void GlyphMessage(QPainter &p, QRectF r, QColor c)
{
    QPainterPath b;
    QRectF box = r.adjusted(0, 0, 0, -r.height() * 0.25);
    b.addRoundedRect(box, 3, 3);
    QPainterPath tail;
    tail.moveTo(box.left() + box.width() * 0.25, box.bottom() - 1);
    tail.lineTo(box.left() + box.width() * 0.2, r.bottom());
    tail.lineTo(box.left() + box.width() * 0.5, box.bottom() - 1);
    tail.closeSubpath();
    p.fillPath(b.united(tail), c);
    p.setPen(QPen(QColor(255, 255, 255, 200), 1));
    for (int i = 0; i < 2; ++i)
        p.drawLine(QPointF(box.left() + 4, box.top() + 4 + i * 3.5),
                   QPointF(box.right() - 4 - i * 5, box.top() + 4 + i * 3.5));
}

void GlyphMinimise(QPainter &p, QRectF r, QColor c)
{
    p.fillRect(QRectF(r.left() + 1, r.bottom() - 2, r.width() - 2, 2), c);
}

void GlyphMenu(QPainter &p, QRectF r, QColor c)
{
    for (int i = 0; i < 3; ++i)
        p.fillRect(QRectF(r.left() + 0.5, r.top() + 1 + i * 3, r.width() - 1, 1.6), c);
}

void GlyphClose(QPainter &p, QRectF r, QColor c)
{
    p.setPen(QPen(c, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(r.topLeft() + QPointF(1, 1), r.bottomRight() - QPointF(1, 1));
    p.drawLine(r.bottomLeft() + QPointF(1, -1), r.topRight() + QPointF(-1, 1));
}

void GlyphArrow(QPainter &p, QRectF r, QColor c, int direction)
{
    // direction: 0 up, 1 down, 2 left
    QPainterPath a;
    QPointF m = r.center();
    double w = r.width() / 2, h = r.height() / 2;
    if (direction == 0) {
        a.moveTo(m + QPointF(0, -h));
        a.lineTo(m + QPointF(w, h));
        a.lineTo(m + QPointF(-w, h));
    } else if (direction == 1) {
        a.moveTo(m + QPointF(0, h));
        a.lineTo(m + QPointF(w, -h));
        a.lineTo(m + QPointF(-w, -h));
    } else {
        a.moveTo(m + QPointF(-w, 0));
        a.lineTo(m + QPointF(w, -h));
        a.lineTo(m + QPointF(w, h));
    }
    a.closeSubpath();
    p.fillPath(a, c);
}

struct ButtonLook {
    QColor top, bottom, glyph;
};

ButtonLook Look(const QString &kind, bool lit)
{
    if (kind == "green")
        return lit ? ButtonLook{QColor(140, 230, 140), QColor(40, 150, 60), Qt::white}
                   : ButtonLook{QColor(110, 205, 115), QColor(30, 125, 50), Qt::white};
    if (kind == "red")
        return lit ? ButtonLook{QColor(250, 140, 130), QColor(190, 40, 40), Qt::white}
                   : ButtonLook{QColor(235, 110, 100), QColor(160, 30, 35), Qt::white};
    if (kind == "dark")
        return lit ? ButtonLook{QColor(110, 124, 142), QColor(64, 74, 88), kAccent}
                   : ButtonLook{QColor(92, 104, 120), QColor(46, 54, 66), QColor(226, 232, 240)};
    if (kind == "grey")
        return {QColor(120, 126, 136), QColor(84, 90, 100), QColor(160, 166, 176)};
    return lit ? ButtonLook{QColor(255, 236, 205), QColor(240, 196, 140), kKeyText}
               : ButtonLook{kKeyTop, kKeyBottom, kKeyText};
}

QImage DrawButton(const QImage &bg, QPoint at, QSize size, const QString &kind, bool lit,
                  Glyph glyph, double radius, double glyphSize)
{
    QImage img = Crop(bg, at, size);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    ButtonLook look = Look(kind, lit);
    QRectF r(1, 1, size.width() - 2, size.height() - 3);
    DrawPlate(p, r, look.top, look.bottom, lit, radius);
    QRectF g(0, 0, glyphSize, glyphSize);
    g.moveCenter(r.center() + QPointF(0, lit ? 0.5 : 0));
    glyph(p, g, look.glyph);
    return img;
}

QImage DrawIndicator(const QImage &bg, QPoint at, int kind, bool on)
{
    // kind 0 registration (antenna), 1 call state (handset), 2 ringing (bell)
    QImage img = Crop(bg, at, {28, 10});
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    QColor dim(70, 100, 130), lit = kind == 2 ? QColor(255, 196, 90) : QColor(120, 230, 140);
    QColor c = on ? lit : dim;
    if (kind == 0) {
        for (int i = 0; i < 4; ++i) {
            QColor bar = (on || i == 0) ? c : dim;
            p.fillRect(QRectF(3 + i * 4, 8 - (i + 1) * 2, 2.5, (i + 1) * 2), bar);
        }
        p.setFont(Font(7, true));
        p.setPen(c);
        p.drawText(QRectF(19, 0, 9, 10), Qt::AlignCenter, QStringLiteral("R"));
    } else if (kind == 1) {
        GlyphHandset(p, QRectF(2, 0, 10, 10), c);
        if (on) {
            p.setPen(QPen(c, 1));
            p.drawArc(QRectF(11, 1, 6, 8), -50 * 16, 100 * 16);
            p.drawArc(QRectF(13, -1, 9, 12), -50 * 16, 100 * 16);
        }
    } else {
        QPainterPath bell;
        bell.moveTo(4, 8);
        bell.cubicTo(5, 6, 5, 1, 8, 1);
        bell.cubicTo(11, 1, 11, 6, 12, 8);
        bell.closeSubpath();
        p.fillPath(bell, c);
        p.fillRect(QRectF(7, 8.2, 2, 1.5), c);
        if (on) {
            p.setPen(QPen(c, 1));
            p.drawLine(QPointF(14, 2), QPointF(16.5, 0.5));
            p.drawLine(QPointF(14.5, 5), QPointF(17.5, 5));
            p.drawLine(QPointF(1.5, 2), QPointF(-0.5, 0.5));
        }
    }
    return img;
}

QImage DrawMainBackground(const QPainterPath &body)
{
    QImage bg(kMainWidth, kMainHeight, QImage::Format_ARGB32_Premultiplied);
    bg.fill(QColor(37, 43, 54));
    QPainter p(&bg);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    DrawBody(p, body, kMainWidth, kMainHeight);
    // Top bar holding the brand and the window buttons.
    DrawBrand(p, QPointF(26, 25), 13, QColor(226, 232, 240));
    DrawSpeakerGrille(p);
    QRectF winButtons(283, 15, 54, 22);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 60));
    p.drawRoundedRect(winButtons, 6, 6);
    DrawScreen(p, ScreenPath());
    // Number strip behind the number box.
    p.setPen(QPen(QColor(80, 110, 130), 1));
    p.setBrush(kNumberStrip);
    p.drawRoundedRect(QRectF(75.5, 54.5, 197, 23), 3, 3);
    DrawLevelCaptions(p);
    // Thin separator between the number and the status lines.
    p.setPen(QPen(QColor(120, 160, 190, 80), 1));
    p.drawLine(QPointF(80, 88.5), QPointF(272, 88.5));
    DrawSliderTracks(p);
    DrawKeypadWell(p);
    // Side column well behind Clear and Quick Calls.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 55));
    p.drawRoundedRect(QRectF(296, 91, 44, 58), 8, 8);
    p.end();
    return bg;
}

QImage DrawPanelBackground(const QPainterPath &body)
{
    QImage bg(kPanelWidth, kPanelHeight, QImage::Format_ARGB32_Premultiplied);
    bg.fill(QColor(37, 43, 54));
    QPainter p(&bg);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    DrawBody(p, body, kPanelWidth, kPanelHeight);
    QPainterPath screen;
    screen.addRoundedRect(QRectF(36, 12, 136, 144), 9, 9);
    DrawScreen(p, screen);
    // Title band and its divider.
    DrawBrand(p, QPointF(76, 31), 11, QColor(150, 190, 220));
    p.setPen(QPen(QColor(120, 160, 190, 90), 1));
    p.drawLine(QPointF(44, 40.5), QPointF(164, 40.5));
    // Navigation well on the left, Back well at the bottom.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 60));
    p.drawRoundedRect(QRectF(5, 74, 30, 54), 8, 8);
    p.drawRoundedRect(QRectF(33, 162, 54, 29), 8, 8);
    p.end();
    return bg;
}

QImage DrawHeader(const QImage &panel, const QString &text)
{
    QPoint at = Pos(71);
    QImage img = Crop(panel, at, {120, 15});
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    QLinearGradient g(0, 0, 0, 15);
    g.setColorAt(0, QColor(60, 100, 140));
    g.setColorAt(1, QColor(30, 60, 92));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0, 0, 120, 15), 4, 4);
    p.setFont(Font(11, true));
    p.setPen(QColor(240, 244, 250));
    p.drawText(QRectF(0, 0, 120, 15), Qt::AlignCenter, text);
    return img;
}

QImage DrawVideoFrame()
{
    QImage img(176, 144, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    QLinearGradient g(0, 0, 0, 144);
    g.setColorAt(0, kScreenTop);
    g.setColorAt(1, kScreenBottom);
    p.fillRect(img.rect(), g);
    GlyphCamera(p, QRectF(68, 56, 40, 32), QColor(90, 130, 170));
    p.setPen(QPen(QColor(90, 130, 170), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, 175, 143));
    return img;
}

QImage DrawThumb()
{
    QImage img(14, 6, QImage::Format_ARGB32_Premultiplied);
    img.fill(QColor(46, 54, 66));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    QLinearGradient g(0, 0, 0, 6);
    g.setColorAt(0, QColor(255, 240, 214));
    g.setColorAt(1, QColor(222, 170, 110));
    p.setPen(QPen(QColor(120, 80, 40), 0.8));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0.5, 0.5, 13, 5), 2, 2);
    return img;
}

QImage DrawAppIcon(int size)
{
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    QRadialGradient g(QPointF(size * 0.35, size * 0.3), size * 0.8);
    g.setColorAt(0, QColor(110, 170, 225));
    g.setColorAt(1, QColor(24, 62, 110));
    p.setPen(QPen(QColor(12, 30, 55), size / 32.0));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(1, 1, size - 2, size - 2), size * 0.22, size * 0.22);
    GlyphHandset(p, QRectF(size * 0.18, size * 0.18, size * 0.64, size * 0.64), kAccent);
    return img;
}

QImage DrawInfoIcon(int size)
{
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(20, 60, 120), 1.5));
    p.setBrush(QColor(70, 130, 200));
    p.drawEllipse(QRectF(1.5, 1.5, size - 3, size - 3));
    p.setPen(Qt::white);
    p.setFont(Font(int(size * 0.7), true));
    p.drawText(QRectF(0, 0, size, size), Qt::AlignCenter, QStringLiteral("i"));
    return img;
}

QImage DrawHandCursor(QPoint &hotSpot)
{
    QImage img(32, 32, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    QPainterPath h;
    // Pointing finger, three folded fingers and the palm.
    h.addRoundedRect(QRectF(7, 1, 5, 14), 2.5, 2.5);
    h.addRoundedRect(QRectF(11.5, 8, 4.5, 9), 2.2, 2.2);
    h.addRoundedRect(QRectF(15.5, 9, 4.5, 9), 2.2, 2.2);
    h.addRoundedRect(QRectF(19.5, 10.5, 4.5, 8.5), 2.2, 2.2);
    h.addRoundedRect(QRectF(7, 12, 17, 12), 5, 5);
    QPainterPath thumb;
    thumb.moveTo(7.5, 16);
    thumb.cubicTo(4, 13, 1.5, 15, 3, 17.5);
    thumb.lineTo(8.5, 23);
    thumb.closeSubpath();
    h = h.united(thumb).simplified();
    p.setPen(QPen(Qt::black, 1.2));
    p.setBrush(Qt::white);
    p.drawPath(h);
    hotSpot = QPoint(9, 1);
    return img;
}

} // namespace

Art DrawSkin(Language language)
{
    Art art;
    QPainterPath body = MainBodyPath();
    QPainterPath panelBody = PanelBodyPath();
    art.mainShape = RegionOf(body, kMainWidth, kMainHeight);
    art.panelShape = RegionOf(panelBody, kPanelWidth, kPanelHeight);

    QImage bg = DrawMainBackground(body);
    art.bitmaps[137] = bg;

    const KeyFace keys[] = {
        {138, 0, "0", "+"},   {140, 1, "1", ""},     {142, 2, "2", "ABC"},
        {144, 3, "3", "DEF"}, {146, 4, "4", "GHI"},  {148, 5, "5", "JKL"},
        {150, 6, "6", "MNO"}, {152, 7, "7", "PQRS"}, {154, 8, "8", "TUV"},
        {156, 9, "9", "WXYZ"}, {158, 11, "*", ""},   {160, 10, "#", ""},
    };
    for (const auto &k : keys) {
        art.bitmaps[k.bitmap] = DrawKey(bg, Pos(k.entry), k, false);
        art.bitmaps[k.bitmap + 1] = DrawKey(bg, Pos(k.entry), k, true);
    }

    struct Button {
        int bitmap, entry, w, h;
        const char *kind;
        Glyph glyph;
        double radius, glyphSize;
    };
    const Button buttons[] = {
        {162, 17, 14, 14, "dark", GlyphMinimise, 4, 8},
        {164, 19, 14, 14, "dark", GlyphMenu, 4, 8},
        {166, 18, 14, 14, "red", GlyphClose, 4, 7},
        {174, 12, 72, 19, "dark", GlyphGear, 6, 12},
        {240, 15, 72, 19, "dark", GlyphBook, 6, 12},
        {238, 32, 72, 19, "dark", GlyphCoin, 6, 12},
        {181, 33, 72, 19, "dark", GlyphRedial, 6, 12},
        {230, 13, 46, 40, "green", GlyphHandset, 12, 24},
        {232, 14, 36, 36, "red", GlyphHangup, 18, 22},
        {242, 31, 36, 22, "dark", GlyphClear, 6, 14},
        {236, 16, 36, 22, "dark", GlyphStar, 6, 13},
        {268, 81, 28, 26, "dark", GlyphCamera, 7, 14},
        {260, 37, 40, 26, "dark", GlyphMessage, 7, 17},
    };
    for (const auto &b : buttons) {
        QPoint at = Pos(b.entry);
        art.bitmaps[b.bitmap] =
            DrawButton(bg, at, {b.w, b.h}, b.kind, false, b.glyph, b.radius, b.glyphSize);
        // The video button's second look is 270, not the next id.
        int second = b.bitmap == 268 ? 270 : b.bitmap + 1;
        art.bitmaps[second] =
            DrawButton(bg, at, {b.w, b.h}, b.kind, true, b.glyph, b.radius, b.glyphSize);
    }
    art.bitmaps[264] = DrawButton(bg, Pos(37), {40, 26}, "grey", false, GlyphMessage, 7, 17);

    const struct {
        int bitmap, entry, kind;
    } indicators[] = {{170, 22, 0}, {172, 23, 1}, {168, 36, 2}};
    for (const auto &ind : indicators) {
        art.bitmaps[ind.bitmap] = DrawIndicator(bg, Pos(ind.entry), ind.kind, false);
        art.bitmaps[ind.bitmap + 1] = DrawIndicator(bg, Pos(ind.entry), ind.kind, true);
    }
    art.bitmaps[276] = DrawThumb();

    QImage panel = DrawPanelBackground(panelBody);
    art.bitmaps[245] = panel;
    auto arrow = [&](int bitmap, int entry, QSize size, int direction) {
        for (int lit = 0; lit < 2; ++lit) {
            QImage img = Crop(panel, Pos(entry), size);
            QPainter p(&img);
            p.setRenderHint(QPainter::Antialiasing, true);
            ButtonLook look = Look("dark", lit);
            QRectF r(1, 1, size.width() - 2, size.height() - 3);
            DrawPlate(p, r, look.top, look.bottom, lit, 6);
            QRectF g(0, 0, 9, 7);
            g.moveCenter(r.center());
            if (direction == 2) {
                // A return arrow: a shaft bent up into a hook, with a left-pointing head.
                QPointF m = r.center() + QPointF(0, lit ? 0.5 : 0);
                p.setPen(QPen(look.glyph, 1.8, Qt::SolidLine, Qt::RoundCap));
                p.setBrush(Qt::NoBrush);
                QPainterPath shaft;
                shaft.moveTo(m + QPointF(-6, 2));
                shaft.lineTo(m + QPointF(5, 2));
                shaft.cubicTo(m + QPointF(10, 2), m + QPointF(10, -5), m + QPointF(5, -5));
                shaft.lineTo(m + QPointF(0, -5));
                p.drawPath(shaft);
                g = QRectF(0, 0, 6, 8);
                g.moveCenter(m + QPointF(-8, 2));
                GlyphArrow(p, g, look.glyph, 2);
            } else {
                GlyphArrow(p, g, look.glyph, direction);
            }
            art.bitmaps[bitmap + lit] = img;
        }
    };
    arrow(201, 66, {22, 20}, 0);
    arrow(203, 67, {22, 20}, 1);
    arrow(247, 68, {44, 20}, 2);

    struct Header {
        int bitmap;
        const char *en, *zhCN, *zhTW;
    };
    const Header headers[] = {
        {254, "Recent Calls", "最近通话", "最近通話"},
        {255, "PhoneBook", "电话簿", "電話簿"},
        {256, "System Config", "系统设置", "系統設定"},
        {257, "Menu", "主菜单", "主選單"},
        {258, "Quick Calls", "快速拨号", "快速撥號"},
    };
    for (const auto &h : headers) {
        const char *text = language == Language::English      ? h.en
                           : language == Language::Simplified ? h.zhCN
                                                              : h.zhTW;
        art.bitmaps[h.bitmap] = DrawHeader(panel, QString::fromUtf8(text));
    }
    art.bitmaps[263] = DrawVideoFrame();

    art.icons[128] = DrawAppIcon(32);
    art.icons[211] = DrawAppIcon(16);
    art.icons[129] = DrawInfoIcon(32);
    art.handCursor = DrawHandCursor(art.handHotSpot);
    return art;
}

} // namespace skingen
