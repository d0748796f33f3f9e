#pragma once

// A latch for page renders: a named pipe that the viewer engine's configuration maps as the file
// of a font. The engine reads a mapped font while it draws a page that uses the font, holding that
// document; the read waits in the pipe until the test lets it go, so the render stays held for as
// long as the test needs, with no timing involved. Released, the reader finds an empty file, which
// is no font: the built-in one is drawn and the render finishes normally.

#include "platform/viewer/XpdfViewer.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plyfold::test {

class HeldFontFile {
public:
    HeldFontFile() {
        path_ = dir_.filePath(QStringLiteral("held-font.ttf"));
        made_ = dir_.isValid() && ::mkfifo(QFile::encodeName(path_).constData(), 0600) == 0;
    }
    // Lets any reader go and puts back the empty configuration.
    ~HeldFontFile() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (writer_ < 0) {
            // A reader that came after the last look must not wait for ever either.
            writer_ = ::open(QFile::encodeName(path_).constData(), O_WRONLY | O_NONBLOCK);
        }
        closeWriter();
        if (mapped_) {
            pdfInitLibrary(nullptr);
        }
    }
    HeldFontFile(const HeldFontFile&) = delete;
    HeldFontFile& operator=(const HeldFontFile&) = delete;

    // Makes the engine draw the standard font `pdfFontName` (for example "Helvetica") from this
    // file, for documents loaded from now on. False when the pipe or the configuration cannot be
    // made.
    bool MapAs(const char* pdfFontName) {
        if (!made_) {
            return false;
        }
        const QString config = dir_.filePath(QStringLiteral("xpdfrc"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly)) {
            return false;
        }
        file.write(QByteArray("displayFontTT ") + pdfFontName + ' ' + QFile::encodeName(path_) +
                   '\n');
        file.close();
        mapped_ = pdfInitLibrary(QFile::encodeName(config).constData()) == kPdfOk;
        return mapped_;
    }

    // Waits until a render opens the file and keeps it waiting for the font's bytes: true then.
    // False when `gaveUp` turns true first (the render finished, or failed, without the font).
    bool WaitForReader(const std::function<bool()>& gaveUp) {
        const QByteArray name = QFile::encodeName(path_);
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                // Opening the writing end succeeds only once a reader has the file open.
                writer_ = ::open(name.constData(), O_WRONLY | O_NONBLOCK);
                if (writer_ >= 0) {
                    return true;
                }
                if (errno != ENXIO) {
                    return false;
                }
            }
            if (gaveUp()) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // Runs `queries` on this thread while the reader stays held. A watchdog lets the reader go if
    // they have not returned after a minute, so that queries that wait for the held render fail
    // the test instead of hanging it; false then. True when they returned with the reader held.
    bool ReturnWhileHeld(const std::function<void()>& queries) {
        bool done = false;
        bool fired = false;
        std::condition_variable changed;
        std::thread watchdog([&] {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!changed.wait_for(lock, std::chrono::minutes(1), [&] { return done; })) {
                fired = true;
                closeWriter();
            }
        });
        queries();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done = true;
        }
        changed.notify_all();
        watchdog.join();
        return !fired;
    }

    // Lets the reader go on: it reads an empty file.
    void Release() {
        std::lock_guard<std::mutex> lock(mutex_);
        closeWriter();
    }

private:
    void closeWriter() {
        if (writer_ >= 0) {
            ::close(writer_);
            writer_ = -1;
        }
    }

    QTemporaryDir dir_;
    QString path_;
    bool made_ = false;
    bool mapped_ = false;
    std::mutex mutex_;
    int writer_ = -1;
};

} // namespace plyfold::test
