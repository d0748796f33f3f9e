#include "app/MergeCommand.h"

#include "app/COutputFileDialog.h"
#include "app/MergeJob.h"
#include "app/OutputProtection.h"
#include "controls/MessageBox.h"
#include "engine/CDoc.h"
#include "engine/CStringDlg.h"
#include "engine/DocumentList.h"
#include "platform/TerminalPassword.h"
#include "platform/splice/XpdfSplice.h"
#include "res/Strings.h"

#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

namespace plyfold {

namespace {

const char kProgram[] = "plyfold-merge";

void PrintError(const QString& text) {
    std::fprintf(stderr, "%s: %s\n", kProgram, text.toLocal8Bit().constData());
    std::fflush(stderr);
}

int UsageError(const QString& text) {
    PrintError(text);
    std::fprintf(stderr, "Try '%s --help' for more information.\n", kProgram);
    return kMergeExitUsage;
}

// Restores the prompts and message boxes of the window when the command returns.
class CommandLineAnswers {
public:
    explicit CommandLineAnswers(std::optional<QString> inputPassword) {
        SetMessageBoxAnswerer([](const MessageBoxRequest& request) {
            PrintError(request.text);
            return int(QMessageBox::Ok);
        });
        SetStringDlgAnswerer([password = std::move(inputPassword)](
                                 const StringDlgRequest& request) -> std::optional<QString> {
            if (password) {
                return *password;
            }
            // Asked on the terminal without echo; without a terminal the prompt is cancelled,
            // and the file is reported as not openable.
            return ReadSecretFromTerminal(request.title + QStringLiteral(": "));
        });
    }
    ~CommandLineAnswers() {
        SetMessageBoxAnswerer({});
        SetStringDlgAnswerer({});
    }
    CommandLineAnswers(const CommandLineAnswers&) = delete;
    CommandLineAnswers& operator=(const CommandLineAnswers&) = delete;
};

// How far the merge is, on one line of standard error that is rewritten in place, for a person
// watching a terminal: the pages copied of the pages total, then the per cent written. The line is
// rewritten at most every tenth of a second (and at each stage's end), and wiped when the merge
// ends, so that the messages that follow start on a clean line.
class TerminalProgressLine {
public:
    explicit TerminalProgressLine(std::int64_t total) : m_total(total) {}
    ~TerminalProgressLine() { Clear(); }
    TerminalProgressLine(const TerminalProgressLine&) = delete;
    TerminalProgressLine& operator=(const TerminalProgressLine&) = delete;

    bool Report(int stage, long long done) {
        const auto now = std::chrono::steady_clock::now();
        const bool last = (stage == kSpliceCopying && done >= m_total) ||
                          (stage == kSpliceWriting && done >= 100);
        if (stage == m_stage && !last && now - m_shown < std::chrono::milliseconds(100)) {
            return true;
        }
        const QString text =
            stage == kSpliceCopying
                ? QStringLiteral("%1: copying pages: %2 of %3").arg(kProgram).arg(done).arg(m_total)
                : QStringLiteral("%1: writing the merged file: %2%").arg(kProgram).arg(done);
        if (text != m_text) {
            m_text = text;
            Show(text.toLocal8Bit());
        }
        m_stage = stage;
        m_shown = now;
        return true;
    }

    void Clear() {
        if (m_width > 0) {
            std::fprintf(stderr, "\r%*s\r", m_width, "");
            std::fflush(stderr);
            m_width = 0;
        }
    }

private:
    void Show(const QByteArray& line) {
        // Spaces over what is left of a longer line before it.
        const int width = int(line.size());
        std::fprintf(stderr, "\r%s%*s", line.constData(), std::max(0, m_width - width), "");
        std::fflush(stderr);
        m_width = std::max(m_width, width);
    }

