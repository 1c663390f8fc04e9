// Renders the program's scalable icon into the PNG sizes of the hicolor theme at build time.
// Usage: render-icon ICON.svg OUTDIR SIZE... writes OUTDIR/SIZExSIZE/apps/<icon name>.png
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fputs("usage: render-icon ICON.svg OUTDIR SIZE...\n", stderr);
        return 2;
    }
    const QString svg = QString::fromLocal8Bit(argv[1]);
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "render-icon: %s is not a valid SVG picture\n", argv[1]);
        return 1;
    }
    const QString name = QFileInfo(svg).completeBaseName() + ".png";
    for (int i = 3; i < argc; ++i) {
        const int size = QByteArray(argv[i]).toInt();
        if (size <= 0) {
            std::fprintf(stderr, "render-icon: %s is no size\n", argv[i]);
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        const QString folder =
            QString::fromLocal8Bit(argv[2]) + QStringLiteral("/%1x%1/apps").arg(size);
        if (!QDir().mkpath(folder) || !image.save(folder + '/' + name)) {
            std::fprintf(stderr, "render-icon: cannot write %s\n", qPrintable(folder + '/' + name));
            return 1;
        }
    }
    return 0;
}
