// vosk-screengrab OUT.png [WIDTHxHEIGHT]
// Saves the primary screen of the current display as a PNG file, or only
// its top-left WIDTH x HEIGHT (a window placed there). Exit code 0 on
// success, 1 on a usage or save error, 2 without a screen.

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QSize crop;
    if (args.size() == 3) {
        const QStringList parts = args.at(2).split(QLatin1Char('x'));
        if (parts.size() == 2)
            crop = QSize(parts.at(0).toInt(), parts.at(1).toInt());
    }
    if (args.size() < 2 || args.size() > 3 || (args.size() == 3 && crop.isEmpty())) {
        std::fprintf(stderr, "usage: vosk-screengrab OUT.png [WIDTHxHEIGHT]\n");
        return 1;
    }
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fprintf(stderr, "vosk-screengrab: no screen\n");
        return 2;
    }
    QPixmap shot = screen->grabWindow(0);
    if (crop.isValid())
        shot = shot.copy(QRect(QPoint(0, 0), crop));
    if (shot.isNull() || !shot.save(args.at(1), "PNG")) {
        std::fprintf(stderr, "vosk-screengrab: cannot save %s\n", qPrintable(args.at(1)));
        return 1;
    }
    return 0;
}
