// Renders one SVG source into a PNG of an exact pixel size. Used by the build to turn the artwork
// sources in src/res/art into the pictures compiled into the program.
//
//   plyfold_artgen <source.svg> <output.png> <width> <height>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

namespace {

// The offscreen platform warns about a missing runtime folder on build machines; that is noise
// in the build log, everything else is passed on.
void FilterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("QStandardPaths:"))) {
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(FilterMessages);
    // Text in the sources needs the font database, which needs a GUI application; the build
    // machine has no display, so always use the offscreen platform unless told otherwise.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);

    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 5) {
        std::fprintf(stderr, "usage: plyfold_artgen <source.svg> <output.png> <width> <height>\n");
        return 2;
    }
    bool okWidth = false;
    bool okHeight = false;
    const int width = args.at(3).toInt(&okWidth);
    const int height = args.at(4).toInt(&okHeight);
    if (!okWidth || !okHeight || width <= 0 || height <= 0 || width > 4096 || height > 4096) {
        std::fprintf(stderr, "plyfold_artgen: bad size %s x %s\n", qPrintable(args.at(3)),
                     qPrintable(args.at(4)));
        return 2;
    }

    QSvgRenderer renderer(args.at(1));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "plyfold_artgen: cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }

    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                               QPainter::TextAntialiasing);
        renderer.render(&painter, QRectF(0, 0, width, height));
    }
    if (!image.convertToFormat(QImage::Format_ARGB32).save(args.at(2), "PNG")) {
        std::fprintf(stderr, "plyfold_artgen: cannot write %s\n", qPrintable(args.at(2)));
        return 1;
    }
    return 0;
}
