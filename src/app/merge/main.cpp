// plyfold-merge: merges PDF files from the command line (see MergeCommand.h).

#include "app/MergeCommand.h"
#include "platform/TerminalPassword.h"
#include "platform/splice/OutputTemporaries.h"
#include "platform/splice/XpdfSplice.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

// The command speaks only through its own messages; the toolkit's notes about the platform it runs
// on (no display, no runtime folder) are not for the user.
void QuietToolkitMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    }
}

// Interrupted, the command leaves nothing of its own behind: its temporary files are removed and a
// password prompt gives the terminal its echo back. Then the signal ends the process as it would
// have without the handler, so the caller sees the usual status.
void OnInterrupt(int signalNumber) {
    plyfold::temporaries::RemoveRegistered();
    plyfold::RestoreTerminalEcho();
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void RemoveTemporariesOnInterrupt() {
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(signalNumber, &action, nullptr);
    }
}

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(QuietToolkitMessages);
    RemoveTemporariesOnInterrupt();
    // The command never shows a window: it runs on the platform that needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    // The merged file is written and closed before the command ends, and nothing is left to do
    // after it: freeing every object of a large merge would take longer than the writing, so the
    // process ends without it.
    plyfold::xpdfSpliceSetFreeOnClose(false);
    const int status = plyfold::RunMergeCommand(arguments);
    std::fflush(nullptr);
    std::_Exit(status);
}
