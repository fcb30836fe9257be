// vosk-screengrab OUT.png
// Saves the primary screen of the current display as a PNG file. Exit code
// 0 on success, 1 on a usage or save error, 2 without a screen.

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: vosk-screengrab OUT.png\n");
        return 1;
    }
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fprintf(stderr, "vosk-screengrab: no screen\n");
        return 2;
    }
    const QPixmap shot = screen->grabWindow(0);
    if (shot.isNull() || !shot.save(args.at(1), "PNG")) {
        std::fprintf(stderr, "vosk-screengrab: cannot save %s\n", qPrintable(args.at(1)));
        return 1;
    }
    return 0;
}
