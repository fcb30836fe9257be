// vosk-svg2png IN.svg OUT.png
// Renders an SVG at its own size (width/height, else the view box) onto a
// transparent image. Used by the build to turn our drawings into the PNG
// resources the program loads.

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char **argv)
{
    // No display is needed to paint into an image.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: vosk-svg2png IN.svg OUT.png\n");
        return 2;
    }
    QSvgRenderer renderer(args.at(1));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "vosk-svg2png: cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }
    QSize size = renderer.defaultSize();
    if (size.isEmpty())
        size = renderer.viewBox().size();
    if (size.isEmpty()) {
        std::fprintf(stderr, "vosk-svg2png: %s has no size\n", qPrintable(args.at(1)));
        return 1;
    }
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }
    QDir().mkpath(QFileInfo(args.at(2)).absolutePath());
    if (!image.save(args.at(2), "PNG")) {
        std::fprintf(stderr, "vosk-svg2png: cannot write %s\n", qPrintable(args.at(2)));
        return 1;
    }
    return 0;
}
