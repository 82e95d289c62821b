// kestrelin-x-grab OUT.png: saves the whole screen of the X display in DISPLAY as a PNG file,
// for the screenshots the program tests keep of each step.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kestrelin-x-grab OUT.png\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen || !screen->grabWindow(0).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "kestrelin-x-grab: cannot save the screen to %s\n", argv[1]);
        return 1;
    }
    return 0;
}
