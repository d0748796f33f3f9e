// plyfold-merge: merges PDF files from the command line (see MergeCommand.h).

#include "app/MergeCommand.h"

#include <QApplication>

#include <cstdio>

namespace {

// The command speaks only through its own messages; the toolkit's notes about the platform it runs
// on (no display, no runtime folder) are not for the user.
void QuietToolkitMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    }
}

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(QuietToolkitMessages);
    // The command never shows a window: it runs on the platform that needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return plyfold::RunMergeCommand(arguments);
}