    const std::int64_t m_total;
    int m_stage = -1;
    std::chrono::steady_clock::time_point m_shown{};
    QString m_text;
    int m_width = 0;
};

} // namespace

MergeInput ParseMergeInput(const QString& argument) {
    MergeInput input;
    input.path = argument;
    const qsizetype colon = argument.lastIndexOf(QLatin1Char(':'));
    if (colon > 0) {
        const QString text = argument.mid(colon + 1);
        PageRangeList ranges;
        if (ranges.Parse(text)) {
            input.path = argument.left(colon);
            input.rangeText = text;
            input.ranges = ranges;
        }
    }
    return input;
}

std::optional<RequiredActions> ParseRequiredActions(const QString& list) {
    RequiredActions actions;
    const QStringList words = list.split(QLatin1Char(','));
    for (const QString& raw : words) {
        const QString word = raw.trimmed().toLower();
        if (word == QLatin1String("view")) {
            actions.viewing = true;
        } else if (word == QLatin1String("print")) {
            actions.printing = true;
        } else if (word == QLatin1String("copy")) {
            actions.copying = true;
        } else if (word == QLatin1String("annotate")) {
            actions.annotation = true;
        } else if (word == QLatin1String("forms")) {
            actions.fillingForms = true;
        } else {
            return std::nullopt;
        }
    }
    return actions;
}

QString MergeCommandHelp() {
    return QStringLiteral(
        "Usage: plyfold-merge -o OUT.pdf [--password[=TEXT] | --password-file FILE]\n"
        "                     [--require LIST] [--input-password[=TEXT] |\n"
        "                     --input-password-file FILE] [--no-outline] INPUT...\n"
        "\n"
        "Merges pages of several PDF files into one PDF 1.6 file, exactly as Plyfold's\n"
        "Save Merged does: the INPUTs in the order given, and within each input its chosen\n"
        "pages in ascending order.\n"
        "\n"
        "  INPUT                  a PDF file, optionally followed by ':' and the pages to take,\n"
        "                         written as in a document's range box: 'report.pdf:1-3, 5'.\n"
        "                         Without a range every page is taken. When the text after the\n"
        "                         last ':' is not a range text, the whole argument is the path;\n"
        "                         a file whose own name ends in ':' and a number is named with\n"
        "                         its range added ('scan:2:1-4').\n"
        "  -o, --output OUT.pdf   the merged file. An existing file is replaced only when the\n"
        "                         merge succeeds; after a failure it is exactly as before. It\n"
        "                         must not be one of the inputs (letter case ignored).\n"
        "  --password TEXT        protect the merged file with this password (AES-128). The\n"
        "                         password always lifts every restriction; --require says what\n"
        "                         it guards, and is needed with --password. Without TEXT, or\n"
        "                         with '-', the password is asked on the terminal (typed twice,\n"
        "                         not echoed). A password on the command line can be seen by\n"
        "                         other users in the list of processes: prefer the prompt or\n"
        "  --password-file FILE   the password in the first line of FILE.\n"
        "  --require LIST         comma-separated, from the Output Options boxes:\n"
        "                           view      Viewing: the password opens the file\n"
        "                           print     Printing\n"
        "                           copy      Copying\n"
        "                           annotate  Annotation\n"
        "                           forms     Filling Forms\n"
        "  --input-password TEXT  the password for inputs that need one to open, or to allow\n"
        "                         copying their pages. Without it (or with '-'), the password of\n"
        "                         each such file is asked on the terminal (not echoed), and the\n"
        "                         file is refused when there is no terminal.\n"
        "  --input-password-file FILE\n"
        "                         the inputs' password in the first line of FILE.\n"
        "  --no-outline           leave the inputs' bookmarks out of the merged file. Without\n"
        "                         it, each input gets a bookmark named after its file that\n"
        "                         holds its own bookmarks.\n"
        "  -h, --help             show this text.\n"
        "\n"
        "The merge needs pages from at least two different files. Messages go to standard\n"
        "error. Exit status: 0 when the merged file was written, 1 when a check or the merge\n"
        "failed (the message says why), 2 when the command line is wrong.\n");
}

namespace {

bool IsValueOption(const QString& name) {
    static const QStringList names = {QStringLiteral("-o"),
                                      QStringLiteral("--output"),
                                      QStringLiteral("--password"),
                                      QStringLiteral("--password-file"),
                                      QStringLiteral("--require"),
                                      QStringLiteral("--input-password"),
                                      QStringLiteral("--input-password-file")};
    return names.contains(name);
}

// Options whose value may be left out, or given as "-", to be asked for on the terminal.
bool IsSecretOption(const QString& name) {
    return name == QLatin1String("--password") || name == QLatin1String("--input-password");
}

const QString kAskOnTerminal = QStringLiteral("-");

// The output password asked on the terminal, typed twice. An error text when it cannot be asked
// or the two do not match.
std::optional<QString> AskOutputPassword(QString& error) {
    if (!StdinIsTerminal()) {
        error = QStringLiteral("no terminal to ask for the password on; use --password-file");
        return std::nullopt;
    }
    const std::optional<QString> first =
        ReadSecretFromTerminal(QStringLiteral("Password for the merged file: "));
    if (!first) {
        error = QStringLiteral("no password was typed");
        return std::nullopt;
    }
    const std::optional<QString> again =
        ReadSecretFromTerminal(QStringLiteral("Type the password again: "));
    if (!again || *again != *first) {
        error = QStringLiteral("the two passwords differ");
        return std::nullopt;
    }
    return first;
}

} // namespace

int RunMergeCommand(const QStringList& arguments) {
    QString output;
    std::optional<QString> password;
    std::optional<QString> require;
    std::optional<QString> inputPassword;
    bool outlines = true;
    QStringList inputArguments;

    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (optionsEnded || !argument.startsWith(QLatin1Char('-')) ||
            argument == QLatin1String("-")) {
            inputArguments.append(argument);
            continue;
        }
        if (argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            std::fputs(MergeCommandHelp().toLocal8Bit().constData(), stdout);
            return kMergeExitOk;
        }
        if (argument == QLatin1String("--no-outline")) {
            outlines = false;
            continue;
        }
        // Options with a value, as "--name VALUE" or "--name=VALUE".
        QString name = argument;
        std::optional<QString> value;
        if (const qsizetype equals = argument.indexOf(QLatin1Char('='));
            equals > 0 && argument.startsWith(QLatin1String("--"))) {
            name = argument.left(equals);
            value = argument.mid(equals + 1);
        }
        if (!IsValueOption(name)) {
            return UsageError(QStringLiteral("unknown option '%1'").arg(argument));
        }
        if (!value) {
            const bool next = i + 1 < arguments.size();
            if (IsSecretOption(name) && (!next || IsValueOption(arguments[i + 1]) ||
                                         arguments[i + 1] == QLatin1String("--no-outline"))) {
                value = kAskOnTerminal; // a secret left out is asked for
            } else if (!next) {
                return UsageError(QStringLiteral("option '%1' needs a value").arg(name));
            } else {
                value = arguments[++i];
            }
        }
        if (name == QLatin1String("-o") || name == QLatin1String("--output")) {
            output = *value;
        } else if (name == QLatin1String("--password")) {
            password = *value;
        } else if (name == QLatin1String("--require")) {
            require = *value;
        } else if (name == QLatin1String("--input-password")) {
            // "-" asks on the terminal for each file that needs it, as without the option.
            inputPassword = *value == kAskOnTerminal ? std::nullopt : value;
        } else {
            const std::optional<QString> line = ReadFirstLineOfFile(*value);
            if (!line) {
                return UsageError(QStringLiteral("cannot read the password file '%1'").arg(*value));
            }
            (name == QLatin1String("--password-file") ? password : inputPassword) = line;
        }
    }
    if (password && *password == kAskOnTerminal) {
        QString error;
        password = AskOutputPassword(error);
        if (!password) {
            return UsageError(error);
        }
    }
    if (output.isEmpty()) {
        return UsageError(QStringLiteral("no output file given (-o OUT.pdf)"));
    }

