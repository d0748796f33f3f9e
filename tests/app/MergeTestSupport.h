#pragma once

// What the merge tests need around them: running the PDF tools, reading the text of one page,
// and listing a folder.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

namespace plyfold::test {

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

inline ToolRun RunTool(const QString& program, const QStringList& arguments,
                       const QByteArray& input = QByteArray()) {
    QProcess process;
    process.start(program, arguments);
    ToolRun run;
    if (!process.waitForStarted(20000)) {
        return run;
    }
    if (!input.isEmpty()) {
        process.write(input);
    }
    process.closeWriteChannel();
    process.waitForFinished(120000);
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

// The text of one page (1-based) as pdftotext reads it.
inline QString PageText(const QString& file, int page, const QString& password = QString()) {
    QStringList args{QStringLiteral("-layout"), QStringLiteral("-f"), QString::number(page),
                     QStringLiteral("-l"), QString::number(page)};
    if (!password.isEmpty()) {
        args << QStringLiteral("-upw") << password;
    }
    args << file << QStringLiteral("-");
    return RunTool(QStringLiteral("pdftotext"), args).out;
}

// Page count as qpdf reads it; -1 when the file does not open.
inline int PageCountOf(const QString& file, const QString& password = QString()) {
    QStringList args{QStringLiteral("--show-npages")};
    if (!password.isEmpty()) {
        args << (QStringLiteral("--password=") + password);
    }
    args << file;
    const ToolRun run = RunTool(QStringLiteral("qpdf"), args);
    return run.exitCode == 0 ? run.out.trimmed().toInt() : -1;
}

inline QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct TerminalRun {
    int exitCode = -1; // -1 when it did not end by itself within a minute
    QByteArray screen; // everything the program wrote to its terminal
};

// One exchange at a terminal: when `prompt` has appeared, `answer` is typed.
struct TerminalExchange {
    QByteArray prompt;
    QByteArray answer;
};

// Runs a program with a terminal of its own (a pseudo-terminal as standard input, output and
// error) and types the answers as their prompts appear.
inline TerminalRun RunAtTerminal(const QString& program, const QStringList& arguments,
                                 const std::vector<TerminalExchange>& exchanges) {
    std::vector<std::string> words{QFile::encodeName(program).toStdString()};
    for (const QString& argument : arguments) {
        words.push_back(argument.toLocal8Bit().toStdString());
    }
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    TerminalRun run;
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child < 0) {
        return run;
    }
    if (child == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    std::size_t next = 0;
    qsizetype searchFrom = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 60000) {
        pollfd ready{terminal, POLLIN, 0};
        if (poll(&ready, 1, 100) > 0) {
            char buffer[4096];
            const ssize_t got = read(terminal, buffer, sizeof buffer);
            if (got <= 0) {
                break; // the program closed its terminal
            }
            run.screen.append(buffer, got);
        }
        if (next < exchanges.size()) {
            const qsizetype at = run.screen.indexOf(exchanges[next].prompt, searchFrom);
            if (at >= 0) {
                searchFrom = at + exchanges[next].prompt.size();
                const QByteArray& answer = exchanges[next].answer;
                if (write(terminal, answer.constData(), std::size_t(answer.size())) < 0) {
                    break;
                }
                ++next;
            }
        }
    }
    int status = 0;
    pid_t ended = 0;
    while ((ended = waitpid(child, &status, WNOHANG)) == 0 && clock.elapsed() < 70000) {
        usleep(10000);
    }
    if (ended == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    } else if (ended == child && WIFEXITED(status)) {
        run.exitCode = WEXITSTATUS(status);
    }
    close(terminal);
    return run;
}

// Every entry of a folder (hidden ones too), sorted.
inline QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

} // namespace plyfold::test
