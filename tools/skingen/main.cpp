// Generates the skin art, window regions, layout table and sound files of the program.
//
//   kestrelin-skingen --lang en|zh_CN|zh_TW --out DIR   art of one resource pack
//   kestrelin-skingen --sounds DIR                      wave files of the install directory
//
// Art files are named TYPE_NAME.ext, as the resource packer expects them.
#include "face_layout.h"
#include "skin_art.h"
#include "tones.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageWriter>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void Put32(QByteArray &b, int32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((uint32_t(v) >> (8 * i)) & 0xff));
}

// Win32 RGNDATA: header (size 32, type 1, count, buffer size, bounds), then the rectangles.
QByteArray RegionData(const QRegion &region)
{
    QByteArray b;
    int n = 0;
    for (auto it = region.begin(); it != region.end(); ++it)
        ++n;
    QRect bounds = region.boundingRect();
    Put32(b, 32);
    Put32(b, 1);
    Put32(b, n);
    Put32(b, n * 16);
    Put32(b, bounds.left());
    Put32(b, bounds.top());
    Put32(b, bounds.right() + 1);
    Put32(b, bounds.bottom() + 1);
    for (const QRect &r : region) {
        Put32(b, r.left());
        Put32(b, r.top());
        Put32(b, r.right() + 1);
        Put32(b, r.bottom() + 1);
    }
    return b;
}

QByteArray FaceData()
{
    QByteArray b;
    for (const auto &r : skingen::kFaceRecords)
        for (int v : {r.index, r.a, r.b, r.c, r.d, r.e})
            Put32(b, v);
    Put32(b, -1);
    return b;
}

bool WriteFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool WriteImage(const QString &path, const QImage &image, const char *format)
{
    QImageWriter w(path, format);
    if (!w.write(image)) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path),
                     qPrintable(w.errorString()));
        return false;
    }
    return true;
}

int WriteArt(const QString &dir, skingen::Language language)
{
    QDir().mkpath(dir);
    skingen::Art art = skingen::DrawSkin(language);
    bool ok = true;
    for (const auto &[id, image] : art.bitmaps)
        ok &= WriteImage(QString("%1/BITMAP_%2.bmp").arg(dir).arg(id),
                         image.convertToFormat(QImage::Format_RGB32), "bmp");
    for (const auto &[id, image] : art.icons)
        ok &= WriteImage(QString("%1/ICON_%2.png").arg(dir).arg(id), image, "png");
    QImage cursor = art.handCursor;
    cursor.setText("HotSpot", QString("%1,%2").arg(art.handHotSpot.x()).arg(art.handHotSpot.y()));
    ok &= WriteImage(dir + "/CURSOR_135.png", cursor, "png");
    ok &= WriteFile(dir + "/RGN_BACKGROUND.bin", RegionData(art.mainShape));
    ok &= WriteFile(dir + "/RGN_PHONEBOOK.bin", RegionData(art.panelShape));
    ok &= WriteFile(dir + "/FACE_IDR_FACE.bin", FaceData());
    return ok ? 0 : 1;
}

int Usage()
{
    std::fprintf(stderr, "usage: kestrelin-skingen --lang en|zh_CN|zh_TW --out DIR\n"
                         "       kestrelin-skingen --sounds DIR\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--sounds") == 0)
        return skingen::WriteSounds(argv[2]) ? 0 : 1;
    if (argc != 5 || std::strcmp(argv[1], "--lang") != 0 || std::strcmp(argv[3], "--out") != 0)
        return Usage();
    std::string lang = argv[2];
    skingen::Language language;
    if (lang == "en")
        language = skingen::Language::English;
    else if (lang == "zh_CN")
        language = skingen::Language::Simplified;
    else if (lang == "zh_TW")
        language = skingen::Language::Traditional;
    else
        return Usage();
    // Drawing text needs a GUI application; no display is used.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return WriteArt(QString::fromLocal8Bit(argv[4]), language);
}
