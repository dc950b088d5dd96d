// Renders one SVG drawing to a PNG or ICO file at the size given:
//   icon-render SOURCE.svg OUTPUT.(png|ico) WIDTH HEIGHT
// Used by scripts/draw-icons to regenerate the program's icons.

#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    const char *const usage = "usage: icon-render SOURCE.svg OUTPUT.png|ico WIDTH HEIGHT\n";
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(usage, stdout);
        return 0;
    }
    QGuiApplication app(argc, argv);
    if (argc != 5) {
        std::fputs(usage, stderr);
        return 2;
    }
    QImageReader reader(QString::fromLocal8Bit(argv[1]));
    reader.setScaledSize(QSize(QString(argv[3]).toInt(), QString(argv[4]).toInt()));
    QImage image = reader.read();
    if (image.isNull()) {
        std::fprintf(stderr, "icon-render: cannot read %s: %s\n", argv[1],
                     qPrintable(reader.errorString()));
        return 1;
    }
    image = image.convertToFormat(QImage::Format_ARGB32);
    if (!image.save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "icon-render: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
