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
        m_path = m_dir.filePath(QStringLiteral("held-font.ttf"));
        m_made = m_dir.isValid() && ::mkfifo(QFile::encodeName(m_path).constData(), 0600) == 0;
    }
    // Lets any reader go and puts back the empty configuration.
    ~HeldFontFile() {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_writer < 0) {
            // A reader that came after the last look must not wait for ever either.
            m_writer = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_NONBLOCK);
        }
        closeWriter();
        if (m_mapped) {
            pdfInitLibrary(nullptr);
        }
    }
    HeldFontFile(const HeldFontFile&) = delete;
    HeldFontFile& operator=(const HeldFontFile&) = delete;

    // Makes the engine draw the standard font `pdfFontName` (for example "Helvetica") from this
    // file, for documents loaded from now on. False when the pipe or the configuration cannot be
    // made.
    bool MapAs(const char* pdfFontName) {
        if (!m_made) {
            return false;
        }
        const QString config = m_dir.filePath(QStringLiteral("xpdfrc"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly)) {
            return false;
        }
        file.write(QByteArray("displayFontTT ") + pdfFontName + ' ' + QFile::encodeName(m_path) +
                   '\n');
        file.close();
        m_mapped = pdfInitLibrary(QFile::encodeName(config).constData()) == kPdfOk;
        return m_mapped;
    }

    // Waits until a render opens the file and keeps it waiting for the font's bytes: true then.
    // False when `gaveUp` turns true first (the render finished, or failed, without the font).
    bool WaitForReader(const std::function<bool()>& gaveUp) {
        const QByteArray name = QFile::encodeName(m_path);
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                // Opening the writing end succeeds only once a reader has the file open.
                m_writer = ::open(name.constData(), O_WRONLY | O_NONBLOCK);
                if (m_writer >= 0) {
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
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!changed.wait_for(lock, std::chrono::minutes(1), [&] { return done; })) {
                fired = true;
                closeWriter();
            }
        });
        queries();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            done = true;
        }
        changed.notify_all();
        watchdog.join();
        return !fired;
    }

    // Lets the reader go on: it reads an empty file.
    void Release() {
        std::lock_guard<std::mutex> lock(m_mutex);
        closeWriter();
    }

private:
    void closeWriter() {
        if (m_writer >= 0) {
            ::close(m_writer);
            m_writer = -1;
        }
    }

    QTemporaryDir m_dir;
    QString m_path;
    bool m_made = false;
    bool m_mapped = false;
    std::mutex m_mutex;
    int m_writer = -1;
};

} // namespace plyfold::test
