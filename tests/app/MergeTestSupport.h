#pragma once

// What the merge tests need around them: running the PDF tools, reading the text of one page,
// and listing a folder.

#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>

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

// Every entry of a folder (hidden ones too), sorted.
inline QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

} // namespace plyfold::test
