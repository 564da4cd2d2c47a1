// SPDX-License-Identifier: MIT
// Renders one of our SVG drawings to a PNG of a given size, at build time.
//   svgtopng input.svg output.png width height
#include <cstdio>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

int main(int argc, char* argv[])
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: svgtopng input.svg output.png width height\n");
        return 2;
    }
    // Offscreen: the build may run without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QString input = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[2]);
    bool widthOk = false;
    bool heightOk = false;
    const int width = QString::fromLocal8Bit(argv[3]).toInt(&widthOk);
    const int height = QString::fromLocal8Bit(argv[4]).toInt(&heightOk);
    if (!widthOk || !heightOk || width <= 0 || height <= 0 || width > 4096 || height > 4096) {
        std::fprintf(stderr, "svgtopng: invalid size %s x %s\n", argv[3], argv[4]);
        return 2;
    }

    QSvgRenderer renderer(input);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "svgtopng: cannot read %s\n", argv[1]);
        return 1;
    }

    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();

    if (!image.save(output, "PNG")) {
        std::fprintf(stderr, "svgtopng: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
