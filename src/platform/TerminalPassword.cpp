#include "platform/TerminalPassword.h"

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
            m_changed = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
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

bool StdinIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stdin)) != 0;
#else
    return isatty(STDIN_FILENO) != 0;
#endif
}

std::optional<QString> ReadSecretFromTerminal(const QString& prompt) {
    if (!StdinIsTerminal()) {
        return std::nullopt;
    }
    std::cerr << prompt.toLocal8Bit().constData() << std::flush;
    std::string line;
    bool read = false;
    {
        EchoOff quiet;
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
