// plyfold-merge: merges PDF files from the command line (see MergeCommand.h).

#include "app/MergeCommand.h"
#include "platform/FileSizeLimit.h"
#include "platform/TerminalPassword.h"
#include "platform/splice/OutputTemporaries.h"
#include "platform/splice/XpdfSplice.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <pthread.h>

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
// have without this, so the caller sees the usual status.
//
// The interrupts are blocked in every thread and taken by one thread that waits for them, so the
// clean-up runs as ordinary code: it can wait for a temporary file that is being created to be
// registered, which a signal handler could not.
void RemoveTemporariesOnInterrupt() {
    sigset_t interrupts;
    sigemptyset(&interrupts);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&interrupts, signalNumber);
    }
    // Before any other thread starts, so that every thread inherits the mask.
    pthread_sigmask(SIG_BLOCK, &interrupts, nullptr);
    std::thread([interrupts] {
        int signalNumber = 0;
        while (sigwait(&interrupts, &signalNumber) != 0) {
        }
        plyfold::temporaries::RemoveRegistered();
        plyfold::RestoreTerminalEcho();
        std::signal(signalNumber, SIG_DFL);
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, signalNumber);
        pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
        std::raise(signalNumber);
        std::_Exit(128 + signalNumber); // not reached: the signal ends the process
    }).detach();
}

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(QuietToolkitMessages);
    // A merged file past the file-size limit fails with its reason, and the temporary files go.
    plyfold::FailWritesPastFileSizeLimit();
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
