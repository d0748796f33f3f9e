#include "platform/TerminalPassword.h"

#include <QFile>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <string>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace plyfold {

namespace {

#ifndef _WIN32
// The terminal's settings while echo is off, for RestoreTerminalEcho from a signal handler.
termios g_savedForSignal{};
std::atomic<bool> g_echoOff{false};
#endif

// Switches terminal echo off for its lifetime.
class EchoOff {
public:
    EchoOff() {
#ifdef _WIN32
        m_handle = GetStdHandle(STD_INPUT_HANDLE);
        if (GetConsoleMode(m_handle, &m_mode)) {
            m_changed = SetConsoleMode(m_handle, m_mode & ~DWORD(ENABLE_ECHO_INPUT)) != 0;
        }
#else
        if (tcgetattr(STDIN_FILENO, &m_saved) == 0) {
            termios quiet = m_saved;
            quiet.c_lflag &= ~tcflag_t(ECHO);
            g_savedForSignal = m_saved;
            g_echoOff.store(true);
            m_changed = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
            if (!m_changed) {
                g_echoOff.store(false);
            }
        }
#endif
    }
    ~EchoOff() {
        if (!m_changed) {
            return;
        }
#ifdef _WIN32
        SetConsoleMode(m_handle, m_mode);
#else
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &m_saved);
        g_echoOff.store(false);
#endif
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    bool m_changed = false;
#ifdef _WIN32
    HANDLE m_handle = nullptr;
    DWORD m_mode = 0;
#else
    termios m_saved{};
#endif
};

} // namespace

void RestoreTerminalEcho() noexcept {
#ifndef _WIN32
    if (g_echoOff.exchange(false)) {
        tcsetattr(STDIN_FILENO, TCSANOW, &g_savedForSignal);
    }
#endif
}

std::optional<QString> ReadFirstLineOfFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    // A password is one line; a file of a megabyte is not a password file.
    QByteArray line = file.readLine(1 << 20);
    if (line.isEmpty() && file.error() != QFileDevice::NoError) {
        return std::nullopt;
    }
    while (line.endsWith('\n') || line.endsWith('\r')) {
        line.chop(1);
    }
    return QString::fromLocal8Bit(line);
}

namespace {

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

} // namespace

bool StdinIsTerminal() {
    return IsTerminal(stdin);
}

bool StderrIsTerminal() {
    return IsTerminal(stderr);
}

std::optional<QString> ReadSecretFromTerminal(const QString& prompt) {
    if (!StdinIsTerminal()) {
        return std::nullopt;
    }
    std::string line;
    bool read = false;
    {
        // Echo goes off before the prompt shows, so what is typed once the prompt is there is
        // neither echoed nor thrown away by the switch.
        EchoOff quiet;
        std::cerr << prompt.toLocal8Bit().constData() << std::flush;
        read = static_cast<bool>(std::getline(std::cin, line));
    }
    std::cerr << std::endl; // the Enter key was not echoed
    if (!read) {
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return QString::fromLocal8Bit(line.data(), qsizetype(line.size()));
}

} // namespace plyfold