    // The protection, as the Output Options dialog would make it from the same choice.
    OutputProtectionChoice choice;
    if (require) {
        const std::optional<RequiredActions> actions = ParseRequiredActions(*require);
        if (!actions) {
            return UsageError(QStringLiteral("--require takes a list of view, print, copy, "
                                             "annotate, forms; not '%1'")
                                  .arg(*require));
        }
        choice.viewing = actions->viewing;
        choice.printing = actions->printing;
        choice.copying = actions->copying;
        choice.annotation = actions->annotation;
        choice.fillingForms = actions->fillingForms;
    }
    if (password || require) {
        choice.protectMode = 1;
        choice.password = password.value_or(QString());
    }

    CommandLineAnswers answers(inputPassword);
    if (const int refusal = ValidateOutputProtection(choice); refusal != 0) {
        AppMessageBox(nullptr, refusal, {}, MessageIcon::Error);
        return kMergeExitFailed;
    }
    const OutputProtection protection = ComputeOutputProtection(choice);

    xpdfSpliceInit();
    DocumentList documents;
    bool opened = true;
    for (const QString& argument : inputArguments) {
        const MergeInput input = ParseMergeInput(argument);
        // Full paths, as the window's dialogs give them: the checks compare paths as text.
        CDoc* doc = documents.AddDocument(QFileInfo(input.path).absoluteFilePath());
        if (doc == nullptr) {
            opened = false; // reported; the other inputs are still checked
            continue;
        }
        if (input.rangeText) {
            PageRangeList ranges;
            if (!ranges.IsValidFor(*input.rangeText, doc->PageCount())) {
                PrintError(QStringLiteral("pages '%1' are not within the %2 pages of '%3'")
                               .arg(*input.rangeText)
                               .arg(doc->PageCount())
                               .arg(doc->GetPath()));
                opened = false;
                continue;
            }
            doc->SetRanges(ranges);
        }
    }
    if (!opened) {
        return kMergeExitFailed;
    }
    if (const int refusal = CheckMergeSelection(documents); refusal != 0) {
        AppMessageBox(nullptr, refusal, {}, MessageIcon::Error);
        return kMergeExitFailed;
    }

    const QString target = QFileInfo(output).absoluteFilePath();
    QStringList inputPaths;
    for (const auto& doc : documents.documents()) {
        inputPaths.append(doc->GetPath());
    }
    // The save dialog's refusal (letter case ignored), then the comparisons of the save: the
    // exact text, and the file itself however it is named.
    if (COutputFileDialog::IsInputPath(target, inputPaths) || IsInputFile(documents, target)) {
        AppMessageBox(nullptr, ids::IDS_OUTPUT_IS_INPUT, {}, MessageIcon::Error);
        return kMergeExitFailed;
    }
    MergeJob job;
    if (job.Prepare(documents, target, nullptr) != MergeResult::Written) {
        return kMergeExitFailed;
    }
    std::optional<OutputProtection> encryption;
    if (protection.Encrypts()) {
        encryption = protection;
    }
    MergeOutcome outcome;
    if (StderrIsTerminal()) {
        TerminalProgressLine line(job.totalPages());
        outcome = job.Write(encryption, outlines, [&line](int stage, long long done) {
            return line.Report(stage, done);
        });
    } else {
        outcome = job.Write(encryption, outlines);
    }
    if (job.Finish(outcome, nullptr) != MergeResult::Written) {
        return kMergeExitFailed;
    }
    return kMergeExitOk;
}

} // namespace plyfold
